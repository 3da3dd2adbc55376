#include "controls/panels/picture_decode.h"

#include <QBuffer>
#include <QImageReader>
#include <algorithm>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <jpeglib.h>
#include <vector>

namespace kv::panels {

namespace {

constexpr qint64 kMaxDecodedBytes = qint64(kPictureAllocationLimitMB) << 20;

struct JpegErrorManager {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
};

// libjpeg's own handler ends the process; this one returns to the decoder's setjmp.
[[noreturn]] void JpegFail(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegErrorManager *>(info->err)->Jump, 1);
}
void JpegQuiet(j_common_ptr) {}
void JpegQuietLevel(j_common_ptr, int) {}

// Decodes into `pixels` (0xffRRGGBB in memory order BGRX). No object with a destructor lives in
// this frame, so a jump back from the error handler leaves nothing behind; `pixels` belongs to
// the caller and is only resized before the first scanline.
bool DecodeJpegPixels(const unsigned char *data, unsigned long size, std::vector<uint32_t> &pixels,
                      int &width, int &height) {
  jpeg_decompress_struct info;
  JpegErrorManager errors;
  info.err = jpeg_std_error(&errors.Manager);
  errors.Manager.error_exit = JpegFail;
  errors.Manager.output_message = JpegQuiet;
  errors.Manager.emit_message = JpegQuietLevel;
  if (setjmp(errors.Jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, size);
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
  jpeg_calc_output_dimensions(&info);
  const qint64 count = qint64(info.output_width) * info.output_height;
  if (count == 0 || count * 4 > kMaxDecodedBytes) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  width = static_cast<int>(info.output_width);
  height = static_cast<int>(info.output_height);
  pixels.assign(static_cast<size_t>(count), 0);
  jpeg_start_decompress(&info);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = reinterpret_cast<JSAMPROW>(&pixels[size_t(info.output_scanline) * size_t(width)]);
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  if (cmyk) {
    // Four bytes C, M, Y, K as Adobe writes them (inverted): each channel times K.
    for (uint32_t &p : pixels) {
      const unsigned char *b = reinterpret_cast<const unsigned char *>(&p);
      const uint32_t k = b[3];
      p = 0xFF000000u | (b[0] * k / 255) << 16 | (b[1] * k / 255) << 8 | (b[2] * k / 255);
    }
  }
  return true;
}

bool IsJpeg(const QByteArray &bytes) {
  return bytes.size() >= 3 && uchar(bytes[0]) == 0xFF && uchar(bytes[1]) == 0xD8 && uchar(bytes[2]) == 0xFF;
}

} // namespace

QImage DecodeJpeg(const QByteArray &bytes) {
  std::vector<uint32_t> pixels;
  int width = 0, height = 0;
  if (!DecodeJpegPixels(reinterpret_cast<const unsigned char *>(bytes.constData()),
                        static_cast<unsigned long>(bytes.size()), pixels, width, height))
    return {};
  QImage image(width, height, QImage::Format_RGB32);
  if (image.isNull()) return {};
  for (int y = 0; y < height; ++y)
    std::copy_n(&pixels[size_t(y) * size_t(width)], width, reinterpret_cast<uint32_t *>(image.scanLine(y)));
  return image;
}

QImage DecodePicture(const QByteArray &bytes) {
  if (bytes.isEmpty()) throw EPictureError(kEmptyImageStreamText);
  if (bytes.size() > kMaxPictureFileBytes) throw EPictureError(kNoImageMemoryText);
  if (IsJpeg(bytes)) {
    QImage image = DecodeJpeg(bytes);
    if (image.isNull()) throw EPictureError(kInvalidImageText);
    return image;
  }
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setDecideFormatFromContent(true);
  reader.setAllocationLimit(kPictureAllocationLimitMB);
  if (!reader.canRead()) throw EPictureError(kInvalidImageText);
  const QSize size = reader.size();
  if (size.isValid() && qint64(size.width()) * size.height() * 4 > kMaxDecodedBytes)
    throw EPictureError(kNoImageMemoryText);
  QImage image = reader.read();
  if (image.isNull()) {
    const bool invalid = reader.error() == QImageReader::InvalidDataError ||
                         reader.error() == QImageReader::UnsupportedFormatError;
    throw EPictureError(invalid ? kInvalidImageText : kNoImageText);
  }
  return image;
}

} // namespace kv::panels
