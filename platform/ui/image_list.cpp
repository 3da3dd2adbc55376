#include "platform/ui/image_list.h"

#include <QPainter>
#include <algorithm>

#include "platform/ui/bitmap.h"
#include "platform/ui/canvas.h"

namespace kv::ui {

namespace {

constexpr int kMaxSide = 1024;

// The bitmap as ARGB with its transparency from `mask` (white = transparent).
QImage WithMask(const TBitmap &image, const TBitmap *mask) {
  QImage out = image.Image().convertToFormat(QImage::Format_ARGB32);
  if (!mask || mask->Empty()) return out;
  const QImage &m = mask->Image();
  for (int y = 0; y < std::min(out.height(), m.height()); ++y) {
    QRgb *line = reinterpret_cast<QRgb *>(out.scanLine(y));
    const QRgb *mline = reinterpret_cast<const QRgb *>(m.constScanLine(y));
    for (int x = 0; x < std::min(out.width(), m.width()); ++x)
      if ((mline[x] & 0x00FFFFFFu) == 0x00FFFFFFu) line[x] = 0;
  }
  return out;
}

QImage Masked(const TBitmap &image, TColor mask_color) {
  if (mask_color == clNone) return image.Image().convertToFormat(QImage::Format_ARGB32);
  if (mask_color == clDefault) mask_color = image.TransparentColor();
  return KeyedImage(image.Image(), mask_color);
}

} // namespace

TImageList::TImageList(int width, int height)
    : width_(std::clamp(width, 1, kMaxSide)), height_(std::clamp(height, 1, kMaxSide)) {}

QImage TImageList::Fit(const QImage &argb, int left) const {
  QImage piece(width_, height_, QImage::Format_ARGB32);
  piece.fill(Qt::transparent);
  QPainter p(&piece);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.drawImage(QPoint(0, 0), argb, QRect(left, 0, width_, height_));
  return piece;
}

int TImageList::Append(const QImage &argb) {
  if (argb.isNull() || argb.width() <= 0 || argb.height() <= 0) return -1;
  const int first = Count();
  const int pieces = std::max(1, argb.width() / width_);
  for (int i = 0; i < pieces; ++i)
    images_.push_back(Fit(argb, i * width_));
  return first;
}

int TImageList::Add(const TBitmap &image, const TBitmap *mask) {
  return image.Empty() ? -1 : Append(WithMask(image, mask));
}

int TImageList::AddMasked(const TBitmap &image, TColor mask_color) {
  return image.Empty() ? -1 : Append(Masked(image, mask_color));
}

int TImageList::AddImage(const QImage &image) {
  return Append(image.convertToFormat(QImage::Format_ARGB32));
}

bool TImageList::ReplaceMasked(int index, const TBitmap &image, TColor mask_color) {
  if (!Valid(index) || image.Empty()) return false;
  images_[index] = Fit(Masked(image, mask_color), 0);
  return true;
}

bool TImageList::Delete(int index) {
  if (!Valid(index)) return false;
  images_.erase(images_.begin() + index);
  return true;
}

bool TImageList::Draw(TCanvas &canvas, int x, int y, int index, bool enabled) const {
  if (!Valid(index)) return false;
  if (enabled) {
    canvas.DrawImage(Bounds(x, y, width_, height_), images_[index], Bounds(0, 0, width_, height_));
    return true;
  }
  return DrawEmbossed(canvas, x, y, index, clBtnShadow, clBtnHighlight, true);
}

bool TImageList::DrawEmbossed(TCanvas &canvas, int x, int y, int index, TColor main, TColor highlight,
                              bool with_highlight) const {
  TBitmap mask;
  if (!GetMask(index, mask)) return false;
  canvas.EmbossMask(x, y, mask, clBlack, main, highlight, with_highlight);
  return true;
}

bool TImageList::StretchDraw(TCanvas &canvas, const TRect &dest, int index) const {
  if (!Valid(index)) return false;
  canvas.DrawImage(dest, images_[index], Bounds(0, 0, width_, height_));
  return true;
}

bool TImageList::GetMask(int index, TBitmap &mask) const {
  if (!Valid(index)) return false;
  const QImage &image = images_[index];
  QImage m(image.size(), QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y) {
    const QRgb *in = reinterpret_cast<const QRgb *>(image.constScanLine(y));
    QRgb *out = reinterpret_cast<QRgb *>(m.scanLine(y));
    for (int x = 0; x < image.width(); ++x)
      out[x] = qAlpha(in[x]) ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
  }
  mask.Assign(m);
  mask.SetMonochrome(true);
  return true;
}

QImage TImageList::Image(int index) const {
  return Valid(index) ? images_[index] : QImage();
}

} // namespace kv::ui
