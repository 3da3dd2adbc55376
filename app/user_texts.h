#pragma once
// What the user reads when something below the window failed: German texts made from the
// failures of the network layer and the mail notice, whose own texts are English for the log.

#include <QString>
#include <exception>

namespace kv::app {

// The German text of a socket layer code (10060, 11001, ...), e.g. "Zeitüberschreitung".
QString SocketErrorTextGerman(int code);

// The German text of a failure while the notice was built or sent: the mail notice's and the SMTP
// client's failures in their own words, a socket error in German, anything else as it came.
QString FailureTextGerman(const std::exception &failure);

// The dial-up stand-in's text of an error number in German, or "DFÜ-Fehler <n>".
QString DialErrorTextGerman(int code);

} // namespace kv::app
