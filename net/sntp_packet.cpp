#include "net/sntp_packet.h"

#include <cmath>

#include "net/net_util.h"

namespace kv::net {

namespace {

// The eleven words in wire order; each sits at the offset of its wire field (see the header).
constexpr uint32_t TNtpPacket::*kWords[] = {
    &TNtpPacket::RootDelay, &TNtpPacket::RootDispersion, &TNtpPacket::RefID, &TNtpPacket::Ref1,
    &TNtpPacket::Ref2,      &TNtpPacket::Org1,           &TNtpPacket::Org2,  &TNtpPacket::Rcv1,
    &TNtpPacket::Rcv2,      &TNtpPacket::Xmit1,          &TNtpPacket::Xmit2,
};
static_assert(4 + sizeof(kWords) / sizeof(kWords[0]) * 4 == kNtpPacketSize);

constexpr uint64_t kEraSeconds = uint64_t{1} << 32;
// The fraction scale of the date-time conversions, and their resolution (0.1 ms).
constexpr uint64_t kFractionScale = 4294967295u;
constexpr int64_t kTenthsOfMsPerSecond = 10000;

// Seconds since 1900-01-01 of a timestamp, with the era pivot of RFC 4330 section 3: a clear top
// bit means era 1, which starts 2^32 seconds after 1900.
uint64_t SecondsSince1900(uint32_t seconds) {
  return (seconds & 0x80000000u) ? seconds : seconds + kEraSeconds;
}

} // namespace

void ClearPacket(TNtpPacket &Packet) {
  Packet = TNtpPacket{};
}

std::string PacketToString(const TNtpPacket &Packet) {
  std::string out;
  out.reserve(kNtpPacketSize);
  out.push_back(static_cast<char>(Packet.LiVnMode));
  out.push_back(static_cast<char>(Packet.Stratum));
  out.push_back(static_cast<char>(Packet.Poll));
  out.push_back(static_cast<char>(Packet.Precision));
  for (auto word : kWords)
    out += EncodeLongBE(Packet.*word);
  return out;
}

bool PacketFromString(const std::string &Text, TNtpPacket &Packet) {
  if (Text.size() < kNtpPacketSize) return false;
  Packet.LiVnMode = static_cast<uint8_t>(Text[0]);
  Packet.Stratum = static_cast<uint8_t>(Text[1]);
  Packet.Poll = static_cast<uint8_t>(Text[2]);
  Packet.Precision = static_cast<uint8_t>(Text[3]);
  std::size_t position = 5; // 1-based, after the four bytes
  for (auto word : kWords) {
    Packet.*word = DecodeLongBE(Text, position);
    position += 4;
  }
  return true;
}

TDateTime DecodeTimestamp(uint32_t Seconds, uint32_t Fraction) {
  if (Seconds == 0 && Fraction == 0) return 2.0;
  // Tenths of a millisecond, cut. The encoder floors its fraction on the same scale, so a
  // fraction it wrote may sit a hair (< 2^-32 s) below the unit it meant; the allowance of one
  // scale step per unit (10000 / scale) gives that unit back without moving any other value.
  const uint64_t tenths = (uint64_t{Fraction} * kTenthsOfMsPerSecond + kTenthsOfMsPerSecond) / kFractionScale;
  return 2.0 + static_cast<double>(SecondsSince1900(Seconds)) / 86400.0 +
         static_cast<double>(tenths) / (86400.0 * kTenthsOfMsPerSecond);
}

void EncodeTimestamp(TDateTime Value, uint32_t &Seconds, uint32_t &Fraction) {
  const double d = (Value - 2.0) * 86400.0; // seconds since 1900-01-01
  // Beyond era 1 (or not a number) there is no timestamp to give: send "no time".
  if (!(std::fabs(d) < 2.0 * static_cast<double>(kEraSeconds))) {
    Seconds = Fraction = 0;
    return;
  }
  // A day count near today carries about half a microsecond of rounding noise; taking whole
  // microseconds first keeps 12:00:00.123 from being cut to .1229.
  const int64_t us = std::llround(d * 1e6);
  int64_t secs = us / 1000000;
  int64_t frac_us = us % 1000000;
  if (frac_us < 0) { // floor, also before 1900
    frac_us += 1000000;
    --secs;
  }
  const uint64_t tenths = static_cast<uint64_t>(frac_us / 100);
  Seconds = static_cast<uint32_t>(secs); // modulo 2^32: era 1 wraps into the field
  Fraction = static_cast<uint32_t>(tenths * kFractionScale / kTenthsOfMsPerSecond);
  // The first 0.1 ms of era 1 would be the all-zero timestamp, which means "no time": it is
  // sent one fraction step (2^-32 s) later instead.
  if (Seconds == 0 && Fraction == 0 && secs != 0) Fraction = 1;
}

TNtpTimestamp InstantToNtp(const kv::platform::UtcInstant &t) {
  const uint64_t ns = static_cast<uint64_t>(t.nanoseconds);
  TNtpTimestamp ts;
  ts.Seconds = static_cast<uint32_t>(t.seconds + kNtpToUnixSeconds);
  ts.Fraction = static_cast<uint32_t>(((ns << 32) + 999999999u) / 1000000000u);
  if (ts.Seconds == 0 && ts.Fraction == 0 && t.seconds != -kNtpToUnixSeconds)
    ts.Fraction = 1; // not "no time"
  return ts;
}

kv::platform::UtcInstant NtpToInstant(const TNtpTimestamp &ts) {
  if (ts.Seconds == 0 && ts.Fraction == 0) return {-kNtpToUnixSeconds, 0};
  kv::platform::UtcInstant t;
  t.seconds = static_cast<int64_t>(SecondsSince1900(ts.Seconds)) - kNtpToUnixSeconds;
  t.nanoseconds = static_cast<int32_t>((uint64_t{ts.Fraction} * 1000000000u) >> 32);
  return t;
}

const char *ReplyCheckName(TReplyCheck check) {
  switch (check) {
  case TReplyCheck::Accepted:
    return "accepted";
  case TReplyCheck::TooShort:
    return "shorter than 48 bytes";
  case TReplyCheck::OriginateMismatch:
    return "originate timestamp is not our request's";
  case TReplyCheck::Unsynchronised:
    return "server not synchronised (leap indicator 3)";
  case TReplyCheck::NotServerMode:
    return "not a server reply (mode)";
  case TReplyCheck::BadStratum:
    return "stratum out of range";
  case TReplyCheck::NoReceiveTime:
    return "receive timestamp is zero";
  case TReplyCheck::NoTransmitTime:
    return "transmit timestamp is zero";
  }
  return "unknown";
}

TReplyVerdict CheckReply(const std::string &datagram, const TNtpTimestamp &request_transmit, TDateTime T1,
                         TDateTime T4) {
  TReplyVerdict v;
  if (!PacketFromString(datagram, v.Packet)) return v; // TooShort
  v.Decoded = true;
  const TNtpPacket &p = v.Packet;
  v.Leap = p.LiVnMode >> 6;
  v.Version = (p.LiVnMode >> 3) & 7;
  v.Mode = p.LiVnMode & 7;

  // RFC 4330 section 5: a server copies the request's transmit timestamp into the reply's
  // originate field; anything else answers another request, or nobody's.
  if (p.Org1 != request_transmit.Seconds || p.Org2 != request_transmit.Fraction)
    v.Check = TReplyCheck::OriginateMismatch;
  else if (v.Leap == kLeapUnsynchronised)
    v.Check = TReplyCheck::Unsynchronised;
  else if (v.Mode != kModeServer)
    v.Check = TReplyCheck::NotServerMode;
  else if (p.Stratum < 1 || p.Stratum > 15)
    v.Check = TReplyCheck::BadStratum;
  else if (p.Rcv1 == 0)
    v.Check = TReplyCheck::NoReceiveTime;
  else if (p.Xmit1 == 0)
    v.Check = TReplyCheck::NoTransmitTime;
  else
    v.Check = TReplyCheck::Accepted;
  if (!v.Accepted()) return v;

  const TDateTime T2 = DecodeTimestamp(p.Rcv1, p.Rcv2);
  const TDateTime T3 = DecodeTimestamp(p.Xmit1, p.Xmit2);
  const double delay = (T4 - T1) - (T3 - T2); // days
  const double offset = ((T2 - T1) + (T3 - T4)) / 2;
  v.ServerTime = T3 + delay / 2;
  v.Offset = offset * 86400.0;
  v.Delay = delay * 86400.0;
  return v;
}

} // namespace kv::net
