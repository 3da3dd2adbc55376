// The HTTP proxy's answer to CONNECT: any answer is taken or refused without failing, within
// its bounds on lines and line length.
#include "harness.h"
#include "net/tcp_socket.h"

using namespace kv::net;

namespace {

class Tunnel : public TTCPBlockSocket {
public:
  void Exchange() { HttpTunnelExchange("time.example.org", "123"); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  kvfuzz::ScriptedPeer proxy(kvfuzz::Text(data + 1, size - 1));
  Tunnel sock;
  sock.HTTPTunnelTimeout = 1000;
  sock.MaxLineLength = data[0] & 1 ? 0 : 64; // no limit of its own, or one below the tunnel's
  if (data[0] & 2) {
    sock.HTTPTunnelUser = "user";
    sock.HTTPTunnelPass = "secret";
  }
  sock.AttachHandle(proxy.TakeNear());
  const int limit = sock.MaxLineLength;
  sock.Exchange();
  if (sock.HttpTunnelInUse() && sock.LastError() != 0) kvfuzz::Broken("a tunnel in use after a failure");
  if (sock.MaxLineLength != limit) kvfuzz::Broken("the socket's line limit was not given back");
  sock.CloseNow();
  return 0;
}
