#include "net/socks_socket.h"

#include <cstring>

#include "net/net_util.h"

namespace kv::net {

namespace {
// Every length field of the protocol is one byte.
constexpr size_t kMaxSocksField = 255;

std::string LengthPrefixed(const std::string &text) {
  return std::string(1, static_cast<char>(text.size())) + text;
}
// The dotted-quad text of the four address bytes from 1-based `position` on.
std::string DottedQuadAt(const std::string &data, size_t position) {
  std::string text;
  for (size_t i = 0; i < 4; ++i) {
    if (i > 0) text += '.';
    text += std::to_string(static_cast<uint8_t>(data[position - 1 + i]));
  }
  return text;
}

} // namespace

bool TSocksBlockSocket::SocksGreeting() {
  using_socks_ = false;
  if (SocksType == ST_Socks4) {
    using_socks_ = true;
    return true;
  }
  ExchangeScope scope(*this);
  if (!SocksFieldsFit("")) return false;
  SendString(SocksUsername.empty() ? std::string("\x05\x01\x00", 3) : std::string("\x05\x02\x02\x00", 4));
  if (last_error_ != 0) return false;
  std::string answer = RecvReply(2, TickNow());
  if (answer.size() < 2 || answer[0] != 0x05) return false;
  // Login only when it was offered: a proxy picking a method it was not offered is broken.
  if (answer[1] == 0x02 && !SocksUsername.empty()) {
    SendString(std::string("\x01", 1) + LengthPrefixed(SocksUsername) + LengthPrefixed(SocksPassword));
    if (last_error_ != 0) return false;
    answer = RecvReply(2, TickNow());
    if (answer.size() < 2 || answer[1] != 0x00) return false;
  } else if (answer[1] != 0x00) {
    return false;
  }
  using_socks_ = true;
  return true;
}

bool TSocksBlockSocket::SocksSendRequest(uint8_t command, const std::string &IP, const std::string &Port) {
  ExchangeScope scope(*this);
  const std::string address = SocksEncodeAddress(IP, Port);
  if (address.empty()) return false;
  std::string request;
  if (SocksType == ST_Socks4) {
    request = std::string(1, '\x04') + static_cast<char>(command) + address;
  } else {
    request = std::string(1, '\x05') + static_cast<char>(command) + '\x00' + address;
  }
  SendString(request);
  return last_error_ == 0;
}

bool TSocksBlockSocket::SocksFieldsFit(const std::string &host) {
  // A longer value would not fit its length byte and would desynchronise the exchange.
  const std::string name = TrimSpaces(host);
  const bool host_fits = IsIPv4Text(name) || IsIPv6Text(name) || name.size() <= kMaxSocksField;
  if (host_fits && SocksUsername.size() <= kMaxSocksField && SocksPassword.size() <= kMaxSocksField)
    return true;
  SetLastError(WSAEINVAL);
  RaiseOnError();
  return false;
}

std::string TSocksBlockSocket::RecvReply(int count, uint64_t start) {
  WholeReceiveScope whole(*this);
  return RecvExactString(count, MillisecondsLeft(start, SocksTimeout));
}

std::string TSocksBlockSocket::SocksEncodeAddress(const std::string &IP, const std::string &Port) {
  return EncodeAddressFor(SocksType, IP, Port);
}

std::string TSocksBlockSocket::EncodeAddressFor(TSocksType type, const std::string &IP,
                                                const std::string &Port) {
  if (!SocksFieldsFit(IP)) return {};
  const std::string port = EncodeWordBE(static_cast<uint16_t>(ResolveServicePort(Port)));
  std::string ip = SocksResolver ? TrimSpaces(IP) : ResolveFirst(IP);
  if (type == ST_Socks4) {
    if (IsIPv4Text(ip)) return port + IPv4TextToBytes(TrimSpaces(ip)) + SocksUsername + '\x00';
    return port + std::string("\x00\x00\x00\x01", 4) + SocksUsername + '\x00' + ip + '\x00';
  }
  if (IsIPv4Text(ip)) return std::string(1, '\x01') + IPv4TextToBytes(TrimSpaces(ip)) + port;
  if (IsIPv6Text(ip)) {
    const TVarSin address = TextToIPv6Address(ip);
    return std::string(1, '\x04') + std::string(reinterpret_cast<const char *>(&address.sin6.sin6_addr), 16) +
           port;
  }
  if (ip.empty()) {
    SetLastError(WSAEINVAL);
    RaiseOnError();
    return {};
  }
  return std::string(1, '\x03') + LengthPrefixed(ip) + port;
}

bool TSocksBlockSocket::SocksReadReply() {
  ExchangeScope scope(*this);
  socks_response_ip_.clear();
  socks_response_port_.clear();
  socks_last_error_ = -1;
  const uint64_t start = TickNow();
  std::string reply;
  if (SocksType == ST_Socks4) {
    reply = RecvReply(8, start);
    if (last_error_ != 0 || reply.size() < 8 || reply[0] != 0x00) return false;
  } else {
    reply = RecvReply(4, start);
    if (last_error_ != 0 || reply.size() < 4 || reply[0] != 0x05) return false;
    switch (reply[3]) {
    case 0x01:
      reply += RecvReply(4, start);
      break;
    case 0x03: {
      const std::string length = RecvReply(1, start);
      if (last_error_ != 0 || length.size() != 1) return false;
      reply += length;
      reply += RecvReply(static_cast<uint8_t>(length[0]), start);
      break;
    }
    case 0x04:
      reply += RecvReply(16, start);
      break;
    default:
      return false;
    }
    if (last_error_ != 0) return false;
    reply += RecvReply(2, start);
    if (last_error_ != 0) return false;
  }
  socks_last_error_ = static_cast<uint8_t>(reply[1]);
  // Each version has its own success code: 0 for SOCKS5, 90 for SOCKS4.
  const bool granted = SocksType == ST_Socks4 ? socks_last_error_ == 90 : socks_last_error_ == 0;
  if (!granted) return false;
  SocksDecodeAddress(reply);
  return true;
}

int TSocksBlockSocket::SocksDecodeAddress(const std::string &data) {
  if (SocksType != ST_Socks4) return DecodeSocks5Address(data);
  socks_response_port_ = "0";
  if (data.size() < 8) return 0;
  socks_response_ip_ = DottedQuadAt(data, 5);
  socks_response_port_ = std::to_string(DecodeWordBE(data, 3));
  return 9;
}

int TSocksBlockSocket::DecodeSocks5Address(const std::string &data) {
  socks_response_port_ = "0";
  if (data.size() < 4) return 0;
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(data[i - 1]); };
  switch (byte(4)) {
  case 0x01:
    if (data.size() <= 9) return 5;
    socks_response_ip_ = DottedQuadAt(data, 5);
    socks_response_port_ = std::to_string(DecodeWordBE(data, 9));
    return 11;
  case 0x03: {
    if (data.size() < 5) return 5;
    const size_t n = byte(5);
    if (data.size() < n + 7) return 5;
    socks_response_ip_ = data.substr(5, n);
    socks_response_port_ = std::to_string(DecodeWordBE(data, n + 6));
    return static_cast<int>(n + 8);
  }
  case 0x04: {
    if (data.size() <= 21) return 5;
    TVarSin address{};
    address.sin6.sin6_family = AF_INET6;
    std::memcpy(&address.sin6.sin6_addr, data.data() + 4, 16);
    socks_response_ip_ = IPv6AddressToText(address);
    socks_response_port_ = std::to_string(DecodeWordBE(data, 21));
    return 23;
  }
  default:
    return 5;
  }
}

} // namespace kv::net
