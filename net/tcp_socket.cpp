#include "net/tcp_socket.h"

#include <algorithm>
#include <climits>
#include <netinet/in.h>
#include <sys/socket.h>

#include "net/net_util.h"

namespace kv::net {

TTCPBlockSocket::~TTCPBlockSocket() {
  ReleaseForDestruction();
  TTCPBlockSocket::Close();
  if (ssl_enabled_) SetSslEnabled(false);
}

void TTCPBlockSocket::Close() {
  if (ssl_enabled_) SslShutdown();
  if (socket_ != INVALID_SOCKET) {
    ::shutdown(socket_, SHUT_WR);
    DrainInput();
  }
  TSocksBlockSocket::Close();
}

void TTCPBlockSocket::CloseNow() {
  // What a proxy reported belongs to the connection that ends here.
  using_socks_ = false;
  http_tunnel_in_use_ = false;
  TSocksBlockSocket::CloseNow();
}

void TTCPBlockSocket::Connect(const std::string &IP, const std::string &Port) {
  ssl_host_ = TrimSpaces(IP);
  if (!SocksIP.empty()) {
    SocksConnect(IP, Port);
  } else if (!HTTPTunnelIP.empty()) {
    HttpTunnelConnect(IP, Port);
  } else {
    TSocksBlockSocket::Connect(IP, Port);
  }
  if (!ssl_enabled_) return;
  if (last_error_ != 0) {
    const int error = last_error_;
    SetSslEnabled(false);
    SetLastError(error);
  } else {
    SslConnect();
  }
}

void TTCPBlockSocket::SocksConnect(const std::string &IP, const std::string &Port) {
  SocksRequest(kSocksConnect, IP, Port, WSASYSNOTREADY);
  socks_local_ip_ = socks_response_ip_;
  socks_local_port_ = socks_response_port_;
  socks_remote_ip_ = IP;
  socks_remote_port_ = Port;
  RaiseOnError();
  DoStatus(HR_Connect, IP + ":" + Port);
}

void TTCPBlockSocket::SocksRequest(uint8_t command, const std::string &IP, const std::string &Port,
                                   int refused) {
  if (!SocksFieldsFit(IP)) return;
  StreamConnect(SocksIP, SocksPort, SocksTimeout);
  const bool ok =
      last_error_ == 0 && SocksGreeting() && SocksSendRequest(command, IP, Port) && SocksReadReply();
  if (!ok && last_error_ == 0) last_error_ = refused;
}

void TTCPBlockSocket::HttpTunnelConnect(const std::string &IP, const std::string &Port) {
  {
    ExchangeScope scope(*this);
    StreamConnect(HTTPTunnelIP, HTTPTunnelPort, HTTPTunnelTimeout);
    if (last_error_ != 0) return;
    HttpTunnelExchange(IP, Port);
  }
  RaiseOnError();
}

void TTCPBlockSocket::HttpTunnelExchange(const std::string &IP, const std::string &Port) {
  const std::string port = std::to_string(ResolveServicePort(Port));
  http_tunnel_in_use_ = false;
  const std::string host = IsIPv6Text(IP) ? "[" + TrimSpaces(IP) + "]" : IP;
  std::string request = "CONNECT " + host + ":" + port + " HTTP/1.0\r\n";
  if (!HTTPTunnelUser.empty())
    request += "Proxy-Authorization: Basic " + EncodeBase64(HTTPTunnelUser + ":" + HTTPTunnelPass) + "\r\n";
  request += "\r\n";
  SendString(request);
  // The proxy's answer is bounded in line length, in lines and, as a whole, in time, whatever
  // it sends and however slowly.
  const uint64_t start = TickNow();
  const int saved_limit = MaxLineLength;
  MaxLineLength = kTunnelMaxLineLength;
  {
    WholeReceiveScope whole(*this);
    int lines = 0;
    while (last_error_ == 0) {
      const std::string line = RecvTerminated(MillisecondsLeft(start, HTTPTunnelTimeout), "\n");
      if (last_error_ != 0) break;
      if (line.size() > 11 && line.compare(0, 5, "HTTP/") == 0) http_tunnel_in_use_ = line[9] == '2';
      if (line.empty() || line == "\r") break;
      if (++lines >= kTunnelMaxHeaderLines) {
        http_tunnel_in_use_ = false;
        break;
      }
    }
  }
  MaxLineLength = saved_limit;
  if (last_error_ == 0 && !http_tunnel_in_use_) last_error_ = WSASYSNOTREADY;
  if (last_error_ != 0) http_tunnel_in_use_ = false;
  tunnel_ip_ = host;
  tunnel_port_ = port;
}

void TTCPBlockSocket::Listen() {
  if (!SocksIP.empty()) {
    std::string local = LocalAddressText();
    if (local == "0.0.0.0") local = LocalHostName();
    const std::string local_port = std::to_string(LocalPort());
    SocksRequest(kSocksBind, local, local_port, WSANO_RECOVERY);
    // A proxy that binds on all its addresses names none; it is reached at its own address.
    socks_local_ip_ = socks_response_ip_ == "0.0.0.0" ? SocksIP : socks_response_ip_;
    socks_local_port_ = socks_response_port_;
    socks_remote_ip_.clear();
    socks_remote_port_.clear();
  } else if (CheckHandle()) {
    CheckSocketResult(SockListen(socket_, INT_MAX));
    ReadAddresses();
  }
  RaiseOnError();
  DoStatus(HR_Listen, "");
}

TSocket TTCPBlockSocket::Accept() {
  if (UsingSocks()) {
    const bool ok = SocksReadReply();
    if (!ok && last_error_ == 0) last_error_ = WSANO_RECOVERY;
    if (ok) {
      socks_remote_ip_ = socks_response_ip_;
      socks_remote_port_ = socks_response_port_;
    }
    RaiseOnError();
    if (!ok) return INVALID_SOCKET;
    DoStatus(HR_Accept, "");
    return socket_;
  }
  if (!CheckHandle()) return INVALID_SOCKET;
  const TSocket s = SockAccept(socket_);
  CheckSocketResult(s);
  RaiseOnError();
  if (s < 0) return INVALID_SOCKET;
  DoStatus(HR_Accept, "");
  return s;
}

int TTCPBlockSocket::PendingBytes() {
  if (SslActive() && ssl_) {
    const int n = kv::net::SslPending(ssl_);
    if (n > 0) return n;
  }
  return TSocksBlockSocket::PendingBytes();
}

std::string TTCPBlockSocket::LocalAddressText() {
  return UsingSocks() ? socks_local_ip_ : TSocksBlockSocket::LocalAddressText();
}

std::string TTCPBlockSocket::RemoteAddressText() {
  if (UsingSocks()) return socks_remote_ip_;
  if (http_tunnel_in_use_) return tunnel_ip_;
  return TSocksBlockSocket::RemoteAddressText();
}

int TTCPBlockSocket::LocalPort() {
  if (!UsingSocks()) return TSocksBlockSocket::LocalPort();
  return std::max(PortTextNumber(socks_local_port_), 0);
}

int TTCPBlockSocket::RemotePort() {
  if (UsingSocks()) return ResolveServicePort(socks_remote_port_);
  if (http_tunnel_in_use_) return std::max(PortTextNumber(tunnel_port_), 0);
  return TSocksBlockSocket::RemotePort();
}

int TTCPBlockSocket::SocketType() const {
  return SOCK_STREAM;
}
int TTCPBlockSocket::SocketProtocol() const {
  return IPPROTO_TCP;
}

} // namespace kv::net
