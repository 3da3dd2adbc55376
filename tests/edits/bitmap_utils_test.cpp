// Bitmap and window helpers of the edit controls: keyed and stretched drawing, embossed and
// disabled glyphs, text shortening with the fixed-pitch measure, screen arithmetic, queued
// events, the parent's background, the active window and the two cursors.
#include <QCoreApplication>
#include <QPainter>
#include <QScreen>
#include <QWidget>
#include <gtest/gtest.h>

#include <vector>

#include "controls/edits/bitmap_utils.h"
#include "pixel_map.h"
#include "platform/ui/screen_cursors.h"
#include "qt_application.h"
#include "test_support.h"

using namespace kv::edits;
using namespace kv::ui;
using kvtest::BlueImage;
using kvtest::kInk;
using kvtest::PixelMap;
using Rows = std::vector<std::string>;

namespace {

// 2 x 2: red at the top, fuchsia (the key) at the bottom left, black at the bottom right.
TBitmap Glyph() {
  TBitmap b(2, 2);
  b.SetPixel(0, 0, clRed);
  b.SetPixel(1, 0, clRed);
  b.SetPixel(0, 1, clFuchsia);
  b.SetPixel(1, 1, clBlack);
  return b;
}

TEST(BitmapUtils, StretchBitmapMaskedKeysAndDefaults) {
  QImage image = BlueImage(6, 4);
  {
    TCanvas c(&image);
    DrawBitmapMasked(c, 0, 0, Glyph(), clDefault);                  // bottom-left key
    DrawBitmapMasked(c, 2, 0, Glyph(), clNone);                     // opaque
    StretchBitmapMasked(c, Glyph(), clRed, 0, 2, 4, 0, 0, 0, 0, 0); // width 4, own height, whole source
  }
  EXPECT_EQ(PixelMap(image, kInk), (Rows{"rrrrbb", "b#m#bb", "bbbbbb", "mm##bb"}));
}

TEST(BitmapUtils, EmptyBitmapDrawsNothingAndMonochromeKeysOnWhite) {
  QImage image = BlueImage(4, 4);
  {
    TCanvas c(&image);
    DrawBitmapMasked(c, 0, 0, TBitmap(), clDefault);
    StretchBitmapMasked(c, TBitmap(), clDefault, 0, 0, 4, 4, 0, 0, 0, 0);
    StretchBlitMasked(c, Rect(0, 0, 4, 4), TBitmap(), Rect(0, 0, 1, 1), clBlack);
  }
  EXPECT_EQ(image, BlueImage(4, 4));
  EXPECT_TRUE(MakeEmbossedBitmap(TBitmap(), clWhite).Empty());
  EXPECT_TRUE(MakeDisabledBitmap(TBitmap(), clBlack).Empty());

  TBitmap mono(2, 1);
  mono.SetPixel(1, 0, clBlack);
  mono.SetMonochrome(true);
  {
    TCanvas c(&image);
    DrawBitmapMasked(c, 0, 0, mono, clRed); // a monochrome bitmap is keyed on white, whatever the key
  }
  EXPECT_EQ(PixelMap(image, kInk)[0], "b#bb");
}

TEST(BitmapUtils, EmbossedAndDisabledGlyphs) {
  const std::map<char, TColor> ink = {{'.', clWhite},   {'S', clBtnShadow}, {'H', clBtnHighlight},
                                      {'F', clBtnFace}, {'r', clRed},       {'b', clBlue}};
  TBitmap glyph(4, 4);
  glyph.Canvas().Brush.Color = clRed;
  glyph.Canvas().FillRect(Rect(0, 0, 4, 4));
  glyph.SetPixel(1, 1, clBlack);
  glyph.SetPixel(2, 1, clBlack);

  // New style: every pixel that is not the background becomes the shape.
  TBitmap embossed = MakeEmbossedBitmap(glyph, clRed);
  std::map<char, TColor> with_red = ink;
  with_red.erase('.');
  EXPECT_EQ(PixelMap(embossed.Image(), with_red), (Rows{"rrrr", "rSSr", "rrHH", "rrrr"}));

  // Classic: only the outline colour's pixels, on button face.
  const TBitmap disabled = MakeDisabledBitmap(glyph, clBlack);
  EXPECT_EQ(PixelMap(disabled.Image(), ink), (Rows{"FFFF", "FSSF", "FFHH", "FFFF"}));
  const TBitmap plain = MakeDisabledBitmapEx(glyph, clBlack, clBlue, clRed, clRed, false);
  EXPECT_EQ(PixelMap(plain.Image(), ink), (Rows{"bbbb", "brrb", "bbbb", "bbbb"}));
  EXPECT_EQ(glyph.Pixel(1, 1), clBlack) << "the source stays as it was";
}

TEST(BitmapUtils, ImageListGlyphDisabledChecksItsIndex) {
  TImageList list(2, 2);
  TBitmap picture(2, 2);
  picture.SetPixel(0, 0, clRed);
  list.AddMasked(picture, clWhite);
  QImage image = BlueImage(3, 3);
  {
    TCanvas c(&image);
    DrawImageListGlyphDisabled(list, c, 0, 0, 1, clBlack, clWhite, true);
    DrawImageListGlyphDisabled(list, c, 0, 0, -1, clBlack, clWhite, true);
  }
  EXPECT_EQ(image, BlueImage(3, 3));
  {
    TCanvas c(&image);
    DrawImageListGlyphDisabled(list, c, 0, 0, 0, clBlack, clWhite, true);
  }
  EXPECT_EQ(PixelMap(image, kInk), (Rows{"#bb", "b.b", "bbb"}));
}

TEST(BitmapUtils, ShortenToWidthCutsWholeCharacters) {
  const TFixedTextMeasure m(6, 13);
  const TFont f;
  EXPECT_EQ(ShortenToWidth("abcdef", m, f, 36), "abcdef") << "fits: unchanged";
  EXPECT_EQ(ShortenToWidth("abcdef", m, f, 42), "abcdef");
  EXPECT_EQ(ShortenToWidth("abcdefghij", m, f, 54), "abcdef...");
  EXPECT_EQ(ShortenToWidth("abcdefgh", m, f, 42), "abcd...");
  EXPECT_EQ(ShortenToWidth("abcdef", m, f, 30), "ab...");
  EXPECT_EQ(ShortenToWidth("abcdef", m, f, 0), "...");
  EXPECT_EQ(ShortenToWidth("", m, f, 0), "");

  // Decomposed umlauts and a character outside the BMP are never split.
  const QString name = QString::fromUtf8("Mu\u0308ller \U0001F600 Ba\u0308r");
  for (int width = 0; width <= 6 * 14; width += 6) {
    const QString cut = ShortenToWidth(name, m, f, width);
    ASSERT_TRUE(cut == name || cut.endsWith("...")) << width;
    const QString kept = cut == name ? cut : cut.chopped(3);
    const std::vector<int> bounds = CharacterBoundaries(name);
    EXPECT_TRUE(name.startsWith(kept)) << width;
    EXPECT_NE(std::find(bounds.begin(), bounds.end(), int(kept.size())), bounds.end()) << width;
    EXPECT_EQ(QString::fromUtf8(cut.toUtf8()), cut) << "valid UTF-8";
  }
  EXPECT_EQ(ShortenToWidth(name, m, f, 30), QString::fromUtf8("Mu\u0308..."))
      << "u and its diaeresis stay together";

  TCanvas canvas;
  canvas.SetTextMeasure(&m);
  EXPECT_EQ(ShortenToWidth("abcdef", canvas, 30), "ab...");
}

TEST(BitmapUtils, ScreenArithmetic) {
  const QSize screen(800, 600);
  const struct {
    TRect in, out;
  } table[] = {
      {Rect(10, 10, 110, 60), Rect(10, 10, 110, 60)},
      {Rect(750, 580, 850, 630), Rect(700, 550, 800, 600)},
      {Rect(-20, -5, 80, 45), Rect(0, 0, 100, 50)},
      {Rect(100, 100, 1000, 700), Rect(0, 0, 900, 600)}, // wider than the screen: left ends at 0
  };
  for (const auto &row : table) {
    TRect r = row.in;
    KeepRectOnScreen(r, screen);
    EXPECT_EQ(r, row.out) << row.in.Left << "," << row.in.Top;
  }
  EXPECT_EQ(CenteredOnScreen(QSize(200, 101), screen), QPoint(300, 249));
  EXPECT_EQ(CenteredOnScreen(QSize(1000, 50), screen), QPoint(0, 275));
  EXPECT_EQ(PaletteRgb(clRed), 0x020000FFu);
  EXPECT_EQ(PaletteRgb(clBtnFace) & 0xFFFFFF, ColorToRGB(clBtnFace));

  QWidget window;
  window.resize(200, 100);
  CenterWindowOnScreen(&window);
  const QSize real = QGuiApplication::primaryScreen()->geometry().size();
  EXPECT_EQ(window.pos(), CenteredOnScreen(window.frameGeometry().size(), real));
  TRect r = Rect(real.width() - 10, 0, real.width() + 40, 10);
  KeepRectOnScreen(r);
  EXPECT_EQ(r.Right, real.width());
}

// An event that carries a number; `Sliced` has no copy of its own.
struct Numbered : QEvent {
  explicit Numbered(int n, Type type = User) : QEvent(type), number(n) {}
  Numbered *clone() const override { return new Numbered(*this); }
  int number;
};
struct Sliced : QEvent {
  explicit Sliced(int n) : QEvent(Type(User + 2)), number(n) {}
  int number;
};

// Writes the numbers of the events it gets into a log shared with other counters.
class Counter : public QObject {
public:
  explicit Counter(std::vector<int> &seen) : seen(seen) {}
  std::vector<int> &seen;
  bool event(QEvent *e) override {
    if (auto *n = dynamic_cast<Numbered *>(e)) seen.push_back(n->number);
    if (auto *s = dynamic_cast<Sliced *>(e)) seen.push_back(s->number);
    return QObject::event(e);
  }
};

TEST(BitmapUtils, DropPendingMessageRemovesOneOfThatTypeInPlace) {
  std::vector<int> seen;
  Counter target(seen), other(seen);
  DropPendingMessage(&target, QEvent::User); // nothing queued: what is queued later stays
  QCoreApplication::postEvent(&target, new Numbered(0));
  QCoreApplication::processEvents();
  EXPECT_EQ(seen, std::vector<int>{0});

  seen.clear();
  for (int n : {1, 2})
    QCoreApplication::postEvent(&target, new Numbered(n));
  QCoreApplication::postEvent(&other, new Numbered(3));
  QCoreApplication::postEvent(&target, new Numbered(4, QEvent::Type(QEvent::User + 1)));
  for (int n : {5, 6})
    QCoreApplication::postEvent(&target, new Sliced(n)); // a type without its own copy
  DropPendingMessage(&target, QEvent::User);
  DropPendingMessage(&target, QEvent::Type(QEvent::User + 2));
  DropPendingMessage(nullptr, QEvent::User);
  QCoreApplication::postEvent(&target, new Numbered(7));
  EXPECT_TRUE(seen.empty()) << "nothing is delivered during the call";
  QCoreApplication::processEvents();
  EXPECT_EQ(seen, (std::vector<int>{2, 3, 4, 6, 7}));

  // An object that goes while its drop waits takes the drop with it.
  Counter doomed(seen);
  QCoreApplication::postEvent(&doomed, new Numbered(8));
  DropPendingMessage(&doomed, QEvent::User);
}

TEST(BitmapUtils, EachDropTakesTheEventPendingWhenItWasAsked) {
  std::vector<int> seen;
  Counter target(seen);
  auto post = [&](int n) { QCoreApplication::postEvent(&target, new Numbered(n)); };
  auto drop = [&] { DropPendingMessage(&target, QEvent::User); };
  // Post, drop, post, drop: both go; what comes after the last drop stays.
  post(1), drop(), post(2), drop(), post(3);
  QCoreApplication::processEvents();
  EXPECT_EQ(seen, std::vector<int>{3});
  // A drop with nothing left pending for it takes nothing queued later.
  seen.clear();
  post(1), drop(), drop(), post(2);
  QCoreApplication::processEvents();
  EXPECT_EQ(seen, std::vector<int>{2});
  seen.clear();
  drop(), post(1), drop(), post(2);
  QCoreApplication::processEvents();
  EXPECT_EQ(seen, std::vector<int>{2});
}

class Filled : public QWidget {
public:
  Filled(QWidget *parent, QColor colour) : QWidget(parent), colour_(colour) {}

protected:
  void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), colour_); }

private:
  QColor colour_;
};

// Shows its parent's background, painted through the canvas.
class SeeThrough : public QWidget {
public:
  using QWidget::QWidget;

protected:
  void paintEvent(QPaintEvent *) override {
    TCanvas c(this);
    PaintParentBackground(this, c);
  }
};

TEST(BitmapUtils, PaintParentBackgroundShowsParentAndSiblingsBelow) {
  Filled parent(nullptr, Qt::blue);
  parent.resize(20, 20);
  Filled below(&parent, Qt::red);
  below.setGeometry(0, 0, 8, 20);
  SeeThrough control(&parent);
  control.setGeometry(4, 4, 10, 10);
  Filled above(&parent, Qt::green); // above the control: not part of its background
  above.setGeometry(10, 0, 10, 20);

  QImage image = kvtest::WhiteImage(10, 10);
  {
    TCanvas c(&image);
    PaintParentBackground(&control, c);
  }
  EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0)) << "sibling below at x 4..7";
  EXPECT_EQ(image.pixel(3, 9), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(4, 0), qRgb(0, 0, 255)) << "the parent from x 8 on";
  EXPECT_EQ(image.pixel(9, 9), qRgb(0, 0, 255)) << "the sibling above is not drawn";
}

TEST(BitmapUtils, ActiveWindowIsOursWhenOneOfOurWindowsHasFocus) {
  EXPECT_FALSE(ActiveWindowIsOurs());
  QWidget window;
  window.show();
  window.activateWindow();
  EXPECT_TRUE(kvtest::WaitUntil([] {
    QCoreApplication::processEvents();
    return ActiveWindowIsOurs();
  }));
  window.hide();
}

TEST(BitmapUtils, CursorsAreRegisteredAtStart) {
  ASSERT_TRUE(HasScreenCursor(crKvHand));
  ASSERT_TRUE(HasScreenCursor(crKvDrag));
  const QCursor hand = ScreenCursor(crKvHand);
  EXPECT_EQ(hand.pixmap().size(), QSize(32, 32));
  EXPECT_EQ(hand.hotSpot(), QPoint(6, 0));
  EXPECT_EQ(ScreenCursor(crKvDrag).pixmap().size(), QSize(32, 32));
  EXPECT_EQ(ScreenCursor(12345).shape(), Qt::ArrowCursor);
}

} // namespace
