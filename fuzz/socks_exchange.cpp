// The SOCKS client's exchanges with a proxy that says anything: the greeting's answer, the
// login's answer and the replies (SOCKS 5 and SOCKS 4), read without failing or waiting.
#include "harness.h"
#include "net/tcp_socket.h"

using namespace kv::net;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  // The first byte chooses the version, the login and the request; the rest is the proxy.
  const uint8_t mode = data[0];
  kvfuzz::ScriptedPeer proxy(kvfuzz::Text(data + 1, size - 1));
  TTCPBlockSocket sock;
  sock.SocksTimeout = 1000;
  sock.SocksType = mode & 1 ? ST_Socks4 : ST_Socks5;
  if (mode & 2) {
    sock.SocksUsername = "user";
    sock.SocksPassword = "secret";
  }
  sock.SocksResolver = true;
  sock.AttachHandle(proxy.TakeNear());
  const uint8_t command = mode & 4 ? kSocksBind : mode & 8 ? kSocksUdpAssociate : kSocksConnect;
  if (sock.SocksGreeting() && sock.SocksSendRequest(command, mode & 16 ? "::1" : "time.example.org", "123") &&
      sock.SocksReadReply()) {
    if (sock.SocksResponsePort().empty()) kvfuzz::Broken("a granted reply without a port");
    sock.SocksReadReply(); // a BIND's second reply
  }
  sock.SocksDecodeAddress(kvfuzz::Text(data, size));
  sock.CloseNow();
  return 0;
}
