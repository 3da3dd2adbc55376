#pragma once
// Facts about this program, this user and this computer: the program's name and directory, the
// home and state directories and the computer name; making folders, and why that failed; and the
// program's lines on standard error.

#include <string>

namespace kv::platform {

// The directory of the running program (from /proc/self/exe) with a trailing "/". When the
// link cannot be read, the current directory's path with a trailing "/".
std::string ProgramDirectory();

// The name of the running program's file ("korvan", "kvnadm"; a test sees its own binary's).
const std::string &ProgramName();

// Writes the line "<ProgramName()>: <text>" to standard error and flushes it, so that every line
// a program writes there (a cron mail, the journal) says which program it came from.
void SayOnStandardError(const std::string &text);

// The user's home directory: HOME when it is set, otherwise (a system service started without
// User=, for example) the home of the real user in the user database. Empty when neither helps.
std::string HomeDirectory();

// The user's state directory: XDG_STATE_HOME when it holds an absolute path, otherwise
// HomeDirectory() + "/.local/state"; with a trailing "/". Empty when there is no home either.
std::string StateDirectory();

// Creates the folder `dir` and the missing folders above it (mkdir -p), each new one with mode
// 0700. Returns 0 when `dir` is there afterwards, else the errno value of the failure.
int MakeDirectories(const std::string &dir);

// A short German text for the user of why a file operation failed with the errno value `error`
// ("Zugriff verweigert"); the system's own text with the number for the rarer ones.
std::string ErrorTextGerman(int error);

// This computer's name as a short (NetBIOS-style) name: the host name up to its first "." and
// at most 15 characters. Empty when the host name cannot be read.
std::string ComputerName();

// The short form of a host name: up to the first "." and at most 15 characters.
std::string ShortComputerName(const std::string &host_name);

} // namespace kv::platform
