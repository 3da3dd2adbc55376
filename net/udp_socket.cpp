#include "net/udp_socket.h"

#include <arpa/inet.h>
#include <cstring>
#include <utility>

#include "net/net_util.h"

namespace kv::net {

namespace {

bool SameEndpoint(const TVarSin &a, const TVarSin &b) {
  if (a.sa.sa_family != b.sa.sa_family) return false;
  if (a.sa.sa_family == AF_INET)
    return a.sin.sin_port == b.sin.sin_port && a.sin.sin_addr.s_addr == b.sin.sin_addr.s_addr;
  if (a.sa.sa_family == AF_INET6)
    return a.sin6.sin6_port == b.sin6.sin6_port &&
           std::memcmp(&a.sin6.sin6_addr, &b.sin6.sin6_addr, sizeof a.sin6.sin6_addr) == 0;
  return false;
}

// A numeric address and a decimal port as a socket address; false for anything else.
bool TextToEndpoint(const std::string &ip, const std::string &port, TVarSin &address) {
  std::memset(&address, 0, sizeof address);
  const int port_number = PortTextNumber(port);
  if (port_number < 0) return false;
  const uint16_t number = htons(static_cast<uint16_t>(port_number));
  if (inet_pton(AF_INET, ip.c_str(), &address.sin.sin_addr) == 1) {
    address.sin.sin_family = AF_INET;
    address.sin.sin_port = number;
    return true;
  }
  if (inet_pton(AF_INET6, ip.c_str(), &address.sin6.sin6_addr) == 1) {
    address.sin6.sin6_family = AF_INET6;
    address.sin6.sin6_port = number;
    return true;
  }
  return false;
}

// Bounds the waits of `s` for the lifetime of the guard.
class ExchangeLimitScope {
public:
  ExchangeLimitScope(TBlockSocket &s, int limit_ms) : s_(s) { s_.LimitExchange(limit_ms); }
  ~ExchangeLimitScope() { s_.LimitExchange(-1); }
  ExchangeLimitScope(const ExchangeLimitScope &) = delete;
  ExchangeLimitScope &operator=(const ExchangeLimitScope &) = delete;

private:
  TBlockSocket &s_;
};

} // namespace

// ---- TDgramBlockSocket ------------------------------------------------------------------------

void TDgramBlockSocket::Connect(const std::string &IP, const std::string &Port) {
  SetRemoteAddress(IP, Port);
  if (last_error_ != 0) {
    // Kept for the sends and receives that follow, which would otherwise fail for an unrelated
    // reason (no socket, or no address).
    NoteSetupError();
    peer_fixed_ = false;
    RaiseOnError();
  } else {
    setup_error_ = 0;
    if (socket_ == INVALID_SOCKET) CreateSocketFor(remote_sin_);
    peer_fixed_ = socket_ != INVALID_SOCKET;
  }
  line_buffer_.clear();
  DoStatus(HR_Connect, IP + ":" + Port);
}

void TDgramBlockSocket::CloseNow() {
  peer_fixed_ = false;
  TSocksBlockSocket::CloseNow();
}

int TDgramBlockSocket::SendData(const void *buffer, int length) {
  return SendDataTo(buffer, length);
}

int TDgramBlockSocket::RecvData(void *buffer, int length) {
  return RecvDataFrom(buffer, length);
}

int TDgramBlockSocket::RecvDataFrom(void *buffer, int length) {
  TVarSin from{};
  const int n = RecvFromRaw(buffer, length, from);
  if (n < 0 || last_error_ != 0) return n;
  // Once connected, a datagram from anyone else is not an answer: it is dropped.
  if (peer_fixed_ && !SameEndpoint(from, remote_sin_)) {
    packet_discarded_ = true;
    return 0;
  }
  remote_sin_ = from;
  return n;
}

// ---- TUDPBlockSocket --------------------------------------------------------------------------

TUDPBlockSocket::TUDPBlockSocket() = default;

TUDPBlockSocket::~TUDPBlockSocket() = default;

int TUDPBlockSocket::SocketType() const {
  return SOCK_DGRAM;
}
int TUDPBlockSocket::SocketProtocol() const {
  return IPPROTO_UDP;
}

void TUDPBlockSocket::Connect(const std::string &IP, const std::string &Port) {
  failed_at_proxy_ = false;
  TDgramBlockSocket::Connect(IP, Port);
}

bool TUDPBlockSocket::UdpAssociate() {
  return UdpAssociate(-1);
}

bool TUDPBlockSocket::UdpAssociate(int limit_ms) {
  const bool ok = Associate(limit_ms);
  association_prepared_ = ok && using_socks_;
  return ok;
}

bool TUDPBlockSocket::AssociationFailedAtProxy() const {
  return failed_at_proxy_;
}

bool TUDPBlockSocket::Associate(int limit_ms) {
  using_socks_ = false;
  association_prepared_ = false;
  failed_at_proxy_ = false;
  if (SocksIP.empty()) return true;
  if (!control_socket_) control_socket_ = std::make_unique<TTCPBlockSocket>();
  TTCPBlockSocket &control = *control_socket_;
  const ExchangeLimitScope limit(control, limit_ms);
  control.Close();
  control.StopSource = StopSource;
  control.SocksTimeout = SocksTimeout;
  control.ConnectionTimeout = SocksTimeout;
  control.SocksUsername = SocksUsername;
  control.SocksPassword = SocksPassword;
  // A login too long for the protocol is our failure, not the proxy's: no connection for it.
  if (!control.SocksFieldsFit("")) {
    SetLastError(WSANO_RECOVERY);
    return false;
  }
  control.CreateSocketByName(SocksIP);
  control.Connect(SocksIP, SocksPort);
  if (control.LastError() != 0) {
    SetLastError(WSANO_RECOVERY);
    return false;
  }
  if (!bound_) Bind("0.0.0.0", "0");
  const bool ok =
      control.SocksGreeting() &&
      control.SocksSendRequest(kSocksUdpAssociate, LocalAddressText(), std::to_string(LocalPort())) &&
      control.SocksReadReply();
  // The proxy had the connection: a failure from here on is its own, unless we were stopped.
  failed_at_proxy_ = !ok && !StopSourceSet();
  if (!ok && last_error_ == 0) SetLastError(WSANO_RECOVERY);
  using_socks_ = control.UsingSocks();
  socks_remote_ip_ = control.SocksResponseIP();
  socks_remote_port_ = control.SocksResponsePort();
  if (!ok || last_error_ != 0) {
    using_socks_ = false;
    return false;
  }
  // A relay on the any-address is the proxy's own address.
  if (socks_remote_ip_ == "0.0.0.0" || socks_remote_ip_ == "::")
    socks_remote_ip_ = control.TBlockSocket::RemoteAddressText();
  ResolveAddress(socks_remote_ip_, socks_remote_port_, relay_sin_);
  if (last_error_ != 0) {
    // A relay that cannot be reached by the name the proxy gave is a wrong answer.
    failed_at_proxy_ = true;
    SetLastError(WSANO_RECOVERY);
    using_socks_ = false;
    return false;
  }
  return true;
}

int TUDPBlockSocket::SendDataTo(const void *buffer, int length) {
  using_socks_ = false;
  if (!CheckHandle()) return 0;
  if (!SocksIP.empty()) {
    // An association prepared by the caller is used while its control connection is open.
    const bool prepared = std::exchange(association_prepared_, false) && control_socket_ &&
                          control_socket_->Socket() != INVALID_SOCKET && !control_socket_->CanRead(0);
    if (prepared) {
      using_socks_ = true;
    } else if (!Associate(-1)) {
      SetLastError(WSANO_RECOVERY);
      return 0;
    }
  }
  if (!using_socks_) return SendToRemote(buffer, length);
  const std::string header = EncodeAddressFor(ST_Socks5, RemoteAddressText(), std::to_string(RemotePort()));
  if (header.empty()) return 0;
  std::string datagram(3, '\0');
  datagram += header;
  datagram.append(static_cast<const char *>(buffer), static_cast<size_t>(length));
  const TVarSin target = remote_sin_;
  remote_sin_ = relay_sin_;
  const int n = SendToRemote(datagram.data(), static_cast<int>(datagram.size()));
  remote_sin_ = target;
  return n;
}

int TUDPBlockSocket::RecvDataFrom(void *buffer, int length) {
  if (!using_socks_) return TDgramBlockSocket::RecvDataFrom(buffer, length);
  TVarSin from{};
  const int n = RecvFromRaw(buffer, length, from);
  if (n < 0 || last_error_ != 0) return n;
  return TakeRelayed(buffer, n, from);
}

int TUDPBlockSocket::TakeRelayed(void *buffer, int length, const TVarSin &from) {
  const std::string data(static_cast<const char *>(buffer), static_cast<size_t>(length));
  // Only the relay speaks for the association, only unfragmented datagrams with a whole header
  // are taken, and once connected only those the header says come from the destination.
  bool take = SameEndpoint(from, relay_sin_) && data.size() >= 4 && data[2] == 0;
  const int position = take ? DecodeSocks5Address(data) : 0;
  take = take && position > 5;
  TVarSin sender{};
  const bool numeric = take && TextToEndpoint(socks_response_ip_, socks_response_port_, sender);
  if (take && peer_fixed_) take = numeric && SameEndpoint(sender, remote_sin_);
  if (!take) {
    packet_discarded_ = true;
    return 0;
  }
  const int payload = length - (position - 1);
  std::memmove(buffer, data.data() + position - 1, static_cast<size_t>(payload));
  if (numeric) remote_sin_ = sender;
  return payload;
}

} // namespace kv::net
