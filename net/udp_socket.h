#pragma once
// Datagram sockets. TDgramBlockSocket: Connect only sets the default destination, and data goes
// through sendto and recvfrom. TUDPBlockSocket: the UDP socket of the system; with SocksIP set it
// sends and receives through a SOCKS5 UDP relay (RFC 1928, UDP ASSOCIATE), keeping the
// association's control connection in a TTCPBlockSocket of its own. Each wait on that connection
// takes up to SocksTimeout, unless the association as a whole is given a limit.

#include <memory>
#include <string>

#include "net/socks_socket.h"
#include "net/tcp_socket.h"

namespace kv::net {

class TDgramBlockSocket : public TSocksBlockSocket {
public:
  TDgramBlockSocket() = default;

  // Resolves the destination and creates the socket; nothing is sent. A destination that cannot
  // be resolved is reported here and by every later send and receive until the next Connect.
  // Once connected, only datagrams from that destination are taken.
  void Connect(const std::string &IP, const std::string &Port) override;
  void CloseNow() override;
  int SendData(const void *buffer, int length) override;
  int RecvData(void *buffer, int length) override;
  int RecvDataFrom(void *buffer, int length) override;

protected:
  bool IsDatagram() const override { return true; }

  // Set by Connect: the peer whose datagrams are taken.
  bool peer_fixed_ = false;
};

class TUDPBlockSocket : public TDgramBlockSocket {
public:
  TUDPBlockSocket();
  ~TUDPBlockSocket() override;

  // The association's control connection; null until the first association.
  TTCPBlockSocket *ControlSocket() const { return control_socket_.get(); }

  // Also clears AssociationFailedAtProxy: no association has been tried for the new destination.
  void Connect(const std::string &IP, const std::string &Port) override;
  int SendDataTo(const void *buffer, int length) override;
  int RecvDataFrom(void *buffer, int length) override;
  int SocketType() const override;
  int SocketProtocol() const override;

  // Sets up a UDP association with the proxy in SocksIP (true at once without one). Every send
  // makes a fresh association first, unless one made by calling this directly is still open:
  // the next send then uses that one. So a caller can take the set-up time out of a measurement.
  // Each wait on the control connection (the connect, each answer of the proxy) may take up to
  // SocksTimeout.
  bool UdpAssociate();
  // The same, done as a whole (the connect to the proxy, greeting, login, request and reply)
  // within `limit_ms` or failed, the waits cut short failing with 10060 on the control socket.
  // Negative: the waits' own time-outs only, as above.
  bool UdpAssociate(int limit_ms);

  // The last association failed after the proxy had accepted its connection: it stayed silent,
  // refused, or answered wrongly. False after a success, and when the proxy could not be reached
  // at all; false too when StopSource ended the association, and after Connect.
  bool AssociationFailedAtProxy() const;

protected:
  // The payload of a relayed datagram moved to the front of `buffer`, or 0 with the datagram
  // dropped when it does not come from the relay or its header does not hold.
  int TakeRelayed(void *buffer, int length, const TVarSin &from);

  // The relay's address, as resolved after the association.
  TVarSin relay_sin_{};

private:
  bool Associate(int limit_ms);

  std::unique_ptr<TTCPBlockSocket> control_socket_;
  bool association_prepared_ = false;
  bool failed_at_proxy_ = false;
};

} // namespace kv::net
