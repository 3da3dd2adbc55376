#pragma once
// Texts from the user (server, entry and proxy names, addresses) as parts of a log line.

#include <string>

namespace kv::app {

// `text` written so that the logger's tag language shows it as it is: "{" becomes "{{}" and "}"
// becomes "{}}"; line breaks and other control characters become blanks, so the text cannot
// start a line of its own.
std::string EscapeLogText(const std::string &text);

} // namespace kv::app
