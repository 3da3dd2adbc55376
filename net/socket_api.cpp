#include "net/socket_api.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "net/net_util.h"
#include "net/socket_errors.h"

namespace kv::net {

namespace {
int g_use_count = 0;
bool g_primary_has_addrinfo = false;
thread_local int t_last_error = 0;

// Records errno as this thread's Winsock code and passes the result on.
int Checked(int result) {
  if (result < 0) {
    t_last_error = ErrnoToWinsock(errno);
    return SOCKET_ERROR;
  }
  return result;
}
} // namespace

socklen_t AddressSize(const TVarSin &address) {
  switch (address.sa.sa_family) {
  case AF_INET:
    return sizeof(sockaddr_in);
  case AF_INET6:
    return sizeof(sockaddr_in6);
  default:
    return 0;
  }
}

bool LoadSocketLibrary(const std::string & /*library_name*/) {
  std::lock_guard<std::mutex> lock(ResolverLock());
  if (g_use_count > 0) {
    ++g_use_count;
    return true;
  }
  g_primary_has_addrinfo = true;
  ++g_use_count;
  return true;
}

bool UnloadSocketLibrary() {
  std::lock_guard<std::mutex> lock(ResolverLock());
  if (g_use_count > 0) --g_use_count;
  if (g_use_count == 0) g_primary_has_addrinfo = false;
  return true;
}

int SocketLibraryUseCount() {
  std::lock_guard<std::mutex> lock(ResolverLock());
  return g_use_count;
}

bool SocketLibraryLoaded() {
  return SocketLibraryUseCount() > 0;
}

bool PrimaryHasAddressInfo() {
  std::lock_guard<std::mutex> lock(ResolverLock());
  return g_primary_has_addrinfo;
}

bool SecondaryHasAddressInfo() {
  return false;
}

std::mutex &ResolverLock() {
  static std::mutex lock;
  return lock;
}

void FdSetClear(TFdSet &set) {
  set.fd_count = 0;
}

void FdSetAdd(TFdSet &set, TSocket socket) {
  if (set.fd_count < 64) set.fd_array[set.fd_count++] = socket;
}

int FdSetWait(const TFdSet &set, bool for_write, int timeout_ms, const std::atomic<bool> *stop) {
  pollfd fds[64];
  for (uint32_t i = 0; i < set.fd_count; ++i) {
    fds[i].fd = set.fd_array[i];
    fds[i].events = for_write ? POLLOUT : POLLIN;
    fds[i].revents = 0;
  }
  const uint64_t start = TickNow();
  int wait = timeout_ms < 0 ? -1 : timeout_ms;
  while (true) {
    if (stop && stop->load()) return 0;
    // A stop flag is looked at every kStopPollMs: it may be set by any thread or signal handler.
    const int slice = stop && (wait < 0 || wait > kStopPollMs) ? kStopPollMs : wait;
    const int n = ::poll(fds, set.fd_count, slice);
    if (n > 0 || (n < 0 && errno != EINTR)) return Checked(n);
    if (n == 0 && slice == wait) return 0;
    wait = MillisecondsLeft(start, timeout_ms);
    if (wait == 0) return 0;
  }
}

int WSAGetLastError() {
  return t_last_error;
}
void WSASetLastError(int code) {
  t_last_error = code;
}

int SockBind(TSocket s, const TVarSin &address) {
  return Checked(::bind(s, &address.sa, AddressSize(address)));
}

int SockConnect(TSocket s, const TVarSin &address, int timeout_ms, const std::atomic<bool> *stop) {
  // A non-blocking connect and a wait, so that a silent peer cannot hold the caller for the
  // kernel's whole series of retries.
  const int flags = ::fcntl(s, F_GETFL);
  if (flags < 0) return Checked(-1);
  if (!(flags & O_NONBLOCK) && ::fcntl(s, F_SETFL, flags | O_NONBLOCK) < 0) return Checked(-1);
  int result = ::connect(s, &address.sa, AddressSize(address));
  int error = result == 0 ? 0 : errno;
  if (result < 0 && (error == EINPROGRESS || error == EINTR)) {
    TFdSet set;
    FdSetAdd(set, s);
    const int ready = FdSetWait(set, true, timeout_ms, stop);
    if (ready < 0) {
      error = errno;
    } else if (ready == 0) {
      error = ETIMEDOUT;
    } else {
      socklen_t len = sizeof error;
      if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &len) < 0) error = errno;
    }
  }
  if (!(flags & O_NONBLOCK)) ::fcntl(s, F_SETFL, flags);
  if (error != 0) {
    errno = error;
    return Checked(-1);
  }
  return 0;
}

int SockGetSockName(TSocket s, TVarSin &address) {
  std::memset(&address, 0, sizeof address);
  socklen_t len = sizeof address;
  return Checked(::getsockname(s, &address.sa, &len));
}

int SockGetPeerName(TSocket s, TVarSin &address) {
  std::memset(&address, 0, sizeof address);
  socklen_t len = sizeof address;
  return Checked(::getpeername(s, &address.sa, &len));
}

int SockSend(TSocket s, const void *buffer, int length, int flags) {
  ssize_t n;
  do
    n = ::send(s, buffer, static_cast<size_t>(length), flags | MSG_NOSIGNAL);
  while (n < 0 && errno == EINTR);
  return Checked(static_cast<int>(n));
}

int SockRecv(TSocket s, void *buffer, int length, int flags) {
  ssize_t n;
  do
    n = ::recv(s, buffer, static_cast<size_t>(length), flags);
  while (n < 0 && errno == EINTR);
  return Checked(static_cast<int>(n));
}

int SockSendTo(TSocket s, const void *buffer, int length, int flags, const TVarSin &to) {
  ssize_t n;
  do
    n = ::sendto(s, buffer, static_cast<size_t>(length), flags | MSG_NOSIGNAL, &to.sa, AddressSize(to));
  while (n < 0 && errno == EINTR);
  return Checked(static_cast<int>(n));
}

int SockRecvFrom(TSocket s, void *buffer, int length, int flags, TVarSin &from) {
  std::memset(&from, 0, sizeof from);
  ssize_t n;
  do {
    socklen_t len = sizeof from;
    n = ::recvfrom(s, buffer, static_cast<size_t>(length), flags, &from.sa, &len);
  } while (n < 0 && errno == EINTR);
  return Checked(static_cast<int>(n));
}

int SockListen(TSocket s, int backlog) {
  return Checked(::listen(s, backlog));
}

TSocket SockAccept(TSocket s) {
  int n;
  do
    n = ::accept4(s, nullptr, nullptr, SOCK_CLOEXEC);
  while (n < 0 && errno == EINTR);
  return Checked(n);
}

int SockClose(TSocket s) {
  return Checked(::close(s));
}

std::string HostName() {
  char buffer[256] = {};
  if (::gethostname(buffer, 254) != 0) return {};
  buffer[254] = '\0';
  return buffer;
}

void SetIPv6Any(in6_addr &address) {
  address = in6addr_any;
}
void SetIPv6Loopback(in6_addr &address) {
  address = in6addr_loopback;
}

} // namespace kv::net
