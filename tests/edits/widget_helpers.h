#pragma once
// Helpers for the widget tests of the edit controls: processing events until a condition holds
// and pictures of widgets (the modal dialog's driver is shared, in modal_driver.h).

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPalette>
#include <QWidget>
#include <cstdlib>
#include <functional>

#include "platform/ui/color.h"

#include "modal_driver.h"
#include "test_support.h"

namespace kvtest {

// Processes events until `done` holds or 10 s have passed; returns its last value.
inline bool ProcessUntil(const std::function<bool()> &done) {
  return WaitUntil([&] {
    QCoreApplication::processEvents();
    return done();
  });
}

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
