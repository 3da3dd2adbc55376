#include "controls/panels/markup_renderer.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "controls/panels/markup_attrs.h"
#include "controls/panels/markup_images.h"
#include "controls/panels/markup_lexer.h"
#include "controls/panels/picture.h"
#include "platform/ui/text_layout.h"

namespace kv::panels {

using namespace kv::ui;

namespace {

enum class TPass { Layout, Check, Draw };
enum TParagraphAlign { paLeft, paRight, paCenter };

constexpr TTextFlags kRunFlags = tfSingleLine | tfBottom | tfExpandTabs | tfExternalLeading;
constexpr int kListIndent = 12;
constexpr QChar kBullet = QChar(0x2022);

// What one pass carries from line to line: the canvas font and background, the values closing
// tags go back to, the flags of the text and the anchor, list and image counts.
struct TTextState {
  TFont Font;
  TColor Background = clNone;
  TColor FontBackground = clNone; // before the last FONT tag
  TColor HighlightColor = clNone; // text colour and background before HI
  TColor HighlightBackground = clNone;
  TColor ParagraphBackground = clNone; // before the last P tag
  bool ParagraphFill = false;
  std::optional<TFont> BeforeRotation;
  bool AnchorLook = false;                             // the open anchor is underlined
  std::optional<TColor> AnchorBackground, AnchorColor; // before a hovered anchor's colours
  bool InAnchor = false, Error = false, Shadow = false, Sub = false, Sup = false, Hidden = false;
  bool FocusOpen = false; // the focused anchor is open
  QString Target;
  int Anchors = 0, ImageCount = 0, ListLevel = 0;
  int Align = paLeft, Indent = 0;
};

// One line as the layout pass found it.
struct TLine {
  qsizetype Start = 0, End = 0;
  int Width = 0;  // the line's x at its end, a trailing blank taken off
  int Height = 0; // at least the height of "gh"
  int SubExtra = 0, SupExtra = 0;
  int ImageOffset = 0; // text lifted for ALIGN TOP or MIDDLE images
  int Gh = 0;          // the height of "gh" at the line's start
  bool DropRest = false;
  std::vector<int> Widths; // of the runs on the line, for the second pass
};

// Where a drawing or hit-testing pass puts the line.
struct TPlace {
  int Left = 0, Top = 0, Bottom = 0;
};

// What a walk over one line keeps while it goes.
struct TWalk {
  TWalk(TPass pass, TLine &line, TPlace place = {}) : Pass(pass), Line(line), Place(place) {}
  TPass Pass;
  TLine &Line;
  TPlace Place;
  int Avail = 0; // width runs and images are fitted into
  int X = 0;
  bool EndsInBlank = false; // the last run or image ends in a blank
  TFont BlankFont;          // the font of that run
  size_t NextWidth = 0;     // the second pass's index into Line.Widths
  bool Consumed = false;    // something of the text is on this line
  bool Runs = false;        // a run is on this line
  bool ListItem = false;    // an LI is on this line
  int AnchorLeft = 0;       // where the open anchor begins on this line
  int FocusLeft = 0;
  bool AnchorHit = false; // the open anchor was hit on this line
  bool Layout() const { return Pass == TPass::Layout; }
  bool Draws() const { return Pass == TPass::Draw; }
};

enum class TTagAction { Next, EndLine, Stay };

class TMarkupRenderer {
public:
  TMarkupRenderer(TCanvas &canvas, const TMarkupParams &params, TMarkupResult &result)
      : canvas_(canvas), p_(params),
        r_(result), sources_{params.Images, params.PictureCache, params.PictureContainer} {}

  bool Run(const QString &text);

private:
  void WalkLine(TTextState &st, TWalk &w);
  TTagAction ApplyTag(TTextState &st, TWalk &w, const TMarkupTag &tag);
  void OpenAnchor(TTextState &st, TWalk &w, const TMarkupTag &tag);
  void CloseAnchor(TTextState &st, TWalk &w);
  void ApplyFont(TTextState &st, const TMarkupTag &tag);
  void ApplyParagraph(TTextState &st, TWalk &w, const TMarkupTag &tag);
  void ApplyBody(TTextState &st, const TMarkupTag &tag);
  TTagAction PlaceImages(TTextState &st, TWalk &w, const TMarkupTag &tag);
  void DrawImages(const std::vector<TMarkupImage> &images, int x, int top, QSize fixed);
  void ListItem(TTextState &st, TWalk &w);
  void EndLine(TTextState &st, TWalk &w);
  void EndAnchorPart(const TTextState &st, const TWalk &w);

  void DrawRun(const TTextState &st, const TWalk &w, const QString &run, int width);
  void DrawPendingRuns(const TTextState &st, const TWalk &w);
  TTextFlags RunFlags() const { return p_.WordWrap ? kRunFlags : kRunFlags | tfEndEllipsis; }
  void ZigZag(int left, int right, int bottom);
  void HitAnchor(TTextState &st, TWalk &w);
  void FillBand(TColor color, const TWalk &w);
  void UseFont(const TFont &font) { canvas_.Font = font; }
  int RunWidth(const TFont &font, const QString &run) const;
  int Gh(const TFont &font) const { return canvas_.Measure().LineHeight(MeasureFont(font)); }
  // Colour and lines under or through the text change no size; leaving them out lets the
  // measure keep its metrics while anchors switch them.
  static TFont MeasureFont(TFont font) {
    font.Color = clBlack;
    font.Style &= fsBold | fsItalic;
    return font;
  }
  int TextBottom(const TTextState &st, const TWalk &w) const;
  int Scaled(int v, bool vertical) const;

  TCanvas &canvas_;
  const TMarkupParams &p_;
  TMarkupResult &r_;
  TImageSources sources_;
  QString text_;
  TFont base_;
  TColor start_background_ = clNone;
  int hovered_image_ = 0; // the anchored image under the point, counted from 1
  bool hit_ = false;
  // Runs of the line since its last tag, in one text state: drawn together before the next tag.
  std::vector<TTextRun> pending_;
};

int TMarkupRenderer::RunWidth(const TFont &font, const QString &run) const {
  const TFont measured = MeasureFont(font);
  if (!run.contains(u'&') && !run.contains(u'\t')) return canvas_.Measure().TextWidth(measured, run);
  return LayoutText(canvas_.Measure(), measured, run, Bounds(0, 0, 1 << 20, 1 << 20), kRunFlags | tfCalcRect)
      .width;
}

int TMarkupRenderer::Scaled(int v, bool vertical) const {
  (void)vertical; // the canvas has one resolution for both directions
  return int(std::lround(double(v) * canvas_.PixelsPerInch() / 96.0));
}

int TMarkupRenderer::TextBottom(const TTextState &st, const TWalk &w) const {
  int bottom = w.Place.Bottom - w.Line.SubExtra - w.Line.ImageOffset;
  if (st.Sup) bottom -= w.Line.SupExtra;
  if (st.Sub) bottom += w.Line.SubExtra;
  return bottom;
}

bool TMarkupRenderer::Run(const QString &text) {
  const TFont saved_font = canvas_.Font;
  const TBrush saved_brush = canvas_.Brush;
  base_ = canvas_.Font;
  start_background_ = canvas_.Brush.Color;
  canvas_.Brush.Style = bsClear;
  r_.StripVal.clear();
  r_.FocusAnchor.clear();
  r_.XSize = r_.YSize = r_.HyperLinks = 0;
  r_.MouseLink = -1;

  text_ = PreprocessMarkup(text);
  qsizetype end = text_.size();
  const int left = p_.Rect.Left + 1;
  TTextState states[2];
  for (TTextState &st : states)
    st.Font = base_;
  TTextState &layout = states[0];
  TTextState &second = states[1];
  int top = p_.Rect.Top;
  const int base_gh = Gh(base_);

  for (qsizetype pos = 0; pos < end;) {
    layout.Sub = layout.Sup = second.Sub = second.Sup = false;
    TLine line;
    line.Start = pos;
    line.Gh = line.Height = Gh(layout.Font);
    TWalk first(TPass::Layout, line);
    first.Avail = std::max(1, p_.Rect.Right - left - layout.Indent);
    WalkLine(layout, first);
    if (line.End <= pos) break; // only a "<" that starts no tag, which drops the rest, takes nothing

    TPlace place;
    place.Left = left;
    const int free = p_.Rect.Right - left - line.Width;
    if (layout.Align == paRight && p_.Rect.Right - line.Width > place.Left)
      place.Left = p_.Rect.Right - line.Width;
    if (layout.Align == paCenter && free > 0) place.Left += free / 2;
    place.Left += layout.Indent;
    place.Top = top;
    const int height = line.Height + line.SubExtra + line.SupExtra;
    place.Bottom = top + height;

    if (!p_.MeasureOnly) {
      TWalk walk(p_.CheckOnly ? TPass::Check : TPass::Draw, line, place);
      walk.Avail = first.Avail;
      WalkLine(second, walk);
    }
    r_.XSize = std::max(r_.XSize, line.Width);
    top += height;
    r_.YSize += height;
    pos = line.End;
    if (line.DropRest) end = pos;
    if (!p_.MeasureOnly && top + base_gh > p_.Rect.Bottom) break;
  }
  r_.HyperLinks = layout.Anchors;
  if (r_.YSize == 0) r_.YSize = base_gh;
  canvas_.Font = saved_font;
  canvas_.Brush = saved_brush;
  return hit_;
}

// Lays out one line (the layout pass: as far as it fits, recording where it ends and its size),
// or walks exactly the line the layout pass found, drawing it or hit-testing it.
void TMarkupRenderer::WalkLine(TTextState &st, TWalk &w) {
  TLine &line = w.Line;
  TMarkupCursor cursor(text_, line.Start, w.Layout() ? -1 : line.End);
  if (w.Draws() && st.ParagraphFill) FillBand(st.Background, w);
  bool line_ends = false;
  while (!cursor.AtEnd() && !line_ends) {
    const qsizetype run_start = cursor.Pos();
    const QString run = DecodeRunEntities(cursor.NextRun(p_.WordWrap));
    if (!run.isEmpty()) {
      if (w.Layout()) {
        const int height = Gh(st.Font);
        line.Height = std::max(line.Height, height);
        if (st.Sub) line.SubExtra = std::max(line.SubExtra, height / 4);
        if (st.Sup) line.SupExtra = std::max(line.SupExtra, height / 4);
      }
      if (!st.Hidden) {
        const bool measured = !w.Layout() && w.NextWidth < line.Widths.size();
        const int width = measured ? line.Widths[w.NextWidth++] : RunWidth(st.Font, run);
        if (w.Layout()) {
          const bool fits = w.X + width < w.Avail || width >= w.Avail;
          if (!fits && p_.WordWrap && w.EndsInBlank) {
            cursor.Rewind(run_start);
            break;
          }
          if (!fits && !p_.WordWrap && w.Runs) {
            line.DropRest = true;
            line_ends = true;
          }
          line.Widths.push_back(width);
        } else if (w.Pass == TPass::Check) {
          // Only the band of the text's height counts, so a point above the text of a line that
          // an image makes taller finds nothing.
          const int px = p_.X - w.Place.Left;
          const int band = w.Place.Bottom - line.ImageOffset;
          if (st.InAnchor && px >= w.X && px < w.X + width && p_.Y > band - line.Gh && p_.Y < band)
            HitAnchor(st, w);
        } else {
          DrawRun(st, w, run, width);
        }
        w.X += width;
        w.EndsInBlank = run.endsWith(u' ');
        w.BlankFont = st.Font;
        w.Runs = true;
      }
      if (w.Layout()) r_.StripVal += run;
      w.Consumed = true;
    }
    if (line_ends || !cursor.AtTag()) continue;
    TMarkupTag tag;
    if (!cursor.PeekTag(tag)) break; // a "<" that starts no tag ends the text
    DrawPendingRuns(st, w);
    const TTagAction action = ApplyTag(st, w, tag);
    if (action == TTagAction::Stay) break;
    cursor.SkipTag();
    w.Consumed = true;
    line_ends = action == TTagAction::EndLine;
  }
  DrawPendingRuns(st, w);
  EndLine(st, w);
  if (w.Layout()) {
    line.End = cursor.Pos();
    if (cursor.End() < text_.size() && cursor.AtEnd()) line.DropRest = true;
    line.Width = w.X - (w.EndsInBlank ? RunWidth(w.BlankFont, QStringLiteral(" ")) : 0);
  }
}

void TMarkupRenderer::EndLine(TTextState &st, TWalk &w) {
  // An anchor that goes on on the next line ends its part on this one.
  if (!w.Layout()) EndAnchorPart(st, w);
}

// The open anchor's part on this line, up to x: the hover rectangle when it was hit here, and
// the focus rectangle when it is the focused one.
void TMarkupRenderer::EndAnchorPart(const TTextState &st, const TWalk &w) {
  if (st.InAnchor && w.AnchorHit) {
    r_.HoverRect = Rect(w.Place.Left + w.AnchorLeft, w.Place.Top, w.Place.Left + w.X, w.Place.Bottom);
    r_.MouseLink = st.Anchors;
  }
  if (st.FocusOpen && w.Draws()) {
    const int bottom = TextBottom(st, w);
    canvas_.DrawFocusRect(
        Rect(w.Place.Left + w.FocusLeft - 1, bottom - w.Line.Gh, w.Place.Left + w.X + 1, bottom));
  }
}

void TMarkupRenderer::HitAnchor(TTextState &st, TWalk &w) {
  w.AnchorHit = true;
  hit_ = true;
  r_.AnchorVal = st.Target;
}

void TMarkupRenderer::DrawRun(const TTextState &st, const TWalk &w, const QString &run, int width) {
  const int left = w.Place.Left + w.X;
  // A shadow or a zig-zag goes between one run and the next, so only plain runs wait.
  if (!st.Shadow && !st.Error) {
    pending_.push_back({run, left});
    return;
  }
  const int bottom = TextBottom(st, w);
  if (st.Shadow) {
    TFont shadow = st.Font;
    shadow.Color = p_.ShadowColor;
    UseFont(shadow);
    canvas_.Brush.Style = bsClear;
    TRect r = Rect(left + p_.ShadowOffset, p_.Rect.Top + p_.ShadowOffset, p_.Rect.Right + p_.ShadowOffset,
                   bottom + p_.ShadowOffset);
    canvas_.DrawText(run, r, RunFlags());
  }
  UseFont(st.Font);
  canvas_.Brush = st.Background == clNone ? TBrush{clWhite, bsClear} : TBrush{st.Background, bsSolid};
  TRect r = Rect(left, p_.Rect.Top, p_.Rect.Right, bottom);
  canvas_.DrawText(run, r, RunFlags());
  canvas_.Brush.Style = bsClear;
  if (st.Error) ZigZag(left, std::min(left + width, p_.Rect.Right), bottom);
}

void TMarkupRenderer::DrawPendingRuns(const TTextState &st, const TWalk &w) {
  if (pending_.empty()) return;
  UseFont(st.Font);
  canvas_.Brush = st.Background == clNone ? TBrush{clWhite, bsClear} : TBrush{st.Background, bsSolid};
  canvas_.DrawTextRuns(pending_, Rect(pending_.front().X, p_.Rect.Top, p_.Rect.Right, TextBottom(st, w)),
                       RunFlags());
  canvas_.Brush.Style = bsClear;
  pending_.clear();
}

// A red line under the run, one pixel above and below its bottom by turns, every two pixels.
void TMarkupRenderer::ZigZag(int left, int right, int bottom) {
  int x = left & ~1;
  int y = (x % 4 == 0) ? bottom + 1 : bottom - 1;
  canvas_.Pen = TPen{clRed, 1, psSolid};
  canvas_.MoveTo(x, y);
  while (x < right) {
    x += 2;
    y = y == bottom + 1 ? bottom - 1 : bottom + 1;
    canvas_.LineTo(x, y);
  }
}

// The line's band across the rectangle; from x on when something is drawn on the line already,
// so that a paragraph beginning in mid-line does not paint over it.
void TMarkupRenderer::FillBand(TColor color, const TWalk &w) {
  if (color == clNone) return;
  canvas_.Brush = TBrush{color, bsSolid};
  const int left = w.Consumed ? w.Place.Left + w.X : p_.Rect.Left;
  canvas_.FillRect(Rect(left, w.Place.Top, p_.Rect.Right, w.Place.Top + w.Line.Height));
  canvas_.Brush.Style = bsClear;
}

TTagAction TMarkupRenderer::ApplyTag(TTextState &st, TWalk &w, const TMarkupTag &tag) {
  using K = TMarkupTagKind;
  if (tag.Closing) {
    switch (tag.Kind) {
    case K::Anchor:
      CloseAnchor(st, w);
      break;
    case K::Bold:
      st.Font.Style &= ~fsBold;
      break;
    case K::BaseColor:
      st.Font.Color = base_.Color;
      break;
    case K::Error:
      st.Error = false;
      break;
    case K::Font:
      st.Font.Name = base_.Name;
      st.Font.Size = base_.Size;
      if (!p_.FixedColours) st.Font.Color = base_.Color;
      st.Background = st.FontBackground;
      break;
    case K::Highlight:
      st.Font.Color = st.HighlightColor;
      st.Background = st.HighlightBackground;
      break;
    case K::Italic:
      st.Font.Style &= ~fsItalic;
      break;
    case K::ListItem:
      return TTagAction::EndLine;
    case K::Paragraph:
      st.Background = st.ParagraphBackground;
      st.ParagraphFill = false;
      return TTagAction::EndLine;
    case K::Rotate:
      if (st.BeforeRotation) st.Font = *st.BeforeRotation;
      st.BeforeRotation.reset();
      break;
    case K::Subscript:
      st.Sub = st.Sup = false;
      break;
    case K::Shadow:
      st.Shadow = false;
      break;
    case K::Strike:
      st.Font.Style &= ~fsStrikeOut;
      break;
    case K::Underline:
      st.Font.Style &= ~fsUnderline;
      break;
    case K::List:
      if (st.ListLevel > 0)
        --st.ListLevel;
      else
        st.Font.Style &= ~fsUnderline;
      break;
    case K::Hidden:
      st.Hidden = false;
      break;
    default:
      break;
    }
    return TTagAction::Next;
  }
  switch (tag.Kind) {
  case K::Anchor:
    OpenAnchor(st, w, tag);
    break;
  case K::Bold:
    st.Font.Style |= fsBold;
    break;
  case K::Break:
    if (w.Layout()) r_.StripVal += u'\r';
    return TTagAction::EndLine;
  case K::Blink:
    if (!p_.BlinkVisible) st.Font.Color = start_background_;
    break;
  case K::Body:
    if (w.Draws()) ApplyBody(st, tag);
    break;
  case K::Error:
    st.Error = true;
    break;
  case K::Font:
    ApplyFont(st, tag);
    break;
  case K::Highlight:
    st.HighlightColor = st.Font.Color;
    st.HighlightBackground = st.Background;
    st.Background = clHighlight;
    st.Font.Color = clHighlightText;
    break;
  case K::Rule:
    if (w.Draws()) {
      const int y = TextBottom(st, w) + 1;
      canvas_.Pen = TPen{clBlack, 1, psSolid};
      canvas_.MoveTo(w.Place.Left, y);
      canvas_.LineTo(p_.Rect.Right, y);
    }
    return TTagAction::EndLine;
  case K::Italic:
    st.Font.Style |= fsItalic;
    break;
  case K::Indent: {
    bool whole = false;
    const int n = ReadMarkupInt(MarkupAttr(tag, u"X"), &whole);
    if (whole && w.X < n) w.X = std::min(n, kMaxIndent);
    break;
  }
  case K::Image:
    return PlaceImages(st, w, tag);
  case K::ListItem:
    if (w.ListItem && w.Consumed) return TTagAction::Stay;
    ListItem(st, w);
    break;
  case K::Paragraph:
    ApplyParagraph(st, w, tag);
    break;
  case K::Rotate: {
    if (!st.BeforeRotation) st.BeforeRotation = st.Font;
    st.Font.Escapement = (ReadMarkupInt(MarkupAttr(tag, u"A")) % 360) * 10;
    break;
  }
  case K::Strike:
    st.Font.Style |= fsStrikeOut;
    break;
  case K::Shadow:
    st.Shadow = true;
    break;
  case K::Subscript:
    st.Sub = true;
    break;
  case K::Superscript:
    st.Sup = true;
    break;
  case K::Underline:
    st.Font.Style |= fsUnderline;
    break;
  case K::List:
    ++st.ListLevel;
    return TTagAction::EndLine;
  case K::Hidden:
    st.Hidden = true;
    break;
  default:
    break;
  }
  return TTagAction::Next;
}

void TMarkupRenderer::OpenAnchor(TTextState &st, TWalk &w, const TMarkupTag &tag) {
  const int number = st.Anchors++; // FocusLink counts from 0, HoverLink from 1
  st.InAnchor = true;
  st.Target = AnchorTarget(tag);
  w.AnchorLeft = w.X;
  w.AnchorHit = false;
  if (number == p_.FocusLink && w.Draws()) {
    st.FocusOpen = true;
    w.FocusLeft = w.X;
    r_.FocusAnchor = st.Target;
  }
  const bool hovered = p_.Hover && st.Anchors == p_.HoverLink;
  if (!p_.Hover || hovered) {
    st.Font.Style |= fsUnderline;
    st.AnchorLook = true;
  }
  if (hovered && p_.HoverColor != clNone) {
    st.AnchorBackground = st.Background;
    st.Background = p_.HoverColor;
  }
  if (hovered && p_.HoverFontColor != clNone) {
    st.AnchorColor = st.Font.Color;
    st.Font.Color = p_.HoverFontColor;
  } else if (!p_.FixedColours) {
    st.Font.Color = p_.URLColor;
  }
}

void TMarkupRenderer::CloseAnchor(TTextState &st, TWalk &w) {
  if (st.AnchorLook) st.Font.Style &= ~fsUnderline;
  st.AnchorLook = false;
  if (st.AnchorBackground) st.Background = *st.AnchorBackground;
  if (st.AnchorColor) st.Font.Color = *st.AnchorColor;
  st.AnchorBackground.reset();
  st.AnchorColor.reset();
  if (!p_.FixedColours) st.Font.Color = base_.Color;
  if (!w.Layout()) EndAnchorPart(st, w);
  st.FocusOpen = false;
  st.InAnchor = false;
  w.AnchorHit = false;
}

void TMarkupRenderer::ApplyFont(TTextState &st, const TMarkupTag &tag) {
  constexpr qsizetype kFrom = 5; // attributes count from the tag's sixth character on
  st.FontBackground = st.Background;
  const QString face = MarkupAttr(tag, u"FACE", true, kFrom);
  if (!face.isEmpty()) st.Font.Name = face;
  if (!p_.FixedColours) {
    const QString color = MarkupAttr(tag, u" COLOR", true, kFrom);
    if (!color.isEmpty()) st.Font.Color = MarkupColor(color);
    const QString back = MarkupAttr(tag, u"BGCOLOR", true, kFrom);
    if (!back.isEmpty()) st.Background = MarkupColor(back);
  }
  if (const std::optional<int> size = FontSizeAttr(tag)) st.Font.Size = *size;
}

void TMarkupRenderer::ApplyParagraph(TTextState &st, TWalk &w, const TMarkupTag &tag) {
  const QString align = MarkupAttr(tag, u"ALIGN", true);
  st.Align = paLeft;
  if (align.contains(u"RIGHT")) st.Align = paRight;
  if (align.contains(u"LEFT")) st.Align = paLeft;
  if (align.contains(u"CENTER")) st.Align = paCenter;
  st.Indent = ClampInt(ReadMarkupInt(MarkupAttr(tag, u"INDENT")), 0, kMaxIndent);
  st.ParagraphBackground = st.Background;
  const QString back = MarkupAttr(tag, u"BGCOLOR", true);
  if (back.isEmpty()) return;
  st.Background = MarkupColor(back);
  st.ParagraphFill = true;
  if (w.Draws()) FillBand(st.Background, w);
}

void TMarkupRenderer::ApplyBody(TTextState &st, const TMarkupTag &tag) {
  // The source as written: a file path keeps its case.
  const std::vector<TMarkupImage> tiles = ResolveImageSource(MarkupAttr(tag, u"BACKGROUND"), sources_);
  if (!tiles.empty()) {
    const QSize size = tiles.front().NaturalSize(sources_);
    // A picture smaller than 1 × 1 would never get across the rectangle.
    if (size.width() >= 1 && size.height() >= 1) {
      canvas_.Save();
      canvas_.IntersectClipRect(p_.Rect);
      for (int y = p_.Rect.Top; y < p_.Rect.Bottom; y += size.height())
        for (int x = p_.Rect.Left; x < p_.Rect.Right; x += size.width())
          DrawImages({tiles.front()}, x, y, {});
      canvas_.Restore();
    }
  }
  const QString color = MarkupAttr(tag, u"BGCOLOR", true);
  if (color.isEmpty()) return;
  st.Background = BodyColor(color);
  canvas_.Brush = TBrush{st.Background, bsSolid};
  canvas_.FillRect(p_.Rect);
  canvas_.Brush.Style = bsClear;
}

void TMarkupRenderer::ListItem(TTextState &st, TWalk &w) {
  w.ListItem = true;
  const int level = std::max(1, st.ListLevel);
  const int from = w.X;
  w.X += kListIndent * level;
  if (!w.Draws() || st.Hidden) return;
  UseFont(st.Font);
  canvas_.Brush.Style = bsClear;
  canvas_.TextOut(w.Place.Left + from + kListIndent * (level - 1), w.Place.Top,
                  level % 2 ? QString(kBullet) : QStringLiteral("o"));
}

TTagAction TMarkupRenderer::PlaceImages(TTextState &st, TWalk &w, const TMarkupTag &tag) {
  const int number = ++st.ImageCount;
  std::vector<TMarkupImage> images = ResolveImageSource(MarkupAttr(tag, u"SRC"), sources_);
  const int fixed_w = ClampInt(ReadMarkupInt(MarkupAttr(tag, u"WIDTH")), 0, kMaxImageSide);
  const int fixed_h = ClampInt(ReadMarkupInt(MarkupAttr(tag, u"HEIGHT")), 0, kMaxImageSide);
  const QSize fixed = fixed_w >= 1 && fixed_h >= 1 ? QSize(fixed_w, fixed_h) : QSize();
  int width = 0, height = 0;
  for (const TMarkupImage &image : images) {
    const QSize natural =
        image.Type == TMarkupImage::Picture && fixed.isValid() ? fixed : image.NaturalSize(sources_);
    if (natural.width() < 1 || natural.height() < 1) continue;
    width += Scaled(natural.width(), false);
    height = std::max(height, Scaled(natural.height(), true));
  }
  if (width == 0) return TTagAction::Next; // nothing to show takes no room
  if (w.Layout()) {
    if (w.X + width > w.Avail && width < w.Avail && w.Consumed) return TTagAction::Stay;
    w.Line.Height = std::max(w.Line.Height, height);
    const QString align = MarkupAttr(tag, u"ALIGN", true);
    if (align.startsWith(u"TOP")) w.Line.ImageOffset = w.Line.Height - w.Line.Gh;
    if (align.startsWith(u"MIDDLE")) w.Line.ImageOffset = (w.Line.Height - w.Line.Gh) / 2;
  } else {
    const int px = p_.X - w.Place.Left;
    if (st.InAnchor && px > w.X && px < w.X + width && p_.Y > w.Place.Top && p_.Y < w.Place.Top + height) {
      HitAnchor(st, w);
      hovered_image_ = number;
    }
    if (w.Draws()) {
      const QString alt = MarkupAttr(tag, u"ALT");
      if (hovered_image_ == number && !alt.isEmpty()) images = ResolveImageSource(alt, sources_);
      DrawImages(images, w.Place.Left + w.X, w.Place.Top, fixed);
    }
  }
  w.X += width;
  w.EndsInBlank = false;
  return TTagAction::Next;
}

void TMarkupRenderer::DrawImages(const std::vector<TMarkupImage> &images, int x, int top, QSize fixed) {
  for (const TMarkupImage &image : images) {
    if (image.Type != TMarkupImage::Picture) {
      const QSize natural = image.NaturalSize(sources_);
      TRect stretch;
      if (p_.Print)
        stretch = Bounds(x, top, int(std::lround(Scaled(natural.width(), false) * p_.ResFactor)),
                         int(std::lround(Scaled(natural.height(), true) * p_.ResFactor)));
      DrawListOrIcon(canvas_, image, sources_, x, top, stretch);
      x += Scaled(natural.width(), false);
      continue;
    }
    THTMLPicture &pic = *image.Pic;
    if (fixed.isValid()) {
      pic.DrawStretched(canvas_, Bounds(x, top, fixed.width(), fixed.height()));
      x += Scaled(fixed.width(), false);
      continue;
    }
    const int w = Scaled(pic.AnimationWidth(), false), h = Scaled(pic.AnimationHeight(), true);
    if (pic.FrameCount() > 1 && start_background_ != clNone) {
      canvas_.Brush = TBrush{start_background_, bsSolid};
      canvas_.FillRect(Bounds(x, top, w, h));
      canvas_.Brush.Style = bsClear;
    }
    pic.DrawNatural(canvas_, Bounds(x + pic.FrameLeft(), top + pic.FrameTop(), w, h));
    x += w;
  }
}

} // namespace

bool DrawMarkup(TCanvas &Canvas, const QString &Text, const TMarkupParams &Params, TMarkupResult &Result) {
  return TMarkupRenderer(Canvas, Params, Result).Run(Text);
}

TColor BlendColor(TColor Color1, TColor Color2, int Percent) {
  if (Percent == 100) return Color1;
  const double p = std::clamp(Percent, 0, 100) / 100.0;
  const TColor a = ColorToRGB(Color1), b = ColorToRGB(Color2);
  auto mix = [&](int c1, int c2) { return int(std::lround(p * c1 + (1 - p) * c2)); };
  return RGBColor(mix(RedOf(a), RedOf(b)), mix(GreenOf(a), GreenOf(b)), mix(BlueOf(a), BlueOf(b)));
}

void DrawGradient(TCanvas &Canvas, TColor FromColor, TColor ToColor, int Steps, const TRect &Rect,
                  bool Horizontal) {
  Steps = std::max(1, Steps);
  const TColor from = ColorToRGB(FromColor), to = ColorToRGB(ToColor);
  const double dr = double(RedOf(to) - RedOf(from)) / Steps;
  const double dg = double(GreenOf(to) - GreenOf(from)) / Steps;
  const double db = double(BlueOf(to) - BlueOf(from)) / Steps;
  const double band = double(Horizontal ? Rect.Width() : Rect.Height()) / Steps;
  const int edge = Horizontal ? Rect.Right : Rect.Bottom;
  for (int i = 0; i < Steps; ++i) {
    const TColor c =
        RGBColor(int(std::lround(RedOf(from) + i * dr)), int(std::lround(GreenOf(from) + i * dg)),
                 int(std::lround(BlueOf(from) + i * db)));
    Canvas.Pen = TPen{c, 1, psSolid};
    Canvas.Brush = TBrush{c, bsSolid};
    const int start = (Horizontal ? Rect.Left : Rect.Top) + int(std::lround(i * band));
    const int stop = std::min(edge, start + int(band + 1));
    if (stop <= start) continue;
    Canvas.Rectangle(Horizontal ? kv::ui::Rect(start, Rect.Top, stop, Rect.Bottom)
                                : kv::ui::Rect(Rect.Left, start, Rect.Right, stop));
  }
}

} // namespace kv::panels
