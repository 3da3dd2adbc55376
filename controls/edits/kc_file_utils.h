#pragma once
// KcFileUtils: two file facts for KcSysInfo, the path of the running program and the fixed
// version record of a file. The unit has no start-up or end work; it only counts its starts.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kv::edits::KcFileUtils {

// Full path of the running program; empty when it cannot be read.
std::string ModuleFileName();
// The four version numbers of the file at `path`; nothing when the file cannot be read or
// carries no version record.
std::optional<std::array<uint16_t, 4>> FixedFileVersion(const std::string &path);

void Start();
void End();
int Starts();

} // namespace kv::edits::KcFileUtils
