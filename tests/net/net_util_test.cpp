#include "net/net_util.h"

#include <arpa/inet.h>
#include <cerrno>
#include <gtest/gtest.h>
#include <netdb.h>
#include <sstream>
#include <vector>

#include "net/block_socket.h"
#include "sntp_fixtures.h"

using namespace kv::net;

TEST(BigEndian, PacksHighByteFirstAndReadsMissingBytesAsZero) {
  EXPECT_EQ(EncodeWordBE(0x1234), std::string("\x12\x34", 2));
  EXPECT_EQ(EncodeLongBE(0x01020304), std::string("\x01\x02\x03\x04", 4));
  EXPECT_EQ(EncodeLongBE(0xFFFFFFFF), std::string(4, '\xFF'));
  EXPECT_EQ(DecodeWordBE(std::string("\x12\x34", 2), 1), 0x1234);
  EXPECT_EQ(DecodeLongBE(std::string("\x00\x7B\x01\x02\x03\x04", 6), 3), 0x01020304u);
  EXPECT_EQ(DecodeLongBE(std::string("\xAB\xCD", 2), 1), 0xABCD0000u);
  EXPECT_EQ(DecodeWordBE(std::string("\x7F", 1), 1), 0x7F00);
  EXPECT_EQ(DecodeWordBE("", 1), 0);
  EXPECT_EQ(DecodeLongBE(std::string(4, '\xFF'), 0), 0x00FFFFFFu); // position 0 lies before the text
}

TEST(Base64, EncodesWithPaddingAndWithoutLineBreaks) {
  EXPECT_EQ(EncodeBase64(""), "");
  EXPECT_EQ(EncodeBase64("a"), "YQ==");
  EXPECT_EQ(EncodeBase64("ab"), "YWI=");
  EXPECT_EQ(EncodeBase64("abc"), "YWJj");
  EXPECT_EQ(EncodeBase64("tuser:tpass"), "dHVzZXI6dHBhc3M=");
  EXPECT_EQ(EncodeBase64(std::string("\xFF\xFE\x00", 3)), "//4A");
  const std::string long_text(1000, 'x');
  const std::string encoded = EncodeBase64(long_text);
  EXPECT_EQ(encoded.size(), 1336u);
  EXPECT_EQ(encoded.find('\n'), std::string::npos);
  // A table without the pad character leaves the padding out.
  EXPECT_EQ(EncodeWithTable("a", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"), "YQ");
}

TEST(AddressText, IPv4TestReadsTextsAsTheResolverDoes) {
  EXPECT_TRUE(IsIPv4Text("10.0.0.1"));
  EXPECT_TRUE(IsIPv4Text(" 10.0.0.1 "));
  EXPECT_TRUE(IsIPv4Text("255.255.255.255"));
  EXPECT_FALSE(IsIPv4Text("10.0.0"));
  EXPECT_FALSE(IsIPv4Text("10.0.0.256"));
  EXPECT_FALSE(IsIPv4Text("10.0.0.1.5"));
  EXPECT_FALSE(IsIPv4Text(""));
  EXPECT_FALSE(IsIPv4Text("10.1"));
  // The resolver reads a leading zero as octal (010 = 8): such a text is not taken as an address.
  EXPECT_FALSE(IsIPv4Text("010.0.0.1"));

  // Whatever the test accepts, the resolver reads as the same four bytes.
  TBlockSocket socket;
  for (const char *text : {"10.0.0.1", " 10.0.0.1", "127.0.0.2", "192.168.1.2 ", "010.0.0.1", "10.1"}) {
    if (!IsIPv4Text(text)) continue;
    const std::string bytes = IPv4TextToBytes(text);
    char expected[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, bytes.data(), expected, sizeof expected);
    EXPECT_EQ(socket.ResolveFirst(text), expected) << text;
  }
  EXPECT_EQ(socket.ResolveFirst("010.0.0.1"), "8.0.0.1");
  EXPECT_EQ(IPv4TextToBytes("192.168.1.2"), std::string("\xC0\xA8\x01\x02", 4));
  EXPECT_EQ(IPv4TextToBytes("1.x.3.4"), std::string("\x01\x00\x03\x04", 4));
}

TEST(AddressText, IPv6TestNeedsAColonAndAgreesWithTheResolver) {
  const std::vector<std::string> yes = {"::1",       "::",         "1::",        "::ffff:1.2.3.4",
                                        "fe80::1%4", "fe80::1%lo", "2001:db8::7"};
  // A zone on an address that is not link-local, or naming no interface, the resolver refuses.
  const std::vector<std::string> no = {
      "cafe", "1",       "",    "1:2:3",  "1::2::3",     "12345::1",
      "::1%", "1.2.3.4", "::g", "::1%lo", "fe80::1%%lo", "fe80::1%no-such-if0"};
  EXPECT_TRUE(IsIPv6Text(" ::1 "));
  for (const auto &text : yes)
    EXPECT_TRUE(IsIPv6Text(text)) << text;
  for (const auto &text : no)
    EXPECT_FALSE(IsIPv6Text(text)) << text;

  for (const auto *list : {&yes, &no}) {
    for (const auto &text : *list) {
      addrinfo hints{};
      hints.ai_family = AF_INET6;
      hints.ai_flags = AI_NUMERICHOST;
      addrinfo *found = nullptr;
      const bool resolves = getaddrinfo(text.c_str(), nullptr, &hints, &found) == 0;
      if (found) freeaddrinfo(found);
      EXPECT_EQ(resolves, list == &yes) << text;
    }
  }
}

TEST(AddressText, PortTextIsOneToFiveDigitsAndNothingElse) {
  EXPECT_EQ(PortTextNumber("0"), 0);
  EXPECT_EQ(PortTextNumber("123"), 123);
  EXPECT_EQ(PortTextNumber("65535"), 65535);
  EXPECT_EQ(PortTextNumber(""), -1);
  EXPECT_EQ(PortTextNumber("123456"), -1);
  EXPECT_EQ(PortTextNumber(" 80"), -1);
  EXPECT_EQ(PortTextNumber("ntp"), -1);
}

TEST(AddressText, OctetTest) {
  EXPECT_TRUE(IsOctetText("0"));
  EXPECT_TRUE(IsOctetText("255"));
  EXPECT_TRUE(IsOctetText("007"));
  EXPECT_FALSE(IsOctetText("256"));
  EXPECT_FALSE(IsOctetText(""));
  EXPECT_FALSE(IsOctetText("1a"));
  EXPECT_FALSE(IsOctetText(" 1"));
}

TEST(TextHelpers, TrimOnlySpacesAndCutTokens) {
  EXPECT_EQ(TrimSpaces("  a b \t "), "a b \t");
  EXPECT_EQ(TrimLeftSpaces("  x "), "x ");
  EXPECT_EQ(TrimRightSpaces("  x "), "  x");
  EXPECT_EQ(TrimSpaces("   "), "");
  EXPECT_EQ(TextBefore("a:b:c", ":"), "a");
  EXPECT_EQ(TextAfter("a:b:c", ":"), "b:c");
  EXPECT_EQ(TextBefore("abc", ":"), "abc");
  EXPECT_EQ(TextAfter("abc", ":"), "abc");
  std::string rest = "k = v ; w";
  EXPECT_EQ(CutToken(rest, "="), "k ");
  EXPECT_EQ(rest, " v ; w");
  EXPECT_EQ(CutTrimmedToken(rest, ";"), "v");
  EXPECT_EQ(rest, "w");
  EXPECT_EQ(CutToken(rest, ";"), "w");
  EXPECT_EQ(rest, "");
}

TEST(TextHelpers, FindLineEndTakesTheEarliestAndPrefersPairs) {
  std::string end;
  EXPECT_EQ(FindLineEnd("ab\n\rcd", end), 3u);
  EXPECT_EQ(end, "\n\r");
  EXPECT_EQ(FindLineEnd("ab\r\ncd", end), 3u);
  EXPECT_EQ(end, "\r\n");
  EXPECT_EQ(FindLineEnd("a\rb\r\n", end), 2u);
  EXPECT_EQ(end, "\r");
  EXPECT_EQ(FindLineEnd("\nx", end), 1u);
  EXPECT_EQ(end, "\n");
  EXPECT_EQ(FindLineEnd("none", end), 0u);
  EXPECT_EQ(end, "");
}

TEST(Ticks, DifferenceCountsAcrossA32BitWrapAndNeverGoesHuge) {
  EXPECT_EQ(TickDifference(4294967040u, 256), 512u);
  EXPECT_EQ(TickDifference(100, 100), 0u);
  EXPECT_EQ(TickDifference(100, 350), 250u);
  // A backwards pair that is no 32-bit wrap gives 0, never a wait of billions of milliseconds.
  EXPECT_EQ(TickDifference(350, 100), 0u);
  EXPECT_EQ(TickDifference(0x100000005ull, 3), 0u);
  const uint64_t a = TickNow();
  const uint64_t b = TickNow();
  EXPECT_GE(b, a);
  EXPECT_GT(a, 0u);
}

TEST(Ticks, TimeLeftRunsDownToZeroAndANegativeTimeoutHasNoLimit) {
  const uint64_t now = TickNow();
  EXPECT_EQ(MillisecondsLeft(now, -1), -1);
  EXPECT_EQ(MillisecondsLeft(now - 1000, 500), 0);
  EXPECT_EQ(MillisecondsLeft(now - 500, 500), 0);
  const int left = MillisecondsLeft(now, 100000);
  EXPECT_GT(left, 90000);
  EXPECT_LE(left, 100000);
}

TEST(UtcClock, ReadsAtMillisecondsAndReportsARefusedSet) {
  sntptest::FakeClock clock({1700000000, 123456789});
  sntptest::ScopedClock scope(clock);
  const double expected = (1700000000.0 + 0.123) / 86400.0 + 25569.0;
  EXPECT_NEAR(GetUtcNow(), expected, 1e-9);
  int error = -1;
  EXPECT_TRUE(SetUtcNow(45000.5, &error));
  EXPECT_EQ(error, 0);
  ASSERT_FALSE(clock.Sets().empty());
  EXPECT_EQ(clock.Sets().back().seconds, static_cast<int64_t>((45000.5 - 25569.0) * 86400.0));
  clock.RefuseSetWith(EPERM);
  EXPECT_FALSE(SetUtcNow(45000.5, &error));
  EXPECT_EQ(error, EPERM);
}

TEST(Streams, WriteStringToStreamWritesEveryByte) {
  std::ostringstream out;
  WriteStringToStream(out, std::string("a\0b", 3));
  EXPECT_EQ(out.str(), std::string("a\0b", 3));
}
