#include "log/program_info.h"

#include <array>
#include <climits>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "platform/version.h"

namespace kv::logging {

ProgramInfo CurrentProgramInfo() {
  ProgramInfo info;
  char buf[PATH_MAX + 1];
  ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
  if (n > 0) info.FilePath.assign(buf, static_cast<size_t>(n));
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  const std::string cmdline = all.str();
  size_t pos = cmdline.find('\0'); // skip the program name
  while (pos != std::string::npos && pos + 1 < cmdline.size()) {
    size_t end = cmdline.find('\0', pos + 1);
    info.Params.push_back(
        cmdline.substr(pos + 1, end == std::string::npos ? std::string::npos : end - pos - 1));
    pos = end;
  }
  return info;
}

std::string DirectoryOf(const std::string &file_path) {
  size_t slash = file_path.rfind('/');
  return slash == std::string::npos ? std::string() : file_path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string &file_path) {
  size_t slash = file_path.rfind('/');
  return slash == std::string::npos ? file_path : file_path.substr(slash + 1);
}

std::string BaseNameOf(const std::string &file_path) {
  std::string name = FileNameOf(file_path);
  size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string GetVersionText(const std::string &file_path) {
  std::array<uint16_t, 4> v{};
  switch (platform::ReadFileVersion(file_path, v)) {
  case platform::VersionRead::Found:
    return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
           std::to_string(v[3]);
  case platform::VersionRead::NoRecord:
    return "0.0.0.0";
  case platform::VersionRead::Failed:
    break;
  }
  return "-1.0.0.0";
}

} // namespace kv::logging
