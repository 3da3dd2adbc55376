#include <gtest/gtest.h>

#include "net/sntp_packet.h"
#include "test_support.h"
#include "tests/peers/chronyd_peer.h"

using namespace kv::net;

TEST(SntpChronyd, PeerServesWithoutTouchingTheClock) {
  kvtest::ChronydPeer chronyd;
  KV_REQUIRE_PEER(chronyd.Start(), chronyd.why());
  EXPECT_NE(chronyd.Log().find("Disabled control of system clock"), std::string::npos) << chronyd.Log();
  const std::string answer = kvtest::QueryNtpOnce(chronyd.Address(), chronyd.Port(), 2000);
  TNtpPacket p;
  ASSERT_TRUE(PacketFromString(answer, p));
  EXPECT_EQ(p.LiVnMode & 7, kModeServer);
  EXPECT_EQ(p.Stratum, 10);
  EXPECT_EQ(p.Org2, 1u);  // our transmit timestamp echoed as originate
}
