#include "net/net_util.h"

#include <arpa/inet.h>
#include <ctime>
#include <netdb.h>
#include <utility>

namespace kv::net {

TDateTime GetUtcNow() {
  const kv::platform::UtcInstant now = kv::platform::CurrentClock().Now();
  const int64_t ms = now.seconds * 1000 + now.nanoseconds / 1000000;
  return static_cast<double>(ms) / 86400000.0 + kv::platform::kUnixEpochDays;
}

bool SetUtcNow(TDateTime value, int *error) {
  const int rc = kv::platform::CurrentClock().Set(kv::platform::DateTimeToInstant(value));
  if (error) *error = rc;
  return rc == 0;
}

uint64_t TickNow() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

uint64_t TickDifference(uint64_t old_tick, uint64_t new_tick) {
  if (new_tick >= old_tick) return new_tick - old_tick;
  constexpr uint64_t k32 = 0x100000000ull;
  if (old_tick < k32 && old_tick >= k32 / 2 && new_tick < k32 / 2) return new_tick + k32 - old_tick;
  return 0;
}

int MillisecondsLeft(uint64_t start_tick, int timeout) {
  if (timeout < 0) return -1;
  const uint64_t spent = TickDifference(start_tick, TickNow());
  return spent >= static_cast<uint64_t>(timeout) ? 0 : timeout - static_cast<int>(spent);
}

std::string EncodeWordBE(uint16_t value) {
  return {static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
}

std::string EncodeLongBE(uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>((value >> 16) & 0xFF),
          static_cast<char>((value >> 8) & 0xFF), static_cast<char>(value & 0xFF)};
}

namespace {
uint32_t ByteAt(const std::string &data, size_t position) {
  return position >= 1 && position <= data.size() ? static_cast<uint8_t>(data[position - 1]) : 0u;
}
} // namespace

uint16_t DecodeWordBE(const std::string &data, size_t position) {
  return static_cast<uint16_t>(ByteAt(data, position) << 8 | ByteAt(data, position + 1));
}

uint32_t DecodeLongBE(const std::string &data, size_t position) {
  return ByteAt(data, position) << 24 | ByteAt(data, position + 1) << 16 | ByteAt(data, position + 2) << 8 |
         ByteAt(data, position + 3);
}

bool IsOctetText(const std::string &text) {
  if (text.empty()) return false;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > 255) return false;
  }
  return true;
}

// Both tests parse the way the resolver does (inet_pton), after trimming the blanks the resolver
// also trims, so a text is never taken for one address here and read as another there.
bool IsIPv4Text(const std::string &text) {
  const std::string t = TrimSpaces(text);
  in_addr a{};
  return !t.empty() && inet_pton(AF_INET, t.c_str(), &a) == 1;
}

bool IsIPv6Text(const std::string &text) {
  const std::string t = TrimSpaces(text);
  if (t.find(':') == std::string::npos) return false;
  in6_addr a{};
  if (t.find('%') == std::string::npos) return inet_pton(AF_INET6, t.c_str(), &a) == 1;
  // A zone is only the resolver's to judge: it takes one on link-local addresses only, and an
  // interface name only when that interface exists.
  addrinfo hints{};
  hints.ai_family = AF_INET6;
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo *list = nullptr;
  const bool numeric = getaddrinfo(t.c_str(), nullptr, &hints, &list) == 0;
  if (list) freeaddrinfo(list);
  return numeric;
}

std::string IPv4TextToBytes(const std::string &text) {
  std::string rest = text;
  std::string bytes;
  for (int i = 0; i < 4; ++i) {
    const std::string piece = TrimSpaces(i < 3 ? CutToken(rest, ".") : rest);
    unsigned value = 0;
    for (char c : piece) {
      if (c < '0' || c > '9') {
        value = 0;
        break;
      }
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    bytes.push_back(static_cast<char>(value & 0xFF));
  }
  return bytes;
}

int PortTextNumber(const std::string &text) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::stoi(text);
}

std::string TrimLeftSpaces(const std::string &text) {
  const size_t p = text.find_first_not_of(' ');
  return p == std::string::npos ? std::string() : text.substr(p);
}

std::string TrimRightSpaces(const std::string &text) {
  const size_t p = text.find_last_not_of(' ');
  return p == std::string::npos ? std::string() : text.substr(0, p + 1);
}

std::string TrimSpaces(const std::string &text) {
  return TrimRightSpaces(TrimLeftSpaces(text));
}

std::string TextBefore(const std::string &text, const std::string &delimiter) {
  const size_t p = text.find(delimiter);
  return p == std::string::npos ? text : text.substr(0, p);
}

std::string TextAfter(const std::string &text, const std::string &delimiter) {
  const size_t p = text.find(delimiter);
  return p == std::string::npos ? text : text.substr(p + delimiter.size());
}

std::string CutToken(std::string &text, const std::string &delimiter) {
  const size_t p = text.find(delimiter);
  if (p == std::string::npos) return std::exchange(text, std::string());
  std::string token = text.substr(0, p);
  text.erase(0, p + delimiter.size());
  return token;
}

std::string CutTrimmedToken(std::string &text, const std::string &delimiter) {
  std::string token = TrimSpaces(CutToken(text, delimiter));
  text = TrimSpaces(text);
  return token;
}

size_t FindLineEnd(const std::string &text, std::string &line_end) {
  static const char *const kEnds[] = {"\r\n", "\n\r", "\r", "\n"};
  size_t best = std::string::npos;
  line_end.clear();
  for (const char *end : kEnds) {
    const size_t p = text.find(end);
    if (p < best) {
      best = p;
      line_end = end;
    }
  }
  return best == std::string::npos ? 0 : best + 1;
}

void WriteStringToStream(std::ostream &stream, const std::string &data) {
  stream.write(data.data(), static_cast<std::streamsize>(data.size()));
}

std::string EncodeBase64(const std::string &data) {
  static const std::string kTable = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
  return EncodeWithTable(data, kTable);
}

std::string EncodeWithTable(const std::string &data, const std::string &table) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  auto put = [&](unsigned index) {
    if (index < table.size()) out.push_back(table[index]);
  };
  size_t i = 0;
  for (; i + 3 <= data.size(); i += 3) {
    const unsigned v = static_cast<uint8_t>(data[i]) << 16 | static_cast<uint8_t>(data[i + 1]) << 8 |
                       static_cast<uint8_t>(data[i + 2]);
    put(v >> 18);
    put((v >> 12) & 63);
    put((v >> 6) & 63);
    put(v & 63);
  }
  const size_t rest = data.size() - i;
  if (rest > 0) {
    const unsigned v =
        static_cast<uint8_t>(data[i]) << 16 | (rest == 2 ? static_cast<uint8_t>(data[i + 1]) << 8 : 0u);
    put(v >> 18);
    put((v >> 12) & 63);
    put(rest == 2 ? (v >> 6) & 63 : 64);
    put(64);
  }
  return out;
}

} // namespace kv::net
