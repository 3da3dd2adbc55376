// The panel's data model: defaults and setter effects, the caption's notifications, collapse
// and expand (at once and animated, re-entered, freed on close), loading, copying, auto-size on
// the fixed-pitch measure, and references that may vanish.
#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <gtest/gtest.h>

#include "controls/panels/ex_panel.h"
#include "controls/panels/panel_styler.h"
#include "controls/panels/picture.h"
#include "controls/panels/picture_container.h"
#include "ex_panel_support.h"
#include "platform/ui/image_list.h"
#include "qt_application.h"
#include "test_support.h"

using namespace kv::panels;
using namespace kv::ui;

namespace {

// A panel that records its events and state hook.
class Recorder : public TExPanel {
public:
  Recorder() {
    OnMinimize = [this](TCustomExPanel *) { log += "min "; };
    OnMaximize = [this](TCustomExPanel *) { log += "max "; };
  }
  std::string log;

protected:
  void StateChanged() override { log += "state "; }
};

TEST(ExPanel, DefaultsAfterConstruction) {
  TExPanel p;
  EXPECT_TRUE(p.Text().isEmpty());
  EXPECT_EQ(p.BackgroundPosition(), bpTopLeft);
  EXPECT_TRUE(p.Background().Empty());
  EXPECT_EQ(p.ColorTo(), clNone);
  EXPECT_EQ(p.BorderColor(), clBlack);
  EXPECT_FALSE(p.BorderShadow());
  EXPECT_TRUE(p.Buffered());
  EXPECT_EQ(p.URLColor(), clBlue);
  EXPECT_EQ(p.HoverColor(), clNone);
  EXPECT_EQ(p.HoverFontColor(), clNone);
  EXPECT_EQ(p.ShadowColor(), clGray);
  EXPECT_EQ(p.ShadowOffset(), 2);
  EXPECT_EQ(p.TextVAlign(), tvaTop);
  EXPECT_FALSE(p.Collaps());
  EXPECT_EQ(p.CollapsColor(), clGray);
  EXPECT_EQ(p.CollapsDelay(), 20);
  EXPECT_EQ(p.CollapsSteps(), 0);
  EXPECT_TRUE(p.AutoHideChildren());
  EXPECT_FALSE(p.AutoSize().Enabled());
  EXPECT_TRUE(p.AutoSize().Height() && p.AutoSize().Width());
  EXPECT_FALSE(p.CanMove() || p.CanSize() || p.FixedLeft() || p.FixedTop() || p.FixedWidth() ||
               p.FixedHeight());
  EXPECT_FALSE(p.ShowMoveCursor() || p.FreeOnClose() || p.Hover() || p.AnchorHint());
  EXPECT_FALSE(p.Position().Save);
  EXPECT_EQ(p.Position().Location, clRegistry);
  EXPECT_EQ(p.Styler(), nullptr);
  EXPECT_EQ(p.Images(), nullptr);
  const TPanelCaption &c = p.Caption();
  EXPECT_FALSE(c.Visible());
  EXPECT_EQ(c.Height(), 20);
  EXPECT_EQ(c.Color(), clHighlight);
  EXPECT_EQ(c.ColorTo(), clNone);
  EXPECT_EQ(c.Font().Color, clHighlightText);
  EXPECT_EQ(c.CloseButtonColor(), clWhite);
  EXPECT_EQ(c.MinMaxButtonColor(), clWhite);
  EXPECT_EQ(c.CloseColor(), clBtnFace);
  EXPECT_EQ(c.ButtonPosition(), cbpRight);
  EXPECT_EQ(c.Shape(), csRectangle);
  EXPECT_EQ(c.ShadeType(), stNormal);
  EXPECT_EQ(c.ShadeLight(), 200);
  EXPECT_EQ(c.ShadeGrain(), 32);
}

TEST(PanelCaption, NotifiesChangesShadeChangesAndStateChanges) {
  TPanelCaption caption;
  std::string log;
  caption.OnChange = [&](TPanelCaption *) { log += "c"; };
  caption.OnShadeChange = [&](TPanelCaption *) { log += "s"; };
  caption.OnStateChange = [&](TPanelCaption *) { log += "v"; };
  caption.SetHeight(20); // unchanged: nothing
  caption.SetHeight(24);
  caption.SetColor(clHighlight); // unchanged
  caption.SetColor(clRed);
  caption.SetShadeType(stNoise);
  caption.SetVisible(true);
  caption.SetText("x");
  caption.SetMinGlyph(TBitmap(2, 2)); // stored only
  caption.SetButtonPosition(cbpLeft);
  EXPECT_EQ(log, "cscsccvc");

  TPanelCaption source;
  source.SetText("Titel");
  source.SetHeight(30);
  source.SetShadeLight(230);
  source.SetVisible(true);
  TPanelCaption copy;
  std::string order;
  copy.OnShadeChange = [&](TPanelCaption *c) { order += "s" + std::to_string(c->ShadeLight()) + " "; };
  copy.OnStateChange = [&](TPanelCaption *) { order += "v"; };
  copy.Assign(source);
  EXPECT_EQ(copy.Height(), 30);
  EXPECT_TRUE(copy.Visible());
  EXPECT_TRUE(copy.Text().isEmpty()) << "the text is not copied";
  // Background, Color (same: quiet), Flat, ShadeLight, ShadeGrain, ShadeType, Shape, then Visible.
  EXPECT_EQ(order, "s200 s200 s230 s230 s230 s230 v");
}

TEST(ExPanel, CollapseWithoutStepsJumpsAndKeepsTheColour) {
  QWidget parent;
  auto *p = new Recorder;
  p->setParent(&parent);
  auto *child = new QLabel("x", p);
  p->SetColor(clWhite);
  p->SetHeight(200);
  p->Caption().SetHeight(24);
  p->log.clear();
  p->SetCollaps(true);
  EXPECT_EQ(p->log, "min state ");
  EXPECT_EQ(p->Height(), 24);
  EXPECT_EQ(p->Color(), clWhite);
  EXPECT_EQ(p->FullHeight(), 200);
  EXPECT_TRUE(child->isHidden());
  p->SetHeight(100); // collapsed: the full height stays
  EXPECT_EQ(p->FullHeight(), 200);
  p->log.clear();
  p->SetCollaps(true);
  EXPECT_EQ(p->log, "state ") << "the same value changes nothing but the state hook";
  p->SetCollaps(false);
  EXPECT_EQ(p->log, "state max state ");
  EXPECT_EQ(p->Height(), 200);
  EXPECT_FALSE(child->isHidden());
}

TEST(ExPanel, AnimatedCollapseStepsByTimerAndQueuesAChangeMadeMeanwhile) {
  Recorder p;
  p.SetColor(clWhite);
  p.SetCollapsColor(clRed);
  p.SetCollapsSteps(4);
  p.SetCollapsDelay(0);
  p.SetHeight(100); // steps of (100 - 20) / 4 = 20
  p.log.clear();
  p.SetCollaps(true);
  EXPECT_EQ(p.log, "min ");
  EXPECT_TRUE(p.Collapsing());
  EXPECT_EQ(p.Color(), clRed);
  EXPECT_EQ(p.Height(), 80) << "the first step at once";
  p.SetCollaps(false); // wanted back while collapsing
  p.SetCollaps(true);  // and changed again: the last wish counts
  p.SetCollaps(false);
  std::vector<int> heights;
  for (int i = 0; i < 4; ++i) {
    p.CollapseTimerTick();
    heights.push_back(p.Height());
  }
  EXPECT_EQ(heights, (std::vector<int>{60, 40, 20, 40})) << "collapsed, then expanding from the queue";
  EXPECT_EQ(p.log, "min state max ");
  EXPECT_FALSE(p.Collaps());
  EXPECT_EQ(p.Color(), clWhite);
  while (p.Collapsing())
    p.CollapseTimerTick();
  EXPECT_EQ(p.Height(), 100);
  EXPECT_EQ(p.log, "min state max state ");
  // From a real timer too.
  p.SetCollaps(true);
  EXPECT_TRUE(kvtest::WaitUntil([&] {
    QCoreApplication::processEvents();
    return !p.Collapsing();
  }));
  EXPECT_EQ(p.Height(), 20);
}

TEST(ExPanel, APanelClosedWhileCollapsingIsFreedWhenTheAnimationEnds) {
  QWidget parent;
  parent.resize(300, 300);
  QPointer<TExPanel> p = new TExPanel(&parent);
  p->setGeometry(0, 0, 200, 150);
  p->Caption().SetVisible(true);
  p->Caption().SetCloseButton(true);
  p->SetFreeOnClose(true);
  p->SetCollapsSteps(3);
  p->SetCollapsDelay(0);
  bool closed = false;
  p->OnClose = [&](TCustomExPanel *) { closed = true; };
  parent.show();
  p->SetCollaps(true);
  kvtest::Click(*p, QPoint(200 - 8, 8)); // the close button at the right
  EXPECT_TRUE(closed);
  EXPECT_TRUE(p->isHidden());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_FALSE(p.isNull()) << "still collapsing";
  while (p && p->Collapsing())
    p->CollapseTimerTick();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(p.isNull());
}

TEST(ExPanel, WhileLoadingCollapsFiresItsEventButKeepsTheHeight) {
  Recorder p;
  p.BeginLoading();
  p.SetHeight(120);
  p.SetCollaps(true);
  EXPECT_EQ(p.log, "min state ");
  EXPECT_TRUE(p.Collaps());
  EXPECT_EQ(p.Height(), 120);
  p.Loaded();
  EXPECT_FALSE(p.Loading());
}

TEST(ExPanel, TheStoredFullHeightOverridesTheOneRecordedByHeight) {
  TExPanel p;
  p.SetHeight(353);
  EXPECT_EQ(p.FullHeight(), 353);
  p.SetFullHeight(297);
  EXPECT_EQ(p.FullHeight(), 297);
  // Collapsing records the height it leaves, so the panel expands to that height again.
  p.SetCollaps(true);
  EXPECT_EQ(p.FullHeight(), 353);
  p.SetCollaps(false);
  EXPECT_EQ(p.Height(), 353);
}

TEST(ExPanel, AssignCopiesAPanelsValuesButNotItsStateOrEvents) {
  TExPanel a, b;
  a.SetText("<B>x</B>");
  a.SetColor(clRed);
  a.SetBorderShadow(true);
  a.Caption().SetVisible(true);
  a.Caption().SetText("nicht kopiert");
  a.SetHeight(77);
  a.SetIndent(5);
  a.SetBorderWidth(3);
  a.Position().Key = "k";
  a.Position().Save = true;
  a.OnAnchorClick = [](TCustomExPanel *, const QString &) {};
  a.SetCollaps(true);
  b.Assign(&a);
  EXPECT_EQ(b.Text(), "<B>x</B>");
  EXPECT_EQ(b.Color(), clRed);
  EXPECT_TRUE(b.BorderShadow());
  EXPECT_TRUE(b.Caption().Visible());
  EXPECT_TRUE(b.Caption().Text().isEmpty());
  EXPECT_EQ(b.Position().Key, "k");
  EXPECT_TRUE(b.Position().Save);
  EXPECT_EQ(b.Indent(), 0);
  EXPECT_EQ(b.BorderWidth(), 0);
  EXPECT_FALSE(b.Collaps());
  EXPECT_FALSE(b.OnAnchorClick);
  QObject other;
  EXPECT_THROW(b.Assign(&other), EInvalidCast);
  EXPECT_THROW(b.Assign(nullptr), EInvalidCast);
}

TEST(ExPanel, AutoSizeFitsTheTextMeasuredOnTheFixedPitch) {
  TFixedTextMeasure measure(6, 13, 0);
  TExPanel p;
  p.SetTextMeasure(&measure);
  p.resize(300, 300);
  p.SetText("abcdef<BR>abc");
  EXPECT_EQ(p.size(), QSize(300, 300)) << "auto-size off: the text only repaints";
  p.AutoSize().SetEnabled(true);
  EXPECT_EQ(p.size(), QSize(2 + 36, 2 + 26));
  p.Caption().SetVisible(true);
  p.AutoSize().SetWidth(false);
  p.SetText("abcdefghij");
  EXPECT_EQ(p.size(), QSize(38, 2 + 13 + 20));
  QString tall;
  for (int i = 0; i < 3000; ++i)
    tall += "x<BR>";
  p.SetText(tall);
  EXPECT_EQ(p.Height(), MaxPanelExtent) << "kept within bounds";
  EXPECT_EQ(p.FullHeight(), MaxPanelExtent);
}

TEST(ExPanel, ImagesContainerAndStylerMayGoAway) {
  TExPanel p;
  p.resize(100, 60);
  p.SetText("<IMG src=\"idx:0\"><IMG src=\"pic\">");
  auto images = std::make_shared<TImageList>(16, 16);
  images->AddImage(QImage(16, 16, QImage::Format_ARGB32));
  p.SetImages(images);
  EXPECT_EQ(p.Images(), images);
  images.reset();
  EXPECT_EQ(p.Images(), nullptr);
  auto *container = new TPictureContainer;
  p.SetPictureContainer(container);
  EXPECT_EQ(p.PictureContainer(), container);
  delete container;
  EXPECT_EQ(p.PictureContainer(), nullptr);
  auto *styler = new TExPanelStyler;
  p.SetStyler(styler);
  EXPECT_EQ(p.Styler(), styler);
  delete styler;
  EXPECT_EQ(p.Styler(), nullptr);
  const QImage image = kvtest::Render(p); // draws without them
  EXPECT_EQ(image.size(), QSize(100, 60));
}

} // namespace
