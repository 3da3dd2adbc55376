// The GIF frame walker from outside: any bytes, truncated or not. Properties: frames start in
// order inside the data, each with a whole image descriptor after its control block, and a
// chosen frame's bytes are the head and a tail of the input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "controls/panels/gif_frames.h"
#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace kv::panels;
  const std::string bytes = kvfuzz::Text(data, size);
  const TGifLayout layout = WalkGifFrames(bytes);
  if (!IsGifData(bytes) && !layout.Frames.empty()) kvfuzz::Broken("frames in data that is no GIF");
  size_t last = 0;
  for (const TGifFrame &frame : layout.Frames) {
    if (frame.Start < last || frame.Start + 18 > size) kvfuzz::Broken("frame start out of order or range");
    if (bytes[frame.Start] != '\x21' || bytes[frame.Start + 8] != '\x2C') kvfuzz::Broken("not a frame start");
    last = frame.Start + 1;
  }
  const int count = static_cast<int>(layout.Frames.size());
  for (int frame = 0; frame <= count + 1; ++frame) {
    const std::string chosen = SelectGifFrame(bytes, layout, frame);
    if (chosen.size() > size) kvfuzz::Broken("selection longer than the data");
    if (count > 0 &&
        chosen.compare(0, layout.Frames.front().Start, bytes, 0, layout.Frames.front().Start) != 0)
      kvfuzz::Broken("selection lost the head");
  }
  return 0;
}
