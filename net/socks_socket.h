#pragma once
// TSocksBlockSocket: the SOCKS client of the blocking socket. It speaks SOCKS 5 (RFC 1928, with
// the user name and password login of RFC 1929) and SOCKS 4 with the 4a name extension, over a
// connected TCP socket to the proxy. The TCP socket asks for CONNECT and BIND, the UDP socket for
// UDP ASSOCIATE.

#include <cstdint>
#include <string>

#include "net/block_socket.h"

namespace kv::net {

enum TSocksType { ST_Socks5, ST_Socks4 };

inline constexpr uint8_t kSocksConnect = 1;
inline constexpr uint8_t kSocksBind = 2;
inline constexpr uint8_t kSocksUdpAssociate = 3;

class TSocksBlockSocket : public TBlockSocket {
public:
  TSocksBlockSocket() = default;

  // Properties.
  std::string SocksIP; // proxy address; empty: no proxy
  std::string SocksPort = "1080";
  std::string SocksUsername; // SOCKS5: offers login; SOCKS4: the user id
  std::string SocksPassword;
  int SocksTimeout = 60000;  // milliseconds for each whole reply of the proxy
  bool SocksResolver = true; // true: names go to the proxy; false: resolved here first
  TSocksType SocksType = ST_Socks5;

  // State.
  bool UsingSocks() const { return using_socks_; }
  int SocksLastError() const { return socks_last_error_; }
  const std::string &SocksResponseIP() const { return socks_response_ip_; }
  const std::string &SocksResponsePort() const { return socks_response_port_; }
  const std::string &SocksLocalIP() const { return socks_local_ip_; }
  const std::string &SocksLocalPort() const { return socks_local_port_; }
  const std::string &SocksRemoteIP() const { return socks_remote_ip_; }
  const std::string &SocksRemotePort() const { return socks_remote_port_; }
  bool SocksExchangeActive() const { return socks_exchange_active_; }

  // The three exchanges, in this order, on the socket connected to the proxy.
  bool SocksGreeting();
  bool SocksSendRequest(uint8_t command, const std::string &IP, const std::string &Port);
  bool SocksReadReply();
  // Address and port in the form of the SOCKS version; "" with LastError 10022 when a name is
  // too long for its length byte.
  std::string SocksEncodeAddress(const std::string &IP, const std::string &Port);
  // 1-based position after the address and port of `data`, or 0; a SOCKS5 header that does not
  // hold its whole address gives 5.
  int SocksDecodeAddress(const std::string &data);
  // False (LastError 10022) when the user name, the password or the host name is longer than the
  // protocol's length byte allows; checked before anything is sent.
  bool SocksFieldsFit(const std::string &host);

protected:
  // `count` bytes of a reply that began at `start` (a TickNow value): SocksTimeout bounds the
  // whole reply, however the proxy spreads it over packets.
  std::string RecvReply(int count, uint64_t start);
  std::string EncodeAddressFor(TSocksType type, const std::string &IP, const std::string &Port);
  // Decodes a SOCKS5 address field starting at byte 4 (replies and relay headers).
  int DecodeSocks5Address(const std::string &data);

  // Sets SocksExchangeActive for the lifetime of the guard.
  class ExchangeScope {
  public:
    explicit ExchangeScope(TSocksBlockSocket &s) : s_(s) { s_.socks_exchange_active_ = true; }
    ~ExchangeScope() { s_.socks_exchange_active_ = false; }
    ExchangeScope(const ExchangeScope &) = delete;
    ExchangeScope &operator=(const ExchangeScope &) = delete;

  private:
    TSocksBlockSocket &s_;
  };

  bool using_socks_ = false;
  int socks_last_error_ = 0;
  std::string socks_response_ip_;
  std::string socks_response_port_;
  std::string socks_local_ip_;
  std::string socks_local_port_;
  std::string socks_remote_ip_;
  std::string socks_remote_port_;
  bool socks_exchange_active_ = false;
};

} // namespace kv::net
