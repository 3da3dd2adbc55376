#include <gtest/gtest.h>

#include <cmath>

#include "net/sntp_packet.h"
#include "net/sntp_send.h"
#include "sntp_fixtures.h"
#include "test_support.h"
#include "tests/peers/chronyd_peer.h"
#include "tests/peers/proxy_peers.h"

using namespace kv::net;
using sntptest::FakeClock;
using sntptest::ScopedClock;

namespace {

class SntpChronyd : public ::testing::Test {
protected:
  void SetUp() override {
    KV_REQUIRE_PEER(chronyd.Start(), chronyd.why());
    client.TargetHost = chronyd.Address();
    client.TargetPort = chronyd.PortText();
    client.Timeout = 2000;
  }

  // Our clock reads 100 s behind the machine's, which chronyd serves.
  FakeClock clock = FakeClock::Follow(-100);
  ScopedClock installed{clock};
  kvtest::ChronydPeer chronyd;
  TSNTPSend client;
};

// The true offset lies within half the round trip of the measured one; the millisecond clock and
// the 0.1 ms cut add up to 1.2 ms more.
void ExpectOffsetAbout(const TSNTPSend &client, double expected) {
  EXPECT_LE(std::fabs(client.NTPOffset() - expected), std::fabs(client.NTPDelay()) / 2 + 0.0012)
      << "offset " << client.NTPOffset() << ", delay " << client.NTPDelay();
}

} // namespace

TEST_F(SntpChronyd, PeerServesWithoutTouchingTheClock) {
  EXPECT_NE(chronyd.Log().find("Disabled control of system clock"), std::string::npos) << chronyd.Log();
  const std::string answer = kvtest::QueryNtpOnce(chronyd.Address(), chronyd.Port(), 2000);
  TNtpPacket p;
  ASSERT_TRUE(PacketFromString(answer, p));
  EXPECT_EQ(p.LiVnMode & 7, kModeServer);
  EXPECT_EQ(p.Stratum, 10);
  EXPECT_EQ(p.Org2, 1u); // our transmit timestamp echoed as originate
}

TEST_F(SntpChronyd, DirectQueryMeasuresTheOffsetAndSetsTheFakeClock) {
  client.SyncTime = true;
  ASSERT_TRUE(client.RequestTime()) << sntptest::Why(client);
  ExpectOffsetAbout(client, 100.0);
  EXPECT_GE(client.NTPDelay(), -0.002);
  EXPECT_LT(client.NTPDelay(), 0.5);
  EXPECT_EQ(client.Reply().Stratum, 10);
  EXPECT_EQ(client.ClockSetResult(), TClockSetResult::Set);
  const auto sets = clock.Sets();
  ASSERT_EQ(sets.size(), 1u);
  // Set to the server's time, which is the machine's own.
  const double real_now = sntptest::Seconds(kv::platform::SystemClock().Now());
  EXPECT_NEAR(sntptest::Seconds(sets[0]), real_now, 0.5);
}

TEST_F(SntpChronyd, RepeatedQueriesOnOneClientAgree) {
  client.MaxSyncDiff = 50; // the 100 s offset is too large to set
  client.SyncTime = true;
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(client.RequestTime()) << "query " << i << ": " << client.Sock().LastError();
    ExpectOffsetAbout(client, 100.0);
    EXPECT_EQ(client.ClockSetResult(), TClockSetResult::OffsetTooLarge);
  }
  EXPECT_TRUE(clock.Sets().empty());
}

TEST_F(SntpChronyd, QueryThroughDantedsUdpRelay) {
  kvtest::DantedPeer danted;
  KV_REQUIRE_PEER(danted.Start(), danted.why());
  client.Sock().SocksIP = "127.0.0.1";
  client.Sock().SocksPort = danted.PortText();
  client.SyncTime = true;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(client.RequestTime()) << sntptest::Why(client) << "\n" << danted.Log();
    EXPECT_TRUE(client.Sock().UsingSocks());
    ExpectOffsetAbout(client, 100.0);
    EXPECT_LT(client.NTPDelay(), 0.5);
    EXPECT_EQ(client.Reply().Stratum, 10);
  }
  EXPECT_EQ(clock.Sets().size(), 3u);
}
