#include "platform/ui/color.h"

#include <QGuiApplication>
#include <QPalette>
#include <array>

namespace kv::ui {

namespace {

// One system colour: the palette role it follows, and the value used while no application
// (and so no palette) exists. The fallbacks are Qt's own default palette.
struct SystemEntry {
  bool has_role;
  QPalette::ColorGroup group;
  QPalette::ColorRole role;
  QRgb fallback;
};

constexpr SystemEntry Role(QPalette::ColorRole role, QRgb fallback,
                           QPalette::ColorGroup group = QPalette::Active) {
  return {true, group, role, fallback};
}
constexpr SystemEntry Fixed(QRgb value) {
  return {false, QPalette::Active, QPalette::NoRole, value};
}

constexpr std::array<SystemEntry, 31> kSystemColors = {{
    Role(QPalette::Midlight, 0xcacaca),                       // 0 scroll bar
    Fixed(0x3a6ea5),                                          // 1 desktop
    Role(QPalette::Highlight, 0x308cc6),                      // 2 active caption
    Role(QPalette::Mid, 0xb8b8b8),                            // 3 inactive caption
    Role(QPalette::Window, 0xefefef),                         // 4 menu
    Role(QPalette::Base, 0xffffff),                           // 5 window
    Role(QPalette::Shadow, 0x767676),                         // 6 window frame
    Role(QPalette::WindowText, 0x000000),                     // 7 menu text
    Role(QPalette::Text, 0x000000),                           // 8 window text
    Role(QPalette::HighlightedText, 0xffffff),                // 9 caption text
    Role(QPalette::Window, 0xefefef),                         // 10 active border
    Role(QPalette::Window, 0xefefef),                         // 11 inactive border
    Role(QPalette::Mid, 0xb8b8b8),                            // 12 application work space
    Role(QPalette::Highlight, 0x308cc6),                      // 13 highlight
    Role(QPalette::HighlightedText, 0xffffff),                // 14 highlighted text
    Role(QPalette::Button, 0xefefef),                         // 15 button face
    Role(QPalette::Dark, 0x9f9f9f),                           // 16 button shadow
    Role(QPalette::Text, 0xbebebe, QPalette::Disabled),       // 17 grey text
    Role(QPalette::ButtonText, 0x000000),                     // 18 button text
    Role(QPalette::WindowText, 0xbebebe, QPalette::Disabled), // 19 inactive caption text
    Role(QPalette::Light, 0xffffff),                          // 20 button highlight
    Role(QPalette::Shadow, 0x767676),                         // 21 3-D dark shadow
    Role(QPalette::Midlight, 0xcacaca),                       // 22 3-D light
    Role(QPalette::ToolTipText, 0x000000),                    // 23 info text
    Role(QPalette::ToolTipBase, 0xffffdc),                    // 24 info background
    Fixed(0x000000),                                          // 25 not used
    Role(QPalette::Link, 0x0000ff),                           // 26 hot-tracked item
    Role(QPalette::Highlight, 0x308cc6),                      // 27 gradient of the active caption
    Role(QPalette::Mid, 0xb8b8b8),                            // 28 gradient of the inactive caption
    Role(QPalette::Highlight, 0x308cc6),                      // 29 menu highlight
    Role(QPalette::Window, 0xefefef),                         // 30 menu bar
}};

TColor FromRgb(QRgb rgb) {
  return RGBColor(qRed(rgb), qGreen(rgb), qBlue(rgb));
}

TColor ResolveSystemColor(std::size_t index) {
  if (index >= kSystemColors.size()) return clBlack;
  const SystemEntry &e = kSystemColors[index];
  if (!e.has_role || !qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
    return FromRgb(e.fallback);
  return FromQColor(QGuiApplication::palette().color(e.group, e.role));
}

} // namespace

TColor ColorToRGB(TColor c) {
  switch (c >> 24) {
  case 0x00:
  case PaletteRelativeFlag >> 24:
    return c & 0x00FFFFFF;
  case 0xFF:
    return ResolveSystemColor(c & 0x00FFFFFF);
  default:
    return clBlack;
  }
}

QColor ToQColor(TColor c) {
  if (c == clNone) return QColor(Qt::transparent);
  const TColor rgb = ColorToRGB(c);
  return QColor(RedOf(rgb), GreenOf(rgb), BlueOf(rgb));
}

QRgb ToQRgb(TColor c) {
  const TColor rgb = ColorToRGB(c);
  return qRgb(RedOf(rgb), GreenOf(rgb), BlueOf(rgb));
}

TColor FromQColor(const QColor &c) {
  return RGBColor(c.red(), c.green(), c.blue());
}

} // namespace kv::ui
