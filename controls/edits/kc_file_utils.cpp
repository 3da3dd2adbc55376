#include "controls/edits/kc_file_utils.h"

#include <filesystem>
#include <system_error>

#include "controls/edits/unit_starts.h"
#include "platform/version.h"

namespace kv::edits::KcFileUtils {

namespace {
UnitStarts g_starts;
} // namespace

std::string ModuleFileName() {
  // The whole path: a name cut at a fixed length would point at another file.
  std::error_code ec;
  auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : path.string();
}

std::optional<std::array<uint16_t, 4>> FixedFileVersion(const std::string &path) {
  std::array<uint16_t, 4> numbers{};
  if (platform::ReadFileVersion(path, numbers) != platform::VersionRead::Found) return std::nullopt;
  return numbers;
}

void Start() {
  g_starts.Enter();
}
void End() {
  g_starts.Leave();
}
int Starts() {
  return g_starts.Count();
}

} // namespace kv::edits::KcFileUtils
