#pragma once
// An image list: equally sized pictures with transparency, drawn by index. Every call checks its
// index; one outside the list draws nothing and reports false.

#include <QImage>
#include <vector>

#include "platform/ui/color.h"
#include "platform/ui/geometry.h"

namespace kv::ui {

class TBitmap;
class TCanvas;

class TImageList {
public:
  // Picture size, each side clamped to 1..1024.
  explicit TImageList(int width = 16, int height = 16);

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Count() const { return int(images_.size()); }

  // Adds the bitmap cut into pictures of the list's width (a narrower one counts as one); `mask`
  // (optional, same size) is transparent where white. Returns the first new index, -1 when the
  // bitmap is empty.
  int Add(const TBitmap &image, const TBitmap *mask = nullptr);
  // The same with the pixels of `mask_color` transparent: clDefault takes the bitmap's
  // bottom-left pixel, clNone keeps every pixel.
  int AddMasked(const TBitmap &image, TColor mask_color);
  // Adds a picture that carries its own alpha (for example a PNG).
  int AddImage(const QImage &image);
  // Replaces one picture; false when the index is outside the list or the bitmap is empty.
  bool ReplaceMasked(int index, const TBitmap &image, TColor mask_color);
  bool Delete(int index);
  void Clear() { images_.clear(); }

  // Draws picture `index` at (x, y); a disabled picture is its shape embossed in button
  // highlight and shadow colours.
  bool Draw(TCanvas &canvas, int x, int y, int index, bool enabled = true) const;
  // Picture `index` as a shape only: in `highlight` one pixel right and down when
  // `with_highlight`, then in `main` at (x, y).
  bool DrawEmbossed(TCanvas &canvas, int x, int y, int index, TColor main, TColor highlight,
                    bool with_highlight) const;
  bool StretchDraw(TCanvas &canvas, const TRect &dest, int index) const;
  // The picture's mask: black where it is opaque, white where it is transparent.
  bool GetMask(int index, TBitmap &mask) const;
  // The picture with its alpha; a null image outside the list.
  QImage Image(int index) const;

private:
  bool Valid(int index) const { return index >= 0 && index < Count(); }
  int Append(const QImage &argb);
  QImage Fit(const QImage &argb, int left) const;

  int width_;
  int height_;
  std::vector<QImage> images_; // ARGB32, width_ x height_
};

using TCustomImageList = TImageList;

} // namespace kv::ui
