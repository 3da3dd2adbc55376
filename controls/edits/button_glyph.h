#pragma once
// TKvButtonGlyph: the picture and caption of a glyph button. It keeps the user's bitmap, cuts it
// into up to five state pictures, derives the missing disabled and inactive ones, and keeps the
// prepared pictures in image lists shared by all buttons whose pictures have the same size
// (TKvGlyphList, collected in the one program-wide TKvGlyphCache). It also lays out picture,
// caption and drop-down mark inside the button face.

#include <QPoint>
#include <QSize>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "controls/edits/edit_types.h"
#include "platform/ui/bitmap.h"
#include "platform/ui/canvas.h"
#include "platform/ui/image_list.h"
#include "platform/ui/text_measure.h"

namespace kv::edits {

// Draw states of a glyph button, in this order.
enum TButtonDrawState { bdsUp, bdsDisabled, bdsDown, bdsExclusive, bdsInactive };
enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

// An image list with a map of the slots in use, so freed slots are reused before it grows.
class TKvGlyphList : public ui::TImageList {
public:
  TKvGlyphList(int width, int height) : ui::TImageList(width, height) {}
  // The first free slot (a blank picture is appended when none is free), marked used.
  int TakeFreeSlot();
  // Stores `picture` in a free slot with `mask_color` transparent; returns the slot.
  int StoreMasked(const ui::TBitmap &picture, ui::TColor mask_color);
  // Frees a used slot (its picture stays until the slot is reused).
  void FreeSlot(int index);
  int SlotsInUse() const { return slots_in_use_; }
  bool SlotUsed(int index) const {
    return index >= 0 && index < int(slot_map_.size()) && slot_map_[size_t(index)];
  }

private:
  std::vector<bool> slot_map_;
  int slots_in_use_ = 0;
};

// The glyph lists of the program, one per picture size.
class TKvGlyphCache {
public:
  // The list for pictures of that size, made when there is none.
  TKvGlyphList *ListForSize(int width, int height);
  // Removes and frees the list when none of its slots is used.
  void ReleaseList(TKvGlyphList *list);
  bool HoldsNoList() const { return lists_.empty(); }
  int ListCount() const { return int(lists_.size()); }

private:
  std::vector<std::unique_ptr<TKvGlyphList>> lists_;
};

// The program's cache while it exists (made by the first glyph, or on first need), else nullptr.
TKvGlyphCache *GlyphCache();

// Where picture and caption go in a face.
struct TFaceLayout {
  QPoint GlyphPos;
  ui::TRect TextBounds;
  QString Caption; // the caption as drawn (shortened to the room without word wrap)
};

class TKvButtonGlyph {
public:
  TKvButtonGlyph();
  ~TKvButtonGlyph();
  TKvButtonGlyph(const TKvButtonGlyph &) = delete;
  TKvButtonGlyph &operator=(const TKvButtonGlyph &) = delete;

  // The user's bitmap; setting it drops the prepared pictures and derives MaskColor and
  // NumGlyphs from the new one.
  const ui::TBitmap &Glyph() const { return source_; }
  void SetGlyph(const ui::TBitmap &bitmap);
  int NumGlyphs() const { return num_glyphs_; }
  void SetNumGlyphs(int value);
  bool GrayNewStyle() const { return gray_new_style_; }
  void SetGrayNewStyle(bool value);
  ui::TColor MaskColor() const { return mask_color_; }
  bool WordWrap = false;
  TAlignment Alignment = taCenter;
  std::function<void()> OnChange;

  // Frees the prepared pictures (new colours, destruction).
  void DropPictures();
  // The picture's index in the shared list for `state`, prepared on first use; -1 without one.
  int PreparePicture(TButtonDrawState state);
  // Index of the prepared picture for a state (-1: not prepared).
  int PictureSlot(TButtonDrawState state) const { return slots_[size_t(state)]; }
  TKvGlyphList *SharedList() const { return shared_list_; }
  // Size of one picture; (0, 0) without a bitmap.
  QSize PictureSize() const;
  // The grey of a colour for the inactive picture; MaskColor and the button face stay.
  ui::TColor GreyColor(ui::TColor colour) const;

  // Draws the prepared picture for `state` at `pos`; returns the size drawn, (0, 0) for none.
  QSize DrawPicture(ui::TCanvas &canvas, QPoint pos, TButtonDrawState state);
  void DrawCaption(ui::TCanvas &canvas, const QString &caption, ui::TRect rect, TButtonDrawState state,
                   ui::TTextFlags flags);
  // The positions of picture and caption in `client`; Margin and Spacing of -1 are automatic.
  TFaceLayout LayoutFace(const ui::TTextMeasure &measure, const ui::TFont &font, const ui::TRect &client,
                         const QString &caption, TButtonLayout layout, int margin, int spacing, bool mark,
                         ui::TTextFlags flags) const;
  // Draws picture, caption and mark; returns the caption's rectangle.
  ui::TRect DrawFace(ui::TCanvas &canvas, const ui::TRect &client, const QString &caption,
                     TButtonLayout layout, int margin, int spacing, bool mark, TButtonDrawState state,
                     ui::TTextFlags flags);

private:
  // After a new bitmap: the prepared pictures go, key colour and picture count are derived.
  void SourceChanged();
  ui::TBitmap Picture(int number) const;

  ui::TBitmap source_;
  TKvGlyphList *shared_list_ = nullptr;
  std::array<int, 5> slots_{-1, -1, -1, -1, -1};
  ui::TColor mask_color_ = ui::clFuchsia;
  int num_glyphs_ = 1;
  bool gray_new_style_ = false;
};

// The drop-down mark, a small downward triangle with its top row at y - 1.
void DrawDropDownMark(ui::TCanvas &canvas, int x, int y, TButtonDrawState state);

} // namespace kv::edits
