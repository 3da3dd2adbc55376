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
// The fraction scale of the date-time conversions.
constexpr double kFractionScale = 4294967295.0;
constexpr int64_t kSecondsPerDay = 86400;

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
  // Whole days and the time of day apart, so the sum rounds only once: a day count near today
  // resolves about 0.6 us, and a product of all the seconds with 1/86400 would lose more.
  const uint64_t secs = SecondsSince1900(Seconds);
  const double day_seconds = static_cast<double>(secs % kSecondsPerDay) + Fraction / kFractionScale;
  return 2.0 + static_cast<double>(secs / kSecondsPerDay) + day_seconds / kSecondsPerDay;
}

void EncodeTimestamp(TDateTime Value, uint32_t &Seconds, uint32_t &Fraction) {
  const double days = Value - 2.0; // since 1900-01-01
  // Beyond era 1 (or not a number) there is no timestamp to give: send "no time".
  if (!(std::fabs(days) * kSecondsPerDay < 2.0 * static_cast<double>(kEraSeconds))) {
    Seconds = Fraction = 0;
    return;
  }
  // The time of day on its own keeps the bits that the seconds of a whole day count would round
  // away; floors, also before 1900.
  const double whole_days = std::floor(days);
  double day_seconds = (days - whole_days) * kSecondsPerDay;
  // A date-time holds a time only to its last bit (some 0.6 us today): a whole second within
  // that is the second itself, so 12:00:00 does not go out as 11:59:59.9999997.
  const double step = (std::nextafter(std::fabs(Value), HUGE_VAL) - std::fabs(Value)) * kSecondsPerDay;
  if (std::fabs(day_seconds - std::round(day_seconds)) <= step) day_seconds = std::round(day_seconds);
  const double whole_seconds = std::floor(day_seconds);
  const int64_t secs =
      static_cast<int64_t>(whole_days) * kSecondsPerDay + static_cast<int64_t>(whole_seconds);
  Seconds = static_cast<uint32_t>(secs); // modulo 2^32: era 1 wraps into the field
  Fraction = static_cast<uint32_t>((day_seconds - whole_seconds) * kFractionScale);
  // The first instant of era 1 would be the all-zero timestamp, which means "no time": it is
  // sent one fraction step (2^-32 s) later instead.
  if (Seconds == 0 && Fraction == 0 && secs != 0) Fraction = 1;
}

TNtpTimestamp InstantToNtp(const UtcInstant &t) {
  const uint64_t ns = static_cast<uint64_t>(t.nanoseconds);
  TNtpTimestamp ts;
  ts.Seconds = static_cast<uint32_t>(t.seconds + kNtpToUnixSeconds);
  ts.Fraction = static_cast<uint32_t>(((ns << 32) + 999999999u) / 1000000000u);
  if (ts.Seconds == 0 && ts.Fraction == 0 && t.seconds != -kNtpToUnixSeconds)
    ts.Fraction = 1; // not "no time"
  return ts;
}

UtcInstant NtpToInstant(const TNtpTimestamp &ts) {
  if (ts.Seconds == 0 && ts.Fraction == 0) return {-kNtpToUnixSeconds, 0};
  UtcInstant t;
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

TReplyVerdict CheckReply(const std::string &datagram, const TNtpTimestamp &request_transmit,
                         const UtcInstant &T1, const UtcInstant &T4) {
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
  // Seconds 0 with a fraction is the first second of era 1 (2036-02-07 06:28:16 UTC), a time
  // like any other; only the all-zero timestamp means "no time".
  else if (p.Rcv1 == 0 && p.Rcv2 == 0)
    v.Check = TReplyCheck::NoReceiveTime;
  else if (p.Xmit1 == 0 && p.Xmit2 == 0)
    v.Check = TReplyCheck::NoTransmitTime;
  else
    v.Check = TReplyCheck::Accepted;
  if (!v.Accepted()) return v;

  // The differences in seconds, from the instants themselves: on a LAN they are some ten
  // microseconds, which a day count near today holds only to about 0.6 us.
  using kv::platform::SecondsBetween;
  const UtcInstant T2 = NtpToInstant({p.Rcv1, p.Rcv2});
  const UtcInstant T3 = NtpToInstant({p.Xmit1, p.Xmit2});
  v.Delay = SecondsBetween(T1, T4) - SecondsBetween(T2, T3);
  v.Offset = (SecondsBetween(T1, T2) + SecondsBetween(T4, T3)) / 2;
  v.ServerTime = kv::platform::InstantToDateTime(T3) + v.Delay / 2 / kSecondsPerDay;
  return v;
}

} // namespace kv::net
