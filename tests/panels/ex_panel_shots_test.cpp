// Whole panels with real fonts: the main window's three navigation panels (every anchor is
// clicked where it is drawn), the four styler presets and a row of caption shades. With
// KORVANE_SHOTS_DIR set, the pictures are saved there as PNG files to look at.
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <functional>

#include "controls/panels/ex_panel.h"
#include "controls/panels/panel_styler.h"
#include "controls/panels/picture.h"
#include "ex_panel_support.h"
#include "platform/ui/theme.h"
#include "qt_application.h"

using namespace kv::panels;
using namespace kv::ui;

namespace {

// A navigation panel as the main window sets it up.
std::unique_ptr<TExPanel> Navigation(const QString &text, const std::shared_ptr<TImageList> &images) {
  auto p = std::make_unique<TExPanel>();
  p->resize(248, 297);
  p->SetColor(clWhite);
  p->SetHoverColor(clBlue);
  p->SetImages(images);
  p->Caption().SetVisible(false);
  p->SetText(text);
  return p;
}

// The rows holding pixels of `colour`, as bands of rows at most 3 apart (one text line each).
std::vector<std::pair<int, int>> Bands(const QImage &image, QRgb colour) {
  std::vector<std::pair<int, int>> bands;
  for (int y = 0; y < image.height(); ++y) {
    bool found = false;
    for (int x = 0; x < image.width() && !found; ++x)
      found = kvtest::At(image, x, y) == (colour | 0xFF000000u);
    if (!found) continue;
    if (!bands.empty() && bands.back().second >= y - 3)
      bands.back().second = y;
    else
      bands.push_back({y, y});
  }
  return bands;
}

TEST(ExPanelShots, NavigationPanelsFindEveryAnchorWhereItIsDrawn) {
  const auto images = kvtest::NavigationPictures();
  const std::pair<const QString *, std::vector<QString>> cases[] = {
      {&kvtest::kMainFunctions, {"konfig", "ende"}},
      {&kvtest::kUpdate, {"update"}},
      {&kvtest::kHelp, {"hilfe", "info"}}};
  QImage sheet(3 * 256, 297, QImage::Format_RGB32);
  sheet.fill(Qt::darkGray);
  int column = 0;
  for (const auto &[text, hrefs] : cases) {
    auto p = Navigation(*text, images);
    std::vector<QString> clicked;
    p->OnAnchorClick = [&](TCustomExPanel *, const QString &a) { clicked.push_back(a); };
    const QImage image = kvtest::Render(*p);
    const auto bands = Bands(image, kvtest::Rgb(clBlue));
    ASSERT_EQ(bands.size(), hrefs.size());
    for (const auto &[top, bottom] : bands) {
      const QRect line =
          kvtest::BoundsOf(image.copy(0, top, image.width(), bottom - top + 1), kvtest::Rgb(clBlue));
      kvtest::Click(*p, {line.center().x(), (top + bottom) / 2});
    }
    EXPECT_EQ(clicked, hrefs);
    QPainter(&sheet).drawImage(column++ * 256, 0, image);
  }
  kvtest::SaveShot(sheet, "navigation");
}

TEST(ExPanelShots, StylerPresetsAndCaptionShades) {
  QWidget form;
  QImage sheet(4 * 210, 150, QImage::Format_RGB32);
  sheet.fill(Qt::darkGray);
  const TExPanelStyle styles[] = {psXP, psFlat, psMetal, psClassic};
  for (int i = 0; i < 4; ++i) {
    auto *styler = new TExPanelStyler(&form);
    styler->SetStyle(styles[i]);
    TExPanel p(&form);
    p.resize(200, 140);
    p.SetShadeSeed(11);
    p.SetStyler(styler);
    p.Caption().SetText("<B>Einstellungen</B>");
    p.Caption().SetCloseButton(true);
    p.Caption().SetMinMaxButton(true);
    p.SetCanSize(true);
    p.SetText("<BR> Zeit vom Server holen<BR><BR> <A href=\"konfig\">Konfiguration</A><BR> <A "
              "href=\"https://korvane.example/\">Webseite</A>");
    const QImage image = kvtest::Render(p);
    EXPECT_FALSE(kvtest::BoundsOf(image, kvtest::Rgb(clBlue)).isNull()) << "the anchors are drawn";
    QPainter(&sheet).drawImage(5 + i * 210, 5, image);
  }
  kvtest::SaveShot(sheet, "presets");

  const TShadeType shades[] = {stNoise,   stDiagShade, stHShade,    stVShade,   stHBump,
                               stVBump,   stSoftBump,  stHardBump,  stLMetal,   stRMetal,
                               stIRadial, stORadial,   stHShadeInv, stVShadeInv};
  const TCaptionShape shapes[] = {csRectangle, csRounded, csSemiRounded};
  QImage strip(3 * 230, 14 * 30, QImage::Format_RGB32);
  strip.fill(Qt::white);
  for (int i = 0; i < 14; ++i)
    for (int s = 0; s < 3; ++s) {
      TExPanel p;
      p.resize(220, 26);
      p.SetColor(clWhite);
      p.SetBevelOuter(bvNone);
      p.SetBorderColor(clNone);
      p.SetShadeSeed(5);
      TPanelCaption &c = p.Caption();
      c.SetVisible(true);
      c.SetHeight(24);
      c.SetColor(RGBColor(60, 110, 200));
      c.SetShadeLight(255);
      c.SetShadeType(shades[i]);
      c.SetShape(shapes[s]);
      c.SetFont([] {
        TFont f;
        f.Name = "Tahoma";
        f.Color = clWhite;
        f.Style = fsBold;
        return f;
      }());
      c.SetIndent(8);
      c.SetTopIndent(3);
      c.SetText(QString("Schattierung %1").arg(int(shades[i])));
      QPainter(&strip).drawImage(5 + s * 230, 2 + i * 30, kvtest::Render(p));
    }
  kvtest::SaveShot(strip, "shades");
}

// Panels in other looks: a tiled picture under centred text, a lowered bevel with a gradient and
// shadow, a collapsed panel, the themed caption, a caption with buttons on the left.
TEST(ExPanelShots, PicturesBevelsCollapsedAndThemedPanels) {
  QImage tile(8, 8, QImage::Format_RGB32);
  tile.fill(QColor(235, 240, 250));
  for (int i = 0; i < 8; ++i)
    tile.setPixel(i, i, qRgb(200, 210, 235));
  TExImage picture;
  picture.LoadFromBytes(kvtest::Encoded(tile));

  QImage sheet(5 * 170, 170, QImage::Format_RGB32);
  sheet.fill(Qt::darkGray);
  auto base = [](TExPanel &p) {
    p.resize(160, 150);
    p.SetShadeSeed(7);
    p.Caption().SetVisible(true);
    p.Caption().SetText("<B>Zeitserver</B>");
    p.Caption().SetIndent(4);
    p.Caption().SetTopIndent(2);
    p.Caption().SetCloseButton(true);
    p.Caption().SetMinMaxButton(true);
    p.SetText("<P align=\"center\">Letzte Abfrage<BR><B>12:04:31</B><BR><A href=\"konfig\">ändern</A></P>");
  };
  const std::function<void(TExPanel &)> looks[] = {[&](TExPanel &p) {
                                                     p.SetBackground(picture);
                                                     p.SetBackgroundPosition(bpTiled);
                                                     p.SetTextVAlign(tvaCenter);
                                                   },
                                                   [](TExPanel &p) {
                                                     p.SetColor(clWhite);
                                                     p.SetColorTo(RGBColor(210, 225, 245));
                                                     p.SetBevelOuter(bvLowered);
                                                     p.SetBorderShadow(true);
                                                     p.SetCanSize(true);
                                                     p.Caption().SetShadeType(stVBump);
                                                     p.Caption().SetColor(RGBColor(40, 120, 80));
                                                   },
                                                   [](TExPanel &p) { p.SetCollaps(true); },
                                                   [](TExPanel &p) {
                                                     p.Caption().SetShadeType(stXPCaption);
                                                     SetThemed(true);
                                                   },
                                                   [](TExPanel &p) {
                                                     p.Caption().SetButtonPosition(cbpLeft);
                                                     p.Caption().SetShape(csSemiRounded);
                                                     p.Caption().SetShadeType(stHShade);
                                                     p.SetTextVAlign(tvaBottom);
                                                   }};
  QPainter painter(&sheet);
  for (std::size_t i = 0; i < std::size(looks); ++i) {
    TExPanel p;
    base(p);
    looks[i](p);
    const QImage image = kvtest::Render(p);
    SetThemed(false);
    EXPECT_FALSE(image.isNull());
    painter.drawImage(5 + int(i) * 170, 10, image);
  }
  painter.end();
  kvtest::SaveShot(sheet, "looks");
}

} // namespace
