// The mark-up renderer: layout and hit tests with a fixed-pitch measure (6 pixels a character,
// lines 13 high), pixels of shapes without text, and the navigation texts of the main window.
#include "controls/panels/markup_renderer.h"

#include <QImage>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <future>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "controls/panels/markup_lexer.h"
#include "controls/panels/picture.h"
#include "controls/panels/picture_container.h"
#include "ex_panel_support.h"
#include "pixel_map.h"
#include "platform/ui/bitmap.h"
#include "platform/ui/canvas.h"
#include "platform/ui/image_list.h"
#include "platform/ui/text_measure.h"
#include "qt_application.h"
#include "test_support.h"

using namespace kv::panels;
using namespace kv::ui;

namespace {

using kvtest::kHelp;
using kvtest::kMainFunctions;
using kvtest::kUpdate;

// Six 16 × 16 pictures, each one colour.
const TImageList &SixImages() {
  static TImageList list = [] {
    TImageList l(16, 16);
    const QRgb colours[] = {qRgb(255, 0, 0),   qRgb(0, 160, 0),   qRgb(0, 0, 255),
                            qRgb(255, 160, 0), qRgb(0, 160, 160), qRgb(160, 0, 160)};
    for (QRgb c : colours) {
      QImage image(16, 16, QImage::Format_ARGB32);
      image.fill(c);
      l.AddImage(image);
    }
    return l;
  }();
  return list;
}

// A container item holding `pixels` as a PNG picture.
void AddPicture(TPictureContainer &container, const QString &name, const QImage &pixels) {
  TPictureItem *item = container.Items()->Add();
  item->Name = name;
  item->Picture()->LoadFromBytes(kvtest::Encoded(pixels));
}

// Lays out or hit-tests on a canvas without a device, with the fixed measure.
struct Layout {
  TFixedTextMeasure measure{6, 13, 0};
  TCanvas canvas;
  TMarkupParams params;
  TMarkupResult result;
  bool hit = false;

  explicit Layout(TRect rect = Rect(0, 0, 248, 300)) {
    canvas.SetTextMeasure(&measure);
    params.Rect = rect;
    params.Images = &SixImages();
  }
  Layout &Run(const QString &text) {
    hit = DrawMarkup(canvas, text, params, result);
    return *this;
  }
  // Hit test at (x, y); the anchor found, or "" for none.
  QString At(const QString &text, int x, int y) {
    params.CheckOnly = true;
    params.X = x;
    params.Y = y;
    result = {};
    Run(text);
    EXPECT_EQ(hit, !result.AnchorVal.isEmpty() || result.MouseLink > 0) << x << "," << y;
    return hit ? result.AnchorVal : QString();
  }
};

TEST(MarkupLayout, EmptyTextIsOneGhHigh) {
  Layout l;
  l.Run("");
  EXPECT_EQ(l.result.YSize, 13);
  EXPECT_EQ(l.result.XSize, 0);
  EXPECT_EQ(l.result.HyperLinks, 0);
  EXPECT_FALSE(l.hit);
}

TEST(MarkupLayout, FitsRunsAtBlanksAndLeavesTrailingBlanksOut) {
  Layout l(Rect(0, 0, 41, 300)); // 40 pixels for text
  l.params.MeasureOnly = true;
  l.Run("aaa bbb ccc");
  EXPECT_EQ(l.result.YSize, 39) << "three lines";
  EXPECT_EQ(l.result.XSize, 18) << "\"aaa \" without its blank";
  EXPECT_EQ(l.result.StripVal, "aaa bbb ccc");
  // A word wider than the line fits wherever it starts.
  l.Run("a verylongwordhere b");
  EXPECT_EQ(l.result.XSize, 6 * 18);
  EXPECT_EQ(l.result.YSize, 26);
  // A word split by a tag is never broken at the tag.
  l.Run("aaa bb<B>bbbbb</B>b");
  EXPECT_EQ(l.result.YSize, 13);
  EXPECT_EQ(l.result.XSize, 72);
  Layout wide;
  wide.Run("ab <BR>cd<BR>");
  EXPECT_EQ(wide.result.XSize, 12) << "a trailing blank before a break does not count";
  EXPECT_EQ(wide.result.StripVal, "ab \rcd\r");
}

TEST(MarkupLayout, DrawingStopsAtTheBottomButMeasuringSumsEverything) {
  Layout l(Rect(0, 0, 100, 30));
  l.Run("a<BR>b<BR>c<BR>d");
  EXPECT_EQ(l.result.YSize, 26) << "a third line would start below 30 - 13";
  l.params.MeasureOnly = true;
  l.Run("a<BR>b<BR>c<BR>d");
  EXPECT_EQ(l.result.YSize, 52);
}

TEST(MarkupLayout, WithoutWordWrapTheOverflowingRunEndsTheText) {
  Layout l(Rect(0, 0, 41, 100));
  l.params.WordWrap = false;
  l.Run("<B>bold</B> plain<BR>next line");
  EXPECT_EQ(l.result.YSize, 13) << "one line; the rest is dropped";
  EXPECT_EQ(l.result.StripVal, "bold plain");
  EXPECT_EQ(l.result.XSize, 60);
}

TEST(MarkupLayout, SubscriptAndSuperscriptAddAQuarterOfTheHeight) {
  Layout l;
  l.params.MeasureOnly = true;
  EXPECT_EQ(l.Run("a<SUB>b</SUB>").result.YSize, 16);
  EXPECT_EQ(l.Run("a<SUP>b</SUP><SUB>c").result.YSize, 19);
  EXPECT_EQ(l.Run("a<SUB>b<BR>c").result.YSize, 29) << "ends with the line";
}

TEST(MarkupLayout, ImagesTakeTheirSizeOnlyWhenTheyExist) {
  Layout l;
  l.params.MeasureOnly = true;
  l.Run(R"(<IMG src="idx:1">ab)");
  EXPECT_EQ(l.result.XSize, 16 + 12);
  EXPECT_EQ(l.result.YSize, 16);
  EXPECT_EQ(l.Run(R"(<IMG src="idx:?">ab)").result.XSize, 28) << "an unreadable number reads as 0";
  for (const char *missing :
       {R"(<IMG src="idx:6">ab)", R"(<IMG src="idx:-1">ab)", R"(<IMG src="nothing">ab)", R"(<IMG>ab)"}) {
    l.Run(missing);
    EXPECT_EQ(l.result.XSize, 12) << missing;
    EXPECT_EQ(l.result.YSize, 13) << missing;
  }
  TImageList four(16, 16);
  for (int i = 0; i < 4; ++i)
    four.AddImage(QImage(16, 16, QImage::Format_ARGB32));
  l.params.Images = &four;
  EXPECT_EQ(l.Run(R"(<IMG src="idx:4">)").result.XSize, 0);
  EXPECT_EQ(l.Run(R"(<IMG src="idx:3">)").result.XSize, 16);
  // System icons by a checked index or by name.
  EXPECT_EQ(l.Run(R"(<IMG src="ssys:0"><IMG src="lsys:1">)").result.XSize, 48);
  EXPECT_EQ(l.Run(R"(<IMG src="ssys:-1"><IMG src="ssys:99">)").result.XSize, 0);
  EXPECT_EQ(l.Run(R"(<IMG src="lsys:/no/such/file.txt">)").result.YSize, 32);
  // An image that does not fit ends the line before it.
  Layout narrow(Rect(0, 0, 41, 100));
  narrow.params.MeasureOnly = true;
  EXPECT_EQ(narrow.Run(R"(abcd<IMG src="idx:0">)").result.YSize, 16) << "24 + 16 fits into 40";
  EXPECT_EQ(narrow.Run(R"(abcde<IMG src="idx:0">)").result.YSize, 13 + 16);
}

TEST(MarkupLayout, PictureSizesAreClampedAndPicturesComeFromTheContainer) {
  TPictureContainer container;
  QImage pixels(3, 2, QImage::Format_RGB32);
  pixels.fill(Qt::red);
  AddPicture(container, "Logo", pixels);
  Layout l;
  l.params.MeasureOnly = true;
  l.params.PictureContainer = &container;
  EXPECT_EQ(l.Run(R"(<IMG src="logo">)").result.XSize, 3);
  EXPECT_EQ(l.Run(R"(<IMG src="logo" width="20" height="30">)").result.YSize, 30);
  EXPECT_EQ(l.Run(R"(<IMG src="logo" width="20">)").result.XSize, 3) << "both or neither";
  l.Run(R"(<IMG src="logo" width="1000000000" height="99999">)");
  EXPECT_EQ(l.result.XSize, 4096);
  EXPECT_EQ(l.result.YSize, 4096);
  EXPECT_EQ(l.Run(R"(<FONT size="1000000">x)").result.YSize, 13) << "the fixed measure ignores sizes";
}

TEST(MarkupLayout, EveryLineTakesSomethingSoAnyTextEnds) {
  static const char *pieces[] = {"<IMG src=\"idx:0\">",
                                 "<LI>",
                                 "<UL>",
                                 "</UL>",
                                 "<IN x=\"500\">",
                                 "<BR>",
                                 "<P align=\"right\" indent=\"4000\">",
                                 "word ",
                                 "w",
                                 " ",
                                 "<",
                                 "<A href=\"x\">",
                                 "</A>",
                                 "<Z>",
                                 "</Z>",
                                 "<SUB>",
                                 "&amp;",
                                 "<HR>",
                                 "<R a=\"90\">",
                                 "</P>",
                                 "<FONT size=\"99\">",
                                 "<IMG src=\"idx:0\" align=\"top\">"};
  std::mt19937 rng(4711);
  std::uniform_int_distribution<int> count(0, 20), pick(0, std::size(pieces) - 1), width(1, 40);
  for (int i = 0; i < 3000; ++i) {
    QString text;
    for (int n = count(rng); n > 0; --n)
      text += QLatin1String(pieces[pick(rng)]);
    Layout l(Rect(0, 0, width(rng), 5000));
    l.params.MeasureOnly = i % 2;
    l.params.WordWrap = i % 3 != 0;
    l.Run(text);
    ASSERT_GE(l.result.YSize, 13) << text.toStdString();
  }
}

TEST(MarkupLayout, AlignmentIndentAndListsMoveTheLine) {
  Layout l(Rect(0, 0, 101, 100));
  l.At(R"(<P align="right"><A href="x">ab</A>)", 95, 6);
  EXPECT_EQ(l.result.HoverRect.Left, 101 - 12);
  l.At(R"(<P align="center"><A href="x">ab</A>)", 50, 6);
  EXPECT_EQ(l.result.HoverRect.Left, 1 + 44);
  l.At(R"(<P indent="10"><A href="x">ab</A>)", 15, 6);
  EXPECT_EQ(l.result.HoverRect.Left, 11);
  l.At(R"(<P align="right left center">x<BR><A href="x">ab</A>)", 50, 19);
  EXPECT_EQ(l.result.HoverRect.Left, 45) << "the last test wins and stays for the next lines";
  EXPECT_EQ(l.At(R"(<UL><LI><A href="x">ab</A>)", 16, 19), "x");
  EXPECT_EQ(l.result.HoverRect.Left, 1 + 12);
  EXPECT_EQ(l.At(R"(<UL><UL><LI><A href="x">ab</A>)", 28, 32), "x");
  EXPECT_EQ(l.result.HoverRect.Left, 1 + 24);
  EXPECT_EQ(l.At(R"(ab<IN x="40"><A href="x">cd</A>)", 44, 6), "x");
  EXPECT_EQ(l.result.HoverRect.Left, 41);
  // Indents from the text are kept within bounds.
  l.At(R"(<P indent="2000000000"><A href="x">ab</A>)", 4100, 6);
  EXPECT_EQ(l.result.HoverRect.Left, 1 + 4096);
  l.params.MeasureOnly = true;
  EXPECT_EQ(l.Run(R"(<IN x="99999999">ab)").result.XSize, 4096 + 12);
}

TEST(MarkupHitTest, FindsEachNavigationAnchorAtTheCentreOfItsRun) {
  struct Case {
    const QString *text;
    const char *href;
    int x, y;
  };
  // Rows: a break (0..13), the bold caption with its rule (13..26), a break (26..39), then the
  // first image line (39..55, text band 42..55).
  const Case cases[] = {
      {&kMainFunctions, "konfig", 1 + 28 + 42, 48}, // "Konfiguration " at 28..112
      {&kMainFunctions, "ende", 1 + 28 + 27, 77},   // after an empty line (55..68): 68..84
      {&kUpdate, "update", 1 + 28 + 27, 48},        // "Internet " at 28..82
      {&kHelp, "hilfe", 1 + 62 + 15, 48},           // two images, then "Text " at 62..92
      {&kHelp, "info", 1 + 28 + 15, 77},            // "Über " at 28..58
  };
  for (const Case &c : cases) {
    Layout l;
    EXPECT_EQ(l.At(*c.text, c.x, c.y), c.href);
    EXPECT_GT(l.result.MouseLink, 0);
    EXPECT_TRUE(l.result.HoverRect.Contains({c.x, c.y})) << c.href;
  }
}

TEST(MarkupHitTest, PointsBesideOrAboveTheTextFindNothing) {
  Layout l;
  EXPECT_EQ(l.At(kMainFunctions, 71, 30), "") << "the empty line between caption and anchors";
  EXPECT_EQ(l.At(kMainFunctions, 71, 62), "") << "between the two anchors";
  EXPECT_EQ(l.At(kMainFunctions, 10, 48), "") << "over the image, which is not in the anchor";
  EXPECT_EQ(l.At(kMainFunctions, 240, 48), "") << "right of the anchor";
  // The "ende" line is 16 high for its image; its text band is 71..84 (exclusive).
  EXPECT_EQ(l.At(kMainFunctions, 56, 70), "") << "inside the run's x range but above the text band";
  EXPECT_EQ(l.At(kMainFunctions, 56, 71), "");
  EXPECT_EQ(l.At(kMainFunctions, 56, 72), "ende");
  EXPECT_EQ(l.At(kMainFunctions, 56, 83), "ende");
  EXPECT_EQ(l.At(kMainFunctions, 56, 84), "");
}

TEST(MarkupHitTest, AnAnchorIsFoundOnlyOnItsOwnLine) {
  Layout l;
  // Below an anchor, on a line without one: nothing (the hit state is reset per line).
  EXPECT_EQ(l.At(R"(<A href="a">aaa</A><BR>plain text)", 7, 19), "");
  EXPECT_EQ(l.At(R"(<A href="a">aaa</A><BR>plain text)", 7, 6), "a");
  // An anchor over two lines is found on both, each with its own part as HoverRect.
  Layout narrow(Rect(0, 0, 41, 100));
  const QString two = R"(x<A href="long">aa bbbbb</A>)";
  EXPECT_EQ(narrow.At(two, 15, 6), "long");
  EXPECT_EQ(narrow.result.HoverRect, Rect(1 + 6, 0, 1 + 24, 13));
  EXPECT_EQ(narrow.At(two, 20, 19), "long");
  EXPECT_EQ(narrow.result.HoverRect, Rect(1, 13, 1 + 30, 26));
  EXPECT_EQ(narrow.result.MouseLink, 1);
  // The target comes from the anchor's own tag, never from a later one.
  EXPECT_EQ(l.At(R"(<A>xyz</A><IMG src="y"> <A href="z">w</A>)", 8, 6), "");
  EXPECT_TRUE(l.hit);
}

TEST(MarkupHitTest, AnchoredImagesAreHitInsideTheirOwnBox) {
  Layout l;
  const QString text = R"(<A href="pic"><IMG src="idx:0" alt="idx:1"></A> tail)";
  EXPECT_EQ(l.At(text, 9, 8), "pic");
  EXPECT_EQ(l.At(text, 1, 8), "") << "strictly inside";
  EXPECT_EQ(l.At(text, 9, 0), "");
  EXPECT_EQ(l.At(text, 9, 16), "");
}

TEST(MarkupLayout, CountsAnchorsAndNamesTheFocusedOne) {
  QImage image(200, 40, QImage::Format_RGB32);
  TCanvas canvas(&image);
  TMarkupParams params;
  params.Rect = Rect(0, 0, 200, 40);
  params.FocusLink = 1;
  TMarkupResult result;
  DrawMarkup(canvas, R"(<A href="a">a</A> <A href="b">b</A> <A href="c">c</A>)", params, result);
  EXPECT_EQ(result.HyperLinks, 3);
  EXPECT_EQ(result.FocusAnchor, "b");
  EXPECT_EQ(result.MouseLink, -1);
  EXPECT_EQ(result.StripVal, "a b c");
}

// ---- Pixels

std::vector<std::string> Rows(const QImage &image, int from, int to) {
  std::vector<std::string> all = kvtest::PixelMap(image, kvtest::kInk);
  return {all.begin() + from, all.begin() + to};
}

TEST(MarkupPixels, RuleRunsFromTheLineToTheRightEdgeBelowTheText) {
  QImage image = kvtest::WhiteImage(12, 18);
  TCanvas canvas(&image);
  TFixedTextMeasure measure(6, 13, 0);
  canvas.SetTextMeasure(&measure);
  TMarkupParams params;
  params.Rect = Rect(0, 0, 10, 18);
  TMarkupResult result;
  DrawMarkup(canvas, "<HR>", params, result);
  canvas.EndPaint();
  EXPECT_EQ(Rows(image, 12, 16),
            (std::vector<std::string>{"............", "............", ".#########..", "............"}))
      << "line bottom 13, the rule one below, from x 1 to the right edge (exclusive)";
}

TEST(MarkupPixels, ErrorMarkingIsARedZigZagUnderTheRun) {
  QImage image = kvtest::WhiteImage(30, 18);
  TCanvas canvas(&image);
  TFixedTextMeasure measure(6, 13, 0);
  canvas.SetTextMeasure(&measure);
  canvas.Font.Color = clWhite; // the text itself stays invisible on white
  TMarkupParams params;
  params.Rect = Rect(0, 0, 30, 18);
  TMarkupResult result;
  DrawMarkup(canvas, "<E>abcd", params, result); // the run covers 1..25
  canvas.EndPaint();
  EXPECT_EQ(Rows(image, 11, 16), (std::vector<std::string>{
                                     "..............................",
                                     "..r...r...r...r...r...r.......",
                                     ".r.r.r.r.r.r.r.r.r.r.r.r.r....",
                                     "r...r...r...r...r...r...r.....",
                                     "..............................",
                                 }));
}

TEST(MarkupPixels, GradientBandsAndBlending) {
  QImage image = kvtest::WhiteImage(64, 4);
  {
    TCanvas canvas(&image);
    DrawGradient(canvas, clBlack, clWhite, 4, Rect(0, 0, 64, 4), true);
  }
  const int expected[] = {0, 64, 128, 191};
  for (int band = 0; band < 4; ++band) {
    EXPECT_EQ(qRed(image.pixel(band * 16, 2)), expected[band]) << band;
    EXPECT_EQ(qRed(image.pixel(band * 16 + 15, 2)), expected[band]) << band;
  }
  QImage tall = kvtest::WhiteImage(4, 10);
  {
    TCanvas canvas(&tall);
    DrawGradient(canvas, clRed, clBlue, 0, Rect(0, 0, 4, 10), false);
    EXPECT_EQ(canvas.Brush.Color, clRed) << "Steps 0 counts as 1";
  }
  EXPECT_EQ(tall.pixel(3, 9), qRgb(255, 0, 0));

  EXPECT_EQ(BlendColor(clRed, clBlue, 50), RGBColor(128, 0, 128));
  EXPECT_EQ(BlendColor(clBtnFace, clBlue, 100), clBtnFace) << "100 per cent is the colour itself";
  EXPECT_EQ(BlendColor(clRed, clBlue, 250), clRed) << "clamped";
  EXPECT_EQ(BlendColor(clRed, clBlue, -40), clBlue) << "clamped";
  EXPECT_EQ(BlendColor(RGBColor(10, 20, 30), RGBColor(110, 120, 130), 20), RGBColor(90, 100, 110));
}

QImage Draw(const QString &text, TMarkupParams params, QSize size = {200, 60}) {
  QImage image = kvtest::WhiteImage(size.width(), size.height());
  TCanvas canvas(&image);
  canvas.Brush.Color = clWhite;
  params.Rect = Rect(0, 0, size.width(), size.height());
  params.Images = &SixImages();
  TMarkupResult result;
  DrawMarkup(canvas, text, params, result);
  return image;
}

template <class Test> int CountInk(const QImage &image, QRect area, Test test) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      n += test(image.pixel(x, y));
  return n;
}

int CountColour(const QImage &image, QRgb colour, QRect area) {
  return CountInk(image, area, [&](QRgb c) { return (c | 0xFF000000u) == colour; });
}

TEST(MarkupPixels, HoverColoursOnlyTheHoveredAnchor) {
  TMarkupParams params;
  params.Hover = true;
  params.HoverLink = 2;
  params.HoverColor = clYellow;
  params.HoverFontColor = clRed;
  const QString text = R"(<A href="a">first</A><BR><BR><BR><A href="b">second</A>)";
  const QImage image = Draw(text, params);
  const QRect first(0, 0, 200, 12), second(0, 30, 200, 30);
  EXPECT_EQ(CountColour(image, qRgb(255, 255, 0), first), 0);
  EXPECT_GT(CountColour(image, qRgb(255, 255, 0), second), 100);
  EXPECT_GT(CountInk(image, second, [](QRgb c) { return qRed(c) > 200 && qGreen(c) < 80; }), 5);
  EXPECT_GT(CountInk(image, first, [](QRgb c) { return qBlue(c) > 200 && qRed(c) < 80; }), 5)
      << "the URL colour";
  params.Hover = false;
  const QImage plain = Draw(text, params);
  EXPECT_EQ(CountColour(plain, qRgb(255, 255, 0), plain.rect()), 0) << "hover colours need Hover";
}

TEST(MarkupPixels, ImagesDrawAtTheLineTopAndAnAnchoredImageShowsItsAltUnderThePoint) {
  const QString text = R"(<A href="x"><IMG src="idx:0" alt="idx:2"></A>)";
  TMarkupParams params;
  QImage image = Draw(text, params);
  EXPECT_EQ(image.pixel(1, 0), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(16, 15), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(17, 15), qRgb(255, 255, 255));
  params.X = 8;
  params.Y = 8;
  image = Draw(text, params);
  EXPECT_EQ(image.pixel(8, 8), qRgb(0, 0, 255));
}

TEST(MarkupPixels, ABodyPictureIsTiledOverTheRectangleAndAnEmptyOneIsNot) {
  TPictureContainer container;
  QImage pixels(2, 2, QImage::Format_RGB32);
  pixels.fill(Qt::blue);
  pixels.setPixel(0, 0, qRgb(255, 0, 0));
  AddPicture(container, "tile", pixels);
  container.Items()->Add()->Name = "empty";
  TMarkupParams params;
  params.PictureContainer = &container;
  QImage image = Draw(R"(<BODY background="tile">)", params, {5, 5});
  EXPECT_EQ(kvtest::PixelMap(image, kvtest::kInk),
            (std::vector<std::string>{"rbrbr", "bbbbb", "rbrbr", "bbbbb", "rbrbr"}));
  image = Draw(R"(<BODY background="empty">)", params, {5, 5});
  EXPECT_EQ(CountColour(image, qRgb(255, 255, 255), image.rect()), 25);
}

TEST(MarkupPixels, FilePicturesLoadWithTheirPathsCase) {
  kvtest::TempDir dir;
  QImage pixels(2, 2, QImage::Format_RGB32);
  pixels.fill(Qt::blue);
  kvtest::WriteFile(dir.file("MixedCase.png"), kvtest::Encoded(pixels).toStdString());
  pixels.fill(Qt::red);
  kvtest::WriteFile(dir.file("MIXEDCASE.PNG"), kvtest::Encoded(pixels).toStdString());
  const QString path = QString::fromStdString(dir.file("MixedCase.png"));
  for (const QString &text :
       {R"(<IMG src="file://)" + path + R"(">)", R"(<BODY background="file://)" + path + R"(">)"}) {
    THTMLPictureCache cache;
    TMarkupParams params;
    params.PictureCache = &cache;
    EXPECT_EQ(Draw(text, params, {4, 4}).pixel(1, 1), qRgb(0, 0, 255)) << qPrintable(text);
    ASSERT_EQ(cache.Count(), 1);
    EXPECT_EQ(cache.GetPicture(0)->Identity(), "FILE://" + path);
  }
  // Paths that differ only in case name two pictures; the scheme's case does not matter.
  THTMLPictureCache cache;
  TMarkupParams params;
  params.PictureCache = &cache;
  const QString upper = QString::fromStdString(dir.file("MIXEDCASE.PNG"));
  const QImage image = Draw(R"(<IMG src="file://)" + path + R"("><IMG src="FILE://)" + upper +
                                R"("><IMG src="File://)" + path + R"(">)",
                            params, {8, 4});
  EXPECT_EQ(image.pixel(1, 1), qRgb(0, 0, 255));
  EXPECT_EQ(image.pixel(3, 1), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(5, 1), qRgb(0, 0, 255));
  EXPECT_EQ(cache.Count(), 2);
}

TEST(MarkupPixels, APictureThatIsNoRegularFileNeverHoldsThePaint) {
  kvtest::TempDir dir;
  const std::string fifo = dir.file("pipe.png");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A paint that still waits for a writer after a second gets one, so a fault fails, not hangs.
  std::promise<void> painted;
  bool late = false;
  std::thread guard([&, done = painted.get_future()] {
    if (done.wait_for(std::chrono::seconds(1)) == std::future_status::ready) return;
    late = true;
    do {
      const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK); // works once a reader waits
      if (fd >= 0) close(fd);
    } while (done.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready);
  });
  THTMLPictureCache cache;
  TMarkupParams params;
  params.PictureCache = &cache;
  Draw(R"(<IMG src="file://)" + QString::fromStdString(fifo) + R"(">)", params, {4, 4});
  painted.set_value();
  guard.join();
  EXPECT_FALSE(late);
  EXPECT_TRUE(cache.GetPicture(0)->Empty());
}

TEST(MarkupPixels, BodyAndParagraphBackgrounds) {
  TMarkupParams params;
  QImage image = Draw(R"(<BODY bgcolor="clSilver">x)", params, {20, 20});
  EXPECT_EQ(image.pixel(0, 0), qRgb(192, 192, 192));
  EXPECT_EQ(image.pixel(19, 19), qRgb(192, 192, 192));
  image = Draw(R"(a<BR><P bgcolor="#00FF00">b<BR>c</P>d)", params, {20, 60});
  EXPECT_EQ(image.pixel(0, 5), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(19, 20), qRgb(0, 255, 0)) << "the paragraph's line";
  EXPECT_EQ(image.pixel(19, 35), qRgb(0, 255, 0)) << "and the next one";
  EXPECT_EQ(image.pixel(19, 50), qRgb(255, 255, 255)) << "after the closing tag";
  // A paragraph that begins in mid-line leaves what is drawn before it.
  params.Rect = {};
  TFixedTextMeasure measure(6, 13, 0);
  image = kvtest::WhiteImage(40, 14);
  {
    TCanvas canvas(&image);
    canvas.SetTextMeasure(&measure);
    params.Rect = Rect(0, 0, 40, 14);
    TMarkupResult result;
    DrawMarkup(canvas, R"(<HI>ab</HI><P bgcolor="#00FF00">c)", params, result);
  }
  EXPECT_EQ(image.pixel(0, 5), qRgb(255, 255, 255));
  EXPECT_NE(image.pixel(5, 5), qRgb(0, 255, 0)) << "\"ab\" on its highlight";
  EXPECT_EQ(image.pixel(30, 5), qRgb(0, 255, 0));
  EXPECT_EQ(image.pixel(39, 5), qRgb(0, 255, 0));
}

} // namespace
