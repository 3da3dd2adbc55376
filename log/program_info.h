#pragma once
// What the log tells about the running program: its file, its parameters and its version.

#include <string>
#include <vector>

namespace kv::logging {

struct ProgramInfo {
  std::string FilePath;            // full path of the program file
  std::vector<std::string> Params; // command-line parameters without the program name
};

// This process: /proc/self/exe and /proc/self/cmdline.
ProgramInfo CurrentProgramInfo();

// Directory of `file_path` with its trailing "/".
std::string DirectoryOf(const std::string &file_path);
// File name without the directory.
std::string FileNameOf(const std::string &file_path);
// File name without directory and extension.
std::string BaseNameOf(const std::string &file_path);

// "a.b.c.d" from the version record of the program file; "0.0.0.0" when it has none and
// "-1.0.0.0" when it cannot be read.
std::string GetVersionText(const std::string &file_path);

} // namespace kv::logging
