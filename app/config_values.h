#pragma once
// The automatic mode's settings without a widget: the twenty values of the key
// "\Software\Halvern\Korvane\Auto", their one reader (used by the configuration dialog and the
// automatic run alike) and their one writer (all twenty, in a fixed order, as one change), and
// the checks the configuration dialog runs on "&OK".

#include <QString>
#include <cstdint>
#include <optional>

#include "platform/ui/message_box.h"

namespace kv::platform {
class TRegistry;
}

namespace kv::app {

// The key of the automatic mode's settings under HKEY_CURRENT_USER.
inline constexpr const char *kAutoKey = "\\Software\\Halvern\\Korvane\\Auto";

// The twenty values of the automatic-mode key, in the order they are written.
struct TAutoSettings {
  int32_t AConnection = 0;  // item index of the phone-book entry, -1 for none
  QString AServer;          // the time server
  bool ANetMessage = false; // send the mail notice
  QString ANetRecipient;
  QString ANetSender;
  QString ASMTPServer;
  QString ASMTPPort = QStringLiteral("25");
  QString ASMTPUser;
  QString ASMTPPassword; // plain text, as stored files have it
  bool AUseLAN = false;
  bool AUseRas = true; // read as "AUseRAS": names match without regard to case
  bool AUseSocks5 = false;
  QString ASocksIP;
  QString ASocksPort = QStringLiteral("1080");
  QString ASocksUsername;
  QString ASocksPassword; // plain text, as stored files have it
  int32_t ATimeout = 15;  // seconds
  bool ALogging = false;
  QString ALoggingPath;      // the log folder
  int32_t ALoggingCount = 5; // numbered log files kept
  friend bool operator==(const TAutoSettings &, const TAutoSettings &) = default;
};

// The twenty values with their names, in the order they are written: the one list every reader
// and writer of the key walks. "AUseRas" is the dial-up switch that readers also know as
// "AUseRAS": names match without regard to case.
template <class Settings, class Visit> void ForEachAutoValue(Settings &v, Visit visit) {
  visit("AConnection", v.AConnection);
  visit("AServer", v.AServer);
  visit("ANetMessage", v.ANetMessage);
  visit("ANetRecipient", v.ANetRecipient);
  visit("ANetSender", v.ANetSender);
  visit("ASMTPServer", v.ASMTPServer);
  visit("ASMTPPort", v.ASMTPPort);
  visit("ASMTPUser", v.ASMTPUser);
  visit("ASMTPPassword", v.ASMTPPassword);
  visit("AUseLAN", v.AUseLAN);
  visit("AUseRas", v.AUseRas);
  visit("AUseSocks5", v.AUseSocks5);
  visit("ASocksIP", v.ASocksIP);
  visit("ASocksPort", v.ASocksPort);
  visit("ASocksUsername", v.ASocksUsername);
  visit("ASocksPassword", v.ASocksPassword);
  visit("ATimeout", v.ATimeout);
  visit("ALogging", v.ALogging);
  visit("ALoggingPath", v.ALoggingPath);
  visit("ALoggingCount", v.ALoggingCount);
}

// The log folder offered and used when the settings name none of their own: "log/" beside the
// program where this user, other than root, may write the program's folder (`programDirectory`,
// ending with "/"; a build tree), else "korvane/log/" in the user's state directory; beside the
// program again when the user has no home at all.
QString DefaultLoggingPath(const QString &programDirectory);
// True when `path` has the shape of a folder DefaultLoggingPath offers, whatever environment
// offered it: "log" in `programDirectory`, or an absolute path ending in "korvane/log" (a state
// directory's, which XDG_STATE_HOME may have placed anywhere when the dialog ran), judged with "."
// and ".." resolved in the text. A run makes such a folder, in that resolved form, when it is
// missing; any other folder was typed and is used as typed, so that a typing error is not
// silently created.
bool IsDefaultLoggingPath(const QString &path, const QString &programDirectory);

// Reads one value of the open key into `field`. A value that cannot be read (an integer or switch
// that is missing, any value of another type) leaves the field as it was; a missing string
// reads as empty.
void ReadSetting(const platform::TRegistry &reg, const char *name, int32_t &field);
void ReadSetting(const platform::TRegistry &reg, const char *name, bool &field);
void ReadSetting(const platform::TRegistry &reg, const char *name, QString &field);

// Reads the automatic key into `values`, all twenty from one reading of the file; false (and
// `values` untouched) when the key does not exist. A value that cannot be read (an integer or
// switch that is missing, any value of another type) leaves its field as it was, so callers
// put their defaults in first, and a half-filled key loses nothing when the dialog writes it
// back. A missing string reads as empty, but for "ALoggingPath": no folder (missing or empty)
// keeps the caller's, its default log folder. `reg` is left with the key open for reading.
bool ReadAutoSettings(platform::TRegistry &reg, TAutoSettings &values);

// Writes all twenty values into the automatic key (created when missing) in their order, as one
// change: a reader sees the old set or the new one, never a mix. Raises ERegistryException when
// the file cannot be written.
void WriteAutoSettings(platform::TRegistry &reg, const TAutoSettings &values);

// A spin edit as the checks see it: its text and the whole number in it (nothing when the text
// holds none).
struct TSpinEntry {
  QString Text;
  std::optional<double> Value;
};

// What "&OK" checks: the values, whether a phone-book entry is chosen, and the two spin edits as
// typed (their stored fields are not looked at).
struct TConfigEntries {
  TAutoSettings Values;
  bool ConnectionChosen = false;
  TSpinEntry Timeout;
  TSpinEntry LoggingCount;
};

// Tabs of the dialog.
enum TConfigTab { tabNone = -1, tabConnection = 0, tabMail = 1, tabLogging = 2 };

// The first check that fails: its message (caption "Fehler"), icon, the tab to select (after
// the message) and the field to focus (a component name, or empty).
struct TConfigFault {
  QString Message;
  ui::MessageIcon Icon = ui::MessageIcon::Error;
  TConfigTab Tab = tabNone;
  QString Focus;
};

// Runs the dialog's checks in their order; nothing when every one passes.
std::optional<TConfigFault> CheckConfigEntries(const TConfigEntries &entries);

} // namespace kv::app
