#pragma once
// Texts from the user (server, entry and proxy names, addresses) as parts of a log line.

#include <cstddef>
#include <string>

namespace kv::app {

// `text` written so that the logger's tag language shows it as it is: "{" becomes "{{}" and "}"
// becomes "{}}"; line breaks and other control characters become blanks, so the text cannot
// start a line of its own.
std::string EscapeLogText(const std::string &text);

// The most characters of a setting that a message or a log line quotes.
inline constexpr std::size_t kMaxQuotedSetting = 120;

// A setting (UTF-8) as a message quotes it: on one line (control characters become blanks) and
// cut to kMaxQuotedSetting characters, with "..." where it was cut, so that whatever the
// settings hold cannot flood a message, a log or a cron mail.
std::string QuotedSetting(const std::string &text);

// A setting as a log line quotes it: QuotedSetting, then EscapeLogText.
std::string LogSetting(const std::string &text);

} // namespace kv::app
