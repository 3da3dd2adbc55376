#pragma once
// The e-mail notice sent after a synchronisation in the automatic mode, as plain functions: the
// message identifier, the three body lines, the whole message with its headers, the recipient
// list and the port text. Nothing here touches the network or Qt.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/datetime.h"

namespace kv::app {

// Raised for a notice that cannot be built from the settings (a bad address or port). what() is
// English for the log; German() says the same to the user.
class ENoticeError : public std::runtime_error {
public:
  ENoticeError(const std::string &english, std::string german)
      : std::runtime_error(english), german_(std::move(german)) {}
  const std::string &German() const { return german_; }

private:
  std::string german_;
};

// Which address of the notice a text is.
enum class TAddressRole { Sender, Recipient };

inline constexpr const char *kNoticeSubject = "Korvane Mitteilung";
inline constexpr const char *kNoticeMailer = "Korvane 2005 Rel. 27 SMTP Service";

// The two numbers of a message identifier: the day ordinal of the local date (0001-01-01 is 1)
// and the milliseconds since local midnight.
struct TMsgIdParts {
  int64_t Day = 0;
  int64_t Millis = 0;
};
TMsgIdParts MsgIdParts(const platform::DateTimeFields &local);
// "<" + Day + Millis + "@" + computer name + ">", written without separators; an empty computer
// name gives "localhost".
std::string MakeMsgId(const platform::DateTimeFields &local, const std::string &computerName);

// The body: the server time text, then "Die Systemzeit des Computers <name> wurde", then
// "via NTP vom Server <server> aktualisiert.", each line ended by CR LF. Line breaks inside the
// given texts become blanks, so the body always has these three lines.
std::string NoticeBody(const std::string &timeText, const std::string &computerName,
                       const std::string &server);
// The body when the server answered but the clock could not be set: the server time text, then
// "Die Systemzeit des Computers <name> konnte nicht", "via NTP vom Server <server> gestellt
// werden." and "Grund: <reason>", each ended by CR LF.
std::string NotSetNoticeBody(const std::string &timeText, const std::string &computerName,
                             const std::string &server, const std::string &reason);

// The "Date" header's value for a local time whose offset from UTC is `utcOffsetSeconds`,
// e.g. "Tue, 01 Mar 2005 12:00:00 +0100".
std::string MailDate(const platform::DateTimeFields &local, int utcOffsetSeconds);
// The same for a moment given in seconds since 1970 (UTC), in this computer's time zone.
std::string MailDateOf(int64_t unixSeconds);

// The addresses of a recipient text: items separated by "," or ";", each a bare address or
// "Name <address>". Raises ENoticeError for an empty list or an address that cannot go into an
// SMTP envelope (blanks, control characters, angle brackets, non-ASCII).
std::vector<std::string> ParseRecipients(const std::string &text);
// Checks one bare address the same way; raises ENoticeError naming its role.
void CheckAddress(const std::string &address, TAddressRole role);

// Everything the message carries besides the body.
struct TNoticeHeaders {
  std::string Sender;                  // "From" is "Korvane Service <Sender>", "Reply-To" Sender
  std::vector<std::string> Recipients; // "To"
  std::string MessageId;
  std::string Date;
};
// The message as sent after DATA (before dot-stuffing): the headers, an empty line and the body,
// every line ended by CR LF. Text and Unicode are declared as UTF-8 plain text; a body that is
// not plain 7-bit ASCII with short lines goes out quoted-printable.
std::string ComposeNotice(const TNoticeHeaders &headers, const std::string &body);

// A port text: a decimal number from 1 to 65535, blanks around it allowed; nothing otherwise.
std::optional<uint16_t> ParsePort(const std::string &text);

} // namespace kv::app
