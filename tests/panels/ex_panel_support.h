#pragma once
// Helpers of the panel tests: rendering a panel into a picture, sending mouse events, a
// picture's file bytes, saving pictures to look at, the main window's navigation texts and pictures.

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <memory>

#include "controls/panels/ex_panel.h"
#include "platform/ui/image_list.h"

namespace kvtest {

// The panel as it paints itself, on a picture of its size.
inline QImage Render(QWidget &w) {
  QImage image(w.size(), QImage::Format_RGB32);
  image.fill(Qt::magenta);
  w.render(&image);
  return image;
}

inline QRgb Rgb(kv::ui::TColor c) {
  return kv::ui::ToQRgb(c);
}

// The pixel at (x, y) as an opaque QRgb.
inline QRgb At(const QImage &image, int x, int y) {
  return image.pixel(x, y) | 0xFF000000u;
}

// The smallest rectangle around the pixels of `image` whose colour is `colour`; null when none.
inline QRect BoundsOf(const QImage &image, QRgb colour) {
  QRect r;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (At(image, x, y) == (colour | 0xFF000000u)) r |= QRect(x, y, 1, 1);
  return r;
}

inline void Send(QWidget &w, QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::LeftButton,
                 Qt::MouseButtons buttons = Qt::NoButton, QPoint global = {}) {
  if (global.isNull()) global = w.mapToGlobal(pos);
  QMouseEvent event(type, QPointF(pos), QPointF(global), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(&w, &event);
}
inline void Move(QWidget &w, QPoint pos, Qt::MouseButtons buttons = Qt::NoButton, QPoint global = {}) {
  Send(w, QEvent::MouseMove, pos, Qt::NoButton, buttons, global);
}
inline void Press(QWidget &w, QPoint pos, Qt::MouseButton button = Qt::LeftButton) {
  Send(w, QEvent::MouseButtonPress, pos, button, button);
}
inline void Release(QWidget &w, QPoint pos, Qt::MouseButton button = Qt::LeftButton) {
  Send(w, QEvent::MouseButtonRelease, pos, button, Qt::NoButton);
}
inline void Click(QWidget &w, QPoint pos, Qt::MouseButton button = Qt::LeftButton) {
  Press(w, pos, button);
  Release(w, pos, button);
}

// `image` as the bytes of a picture file in `format`.
inline QByteArray Encoded(const QImage &image, const char *format = "PNG") {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes;
}

// A picture file (PNG) of one colour.
inline QByteArray SolidPng(int width, int height, QColor colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  return Encoded(image);
}

// With KORVANE_SHOTS_DIR set, saves `image` there as <name>.png for people to look at.
inline void SaveShot(const QImage &image, const QString &name) {
  const QString dir = qEnvironmentVariable("KORVANE_SHOTS_DIR");
  if (dir.isEmpty()) return;
  QDir().mkpath(dir);
  image.save(dir + "/" + name + ".png");
}

// The main window's navigation texts.
inline const QString kMainFunctions = QString::fromUtf8(
    R"(<BR><B> Hauptfunktionen</B></FONT><HR><BR><IMG src="idx:0" ALIGN="Absmiddle"> <A href="konfig"> Konfiguration des Automatik-Modus</A><BR><BR><IMG src="idx:1" align="Absmiddle"> <A href="ende"> Programm beenden</A><BR>)");
inline const QString kUpdate = QString::fromUtf8(
    R"(<BR><B> Update</B><HR><BR><IMG src="idx:4"> <A href="update"> Internet Updater</A><BR><br>)");
inline const QString kHelp = QString::fromUtf8(
    R"(<br><B> Hilfefunktionen</B><hr><BR><IMG src="idx:5"><IMG src="idx:2"> <A href="hilfe"> KV Text Hilfe</A><br><br><IMG src="idx:3"> <A href="info"> Über Korvane...</A>)");

// Six 16 x 16 pictures: rounded squares with a letter.
inline std::shared_ptr<kv::ui::TImageList> NavigationPictures() {
  auto list = std::make_shared<kv::ui::TImageList>(16, 16);
  const std::pair<QRgb, const char *> looks[] = {{qRgb(70, 110, 190), "K"}, {qRgb(200, 60, 50), "x"},
                                                 {qRgb(90, 150, 70), "?"},  {qRgb(60, 140, 200), "i"},
                                                 {qRgb(230, 150, 40), "U"}, {qRgb(120, 90, 170), "H"}};
  for (const auto &[colour, letter] : looks) {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(colour));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(1, 1, 14, 14), 3, 3);
    p.setPen(Qt::white);
    QFont font("DejaVu Sans");
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, letter);
    p.end();
    list->AddImage(image);
  }
  return list;
}

} // namespace kvtest
