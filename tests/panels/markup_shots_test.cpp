// The main window's three navigation texts drawn with real fonts into a picture the size of the
// navigation pane: the text stays inside, the rule spans the pane, every anchor is found where it
// is drawn. With KORVANE_SHOTS_DIR set, the pictures are saved there as PNG files to look at.
#include <QImage>
#include <gtest/gtest.h>

#include "controls/panels/markup_renderer.h"
#include "ex_panel_support.h"
#include "platform/ui/canvas.h"
#include "platform/ui/image_list.h"
#include "qt_application.h"

using namespace kv::panels;
using namespace kv::ui;

namespace {

struct Shot {
  const char *name;
  const QString &text;
  std::vector<const char *> hrefs;
};

const Shot kShots[] = {
    {"hauptfunktionen", kvtest::kMainFunctions, {"konfig", "ende"}},
    {"update", kvtest::kUpdate, {"update"}},
    {"hilfe", kvtest::kHelp, {"hilfe", "info"}},
};

const TImageList &Pictures() {
  static const std::shared_ptr<TImageList> list = kvtest::NavigationPictures();
  return *list;
}

TMarkupParams PanelParams(const QImage &image) {
  TMarkupParams params;
  params.Rect = Rect(0, 0, image.width(), image.height());
  params.Images = &Pictures();
  return params;
}

TEST(MarkupShots, NavigationTextsDrawInsideThePaneAndTheirAnchorsAreFound) {
  for (const Shot &shot : kShots) {
    SCOPED_TRACE(shot.name);
    QImage image(168, 120, QImage::Format_RGB32);
    image.fill(Qt::white);
    TMarkupResult result;
    {
      TCanvas canvas(&image);
      canvas.Font.Name = "Tahoma";
      canvas.Font.Size = 8;
      canvas.Brush.Color = clWhite;
      DrawMarkup(canvas, shot.text, PanelParams(image), result);
    }
    // Text, images and the rule: everything drawn lies inside the pane, below the first empty line.
    QRect ink;
    int rule_row = -1;
    for (int y = 0; y < image.height(); ++y) {
      int black = 0;
      for (int x = 0; x < image.width(); ++x) {
        if (image.pixel(x, y) == qRgb(255, 255, 255)) continue;
        ink |= QRect(x, y, 1, 1);
        black += image.pixel(x, y) == qRgb(0, 0, 0);
      }
      if (black == image.width() - 1 && rule_row < 0) rule_row = y;
    }
    EXPECT_GT(ink.top(), 8) << "the first line is empty";
    EXPECT_GE(ink.left(), 1);
    EXPECT_LT(ink.bottom(), result.YSize + 2);
    EXPECT_GT(rule_row, ink.top()) << "a rule from x 1 to the right edge under the caption";
    EXPECT_LE(result.XSize, image.width());
    EXPECT_EQ(result.HyperLinks, int(shot.hrefs.size()));

    // Every anchor is found in the middle of the part the hit test reports for it.
    std::vector<QString> found;
    for (int y = 0; y < result.YSize; y += 2) {
      for (int x = 0; x < image.width(); x += 3) {
        TCanvas probe;
        TMarkupParams params = PanelParams(image);
        params.CheckOnly = true;
        params.X = x;
        params.Y = y;
        TMarkupResult hit;
        if (!DrawMarkup(probe, shot.text, params, hit)) continue;
        if (std::find(found.begin(), found.end(), hit.AnchorVal) != found.end()) continue;
        found.push_back(hit.AnchorVal);
        const QPoint centre((hit.HoverRect.Left + hit.HoverRect.Right) / 2,
                            (hit.HoverRect.Top + hit.HoverRect.Bottom) / 2);
        params.X = centre.x();
        params.Y = centre.y() + 2;
        TMarkupResult again;
        EXPECT_TRUE(DrawMarkup(probe, shot.text, params, again));
        EXPECT_EQ(again.AnchorVal, hit.AnchorVal);
      }
    }
    ASSERT_EQ(found.size(), shot.hrefs.size());
    for (size_t i = 0; i < found.size(); ++i)
      EXPECT_EQ(found[i], shot.hrefs[i]);
    kvtest::SaveShot(image.scaled(image.size() * 3), shot.name);
  }
}

} // namespace
