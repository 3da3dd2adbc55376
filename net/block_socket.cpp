#include "net/block_socket.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>
#include <utility>

#include "net/net_util.h"

namespace kv::net {

namespace {

// The socket library is started before any socket exists and stopped after the last one.
struct SocketLayerStartup {
  SocketLayerStartup() {
    if (!LoadSocketLibrary(""))
      throw ESocketError(0, "Error loading Socket interface (ws2_32.dll)!",
                         "Error loading Socket interface (ws2_32.dll)!");
  }
  ~SocketLayerStartup() { UnloadSocketLibrary(); }
};
const SocketLayerStartup g_socket_layer_startup;

// Largest single read from a stream socket; the rest stays queued for the next receive.
constexpr int kMaxStreamRead = 1024 * 1024;

// Services the time client names, for systems whose services database lacks them.
int KnownServicePort(const std::string &name) {
  static const std::pair<const char *, int> kServices[] = {
      {"ntp", 123}, {"smtp", 25}, {"socks", 1080}, {"http", 80}, {"https", 443}};
  for (const auto &[service, port] : kServices)
    if (name == service) return port;
  return 0;
}

// A resolver result's address, cut to what TVarSin holds.
void CopyAddress(const addrinfo &entry, TVarSin &address) {
  std::memcpy(&address, entry.ai_addr, std::min<size_t>(entry.ai_addrlen, sizeof address));
}

// The wait left of `timeout` (milliseconds; negative: no limit) counted from `start`. False once
// more than all of it is spent: at the deadline itself one last look without waiting remains.
bool WaitLeft(uint64_t start, int timeout, int &wait) {
  wait = timeout;
  if (timeout < 0) return true;
  const uint64_t spent = TickDifference(start, TickNow());
  if (spent > static_cast<uint64_t>(timeout)) return false;
  wait = timeout - static_cast<int>(spent);
  return true;
}

// The receives inside the guard's life do not wait; also reset when one of them raises.
class DontWaitScope {
public:
  explicit DontWaitScope(int &flags) : flags_(flags) { flags_ = MSG_DONTWAIT; }
  ~DontWaitScope() { flags_ = 0; }
  DontWaitScope(const DontWaitScope &) = delete;
  DontWaitScope &operator=(const DontWaitScope &) = delete;

private:
  int &flags_;
};

} // namespace

ESocketError::ESocketError(int code, const std::string &text, const std::string &message)
    : std::runtime_error(message), ErrorCode(code), ErrorMessage(text) {}

ESocketError::ESocketError(int code, const std::string &text)
    : ESocketError(code, text, "TCP/IP Socket error " + std::to_string(code) + ": " + text) {}

TBlockSocket::TBlockSocket() {
  FdSetClear(fd_set_);
}

TBlockSocket::~TBlockSocket() {
  ReleaseForDestruction();
  if (socket_ != INVALID_SOCKET) TBlockSocket::Close();
}

void TBlockSocket::ReleaseForDestruction() {
  // Whatever the handlers refer to may be gone already: a dying socket reports nothing.
  RaiseExcept = false;
  OnStatus = nullptr;
  OnReadFilter = nullptr;
  OnWriteFilter = nullptr;
  OnCreateSocket = nullptr;
}

void TBlockSocket::SetMaxBandwidth(int value) {
  MaxSendBandwidth = value;
  MaxRecvBandwidth = value;
}

void TBlockSocket::SetFamily(TSocketFamily value) {
  family_ = value;
  remembered_family_ = value;
}

// ---- error discipline -------------------------------------------------------------------------

std::string TBlockSocket::GetErrorDesc(int code) {
  return WinsockErrorText(code);
}

void TBlockSocket::CheckSocketResult(int result) {
  last_error_desc_.clear();
  if (result == SOCKET_ERROR) {
    last_error_ = WSAGetLastError();
    last_error_desc_ = GetErrorDesc(last_error_);
  } else {
    last_error_ = 0;
  }
}

void TBlockSocket::RaiseOnError() {
  last_error_desc_ = GetErrorDesc(last_error_);
  if (last_error_ == 0 || last_error_ == WSAEWOULDBLOCK || last_error_ == WSAEINPROGRESS) return;
  DoStatus(HR_Error, std::to_string(last_error_) + "," + last_error_desc_);
  if (RaiseExcept) throw ESocketError(last_error_, last_error_desc_);
}

void TBlockSocket::SetLastError(int code) {
  last_error_ = code;
  last_error_desc_ = GetErrorDesc(code);
}

void TBlockSocket::DoStatus(THookSocketReason reason, const std::string &value) {
  if (OnStatus) OnStatus(this, reason, value);
}

void TBlockSocket::DoStatus(THookSocketReason reason, int64_t value) {
  if (OnStatus) OnStatus(this, reason, std::to_string(value));
}

bool TBlockSocket::CheckHandle() {
  if (socket_ != INVALID_SOCKET && setup_error_ == 0) return true;
  last_error_ = setup_error_ != 0 ? setup_error_ : WSAENOTSOCK;
  RaiseOnError();
  return false;
}

bool TBlockSocket::TestStopFlag() {
  if (!StopFlag.exchange(false) && !StopSourceSet()) return false;
  last_error_ = WSAECONNABORTED;
  RaiseOnError();
  return true;
}

// ---- resolution -------------------------------------------------------------------------------

bool TBlockSocket::UsesAddressInfoApi() const {
  return PrimaryHasAddressInfo() || (family_ == SF_IP6 && SecondaryHasAddressInfo());
}

void TBlockSocket::ResolveAddress(const std::string &host_text, const std::string &port, TVarSin &address) {
  DoStatus(HR_ResolvingBegin, host_text + ":" + port);
  last_error_ = 0;
  std::memset(&address, 0, sizeof address);
  // Blanks around a name are dropped here as in the address tests, so both read it alike.
  const std::string host = TrimSpaces(host_text);
  int families[2] = {AF_INET, AF_INET6};
  int tries = 1;
  if (socket_ != INVALID_SOCKET) {
    families[0] = ipv6_in_use_ ? AF_INET6 : AF_INET;
  } else if (family_ == SF_IP4) {
    families[0] = AF_INET;
  } else if (family_ == SF_IP6) {
    families[0] = AF_INET6;
  } else if (IsIPv4Text(host)) {
    families[0] = AF_INET;
  } else if (IsIPv6Text(host)) {
    families[0] = AF_INET6;
  } else {
    tries = 2;
    if (!PreferIP4) std::swap(families[0], families[1]);
  }
  last_error_ = LookupAddress(host, port, families[0], address);
  if (last_error_ != 0 && tries == 2) last_error_ = LookupAddress(host, port, families[1], address);
  DoStatus(HR_ResolvingEnd, host_text + ":" + port);
}

int TBlockSocket::LookupAddress(const std::string &host, const std::string &port, int family,
                                TVarSin &address) {
  addrinfo hints{};
  hints.ai_family = family;
  hints.ai_socktype = SocketType();
  hints.ai_protocol = SocketProtocol();
  const char *node = host.c_str();
  std::string service = port.empty() ? "0" : port;
  bool with_service = true;
  if (SocketType() == SOCK_RAW) {
    hints.ai_socktype = 0;
    hints.ai_protocol = 0;
    with_service = false;
  } else if (host == "0.0.0.0" || host == "::0" || host == "::") {
    hints.ai_flags = AI_PASSIVE;
    node = nullptr;
  } else if (host == "127.0.0.1" || host == "::1") {
    node = nullptr;
  }
  addrinfo *list = nullptr;
  int rc = getaddrinfo(node, with_service ? service.c_str() : nullptr, &hints, &list);
  if (rc == EAI_SERVICE && KnownServicePort(service) != 0) {
    service = std::to_string(KnownServicePort(service));
    rc = getaddrinfo(node, service.c_str(), &hints, &list);
  }
  const int saved_errno = errno;
  if (rc == 0 && list) {
    CopyAddress(*list, address);
  }
  if (list) freeaddrinfo(list);
  return AddrInfoErrorToWinsock(rc, saved_errno);
}

void TBlockSocket::ResolveAll(const std::string &name, std::vector<std::string> &list) {
  list.clear();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SocketType();
  hints.ai_protocol = SocketProtocol();
  addrinfo *entries = nullptr;
  const std::string host = TrimSpaces(name);
  if (getaddrinfo(host.c_str(), nullptr, &hints, &entries) == 0) {
    for (addrinfo *e = entries; e; e = e->ai_next) {
      if (e->ai_family == AF_INET && family_ == SF_IP6) continue;
      if (e->ai_family == AF_INET6 && family_ == SF_IP4) continue;
      if (e->ai_family != AF_INET && e->ai_family != AF_INET6) continue;
      TVarSin address{};
      CopyAddress(*e, address);
      const std::string text = AddressToText(address);
      // The list repeats an address once per socket type; keep each address once.
      if (std::find(list.begin(), list.end(), text) == list.end()) list.push_back(text);
    }
  }
  if (entries) freeaddrinfo(entries);
  if (list.empty()) list.push_back("0.0.0.0");
}

std::string TBlockSocket::ResolveFirst(const std::string &name) {
  std::vector<std::string> list;
  ResolveAll(name, list);
  return list.front();
}

int TBlockSocket::ResolveServicePort(const std::string &port) {
  addrinfo hints{};
  hints.ai_flags = AI_PASSIVE;
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SocketType();
  hints.ai_protocol = SocketProtocol();
  addrinfo *entries = nullptr;
  int result = 0;
  const std::string service = TrimSpaces(port);
  if (!service.empty() && getaddrinfo(nullptr, service.c_str(), &hints, &entries) == 0 && entries) {
    TVarSin address{};
    CopyAddress(*entries, address);
    if (address.sa.sa_family == AF_INET || address.sa.sa_family == AF_INET6) result = AddressPort(address);
  } else {
    result = KnownServicePort(service);
  }
  if (entries) freeaddrinfo(entries);
  return result;
}

std::string TBlockSocket::LocalHostName() {
  const std::string name = HostName();
  return name.empty() ? "127.0.0.1" : name;
}

TVarSin TBlockSocket::TextToIPv6Address(const std::string &text) {
  TVarSin address{};
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST;
  hints.ai_family = AF_INET6;
  addrinfo *entries = nullptr;
  const std::string host = TrimSpaces(text);
  if (getaddrinfo(host.c_str(), nullptr, &hints, &entries) == 0 && entries &&
      entries->ai_family == AF_INET6) {
    CopyAddress(*entries, address);
  }
  if (entries) freeaddrinfo(entries);
  return address;
}

std::string TBlockSocket::IPv6AddressToText(const TVarSin &address) {
  return AddressToText(address);
}

std::string TBlockSocket::AddressToText(const TVarSin &address) const {
  const socklen_t size = AddressSize(address);
  if (size == 0) return "0.0.0.0";
  char host[1025] = {};
  char service[32] = {};
  if (getnameinfo(&address.sa, size, host, sizeof host, service, sizeof service,
                  NI_NUMERICHOST | NI_NUMERICSERV) != 0)
    return {};
  return host;
}

int TBlockSocket::AddressPort(const TVarSin &address) const {
  switch (address.sa.sa_family) {
  case AF_INET:
    return ntohs(address.sin.sin_port);
  case AF_INET6:
    return ntohs(address.sin6.sin6_port);
  default:
    return 0;
  }
}

// ---- creation, binding, connecting --------------------------------------------------------------

void TBlockSocket::CreateSocketFor(const TVarSin &address) {
  StopFlag = false;
  recv_counter_ = 0;
  send_counter_ = 0;
  last_error_ = 0;
  if (socket_ != INVALID_SOCKET) return;
  line_buffer_.clear();
  bound_ = false;
  ipv6_in_use_ = address.sa.sa_family == AF_INET6;
  socket_ = ::socket(address.sa.sa_family, SocketType() | SOCK_CLOEXEC, SocketProtocol());
  if (socket_ < 0) {
    socket_ = INVALID_SOCKET;
    last_error_ = ErrnoToWinsock(errno);
    NoteSetupError();
  } else {
    setup_error_ = 0;
  }
  FdSetClear(fd_set_);
  FdSetAdd(fd_set_, socket_);
  RaiseOnError();
  DoStatus(HR_SocketCreate, ipv6_in_use_ ? "IPv6" : "IPv4");
  if (socket_ == INVALID_SOCKET) return;
  ApplyPendingOptions();
  if (OnCreateSocket) OnCreateSocket(this);
}

void TBlockSocket::CreateSocketByName(const std::string &name) {
  last_error_ = 0;
  if (socket_ != INVALID_SOCKET) return;
  TVarSin address{};
  ResolveAddress(name, "0", address);
  if (last_error_ == 0) {
    CreateSocketFor(address);
  } else {
    NoteSetupError();
    RaiseOnError();
  }
}

void TBlockSocket::SetRemoteAddress(const std::string &IP, const std::string &Port) {
  ResolveAddress(IP, Port, remote_sin_);
}

void TBlockSocket::ReadAddresses() {
  if (socket_ == INVALID_SOCKET) return;
  SockGetSockName(socket_, local_sin_);
  SockGetPeerName(socket_, remote_sin_);
}

void TBlockSocket::Bind(const std::string &IP, const std::string &Port) {
  last_error_ = 0;
  // The system picks the address at the first send or connect.
  if (socket_ == INVALID_SOCKET && family_ == SF_Any && IP == "0.0.0.0" && Port == "0") return;
  TVarSin address{};
  ResolveAddress(IP, Port, address);
  if (last_error_ == 0) {
    if (socket_ == INVALID_SOCKET) CreateSocketFor(address);
    if (socket_ != INVALID_SOCKET) {
      CheckSocketResult(SockBind(socket_, address));
      SockGetSockName(socket_, local_sin_);
      line_buffer_.clear();
      if (last_error_ == 0) bound_ = true;
    }
  } else if (socket_ == INVALID_SOCKET) {
    NoteSetupError();
  }
  RaiseOnError();
  DoStatus(HR_Bind, IP + ":" + Port);
}

void TBlockSocket::Connect(const std::string &IP, const std::string &Port) {
  StreamConnect(IP, Port, ConnectionTimeout);
}

void TBlockSocket::StreamConnect(const std::string &IP, const std::string &Port, int timeout_ms) {
  TVarSin address{};
  ResolveAddress(IP, Port, address);
  if (last_error_ == 0) {
    if (socket_ == INVALID_SOCKET) CreateSocketFor(address);
    if (socket_ != INVALID_SOCKET) {
      CheckSocketResult(SockConnect(socket_, address, BoundedWait(timeout_ms), StopSource));
      if (last_error_ != 0 && StopSourceSet()) last_error_ = WSAECONNABORTED;
      if (last_error_ == 0) ReadAddresses();
      line_buffer_.clear();
      cr_pending_ = false;
      lf_pending_ = false;
    }
  } else if (socket_ == INVALID_SOCKET) {
    NoteSetupError();
  }
  RaiseOnError();
  DoStatus(HR_Connect, IP + ":" + Port);
}

void TBlockSocket::AttachHandle(TSocket handle) {
  recv_counter_ = 0;
  send_counter_ = 0;
  socket_ = handle;
  setup_error_ = 0;
  FdSetClear(fd_set_);
  FdSetAdd(fd_set_, socket_);
  ReadAddresses();
  const int family = remote_sin_.sa.sa_family ? remote_sin_.sa.sa_family : local_sin_.sa.sa_family;
  ipv6_in_use_ = family == AF_INET6;
}

void TBlockSocket::Close() {
  CloseNow();
}

void TBlockSocket::CloseNow() {
  if (socket_ != INVALID_SOCKET) SockClose(socket_);
  socket_ = INVALID_SOCKET;
  setup_error_ = 0;
  bound_ = false;
  pending_options_.clear();
  family_ = remembered_family_;
  last_error_ = 0;
  last_error_desc_.clear();
  DoStatus(HR_SocketClose, "");
}

// ---- options ----------------------------------------------------------------------------------

void TBlockSocket::AddPendingOption(const TSynaOption &option) {
  pending_options_.push_back(option);
  if (socket_ != INVALID_SOCKET) ApplyPendingOptions();
}

void TBlockSocket::ApplyPendingOptions() {
  for (auto it = pending_options_.rbegin(); it != pending_options_.rend(); ++it)
    ApplyOption(*it);
  pending_options_.clear();
}

void TBlockSocket::ApplyOption(const TSynaOption &option) {
  auto set_int = [this](int level, int name, int value) {
    return ::setsockopt(socket_, level, name, &value, sizeof value);
  };
  auto set_time = [this](int name, int ms) {
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return ::setsockopt(socket_, SOL_SOCKET, name, &tv, sizeof tv);
  };
  const int ip_level = ipv6_in_use_ ? IPPROTO_IPV6 : IPPROTO_IP;
  int rc = 0;
  switch (option.Option) {
  case SOT_Linger: {
    linger l{};
    l.l_onoff = option.Enabled ? 1 : 0;
    l.l_linger = option.Value / 1000;
    rc = ::setsockopt(socket_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    break;
  }
  case SOT_RecvBuff:
    rc = set_int(SOL_SOCKET, SO_RCVBUF, option.Value);
    break;
  case SOT_SendBuff:
    rc = set_int(SOL_SOCKET, SO_SNDBUF, option.Value);
    break;
  case SOT_NonBlock: {
    const int flags = ::fcntl(socket_, F_GETFL);
    rc =
        flags < 0 ? -1 : ::fcntl(socket_, F_SETFL, option.Enabled ? flags | O_NONBLOCK : flags & ~O_NONBLOCK);
    non_block_ = option.Enabled;
    break;
  }
  case SOT_RecvTimeout:
    rc = set_time(SO_RCVTIMEO, option.Value);
    break;
  case SOT_SendTimeout:
    rc = set_time(SO_SNDTIMEO, option.Value);
    break;
  case SOT_Reuse:
    rc = set_int(SOL_SOCKET, SO_REUSEADDR, option.Enabled ? 1 : 0);
    break;
  case SOT_TTL:
    rc = set_int(ip_level, ipv6_in_use_ ? IPV6_UNICAST_HOPS : IP_TTL, option.Value);
    break;
  case SOT_Broadcast:
    rc = set_int(SOL_SOCKET, SO_BROADCAST, option.Enabled ? 1 : 0);
    break;
  case SOT_MulticastTTL:
    rc = set_int(ip_level, ipv6_in_use_ ? IPV6_MULTICAST_HOPS : IP_MULTICAST_TTL, option.Value);
    break;
  case SOT_MulticastLoop:
    rc = set_int(ip_level, ipv6_in_use_ ? IPV6_MULTICAST_LOOP : IP_MULTICAST_LOOP, option.Enabled ? 1 : 0);
    break;
  }
  if (rc < 0) {
    last_error_ = ErrnoToWinsock(errno);
    RaiseOnError();
  }
}

// ---- sending ----------------------------------------------------------------------------------

void TBlockSocket::ThrottleTransfer(int count, int limit, uint64_t &next_tick) {
  ThrottleWait(limit, next_tick);
  ThrottleCharge(count, limit, next_tick);
}

void TBlockSocket::ThrottleWait(int limit, uint64_t next_tick) {
  if (limit <= 0) return;
  const uint64_t now = TickNow();
  if (now < next_tick) {
    const uint64_t wait = next_tick - now;
    DoStatus(HR_Wait, static_cast<int64_t>(wait));
    std::this_thread::sleep_for(std::chrono::milliseconds(wait));
  }
}

void TBlockSocket::ThrottleCharge(int count, int limit, uint64_t &next_tick) {
  if (limit <= 0) return;
  next_tick = static_cast<uint64_t>(count > 0 ? count : 0) * 1000u / static_cast<uint64_t>(limit) + TickNow();
}

int TBlockSocket::SendPiece(const void *buffer, int length) {
  if (non_block_) {
    const int n = SockSend(socket_, buffer, length, 0);
    CheckSocketResult(n);
    return n;
  }
  const uint64_t start = TickNow();
  while (true) {
    const int n = SockSend(socket_, buffer, length, MSG_DONTWAIT);
    if (n >= 0 || WSAGetLastError() != WSAEWOULDBLOCK) {
      CheckSocketResult(n);
      return n;
    }
    // The peer takes nothing for now: wait for room, but not for ever.
    const int ready =
        FdSetWait(fd_set_, true, BoundedWait(MillisecondsLeft(start, ConnectionTimeout)), StopSource);
    if (ready < 0) {
      CheckSocketResult(ready);
      return ready;
    }
    if (ready == 0) {
      SetLastError(StopSourceSet() ? WSAECONNABORTED : WSAETIMEDOUT);
      return SOCKET_ERROR;
    }
  }
}

int TBlockSocket::SendData(const void *buffer, int length) {
  if (TestStopFlag()) return 0;
  if (!CheckHandle()) return 0;
  std::string filtered;
  buffer = ApplyWriteFilter(buffer, length, filtered);
  int sent = 0;
  while (sent < length) {
    const int piece = std::min(SendMaxChunk, length - sent);
    if (piece <= 0) break;
    ThrottleTransfer(piece, MaxSendBandwidth, next_send_tick_);
    const int n = SendPiece(OffsetPointer(buffer, static_cast<size_t>(sent)), piece);
    if (last_error_ != 0) break;
    sent += n;
    send_counter_ += static_cast<uint64_t>(n);
    DoStatus(HR_WriteCount, static_cast<int64_t>(n));
  }
  RaiseOnError();
  return sent;
}

void TBlockSocket::SendByte(uint8_t data) {
  SendData(&data, 1);
}

void TBlockSocket::SendString(const std::string &data) {
  SendData(data.data(), static_cast<int>(data.size()));
}

void TBlockSocket::SendInteger(int32_t data) {
  const uint32_t v = static_cast<uint32_t>(data);
  const char bytes[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                         static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
  SendData(bytes, 4);
}

void TBlockSocket::SendBlock(const std::string &data) {
  SendInteger(static_cast<int32_t>(data.size()));
  SendString(data);
}

void TBlockSocket::SendStreamData(std::istream &stream) {
  const int chunk = std::max(SendMaxChunk, 1);
  std::string piece(static_cast<size_t>(chunk), '\0');
  while (true) {
    stream.read(piece.data(), chunk);
    const std::streamsize got = stream.gcount();
    if (got <= 0) break;
    SendString(piece.substr(0, static_cast<size_t>(got)));
  }
}

namespace {
int64_t StreamRemaining(std::istream &stream) {
  const std::streampos position = stream.tellg();
  if (position < 0) return 0;
  stream.seekg(0, std::ios::end);
  const std::streampos end = stream.tellg();
  stream.seekg(position);
  return end > position ? static_cast<int64_t>(end - position) : 0;
}
} // namespace

void TBlockSocket::SendStreamSized(std::istream &stream) {
  SendInteger(static_cast<int32_t>(StreamRemaining(stream)));
  SendStreamData(stream);
}

void TBlockSocket::SendStreamNetOrder(std::istream &stream) {
  SendString(EncodeLongBE(static_cast<uint32_t>(StreamRemaining(stream))));
  SendStreamData(stream);
}

int TBlockSocket::SendDataTo(const void *buffer, int length) {
  return SendToRemote(buffer, length);
}

int TBlockSocket::SendToRemote(const void *buffer, int length) {
  if (TestStopFlag()) return 0;
  if (!CheckHandle()) return 0;
  ThrottleTransfer(length, MaxSendBandwidth, next_send_tick_);
  const int n = SockSendTo(socket_, buffer, length, 0, remote_sin_);
  CheckSocketResult(n);
  RaiseOnError();
  if (n > 0) send_counter_ += static_cast<uint64_t>(n);
  DoStatus(HR_WriteCount, static_cast<int64_t>(n));
  return n;
}

// ---- receiving --------------------------------------------------------------------------------

int TBlockSocket::RecvData(void *buffer, int length) {
  if (TestStopFlag()) return 0;
  if (!CheckHandle()) return 0;
  ThrottleWait(MaxRecvBandwidth, next_recv_tick_);
  int n = SockRecv(socket_, buffer, length, 0);
  if (n == 0 && length > 0) {
    last_error_ = WSAECONNRESET;
  } else {
    CheckSocketResult(n);
  }
  RaiseOnError();
  if (n < 0) return n;
  ThrottleCharge(n, MaxRecvBandwidth, next_recv_tick_);
  recv_counter_ += static_cast<uint64_t>(n);
  DoStatus(HR_ReadCount, static_cast<int64_t>(n));
  return ApplyReadFilter(buffer, n);
}

const void *TBlockSocket::ApplyWriteFilter(const void *buffer, int &length, std::string &storage) {
  if (!OnWriteFilter || length <= 0) return buffer;
  storage.assign(static_cast<const char *>(buffer), static_cast<size_t>(length));
  OnWriteFilter(this, storage);
  if (storage.size() > static_cast<size_t>(length)) storage.resize(static_cast<size_t>(length));
  length = static_cast<int>(storage.size());
  return storage.data();
}

int TBlockSocket::ApplyReadFilter(void *buffer, int count) {
  if (!OnReadFilter || count <= 0) return count;
  std::string data(static_cast<const char *>(buffer), static_cast<size_t>(count));
  OnReadFilter(this, data);
  if (data.size() > static_cast<size_t>(count)) data.resize(static_cast<size_t>(count));
  std::memcpy(buffer, data.data(), data.size());
  return static_cast<int>(data.size());
}

int TBlockSocket::RecvFromRaw(void *buffer, int length, TVarSin &from) {
  if (TestStopFlag()) return 0;
  if (!CheckHandle()) return 0;
  // A datagram is charged for what it held, not for the room it was read into.
  ThrottleWait(MaxRecvBandwidth, next_recv_tick_);
  const int n = SockRecvFrom(socket_, buffer, length, recv_flags_, from);
  CheckSocketResult(n);
  RaiseOnError();
  if (n < 0) return n;
  ThrottleCharge(n, MaxRecvBandwidth, next_recv_tick_);
  recv_counter_ += static_cast<uint64_t>(n);
  DoStatus(HR_ReadCount, static_cast<int64_t>(n));
  return n;
}

int TBlockSocket::RecvDataFrom(void *buffer, int length) {
  TVarSin from{};
  const int n = RecvFromRaw(buffer, length, from);
  if (n >= 0 && last_error_ == 0) remote_sin_ = from;
  return n;
}

std::string TBlockSocket::RecvPacket(int timeout) {
  last_error_ = 0;
  if (!line_buffer_.empty()) return std::exchange(line_buffer_, std::string());
  if (!CheckHandle()) return {};
  return IsDatagram() ? RecvDatagramPacket(timeout) : RecvStreamPacket(timeout);
}

std::string TBlockSocket::RecvStreamPacket(int timeout) {
  const uint64_t start = TickNow();
  int wait = timeout;
  while (true) {
    // What is already waiting is taken without a wait.
    int n = PendingBytes();
    if (n <= 0) {
      if (!CanRead(wait)) {
        if (last_error_ == 0) last_error_ = WSAETIMEDOUT;
        break;
      }
      n = PendingBytes();
      // Readable with nothing waiting: the peer has closed the connection.
      if (n <= 0) {
        last_error_ = WSAECONNRESET;
        break;
      }
    }
    std::string result(static_cast<size_t>(std::min(n, kMaxStreamRead)), '\0');
    packet_discarded_ = false;
    int got;
    {
      DontWaitScope dont_wait(recv_flags_);
      got = RecvData(result.data(), static_cast<int>(result.size()));
    }
    // A failed read hands out nothing, never the unfilled buffer.
    if (last_error_ != 0 || got < 0) return {};
    if (!packet_discarded_) {
      result.resize(static_cast<size_t>(std::min<int>(got, static_cast<int>(result.size()))));
      return result;
    }
    // Only protocol data came (an SSL record without payload): wait on for the rest of the time.
    if (!WaitLeft(start, timeout, wait)) {
      last_error_ = WSAETIMEDOUT;
      break;
    }
  }
  RaiseOnError();
  return {};
}

std::string TBlockSocket::RecvDatagramPacket(int timeout) {
  // Each datagram is read whole, an empty one included, so that none can block the queue. What
  // is already queued is taken without a wait; a datagram the socket does not pass on (not from
  // its peer) is skipped, and the next one waited for within the time.
  constexpr size_t kMaxDatagram = 65536;
  if (datagram_buffer_.size() < kMaxDatagram) datagram_buffer_.resize(kMaxDatagram);
  const uint64_t start = TickNow();
  while (true) {
    packet_discarded_ = false;
    int got;
    {
      DontWaitScope dont_wait(recv_flags_);
      got = RecvData(datagram_buffer_.data(), static_cast<int>(kMaxDatagram));
    }
    if (last_error_ == 0 && got >= 0 && !packet_discarded_) return std::string(datagram_buffer_.data(), got);
    if (last_error_ != 0 && last_error_ != WSAEWOULDBLOCK) return {};
    int wait;
    if (!WaitLeft(start, timeout, wait)) break;
    if (last_error_ == WSAEWOULDBLOCK && !CanRead(wait)) break;
  }
  if (last_error_ == 0 || last_error_ == WSAEWOULDBLOCK) last_error_ = WSAETIMEDOUT;
  RaiseOnError();
  return {};
}

bool TBlockSocket::TimeLeftForNextPacket(uint64_t tick, int timeout, int &remaining) {
  if (InterPacketTimeout || timeout < 0) return true;
  remaining -= static_cast<int>(std::min<uint64_t>(TickDifference(tick, TickNow()), 0x7FFFFFFF));
  if (remaining > 0) return true;
  last_error_ = WSAETIMEDOUT;
  return false;
}

int TBlockSocket::RecvExactInto(std::string &out, int length, int timeout) {
  last_error_ = 0;
  if (length < 1) return 0;
  int count = 0;
  int remaining = timeout;
  std::string unused;
  while (true) {
    const uint64_t tick = TickNow();
    std::string packet = RecvPacket(remaining);
    const size_t take = std::min(packet.size(), static_cast<size_t>(length - count));
    out.append(packet, 0, take);
    count += static_cast<int>(take);
    unused = packet.substr(take);
    if (last_error_ != 0 || count >= length) break;
    if (!TimeLeftForNextPacket(tick, timeout, remaining)) {
      RaiseOnError();
      break;
    }
  }
  line_buffer_ = unused + line_buffer_;
  return count;
}

int TBlockSocket::RecvExact(void *buffer, int length, int timeout) {
  std::string data;
  const int count = RecvExactInto(data, length, timeout);
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  return count;
}

std::string TBlockSocket::RecvExactString(int length, int timeout) {
  std::string data;
  if (length < 1) {
    last_error_ = 0;
    return data;
  }
  // Grows with what arrives, never to a size the peer merely announced.
  RecvExactInto(data, length, timeout);
  if (last_error_ != 0) return {};
  return data;
}

uint8_t TBlockSocket::RecvByte(int timeout) {
  if (line_buffer_.empty()) {
    line_buffer_ = RecvPacket(timeout);
  } else {
    last_error_ = 0;
  }
  if (last_error_ != 0 || line_buffer_.empty()) return 0;
  const uint8_t b = static_cast<uint8_t>(line_buffer_[0]);
  line_buffer_.erase(0, 1);
  return b;
}

int32_t TBlockSocket::RecvInteger(int timeout) {
  const std::string s = RecvExactString(4, timeout);
  if (last_error_ != 0 || s.size() < 4) return 0;
  const uint32_t v = static_cast<uint8_t>(s[0]) | static_cast<uint8_t>(s[1]) << 8 |
                     static_cast<uint8_t>(s[2]) << 16 |
                     static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24;
  return static_cast<int32_t>(v);
}

std::string TBlockSocket::RecvLine(int timeout) {
  std::string line = RecvTerminated(timeout, "\r\n");
  if (last_error_ != 0) return {};
  return line;
}

std::string TBlockSocket::RecvTerminated(int timeout, const std::string &terminator) {
  last_error_ = 0;
  if (terminator.empty()) return {};
  const bool convert = ConvertLineEnd && terminator == "\r\n";
  std::string gathered;
  size_t position = std::string::npos;
  size_t end_length = 0;
  int remaining = timeout;
  while (true) {
    const uint64_t tick = TickNow();
    const std::string packet = RecvPacket(remaining);
    if (last_error_ != 0) break;
    gathered += packet;
    if (convert) {
      // The other half of a CR LF or LF CR pair that was split across packets.
      if (!gathered.empty()) {
        if (cr_pending_ && gathered[0] == '\n')
          gathered.erase(0, 1);
        else if (lf_pending_ && gathered[0] == '\r')
          gathered.erase(0, 1);
        cr_pending_ = false;
        lf_pending_ = false;
      }
      std::string line_end;
      const size_t p = FindLineEnd(gathered, line_end);
      if (p > 0) {
        position = p - 1;
        end_length = line_end.size();
        cr_pending_ = line_end == "\r";
        lf_pending_ = line_end == "\n";
      }
    } else {
      position = gathered.find(terminator);
      end_length = terminator.size();
    }
    // The limit applies to the line itself, not to later lines that came in the same packet.
    const size_t line_length = position != std::string::npos ? position : gathered.size();
    if (MaxLineLength > 0 && line_length > static_cast<size_t>(MaxLineLength)) {
      last_error_ = WSAENOBUFS;
      break;
    }
    if (position != std::string::npos) break;
    if (!TimeLeftForNextPacket(tick, timeout, remaining)) break;
  }
  std::string result;
  if (last_error_ == 0 && position != std::string::npos) {
    result = gathered.substr(0, position);
    gathered.erase(0, position + end_length);
  }
  line_buffer_ = gathered + line_buffer_;
  RaiseOnError();
  return result;
}

std::string TBlockSocket::RecvBlock(int timeout) {
  const int32_t length = RecvInteger(timeout);
  if (last_error_ != 0) return {};
  if (length > kMaxBlockLength) {
    last_error_ = WSAENOBUFS;
    RaiseOnError();
    return {};
  }
  return RecvExactString(length, timeout);
}

void TBlockSocket::RecvStreamData(std::ostream &stream, int timeout) {
  while (true) {
    const std::string packet = RecvPacket(timeout);
    if (last_error_ != 0) break;
    WriteStringToStream(stream, packet);
  }
}

void TBlockSocket::ReadStreamPieces(std::ostream &stream, int64_t count, int timeout) {
  const int chunk = std::max(SendMaxChunk, 1);
  while (count > 0) {
    const int piece = static_cast<int>(std::min<int64_t>(count, chunk));
    const std::string data = RecvExactString(piece, timeout);
    if (last_error_ != 0) return;
    WriteStringToStream(stream, data);
    count -= piece;
  }
}

void TBlockSocket::RecvStreamSized(std::ostream &stream, int timeout) {
  const int32_t count = RecvInteger(timeout);
  if (last_error_ == 0) ReadStreamPieces(stream, count, timeout);
}

void TBlockSocket::RecvStreamNetOrder(std::ostream &stream, int timeout) {
  const std::string s = RecvExactString(4, timeout);
  if (last_error_ == 0) ReadStreamPieces(stream, DecodeLongBE(s, 1), timeout);
}

int TBlockSocket::PeekData(void *buffer, int length) {
  if (!CheckHandle()) return 0;
  const int n = SockRecv(socket_, buffer, length, MSG_PEEK);
  CheckSocketResult(n);
  RaiseOnError();
  return n;
}

uint8_t TBlockSocket::PeekByte(int timeout) {
  uint8_t b = 0;
  if (CanRead(timeout)) {
    if (PeekData(&b, 1) == 1) return b;
    return 0;
  }
  if (last_error_ == 0) {
    last_error_ = WSAETIMEDOUT;
    RaiseOnError();
  }
  return 0;
}

int TBlockSocket::PendingBytes() {
  if (socket_ == INVALID_SOCKET) return 0;
  int n = 0;
  if (::ioctl(socket_, FIONREAD, &n) != 0) return 0;
  return n;
}

void TBlockSocket::ReportError(int code) {
  SetLastError(code);
  RaiseOnError();
}

void TBlockSocket::DrainInput() {
  const uint64_t start = TickNow();
  size_t drained = line_buffer_.size();
  line_buffer_.clear();
  while (socket_ != INVALID_SOCKET && drained < kDrainMaxBytes &&
         TickDifference(start, TickNow()) < kDrainMaxMs) {
    if (PendingBytes() <= 0 && !CanRead(0)) break;
    const std::string packet = RecvPacket(0);
    if (last_error_ != 0) break;
    drained += packet.size();
  }
  last_error_ = 0;
  last_error_desc_.clear();
}

// ---- waiting ----------------------------------------------------------------------------------

bool TBlockSocket::WaitFor(bool write, int timeout) {
  if (!CheckHandle()) return false;
  const int n = FdSetWait(fd_set_, write, BoundedWait(timeout), StopSource);
  CheckSocketResult(n);
  if (n == 0 && StopSourceSet()) last_error_ = WSAECONNABORTED;
  RaiseOnError();
  const bool ready = last_error_ == 0 && n > 0;
  if (ready) DoStatus(write ? HR_CanWrite : HR_CanRead, "");
  return ready;
}

int TBlockSocket::BoundedWait(int timeout) const {
  const int left = MillisecondsLeft(exchange_start_, exchange_limit_);
  if (left < 0) return timeout;
  return timeout < 0 ? left : std::min(timeout, left);
}

void TBlockSocket::LimitExchange(int limit_ms) {
  exchange_start_ = TickNow();
  exchange_limit_ = limit_ms;
}

bool TBlockSocket::CanRead(int timeout) {
  return WaitFor(false, timeout);
}

bool TBlockSocket::CanReadBuffered(int timeout) {
  if (!line_buffer_.empty()) return true;
  return CanRead(timeout);
}

bool TBlockSocket::CanWrite(int timeout) {
  return WaitFor(true, timeout);
}

// ---- addresses --------------------------------------------------------------------------------

std::string TBlockSocket::LocalAddressText() {
  return AddressToText(local_sin_);
}
std::string TBlockSocket::RemoteAddressText() {
  return AddressToText(remote_sin_);
}
int TBlockSocket::LocalPort() {
  return AddressPort(local_sin_);
}
int TBlockSocket::RemotePort() {
  return AddressPort(remote_sin_);
}
int TBlockSocket::SocketType() const {
  return 0;
}
int TBlockSocket::SocketProtocol() const {
  return 0;
}

} // namespace kv::net
