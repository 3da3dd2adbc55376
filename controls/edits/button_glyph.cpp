#include "controls/edits/button_glyph.h"

#include <QStringList>
#include <algorithm>

#include "controls/edits/bitmap_utils.h"
#include "platform/ui/text_layout.h"

namespace kv::edits {

using namespace ui;

namespace {
std::unique_ptr<TKvGlyphCache> g_cache;

TKvGlyphCache &Cache() {
  if (!g_cache) g_cache = std::make_unique<TKvGlyphCache>();
  return *g_cache;
}

constexpr int kMaxCaption = 255;
} // namespace

TKvGlyphCache *GlyphCache() {
  return g_cache.get();
}

// ---- TKvGlyphList ----------------------------------------------------------------------------

int TKvGlyphList::TakeFreeSlot() {
  auto free = std::find(slot_map_.begin(), slot_map_.end(), false);
  int index = int(free - slot_map_.begin());
  if (free == slot_map_.end()) {
    TBitmap blank(Width(), Height());
    index = Add(blank);
    slot_map_.resize(size_t(Count()), false);
  }
  slot_map_[size_t(index)] = true;
  return index;
}

int TKvGlyphList::StoreMasked(const TBitmap &picture, TColor mask_color) {
  const int slot = TakeFreeSlot();
  ReplaceMasked(slot, picture, mask_color);
  ++slots_in_use_;
  return slot;
}

void TKvGlyphList::FreeSlot(int index) {
  if (!SlotUsed(index)) return;
  --slots_in_use_;
  slot_map_[size_t(index)] = false;
}

// ---- TKvGlyphCache ---------------------------------------------------------------------------

TKvGlyphList *TKvGlyphCache::ListForSize(int width, int height) {
  for (auto it = lists_.rbegin(); it != lists_.rend(); ++it)
    if ((*it)->Width() == width && (*it)->Height() == height) return it->get();
  lists_.push_back(std::make_unique<TKvGlyphList>(width, height));
  return lists_.back().get();
}

void TKvGlyphCache::ReleaseList(TKvGlyphList *list) {
  if (!list || list->SlotsInUse() != 0) return;
  lists_.erase(
      std::remove_if(lists_.begin(), lists_.end(), [list](const auto &l) { return l.get() == list; }),
      lists_.end());
}

// ---- TKvButtonGlyph --------------------------------------------------------------------------

TKvButtonGlyph::TKvButtonGlyph() {
  Cache();
}

TKvButtonGlyph::~TKvButtonGlyph() {
  DropPictures();
  if (g_cache && g_cache->HoldsNoList()) g_cache.reset();
}

void TKvButtonGlyph::SetGlyph(const TBitmap &bitmap) {
  DropPictures();
  source_ = bitmap;
  SourceChanged();
}

void TKvButtonGlyph::SourceChanged() {
  DropPictures();
  if (!source_.Empty()) {
    mask_color_ = source_.TransparentColor() & ~PaletteRelativeFlag;
    const int w = source_.Width(), h = source_.Height();
    // Only a strip at least as wide as high says how many pictures it holds; a zero width
    // would give no pictures at all.
    if (w >= h && h > 0 && w % h == 0) num_glyphs_ = w / h < 6 ? w / h : 1;
  }
  if (OnChange) OnChange();
}

void TKvButtonGlyph::SetNumGlyphs(int value) {
  value = std::min(value, 5);
  if (value == num_glyphs_ || value < 1) return;
  DropPictures();
  num_glyphs_ = value;
}

void TKvButtonGlyph::SetGrayNewStyle(bool value) {
  if (value == gray_new_style_) return;
  DropPictures();
  gray_new_style_ = value;
}

void TKvButtonGlyph::DropPictures() {
  for (int &slot : slots_) {
    if (slot != -1 && shared_list_) shared_list_->FreeSlot(slot);
    slot = -1;
  }
  if (g_cache) g_cache->ReleaseList(shared_list_);
  shared_list_ = nullptr;
}

QSize TKvButtonGlyph::PictureSize() const {
  if (source_.Empty()) return {0, 0};
  return {source_.Width() / std::max(1, num_glyphs_), source_.Height()};
}

TBitmap TKvButtonGlyph::Picture(int number) const {
  const QSize size = PictureSize();
  TBitmap picture(size.width(), size.height());
  picture.Canvas().CopyRect(Bounds(0, 0, size.width(), size.height()), source_,
                            Bounds(number * size.width(), 0, size.width(), size.height()));
  picture.Canvas().EndPaint();
  return picture;
}

TColor TKvButtonGlyph::GreyColor(TColor colour) const {
  const TColor rgb = ColorToRGB(colour);
  if (colour == mask_color_ || rgb == ColorToRGB(mask_color_) || rgb == ColorToRGB(clBtnFace)) return colour;
  const int grey = (77 * RedOf(rgb) + 150 * GreenOf(rgb) + 29 * BlueOf(rgb)) >> 8;
  return RGBColor(grey, grey, grey);
}

int TKvButtonGlyph::PreparePicture(TButtonDrawState state) {
  const int index = state == bdsDown && num_glyphs_ < 3 ? int(bdsUp) : int(state);
  if (slots_[size_t(index)] != -1) return slots_[size_t(index)];
  if (source_.Empty()) return -1;
  const QSize size = PictureSize();
  if (size.width() <= 0) return -1;
  if (!shared_list_) shared_list_ = Cache().ListForSize(size.width(), size.height());
  const int number = int(state) < num_glyphs_ ? int(state) : 0;
  int slot = -1;
  switch (state) {
  case bdsUp:
  case bdsDown:
  case bdsExclusive:
    slot = shared_list_->StoreMasked(Picture(number), mask_color_);
    break;
  case bdsDisabled:
    if (num_glyphs_ > 1)
      slot = shared_list_->StoreMasked(Picture(1), mask_color_);
    else if (gray_new_style_)
      slot = shared_list_->StoreMasked(MakeEmbossedBitmap(source_, mask_color_), mask_color_);
    else
      slot = shared_list_->StoreMasked(MakeDisabledBitmap(source_, clBlack), clBtnFace);
    break;
  case bdsInactive:
    if (num_glyphs_ == 5) {
      slot = shared_list_->StoreMasked(Picture(4), mask_color_);
    } else {
      TBitmap grey = Picture(0);
      for (int y = 0; y < grey.Height(); ++y)
        for (int x = 0; x < grey.Width(); ++x)
          grey.SetPixel(x, y, GreyColor(grey.Pixel(x, y)));
      slot = shared_list_->StoreMasked(grey, mask_color_);
    }
    break;
  }
  slots_[size_t(index)] = slot;
  return slot;
}

QSize TKvButtonGlyph::DrawPicture(TCanvas &canvas, QPoint pos, TButtonDrawState state) {
  const int index = PreparePicture(state);
  if (index < 0 || !shared_list_) return {0, 0};
  shared_list_->Draw(canvas, pos.x(), pos.y(), index);
  return {shared_list_->Width(), shared_list_->Height()};
}

void TKvButtonGlyph::DrawCaption(TCanvas &canvas, const QString &caption, TRect rect, TButtonDrawState state,
                                 TTextFlags flags) {
  const QString text = caption.left(kMaxCaption);
  flags |= (WordWrap ? unsigned(tfWordBreak) : 0u) | tfVCenter;
  const TBrush brush = canvas.Brush;
  const TColor font_colour = canvas.Font.Color;
  canvas.Brush.Style = bsClear;
  if (state == bdsDisabled) {
    TRect shifted = rect;
    OffsetRect(shifted, 1, 1);
    canvas.Font.Color = clBtnHighlight;
    canvas.DrawText(text, shifted, flags);
    canvas.Font.Color = clBtnShadow;
    canvas.DrawText(text, rect, flags);
  } else {
    canvas.DrawText(text, rect, flags);
  }
  canvas.Font.Color = font_colour;
  canvas.Brush = brush;
}

TFaceLayout TKvButtonGlyph::LayoutFace(const TTextMeasure &measure, const TFont &font, const TRect &client,
                                       const QString &caption, TButtonLayout layout, int margin, int spacing,
                                       bool mark, TTextFlags flags) const {
  const int cw = client.Width(), ch = client.Height();
  const QSize picture = PictureSize();
  int gw = picture.width(), gh = picture.height();
  const bool horizontal = layout == blGlyphLeft || layout == blGlyphRight;

  // 1. The room left for the text.
  int room_w, room_h;
  if (horizontal) {
    room_w = cw - gw - (margin != -1 ? margin : 0) - (spacing != -1 ? spacing : 0) - (mark ? 9 : 0);
    room_h = ch;
  } else {
    room_w = cw;
    room_h = ch - gh - (margin != -1 ? margin : 0) - (spacing != -1 ? spacing : 0);
  }
  room_w = std::max(0, room_w);
  room_h = std::max(0, room_h);

  // 2. The caption, each line shortened to the room unless it may wrap.
  TFaceLayout out;
  out.Caption = caption.left(kMaxCaption);
  if (!WordWrap) {
    QStringList lines = out.Caption.split(QLatin1Char('\n'));
    for (QString &line : lines) {
      if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
      line = ShortenToWidth(line, measure, font, room_w);
    }
    QString joined = lines.join(QStringLiteral("\r\n"));
    while (!joined.isEmpty() && joined.back() <= QLatin1Char(' '))
      joined.chop(1);
    out.Caption = joined;
  }

  // 3. The text's rectangle, cut to the room.
  TRect text{0, 0, 0, 0};
  if (!out.Caption.isEmpty()) {
    const TTextFlags calc =
        tfCalcRect | tfCenter | tfVCenter | (WordWrap ? unsigned(tfWordBreak) : 0u) | flags;
    text = LayoutText(measure, font, out.Caption, Rect(0, 0, room_w, 0), calc).bounds;
    text.Bottom = text.Top + std::clamp(text.Height(), 0, room_h);
    text.Right = text.Left + std::clamp(text.Width(), 0, room_w);
  }
  int tw = text.Width(), th = text.Height();

  // 4. Room for the drop-down mark.
  if (mark) {
    if (gw == 0 || gh == 0 || layout == blGlyphLeft)
      tw += 9;
    else
      gw += 6;
  }

  // 5. Centred across the layout's axis.
  QPoint glyph, pos;
  if (horizontal) {
    glyph.setY(ch / 2 - gh / 2);
    pos.setY(ch / 2 - th / 2);
  } else {
    glyph.setX(cw / 2 - gw / 2);
    pos.setX(cw / 2 - tw / 2);
  }

  // 6., 7. Margin and spacing.
  if (tw == 0 || gw == 0) spacing = 0;
  const int extent = horizontal ? cw : ch;
  const int g = horizontal ? gw : gh, t = horizontal ? tw : th;
  if (margin == -1 && spacing == -1) {
    margin = (extent - (g + t)) / 3;
    spacing = margin;
  } else if (margin == -1) {
    margin = extent / 2 - (g + spacing + t) / 2;
  } else if (spacing == -1) {
    spacing = (extent - margin - g) / 2 - t / 2;
  }

  // 8. Positions along the axis.
  switch (layout) {
  case blGlyphLeft:
    glyph.setX(margin);
    pos.setX(margin + gw + spacing);
    break;
  case blGlyphRight:
    glyph.setX(cw - margin - gw);
    pos.setX(glyph.x() - spacing - tw);
    break;
  case blGlyphTop:
    glyph.setY(margin);
    pos.setY(margin + gh + spacing);
    break;
  case blGlyphBottom:
    glyph.setY(ch - margin - gh);
    pos.setY(glyph.y() - spacing - th);
    break;
  }

  // 9. Into the client rectangle.
  out.GlyphPos = glyph + client.TopLeft();
  pos += client.TopLeft();
  OffsetRect(text, pos.x() - text.Left, pos.y() - text.Top);
  out.TextBounds = text;
  return out;
}

TRect TKvButtonGlyph::DrawFace(TCanvas &canvas, const TRect &client, const QString &caption,
                               TButtonLayout layout, int margin, int spacing, bool mark,
                               TButtonDrawState state, TTextFlags flags) {
  const TFaceLayout face =
      LayoutFace(canvas.Measure(), canvas.Font, client, caption, layout, margin, spacing, mark, flags);
  const QSize drawn = DrawPicture(canvas, face.GlyphPos, state);
  DrawCaption(canvas, face.Caption, face.TextBounds, state, flags);
  if (mark) {
    const bool picture = drawn.width() > 0 && drawn.height() > 0;
    if (layout != blGlyphLeft && picture) {
      DrawDropDownMark(canvas, face.GlyphPos.x() + drawn.width() + 1, face.GlyphPos.y() + drawn.height() / 2,
                       state);
    } else {
      const TRect &t = face.TextBounds;
      const int x = face.Caption.isEmpty() ? (client.Left + client.Right - 7) / 2 : t.Right + 3;
      DrawDropDownMark(canvas, x, t.Top + t.Height() / 2, state);
    }
  }
  return face.TextBounds;
}

void DrawDropDownMark(TCanvas &canvas, int x, int y, TButtonDrawState state) {
  auto triangle = [&canvas](int left, int top, TColor colour) {
    for (int row = 0; row < 4; ++row)
      for (int px = left + row; px <= left + 6 - row; ++px)
        canvas.SetPixel(px, top - 1 + row, colour);
  };
  if (state == bdsDisabled) {
    triangle(x + 1, y + 1, clBtnHighlight);
    triangle(x, y, clBtnShadow);
  } else {
    triangle(x, y, clBtnText);
  }
}

} // namespace kv::edits
