// Mouse handling: anchor clicks (the opener for web and mail addresses only, OnAnchorClick for
// the rest), the caption buttons, hover enter and exit, hover repaints, hints, and hit tests that
// find the text where painting put it.
#include <QCoreApplication>
#include <QHelpEvent>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

#include "controls/panels/ex_panel.h"
#include "ex_panel_support.h"
#include "platform/ui/text_measure.h"
#include "qt_application.h"

using namespace kv::panels;
using namespace kv::ui;
using kvtest::Click;
using kvtest::Move;

namespace {

// Four anchors on four lines of 13 pixels, characters 6 pixels wide.
const QString kLinks = "<A href=\"konfig\">Konfig</A><BR><A href=\"http://x\">Web</A><BR>"
                       "<A href=\"file:///etc/passwd\">Datei</A><BR><A href=\"MAILTO:a@b\">Mail</A>";

struct Fixture : ::testing::Test {
  TFixedTextMeasure measure{6, 13, 0};
  TExPanel panel;
  std::vector<QString> clicks, opened, events;
  TUrlOpener previous;

  Fixture() {
    previous = TCustomExPanel::SetUrlOpener([this](const QString &url) { opened.push_back(url); });
    panel.SetTextMeasure(&measure);
    panel.resize(200, 120);
    panel.SetBevelOuter(bvNone);
    panel.SetText(kLinks);
    panel.OnAnchorClick = [this](TCustomExPanel *, const QString &a) { clicks.push_back(a); };
    panel.OnAnchorEnter = [this](TCustomExPanel *, const QString &a) { events.push_back("enter " + a); };
    panel.OnAnchorExit = [this](TCustomExPanel *, const QString &a) { events.push_back("exit " + a); };
  }
  ~Fixture() override { TCustomExPanel::SetUrlOpener(previous); }
};

TEST_F(Fixture, OnlyWebAndMailAddressesGoToTheOpener) {
  for (const QPoint at : {QPoint(10, 6), QPoint(10, 19), QPoint(10, 32), QPoint(10, 45), QPoint(150, 6)})
    QTest::mouseClick(&panel, Qt::LeftButton, {}, at); // the last one beside the anchor
  QTest::mouseClick(&panel, Qt::RightButton, {}, QPoint(10, 6));
  EXPECT_EQ(clicks, (std::vector<QString>{"konfig", "file:///etc/passwd", "konfig"}));
  EXPECT_EQ(opened, (std::vector<QString>{"http://x", "MAILTO:a@b"}));
  EXPECT_TRUE(TCustomExPanel::IsOpenedByShell("https://korvane.example/"));
  EXPECT_FALSE(TCustomExPanel::IsOpenedByShell("javascript://x"));
  EXPECT_FALSE(TCustomExPanel::IsOpenedByShell("konfig"));
}

TEST_F(Fixture, ADoubleClickFiresTheAnchorOnce) {
  panel.show();
  // What a double click delivers: press, release, double click, release.
  QTest::mouseClick(&panel, Qt::LeftButton, {}, QPoint(10, 6));
  QTest::mouseDClick(&panel, Qt::LeftButton, {}, QPoint(10, 6));
  QTest::mouseRelease(&panel, Qt::LeftButton, {}, QPoint(10, 6));
  EXPECT_EQ(clicks, (std::vector<QString>{"konfig"}));
}

TEST_F(Fixture, TheTopStripIsBodyWithoutACaptionAndCaptionWithOne) {
  Click(panel, {10, 6});
  EXPECT_EQ(clicks.size(), 1u);
  panel.Caption().SetVisible(true);
  panel.Caption().SetText("<A href=\"titel\">Titel</A>");
  Click(panel, {10, 10});
  EXPECT_EQ(clicks.back(), "titel");
  // The body now starts below the caption (its height less twice the bevel width).
  Click(panel, {10, 18 + 6});
  EXPECT_EQ(clicks.back(), "konfig");
}

TEST_F(Fixture, HoverEntersAndExitsAnchors) {
  Move(panel, {10, 6});
  Move(panel, {12, 6});  // still the same anchor
  Move(panel, {10, 19}); // straight onto the next one
  EXPECT_EQ(panel.Cursor(), crHandPoint);
  Move(panel, {150, 19}); // off
  EXPECT_EQ(panel.Cursor(), crDefault);
  EXPECT_EQ(events, (std::vector<QString>{"enter konfig", "enter http://x", "exit "}));
}

TEST_F(Fixture, OnlyHoverRepaintsAnchors) {
  struct Counter : QObject {
    int paints = 0;
    bool eventFilter(QObject *, QEvent *e) override {
      paints += e->type() == QEvent::Paint;
      return false;
    }
  } counter;
  panel.show();
  QCoreApplication::processEvents();
  panel.installEventFilter(&counter);
  Move(panel, {10, 6});
  Move(panel, {150, 6});
  QCoreApplication::processEvents();
  EXPECT_EQ(counter.paints, 0);
  panel.SetHover(true);
  Move(panel, {10, 6});
  QCoreApplication::processEvents();
  EXPECT_GT(counter.paints, 0);
}

TEST_F(Fixture, AnchorHintsShowTheHrefBesideThePointer) {
  EXPECT_FALSE(panel.AnchorHintAt({10, 6}, {100, 100})) << "AnchorHint is off";
  panel.SetAnchorHint(true);
  auto hint = panel.AnchorHintAt({10, 6}, {100, 100});
  ASSERT_TRUE(hint);
  EXPECT_EQ(hint->first, "konfig");
  EXPECT_EQ(hint->second, QPoint(110, 90));
  panel.OnAnchorHint = [](TCustomExPanel *, QString &a) { a = "Einstellungen: " + a; };
  EXPECT_EQ(panel.AnchorHintAt({10, 6}, {0, 0})->first, "Einstellungen: konfig");
  EXPECT_FALSE(panel.AnchorHintAt({150, 6}, {0, 0}));
  panel.show();
  QHelpEvent help(QEvent::ToolTip, QPoint(10, 6), panel.mapToGlobal(QPoint(10, 6)));
  QCoreApplication::sendEvent(&panel, &help);
  EXPECT_EQ(QToolTip::text(), "Einstellungen: konfig");
  QToolTip::hideText();
}

TEST_F(Fixture, CaptionButtonsCloseCollapseAndReportClicks) {
  panel.Caption().SetVisible(true);
  panel.Caption().SetCloseButton(true);
  panel.Caption().SetMinMaxButton(true);
  int caption_clicks = 0, double_clicks = 0, closes = 0;
  panel.OnCaptionClick = [&](TCustomExPanel *) { ++caption_clicks; };
  panel.OnCaptionDBlClick = [&](TCustomExPanel *) { ++double_clicks; };
  panel.OnClose = [&](TCustomExPanel *) { ++closes; };
  panel.show();
  Click(panel, {100, 10});
  EXPECT_EQ(caption_clicks, 1);
  Click(panel, {200 - 2 - 12 - 6, 8}); // the collapse button, left of the close button
  EXPECT_TRUE(panel.Collaps());
  EXPECT_EQ(caption_clicks, 2) << "the collapse button lies in the caption too";
  kvtest::Send(panel, QEvent::MouseButtonDblClick, {100, 10});
  EXPECT_EQ(double_clicks, 1);
  Click(panel, {200 - 8, 8});
  EXPECT_EQ(closes, 1);
  EXPECT_TRUE(panel.isHidden());
}

// With a bevel, indents, a caption and centred text, the anchor is found where it is drawn.
TEST(ExPanelHitTest, ClicksFindTheTextWherePaintingPutsIt) {
  TExPanel panel;
  panel.resize(240, 160);
  panel.SetColor(clWhite);
  panel.SetBevelOuter(bvRaised);
  panel.SetBevelWidth(3);
  panel.SetBorderWidth(2);
  panel.SetIndent(20);
  panel.SetTopIndent(10);
  panel.Caption().SetVisible(true);
  for (TTextVAlignment align : {tvaTop, tvaCenter, tvaBottom}) {
    panel.SetTextVAlign(align);
    panel.SetText("<A href=\"ziel\">Ziel</A>");
    const QRect drawn = kvtest::BoundsOf(kvtest::Render(panel), kvtest::Rgb(clBlue));
    ASSERT_FALSE(drawn.isNull()) << align;
    QString anchor;
    TRect rect;
    panel.GetAnchorAt(drawn.center().x(), drawn.center().y(), anchor, rect);
    EXPECT_EQ(anchor, "ziel") << align;
    EXPECT_TRUE(rect.Contains(drawn.center())) << align;
    panel.GetAnchorAt(drawn.center().x(), drawn.top() - 12, anchor, rect);
    EXPECT_TRUE(anchor.isEmpty()) << align;
  }
}

} // namespace
