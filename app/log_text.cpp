#include "app/log_text.h"

#include "net/sntp_send.h"
#include "net/socket_errors.h"

namespace kv::app {

std::string EscapeLogText(const std::string &text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '{')
      out += "{{}";
    else if (c == '}')
      out += "{}}";
    else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      out += ' ';
    else
      out += c;
  }
  return out;
}

} // namespace kv::app

namespace kv::app {

namespace {

std::string Coded(int code) {
  return net::WinsockErrorText(code) + " (" + std::to_string(code) + ")";
}

// RFC 1928 section 6.
const char *Socks5ReplyText(int reply) {
  switch (reply) {
  case 1:
    return "general failure";
  case 2:
    return "not allowed by its rules";
  case 3:
    return "network unreachable";
  case 4:
    return "host unreachable";
  case 5:
    return "connection refused";
  case 6:
    return "TTL expired";
  case 7:
    return "command not supported";
  case 8:
    return "address type not supported";
  default:
    return "unknown reply";
  }
}

// The association with the proxy failed: why, from its control connection.
std::string ProxyCause(const net::TUDPBlockSocket &sock) {
  const std::string proxy =
      "the SOCKS5 proxy " + EscapeLogText(sock.SocksIP) + " port " + EscapeLogText(sock.SocksPort);
  const net::TTCPBlockSocket *control = sock.ControlSocket();
  if (!control) return proxy + " failed: " + Coded(sock.LastError());
  if (control->LastError() != 0) return proxy + " failed: " + Coded(control->LastError());
  if (!control->UsingSocks())
    return sock.SocksUsername.empty()
               ? proxy +
                     " refused the greeting (it accepts no session without a login, or is no SOCKS5 proxy)"
               : proxy + " refused the greeting or the login of user " + EscapeLogText(sock.SocksUsername);
  const int reply = control->SocksLastError();
  if (reply < 0) return proxy + " sent a malformed reply";
  if (reply > 0)
    return proxy + " refused the UDP association: reply " + std::to_string(reply) + " (" +
           Socks5ReplyText(reply) + ")";
  return proxy + " named a relay address that cannot be used (" + EscapeLogText(sock.SocksResponseIP()) + ")";
}

std::string Kiss(uint32_t refid) {
  std::string code;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((refid >> shift) & 0xFF);
    if (c >= 0x21 && c <= 0x7E) code += c;
  }
  return code;
}

} // namespace

std::string QueryFailureCause(const net::TSNTPSend &client) {
  const net::TUDPBlockSocket &sock = client.Sock();
  const int code = sock.LastError();
  const std::string server = EscapeLogText(client.TargetHost) + " port " + EscapeLogText(client.TargetPort);
  std::string cause;
  if (!sock.SocksIP.empty() && !sock.UsingSocks() && code != 0 && code != net::WSAHOST_NOT_FOUND &&
      code != net::WSATRY_AGAIN && code != net::WSANO_DATA) {
    cause = ProxyCause(sock);
  } else if (code == net::WSAHOST_NOT_FOUND || code == net::WSATRY_AGAIN || code == net::WSANO_DATA ||
             code == net::WSANO_RECOVERY || code == net::WSATYPE_NOT_FOUND) {
    cause = "the name " + EscapeLogText(client.TargetHost) + " or the port " +
            EscapeLogText(client.TargetPort) + " could not be resolved: " + Coded(code);
  } else if (client.LastCheck() && *client.LastCheck() != net::TReplyCheck::Accepted &&
             (code == 0 || *client.LastCheck() != net::TReplyCheck::OriginateMismatch)) {
    const net::TReplyCheck check = *client.LastCheck();
    cause = "the answer of " + server + " was rejected: " + net::ReplyCheckName(check);
    if (check == net::TReplyCheck::BadStratum && client.Reply().Stratum == 0)
      cause += " (kiss-o'-death " + Kiss(client.Reply().RefID) + ")";
  } else if (code == net::WSAETIMEDOUT) {
    cause = "no answer from " + server + " within " + std::to_string(client.Timeout) + " ms";
    if (client.LastCheck() == net::TReplyCheck::OriginateMismatch)
      cause += " (only an answer to an earlier request came)";
  } else if (code != 0) {
    cause = server + ": " + Coded(code);
  } else {
    cause = "no answer from " + server;
  }
  return "Cause: " + cause + ".";
}

} // namespace kv::app
