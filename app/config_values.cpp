#include "app/config_values.h"

#include <cmath>

#include "platform/registry.h"

namespace kv::app {

using platform::ERegistryException;
using platform::TRegistry;

namespace {

void Read(const TRegistry &reg, const char *name, int32_t &field) {
  try {
    field = reg.ReadInteger(name);
  } catch (const ERegistryException &) {
  }
}

void Read(const TRegistry &reg, const char *name, bool &field) {
  try {
    field = reg.ReadBool(name);
  } catch (const ERegistryException &) {
  }
}

void Read(const TRegistry &reg, const char *name, QString &field) {
  try {
    field = QString::fromStdString(reg.ReadString(name));
  } catch (const ERegistryException &) {
  }
}

void Write(TRegistry &reg, const char *name, int32_t value) {
  reg.WriteInteger(name, value);
}
void Write(TRegistry &reg, const char *name, bool value) {
  reg.WriteBool(name, value);
}
void Write(TRegistry &reg, const char *name, const QString &value) {
  reg.WriteString(name, value.toStdString());
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

void ReadAutoSettings(const TRegistry &reg, TAutoSettings &v) {
  Read(reg, "AConnection", v.AConnection);
  Read(reg, "AServer", v.AServer);
  Read(reg, "ANetMessage", v.ANetMessage);
  Read(reg, "ANetRecipient", v.ANetRecipient);
  Read(reg, "ANetSender", v.ANetSender);
  Read(reg, "ASMTPServer", v.ASMTPServer);
  Read(reg, "ASMTPPort", v.ASMTPPort);
  Read(reg, "ASMTPUser", v.ASMTPUser);
  Read(reg, "ASMTPPassword", v.ASMTPPassword);
  Read(reg, "AUseRAS", v.AUseRas);
  Read(reg, "AUseSocks5", v.AUseSocks5);
  Read(reg, "AUseLAN", v.AUseLAN);
  Read(reg, "ASocksIP", v.ASocksIP);
  Read(reg, "ASocksPort", v.ASocksPort);
  Read(reg, "ASocksUsername", v.ASocksUsername);
  Read(reg, "ASocksPassword", v.ASocksPassword);
  Read(reg, "ATimeout", v.ATimeout);
  Read(reg, "ALogging", v.ALogging);
  Read(reg, "ALoggingPath", v.ALoggingPath);
  Read(reg, "ALoggingCount", v.ALoggingCount);
}

void WriteAutoSettings(TRegistry &reg, const TAutoSettings &v) {
  Write(reg, "AConnection", v.AConnection);
  Write(reg, "AServer", v.AServer);
  Write(reg, "ANetMessage", v.ANetMessage);
  Write(reg, "ANetRecipient", v.ANetRecipient);
  Write(reg, "ANetSender", v.ANetSender);
  Write(reg, "ASMTPServer", v.ASMTPServer);
  Write(reg, "ASMTPPort", v.ASMTPPort);
  Write(reg, "ASMTPUser", v.ASMTPUser);
  Write(reg, "ASMTPPassword", v.ASMTPPassword);
  Write(reg, "AUseLAN", v.AUseLAN);
  Write(reg, "AUseRas", v.AUseRas);
  Write(reg, "AUseSocks5", v.AUseSocks5);
  Write(reg, "ASocksIP", v.ASocksIP);
  Write(reg, "ASocksPort", v.ASocksPort);
  Write(reg, "ASocksUsername", v.ASocksUsername);
  Write(reg, "ASocksPassword", v.ASocksPassword);
  Write(reg, "ATimeout", v.ATimeout);
  Write(reg, "ALogging", v.ALogging);
  Write(reg, "ALoggingPath", v.ALoggingPath);
  Write(reg, "ALoggingCount", v.ALoggingCount);
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
