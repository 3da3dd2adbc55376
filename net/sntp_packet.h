#pragma once
// The SNTP packet: its 48-byte wire layout, the timestamp conversions, and the one function that
// decides whether a datagram is an acceptable answer to our request (RFC 4330).

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/clock.h"
#include "platform/datetime.h"

namespace kv::net {

using kv::platform::TDateTime;
using kv::platform::UtcInstant;

// A decoded packet: four bytes, then eleven 32-bit words in host order. Each field sits at the
// offset its wire counterpart has, so the layout below is also the wire layout.
struct TNtpPacket {
  uint8_t LiVnMode = 0; // leap indicator (2 bits), version (3 bits), mode (3 bits)
  uint8_t Stratum = 0;
  uint8_t Poll = 0;
  uint8_t Precision = 0;
  uint32_t RootDelay = 0;
  uint32_t RootDispersion = 0;
  uint32_t RefID = 0;
  uint32_t Ref1 = 0, Ref2 = 0;   // reference timestamp: seconds, fraction
  uint32_t Org1 = 0, Org2 = 0;   // originate timestamp
  uint32_t Rcv1 = 0, Rcv2 = 0;   // receive timestamp (T2 in a reply)
  uint32_t Xmit1 = 0, Xmit2 = 0; // transmit timestamp (T3 in a reply)
};

inline constexpr std::size_t kNtpPacketSize = 48;

static_assert(sizeof(TNtpPacket) == kNtpPacketSize);
static_assert(offsetof(TNtpPacket, Stratum) == 1);
static_assert(offsetof(TNtpPacket, Poll) == 2);
static_assert(offsetof(TNtpPacket, Precision) == 3);
static_assert(offsetof(TNtpPacket, RootDelay) == 4);
static_assert(offsetof(TNtpPacket, RootDispersion) == 8);
static_assert(offsetof(TNtpPacket, RefID) == 12);
static_assert(offsetof(TNtpPacket, Ref1) == 16);
static_assert(offsetof(TNtpPacket, Org1) == 24);
static_assert(offsetof(TNtpPacket, Rcv1) == 32);
static_assert(offsetof(TNtpPacket, Xmit1) == 40);
static_assert(offsetof(TNtpPacket, Xmit2) == 44);

// First byte of a request: leap indicator 0, version 3, mode 3 (client).
inline constexpr uint8_t kClientLiVnMode = 0x1B;
inline constexpr uint8_t kModeServer = 4;
inline constexpr uint8_t kLeapUnsynchronised = 3;

// Sets all 48 bytes to zero.
void ClearPacket(TNtpPacket &Packet);
// The 48-byte wire text: the four bytes as they are, then the eleven words big-endian.
std::string PacketToString(const TNtpPacket &Packet);
// Decodes the first 48 bytes of `Text` (bytes past 48 are ignored). Returns false and leaves
// `Packet` alone when `Text` is shorter.
bool PacketFromString(const std::string &Text, TNtpPacket &Packet);

// An NTP timestamp as it travels: seconds since the start of its era and a 32-bit fraction.
struct TNtpTimestamp {
  uint32_t Seconds = 0;
  uint32_t Fraction = 0;
  friend bool operator==(const TNtpTimestamp &, const TNtpTimestamp &) = default;
};

// Seconds from 1900-01-01 (NTP era 0) to 1970-01-01.
inline constexpr int64_t kNtpToUnixSeconds = 2208988800;

// Timestamp -> date-time (UTC day count, 1900-01-01 00:00 is 2.0), the fraction on the 2^32-1
// scale. A seconds field whose top bit is clear belongs to era 1 (from 2036-02-07 06:28:16 UTC
// on, RFC 4330 section 3); the all-zero timestamp means "no time" and gives 2.0.
TDateTime DecodeTimestamp(uint32_t Seconds, uint32_t Fraction);
// Date-time -> timestamp: the seconds are the floor of the seconds since 1900 (modulo 2^32, so a
// date in era 1 wraps into it), the fraction is floored on the 2^32-1 scale. Only 1900-01-01
// 00:00 itself gives the all-zero timestamp ("no time"); the start of era 1 gives a fraction of 1.
void EncodeTimestamp(TDateTime Value, uint32_t &Seconds, uint32_t &Fraction);

// Exact conversions at full resolution (fraction scale 2^32), with the same era rule.
// InstantToNtp rounds the fraction up, so NtpToInstant(InstantToNtp(t)) gives t back.
TNtpTimestamp InstantToNtp(const UtcInstant &t);
UtcInstant NtpToInstant(const TNtpTimestamp &ts);

// Why a datagram was or was not taken as the answer to our request.
enum class TReplyCheck {
  Accepted,
  TooShort,          // fewer than 48 bytes
  OriginateMismatch, // originate != the transmit timestamp of our request: stale or forged
  Unsynchronised,    // leap indicator 3
  NotServerMode,     // mode is not 4
  BadStratum,        // stratum 0 (kiss-o'-death) or above 15
  NoReceiveTime,     // receive timestamp is 0 (seconds and fraction): no time
  NoTransmitTime,    // transmit timestamp is 0 (seconds and fraction): no time
};

// A short English name of the check, for log lines ("accepted", "originate mismatch", ...).
const char *ReplyCheckName(TReplyCheck check);

struct TReplyVerdict {
  TReplyCheck Check = TReplyCheck::TooShort;
  bool Decoded = false; // Packet and the three bit fields hold the datagram (>= 48 bytes)
  TNtpPacket Packet;
  uint8_t Leap = 0, Version = 0, Mode = 0;
  // Only when accepted:
  TDateTime ServerTime = 0; // T3 + delay/2, UTC
  double Offset = 0;        // seconds, positive when the server is ahead
  double Delay = 0;         // round trip minus the server's processing, seconds (below 0 only
                            // through the server's timestamp noise)
  bool Accepted() const { return Check == TReplyCheck::Accepted; }
};

// Judges one datagram against the request that carried `request_transmit` (sent at T1,
// received at T4, as the clock read them) and, when it is acceptable, computes offset, delay and
// server time. Order: size, originate, leap, mode, stratum, receive and transmit timestamps.
// The version is not checked.
TReplyVerdict CheckReply(const std::string &datagram, const TNtpTimestamp &request_transmit,
                         const UtcInstant &T1, const UtcInstant &T4);

} // namespace kv::net
