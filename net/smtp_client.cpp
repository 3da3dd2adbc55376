#include "net/smtp_client.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "net/net_util.h"
#include "net/socket_errors.h"
#include "net/tcp_socket.h"

namespace kv::net {

namespace {

// Control characters of a server's text become blanks before it goes into a message.
std::string Printable(const std::string &text) {
  std::string out = text;
  for (char &c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return out;
}

std::string Upper(std::string text) {
  for (char &c : text)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::vector<std::string> Words(std::string text) {
  std::vector<std::string> words;
  while (!text.empty()) {
    std::string word = CutToken(text, " ");
    if (!word.empty()) words.push_back(std::move(word));
  }
  return words;
}

bool PlainHostName(const std::string &name) {
  if (name.empty() || name.size() > 255) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.';
  });
}

// An envelope address must not be able to end the command line or its angle brackets.
bool EnvelopeSafe(const std::string &address) {
  return std::none_of(address.begin(), address.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '<' || c == '>';
  });
}

// A host or proxy name as a failure text quotes it: the settings may hold anything, so a long
// name is cut (at a character boundary) rather than flooding the log, a message or a cron mail.
constexpr size_t kMaxQuotedName = 120;

std::string QuotedName(const std::string &name) {
  if (name.size() <= kMaxQuotedName) return name;
  size_t end = kMaxQuotedName;
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
    --end;
  return name.substr(0, end) + "...";
}

} // namespace

std::string TSmtpReply::Text() const {
  std::string text = std::to_string(Code);
  for (const auto &line : Lines)
    text += " " + line;
  return text;
}

namespace {

// A failure quotes the server's reply in the log and in a message box; a server may send up to
// MaxReplyLines lines of MaxReplyLine characters, so the quote is cut.
constexpr size_t kMaxQuotedReply = 500;

std::string FailureText(const std::string &message, const TSmtpReply &reply) {
  if (!reply.Code) return message;
  std::string quote = reply.Text();
  if (quote.size() > kMaxQuotedReply) quote = quote.substr(0, kMaxQuotedReply) + "...";
  return message + ": " + quote;
}

} // namespace

ESmtpError::ESmtpError(TSmtpFailure kind, const std::string &message, TSmtpReply reply, int socketError,
                       std::string subject)
    : std::runtime_error(FailureText(message, reply)), kind_(kind), reply_(std::move(reply)),
      socket_error_(socketError), subject_(std::move(subject)) {}

TSmtpClient::TSmtpClient() : sock_(std::make_unique<TTCPBlockSocket>()) {}

TSmtpClient::~TSmtpClient() {
  CloseSocket();
}

bool TSmtpClient::Connected() const {
  return connected_;
}

bool TSmtpClient::Offers(const std::string &mechanism) const {
  return std::find(auth_mechanisms_.begin(), auth_mechanisms_.end(), Upper(mechanism)) !=
         auth_mechanisms_.end();
}

TTCPBlockSocket &TSmtpClient::NewSocket() {
  CloseSocket();
  sock_ = std::make_unique<TTCPBlockSocket>();
  tls_ = false;
  extensions_.clear();
  auth_mechanisms_.clear();

  TTCPBlockSocket &s = *sock_;
  s.MaxLineLength = MaxReplyLine;
  s.ConvertLineEnd = true;
  s.InterPacketTimeout = false;
  s.ConnectionTimeout = Timeout;
  s.SocksTimeout = Timeout;
  s.StopSource = StopSource;
  if (!SocksIP.empty()) {
    s.SocksIP = SocksIP;
    s.SocksPort = SocksPort;
    s.SocksUsername = SocksUsername;
    s.SocksPassword = SocksPassword;
  }
  return s;
}

void TSmtpClient::Connect() {
  TTCPBlockSocket &s = NewSocket();
  const std::string where =
      QuotedName(Host) + ":" + Port +
      (SocksIP.empty() ? "" : " through SOCKS5 proxy " + QuotedName(SocksIP) + ":" + SocksPort);
  s.Connect(Host, Port);
  if (s.LastError() != 0) {
    const std::string why = s.LastErrorDesc();
    const int code = s.LastError();
    CloseAndFail(TSmtpFailure::Connect,
                 "cannot connect to " + where + ": " + why + " (" + std::to_string(code) + ")", code, where);
  }
  connected_ = true;
  try {
    Open(where);
  } catch (const ESmtpError &) {
    // Whatever refused the session, a failed Connect leaves no half-open connection behind.
    CloseSocket();
    throw;
  }
}

void TSmtpClient::Open(const std::string &where) {
  TTCPBlockSocket &s = *sock_;
  const TSmtpReply greeting = ReadReply();
  if (greeting.Code != 220)
    Fail(TSmtpFailure::Session, "server " + where + " refused the session", greeting, where);
  Greet();
  if (std::find(extensions_.begin(), extensions_.end(), "STARTTLS") == extensions_.end()) return;

  Command("STARTTLS", {220}, TSmtpFailure::Tls, "STARTTLS refused", where);
  s.SSLverifyCert = true;
  s.SSLCertCAFile = CAFile;
  s.SslConnect();
  if (s.LastError() != 0) {
    const bool untrusted = s.LastError() == WSAEACCES;
    std::string why = untrusted ? "certificate of " + QuotedName(Host) + " not trusted" : s.LastErrorDesc();
    if (!s.SSLLastErrorDesc().empty()) why += " (" + s.SSLLastErrorDesc() + ")";
    throw ESmtpError(untrusted ? TSmtpFailure::Certificate : TSmtpFailure::Tls,
                     "TLS with " + where + " failed: " + why, {}, s.LastError(),
                     untrusted ? QuotedName(Host) : where);
  }
  tls_ = true;
  // What the server said before the upgrade does not count (RFC 3207 section 4.2).
  Greet();
}

void TSmtpClient::Greet() {
  const std::string name = PlainHostName(HeloName) ? HeloName : std::string("localhost");
  extensions_.clear();
  auth_mechanisms_.clear();
  SendLine("EHLO " + name);
  const TSmtpReply ehlo = ReadReply();
  if (ehlo.Code == 250) {
    ReadExtensions(ehlo);
    return;
  }
  // A server that does not know EHLO answers 500, 501, 502 or 504: it is greeted the old way.
  if (ehlo.Code != 500 && ehlo.Code != 501 && ehlo.Code != 502 && ehlo.Code != 504)
    Fail(TSmtpFailure::Greeting, "EHLO refused", ehlo);
  Command("HELO " + name, {250}, TSmtpFailure::Greeting, "HELO refused");
}

void TSmtpClient::ReadExtensions(const TSmtpReply &ehlo) {
  // The first line greets; each further line is one keyword with its parameters. A server may
  // list many thousands of names, so duplicates are found through a set, not the list.
  std::set<std::string> mechanisms;
  for (size_t i = 1; i < ehlo.Lines.size(); ++i) {
    std::vector<std::string> words = Words(Upper(ehlo.Lines[i]));
    if (words.empty()) continue;
    std::string keyword = words[0];
    // Old servers write "AUTH=LOGIN PLAIN".
    if (keyword.rfind("AUTH=", 0) == 0) {
      words[0] = keyword.substr(5);
      keyword = "AUTH";
    } else {
      words.erase(words.begin());
    }
    extensions_.push_back(keyword);
    if (keyword == "AUTH")
      for (const auto &m : words)
        if (!m.empty() && mechanisms.insert(m).second) auth_mechanisms_.push_back(m);
  }
}

void TSmtpClient::Authenticate() {
  if (!connected_) Fail(TSmtpFailure::NotConnected, "not connected");
  Command("AUTH LOGIN", {334}, TSmtpFailure::Login, "AUTH LOGIN refused", Username);
  Command(EncodeBase64(Username), {334}, TSmtpFailure::Login, "user name refused", Username);
  Command(EncodeBase64(Password), {235}, TSmtpFailure::Login, "login refused", Username);
}

void TSmtpClient::Send(const std::string &from, const std::vector<std::string> &recipients,
                       const std::string &data) {
  if (!connected_) Fail(TSmtpFailure::NotConnected, "not connected");
  if (!EnvelopeSafe(from))
    Fail(TSmtpFailure::Address, "invalid sender address \"" + Printable(from) + "\"", {}, Printable(from));
  if (recipients.empty()) Fail(TSmtpFailure::Address, "no recipient");
  for (const auto &r : recipients)
    if (r.empty() || !EnvelopeSafe(r))
      Fail(TSmtpFailure::Address, "invalid recipient address \"" + Printable(r) + "\"", {}, Printable(r));

  Command("MAIL FROM:<" + from + ">", {250}, TSmtpFailure::Sender, "sender <" + from + "> refused", from);
  for (const auto &r : recipients)
    Command("RCPT TO:<" + r + ">", {250, 251}, TSmtpFailure::Recipient, "recipient <" + r + "> refused", r);
  Command("DATA", {354}, TSmtpFailure::Message, "DATA refused");
  sock_->SendString(DotStuff(data));
  CheckSocket("sending the message");
  const TSmtpReply accepted = ReadReply();
  if (accepted.Code != 250) Fail(TSmtpFailure::Message, "message refused", accepted);
}

void TSmtpClient::Disconnect() {
  if (connected_) {
    // A server that does not answer QUIT promptly is not waited for long.
    const int timeout = Timeout;
    Timeout = std::min(Timeout, 5000);
    try {
      SendLine("QUIT");
      ReadReply();
    } catch (const ESmtpError &) {
      // The session is over either way.
    }
    Timeout = timeout;
    if (tls_ && sock_) sock_->SslShutdown();
  }
  CloseSocket();
}

std::string TSmtpClient::DotStuff(const std::string &data) {
  std::string out;
  out.reserve(data.size() + data.size() / 32 + 8);
  bool lineStart = true;
  for (size_t i = 0; i < data.size(); ++i) {
    const char c = data[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n') ++i;
      out += "\r\n";
      lineStart = true;
      continue;
    }
    if (lineStart && c == '.') out += '.';
    out += c;
    lineStart = false;
  }
  if (!lineStart) out += "\r\n";
  out += ".\r\n";
  return out;
}

void TSmtpClient::SendLine(const std::string &line) {
  sock_->SendString(line + "\r\n");
  CheckSocket("sending a command");
}

TSmtpReply TSmtpClient::ReadReply() {
  TSmtpReply reply;
  const uint64_t start = TickNow();
  for (int n = 0;; ++n) {
    if (n >= MaxReplyLines) {
      CloseAndFail(TSmtpFailure::BadReply, "reply of more than " + std::to_string(MaxReplyLines) + " lines");
    }
    const std::string line = sock_->RecvTerminated(MillisecondsLeft(start, std::max(Timeout, 0)), "\r\n");
    if (sock_->LastError() == WSAENOBUFS) {
      CloseAndFail(TSmtpFailure::BadReply,
                   "reply line longer than " + std::to_string(MaxReplyLine) + " characters");
    }
    if (sock_->LastError() == WSAETIMEDOUT) {
      CloseAndFail(TSmtpFailure::NoReply, "no reply within " + std::to_string(Timeout) + " ms");
    }
    CheckSocket("waiting for a reply");
    const bool digits = line.size() >= 3 && std::all_of(line.begin(), line.begin() + 3,
                                                        [](char c) { return c >= '0' && c <= '9'; });
    const bool last = line.size() == 3 || (line.size() > 3 && line[3] == ' ');
    const int code = digits ? std::stoi(line.substr(0, 3)) : 0;
    if (!digits || code < 200 || (!last && line[3] != '-') || (n > 0 && code != reply.Code)) {
      CloseAndFail(TSmtpFailure::BadReply, "malformed reply \"" + Printable(line.substr(0, 80)) + "\"");
    }
    reply.Code = code;
    reply.Lines.push_back(line.size() > 4 ? Printable(line.substr(4)) : std::string());
    if (last) return reply;
  }
}

TSmtpReply TSmtpClient::Command(const std::string &line, std::initializer_list<int> expected,
                                TSmtpFailure kind, const std::string &what, const std::string &subject) {
  SendLine(line);
  TSmtpReply reply = ReadReply();
  if (std::find(expected.begin(), expected.end(), reply.Code) == expected.end())
    Fail(kind, what, reply, subject);
  return reply;
}

void TSmtpClient::Fail(TSmtpFailure kind, const std::string &message, const TSmtpReply &reply,
                       const std::string &subject) {
  throw ESmtpError(kind, message, reply, 0, subject);
}

void TSmtpClient::CloseAndFail(TSmtpFailure kind, const std::string &message, int socketError,
                               const std::string &subject) {
  CloseSocket();
  throw ESmtpError(kind, message, {}, socketError, subject);
}

void TSmtpClient::CheckSocket(const std::string &what) {
  if (sock_->LastError() == 0) return;
  const int code = sock_->LastError();
  const std::string why = sock_->LastErrorDesc() + " (" + std::to_string(code) + ")";
  CloseAndFail(TSmtpFailure::Lost, "connection lost while " + what + ": " + why, code);
}

void TSmtpClient::CloseSocket() {
  if (sock_ && (connected_ || sock_->Socket() != INVALID_SOCKET)) sock_->CloseNow();
  connected_ = false;
  tls_ = false;
}

} // namespace kv::net
