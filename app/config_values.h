#pragma once
// The automatic mode's settings as the configuration dialog edits them, without a widget: the
// twenty values of the key "\Software\Halvern\Korvane\Auto", how they are read (each value on
// its own) and written (all twenty, in a fixed order), and the checks the dialog runs on "&OK".

#include <QString>
#include <cstdint>
#include <optional>

#include "platform/ui/message_box.h"

namespace kv::platform {
class TRegistry;
}

namespace kv::app {

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
};

// Reads the open key into `values`, one value at a time in the dialog's reading order. A value
// that cannot be read (an integer or switch that is missing, any value of another type) leaves
// its field as it was, so a half-filled key loses nothing when the dialog writes it back. A
// missing string reads as empty, as the main window reads it.
void ReadAutoSettings(const platform::TRegistry &reg, TAutoSettings &values);

// Writes all twenty values into the open key in their order. Raises ERegistryException when
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
