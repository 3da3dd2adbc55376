// pppd's output as the dialler reads it. The input's first byte sets the size of the pieces the
// rest arrives in; the lines must be the same as when it arrives at once, and each line's state
// must not depend on how many blanks or tabs stand between its words.
#include "harness.h"
#include "net/ras_pppd.h"

using kv::net::TPppdOutputLines;
using kv::net::TPppdRasBackend;

namespace {

std::vector<std::string> Cut(std::string_view output, size_t piece) {
  std::vector<std::string> lines;
  TPppdOutputLines cutter;
  const auto keep = [&](std::string_view line) { lines.emplace_back(line); };
  for (size_t at = 0; at < output.size(); at += piece)
    cutter.Feed(output.substr(at, piece), keep);
  cutter.Finish(keep);
  return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  const std::string_view output(reinterpret_cast<const char *>(data) + 1, size - 1);
  const std::vector<std::string> lines = Cut(output, output.size() + 1);
  if (Cut(output, data[0] + 1u) != lines) kvfuzz::Broken("the lines depend on how the output arrives");
  for (const std::string &line : lines) {
    if (line.size() > TPppdOutputLines::MaxLine || line.find('\n') != std::string::npos)
      kvfuzz::Broken("a line too long or with a line end in it");
    std::string spread;
    for (char c : line)
      spread += c == ' ' || c == '\t' ? std::string(" \t ") : std::string(1, c);
    if (TPppdRasBackend::StateOfLine(spread) != TPppdRasBackend::StateOfLine(line))
      kvfuzz::Broken("the state depends on the blanks between words");
  }
  return 0;
}
