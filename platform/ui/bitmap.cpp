#include "platform/ui/bitmap.h"

#include <QImageReader>
#include <QPainter>

#include "platform/ui/canvas.h"

namespace kv::ui {

namespace {

bool SizeAllowed(int width, int height) {
  return width >= 0 && height >= 0 && qint64(width) * qint64(height) <= MaxBitmapPixels;
}

} // namespace

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int width, int height) {
  SetSize(width, height);
}

TBitmap::TBitmap(const QImage &image) {
  Assign(image);
}

TBitmap::TBitmap(const TBitmap &other) : image_(other.Image()), monochrome_(other.monochrome_) {}

TBitmap &TBitmap::operator=(const TBitmap &other) {
  if (this != &other) {
    Finish();
    image_ = other.Image();
    monochrome_ = other.monochrome_;
  }
  return *this;
}

TBitmap::TBitmap(TBitmap &&other) noexcept : TBitmap() {
  *this = std::move(other);
}

TBitmap &TBitmap::operator=(TBitmap &&other) noexcept {
  if (this != &other) {
    other.Finish();
    Finish();
    image_ = std::move(other.image_);
    monochrome_ = other.monochrome_;
    other.image_ = QImage();
  }
  return *this;
}

TBitmap::~TBitmap() = default;

void TBitmap::Finish() const {
  if (canvas_) canvas_->EndPaint();
}

bool TBitmap::SetSize(int width, int height) {
  Finish();
  if (width == Width() && height == Height()) return true;
  if (!SizeAllowed(width, height) || width == 0 || height == 0) {
    image_ = QImage();
    return SizeAllowed(width, height);
  }
  QImage resized(width, height, QImage::Format_RGB32);
  if (resized.isNull()) {
    image_ = QImage();
    return false;
  }
  resized.fill(Qt::white);
  if (!image_.isNull()) {
    QPainter p(&resized);
    p.drawImage(0, 0, image_);
  }
  image_ = std::move(resized);
  return true;
}

TCanvas &TBitmap::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TCanvas>(&image_);
  return *canvas_;
}

void TBitmap::SetMonochrome(bool on) {
  Finish();
  if (on && !monochrome_ && !Empty()) {
    const QRgb background = ToQRgb(canvas_ ? canvas_->Brush.Color : clWhite);
    for (int y = 0; y < image_.height(); ++y) {
      QRgb *line = reinterpret_cast<QRgb *>(image_.scanLine(y));
      for (int x = 0; x < image_.width(); ++x)
        line[x] = (line[x] | 0xFF000000u) == background ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    }
  }
  monochrome_ = on;
}

TColor TBitmap::Pixel(int x, int y) const {
  const QImage &image = Image();
  if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) return clNone;
  return FromQColor(QColor(image.pixel(x, y)));
}

void TBitmap::SetPixel(int x, int y, TColor c) {
  Finish();
  if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height() || c == clNone) return;
  image_.setPixel(x, y, ToQRgb(c));
}

TColor TBitmap::TransparentColor() const {
  return Empty() ? clNone : Pixel(0, Height() - 1);
}

const QImage &TBitmap::Image() const {
  Finish();
  return image_;
}

void TBitmap::Assign(const QImage &image) {
  Finish();
  monochrome_ = false;
  if (image.isNull() || !SizeAllowed(image.width(), image.height())) {
    image_ = QImage();
    return;
  }
  image_ = image.convertToFormat(QImage::Format_RGB32);
}

bool TBitmap::LoadFromFile(const QString &path) {
  QImageReader reader(path);
  const QSize size = reader.size();
  if (size.isValid() && !SizeAllowed(size.width(), size.height())) {
    Assign(QImage());
    return false;
  }
  Assign(reader.read());
  return !Empty();
}

QImage KeyedImage(const QImage &image, TColor key) {
  QImage out = image.convertToFormat(QImage::Format_ARGB32);
  const QRgb match = ToQRgb(key) & 0x00FFFFFFu;
  for (int y = 0; y < out.height(); ++y) {
    QRgb *line = reinterpret_cast<QRgb *>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x)
      line[x] = (line[x] & 0x00FFFFFFu) == match ? 0u : (line[x] | 0xFF000000u);
  }
  return out;
}

} // namespace kv::ui
