#pragma once
// The frames of an animated GIF, found by walking its block structure with every length checked
// against the end of the data: a frame is a graphic control extension followed directly by an
// image descriptor. Nothing here reads past the data, and bytes inside image data or extension
// blocks are never taken for a frame start.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv::panels {

struct TGifFrame {
  size_t Start = 0; // offset of the frame's graphic control extension
  uint16_t Left = 0, Top = 0, Width = 0, Height = 0;
};

struct TGifLayout {
  uint16_t ScreenWidth = 0, ScreenHeight = 0; // the logical screen
  std::vector<TGifFrame> Frames;
};

// At least five bytes, the first four "GIF8".
bool IsGifData(std::string_view data);

// The logical screen and the frames, as far as the data holds whole blocks.
TGifLayout WalkGifFrames(std::string_view data);

// The bytes that show frame `frame` (1-based, clamped to the frames there are) when decoded:
// everything before the first frame, then the chosen frame and all after it.
std::string SelectGifFrame(std::string_view data, const TGifLayout &layout, int frame);

} // namespace kv::panels
