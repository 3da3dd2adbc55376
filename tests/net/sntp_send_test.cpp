#include "net/sntp_send.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cmath>

#include "sntp_fixtures.h"
#include "test_support.h"

using namespace kv::net;
using namespace sntptest;
using kv::platform::DecodeDateTime;
using kv::platform::InstantToDateTime;
using kv::platform::UtcInstant;
using kvtest::ElapsedMs;

namespace {

using Clock = std::chrono::steady_clock;

class SntpSend : public ::testing::Test {
protected:
  SntpSend() {
    client.TargetHost = "127.0.0.1";
    client.TargetPort = responder.PortText();
    client.Timeout = 2000;
  }

  // A reply to `request` from a server `ahead` seconds ahead of the test's clock.
  std::string ReplyAhead(const std::string &request, double ahead, ReplyFields fields = {}) {
    fields.receive = fields.transmit = AddSeconds(clock.Now(), ahead);
    return ServerReply(TransmitOf(request), fields);
  }

  const UtcInstant now{1796757040, 123000000}; // 2026-12-08, whole milliseconds
  FakeClock clock{now};
  ScopedClock installed{clock};
  ScriptedResponder responder;
  TSNTPSend client;
};

} // namespace

TEST_F(SntpSend, DefaultsAreThoseOfANewClient) {
  TSNTPSend fresh;
  EXPECT_EQ(fresh.TargetHost, "127.0.0.1");
  EXPECT_EQ(fresh.TargetPort, "ntp");
  EXPECT_EQ(fresh.IPInterface, "0.0.0.0");
  EXPECT_EQ(fresh.Timeout, 5000);
  EXPECT_EQ(fresh.MaxSyncDiff, 3600.0);
  EXPECT_FALSE(fresh.SyncTime);
  EXPECT_EQ(fresh.NTPTime(), 0.0);
  EXPECT_EQ(fresh.NTPOffset(), 0.0);
  EXPECT_EQ(fresh.NTPDelay(), 0.0);
  EXPECT_TRUE(fresh.Sock().SocksIP.empty());
}

TEST_F(SntpSend, RequestCarriesSendTimeAsOriginateAndTransmit) {
  responder.SetScript(ServerAhead(clock, 100));
  ASSERT_TRUE(client.RequestTime()) << client.Sock().LastError();
  ASSERT_EQ(responder.Requests(), 1);
  const std::string request = responder.Request(0);
  ASSERT_EQ(request.size(), 48u);
  EXPECT_EQ(request[0], '\x1B');
  EXPECT_EQ(request.substr(1, 23), std::string(23, '\0'));
  EXPECT_EQ(request.substr(32, 8), std::string(8, '\0'));
  TNtpPacket p;
  ASSERT_TRUE(PacketFromString(request, p));
  const TNtpTimestamp sent = InstantToNtp(now);
  EXPECT_EQ(p.Org1, sent.Seconds);
  EXPECT_EQ(p.Org2, sent.Fraction);
  EXPECT_EQ(p.Xmit1, sent.Seconds);
  EXPECT_EQ(p.Xmit2, sent.Fraction);
}

TEST_F(SntpSend, AnExchangeWithinAMillisecondIsMeasuredToTheNanosecond) {
  // As on a LAN: the server, 100 s ahead, receives 23.4 us after T1, answers 3.1 us later, and
  // the reply takes 20.2 us back. The clock reads T1 and T4 with nanoseconds.
  const UtcInstant T1{1796757040, 123456789};
  const UtcInstant T4 = AddSeconds(T1, 46.7e-6);
  const UtcInstant T2 = AddSeconds(T1, 100 + 23.4e-6), T3 = AddSeconds(T2, 3.1e-6);
  responder.SetScript([&](const std::string &request) {
    return std::vector<Datagram>{{ServerReply(TransmitOf(request), {T2, T3})}};
  });
  clock.ScriptReads({T1, T4});
  client.SyncTime = true;
  ASSERT_TRUE(client.RequestTime()) << Why(client);
  // The request carries T1 itself, exactly.
  const TNtpTimestamp sent = TransmitOf(responder.Request(0));
  EXPECT_EQ(NtpToInstant(sent).seconds, T1.seconds);
  EXPECT_EQ(NtpToInstant(sent).nanoseconds, T1.nanoseconds);
  // Delay 46.7 - 3.1 us; offset 100 s plus half the paths' difference (23.4 - 20.2 us).
  EXPECT_NEAR(client.NTPDelay(), 43.6e-6, 2e-9);
  EXPECT_NEAR(client.NTPOffset(), 100 + 1.6e-6, 2e-9);
  EXPECT_NEAR(client.NTPTime(), InstantToDateTime(AddSeconds(T3, 21.8e-6)), 1e-11); // a day count's step
  // The clock is set to T4 + offset to the nanosecond, not to the nearest millisecond.
  const auto sets = clock.Sets();
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_NEAR(kv::platform::SecondsBetween(AddSeconds(T4, 100 + 1.6e-6), sets[0]), 0, 3e-9);

  // The next request, 1 us later, carries another stamp: a late answer to the first one, which
  // comes in after it, is not taken for its answer.
  const std::string first = responder.Request(0);
  clock.Freeze(AddSeconds(T1, 1e-6));
  responder.SetScript([&](const std::string &request) {
    return std::vector<Datagram>{{ReplyAhead(first, 1000)}, {ReplyAhead(request, 5)}};
  });
  client.SyncTime = false;
  ASSERT_TRUE(client.RequestTime()) << Why(client);
  EXPECT_NE(TransmitOf(responder.Request(1)), sent);
  EXPECT_NEAR(client.NTPOffset(), 5.0, 1e-6);
}

TEST_F(SntpSend, ServerAheadSetsTheClockThroughTheClockInterface) {
  responder.SetScript(ServerAhead(clock, 100));
  client.SyncTime = true;
  ASSERT_TRUE(client.RequestTime());
  EXPECT_NEAR(client.NTPOffset(), 100.0, 0.001);
  EXPECT_NEAR(client.NTPDelay(), 0.0, 0.001);
  EXPECT_NEAR(Seconds(kv::platform::DateTimeToInstant(client.NTPTime())), Seconds(now) + 100, 0.002);
  EXPECT_EQ(client.ClockSetResult(), TClockSetResult::Set);
  const auto sets = clock.Sets();
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_NEAR(Seconds(sets[0]), Seconds(now) + 100, 0.002);
  EXPECT_EQ(client.ReplyMode(), 4);
  EXPECT_EQ(client.LastCheck(), TReplyCheck::Accepted);
}

TEST_F(SntpSend, OffsetBeyondMaxSyncDiffIsAnAnswerButLeavesTheClock) {
  responder.SetScript(ServerAhead(clock, 100));
  client.SyncTime = true;
  client.MaxSyncDiff = 99;
  EXPECT_TRUE(client.RequestTime());
  EXPECT_NEAR(client.NTPOffset(), 100.0, 0.001);
  EXPECT_EQ(client.ClockSetResult(), TClockSetResult::OffsetTooLarge);
  EXPECT_TRUE(clock.Sets().empty());

  // Without SyncTime nobody asks the clock at all.
  client.SyncTime = false;
  client.MaxSyncDiff = 3600;
  EXPECT_TRUE(client.RequestTime());
  EXPECT_EQ(client.ClockSetResult(), TClockSetResult::NotAsked);
  EXPECT_TRUE(clock.Sets().empty());
}

TEST_F(SntpSend, RefusedClockChangeIsRecordedNotHidden) {
  responder.SetScript(ServerAhead(clock, -30));
  clock.RefuseSetWith(EPERM);
  client.SyncTime = true;
  EXPECT_TRUE(client.RequestTime()); // the answer itself was good
  EXPECT_NEAR(client.NTPOffset(), -30.0, 0.001);
  EXPECT_EQ(client.ClockSetResult(), TClockSetResult::Refused);
  EXPECT_EQ(client.ClockSetError(), EPERM);
  EXPECT_EQ(clock.Sets().size(), 1u);
}

TEST_F(SntpSend, RejectedAnswersEndTheQueryAtOnceAndKeepEarlierResults) {
  responder.SetScript(ServerAhead(clock, 7));
  ASSERT_TRUE(client.RequestTime());
  client.SyncTime = true;
  client.Timeout = 5000;

  struct Row {
    const char *what;
    ReplyFields fields;
    size_t length;
    TReplyCheck expected;
  };
  const Row rows[] = {
      {"leap 3", {{}, {}, 0xE4, 2}, 48, TReplyCheck::Unsynchronised},
      {"mode 3", {{}, {}, 0x23, 2}, 48, TReplyCheck::NotServerMode},
      {"mode 5", {{}, {}, 0x25, 2}, 48, TReplyCheck::NotServerMode},
      {"stratum 0", {{}, {}, 0x24, 0}, 48, TReplyCheck::BadStratum},
      {"stratum 16", {{}, {}, 0x24, 16}, 48, TReplyCheck::BadStratum},
      {"47 bytes", {}, 47, TReplyCheck::TooShort},
  };
  for (const Row &row : rows) {
    responder.SetScript([&](const std::string &request) {
      return std::vector<Datagram>{{ReplyAhead(request, 500, row.fields).substr(0, row.length)}};
    });
    const auto start = Clock::now();
    EXPECT_FALSE(client.RequestTime()) << row.what;
    EXPECT_LT(ElapsedMs(start), 2500) << row.what << ": must not wait for the time-out";
    EXPECT_EQ(client.LastCheck(), row.expected) << row.what;
  }
  for (bool zero_receive : {true, false}) {
    responder.SetScript([&, zero_receive](const std::string &request) {
      TNtpPacket p;
      PacketFromString(ReplyAhead(request, 500), p);
      (zero_receive ? p.Rcv1 : p.Xmit1) = 0;
      (zero_receive ? p.Rcv2 : p.Xmit2) = 0;
      return std::vector<Datagram>{{PacketToString(p)}};
    });
    EXPECT_FALSE(client.RequestTime());
    EXPECT_EQ(client.LastCheck(), zero_receive ? TReplyCheck::NoReceiveTime : TReplyCheck::NoTransmitTime);
  }
  EXPECT_NEAR(client.NTPOffset(), 7.0, 0.001); // untouched by the rejected answers
  EXPECT_TRUE(clock.Sets().empty());

  // 60 bytes: the first 48 are the answer.
  responder.SetScript([&](const std::string &request) {
    return std::vector<Datagram>{{ReplyAhead(request, 3) + std::string(12, '\x7F')}};
  });
  EXPECT_TRUE(client.RequestTime());
  EXPECT_NEAR(client.NTPOffset(), 3.0, 0.001);
}

TEST_F(SntpSend, SilenceIsATimeOut) {
  client.Timeout = 300;
  const auto start = Clock::now();
  EXPECT_FALSE(client.RequestTime());
  EXPECT_GE(ElapsedMs(start), 250);
  EXPECT_EQ(client.Sock().LastError(), 10060);
  EXPECT_FALSE(client.LastCheck().has_value());
  EXPECT_EQ(responder.Requests(), 1);
}

TEST_F(SntpSend, DatagramsFromOtherSendersAreNotTheAnswer) {
  // Someone else races the server with a well-formed answer claiming +1000 s.
  responder.SetScript([&](const std::string &request) {
    return std::vector<Datagram>{{ReplyAhead(request, 1000), true}, {ReplyAhead(request, 5), false}};
  });
  ASSERT_TRUE(client.RequestTime());
  EXPECT_NEAR(client.NTPOffset(), 5.0, 0.001);

  // Only the other sender answers: nothing is taken, the query times out.
  responder.SetScript([&](const std::string &request) {
    return std::vector<Datagram>{{ReplyAhead(request, 1000), true}};
  });
  client.Timeout = 300;
  EXPECT_FALSE(client.RequestTime());
  EXPECT_EQ(client.Sock().LastError(), 10060);
  EXPECT_NEAR(client.NTPOffset(), 5.0, 0.001);
}

TEST_F(SntpSend, AnswerWithAnotherOriginateIsSkipped) {
  responder.SetScript([&](const std::string &request) {
    TNtpPacket wrong;
    PacketFromString(ReplyAhead(request, 1000), wrong);
    wrong.Org2 ^= 0x10000;
    return std::vector<Datagram>{{PacketToString(wrong)}, {ReplyAhead(request, 5)}};
  });
  ASSERT_TRUE(client.RequestTime());
  EXPECT_NEAR(client.NTPOffset(), 5.0, 0.001);
  EXPECT_EQ(client.LastCheck(), TReplyCheck::Accepted);

  // A reply that echoes nothing (originate 0) is not ours either.
  responder.SetScript([&](const std::string &request) {
    TNtpPacket none;
    PacketFromString(ReplyAhead(request, 1000), none);
    none.Org1 = none.Org2 = 0;
    return std::vector<Datagram>{{PacketToString(none)}};
  });
  client.Timeout = 300;
  EXPECT_FALSE(client.RequestTime());
  EXPECT_EQ(client.LastCheck(), TReplyCheck::OriginateMismatch);
  EXPECT_EQ(client.Sock().LastError(), 10060);
}

TEST_F(SntpSend, LateAnswerToAnEarlierQueryIsDiscardedBeforeSending) {
  client.Timeout = 200;
  EXPECT_FALSE(client.RequestTime()); // silent server: times out
  ASSERT_EQ(responder.Requests(), 1);
  // The late answer arrives and waits on the client's socket. With the frozen clock the next
  // request carries the same stamp, so only discarding it before sending keeps it out.
  responder.SendToClient({ReplyAhead(responder.Request(0), 1000)});
  ASSERT_TRUE(kvtest::WaitUntil([&] { return client.Sock().PendingBytes() > 0; }, std::chrono::seconds(5)));

  responder.SetScript(ServerAhead(clock, 5));
  client.Timeout = 2000;
  ASSERT_TRUE(client.RequestTime());
  EXPECT_NEAR(client.NTPOffset(), 5.0, 0.001);
}

TEST_F(SntpSend, WorksAfter2036) {
  const UtcInstant in2040{2208988800 + 86400 * 40, 500000000}; // 2040-02-10
  clock.Freeze(in2040);
  responder.SetScript(ServerAhead(clock, 100));
  ASSERT_TRUE(client.RequestTime());
  EXPECT_NEAR(client.NTPOffset(), 100.0, 0.001);
  EXPECT_EQ(DecodeDateTime(client.NTPTime()).year, 2040);
  TNtpPacket p;
  ASSERT_TRUE(PacketFromString(responder.Request(0), p));
  EXPECT_EQ(p.Xmit1, static_cast<uint32_t>(in2040.seconds + kNtpToUnixSeconds - (int64_t{1} << 32)));
}

TEST_F(SntpSend, FailedSendIsReportedAtOnce) {
  client.TargetPort = "0"; // the system refuses to send to port 0
  client.Timeout = 5000;
  const auto start = Clock::now();
  EXPECT_FALSE(client.RequestTime());
  EXPECT_LT(ElapsedMs(start), 2000);
  EXPECT_NE(client.Sock().LastError(), 0);
  EXPECT_NE(client.Sock().LastError(), 10060);
}

TEST_F(SntpSend, ProxyThatCannotBeReachedFailsAtOnce) {
  client.Sock().SocksIP = "127.0.0.1";
  client.Sock().SocksPort = std::to_string(kvtest::FreePort()); // nobody listens there
  const auto start = Clock::now();
  EXPECT_FALSE(client.RequestTime());
  EXPECT_LT(ElapsedMs(start), 2000);
  EXPECT_EQ(client.Sock().LastError(), 11003);
  EXPECT_FALSE(client.Sock().AssociationFailedAtProxy());
  EXPECT_EQ(responder.Requests(), 0);
}

TEST(SntpSendThroughProxy, SlowAssociationCountsNeitherIntoDelayNorOffset) {
  FakeClock clock = FakeClock::Follow(0); // real time, so the delay is the real round trip
  ScopedClock installed{clock};
  ScriptedResponder responder(ServerAhead(clock, 100));
  SlowSocksRelay proxy(400);
  TSNTPSend client;
  client.TargetHost = "127.0.0.1";
  client.TargetPort = responder.PortText();
  client.Sock().SocksIP = "127.0.0.1";
  client.Sock().SocksPort = std::to_string(proxy.Port());
  for (int i = 1; i <= 2; ++i) {
    const auto start = Clock::now();
    ASSERT_TRUE(client.RequestTime()) << sntptest::Why(client);
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_EQ(proxy.Associations(), i); // one association per query, made before the send
    // The association's 0.4 s lie within the call but outside T1..T4, however slow the machine.
    EXPECT_GE(client.NTPDelay(), 0.0);
    EXPECT_LE(client.NTPDelay(), took - 0.4);
    // Off by at most half the round trip, not by half the set-up.
    EXPECT_LE(std::fabs(client.NTPOffset() - 100.0), client.NTPDelay() / 2 + 1e-6);
  }
  EXPECT_EQ(responder.ClientPort(), proxy.RelayPort()); // the server saw the relay, not us
}

TEST(SntpSendThroughProxy, TheAssociationIsBoundedByTheQuerysTimeOutButGetsAtLeastFiveSeconds) {
  // A proxy that accepts the connection and never says a word (the system accepts for the
  // listener): the query ends after its 5 s, not after the proxy's 60 s for each answer.
  kvnettest::TcpListener silent;
  TSNTPSend client;
  client.TargetHost = "127.0.0.1";
  client.TargetPort = "123";
  client.Sock().SocksIP = "127.0.0.1";
  client.Sock().SocksPort = silent.port_text();
  auto start = Clock::now();
  EXPECT_FALSE(client.RequestTime());
  const int64_t took = ElapsedMs(start);
  EXPECT_GE(took, 4900);
  EXPECT_LT(took, 15000);
  EXPECT_EQ(client.Sock().LastError(), 11003);
  ASSERT_NE(client.Sock().ControlSocket(), nullptr);
  EXPECT_EQ(client.Sock().ControlSocket()->LastError(), 10060);
  EXPECT_TRUE(client.Sock().AssociationFailedAtProxy());

  // A time-out of 0 ms only takes an answer already there, but a proxy that needs 0.4 s for the
  // association still gets to make it.
  ScriptedResponder responder;
  SlowSocksRelay proxy(400);
  client.TargetPort = responder.PortText();
  client.Sock().SocksPort = std::to_string(proxy.Port());
  client.Timeout = 0;
  start = Clock::now();
  client.RequestTime();
  EXPECT_TRUE(client.Sock().UsingSocks()) << sntptest::Why(client);
  EXPECT_FALSE(client.Sock().AssociationFailedAtProxy());
  EXPECT_LT(ElapsedMs(start), 5000);
}
