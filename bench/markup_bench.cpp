// Mark-up renderer benchmarks: layout plus paint of each navigation text of the main window into
// an offscreen picture the size of the navigation pane, one hit test (as a mouse move makes it),
// and the entity step on texts of repeated "&amp;" (its time should grow linearly with the size).
// Targets: a paint under 0.2 ms, a hit test under 50 µs, 96 KB of entities under 10 ms.

#include <QApplication>
#include <QImage>
#include <benchmark/benchmark.h>

#include "controls/panels/markup_lexer.h"
#include "controls/panels/markup_renderer.h"
#include "platform/ui/canvas.h"
#include "platform/ui/image_list.h"

using namespace kv::panels;
using namespace kv::ui;

namespace {

const QString kTexts[] = {
    R"(<BR><B> Hauptfunktionen</B></FONT><HR><BR><IMG src="idx:0" ALIGN="Absmiddle"> <A href="konfig"> Konfiguration des Automatik-Modus</A><BR><BR><IMG src="idx:1" align="Absmiddle"> <A href="ende"> Programm beenden</A><BR>)",
    R"(<BR><B> Update</B><HR><BR><IMG src="idx:4"> <A href="update"> Internet Updater</A><BR><br>)",
    QString::fromUtf8(
        R"(<br><B> Hilfefunktionen</B><hr><BR><IMG src="idx:5"><IMG src="idx:2"> <A href="hilfe"> KV Text Hilfe</A><br><br><IMG src="idx:3"> <A href="info"> Über Korvane...</A>)"),
};

const TImageList &Images() {
  static TImageList list = [] {
    TImageList l(16, 16);
    for (int i = 0; i < 6; ++i) {
      QImage image(16, 16, QImage::Format_ARGB32);
      image.fill(qRgb(40 * i, 100, 200 - 30 * i));
      l.AddImage(image);
    }
    return l;
  }();
  return list;
}

TMarkupParams Params() {
  TMarkupParams params;
  params.Rect = Rect(0, 0, 168, 120);
  params.Images = &Images();
  return params;
}

void PrepareFont(TCanvas &canvas) {
  canvas.Font.Name = "Tahoma";
  canvas.Font.Size = 8;
  canvas.Brush.Color = clWhite;
}

// range(0): which text. A fresh canvas per paint, as a paint event makes one.
void PanelPaint(benchmark::State &state) {
  const QString &text = kTexts[state.range(0)];
  QImage image(168, 120, QImage::Format_RGB32);
  const TMarkupParams params = Params();
  for (auto _ : state) {
    image.fill(Qt::white);
    TCanvas canvas(&image);
    PrepareFont(canvas);
    TMarkupResult result;
    DrawMarkup(canvas, text, params, result);
    canvas.EndPaint();
    benchmark::DoNotOptimize(result.YSize);
  }
}
BENCHMARK(PanelPaint)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

// The anchor under a point on the "ende" line of the first page, without drawing.
void HitTest(benchmark::State &state) {
  TMarkupParams params = Params();
  params.CheckOnly = true;
  params.X = 60;
  TCanvas canvas;
  PrepareFont(canvas);
  for (params.Y = 119; params.Y > 0; --params.Y) { // the lowest point of the line that finds "ende"
    TMarkupResult probe;
    if (DrawMarkup(canvas, kTexts[0], params, probe) && probe.AnchorVal == "ende") break;
  }
  bool hit = false;
  for (auto _ : state) {
    TMarkupResult result;
    hit = DrawMarkup(canvas, kTexts[0], params, result);
    benchmark::DoNotOptimize(result.AnchorVal);
  }
  if (!hit) state.SkipWithError("no anchor under the point");
}
BENCHMARK(HitTest)->Unit(benchmark::kMicrosecond);

// range(0): number of "&amp;" (16000 make 96 KB).
void EntityDecoding(benchmark::State &state) {
  const QString text = QString("&amp;").repeated(state.range(0)) + "&amp;quot;";
  for (auto _ : state)
    benchmark::DoNotOptimize(PreprocessMarkup(text));
  state.SetComplexityN(state.range(0));
  state.SetBytesProcessed(int64_t(state.iterations()) * text.size());
}
BENCHMARK(EntityDecoding)
    ->Arg(1000)
    ->Arg(4000)
    ->Arg(16000)
    ->Arg(64000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
