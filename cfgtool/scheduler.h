#pragma once
// kvnsched, the scheduler that "Ausführung planen" starts: it arranges for "<program
// directory>/korvan /a" to run every hour, with a systemd timer (the system's when run as root, the
// user's otherwise) or, where systemd is not running, refuses or runs no program by the folder's
// path (one with a quote, a backslash, a control character or bytes that are not clean UTF-8), with
// a line in the user's crontab. It can take the arrangement back again. Every outcome is told in
// German, with how to undo it.

#include <functional>
#include <string>
#include <vector>

namespace kv::cfgtool {

// What became of one command.
struct TRunResult {
  int Status = -1;    // exit status; -1 when the program could not be started or did not end
  std::string Output; // standard output and error together
};

// How the scheduler reaches the system; tests give their own.
struct TSchedulerHost {
  bool IsRoot = false;
  bool SystemdRunning = false; // the system was booted with systemd (/run/systemd/system)
  std::string SystemUnitDir = "/etc/systemd/system";
  std::string UserUnitDir; // ${XDG_CONFIG_HOME:-$HOME/.config}/systemd/user
  // Runs argv[0] (looked up in PATH, never through a shell) with `input` on standard input.
  std::function<TRunResult(const std::vector<std::string> &argv, const std::string &input)> Run;
};

// The host this process runs on.
TSchedulerHost SystemHost();

struct TScheduleReport {
  bool Succeeded = false;
  std::string Text; // German, for the user
  // The commands and paths in Text, which a display keeps whole on one line.
  std::vector<std::string> Commands;
};

inline constexpr const char *kTimerName = "korvane-auto.timer";
inline constexpr const char *kServiceName = "korvane-auto.service";
// Ends the crontab line that kvnsched writes; lines with it are kvnsched's own.
inline constexpr const char *kCronMarker = "# korvane-auto (kvnsched)";

// Arranges hourly runs of `programDirectory` + "korvan /a" (the directory ends in "/").
TScheduleReport Schedule(const TSchedulerHost &host, const std::string &programDirectory);
// Takes back what Schedule arranged, in systemd and in the crontab. Each file or line that
// stays is named in the report, which then does not count as succeeded.
TScheduleReport Unschedule(const TSchedulerHost &host);
// How kvnsched is called, for --help and for arguments it does not know.
std::string UsageText();

// The unit files' texts; `korvan` is the program's absolute path. The service's is "" for a path
// that SystemdExecutable refuses, so no unit runs a program without its path. A run may take at
// most kStartTimeout: one left waiting at a message box on a desktop is ended, so it cannot hold
// back the runs after it. The slowest run the settings allow (dialling, 121 warm-up queries and the
// query at a time-out of 120 s) takes about a quarter of an hour.
inline constexpr const char *kStartTimeout = "30min";
std::string ServiceUnitText(const std::string &korvan);
std::string TimerUnitText();
// `korvan` as the program of a unit's ExecStart: in double quotes, "%" doubled ("$" stays as it
// is: systemd neither expands it in a program's path nor undoes "$$" there). "" when systemd
// runs no such path: one with a quote, a backslash, a control character or not clean UTF-8.
std::string SystemdExecutable(const std::string &korvan);
// `text` as one word for a POSIX shell, so that a command the user copies works for any folder:
// as it is when it holds only letters, digits and "/._-+,:@", else in single quotes ("'" as '\'').
std::string ShellWord(const std::string &text);
// The crontab line for `korvan`: a shell word, "%" escaped for cron.
std::string CronLine(const std::string &korvan);
// `crontab` without kvnsched's lines; with `line` added at its end when it is not empty.
std::string WithCronLine(const std::string &crontab, const std::string &line);

} // namespace kv::cfgtool
