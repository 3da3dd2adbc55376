// kvnsched's edit of the user's crontab, which may hold anything: every line of the user's own
// stays, in its place, and kvnsched's line is there once, at the end; taking it back leaves the
// user's lines alone. The input's first line names the program folder, the rest is the crontab.
#include <algorithm>
#include <vector>

#include "cfgtool/scheduler.h"
#include "harness.h"

namespace {

// The lines of `text` as cron reads them: a last line without its line end counts too.
std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t eol = std::min(text.find('\n', at), text.size());
    lines.push_back(text.substr(at, eol - at));
    at = eol + 1;
  }
  return lines;
}

bool Ours(const std::string &line) {
  const std::string marker = kv::cfgtool::kCronMarker;
  return line.size() >= marker.size() &&
         line.compare(line.size() - marker.size(), marker.size(), marker) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string input = kvfuzz::Text(data, size);
  const size_t eol = std::min(input.find('\n'), input.size());
  std::string folder = input.substr(0, eol);
  const std::string crontab = input.substr(std::min(eol + 1, input.size()));
  // A folder holds no NUL, and kvnsched refuses one with a line break.
  std::erase_if(folder, [](char c) { return c == '\0' || c == '\r'; });
  const std::string line = kv::cfgtool::CronLine("/" + folder + "/korvan");
  if (Lines(line) != std::vector<std::string>{line} || !Ours(line)) kvfuzz::Broken("not one line of ours");

  std::vector<std::string> users = Lines(crontab);
  std::erase_if(users, Ours);
  std::vector<std::string> expected = users;
  expected.push_back(line);
  const std::string edited = kv::cfgtool::WithCronLine(crontab, line);
  if (Lines(edited) != expected)
    kvfuzz::Broken("a line of the user's lost, moved or changed, or ours not once");
  if (edited.empty() || edited.back() != '\n') kvfuzz::Broken("the last line has no line end");
  if (Lines(kv::cfgtool::WithCronLine(edited, "")) != users)
    kvfuzz::Broken("taken back, the user's lines changed");
  return 0;
}
