#include "platform/version.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

#include "platform/open_entry.h"

namespace kv::platform {

namespace {

// Finds the first record of `size` bytes that starts with the signature whose bytes are the
// complement of `inverted`, and copies it to `record`. The signature is built at run time, so
// this program's own image holds only its complement.
VersionRead FindRecord(const std::string &path, const volatile unsigned char (&inverted)[8], void *record,
                       size_t size) {
  unsigned char signature[8];
  for (int i = 0; i < 8; ++i)
    signature[i] = static_cast<unsigned char>(~inverted[i]);

  // Only a program file is searched: a device or a pipe could be read for ever.
  const int fd = OpenRegularFile(path);
  if (fd < 0) return VersionRead::Failed;
  constexpr size_t kChunk = kVersionScanChunk;
  std::vector<unsigned char> buf(kChunk + size);
  size_t kept = 0; // bytes carried over from the previous chunk
  VersionRead result = VersionRead::NoRecord;
  while (true) {
    ssize_t n = read(fd, buf.data() + kept, kChunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      result = VersionRead::Failed;
      break;
    }
    size_t have = kept + static_cast<size_t>(n);
    for (size_t i = 0; i + size <= have; ++i) {
      // memchr skips the bytes that cannot start the signature far faster than a loop.
      const void *hit = std::memchr(&buf[i], signature[0], have - size + 1 - i);
      if (!hit) break;
      i = static_cast<size_t>(static_cast<const unsigned char *>(hit) - buf.data());
      if (std::memcmp(&buf[i], signature, sizeof signature) != 0) continue;
      std::memcpy(record, &buf[i], size);
      close(fd);
      return VersionRead::Found;
    }
    if (n == 0) break;
    kept = have < size - 1 ? have : size - 1;
    std::memmove(buf.data(), buf.data() + have - kept, kept);
  }
  close(fd);
  return result;
}

} // namespace

VersionRead ReadFileVersion(const std::string &path, std::array<uint16_t, 4> &numbers) {
  // Kept complemented (and volatile, so the compiler cannot fold it back).
  static const volatile unsigned char kInverted[8] = {0x42, 0xFB, 0x10, 0x01, 0xB4, 0xA9, 0xB9, 0xB6};
  FixedVersionRecord rec;
  const VersionRead result = FindRecord(path, kInverted, &rec, sizeof rec);
  if (result == VersionRead::Found)
    for (int k = 0; k < 4; ++k)
      numbers[k] = rec.Numbers[k];
  return result;
}

VersionRead ReadFileDescription(const std::string &path, std::string &text) {
  static const volatile unsigned char kInverted[8] = {0x42, 0xFB, 0x10, 0x01, 0xB4, 0xA9, 0xB9, 0xBB};
  VersionDescriptionRecord rec;
  const VersionRead result = FindRecord(path, kInverted, &rec, sizeof rec);
  if (result == VersionRead::Found) text.assign(rec.Text, strnlen(rec.Text, sizeof rec.Text));
  return result;
}

} // namespace kv::platform
