#pragma once
// The socket layer's binding to the system's sockets: start-up use count, the process-wide
// resolver lock, the socket-address type, the wait set, and thin call wrappers that add address
// lengths and report failures as Winsock codes.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>

namespace kv::net {

using TSocket = int;
inline constexpr TSocket INVALID_SOCKET = -1;
inline constexpr int SOCKET_ERROR = -1;

// A socket address big enough for IPv6 (28 bytes); the family field says which form is used.
union TVarSin {
  sockaddr sa;
  sockaddr_in sin;
  sockaddr_in6 sin6;
};
static_assert(sizeof(TVarSin) == 28);

// Bytes of the address for its family: IPv4, IPv6, or 0 for any other family.
socklen_t AddressSize(const TVarSin &address);

// Counted start-up of the socket library. The sockets are linked, so loading cannot fail; the
// count keeps start-up and shutdown paired. An empty name means the default library.
bool LoadSocketLibrary(const std::string &library_name = "");
// Always true; the count never goes below 0.
bool UnloadSocketLibrary();
int SocketLibraryUseCount();
bool SocketLibraryLoaded();
// Whether the address-info functions (getaddrinfo, getnameinfo) are present in the primary and in
// the secondary library. Here they always are in the primary one while it is loaded.
bool PrimaryHasAddressInfo();
bool SecondaryHasAddressInfo();

// Held around every use of resolver functions that share storage, and around loading.
std::mutex &ResolverLock();

// A set of up to 64 socket handles to wait on.
struct TFdSet {
  uint32_t fd_count = 0;
  TSocket fd_array[64] = {};
};
void FdSetClear(TFdSet &set);
// Appends `socket` while fewer than 64 are held; otherwise leaves the set unchanged.
void FdSetAdd(TFdSet &set, TSocket socket);
// Waits until a handle of the set is readable (or writable), at most `timeout_ms` (-1: no limit).
// Returns the number of ready handles, 0 on time-out, SOCKET_ERROR on failure (see
// WSAGetLastError). Interrupted waits are resumed with the time left. With `stop`, the wait also
// ends (as a time-out) within kStopPollMs once the flag is set.
int FdSetWait(const TFdSet &set, bool for_write, int timeout_ms, const std::atomic<bool> *stop = nullptr);
// How often a wait with a stop flag looks at it, in milliseconds.
inline constexpr int kStopPollMs = 100;

// The Winsock code of the last failed call of this thread.
int WSAGetLastError();
// Records a Winsock code as the last error of this thread.
void WSASetLastError(int code);

// Call wrappers; each returns the system call's result (SOCKET_ERROR on failure).
int SockBind(TSocket s, const TVarSin &address);
// Connects; with `timeout_ms` >= 0 the attempt is given up after that long (10060), and with
// `stop` once that flag is set (10060 too).
int SockConnect(TSocket s, const TVarSin &address, int timeout_ms = -1,
                const std::atomic<bool> *stop = nullptr);
int SockGetSockName(TSocket s, TVarSin &address);
int SockGetPeerName(TSocket s, TVarSin &address);
// Never raises SIGPIPE.
int SockSend(TSocket s, const void *buffer, int length, int flags);
int SockRecv(TSocket s, void *buffer, int length, int flags);
int SockSendTo(TSocket s, const void *buffer, int length, int flags, const TVarSin &to);
int SockRecvFrom(TSocket s, void *buffer, int length, int flags, TVarSin &from);
int SockListen(TSocket s, int backlog);
// The accepted connection's handle (close-on-exec), or SOCKET_ERROR.
TSocket SockAccept(TSocket s);
int SockClose(TSocket s);

// This machine's host name, "" when it cannot be read.
std::string HostName();

void SetIPv6Any(in6_addr &address);
void SetIPv6Loopback(in6_addr &address);

} // namespace kv::net
