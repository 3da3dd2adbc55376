#pragma once
// Decoding a picture file's bytes (BMP, ICO, GIF, PNG, JPEG and what else Qt reads) into an
// image, with limits on the input and on the decoded size, so that untrusted files can neither
// exhaust memory nor end the process. JPEG goes through libjpeg with an error handler that
// returns to the caller.

#include <QByteArray>
#include <QImage>
#include <stdexcept>

namespace kv::panels {

// The texts of decoding failures.
inline constexpr const char *kNoImageMemoryText = "Could not allocate memory for image";
inline constexpr const char *kEmptyImageStreamText = "Empty image stream created";
inline constexpr const char *kInvalidImageText = "Could not load image. Invalid format";
inline constexpr const char *kNoImageText = "Could not load image";

// A failed decode; what() is one of the texts above.
class EPictureError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

inline constexpr qint64 kMaxPictureFileBytes = 64 << 20; // larger files are refused unread
inline constexpr int kPictureAllocationLimitMB = 128;    // decoded image, 4 bytes a pixel

// Decodes `bytes`; throws EPictureError on failure (never returns a null image).
QImage DecodePicture(const QByteArray &bytes);

// JPEG alone, through libjpeg; a null image when the data is no decodable JPEG.
QImage DecodeJpeg(const QByteArray &bytes);

} // namespace kv::panels
