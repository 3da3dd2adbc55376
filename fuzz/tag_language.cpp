// The logger's tag language: any text, and any list of texts, expands without failing, and
// no tag makes more than a bounded piece of output.
#include "fake_sysinfo.h"
#include "harness.h"
#include "log/parser.h"
#include "log/text_util.h"

using namespace kv::logging;

namespace {

TFastLogParser &Parser() {
  static kvtest::FakeSystemInfo info;
  static TFastLogParser *parser = [] {
    auto *p = new TFastLogParser(&info);
    p->SetProgramInfo({"/opt/korvane/korvan", {"/a", "second"}});
    return p;
  }();
  return *parser;
}

size_t Bytes(const Lines &lines) {
  size_t n = 0;
  for (const auto &l : lines)
    n += l.size() + 2;
  return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string text = kvfuzz::Text(data, size);
  size_t tags = 0;
  for (char c : text)
    tags += c == '{';
  // Each tag may bring one layout or one report; everything else is the text itself, quoted at
  // most twice (a tag's name in its marker, a text in the parser's marker).
  const size_t bound = 4096 + 3 * size + tags * (static_cast<size_t>(kMaxLayoutBytes) + 4096);
  if (Bytes(Parser().ParseText(text)) > bound) kvfuzz::Broken("a text expanded past its bound");
  std::vector<std::string> list;
  size_t start = 0;
  for (size_t p = text.find('\n'); p != std::string::npos; p = text.find('\n', start)) {
    list.push_back(text.substr(start, p - start));
    start = p + 1;
  }
  list.push_back(text.substr(start));
  if (Bytes(Parser().ParseStrings(list)) > bound + 4 * list.size())
    kvfuzz::Broken("a list expanded past its bound");
  return 0;
}
