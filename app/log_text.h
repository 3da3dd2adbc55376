#pragma once
// Texts from the user (server, entry and proxy names, addresses) as parts of a log line.

#include <string>

namespace kv::app {

// `text` written so that the logger's tag language shows it as it is: "{" becomes "{{}" and "}"
// becomes "{}}"; line breaks and other control characters become blanks, so the text cannot
// start a line of its own.
std::string EscapeLogText(const std::string &text);

} // namespace kv::app

namespace kv::net {
class TSNTPSend;
}

namespace kv::app {

// Why the last RequestTime of `client` failed, in English for the log line that follows "NTP
// connection failed!": the proxy's refusal, a name that did not resolve, a time-out, a refused
// or rejected answer (and the reason). Ends with "."; user texts in it are escaped.
std::string QueryFailureCause(const net::TSNTPSend &client);

} // namespace kv::app
