#include "cfgtool/scheduler.h"

#include <QProcess>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <unistd.h>

namespace kv::cfgtool {

namespace fs = std::filesystem;

namespace {

const char *const kHeadline = "Korvane gleicht die Systemzeit jetzt stündlich im Automatik-Modus ab.\n\n";

TRunResult RunProcess(const std::vector<std::string> &argv, const std::string &input) {
  TRunResult result;
  QProcess p;
  p.setProcessChannelMode(QProcess::MergedChannels);
  QStringList args;
  for (size_t i = 1; i < argv.size(); ++i)
    args << QString::fromStdString(argv[i]);
  p.start(QString::fromStdString(argv[0]), args);
  if (!p.waitForStarted(10000)) return result;
  p.write(input.data(), static_cast<qint64>(input.size()));
  p.closeWriteChannel();
  if (!p.waitForFinished(60000)) {
    p.kill();
    p.waitForFinished(5000);
    return result;
  }
  result.Output = p.readAll().toStdString();
  if (p.exitStatus() == QProcess::NormalExit) result.Status = p.exitCode();
  return result;
}

std::string Trimmed(const std::string &text) {
  size_t a = text.find_first_not_of(" \t\r\n"), b = text.find_last_not_of(" \t\r\n");
  return a == std::string::npos ? std::string() : text.substr(a, b - a + 1);
}

// Notes a command or path that a report names, for the display to keep whole; returns it.
std::string Whole(std::vector<std::string> &commands, const std::string &text) {
  commands.push_back(text);
  return text;
}

// One command's failure for the report.
std::string Failure(const std::vector<std::string> &argv, const TRunResult &r,
                    std::vector<std::string> &commands) {
  std::string command;
  for (const std::string &a : argv)
    command += (command.empty() ? "" : " ") + ShellWord(a);
  std::string text = "„" + Whole(commands, command) + "“ ";
  text += r.Status < 0 ? "konnte nicht ausgeführt werden."
                       : "meldete den Fehler " + std::to_string(r.Status) + ".";
  const std::string out = Trimmed(r.Output);
  return out.empty() ? text : text + "\n" + out;
}

bool WriteText(const std::string &file, const std::string &text) {
  std::ofstream out(file, std::ios::trunc);
  out << text;
  out.close();
  return out.good();
}

std::vector<std::string> Systemctl(const TSchedulerHost &host, std::vector<std::string> args) {
  std::vector<std::string> argv{"systemctl"};
  if (!host.IsRoot) argv.push_back("--user");
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

std::string UnitDir(const TSchedulerHost &host) {
  return host.IsRoot ? host.SystemUnitDir : host.UserUnitDir;
}

std::string ManualSystemdUndo(const TSchedulerHost &host, std::vector<std::string> &commands) {
  return Whole(commands,
               std::string("systemctl ") + (host.IsRoot ? "" : "--user ") + "disable --now " + kTimerName) +
         ", dann die beiden Dateien löschen";
}

std::string Whose(const TSchedulerHost &host) {
  return host.IsRoot ? "von root" : "Ihres Benutzers";
}

std::string UserNotes(const TSchedulerHost &host, const std::string &korvan, bool timer,
                      std::vector<std::string> &commands) {
  if (host.IsRoot)
    return "korvan läuft als root und liest die Einstellungen von root (kvnadm als root bearbeitet sie).\n";
  std::string text;
  if (timer)
    text += "Der Timer läuft, solange Sie angemeldet sind; auch ohne Anmeldung nach „" +
            Whole(commands, "loginctl enable-linger") + "“.\n";
  text += "Die Systemzeit stellen darf korvan als Benutzer nur mit der Berechtigung dazu (" +
          Whole(commands, "sudo setcap cap_sys_time=ep " + ShellWord(korvan)) +
          "); sonst fragt es die Zeit nur ab und protokolliert sie.\n";
  return text;
}

// Arranges the systemd timer; false with the reason when systemd refuses or runs no program by
// the path of `korvan`.
bool ScheduleWithSystemd(const TSchedulerHost &host, const std::string &korvan, std::string &why,
                         std::vector<std::string> &commands) {
  const std::string unit = ServiceUnitText(korvan);
  if (unit.empty()) {
    why =
        "systemd startet kein Programm, dessen Pfad ein Anführungszeichen (\" oder '), einen Backslash (\\), "
        "ein Steuerzeichen (etwa einen Tabulator) oder Bytes enthält, die kein gültiges UTF-8 sind: „" +
        Whole(commands, korvan) + "“.";
    return false;
  }
  const std::string dir = UnitDir(host);
  std::error_code ec;
  fs::create_directories(dir, ec);
  const std::string service = dir + "/" + kServiceName, timer = dir + "/" + kTimerName;
  if (ec || !WriteText(service, unit) || !WriteText(timer, TimerUnitText())) {
    why = "Die Dateien in " + Whole(commands, dir) + " konnten nicht geschrieben werden.";
    fs::remove(service, ec);
    fs::remove(timer, ec);
    return false;
  }
  for (const auto &args :
       {std::vector<std::string>{"daemon-reload"}, std::vector<std::string>{"enable", "--now", kTimerName}}) {
    const auto argv = Systemctl(host, args);
    const TRunResult r = host.Run(argv, "");
    if (r.Status != 0) {
      why = Failure(argv, r, commands);
      fs::remove(service, ec);
      fs::remove(timer, ec);
      host.Run(Systemctl(host, {"daemon-reload"}), "");
      return false;
    }
  }
  return true;
}

// The current crontab; false with the reason when it cannot be read (`missing` when there is
// no crontab program). No crontab yet is an empty one.
bool ReadCrontab(const TSchedulerHost &host, std::string &crontab, std::string &why,
                 std::vector<std::string> &commands, bool *missing = nullptr) {
  const std::vector<std::string> argv{"crontab", "-l"};
  const TRunResult r = host.Run(argv, "");
  crontab.clear();
  if (missing) *missing = r.Status < 0;
  if (r.Status == 0) {
    crontab = r.Output;
    return true;
  }
  if (r.Status > 0 && r.Output.find("no crontab") != std::string::npos) return true;
  why = Failure(argv, r, commands);
  return false;
}

bool WriteCrontab(const TSchedulerHost &host, const std::string &crontab, std::string &why,
                  std::vector<std::string> &commands) {
  const std::vector<std::string> argv{"crontab", "-"};
  const TRunResult r = host.Run(argv, crontab);
  if (r.Status == 0) return true;
  why = Failure(argv, r, commands);
  return false;
}

// True when systemd runs a program by this path: no quote, backslash or control character, and
// clean UTF-8 (no overlong form, surrogate, noncharacter or code point beyond U+10FFFF).
bool SystemdTakesPath(const std::string &path) {
  static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000}; // by sequence length
  for (size_t i = 0; i < path.size();) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (c < 0x80) {
      if (c < 0x20 || c == 0x7f || c == '"' || c == '\'' || c == '\\') return false;
      ++i;
      continue;
    }
    const size_t n = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc0 ? 2 : 0;
    if (n == 0 || c > 0xf4 || i + n > path.size()) return false;
    char32_t cp = c & (0x7f >> n);
    for (size_t k = 1; k < n; ++k) {
      const auto f = static_cast<unsigned char>(path[i + k]);
      if ((f & 0xc0) != 0x80) return false;
      cp = cp << 6 | (f & 0x3f);
    }
    if (cp < kLeast[n] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff) || (cp >= 0xfdd0 && cp <= 0xfdef) ||
        (cp & 0xfffe) == 0xfffe)
      return false;
    i += n;
  }
  return true;
}

bool ValidDirectory(const std::string &dir) {
  return !dir.empty() && dir.front() == '/' && dir.back() == '/' &&
         dir.find_first_of("\n\r") == std::string::npos;
}

} // namespace

TSchedulerHost SystemHost() {
  TSchedulerHost host;
  host.IsRoot = ::geteuid() == 0;
  std::error_code ec;
  host.SystemdRunning = fs::is_directory("/run/systemd/system", ec);
  const char *config = std::getenv("XDG_CONFIG_HOME");
  const char *home = std::getenv("HOME");
  std::string base = config && *config ? config : std::string(home ? home : "") + "/.config";
  host.UserUnitDir = base + "/systemd/user";
  host.Run = RunProcess;
  return host;
}

std::string SystemdExecutable(const std::string &korvan) {
  if (!SystemdTakesPath(korvan)) return {};
  std::string out = "\"";
  for (char c : korvan) {
    if (c == '%') out += c; // "%%" stands for "%"
    out += c;
  }
  return out + "\"";
}

std::string ShellWord(const std::string &text) {
  const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("/._-+,:@").find(c) != std::string_view::npos;
  });
  if (plain) return text;
  std::string out = "'";
  for (char c : text)
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string ServiceUnitText(const std::string &korvan) {
  const std::string program = SystemdExecutable(korvan);
  if (program.empty()) return {};
  return "[Unit]\n"
         "Description=Korvane: Zeitabgleich im Automatik-Modus\n"
         "\n"
         "[Service]\n"
         "Type=oneshot\n"
         "ExecStart=" +
         program + " /a\nTimeoutStartSec=" + kStartTimeout + "\n";
}

std::string TimerUnitText() {
  return "[Unit]\n"
         "Description=Korvane: stündlicher Zeitabgleich\n"
         "\n"
         "[Timer]\n"
         "OnCalendar=hourly\n"
         "Persistent=true\n"
         "\n"
         "[Install]\n"
         "WantedBy=timers.target\n";
}

std::string CronLine(const std::string &korvan) {
  std::string word;
  for (char c : ShellWord(korvan)) {
    if (c == '%') word += '\\'; // cron turns a bare "%" into a line break
    word += c;
  }
  return "17 * * * * " + word + " /a " + kCronMarker;
}

std::string WithCronLine(const std::string &crontab, const std::string &line) {
  std::istringstream in(crontab);
  std::string out;
  const std::string marker = kCronMarker;
  for (std::string l; std::getline(in, l);) {
    if (l.size() >= marker.size() && l.compare(l.size() - marker.size(), marker.size(), marker) == 0)
      continue;
    out += l + "\n";
  }
  if (!line.empty()) out += line + "\n";
  return out;
}

TScheduleReport Schedule(const TSchedulerHost &host, const std::string &programDirectory) {
  TScheduleReport report;
  std::vector<std::string> &whole = report.Commands;
  if (!ValidDirectory(programDirectory)) {
    report.Text = "Der Programmordner „" + Whole(whole, programDirectory) +
                  "“ ist kein absoluter Pfad mit „/“ am Ende. Bitte starten Sie kvnsched aus dem "
                  "Konfigurationsprogramm kvnadm (Ausführung planen).";
    return report;
  }
  const std::string korvan = programDirectory + "korvan";
  if (::access(korvan.c_str(), X_OK) != 0) {
    report.Text =
        "Das Programm „" + Whole(whole, korvan) + "“ wurde nicht gefunden oder ist nicht ausführbar.";
    return report;
  }
  const std::string undo =
      "Rückgängig machen: " + Whole(whole, ShellWord(programDirectory + "kvnsched") + " --remove") + "\n";

  std::string systemdWhy;
  if (host.SystemdRunning) {
    if (ScheduleWithSystemd(host, korvan, systemdWhy, whole)) {
      const std::string dir = UnitDir(host);
      report.Succeeded = true;
      report.Text = kHeadline + std::string("Eingerichtet ist der systemd-Timer „") +
                    Whole(whole, kTimerName) + "“ " + Whose(host) + ":\n  " +
                    Whole(whole, dir + "/" + kTimerName) + "\n  " + Whole(whole, dir + "/" + kServiceName) +
                    "\nEr startet jede Stunde: " + Whole(whole, ShellWord(korvan) + " /a") + "\n" +
                    UserNotes(host, korvan, true, whole) + "\n" + undo +
                    "(oder von Hand: " + ManualSystemdUndo(host, whole) + ")";
      return report;
    }
  } else {
    systemdWhy = "systemd läuft auf diesem Rechner nicht.";
  }

  std::string crontab, why;
  const std::string line = CronLine(korvan);
  if (ReadCrontab(host, crontab, why, whole) && WriteCrontab(host, WithCronLine(crontab, line), why, whole)) {
    report.Succeeded = true;
    report.Text = kHeadline + std::string("Eingerichtet ist eine Zeile in der crontab ") + Whose(host) +
                  ":\n  " + Whole(whole, line) + "\n(Kein systemd-Timer: " + systemdWhy + ")\n" +
                  UserNotes(host, korvan, false, whole) + "\n" + undo +
                  "(oder von Hand: " + Whole(whole, "crontab -e") + ", dann die Zeile mit „" +
                  Whole(whole, kCronMarker) + "“ löschen)";
    return report;
  }
  report.Text = "Die Ausführung konnte nicht geplant werden.\n\nsystemd: " + systemdWhy + "\ncron: " + why;
  return report;
}

TScheduleReport Unschedule(const TSchedulerHost &host) {
  TScheduleReport report;
  std::vector<std::string> &whole = report.Commands;
  std::string done, failed;
  const std::string dir = UnitDir(host);
  const std::string service = dir + "/" + kServiceName, timer = dir + "/" + kTimerName;
  std::error_code ec;
  if (fs::exists(timer, ec) || fs::exists(service, ec)) {
    if (host.SystemdRunning) {
      const auto argv = Systemctl(host, {"disable", "--now", kTimerName});
      const TRunResult r = host.Run(argv, "");
      if (r.Status != 0) failed += Failure(argv, r, whole) + "\n";
    }
    // Each file on its own: one that stays is said, whatever became of the other.
    std::string kept;
    for (const std::string &file : {timer, service}) {
      std::error_code removeError;
      if (!fs::remove(file, removeError) && removeError)
        kept += "\n  " + Whole(whole, file) + " (" + removeError.message() + ")";
    }
    if (!kept.empty())
      failed += "Nicht gelöscht werden konnte:" + kept + "\n";
    else
      done += "Der systemd-Timer „" + Whole(whole, kTimerName) + "“ ist entfernt.\n";
    if (host.SystemdRunning) host.Run(Systemctl(host, {"daemon-reload"}), "");
  }
  std::string crontab, why;
  bool noCron = false;
  if (!ReadCrontab(host, crontab, why, whole, &noCron)) {
    if (!noCron) failed += why + "\n"; // without cron there is no line to take back
  } else if (WithCronLine(crontab, "") != crontab) {
    if (WriteCrontab(host, WithCronLine(crontab, ""), why, whole))
      done += "Die Zeile in der crontab ist entfernt.\n";
    else
      failed += why + "\n";
  }
  if (!failed.empty()) {
    report.Text = "Die geplante Ausführung konnte nicht ganz entfernt werden.\n\n" + done + failed;
  } else {
    report.Succeeded = true;
    report.Text = done.empty() ? "Es war keine Ausführung von Korvane geplant."
                               : "Korvane wird nicht mehr automatisch gestartet.\n\n" + done;
  }
  return report;
}

std::string UsageText() {
  return "Aufruf: kvnsched [PROGRAMMORDNER]\n"
         "       kvnsched --remove\n"
         "\n"
         "Plant den stündlichen Lauf von „PROGRAMMORDNER/korvan /a“ (mit einem systemd-Timer, sonst mit\n"
         "einer Zeile in der crontab); ohne Ordner gilt der Ordner, in dem kvnsched liegt.\n"
         "--remove nimmt die Planung zurück, --help zeigt diesen Text.";
}

} // namespace kv::cfgtool
