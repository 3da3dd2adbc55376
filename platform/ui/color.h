#pragma once
// Colours of the controls: a 32-bit value, red in the low byte, then green, then blue
// (0x00BBGGRR). A value 0xFF0000nn names system colour n, resolved when drawn through a table of
// the application palette's roles; clNone (0x1FFFFFFF) means "no colour". Anything else that is
// not a plain RGB value reads as black.

#include <QColor>
#include <cstdint>

namespace kv::ui {

using TColor = std::uint32_t;

constexpr TColor RGBColor(int r, int g, int b) {
  return TColor(r & 0xFF) | (TColor(g & 0xFF) << 8) | (TColor(b & 0xFF) << 16);
}
constexpr int RedOf(TColor c) {
  return int(c & 0xFF);
}
constexpr int GreenOf(TColor c) {
  return int((c >> 8) & 0xFF);
}
constexpr int BlueOf(TColor c) {
  return int((c >> 16) & 0xFF);
}

constexpr TColor SystemColor(int index) {
  return 0xFF000000u | TColor(index & 0xFF);
}
constexpr bool IsSystemColor(TColor c) {
  return (c & 0xFF000000u) == 0xFF000000u;
}

constexpr TColor clNone = 0x1FFFFFFF;
// "Whatever the owner uses": drawn it reads as black; bitmap routines take it as the bottom-left
// pixel.
constexpr TColor clDefault = 0x20000000;
// The flag a palette-relative RGB value carries; it reads as the plain RGB value.
constexpr TColor PaletteRelativeFlag = 0x02000000;

constexpr TColor clBlack = RGBColor(0, 0, 0);
constexpr TColor clMaroon = RGBColor(128, 0, 0);
constexpr TColor clGreen = RGBColor(0, 128, 0);
constexpr TColor clOlive = RGBColor(128, 128, 0);
constexpr TColor clNavy = RGBColor(0, 0, 128);
constexpr TColor clPurple = RGBColor(128, 0, 128);
constexpr TColor clTeal = RGBColor(0, 128, 128);
constexpr TColor clGray = RGBColor(128, 128, 128);
constexpr TColor clSilver = RGBColor(192, 192, 192);
constexpr TColor clRed = RGBColor(255, 0, 0);
constexpr TColor clLime = RGBColor(0, 255, 0);
constexpr TColor clYellow = RGBColor(255, 255, 0);
constexpr TColor clBlue = RGBColor(0, 0, 255);
constexpr TColor clFuchsia = RGBColor(255, 0, 255);
constexpr TColor clAqua = RGBColor(0, 255, 255);
constexpr TColor clWhite = RGBColor(255, 255, 255);
constexpr TColor clLtGray = clSilver;
constexpr TColor clDkGray = clGray;
constexpr TColor clMoneyGreen = RGBColor(192, 220, 192);
constexpr TColor clSkyBlue = RGBColor(166, 202, 240);
constexpr TColor clCream = RGBColor(255, 251, 240);
constexpr TColor clMedGray = RGBColor(160, 160, 164);

constexpr TColor clScrollBar = SystemColor(0);
constexpr TColor clBackground = SystemColor(1);
constexpr TColor clActiveCaption = SystemColor(2);
constexpr TColor clInactiveCaption = SystemColor(3);
constexpr TColor clMenu = SystemColor(4);
constexpr TColor clWindow = SystemColor(5);
constexpr TColor clWindowFrame = SystemColor(6);
constexpr TColor clMenuText = SystemColor(7);
constexpr TColor clWindowText = SystemColor(8);
constexpr TColor clCaptionText = SystemColor(9);
constexpr TColor clActiveBorder = SystemColor(10);
constexpr TColor clInactiveBorder = SystemColor(11);
constexpr TColor clAppWorkSpace = SystemColor(12);
constexpr TColor clHighlight = SystemColor(13);
constexpr TColor clHighlightText = SystemColor(14);
constexpr TColor clBtnFace = SystemColor(15);
constexpr TColor clBtnShadow = SystemColor(16);
constexpr TColor clGrayText = SystemColor(17);
constexpr TColor clBtnText = SystemColor(18);
constexpr TColor clInactiveCaptionText = SystemColor(19);
constexpr TColor clBtnHighlight = SystemColor(20);
constexpr TColor cl3DDkShadow = SystemColor(21);
constexpr TColor cl3DLight = SystemColor(22);
constexpr TColor clInfoText = SystemColor(23);
constexpr TColor clInfoBk = SystemColor(24);
constexpr TColor clHotLight = SystemColor(26);
constexpr TColor clGradientActiveCaption = SystemColor(27);
constexpr TColor clGradientInactiveCaption = SystemColor(28);
constexpr TColor clMenuHighlight = SystemColor(29);
constexpr TColor clMenuBar = SystemColor(30);

// The plain RGB value (0x00BBGGRR) a colour draws as: system colours through the palette table
// (an index outside it reads black), the palette-relative flag dropped, clNone, clDefault and
// every other unknown value black.
TColor ColorToRGB(TColor c);

// The colour for Qt; clNone gives a fully transparent colour.
QColor ToQColor(TColor c);
// The resolved colour as an opaque QRgb (0xFFRRGGBB), for comparing with image pixels.
QRgb ToQRgb(TColor c);
// The RGB value of a Qt colour (alpha ignored).
TColor FromQColor(const QColor &c);

} // namespace kv::ui
