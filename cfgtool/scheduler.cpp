#include "cfgtool/scheduler.h"

#include <QProcess>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
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

// One command's failure for the report.
std::string Failure(const std::vector<std::string> &argv, const TRunResult &r) {
  std::string command;
  for (const std::string &a : argv)
    command += (command.empty() ? "" : " ") + a;
  std::string text = "„" + command + "“ ";
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

std::string ManualSystemdUndo(const TSchedulerHost &host) {
  return std::string("systemctl ") + (host.IsRoot ? "" : "--user ") + "disable --now " + kTimerName +
         ", dann die beiden Dateien löschen";
}

std::string Whose(const TSchedulerHost &host) {
  return host.IsRoot ? "von root" : "Ihres Benutzers";
}

std::string UserNotes(const TSchedulerHost &host, const std::string &korvan, bool timer) {
  if (host.IsRoot)
    return "korvan läuft als root und liest die Einstellungen von root (kvnadm als root bearbeitet sie).\n";
  std::string text;
  if (timer)
    text +=
        "Der Timer läuft, solange Sie angemeldet sind; auch ohne Anmeldung nach „loginctl enable-linger“.\n";
  text += "Die Systemzeit stellen darf korvan als Benutzer nur mit der Berechtigung dazu (sudo setcap "
          "cap_sys_time=ep " +
          korvan + "); sonst fragt es die Zeit nur ab und protokolliert sie.\n";
  return text;
}

// Arranges the systemd timer; false with the reason when systemd refuses.
bool ScheduleWithSystemd(const TSchedulerHost &host, const std::string &korvan, std::string &why) {
  const std::string dir = UnitDir(host);
  std::error_code ec;
  fs::create_directories(dir, ec);
  const std::string service = dir + "/" + kServiceName, timer = dir + "/" + kTimerName;
  if (ec || !WriteText(service, ServiceUnitText(korvan)) || !WriteText(timer, TimerUnitText())) {
    why = "Die Dateien in " + dir + " konnten nicht geschrieben werden.";
    fs::remove(service, ec);
    fs::remove(timer, ec);
    return false;
  }
  for (const auto &args :
       {std::vector<std::string>{"daemon-reload"}, std::vector<std::string>{"enable", "--now", kTimerName}}) {
    const auto argv = Systemctl(host, args);
    const TRunResult r = host.Run(argv, "");
    if (r.Status != 0) {
      why = Failure(argv, r);
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
                 bool *missing = nullptr) {
  const std::vector<std::string> argv{"crontab", "-l"};
  const TRunResult r = host.Run(argv, "");
  crontab.clear();
  if (missing) *missing = r.Status < 0;
  if (r.Status == 0) {
    crontab = r.Output;
    return true;
  }
  if (r.Status > 0 && r.Output.find("no crontab") != std::string::npos) return true;
  why = Failure(argv, r);
  return false;
}

bool WriteCrontab(const TSchedulerHost &host, const std::string &crontab, std::string &why) {
  const std::vector<std::string> argv{"crontab", "-"};
  const TRunResult r = host.Run(argv, crontab);
  if (r.Status == 0) return true;
  why = Failure(argv, r);
  return false;
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

std::string SystemdWord(const std::string &text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    if (c == '%' || c == '$') out += c; // "%%" and "$$" stand for the character itself
    out += c;
  }
  return out + "\"";
}

std::string ServiceUnitText(const std::string &korvan) {
  return "[Unit]\n"
         "Description=Korvane: Zeitabgleich im Automatik-Modus\n"
         "\n"
         "[Service]\n"
         "Type=oneshot\n"
         "ExecStart=" +
         SystemdWord(korvan) + " /a\n";
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
  std::string quoted = "'";
  for (char c : korvan) {
    if (c == '\'')
      quoted += "'\\''";
    else if (c == '%')
      quoted += "\\%"; // cron turns a bare "%" into a line break
    else
      quoted += c;
  }
  return "17 * * * * " + quoted + "' /a " + kCronMarker;
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
  if (!ValidDirectory(programDirectory))
    return {false, "Der Programmordner „" + programDirectory +
                       "“ ist kein absoluter Pfad mit „/“ am Ende. Bitte starten Sie kvnsched aus dem "
                       "Konfigurationsprogramm kvnadm (Ausführung planen)."};
  const std::string korvan = programDirectory + "korvan";
  if (::access(korvan.c_str(), X_OK) != 0)
    return {false, "Das Programm „" + korvan + "“ wurde nicht gefunden oder ist nicht ausführbar."};
  const std::string undo = "Rückgängig machen: " + programDirectory + "kvnsched --remove\n";

  std::string systemdWhy;
  if (host.SystemdRunning) {
    if (ScheduleWithSystemd(host, korvan, systemdWhy)) {
      const std::string dir = UnitDir(host);
      return {true, kHeadline + std::string("Eingerichtet ist der systemd-Timer „") + kTimerName + "“ " +
                        Whose(host) + ":\n  " + dir + "/" + kTimerName + "\n  " + dir + "/" + kServiceName +
                        "\nEr startet jede Stunde: " + korvan + " /a\n" + UserNotes(host, korvan, true) +
                        "\n" + undo + "(oder von Hand: " + ManualSystemdUndo(host) + ")"};
    }
  } else {
    systemdWhy = "systemd läuft auf diesem Rechner nicht.";
  }

  std::string crontab, why;
  const std::string line = CronLine(korvan);
  if (ReadCrontab(host, crontab, why) && WriteCrontab(host, WithCronLine(crontab, line), why))
    return {true, kHeadline + std::string("Eingerichtet ist eine Zeile in der crontab ") + Whose(host) +
                      ":\n  " + line + "\n(Kein systemd-Timer: " + systemdWhy + ")\n" +
                      UserNotes(host, korvan, false) + "\n" + undo +
                      "(oder von Hand: crontab -e, dann die Zeile mit „" + kCronMarker + "“ löschen)"};
  return {false, "Die Ausführung konnte nicht geplant werden.\n\nsystemd: " + systemdWhy + "\ncron: " + why};
}

TScheduleReport Unschedule(const TSchedulerHost &host) {
  std::string done, failed;
  const std::string dir = UnitDir(host);
  const std::string service = dir + "/" + kServiceName, timer = dir + "/" + kTimerName;
  std::error_code ec;
  if (fs::exists(timer, ec) || fs::exists(service, ec)) {
    if (host.SystemdRunning) {
      const auto argv = Systemctl(host, {"disable", "--now", kTimerName});
      const TRunResult r = host.Run(argv, "");
      if (r.Status != 0) failed += Failure(argv, r) + "\n";
    }
    // Each removal keeps its own error, so the second one's success cannot hide the first's failure.
    std::error_code timerError;
    const bool timerRemoved = fs::remove(timer, timerError);
    const bool serviceRemoved = fs::remove(service, ec);
    if (timerError || ec)
      failed += "Die Dateien in " + dir + " konnten nicht gelöscht werden.\n";
    else if (timerRemoved || serviceRemoved)
      done += "Der systemd-Timer „" + std::string(kTimerName) + "“ ist entfernt.\n";
    if (host.SystemdRunning) host.Run(Systemctl(host, {"daemon-reload"}), "");
  }
  std::string crontab, why;
  bool noCron = false;
  if (!ReadCrontab(host, crontab, why, &noCron)) {
    if (!noCron) failed += why + "\n"; // without cron there is no line to take back
  } else if (WithCronLine(crontab, "") != crontab) {
    if (WriteCrontab(host, WithCronLine(crontab, ""), why))
      done += "Die Zeile in der crontab ist entfernt.\n";
    else
      failed += why + "\n";
  }
  if (!failed.empty())
    return {false, "Die geplante Ausführung konnte nicht ganz entfernt werden.\n\n" + done + failed};
  if (done.empty()) return {true, "Es war keine Ausführung von Korvane geplant."};
  return {true, "Korvane wird nicht mehr automatisch gestartet.\n\n" + done};
}

} // namespace kv::cfgtool
