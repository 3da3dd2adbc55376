#include "platform/version.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kv::platform {

VersionRead ReadFileVersion(const std::string &path, std::array<uint16_t, 4> &numbers) {
  // Kept complemented (and volatile, so the compiler cannot fold it back) so that the
  // pattern itself appears nowhere in this program's image.
  static const volatile unsigned char kInverted[8] = {0x42, 0xFB, 0x10, 0x01, 0xB4, 0xA9, 0xB9, 0xB6};
  unsigned char signature[8];
  for (int i = 0; i < 8; ++i)
    signature[i] = static_cast<unsigned char>(~kInverted[i]);

  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return VersionRead::Failed;
  // Only a program file is searched: a device or a pipe could be read for ever.
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return VersionRead::Failed;
  }
  constexpr size_t kRecord = sizeof(FixedVersionRecord);
  constexpr size_t kChunk = 1 << 20;
  std::vector<unsigned char> buf(kChunk + kRecord);
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
    for (size_t i = 0; i + kRecord <= have; ++i) {
      if (buf[i] != signature[0] || std::memcmp(&buf[i], signature, sizeof signature) != 0) continue;
      FixedVersionRecord rec;
      std::memcpy(&rec, &buf[i], kRecord);
      for (int k = 0; k < 4; ++k)
        numbers[k] = rec.Numbers[k];
      close(fd);
      return VersionRead::Found;
    }
    if (n == 0) break;
    kept = have < kRecord - 1 ? have : kRecord - 1;
    std::memmove(buf.data(), buf.data() + have - kept, kept);
  }
  close(fd);
  return result;
}

} // namespace kv::platform
