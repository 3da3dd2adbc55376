#pragma once
// TSmtpClient: a small SMTP client (RFC 5321) over the project's TCP socket, directly or through
// a SOCKS5 proxy. It greets with EHLO (HELO when the server does not know EHLO), upgrades the
// session with STARTTLS whenever the server offers it (the certificate is checked against the
// system's CA store and the server's name), logs in with AUTH LOGIN, and sends one message to
// each recipient with dot-stuffing and CR LF line ends. Every failure raises ESmtpError with the
// server's reply; replies are bounded in line length, line count and time.

#include <atomic>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace kv::net {

class TTCPBlockSocket;

// One reply of the server: its code and its lines (without code, separator and CR LF).
struct TSmtpReply {
  int Code = 0;
  std::vector<std::string> Lines;
  // "<code> <line1> <line2> ...": the reply as one line, for messages.
  std::string Text() const;
};

// What a session failed at, so that a caller can say it in its own words.
enum class TSmtpFailure {
  Connect,      // no connection to the server (or the proxy); SocketError() says why
  Session,      // the greeting was not 220
  Tls,          // STARTTLS refused or the TLS handshake failed
  Certificate,  // the server's certificate is not trusted for its name
  Greeting,     // EHLO and HELO refused
  Login,        // AUTH LOGIN, the user name or the password refused
  Address,      // an address that cannot go into the envelope, or no recipient
  Sender,       // MAIL FROM refused
  Recipient,    // RCPT TO refused
  Message,      // DATA or the message refused
  BadReply,     // a reply too long, of too many lines, or malformed
  NoReply,      // no reply in time
  Lost,         // the connection broke; SocketError() says how
  NotConnected, // called without a session
};

class ESmtpError : public std::runtime_error {
public:
  // `subject`: the server ("host:port", with the proxy) or the address the failure is about.
  ESmtpError(TSmtpFailure kind, const std::string &message, TSmtpReply reply = {}, int socketError = 0,
             std::string subject = {});
  TSmtpFailure Kind() const { return kind_; }
  // The server's reply that caused the failure; code 0 when the failure was not an answer
  // (no connection, a time-out, a malformed reply).
  const TSmtpReply &Reply() const { return reply_; }
  // The socket layer's code for Connect, Tls and Lost; 0 otherwise.
  int SocketError() const { return socket_error_; }
  const std::string &Subject() const { return subject_; }

private:
  TSmtpFailure kind_;
  TSmtpReply reply_;
  int socket_error_;
  std::string subject_;
};

class TSmtpClient {
public:
  // Longest reply line accepted, and most lines in one reply.
  static constexpr int MaxReplyLine = 2048;
  static constexpr int MaxReplyLines = 100;

  TSmtpClient();
  // Closes the connection (without QUIT) when it is still open.
  ~TSmtpClient();
  TSmtpClient(const TSmtpClient &) = delete;
  TSmtpClient &operator=(const TSmtpClient &) = delete;

  std::string Host;
  std::string Port = "25";
  // AUTH LOGIN credentials.
  std::string Username;
  std::string Password;
  // Name given in EHLO/HELO; anything that is not a plain host name is sent as "localhost".
  std::string HeloName = "localhost";
  // Milliseconds for the connection, and for each reply of the server.
  int Timeout = 60000;
  // SOCKS5 proxy carrying the connection; no proxy while SocksIP is empty.
  std::string SocksIP;
  std::string SocksPort = "1080";
  std::string SocksUsername;
  std::string SocksPassword;
  // File of trusted certificates for STARTTLS; empty: the system's CA store.
  std::string CAFile;
  // Handed to the socket of each session (see TBlockSocket::StopSource).
  const std::atomic<bool> *StopSource = nullptr;

  // Connects, reads the greeting, says EHLO (or HELO), and when the server offers STARTTLS
  // upgrades the session and says EHLO again. Raises ESmtpError; the connection is closed then.
  void Connect();
  bool Connected() const;
  // True once STARTTLS has secured the session.
  bool TlsActive() const { return tls_; }
  // The EHLO keywords of the session (upper case, without parameters), and the mechanisms the
  // AUTH keyword lists (upper case).
  const std::vector<std::string> &Extensions() const { return extensions_; }
  const std::vector<std::string> &AuthMechanisms() const { return auth_mechanisms_; }
  bool Offers(const std::string &mechanism) const;

  // AUTH LOGIN with Username and Password. Raises ESmtpError when refused.
  void Authenticate();
  // MAIL FROM, one RCPT TO per recipient, DATA with `data` (lines ended by CR LF, LF or CR;
  // dot-stuffed here). Raises ESmtpError at the first refusal.
  void Send(const std::string &from, const std::vector<std::string> &recipients, const std::string &data);
  // QUIT, then closes. Never raises; does nothing when not connected.
  void Disconnect();

  // `data` with every line end made CR LF, every line starting with "." doubled at its start,
  // and the closing "." line appended.
  static std::string DotStuff(const std::string &data);

  TTCPBlockSocket &Sock() { return *sock_; }

protected:
  // A fresh socket set up for a session (line limit, time-outs, proxy); the old one is closed.
  TTCPBlockSocket &NewSocket();
  // After the TCP connection: greeting, EHLO, STARTTLS. Raises ESmtpError.
  void Open(const std::string &where);

  bool connected_ = false;

private:
  // Sends one command line (CR LF added).
  void SendLine(const std::string &line);
  TSmtpReply ReadReply();
  // Sends `line` and reads the reply; raises unless its code is one of `expected`.
  TSmtpReply Command(const std::string &line, std::initializer_list<int> expected, TSmtpFailure kind,
                     const std::string &what, const std::string &subject = {});
  [[noreturn]] void Fail(TSmtpFailure kind, const std::string &message, const TSmtpReply &reply = {},
                         const std::string &subject = {});
  // Fail, with the connection closed first: after this failure the session cannot go on.
  [[noreturn]] void CloseAndFail(TSmtpFailure kind, const std::string &message, int socketError = 0,
                                 const std::string &subject = {});
  // Raises (after closing) when the socket recorded an error.
  void CheckSocket(const std::string &what);
  void Greet();
  void ReadExtensions(const TSmtpReply &ehlo);
  void CloseSocket();

  std::unique_ptr<TTCPBlockSocket> sock_;
  bool tls_ = false;
  std::vector<std::string> extensions_;
  std::vector<std::string> auth_mechanisms_;
};

} // namespace kv::net
