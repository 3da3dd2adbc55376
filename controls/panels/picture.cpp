#include "controls/panels/picture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <algorithm>
#include <cmath>
#include <string_view>
#include <unistd.h>

#include "controls/panels/gif_frames.h"
#include "controls/panels/markup_lexer.h"
#include "controls/panels/picture_decode.h"
#include "platform/open_entry.h"

namespace kv::panels {

namespace {

constexpr int kHimetricPerInch = 2540;

// a × b / c, rounded to the nearest integer.
int MulDiv(int a, int b, int c) {
  return c == 0 ? 0 : static_cast<int>(std::lround(double(a) * b / c));
}

// The whole stream, read into a buffer that doubles as it fills, so that a source without a size
// (a device, a pipe, a file that grows while it is read) stops at the limit too. Throws
// EPictureError beyond it.
QByteArray ReadWhole(QIODevice *stream) {
  if (!stream->isSequential()) stream->seek(0);
  QByteArray bytes;
  qsizetype used = 0;
  while (true) {
    if (used == bytes.size())
      bytes.resize(std::min<qsizetype>(kMaxPictureFileBytes + 1, std::max<qsizetype>(64 * 1024, 2 * used)));
    const qint64 n = stream->read(bytes.data() + used, bytes.size() - used);
    if (n <= 0) break;
    used += n;
    if (used > kMaxPictureFileBytes) throw EPictureError(kNoImageMemoryText);
  }
  bytes.resize(used);
  bytes.squeeze();
  return bytes;
}

// Opens a picture file for reading. A FIFO, a device or a socket could hold the paint that asked
// for the picture forever (in the open itself, or in reads from a writer that trickles), so
// anything but a regular file is refused; the open itself never waits. The program's own
// pictures (":/...") are no files and open as they are.
bool OpenPictureFile(QFile &file, const QString &path) {
  if (path.startsWith(u':')) {
    file.setFileName(path);
    return file.open(QIODevice::ReadOnly);
  }
  const int fd = kv::platform::OpenRegularFile(QFile::encodeName(path).toStdString());
  if (fd < 0) return false;
  if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) return true;
  ::close(fd);
  return false;
}

std::string_view View(const QByteArray &bytes) {
  return {bytes.constData(), size_t(bytes.size())};
}

} // namespace

// ---- TStreamPicture

int TStreamPicture::GetWidth() const {
  return image_.isNull() ? 0 : MulDiv(himetric_width_, PixelsPerInch, kHimetricPerInch);
}

int TStreamPicture::GetHeight() const {
  return image_.isNull() ? 0 : MulDiv(himetric_height_, PixelsPerInch, kHimetricPerInch);
}

void TStreamPicture::Clear() {
  data_.clear();
  image_ = QImage();
  himetric_width_ = himetric_height_ = 0;
  empty_ = true;
}

void TStreamPicture::Decode() {
  try {
    image_ = Decoded(DecodePicture(DecodedBytes()));
    himetric_width_ = MulDiv(image_.width(), kHimetricPerInch, PixelsPerInch);
    himetric_height_ = MulDiv(image_.height(), kHimetricPerInch, PixelsPerInch);
    empty_ = false;
  } catch (...) {
    Clear();
    throw;
  }
}

void TStreamPicture::SetData(const QByteArray &Bytes) {
  data_ = Bytes;
  Decode();
}

void TStreamPicture::LoadFromBytes(const QByteArray &Bytes) {
  SetData(Bytes);
  Changed();
}

void TStreamPicture::LoadFromStream(QIODevice *Stream) {
  if (!Stream) return;
  LoadFromBytes(ReadWhole(Stream));
}

void TStreamPicture::ReadData(QIODevice *Stream) {
  if (Stream) SetData(ReadWhole(Stream));
}

void TStreamPicture::SaveToStream(QIODevice *Stream) const {
  if (Stream) Stream->write(data_);
}

void TStreamPicture::LoadFromFile(const QString &FileName) {
  try {
    QFile file;
    if (!OpenPictureFile(file, FileName)) throw EPictureError(kNoImageText);
    if (file.size() > kMaxPictureFileBytes) throw EPictureError(kNoImageMemoryText);
    LoadFromBytes(ReadWhole(&file));
  } catch (...) {
    Clear(); // whatever went wrong, the picture is empty and the caller goes on
  }
}

void TStreamPicture::DrawStretched(kv::ui::TCanvas &Canvas, const kv::ui::TRect &Rect) const {
  if (empty_ || image_.isNull()) return;
  Canvas.DrawImage(Rect, image_, kv::ui::Bounds(0, 0, image_.width(), image_.height()));
}

void TStreamPicture::DrawNatural(kv::ui::TCanvas &Canvas, const kv::ui::TRect &Rect) const {
  if (empty_ || image_.isNull()) return;
  const int dpi = Canvas.PixelsPerInch();
  Canvas.DrawImage(kv::ui::Bounds(Rect.Left, Rect.Top, MulDiv(himetric_width_, dpi, kHimetricPerInch),
                                  MulDiv(himetric_height_, dpi, kHimetricPerInch)),
                   image_, kv::ui::Bounds(0, 0, image_.width(), image_.height()));
}

// ---- TExImage

void TExImage::Assign(const TGraphic *Source) {
  if (Source == this) return;
  Clear();
  if (!Source) {
    Changed();
  } else if (auto *image = dynamic_cast<const TExImage *>(Source)) {
    // An empty picture copies as empty; there are no bytes to decode.
    if (!image->data_.isEmpty()) SetData(image->data_);
    Changed();
  }
}

// ---- TDownLoadThread

TDownLoadThread::TDownLoadThread(THTMLPicture *Picture) : picture_(Picture), thread_([] {}) {}

TDownLoadThread::~TDownLoadThread() {
  if (thread_.joinable()) thread_.join();
}

// ---- THTMLPicture

THTMLPicture::~THTMLPicture() = default;

void THTMLPicture::Assign(const TGraphic *Source) {
  if (Source == this) return;
  Clear();
  frame_count_ = -1;
  SetFrame(1);
  if (auto *picture = dynamic_cast<const THTMLPicture *>(Source)) {
    SetData(picture->data_);
    Changed();
  }
}

void THTMLPicture::Draw(kv::ui::TCanvas &Canvas, const kv::ui::TRect &Rect) const {
  if (stretch_)
    DrawStretched(Canvas, Rect);
  else
    DrawNatural(Canvas, Rect);
}

void THTMLPicture::SetFrame(int Value) {
  frame_ = Value;
  if (data_.isEmpty()) return;
  Decode();
  if (OnFrameChange) OnFrameChange(this);
}

bool THTMLPicture::IsGIF() const {
  return IsGifData(View(data_));
}

int THTMLPicture::FrameCount() const {
  if (!IsGIF()) return -1;
  if (frame_count_ < 0) frame_count_ = static_cast<int>(WalkGifFrames(View(data_)).Frames.size());
  return frame_count_;
}

int THTMLPicture::AnimationWidth() const {
  if (image_.isNull()) return 0;
  return animation_width_ ? animation_width_ : GetWidth();
}

int THTMLPicture::AnimationHeight() const {
  if (image_.isNull()) return 0;
  return animation_height_ ? animation_height_ : GetHeight();
}

QByteArray THTMLPicture::DecodedBytes() {
  frame_left_ = frame_top_ = frame_width_ = frame_height_ = 0;
  animation_width_ = animation_height_ = 0;
  frame_count_ = -1;
  if (!IsGIF()) return data_;
  const TGifLayout layout = WalkGifFrames(View(data_));
  frame_count_ = static_cast<int>(layout.Frames.size());
  if (frame_count_ == 0) return data_;
  animation_width_ = layout.ScreenWidth;
  animation_height_ = layout.ScreenHeight;
  const TGifFrame &chosen = layout.Frames[std::clamp(frame_, 1, frame_count_) - 1];
  frame_left_ = chosen.Left;
  frame_top_ = chosen.Top;
  frame_width_ = chosen.Width;
  frame_height_ = chosen.Height;
  return QByteArray::fromStdString(SelectGifFrame(View(data_), layout, frame_));
}

// Qt paints a GIF frame onto the logical screen; the picture is the frame alone, which the
// renderer places at the frame's position itself.
QImage THTMLPicture::Decoded(QImage image) {
  if (frame_count_ <= 0 || image.size() != QSize(animation_width_, animation_height_)) return image;
  const QRect frame = QRect(frame_left_, frame_top_, frame_width_, frame_height_).intersected(image.rect());
  if (frame.isEmpty() || frame == image.rect()) return image;
  return image.copy(frame);
}

void THTMLPicture::LoadFromResource(const QString &Instance, const QString &Name) {
  const QDir folder(Instance.isEmpty() ? QString::fromLatin1(kProgramResources) : Instance);
  const QString wanted = AsciiUpper(Name);
  const QStringList entries = folder.entryList(QDir::Files, QDir::Name);
  for (const QString &entry : entries) {
    if (AsciiUpper(entry) != wanted && AsciiUpper(QFileInfo(entry).completeBaseName()) != wanted) continue;
    QFile file;
    if (OpenPictureFile(file, folder.filePath(entry))) LoadFromStream(&file);
    return;
  }
}

QString PictureIdentity(const QString &Address) {
  const QString upper = AsciiUpper(Address);
  return upper.startsWith(u"FILE://") ? upper.left(7) + Address.mid(7) : upper;
}

void THTMLPicture::AssignAddress(const QString &Address) {
  const QString identity = PictureIdentity(Address);
  const bool resource = identity.startsWith(u"RES://"), file = identity.startsWith(u"FILE://");
  if (resource || file || !asynchronous_) identity_ = identity; // a download leaves it unset
  if (resource) {
    if (Address.size() > 6) LoadFromResource(module_instance_, Address.mid(6));
  } else if (file) {
    if (Address.size() > 7) LoadFromFile(Address.mid(7));
  } else if (!asynchronous_) {
    download_address_ = identity;
  } else if (!busy_) {
    download_address_ = identity;
    busy_ = true;
    download_ = std::make_unique<TDownLoadThread>(this);
  }
}

} // namespace kv::panels
