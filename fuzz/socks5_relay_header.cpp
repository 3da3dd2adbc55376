// The SOCKS5 UDP relay header: any datagram from the relay (or from elsewhere) is taken with
// its payload intact, or dropped; never read past its end.
#include <arpa/inet.h>
#include <cstring>
#include <vector>

#include "harness.h"
#include "net/udp_socket.h"

using namespace kv::net;

namespace {

TVarSin Endpoint(const char *ip, int port) {
  TVarSin a{};
  a.sin.sin_family = AF_INET;
  a.sin.sin_port = htons(static_cast<uint16_t>(port));
  ::inet_pton(AF_INET, ip, &a.sin.sin_addr);
  return a;
}

class Relayed : public TUDPBlockSocket {
public:
  int Take(std::vector<char> &datagram, bool from_relay, bool fixed) {
    relay_sin_ = Endpoint("127.0.0.1", 1080);
    remote_sin_ = Endpoint("192.0.2.7", 123);
    peer_fixed_ = fixed;
    packet_discarded_ = false;
    const TVarSin from = from_relay ? relay_sin_ : Endpoint("127.0.0.2", 1080);
    return TakeRelayed(datagram.data(), static_cast<int>(datagram.size()), from);
  }
  bool Dropped() const { return packet_discarded_; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  static Relayed sock;
  const uint8_t mode = data[0];
  std::vector<char> datagram(data + 1, data + size);
  const std::vector<char> original = datagram;
  const int n = sock.Take(datagram, !(mode & 1), mode & 2);
  if (sock.Dropped()) return 0;
  if (n < 0 || static_cast<size_t>(n) > original.size()) kvfuzz::Broken("a payload longer than its datagram");
  if (n > 0 &&
      std::memcmp(datagram.data(), original.data() + (original.size() - static_cast<size_t>(n)), n) != 0)
    kvfuzz::Broken("the payload is not the datagram's tail");
  sock.SocksDecodeAddress(kvfuzz::Text(data + 1, size - 1));
  return 0;
}
