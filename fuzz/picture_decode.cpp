// Picture files named in mark-up, from outside: any bytes through the bounded read and the
// decoders (Qt's readers with their allocation limit, libjpeg for JPEG), then every frame of a
// GIF. Properties: a load either fails with one of the decoding texts and leaves the picture
// empty, or keeps the bytes as read and gives a picture within the decoded-size limit.
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "controls/panels/picture.h"
#include "controls/panels/picture_decode.h"
#include "harness.h"

namespace {

void Check(const kv::panels::THTMLPicture &picture, const kv::panels::EPictureError *failure) {
  using namespace kv::panels;
  if (failure) {
    const char *text = failure->what();
    if (std::strcmp(text, kNoImageMemoryText) != 0 && std::strcmp(text, kEmptyImageStreamText) != 0 &&
        std::strcmp(text, kInvalidImageText) != 0 && std::strcmp(text, kNoImageText) != 0)
      kvfuzz::Broken("a decoding failure with another text");
    if (!picture.Empty() || !picture.Image().isNull() || picture.Width() != 0)
      kvfuzz::Broken("a failed load kept a picture");
    return;
  }
  const QImage &image = picture.Image();
  if (picture.Empty() || image.isNull()) kvfuzz::Broken("a load that worked left no picture");
  if (qint64(image.width()) * image.height() * 4 > qint64(kPictureAllocationLimitMB) << 20)
    kvfuzz::Broken("a picture beyond the decoded-size limit");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace kv::panels;
  static const bool quiet =
      (qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {}), true);
  (void)quiet;
  QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
  QBuffer stream(&bytes);
  stream.open(QIODevice::ReadOnly);
  THTMLPicture picture;
  try {
    picture.LoadFromStream(&stream);
  } catch (const EPictureError &e) {
    Check(picture, &e);
    return 0;
  }
  Check(picture, nullptr);
  if (picture.Data() != bytes) kvfuzz::Broken("the bytes kept are not the bytes read");
  const int frames = picture.FrameCount();
  for (int frame = 2; frame <= frames + 1 && frame <= 8; ++frame) {
    try {
      picture.SetFrame(frame);
      Check(picture, nullptr);
    } catch (const EPictureError &e) {
      Check(picture, &e);
      break;
    }
  }
  return 0;
}
