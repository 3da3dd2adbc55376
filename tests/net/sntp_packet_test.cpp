#include "net/sntp_packet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "sntp_fixtures.h"

using namespace kv::net;
using kv::platform::DateTimeToInstant;
using kv::platform::DecodeDateTime;
using kv::platform::InstantToDateTime;
using kv::platform::UtcInstant;
using kvnettest::Bytes;

TEST(SntpPacket, WireLayoutIsBigEndianInFieldOrder) {
  TNtpPacket p;
  p.LiVnMode = 0x1B;
  p.Stratum = 2;
  p.Poll = 3;
  p.Precision = 0xEC;
  p.RootDelay = 0x01020304;
  p.RootDispersion = 0x05060708;
  p.RefID = 0x7F000001;
  p.Ref1 = 0x11111111;
  p.Ref2 = 0x22222222;
  p.Org1 = 0xEEC0FFEE;
  p.Org2 = 0x80000000;
  p.Rcv1 = 0xA1A2A3A4;
  p.Rcv2 = 0xB1B2B3B4;
  p.Xmit1 = 0xC1C2C3C4;
  p.Xmit2 = 0xD1D2D3D4;
  const std::string wire = PacketToString(p);
  const std::string expected =
      Bytes({0x1B, 2,    3,    0xEC, 1,    2,    3,    4,    5,    6,    7,    8,    0x7F, 0,    0,    1,
             0x11, 0x11, 0x11, 0x11, 0x22, 0x22, 0x22, 0x22, 0xEE, 0xC0, 0xFF, 0xEE, 0x80, 0,    0,    0,
             0xA1, 0xA2, 0xA3, 0xA4, 0xB1, 0xB2, 0xB3, 0xB4, 0xC1, 0xC2, 0xC3, 0xC4, 0xD1, 0xD2, 0xD3, 0xD4});
  EXPECT_EQ(wire, expected);

  // Decoding ignores anything past 48 bytes and gives the same fields back.
  TNtpPacket back;
  ASSERT_TRUE(PacketFromString(wire + std::string(12, '\x55'), back));
  EXPECT_EQ(PacketToString(back), wire);

  // 47 bytes decode nothing and leave the packet as it was.
  TNtpPacket untouched;
  untouched.Stratum = 9;
  EXPECT_FALSE(PacketFromString(wire.substr(0, 47), untouched));
  EXPECT_EQ(untouched.Stratum, 9);
  EXPECT_EQ(untouched.Xmit2, 0u);

  ClearPacket(back);
  EXPECT_EQ(PacketToString(back), std::string(48, '\0'));
}

TEST(SntpTimestamp, DecodeKeepsTheScaleAndTheWholeFraction) {
  EXPECT_DOUBLE_EQ(DecodeTimestamp(0, 0), 2.0);               // "no time": 1900-01-01 00:00
  EXPECT_DOUBLE_EQ(DecodeTimestamp(2208988800u, 0), 25569.0); // 1970-01-01
  // Half the scale is exactly half a second; the full fraction is one second on the 2^32-1 scale.
  EXPECT_DOUBLE_EQ(DecodeTimestamp(2208988800u, 0x80000000u), 25569.0 + 0.5 / 86400);
  EXPECT_DOUBLE_EQ(DecodeTimestamp(2208988800u, 0xFFFFFFFFu), 25569.0 + 1.0 / 86400);
  // 0.19 ms and 12.3 us stay what they are, to the resolution of a day count (0.6 us today).
  for (double part : {0.00019, 0.0000123}) {
    const auto fraction = static_cast<uint32_t>(part * 4294967295.0);
    EXPECT_NEAR((DecodeTimestamp(4005745840u, fraction) - DecodeTimestamp(4005745840u, 0)) * 86400, part,
                1e-6)
        << part;
  }
}

TEST(SntpTimestamp, SecondsWithTheTopBitClearBelongToEraOne) {
  // 0x80000000 is the first second of 1968-01-20 03:14:08, still era 0.
  auto f = DecodeDateTime(DecodeTimestamp(0x80000000u, 0));
  EXPECT_EQ(f.year, 1968);
  EXPECT_EQ(f.month, 1);
  EXPECT_EQ(f.day, 20);
  EXPECT_EQ(f.hour, 3);
  // Second 1 of era 1 is 2036-02-07 06:28:17, not 1900.
  f = DecodeDateTime(DecodeTimestamp(1, 0));
  EXPECT_EQ(f.year, 2036);
  EXPECT_EQ(f.month, 2);
  EXPECT_EQ(f.day, 7);
  EXPECT_EQ(f.hour, 6);
  EXPECT_EQ(f.minute, 28);
  EXPECT_EQ(f.second, 17);
  // 2040-01-01 00:00:00.5 travels as 4417977600 - 2^32 seconds.
  const UtcInstant y2040{2208988800, 500000000};
  uint32_t s = 0, fr = 0;
  EncodeTimestamp(InstantToDateTime(y2040), s, fr);
  EXPECT_EQ(s, 4417977600u - 4294967296u);
  EXPECT_NEAR((DecodeTimestamp(s, fr) - InstantToDateTime(y2040)) * 86400, 0, 1e-6);

  EXPECT_EQ(NtpToInstant({1, 0}).seconds, 2085978497);
  EXPECT_EQ(InstantToNtp(y2040).Seconds, s);
  EXPECT_EQ(NtpToInstant(InstantToNtp(y2040)).seconds, y2040.seconds);
}

TEST(SntpTimestamp, EncodeFloorsTheSecondsAndKeepsTheFraction) {
  // 4005745840.25 s since 1900 (2026-12-08): the seconds stay 4005745840, never rounded up.
  const UtcInstant t{1796757040, 250000000};
  uint32_t s = 0, fr = 0;
  EncodeTimestamp(InstantToDateTime(t), s, fr);
  EXPECT_EQ(s, 4005745840u);
  EXPECT_NEAR(fr, 1073741823.75, 2600); // 0.25 * (2^32 - 1), within a day count's 0.6 us
  // ... and it decodes to .2500, not .2499.
  EXPECT_EQ(DateTimeToInstant(DecodeTimestamp(s, fr)).nanoseconds, 250000000);

  // A send time with a part below 0.1 ms keeps it, and comes back from the timestamp.
  const UtcInstant sub{1796757040, 123456789};
  EncodeTimestamp(InstantToDateTime(sub), s, fr);
  EXPECT_EQ(s, 4005745840u);
  EXPECT_NEAR(fr, 0.123456789 * 4294967295.0, 2600);
  EXPECT_NEAR((DecodeTimestamp(s, fr) - InstantToDateTime(sub)) * 86400, 0, 1e-6);

  // Out of range or not a number: "no time".
  EncodeTimestamp(std::nan(""), s, fr);
  EXPECT_EQ(s, 0u);
  EXPECT_EQ(fr, 0u);
}

TEST(SntpTimestamp, MillisecondTimesRoundTripAcrossBothEras) {
  // Millisecond times from 1968-01-20 (the start of the 2^31 window) to 2100, stepped irregularly.
  int checked = 0;
  for (int64_t unix = -61505152; unix < 4102444800; unix += 7777777 + checked * 13) {
    const int32_t ns = static_cast<int32_t>((checked * 37 % 1000) * 1000000);
    const UtcInstant t{unix, ns};
    uint32_t s = 0, fr = 0;
    EncodeTimestamp(InstantToDateTime(t), s, fr);
    ASSERT_EQ(s, InstantToNtp(t).Seconds) << unix;
    const UtcInstant back = DateTimeToInstant(DecodeTimestamp(s, fr));
    ASSERT_EQ(back.seconds, t.seconds) << unix;
    ASSERT_EQ(back.nanoseconds, t.nanoseconds) << unix;
    ++checked;
  }
  EXPECT_GT(checked, 500);
}

TEST(SntpTimestamp, FullResolutionConversionsRoundTripEveryNanosecond) {
  for (int32_t ns : {0, 1, 232, 233, 499999999, 500000000, 999999999}) {
    for (int64_t unix :
         {int64_t{0}, int64_t{1796757040}, int64_t{2085978495}, int64_t{2085978496}, int64_t{4102444800}}) {
      const UtcInstant t{unix, ns};
      const UtcInstant back = NtpToInstant(InstantToNtp(t));
      EXPECT_EQ(back.seconds, unix);
      EXPECT_EQ(back.nanoseconds, ns);
    }
  }
  EXPECT_EQ(InstantToNtp({0, 0}), (TNtpTimestamp{2208988800u, 0}));
  // The first instant of era 1 is not sent as all zeros, which would mean "no time".
  EXPECT_EQ(InstantToNtp({2085978496, 0}), (TNtpTimestamp{0, 1}));
  uint32_t s = 0, fr = 0;
  EncodeTimestamp(DecodeTimestamp(0, 5), s, fr);
  EXPECT_EQ(s, 0u);
  EXPECT_EQ(fr, 1u);
  EXPECT_EQ(DecodeTimestamp(s, fr), DecodeTimestamp(0, 5));

  EXPECT_EQ(InstantToNtp({0, 500000000}).Fraction, 0x80000000u);
}

namespace {

// A request stamp, and a reply time line as on a LAN: client sends at T1 = t, server 100 s
// ahead receives 23.4 us later, answers 3.1 us after that, the reply takes 20.2 us back.
struct ReplyCase : ::testing::Test {
  const UtcInstant t{1796757040, 125000000};
  const TNtpTimestamp stamp = InstantToNtp(t);
  const UtcInstant T4 = sntptest::AddSeconds(t, 46.7e-6);
  sntptest::ReplyFields fields{sntptest::AddSeconds(t, 100 + 23.4e-6),
                               sntptest::AddSeconds(t, 100 + 26.5e-6)};

  TReplyVerdict Check(const std::string &datagram) const { return CheckReply(datagram, stamp, t, T4); }
  std::string Reply() const { return sntptest::ServerReply(stamp, fields); }
};

} // namespace

TEST_F(ReplyCase, AcceptedReplyGivesOffsetDelayAndServerTime) {
  const TReplyVerdict v = Check(Reply());
  ASSERT_EQ(v.Check, TReplyCheck::Accepted) << ReplyCheckName(v.Check);
  // Offset 100 s plus half the paths' difference; delay 46.7 - 3.1 us; server time T3 + 21.8 us.
  EXPECT_NEAR(v.Offset, 100 + 1.6e-6, 2e-9);
  EXPECT_NEAR(v.Delay, 43.6e-6, 2e-9);
  EXPECT_NEAR(v.ServerTime, InstantToDateTime(sntptest::AddSeconds(t, 100 + 48.3e-6)), 1e-11);
  EXPECT_EQ(v.Leap, 0);
  EXPECT_EQ(v.Version, 4);
  EXPECT_EQ(v.Mode, 4);
  EXPECT_EQ(v.Packet.Stratum, 2);

  // A server behind us gives a negative offset.
  fields.receive = sntptest::AddSeconds(t, -50 + 23.4e-6);
  fields.transmit = sntptest::AddSeconds(t, -50 + 26.5e-6);
  EXPECT_NEAR(Check(Reply()).Offset, -50 + 1.6e-6, 2e-9);

  // The server's timestamps a hair apart the wrong way: the measured delay is what it is.
  fields.transmit = sntptest::AddSeconds(t, -50 + 23.4e-6 + 46.8e-6);
  EXPECT_NEAR(Check(Reply()).Delay, -0.1e-6, 2e-9);
}

TEST_F(ReplyCase, SizeComesFirstAndExtraBytesAreIgnored) {
  const std::string reply = Reply();
  const TReplyVerdict short_one = Check(reply.substr(0, 47));
  EXPECT_EQ(short_one.Check, TReplyCheck::TooShort);
  EXPECT_FALSE(short_one.Decoded);
  EXPECT_EQ(Check("").Check, TReplyCheck::TooShort);
  EXPECT_TRUE(Check(reply + std::string(12, '\xFF')).Accepted());
}

TEST_F(ReplyCase, FieldChecksAcceptTheirBoundaries) {
  // The rejections themselves are driven through the client (sntp_send_test); here the values
  // just inside each check: leap 2, stratum 1 and 15, and any version (it is not checked).
  for (auto [first_byte, stratum] : {std::pair{0xA4, 2}, {0x24, 1}, {0x24, 15}, {0x0C, 3}, {0x3C, 3}}) {
    fields.li_vn_mode = static_cast<uint8_t>(first_byte);
    fields.stratum = static_cast<uint8_t>(stratum);
    const TReplyVerdict v = Check(Reply());
    EXPECT_TRUE(v.Accepted()) << first_byte << "/" << stratum << ": " << ReplyCheckName(v.Check);
  }
}

TEST_F(ReplyCase, OriginateMustBeOurTransmitTimestamp) {
  TNtpPacket p;
  ASSERT_TRUE(PacketFromString(Reply(), p));
  for (auto change : {+1, -1}) {
    TNtpPacket q = p;
    q.Org2 += static_cast<uint32_t>(change);
    EXPECT_EQ(Check(PacketToString(q)).Check, TReplyCheck::OriginateMismatch);
    q = p;
    q.Org1 += static_cast<uint32_t>(change);
    EXPECT_EQ(Check(PacketToString(q)).Check, TReplyCheck::OriginateMismatch);
  }
  // A reply to someone else is "not ours" before it is anything else.
  TNtpPacket foreign = p;
  foreign.Org1 = foreign.Org2 = 0;
  foreign.LiVnMode = 0xE4;
  foreign.Stratum = 0;
  const TReplyVerdict v = Check(PacketToString(foreign));
  EXPECT_EQ(v.Check, TReplyCheck::OriginateMismatch);
  EXPECT_EQ(v.Leap, 3); // still decoded for the record
}

TEST_F(ReplyCase, EraOneRepliesGiveTheRightOffset) {
  const UtcInstant later{2208988800 + 3600, 0}; // 2040-01-01 01:00
  const TNtpTimestamp later_stamp = InstantToNtp(later);
  ASSERT_EQ(later_stamp.Seconds & 0x80000000u, 0u);
  const sntptest::ReplyFields s{sntptest::AddSeconds(later, 2.5), sntptest::AddSeconds(later, 2.5)};
  const TReplyVerdict v = CheckReply(sntptest::ServerReply(later_stamp, s), later_stamp, later, later);
  ASSERT_TRUE(v.Accepted()) << ReplyCheckName(v.Check);
  EXPECT_NEAR(v.Offset, 2.5, 2e-9);
  EXPECT_EQ(DecodeDateTime(v.ServerTime).year, 2040);
}

TEST(SntpReply, TheFirstSecondOfEraOneIsATimeLikeAnyOther) {
  // Era 1 begins at 2036-02-07 06:28:16 UTC; during its first second a timestamp's seconds word
  // is 0 and only its fraction is not. The client sent 2 s before the era began, and the answer
  // came back 1.5 s later.
  const UtcInstant era1{2085978496, 0};
  const UtcInstant T1 = sntptest::AddSeconds(era1, -2), T4 = sntptest::AddSeconds(era1, -0.5);
  const TNtpTimestamp stamp = InstantToNtp(T1);
  struct Row {
    double receive, transmit; // seconds after the start of era 1
    double offset, delay;
    int second; // of the server time, 06:28:ss
  };
  // First the receive time in the era's first second, then the transmit time.
  for (const Row &row : {Row{0.25, 1.25, 2.0, 0.5, 17}, Row{-0.25, 0.25, 1.25, 1.0, 16}}) {
    const sntptest::ReplyFields fields{sntptest::AddSeconds(era1, row.receive),
                                       sntptest::AddSeconds(era1, row.transmit)};
    const TReplyVerdict v = CheckReply(sntptest::ServerReply(stamp, fields), stamp, T1, T4);
    ASSERT_TRUE(v.Accepted()) << row.receive << ": " << ReplyCheckName(v.Check);
    EXPECT_EQ(row.receive > 0 ? v.Packet.Rcv1 : v.Packet.Xmit1, 0u);
    EXPECT_NEAR(v.Offset, row.offset, 2e-9) << row.receive;
    EXPECT_NEAR(v.Delay, row.delay, 2e-9) << row.receive;
    const auto server_time = DecodeDateTime(v.ServerTime);
    EXPECT_EQ(server_time.year, 2036);
    EXPECT_EQ(server_time.hour * 3600 + server_time.minute * 60 + server_time.second,
              6 * 3600 + 28 * 60 + row.second);
  }
}
