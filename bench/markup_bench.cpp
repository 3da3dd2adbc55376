// Mark-up renderer benchmarks: layout plus paint of each navigation text of the main window into
// an offscreen picture the size of the navigation pane, one hit test (as a mouse move makes it),
// and the entity step on texts of repeated "&amp;" (its time should grow linearly with the size).
// Targets: a paint under 0.2 ms, a hit test under 50 µs, 96 KB of entities under 10 ms.
//
// Growth: plain text and mark-up of 1 KB to 1 MB, measured, hit-tested (at the last line) and
// painted, beside QPainter::drawText of the same plain text with word wrap as the floor. Targets:
// each grows linearly (the report prints the time per KB at 1 MB over that at 1 KB), plain text
// paints in at most 2.5 times the floor, and 1 MB of plain text measures in under 100 ms.

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <string>
#include <unistd.h>

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

// Words of a German prose text, picked by a fixed sequence, a full stop now and then.
QString Prose(qsizetype size, bool markup) {
  static const char *const kWords[] = {
      "Die",     "Uhrzeit",    "des",           "Servers",        "wird",       "mit",
      "der",     "Systemzeit", "Ihres",         "Rechners",       "verglichen", "und",
      "bei",     "Bedarf",     "gestellt",      "Abweichung",     "Sekunden",   "Verbindung",
      "über",    "Proxy",      "oder",          "Wählverbindung", "Protokoll",  "Größe",
      "täglich", "geprüft",    "Einstellungen", "Automatik",      "Nachricht",  "versendet",
      "ein",     "kurzer"};
  static const char *const kOpen[] = {"<B>", "<I>", "<A href=\"konfig\">", "<FONT color=\"#c00000\">"};
  static const char *const kClose[] = {"</B>", "</I>", "</A>", "</FONT>"};
  QString text;
  text.reserve(size + 64);
  quint32 seed = 12345;
  for (int n = 0; text.size() < size; ++n) {
    seed = seed * 1103515245u + 12345u;
    const QString word = QString::fromUtf8(kWords[(seed >> 16) % std::size(kWords)]);
    const int tag = n % 9 == 4 ? int((seed >> 8) % std::size(kOpen)) : -1;
    if (markup && tag >= 0) text += QLatin1String(kOpen[tag]);
    text += word;
    if (markup && tag >= 0) text += QLatin1String(kClose[tag]);
    text += n % 13 == 12 ? QStringLiteral(". ") : QStringLiteral(" ");
    if (markup && n % 40 == 39) text += QStringLiteral("<BR>");
  }
  text.truncate(size);
  return text;
}

enum class TGrowth { Measure, HitTest, Paint, DrawText };

constexpr int kGrowthWidth = 400;  // the text's rectangle and the picture
constexpr int kGrowthHeight = 300; // the picture; the rectangle holds every line
constexpr int kGrowthBottom = 1 << 26;

TMarkupParams GrowthParams(bool wrap = true) {
  TMarkupParams params;
  params.Rect = Rect(0, 0, kGrowthWidth, kGrowthBottom);
  params.WordWrap = wrap;
  return params;
}

// range(0): the text's size in characters. Without word wrap, plain text is one line cut with "...".
void Growth(benchmark::State &state, TGrowth what, bool markup, bool wrap = true) {
  const QString text = Prose(state.range(0), markup);
  QImage image(kGrowthWidth, kGrowthHeight, QImage::Format_RGB32);
  TMarkupParams params = GrowthParams(wrap);
  params.MeasureOnly = what == TGrowth::Measure;
  params.CheckOnly = what == TGrowth::HitTest;
  if (what == TGrowth::HitTest) { // a point on the last line, so every line is walked
    TCanvas canvas;
    PrepareFont(canvas);
    TMarkupParams measure = GrowthParams();
    measure.MeasureOnly = true;
    TMarkupResult size;
    DrawMarkup(canvas, text, measure, size);
    params.X = 5;
    params.Y = size.YSize - 3;
  }
  for (auto _ : state) {
    if (what == TGrowth::DrawText) {
      image.fill(Qt::white);
      QPainter painter(&image);
      TFont font;
      font.Name = "Tahoma";
      font.Size = 8;
      painter.setFont(font.ToQFont(96));
      painter.drawText(QRect(1, 0, kGrowthWidth - 1, kGrowthBottom), Qt::TextWordWrap, text);
      continue;
    }
    if (what == TGrowth::Paint) image.fill(Qt::white);
    TCanvas canvas(what == TGrowth::Paint ? &image : nullptr);
    PrepareFont(canvas);
    TMarkupResult result;
    DrawMarkup(canvas, text, params, result);
    benchmark::DoNotOptimize(result.YSize);
  }
  state.SetComplexityN(state.range(0));
  state.SetBytesProcessed(int64_t(state.iterations()) * text.size());
}

void GrowthSizes(benchmark::internal::Benchmark *b) {
  b->Arg(1 << 10)->Arg(10 << 10)->Arg(100 << 10)->Arg(1 << 20)->Complexity(benchmark::oN);
  b->Unit(benchmark::kMillisecond);
}

BENCHMARK_CAPTURE(Growth, MeasurePlainText, TGrowth::Measure, false)->Apply(GrowthSizes);
BENCHMARK_CAPTURE(Growth, HitTestPlainText, TGrowth::HitTest, false)->Apply(GrowthSizes);
BENCHMARK_CAPTURE(Growth, PaintPlainText, TGrowth::Paint, false)->Apply(GrowthSizes);
BENCHMARK_CAPTURE(Growth, DrawTextPlainText, TGrowth::DrawText, false)->Apply(GrowthSizes);
BENCHMARK_CAPTURE(Growth, PaintPlainTextNoWrap, TGrowth::Paint, false, false)->Apply(GrowthSizes);
BENCHMARK_CAPTURE(Growth, MeasureMarkup, TGrowth::Measure, true)->Apply(GrowthSizes);
BENCHMARK_CAPTURE(Growth, HitTestMarkup, TGrowth::HitTest, true)->Apply(GrowthSizes);
BENCHMARK_CAPTURE(Growth, PaintMarkup, TGrowth::Paint, true)->Apply(GrowthSizes);

// The console report, then per growth case the time per KB at 1 MB over that at 1 KB (near 1:
// linear; near 1024: quadratic), and painting plain text over its drawText floor per size.
class GrowthReporter : public benchmark::ConsoleReporter {
public:
  GrowthReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs)
      if (run.run_type == Run::RT_Iteration && run.iterations > 0 && !run.error_occurred) {
        const std::string name = run.run_name.function_name;
        const std::string args = run.run_name.args;
        if (name.rfind("Growth/", 0) == 0) ms_[name.substr(7)][std::stol(args)] = run.GetAdjustedRealTime();
      }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const auto &[name, times] : ms_)
      if (times.count(1 << 10) && times.count(1 << 20) && times.at(1 << 10) > 0)
        std::printf("%-20s per KB, 1 MB / 1 KB: %7.2f\n", name.c_str(),
                    times.at(1 << 20) / 1024 / times.at(1 << 10));
    if (ms_.count("MeasurePlainText") && ms_["MeasurePlainText"].count(1 << 20))
      std::printf("MeasurePlainText 1 MB: %.1f ms (target under 100)\n", ms_["MeasurePlainText"][1 << 20]);
    const auto &paint = ms_["PaintPlainText"], &floor = ms_["DrawTextPlainText"];
    for (const auto &[size, ms] : paint)
      if (floor.count(size) && floor.at(size) > 0)
        std::printf("PaintPlainText / drawText, %7d KB: %5.2f (target at most 2.5)\n", int(size >> 10),
                    ms / floor.at(size));
  }

private:
  std::map<std::string, std::map<long, double>> ms_; // case, size: time in the report's unit
};

} // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  GrowthReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
