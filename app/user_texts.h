#pragma once
// What the user reads when something below the window failed: German texts made from the
// failures of the network layer and the mail notice, whose own texts are English for the log.

#include <QString>
#include <exception>
#include <string>

namespace kv::net {
class TSNTPSend;
}

namespace kv::app {

// A setting as a message box or standard error quotes it: on one line and cut (QuotedSetting).
QString ShownSetting(const QString &text);
QString ShownSetting(const std::string &text);

// Why the last RequestTime of a client failed: the proxy's refusal or silence (naming proxy and
// port), a name that did not resolve, no answer within the time-out, an answer rejected and why.
struct TQueryFailure {
  std::string Log; // "Cause: ... ." for the line after "NTP connection failed!"; user texts escaped
  QString User;    // the same in one German sentence, for the line after "Der Server ... konnte
                   // nicht erreicht werden."
};
TQueryFailure QueryFailureCause(const net::TSNTPSend &client);

// The German text of a socket layer code (10060, 11001, ...), e.g. "Zeitüberschreitung".
QString SocketErrorTextGerman(int code);

// The German text of a failure while the notice was built or sent: the mail notice's and the SMTP
// client's failures in their own words, a socket error in German, anything else as it came.
QString FailureTextGerman(const std::exception &failure);

// The dial-up stand-in's text of an error number in German, or "DFÜ-Fehler <n>".
QString DialErrorTextGerman(int code);

} // namespace kv::app
