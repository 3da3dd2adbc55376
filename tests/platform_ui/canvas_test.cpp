// The canvas by exact pixels: fills and rectangles leave out their right and bottom edge, lines
// their end point; bevels, clipping, origin, focus rectangle; text layout with the fixed-pitch
// measure and text drawn with real fonts; canvases on a widget and on someone else's painter.
#include <QPainter>
#include <QWidget>
#include <gtest/gtest.h>

#include "pixel_map.h"
#include "platform/ui/canvas.h"
#include "qt_application.h"

using namespace kv::ui;
using kvtest::BlueImage;
using kvtest::kInk;
using kvtest::PixelMap;
using kvtest::WhiteImage;
using Rows = std::vector<std::string>;

namespace {

TEST(Canvas, FillsAndRectanglesLeaveOutRightAndBottom) {
  QImage image = WhiteImage(8, 7);
  {
    TCanvas c(&image);
    c.Brush.Color = clRed;
    c.FillRect(Rect(1, 1, 4, 3));
    c.Rectangle(Rect(4, 2, 8, 6));
    c.FillRect(Rect(6, 0, 6, 3)); // empty: nothing
  }
  EXPECT_EQ(PixelMap(image, kInk),
            (Rows{"........", ".rrr....", ".rrr####", "....#rr#", "....#rr#", "....####", "........"}));
}

TEST(Canvas, FrameRectAndDitherBrush) {
  QImage image = WhiteImage(6, 5);
  {
    TCanvas c(&image);
    c.Brush = {clBlack, bsDither, clRed};
    c.FillRect(Rect(0, 0, 4, 2));
    c.Brush = {clBlue, bsSolid};
    c.FrameRect(Rect(2, 2, 6, 5));
    c.Brush.Style = bsClear;
    c.FillRect(Rect(0, 0, 6, 5));
  }
  EXPECT_EQ(PixelMap(image, kInk), (Rows{"#r#r..", "r#r#..", "..bbbb", "..b..b", "..bbbb"}));
}

TEST(Canvas, LinesLeaveOutTheirEndPoint) {
  QImage image = WhiteImage(8, 8);
  {
    TCanvas c(&image);
    c.MoveTo(1, 1);
    c.LineTo(6, 1);
    EXPECT_EQ(c.PenPos(), QPoint(6, 1));
    c.MoveTo(1, 3);
    c.LineTo(4, 6);
    c.MoveTo(7, 6);
    c.LineTo(7, 2);
    c.Pen.Color = clNone;
    c.LineTo(0, 0);
    c.Pen = {clBlack, 1, psClear};
    c.LineTo(7, 7);
  }
  EXPECT_EQ(PixelMap(image, kInk), (Rows{"........", ".#####..", "........", ".#.....#", "..#....#",
                                         "...#...#", ".......#", "........"}));
}

TEST(Canvas, PolylineOpenPolygonClosed) {
  QImage image = WhiteImage(7, 7);
  {
    TCanvas c(&image);
    c.Polyline(QPolygon({QPoint(0, 0), QPoint(3, 0), QPoint(3, 3)}));
    c.Brush.Color = clRed;
    c.Polygon(QPolygon({QPoint(1, 4), QPoint(6, 4), QPoint(6, 6), QPoint(1, 6)}));
  }
  EXPECT_EQ(PixelMap(image, kInk),
            (Rows{"####...", "...#...", "...#...", ".......", ".######", ".#rrrr#", ".######"}));
}

TEST(Canvas, DrawEdgeRaisedSunkenAndAdjust) {
  const std::map<char, TColor> bevel = {{'m', clFuchsia},      {'L', cl3DLight},   {'D', cl3DDkShadow},
                                        {'H', clBtnHighlight}, {'S', clBtnShadow}, {'F', clBtnFace}};
  QImage image(6, 5, QImage::Format_RGB32);
  image.fill(ToQColor(clFuchsia));
  TRect r = Rect(0, 0, 6, 5);
  {
    TCanvas c(&image);
    EXPECT_TRUE(c.DrawEdge(r, EDGE_RAISED, BF_RECT | BF_ADJUST));
    EXPECT_FALSE(c.DrawEdge(r, 0, BF_RECT));
  }
  EXPECT_EQ(r, Rect(2, 2, 4, 3));
  EXPECT_EQ(PixelMap(image, bevel), (Rows{"LLLLLD", "LHHHSD", "LHmmSD", "LSSSSD", "DDDDDD"}));

  image.fill(ToQColor(clFuchsia));
  r = Rect(0, 0, 6, 5);
  {
    TCanvas c(&image);
    c.DrawEdge(r, EDGE_SUNKEN, BF_RECT | BF_MIDDLE);
  }
  EXPECT_EQ(r, Rect(0, 0, 6, 5)) << "without BF_ADJUST the rectangle stays";
  EXPECT_EQ(PixelMap(image, bevel), (Rows{"SSSSSH", "SDDDLH", "SDFFLH", "SLLLLH", "HHHHHH"}));

  // Top-left and bottom-right drawn apart (different edges, as a spin button does) give the
  // same picture as one call with both.
  QImage halves(7, 6, QImage::Format_RGB32), whole(7, 6, QImage::Format_RGB32);
  halves.fill(ToQColor(clFuchsia));
  whole.fill(ToQColor(clFuchsia));
  {
    TCanvas a(&halves), b(&whole);
    r = Rect(0, 0, 7, 6);
    a.DrawEdge(r, EDGE_RAISED, BF_TOPLEFT | BF_SOFT);
    a.DrawEdge(r, EDGE_RAISED, BF_BOTTOMRIGHT | BF_SOFT);
    b.DrawEdge(r, EDGE_RAISED, BF_RECT | BF_SOFT);
  }
  EXPECT_EQ(halves, whole);
}

TEST(Canvas, Frame3DShrinksByItsWidth) {
  QImage image = WhiteImage(6, 6);
  TRect r = Rect(0, 0, 6, 6);
  {
    TCanvas c(&image);
    c.Frame3D(r, clRed, clBlue, 2);
  }
  EXPECT_EQ(r, Rect(2, 2, 4, 4));
  EXPECT_EQ(PixelMap(image, kInk), (Rows{"rrrrrb", "rrrrbb", "rr..bb", "rr..bb", "rbbbbb", "bbbbbb"}));
}

TEST(Canvas, ClipSaveRestoreAndOrigin) {
  QImage image = WhiteImage(6, 6);
  {
    TCanvas c(&image);
    c.Brush.Color = clRed;
    c.Save();
    c.SetClipRect(Rect(1, 1, 3, 3));
    c.IntersectClipRect(Rect(2, 0, 6, 6));
    c.FillRect(Rect(0, 0, 6, 6));
    c.Restore();
    EXPECT_FALSE(c.HasClip());
    c.MoveOrigin(4, 3);
    c.SetClipRect(Rect(0, 0, 2, 1));
    c.Brush.Color = clBlue;
    c.FillRect(Rect(-4, -3, 2, 3));
    EXPECT_EQ(c.Pixel(0, 0), clBlue) << "pixels are read through the origin too";
    EXPECT_EQ(c.Pixel(-5, 0), clNone);
  }
  EXPECT_EQ(PixelMap(image, kInk), (Rows{"......", "..r...", "..r...", "....bb", "......", "......"}));
}

TEST(Canvas, RoundClipCutsTheCorners) {
  QImage image = WhiteImage(20, 20);
  {
    TCanvas c(&image);
    // A round clip after one that was removed again still clips.
    c.SetClipRoundRect(Rect(0, 10, 20, 20), 12, 12);
    c.SetPixel(0, 0, clBlue);
    c.ClearClip();
    c.SetPixel(1, 0, clBlue);
    c.SetClipRoundRect(Rect(0, 0, 20, 20), 12, 12);
    c.Brush.Color = clRed;
    c.FillRect(Rect(0, 0, 20, 20));
  }
  EXPECT_EQ(image.pixel(0, 0), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(1, 0), qRgb(0, 0, 255));
  EXPECT_EQ(image.pixel(19, 19), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(10, 0), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(10, 10), qRgb(255, 0, 0));
}

TEST(Canvas, FocusRectIsDottedAndUndoesItself) {
  QImage image = WhiteImage(6, 4);
  TCanvas c(&image);
  c.DrawFocusRect(Rect(0, 0, 6, 4));
  c.EndPaint();
  EXPECT_EQ(PixelMap(image, kInk), (Rows{"#.#.#.", ".....#", "#.....", ".#.#.#"}));
  c.DrawFocusRect(Rect(0, 0, 6, 4));
  c.EndPaint();
  EXPECT_EQ(image, WhiteImage(6, 4));
}

TEST(TextLayout, FixedPitchPlacementTable) {
  const TFixedTextMeasure m(6, 13, 2);
  const TFont f;
  const struct {
    const char *text;
    TRect rect;
    TTextFlags flags;
    std::vector<std::string> lines;
    TRect first; // x, y of the first line and the bounds' right/bottom
  } table[] = {
      {"Hallo", Rect(10, 20, 100, 40), tfSingleLine, {"Hallo"}, Rect(10, 20, 40, 33)},
      {"abc", Rect(0, 0, 60, 33), tfSingleLine | tfCenter | tfVCenter, {"abc"}, Rect(21, 10, 18, 13)},
      {"abc", Rect(0, 0, 60, 33), tfSingleLine | tfRight | tfBottom, {"abc"}, Rect(42, 20, 18, 13)},
      {"eins zwei drei", Rect(0, 0, 60, 99), tfWordBreak, {"eins zwei", "drei"}, Rect(0, 0, 54, 26)},
      {"Donaudampfschiff ab",
       Rect(0, 0, 30, 99),
       tfWordBreak,
       {"Donaudampfschiff", "ab"},
       Rect(0, 0, 96, 26)},
      {"a\r\nbb\nc", Rect(0, 0, 60, 99), tfExternalLeading, {"a", "bb", "c"}, Rect(0, 0, 12, 45)},
      {"abcdefgh", Rect(0, 0, 30, 13), tfSingleLine | tfEndEllipsis, {"ab..."}, Rect(0, 0, 30, 13)},
      {"a\tb", Rect(0, 0, 90, 13), tfSingleLine | tfExpandTabs, {"a       b"}, Rect(0, 0, 54, 13)},
      {"&Hilfe", Rect(0, 0, 90, 13), tfSingleLine, {"Hilfe"}, Rect(0, 0, 30, 13)},
      {"A&&B", Rect(0, 0, 90, 13), tfSingleLine, {"A&B"}, Rect(0, 0, 18, 13)},
      {"&Hilfe", Rect(0, 0, 90, 13), tfSingleLine | tfNoPrefix, {"&Hilfe"}, Rect(0, 0, 36, 13)},
  };
  for (const auto &row : table) {
    SCOPED_TRACE(row.text);
    const TTextLayout layout = LayoutText(m, f, QString::fromUtf8(row.text), row.rect, row.flags);
    std::vector<std::string> lines;
    for (const TTextLine &l : layout.lines)
      lines.push_back(l.text.toStdString());
    EXPECT_EQ(lines, row.lines);
    if ((row.flags & (tfCenter | tfRight)) != 0) {
      EXPECT_EQ(layout.lines[0].x, row.first.Left);
      EXPECT_EQ(layout.lines[0].y, row.first.Top);
    } else {
      EXPECT_EQ(layout.bounds, row.first);
    }
  }
  int mnemonic = -1;
  EXPECT_EQ(StripMnemonic("Da&tei", &mnemonic), "Datei");
  EXPECT_EQ(mnemonic, 2);
  EXPECT_EQ(StripMnemonic("A&&B&", &mnemonic), "A&B");
  EXPECT_EQ(mnemonic, -1);
}

// A line too wide for its rectangle keeps the longest start that fits with "...", found by
// measuring about as much as fits: a long line without breaks is not measured once per character.
TEST(TextLayout, EndEllipsisKeepsTheLongestFittingStartAndMeasuresLittle) {
  struct Counting : TFixedTextMeasure {
    int TextWidth(const TFont &font, const QString &text) const override {
      measured += text.size();
      return TFixedTextMeasure::TextWidth(font, text);
    }
    mutable qsizetype measured = 0;
  } m;
  const TFont f;
  const QString accents = QString::fromUtf8("e\u0301a\u0301o\u0301u\u0301"); // four characters
  for (int width = 0; width <= 30; ++width) {
    SCOPED_TRACE(width);
    const int kept = width >= 24 ? 4 : std::max(0, (width - 18) / 6);
    const QString expected = kept == 4 ? accents : accents.left(2 * kept) + "...";
    EXPECT_EQ(LayoutText(m, f, accents, Rect(0, 0, width, 13), tfSingleLine | tfEndEllipsis).lines[0].text,
              expected);
  }
  const QString line(20000, u'x');
  m.measured = 0;
  EXPECT_EQ(LayoutText(m, f, line, Rect(0, 0, 400, 13), tfSingleLine | tfEndEllipsis).lines[0].text,
            QString(63, u'x') + "...");
  EXPECT_LT(m.measured, 3 * line.size());
}

TEST(Canvas, CalcRectUsesTheCanvasMeasure) {
  const TFixedTextMeasure m(5, 10);
  TCanvas c; // no device: measures only, draws nothing
  c.SetTextMeasure(&m);
  TRect r = Rect(3, 4, 43, 50);
  EXPECT_EQ(c.DrawText("eins zwei", r, tfWordBreak | tfCalcRect), 20);
  EXPECT_EQ(r, Rect(3, 4, 23, 24)) << "'eins zwei' is 45 wide: two lines of 20";
  EXPECT_EQ(c.TextExtent("abc"), QSize(15, 10));
  c.FillRect(Rect(0, 0, 5, 5));
  c.SetTextMeasure(nullptr);
  EXPECT_GT(c.TextWidth("abc"), 0);
}

// The bounding box of pixels that are neither white nor `background`.
QRect InkBox(const QImage &image, QRgb background = qRgb(255, 255, 255)) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y) | 0xFF000000u;
      if (p != qRgb(255, 255, 255) && p != background) box |= QRect(x, y, 1, 1);
    }
  return box;
}

TEST(Canvas, TextOpaqueOrTransparentAndInsideItsCell) {
  QImage image = WhiteImage(80, 30);
  TCanvas c(&image);
  c.Font.Name = "Tahoma";
  c.Brush.Color = clYellow;
  const QSize cell = c.TextExtent("Hilfe");
  c.TextOut(5, 6, "Hilfe");
  c.EndPaint();
  EXPECT_EQ(image.pixel(5 + cell.width() - 1, 6), qRgb(255, 255, 0)) << "opaque: the cell is filled";
  EXPECT_EQ(image.pixel(5, 6 + cell.height()), qRgb(255, 255, 255));
  const QRect ink = InkBox(image, qRgb(255, 255, 0));
  EXPECT_TRUE(QRect(5, 6, cell.width(), cell.height()).contains(ink)) << ink.x() << "," << ink.y();
  EXPECT_GE(ink.height(), 6);
  EXPECT_EQ(c.PenPos(), QPoint(5 + cell.width(), 6));

  image.fill(Qt::white);
  c.Brush.Style = bsClear;
  TRect r = Rect(0, 0, 80, 30);
  c.DrawText("&Hilfe", r, tfSingleLine | tfCenter | tfVCenter);
  c.EndPaint();
  int yellow = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      yellow += (image.pixel(x, y) | 0xFF000000u) == qRgb(255, 255, 0);
  EXPECT_EQ(yellow, 0) << "transparent: no background";
  const QRect text = InkBox(image);
  EXPECT_NEAR(text.center().x(), 40, 3);
  EXPECT_NEAR(text.center().y(), 15, 3);
}

TEST(Canvas, TextRunsDrawAsDrawTextDrawsEachRun) {
  // A "j" that reaches left of its cell, a prefix, lines under and through, an opaque background.
  const std::vector<TTextRun> runs = {{"Die ", 2}, {"jagt ", 24}, {"&&Co. ", 50}, {"zur ", 81}, {"Uhr", 104}};
  for (const TFontStyles style : {TFontStyles(fsUnderline), TFontStyles(fsBold | fsItalic | fsStrikeOut)}) {
    QImage each = WhiteImage(120, 20), together = each;
    auto prepare = [&](TCanvas &c) {
      c.Font.Name = "Tahoma";
      c.Font.Style = style;
      c.Brush = TBrush{clYellow, style & fsBold ? bsSolid : bsClear};
    };
    TCanvas one(&each);
    prepare(one);
    for (const TTextRun &run : runs) {
      TRect r = Rect(run.X, 0, 110, 18);
      one.DrawText(run.Text, r, tfSingleLine | tfBottom);
    }
    one.EndPaint();
    // Drawn once above, the runs are drawn from their kept shapes here.
    for (int time = 1; time <= 2; ++time) {
      together.fill(Qt::white);
      TCanvas c(&together);
      prepare(c);
      c.DrawTextRuns(runs, Rect(0, 0, 110, 18), tfSingleLine | tfBottom);
      c.EndPaint();
      EXPECT_TRUE(together == each) << "style " << style << ", time " << time;
    }
  }
}

TEST(Canvas, EscapementTurnsTheText) {
  QImage image = WhiteImage(60, 120);
  {
    TCanvas c(&image);
    c.Brush.Style = bsClear;
    c.Font.Escapement = 900;
    c.TextOut(10, 110, "Korvane");
  }
  const QRect ink = InkBox(image);
  EXPECT_GT(ink.height(), 2 * ink.width()) << "turned a quarter: reads upward";
  EXPECT_LE(ink.bottom(), 110);
}

TEST(Canvas, KeptShapesStayWithinTheirBytesAndKeepTheWordsOfEveryPaint) {
  QImage image = WhiteImage(200, 20);
  TCanvas c(&image);
  c.Font.Name = "Tahoma";
  c.Brush.Style = bsClear;
  const QStringList hot = {"Server", "Uhrzeit", "Synchronisieren"};
  const auto line = [](int i) { return QString("Zeile %1 ").arg(i) + QString(200, QChar('a' + i % 26)); };
  const auto shaped = [] { return ShapeCacheFigures().Shaped; };
  // A view scrolls a line at a time through lines that take twice the budget, drawing three of
  // them and the same words on every paint.
  const int lines = int(2 * kShapeCacheBudget / (200 * 22));
  int reshaped = 0;
  for (int first = -2; first < lines; ++first) {
    const qint64 before = shaped();
    for (const QString &word : hot)
      c.TextOut(0, 0, word);
    reshaped += first > 0 && shaped() != before;
    for (int i = std::max(0, first); i < first + 3; ++i)
      c.TextOut(0, 0, line(i));
  }
  EXPECT_EQ(reshaped, 0) << "the words of every paint stay";
  TShapeCacheFigures figures = ShapeCacheFigures();
  EXPECT_LE(figures.PeakBytes, kShapeCacheBudget);
  EXPECT_GE(figures.Bytes, kShapeCacheBudget * 3 / 4);
  EXPECT_LT(figures.Entries, lines / 2 + hot.size()) << "the lines scrolled away are forgotten";

  // A line of a million characters is not kept, and another pixel ratio is shaped anew.
  const qsizetype bytes = figures.Bytes;
  for (int time = 0; time < 2; ++time)
    c.TextOut(0, 0, QString(1 << 20, 'x'));
  EXPECT_LE(ShapeCacheFigures().Bytes, bytes + 512);
  const qint64 before = shaped();
  c.TextOut(0, 0, hot[0]);
  QImage sharp = WhiteImage(400, 40);
  sharp.setDevicePixelRatio(2);
  TCanvas two(&sharp);
  two.Font.Name = "Tahoma";
  for (int time = 0; time < 2; ++time)
    two.TextOut(0, 0, hot[0]);
  EXPECT_EQ(shaped(), before + 1);
}

class PaintedWidget : public QWidget {
protected:
  void paintEvent(QPaintEvent *) override {
    TCanvas c(this);
    c.Brush.Color = clRed;
    c.FillRect(Rect(0, 0, 3, 3));
    c.Pen.Color = clBlue;
    c.MoveTo(0, 5);
    c.LineTo(5, 5);
  }
};

TEST(Canvas, DrawsInAWidgetsPaintEventAndOnAForeignPainter) {
  PaintedWidget w;
  w.resize(8, 8);
  const QImage shot = w.grab().toImage();
  EXPECT_EQ(shot.pixel(2, 2) | 0xFF000000u, qRgb(255, 0, 0));
  EXPECT_NE(shot.pixel(3, 3) | 0xFF000000u, qRgb(255, 0, 0));
  EXPECT_EQ(shot.pixel(4, 5) | 0xFF000000u, qRgb(0, 0, 255));
  EXPECT_NE(shot.pixel(5, 5) | 0xFF000000u, qRgb(0, 0, 255));

  QImage image = WhiteImage(5, 5);
  QPainter painter(&image);
  painter.translate(2, 2);
  {
    TCanvas c(&painter);
    c.Brush.Color = clRed;
    c.FillRect(Rect(0, 0, 1, 1));
  }
  painter.fillRect(QRect(1, 1, 1, 1), Qt::blue); // the painter's own translation is back
  painter.end();
  EXPECT_EQ(image.pixel(2, 2), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(3, 3), qRgb(0, 0, 255));
}

} // namespace
