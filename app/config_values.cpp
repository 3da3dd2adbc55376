#include "app/config_values.h"

#include <QDir>
#include <QFile>
#include <cmath>
#include <unistd.h>

#include "platform/registry.h"
#include "platform/system.h"

namespace kv::app {

using platform::ERegistryException;
using platform::TRegistry;

namespace {

void Add(platform::TRegValues &out, const char *name, int32_t value) {
  out.Integer(name, value);
}
void Add(platform::TRegValues &out, const char *name, bool value) {
  out.Bool(name, value);
}
void Add(platform::TRegValues &out, const char *name, const QString &value) {
  out.String(name, value.toStdString());
}

// A spin edit's entry is good when it holds a whole number from 1 to `max`. Text that holds no
// number fails too: it must not be saved as the edit's minimum.
bool SpinEntryValid(const TSpinEntry &entry, double max) {
  if (entry.Text.isEmpty() || !entry.Value) return false;
  const double v = *entry.Value;
  return v == std::floor(v) && v > 0 && v <= max;
}

TConfigFault Fault(const char *message, ui::MessageIcon icon, TConfigTab tab, const char *focus) {
  return {QString::fromUtf8(message), icon, tab, QString::fromLatin1(focus)};
}

} // namespace

void ReadSetting(const TRegistry &reg, const char *name, int32_t &field) {
  try {
    field = reg.ReadInteger(name);
  } catch (const ERegistryException &) {
  }
}

void ReadSetting(const TRegistry &reg, const char *name, bool &field) {
  try {
    field = reg.ReadBool(name);
  } catch (const ERegistryException &) {
  }
}

void ReadSetting(const TRegistry &reg, const char *name, QString &field) {
  try {
    field = QString::fromStdString(reg.ReadString(name));
  } catch (const ERegistryException &) {
  }
}

QString DefaultLoggingPath(const QString &programDirectory) {
  // Root may write any folder, an installed program's too, so that says nothing about where
  // the program lies; a log folder beside it is for a build tree of one's own.
  const std::string state = platform::StateDirectory();
  if (state.empty() ||
      (::geteuid() != 0 && ::access(QFile::encodeName(programDirectory).constData(), W_OK) == 0))
    return programDirectory + QStringLiteral("log/");
  return QString::fromStdString(state) + QStringLiteral("korvane/log/");
}

bool IsDefaultLoggingPath(const QString &path, const QString &programDirectory) {
  if (path.isEmpty()) return false;
  // The shape, not today's environment: a run from cron lacks the XDG_STATE_HOME the dialog saw.
  const QString clean = QDir::cleanPath(path);
  return clean == QDir::cleanPath(programDirectory + QStringLiteral("log")) ||
         (QDir::isAbsolutePath(clean) && clean.endsWith(QStringLiteral("/korvane/log")));
}

bool ReadAutoSettings(TRegistry &reg, TAutoSettings &v) {
  // The key is read once when it is opened; every value below comes from that one reading.
  if (!reg.OpenKeyReadOnly(kAutoKey)) return false;
  const QString defaultFolder = v.ALoggingPath;
  ForEachAutoValue(v, [&](const char *name, auto &field) { ReadSetting(reg, name, field); });
  // A hand-written key without a log folder means the one the dialog offers, not the logger's
  // own default, the program's folder (an installed program's, for root).
  if (v.ALoggingPath.isEmpty()) v.ALoggingPath = defaultFolder;
  return true;
}

void WriteAutoSettings(TRegistry &reg, const TAutoSettings &v) {
  platform::TRegValues values;
  ForEachAutoValue(v, [&](const char *name, const auto &value) { Add(values, name, value); });
  reg.WriteValues(kAutoKey, values);
}

std::optional<TConfigFault> CheckConfigEntries(const TConfigEntries &e) {
  using ui::MessageIcon;
  const TAutoSettings &v = e.Values;
  // The texts are the program's own, typing errors and the lower bound 0 included.
  if (v.AUseRas && !e.ConnectionChosen)
    return Fault("Bitte wählen Sie zuerst eine DFÜ-Verbindung aus oder legen Sie eine an.",
                 MessageIcon::Warning, tabNone, "");
  if (v.AUseSocks5 && v.ASocksIP.isEmpty())
    return Fault("Bitte geben Sie die IP-Adresse des Socks-Proxy an.", MessageIcon::Error, tabNone, "efIP");
  if (v.AUseSocks5 && v.ASocksPort.isEmpty())
    return Fault("Bitte geben Sie den Port des Socks-Proxy an.", MessageIcon::Error, tabNone, "efPort");
  if (v.AServer.isEmpty())
    return Fault("Bitte geben Sie die Adresse des NTP-Servers an.", MessageIcon::Error, tabNone, "efAddress");
  if (!SpinEntryValid(e.Timeout, 120))
    return Fault("Bitte geben Sie das Timeout (0 bis 120) an.", MessageIcon::Error, tabConnection,
                 "efTimeout");
  if (v.ANetMessage) {
    if (v.ANetSender.isEmpty())
      return Fault("Bitte geben Sie Ihr Absenderadresse für den Mailversand an.", MessageIcon::Error, tabMail,
                   "efSender");
    if (v.ANetRecipient.isEmpty())
      return Fault("Bitte geben Sie die Zieladresse für den Mailversand an.", MessageIcon::Error, tabMail,
                   "efTarget");
    if (v.ASMTPServer.isEmpty())
      return Fault("Bitte geben Sie den SMTP-Server für den Mailversand an.", MessageIcon::Error, tabMail,
                   "efSMTPServer");
    if (v.ASMTPPort.isEmpty())
      return Fault("Bitte geben Sie den Port für den Mailversand an.", MessageIcon::Error, tabMail,
                   "efSMTPPort");
  }
  if (v.ALogging) {
    if (v.ALoggingPath.isEmpty())
      return Fault("Bitte geben Sie das Protokollverzeichnis an.", MessageIcon::Error, tabLogging,
                   "efDirectory");
    if (!SpinEntryValid(e.LoggingCount, 99))
      return Fault("Bitte geben Sie die Anzahl der zu speichernden Proktolle (0 bis 99) an.",
                   MessageIcon::Error, tabLogging, "efAnzahl");
  }
  return std::nullopt;
}

} // namespace kv::app
