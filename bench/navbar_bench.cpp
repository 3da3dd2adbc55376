// Navigation bar benchmarks: one full repaint of a bar like the main window's (three pages as big
// tabs, page icons, the active page shown) into an image, the same on screen through the widget's
// own repaint, the bar's painting alone with every page in the icon row and the scroller, and the
// main window's own bar with its active panel.
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include <QApplication>
#include <QImage>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/main_form.h"
#include "controls/panels/navbar.h"
#include "platform/ui/canvas.h"
#include "platform/ui/image_list.h"

using namespace kv::panels;

namespace {

struct MainWindowBar {
  explicit MainWindowBar(int splitter) {
    window.resize(400, 400);
    bar = new TExNavBar(&window);
    bar->setGeometry(0, 0, 250, 353);
    images = std::make_shared<kv::ui::TImageList>(24, 24);
    for (const char *name : {"main", "update", "help"})
      images->AddImage(QImage(QStringLiteral(":/korvane/navbar/%1.png").arg(name)));
    bar->SetImages(images);
    bar->BeginLoading();
    const char *captions[] = {"Hilfe", "Update", "Hauptfunktionen"};
    for (int i = 0; i < 3; ++i) {
      auto *page = new TExNavBarPanel(bar);
      page->SetPanelIndex(i);
      page->SetCaption(QString::fromUtf8(captions[i]));
      page->SetImageIndex(2 - i);
    }
    bar->SetSpliterPosition(splitter);
    bar->SetActiveTabIndex(2);
    bar->Loaded();
  }
  QWidget window;
  TExNavBar *bar;
  std::shared_ptr<kv::ui::TImageList> images;
};

void BM_RepaintIntoImage(benchmark::State &state) {
  MainWindowBar m(3);
  m.window.show();
  QApplication::processEvents();
  QImage image(m.bar->size(), QImage::Format_RGB32);
  for (auto _ : state) {
    m.bar->render(&image);
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_RepaintIntoImage)->Unit(benchmark::kMicrosecond);

void BM_RepaintOnScreen(benchmark::State &state) {
  MainWindowBar m(3);
  m.window.show();
  QApplication::processEvents();
  for (auto _ : state)
    m.bar->repaint();
}
BENCHMARK(BM_RepaintOnScreen)->Unit(benchmark::kMicrosecond);

void BM_PaintBarOnlyIcons(benchmark::State &state) {
  MainWindowBar m(3);
  m.bar->setGeometry(0, 0, 60, 353); // too narrow for all icons: the scroll buttons show
  m.bar->MoveSplitter(3);
  QImage image(m.bar->size(), QImage::Format_RGB32);
  for (auto _ : state) {
    kv::ui::TCanvas canvas(&image);
    m.bar->Paint(canvas);
  }
}
BENCHMARK(BM_PaintBarOnlyIcons)->Unit(benchmark::kMicrosecond);

// The main window's own bar with its active page and that page's mark-up panel, as the program
// shows it: into an image, and on screen through the widgets' own repaint.
struct MainWindowPane {
  MainWindowPane() : form(dispatcher, {}) {
    form.show();
    QApplication::processEvents();
  }
  kv::platform::ManualDispatcher dispatcher;
  kv::app::TMainForm form;
};

void BM_RepaintPaneIntoImage(benchmark::State &state) {
  MainWindowPane m;
  QImage image(m.form.ExNavBar1->size(), QImage::Format_RGB32);
  for (auto _ : state) {
    m.form.ExNavBar1->render(&image);
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_RepaintPaneIntoImage)->Unit(benchmark::kMicrosecond);

void BM_RepaintPaneOnScreen(benchmark::State &state) {
  MainWindowPane m;
  for (auto _ : state)
    m.form.ExNavBar1->repaint();
}
BENCHMARK(BM_RepaintPaneOnScreen)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The main window reads its settings when shown: from a private, empty folder here.
  char config[] = "/tmp/korvane-bench-XXXXXX";
  if (mkdtemp(config)) setenv("XDG_CONFIG_HOME", config, 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(config, ignored);
  return 0;
}
