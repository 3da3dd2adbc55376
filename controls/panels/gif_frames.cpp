#include "controls/panels/gif_frames.h"

#include <algorithm>

namespace kv::panels {

namespace {

constexpr uint8_t kExtension = 0x21;
constexpr uint8_t kImage = 0x2C;
constexpr uint8_t kGraphicControl = 0xF9;
constexpr size_t kHeaderSize = 13;     // signature, version, logical screen descriptor
constexpr size_t kDescriptorSize = 10; // separator, left, top, width, height, flags

uint8_t At(std::string_view d, size_t i) {
  return static_cast<uint8_t>(d[i]);
}
uint16_t Word(std::string_view d, size_t i) {
  return uint16_t(At(d, i) | At(d, i + 1) << 8);
}
size_t ColorTableSize(uint8_t flags) {
  return flags & 0x80 ? 3u << ((flags & 7) + 1) : 0;
}

// Skips data sub-blocks from `p`; the offset after their terminator, or 0 when the data ends first.
size_t SkipSubBlocks(std::string_view d, size_t p) {
  while (p < d.size()) {
    const size_t n = At(d, p);
    if (n == 0) return p + 1;
    p += 1 + n;
  }
  return 0;
}

} // namespace

bool IsGifData(std::string_view data) {
  return data.size() >= 5 && data.substr(0, 4) == "GIF8";
}

TGifLayout WalkGifFrames(std::string_view d) {
  TGifLayout layout;
  if (!IsGifData(d) || d.size() < kHeaderSize) return layout;
  layout.ScreenWidth = Word(d, 6);
  layout.ScreenHeight = Word(d, 8);
  size_t p = kHeaderSize + ColorTableSize(At(d, 10));
  while (p < d.size()) {
    const uint8_t block = At(d, p);
    if (block == kExtension) {
      if (p + 2 >= d.size()) break;
      const size_t next = SkipSubBlocks(d, p + 2);
      if (next == 0) break;
      // A graphic control extension of one 4-byte block, right before an image descriptor.
      const bool control = At(d, p + 1) == kGraphicControl && next == p + 8;
      if (control && next + kDescriptorSize <= d.size() && At(d, next) == kImage) {
        layout.Frames.push_back(
            {p, Word(d, next + 1), Word(d, next + 3), Word(d, next + 5), Word(d, next + 7)});
      }
      p = next;
    } else if (block == kImage) {
      if (p + kDescriptorSize >= d.size()) break;
      const size_t data = p + kDescriptorSize + ColorTableSize(At(d, p + 9)) + 1; // after the LZW code size
      if (data > d.size()) break;
      const size_t next = SkipSubBlocks(d, data);
      if (next == 0) break;
      p = next;
    } else {
      break; // the trailer, or bytes that are no block
    }
  }
  return layout;
}

std::string SelectGifFrame(std::string_view data, const TGifLayout &layout, int frame) {
  const int count = static_cast<int>(layout.Frames.size());
  if (count == 0 || frame <= 1) return std::string(data);
  const size_t chosen = layout.Frames[std::min(frame, count) - 1].Start;
  std::string out(data.substr(0, layout.Frames.front().Start));
  out.append(data.substr(chosen));
  return out;
}

} // namespace kv::panels
