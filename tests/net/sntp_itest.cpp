#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "net/sntp_packet.h"
#include "net/sntp_send.h"
#include "sntp_fixtures.h"
#include "test_support.h"
#include "tests/peers/chronyd_peer.h"
#include "tests/peers/proxy_peers.h"

using namespace kv::net;
using kv::platform::UtcInstant;
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

// Beyond half the delay, only chronyd's timestamp noise, far below this, parts a measured offset
// from the true one.
constexpr double kNoise = 10e-6;

// One query, and the machine's real time just before and just after it.
struct TimedQuery {
  bool ok = false;
  UtcInstant before, after;
  double took() const { return kv::platform::SecondsBetween(before, after); }
};
TimedQuery TimedRequest(TSNTPSend &client) {
  TimedQuery q;
  q.before = kv::platform::SystemClock().Now();
  q.ok = client.RequestTime();
  q.after = kv::platform::SystemClock().Now();
  return q;
}

// What holds however loaded the machine is: the delay lies between 0 and the time the query
// took, and the true offset within half the delay of the measured one.
void ExpectExchange(const TSNTPSend &client, const TimedQuery &q, double expected_offset) {
  EXPECT_GE(client.NTPDelay(), 0.0);
  EXPECT_LE(client.NTPDelay(), q.took());
  EXPECT_LE(std::fabs(client.NTPOffset() - expected_offset), client.NTPDelay() / 2 + kNoise)
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
  const TimedQuery q = TimedRequest(client);
  ASSERT_TRUE(q.ok) << sntptest::Why(client);
  ExpectExchange(client, q, 100.0);
  EXPECT_EQ(client.Reply().Stratum, 10);
  EXPECT_EQ(client.ClockSetResult(), TClockSetResult::Set);
  const auto sets = clock.Sets();
  ASSERT_EQ(sets.size(), 1u);
  // Set to the server's time, which is the machine's own: the real time during the query, give
  // or take half the delay.
  const double slack = client.NTPDelay() / 2 + kNoise;
  EXPECT_GE(kv::platform::SecondsBetween(q.before, sets[0]), -slack);
  EXPECT_GE(kv::platform::SecondsBetween(sets[0], q.after), -slack);
}

TEST_F(SntpChronyd, RepeatedQueriesOnOneClientAgree) {
  client.MaxSyncDiff = 50; // the 100 s offset is too large to set
  client.SyncTime = true;
  for (int i = 0; i < 20; ++i) {
    const TimedQuery q = TimedRequest(client);
    ASSERT_TRUE(q.ok) << "query " << i << ": " << sntptest::Why(client);
    ExpectExchange(client, q, 100.0);
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
    // The association is made before T1 (the slow fake relay of the client's own tests shows
    // that); here the relayed round trip, however long the load makes it, is a sane one.
    const TimedQuery q = TimedRequest(client);
    ASSERT_TRUE(q.ok) << sntptest::Why(client) << "\n" << danted.Log();
    EXPECT_TRUE(client.Sock().UsingSocks());
    EXPECT_FALSE(client.Sock().AssociationFailedAtProxy());
    ExpectExchange(client, q, 100.0);
    EXPECT_EQ(client.Reply().Stratum, 10);
  }
  EXPECT_EQ(clock.Sets().size(), 3u);
}

TEST(SntpThroughDanted, ASilentServerBehindAWorkingProxyIsNoFailureOfTheProxy) {
  kvtest::DantedPeer danted;
  KV_REQUIRE_PEER(danted.Start(), danted.why());
  kvnettest::UdpPeer silent;
  TSNTPSend client;
  client.TargetHost = "127.0.0.1";
  client.TargetPort = silent.port_text();
  client.Sock().SocksIP = "127.0.0.1";
  client.Sock().SocksPort = danted.PortText();
  client.Timeout = 1000;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client.RequestTime());
  const int64_t took = kvtest::ElapsedMs(start);
  EXPECT_EQ(client.Sock().LastError(), 10060) << danted.Log();
  EXPECT_TRUE(client.Sock().UsingSocks());
  EXPECT_FALSE(client.Sock().AssociationFailedAtProxy());
  // The wait for the answer took the rest of the time-out, no more than that and a loaded
  // machine's slack.
  EXPECT_GE(took, 950);
  EXPECT_LT(took, 11000);
  std::string request;
  EXPECT_TRUE(silent.Recv(request, nullptr, 2000)) << "the request went through the relay";
}
