#pragma once
// Helpers for the widget tests of the edit controls: processing events until a condition holds,
// acting on a modal dialog while its own loop runs, and pictures of widgets.

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPalette>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <functional>

#include "platform/ui/color.h"

#include "test_support.h"

namespace kvtest {

// Processes events until `done` holds or 10 s have passed; returns its last value.
inline bool ProcessUntil(const std::function<bool()> &done) {
  return WaitUntil([&] {
    QCoreApplication::processEvents();
    return done();
  });
}

// While a modal dialog runs, calls `step` with it every few milliseconds until `step` returns
// true. A dialog still open after 10 s is rejected, so a failing test never hangs.
class ModalDriver {
public:
  explicit ModalDriver(std::function<bool(QDialog &)> step) : step_(std::move(step)) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start();
    deadline_.start();
  }
  bool Finished() const { return finished_; }
  bool TimedOut() const { return timed_out_; }

private:
  void Tick() {
    auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
    if (!dialog || finished_) return;
    if (deadline_.hasExpired(10000)) {
      timed_out_ = finished_ = true;
      dialog->reject();
      return;
    }
    if (step_(*dialog)) finished_ = true;
  }

  std::function<bool(QDialog &)> step_;
  QTimer timer_;
  QElapsedTimer deadline_;
  bool finished_ = false, timed_out_ = false;
};

// The widget as it paints itself, on white.
inline QImage RenderWidget(QWidget &widget) {
  QImage image(widget.size(), QImage::Format_RGB32);
  image.fill(Qt::white);
  widget.render(&image);
  return image;
}

// Gives `panel` the size and the button-face background of a dialog page.
inline void MakeFacePanel(QWidget &panel, int width, int height) {
  panel.resize(width, height);
  panel.setAutoFillBackground(true);
  QPalette pal = panel.palette();
  pal.setColor(QPalette::Window, kv::ui::ToQColor(kv::ui::clBtnFace));
  panel.setPalette(pal);
}

// Saves a picture for people to look at: <build>/test-artifacts/<name>. Returns false when it
// could not be written.
inline bool KeepPicture(const QImage &picture, const QString &name) {
  const char *build = std::getenv("KORVANE_BUILD_DIR");
  if (!build) return true;
  const QString folder = QString::fromLocal8Bit(build) + "/test-artifacts";
  QDir().mkpath(folder);
  return picture.save(folder + "/" + name);
}

} // namespace kvtest
