// Kept text shapes. LongScroll: a view of 40 lines scrolls three lines a paint through 12,000
// distinct lines of 60 characters, drawing the same 20 words (menu, captions) on every paint;
// each iteration scrolls through lines of its own. Reported: processor time per scroll and the
// texts shaped to be kept per scroll. MegabyteLines: 16 distinct lines of 1 MB, each drawn twice;
// reported: the kept shapes' peak bytes and the C library's bytes in use that the drawing left.

#include <QApplication>
#include <QImage>
#include <benchmark/benchmark.h>
#include <malloc.h>

#include "platform/ui/canvas.h"

using namespace kv::ui;

namespace {

constexpr int kLines = 12000, kVisible = 40, kStep = 3;

void PrepareFont(TCanvas &canvas) {
  canvas.Font.Name = "Tahoma";
  canvas.Font.Size = 8;
  canvas.Brush.Style = bsClear;
}

void LongScroll(benchmark::State &state) {
  QImage image(400, 600, QImage::Format_RGB32);
  TCanvas canvas(&image);
  PrepareFont(canvas);
  QStringList words;
  for (int i = 0; i < 20; ++i)
    words << QString("Eintrag %1").arg(i);
  int scroll = 0;
  const qint64 shaped = ShapeCacheFigures().Shaped;
  for (auto _ : state) {
    const QString tag = QString("Lauf %1, Zeile ").arg(scroll++);
    for (int first = 0; first + kVisible <= kLines; first += kStep) {
      for (int w = 0; w < words.size(); ++w)
        canvas.TextOut(0, 0, words[w]);
      for (int i = first; i < first + kVisible; ++i)
        canvas.TextOut(0, 0, (tag + QString::number(i)).leftJustified(60, '.'));
    }
  }
  state.counters["shaped/scroll"] = double(ShapeCacheFigures().Shaped - shaped) / double(state.iterations());
}
BENCHMARK(LongScroll)->Unit(benchmark::kMillisecond);

uint64_t HeapInUse() {
  const struct mallinfo2 mi = mallinfo2();
  return mi.uordblks + mi.hblkhd;
}

void MegabyteLines(benchmark::State &state) {
  QImage image(400, 20, QImage::Format_RGB32);
  for (auto _ : state) {
    const uint64_t before = HeapInUse();
    {
      TCanvas canvas(&image);
      PrepareFont(canvas);
      for (int i = 0; i < 16; ++i)
        for (int time = 0; time < 2; ++time)
          canvas.TextOut(0, 0, QString(1 << 20, QChar('a' + i)));
    }
    state.counters["kept peak MB"] = double(ShapeCacheFigures().PeakBytes) / (1 << 20);
    state.counters["heap left MB"] = double(int64_t(HeapInUse()) - int64_t(before)) / (1 << 20);
  }
}
BENCHMARK(MegabyteLines)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
