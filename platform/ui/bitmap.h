#pragma once
// A bitmap: a 32-bit RGB QImage with a canvas on it, guarded against sizes that cannot be
// allocated and against reads outside it. Transparency is by key colour; the usual key is the
// bottom-left pixel, which an empty bitmap does not have, so an empty bitmap never yields one
// and draws nothing.

#include <QImage>
#include <QString>
#include <memory>

#include "platform/ui/color.h"

namespace kv::ui {

class TCanvas;

// Larger bitmaps are refused (left empty) rather than allocated.
constexpr qint64 MaxBitmapPixels = qint64(64) * 1024 * 1024;

class TBitmap {
public:
  TBitmap();
  // A white bitmap of that size (empty when the size is refused).
  TBitmap(int width, int height);
  explicit TBitmap(const QImage &image);
  TBitmap(const TBitmap &other);
  TBitmap &operator=(const TBitmap &other);
  TBitmap(TBitmap &&other) noexcept;
  TBitmap &operator=(TBitmap &&other) noexcept;
  ~TBitmap();

  int Width() const { return image_.width(); }
  int Height() const { return image_.height(); }
  bool Empty() const { return image_.isNull() || image_.width() <= 0 || image_.height() <= 0; }
  // Keeps the picture at the top left, fills new room white; a negative size or one above
  // MaxBitmapPixels empties the bitmap and returns false.
  bool SetSize(int width, int height);
  void Clear() { SetSize(0, 0); }

  // The canvas drawing on this bitmap (created at first use).
  TCanvas &Canvas();

  bool Monochrome() const { return monochrome_; }
  // Making a colour bitmap monochrome turns the pixels of its canvas's brush colour white and
  // all others black; making it colour keeps the pixels.
  void SetMonochrome(bool on);

  // The pixel's colour, clNone outside the bitmap.
  TColor Pixel(int x, int y) const;
  void SetPixel(int x, int y, TColor c);
  // The key colour of "automatic" transparency: the bottom-left pixel; clNone when empty.
  TColor TransparentColor() const;

  // The picture, with all drawing so far in it.
  const QImage &Image() const;
  // Takes a copy of `image` as 32-bit RGB (alpha dropped); a refused size leaves it empty.
  void Assign(const QImage &image);
  // Reads a picture file or a resource (":/..."); false, and empty, when it cannot be read.
  bool LoadFromFile(const QString &path);

private:
  void Finish() const;

  QImage image_;
  bool monochrome_ = false;
  mutable std::unique_ptr<TCanvas> canvas_;
};

// A copy of `image` with alpha where every pixel of colour `key` (resolved, alpha ignored) is
// fully transparent and all others opaque.
QImage KeyedImage(const QImage &image, TColor key);

} // namespace kv::ui
