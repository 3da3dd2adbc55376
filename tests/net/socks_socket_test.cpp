// The SOCKS client against a scripted proxy: exact bytes on the wire, and the answers real
// proxies do not give.
#include "net/tcp_socket.h"
#include "net/udp_socket.h"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>

#include "fake_proxy.h"

using namespace kv::net;
using kvnettest::Bytes;
using kvnettest::FakeProxy;
using kvnettest::ProxySession;
using kvnettest::Socks5Reply;

namespace {

const std::string kLoopback = Bytes({127, 0, 0, 1});

// Accepts the greeting without login, reads a request of `request_size` bytes, grants it.
FakeProxy::Script GrantingProxy(size_t request_size,
                                const std::string &reply = Socks5Reply(kLoopback, 4242)) {
  return [request_size, reply](ProxySession &s) {
    const std::string head = s.Read(2);
    s.Read(head.size() == 2 ? static_cast<uint8_t>(head[1]) : 0);
    s.Write(Bytes({5, 0}));
    s.Read(request_size);
    s.Write(reply);
    s.WaitForClose();
  };
}

} // namespace

TEST(SocksClient, GreetingWithoutLoginThenConnectToAName) {
  FakeProxy proxy(GrantingProxy(4 + 1 + 12 + 2));
  TTCPBlockSocket sock;
  sock.SocksIP = "127.0.0.1";
  sock.SocksPort = proxy.port_text();
  sock.Connect("ntp.example1", "123");
  EXPECT_EQ(sock.LastError(), 0);
  EXPECT_TRUE(sock.UsingSocks());
  EXPECT_EQ(sock.SocksLocalIP(), "127.0.0.1");
  EXPECT_EQ(sock.SocksLocalPort(), "4242");
  EXPECT_EQ(sock.RemoteAddressText(), "ntp.example1");
  EXPECT_EQ(sock.RemotePort(), 123);
  EXPECT_EQ(sock.LocalAddressText(), "127.0.0.1");
  EXPECT_EQ(sock.LocalPort(), 4242);
  sock.CloseNow();
  EXPECT_EQ(proxy.transcripts(1).at(0),
            Bytes({5, 1, 0}) + Bytes({5, 1, 0, 3, 12}) + "ntp.example1" + Bytes({0, 123}));
}

TEST(SocksClient, LoginIsOfferedAndSkippedWhenTheProxyNeedsNone) {
  FakeProxy proxy(GrantingProxy(10));
  TTCPBlockSocket sock;
  sock.SocksIP = "127.0.0.1";
  sock.SocksPort = proxy.port_text();
  sock.SocksUsername = "tuser";
  sock.SocksPassword = "tpass";
  sock.Connect("10.1.2.3", "80");
  EXPECT_EQ(sock.LastError(), 0);
  sock.CloseNow();
  // 05 02 02 00 offers login and none; the proxy picks none, so no password is sent.
  EXPECT_EQ(proxy.transcripts(1).at(0), Bytes({5, 2, 2, 0}) + Bytes({5, 1, 0, 1, 10, 1, 2, 3, 0, 80}));
}

TEST(SocksClient, UserNameAndPasswordLogin) {
  for (const bool accepted : {true, false}) {
    FakeProxy proxy([accepted](ProxySession &s) {
      s.Read(4);
      s.Write(Bytes({5, 2}));
      s.Read(1 + 1 + 5 + 1 + 5);
      s.Write(Bytes({1, accepted ? 0 : 1}));
      if (accepted) {
        s.Read(10);
        s.Write(Socks5Reply(kLoopback, 1));
      }
      s.WaitForClose();
    });
    TTCPBlockSocket sock;
    sock.SocksIP = "127.0.0.1";
    sock.SocksPort = proxy.port_text();
    sock.SocksUsername = "tuser";
    sock.SocksPassword = "tpass";
    sock.Connect("127.0.0.1", "25");
    EXPECT_EQ(sock.LastError(), accepted ? 0 : 10091);
    EXPECT_EQ(sock.UsingSocks(), accepted);
    sock.CloseNow();
    EXPECT_EQ(proxy.transcripts(1).at(0).substr(4, 13), Bytes({1, 5}) + "tuser" + Bytes({5}) + "tpass");
  }
}

TEST(SocksClient, RefusedOrUnofferedMethodFailsTheGreeting) {
  // FF refuses every method offered; 02 (login) was not offered without a user name.
  for (const int method : {0xFF, 0x02}) {
    FakeProxy proxy([method](ProxySession &s) {
      s.Read(3);
      s.Write(Bytes({5, method}));
      s.Read(3); // whatever the client sends next, if anything
      s.WaitForClose();
    });
    TTCPBlockSocket sock;
    sock.SocksIP = "127.0.0.1";
    sock.SocksPort = proxy.port_text();
    sock.Connect("127.0.0.1", "25");
    EXPECT_EQ(sock.LastError(), 10091) << method;
    EXPECT_EQ(sock.LastErrorDesc(), "Network subsystem is unusable");
    EXPECT_FALSE(sock.UsingSocks());
    sock.CloseNow();
    EXPECT_EQ(proxy.transcripts(1).at(0), Bytes({5, 1, 0})) << method;
  }
}

TEST(SocksClient, OverlongFieldsAreRefusedBeforeAnythingIsSent) {
  FakeProxy proxy(GrantingProxy(10));
  const std::string long_text(256, 'n');
  for (int field = 0; field < 3; ++field) {
    TTCPBlockSocket sock;
    sock.SocksIP = "127.0.0.1";
    sock.SocksPort = proxy.port_text();
    if (field == 0) sock.SocksUsername = long_text;
    if (field == 1) {
      sock.SocksUsername = "u";
      sock.SocksPassword = long_text;
    }
    sock.Connect(field == 2 ? long_text : "127.0.0.1", "25");
    EXPECT_EQ(sock.LastError(), 10022) << field;
    EXPECT_FALSE(sock.UsingSocks());
  }
  // Nor does an association try: the failure is ours, not the proxy's.
  TUDPBlockSocket udp;
  udp.SocksIP = "127.0.0.1";
  udp.SocksPort = proxy.port_text();
  udp.SocksUsername = long_text;
  EXPECT_FALSE(udp.UdpAssociate(5000));
  EXPECT_EQ(udp.ControlSocket()->LastError(), 10022);
  EXPECT_FALSE(udp.AssociationFailedAtProxy());
  EXPECT_EQ(proxy.connections(), 0);

  // 255 bytes still fit their length byte.
  TTCPBlockSocket sock;
  EXPECT_EQ(sock.SocksEncodeAddress(std::string(255, 'h'), "1").substr(0, 2), Bytes({3, 255}));
  EXPECT_EQ(sock.SocksEncodeAddress(std::string(256, 'h'), "1"), "");
  EXPECT_EQ(sock.LastError(), 10022);
}

TEST(SocksClient, AddressEncodingInBothVersions) {
  TTCPBlockSocket sock;
  EXPECT_EQ(sock.SocksEncodeAddress("192.0.2.7", "123"), Bytes({1, 192, 0, 2, 7, 0, 123}));
  EXPECT_EQ(sock.SocksEncodeAddress("::1", "ntp").substr(0, 17),
            Bytes({4}) + std::string(15, '\0') + Bytes({1}));
  EXPECT_EQ(sock.SocksEncodeAddress("::1", "ntp").substr(17), Bytes({0, 123}));
  // A zone the resolver refuses makes no address (never the 16 zero bytes of "::"): the text
  // goes to the proxy as a name.
  EXPECT_EQ(sock.SocksEncodeAddress("::1%lo", "80"), Bytes({3, 6}) + "::1%lo" + Bytes({0, 80}));
  // Names resolved here first: one that does not resolve is sent as 0.0.0.0.
  sock.SocksResolver = false;
  EXPECT_EQ(sock.SocksEncodeAddress("no such host", "80"), Bytes({1, 0, 0, 0, 0, 0, 80}));
  EXPECT_EQ(sock.SocksEncodeAddress("localhost", "80"), Bytes({1, 127, 0, 0, 1, 0, 80}));

  sock.SocksResolver = true;
  sock.SocksType = ST_Socks4;
  sock.SocksUsername = "id";
  EXPECT_EQ(sock.SocksEncodeAddress("10.0.0.9", "80"), Bytes({0, 80, 10, 0, 0, 9}) + "id" + Bytes({0}));
  EXPECT_EQ(sock.SocksEncodeAddress("example.test", "80"),
            Bytes({0, 80, 0, 0, 0, 1}) + "id" + Bytes({0}) + "example.test" + Bytes({0}));
}

TEST(SocksClient, Socks4ConnectAndSuccessCodesPerVersion) {
  // SOCKS4: 90 grants; 0, which grants in SOCKS5, does not.
  for (const int code : {90, 0}) {
    FakeProxy proxy([code](ProxySession &s) {
      s.Read(2 + 2 + 4 + 3);
      s.Write(Bytes({0, code, 0, 80, 10, 0, 0, 9}));
      s.WaitForClose();
    });
    TTCPBlockSocket sock;
    sock.SocksIP = "127.0.0.1";
    sock.SocksPort = proxy.port_text();
    sock.SocksType = ST_Socks4;
    sock.SocksUsername = "id";
    sock.Connect("10.0.0.9", "80");
    EXPECT_EQ(sock.LastError(), code == 90 ? 0 : 10091) << code;
    EXPECT_EQ(sock.SocksLastError(), code);
    if (code == 90) {
      EXPECT_EQ(sock.SocksResponseIP(), "10.0.0.9");
    }
    sock.CloseNow();
    EXPECT_EQ(proxy.transcripts(1).at(0), Bytes({4, 1, 0, 80, 10, 0, 0, 9}) + "id" + Bytes({0}));
  }
  // SOCKS5: 90 is a failure code there.
  FakeProxy proxy(GrantingProxy(10, Socks5Reply(kLoopback, 1, 90)));
  TTCPBlockSocket sock;
  sock.SocksIP = "127.0.0.1";
  sock.SocksPort = proxy.port_text();
  sock.Connect("10.0.0.9", "80");
  EXPECT_EQ(sock.LastError(), 10091);
  EXPECT_EQ(sock.SocksLastError(), 90);
}

TEST(SocksClient, ReplyWithANameAndDecodingOfHeaders) {
  FakeProxy proxy(GrantingProxy(10, Bytes({5, 0, 0, 3, 11}) + "relay.local" + Bytes({0x1F, 0x90})));
  TTCPBlockSocket sock;
  sock.SocksIP = "127.0.0.1";
  sock.SocksPort = proxy.port_text();
  sock.Connect("10.0.0.9", "80");
  EXPECT_EQ(sock.LastError(), 0);
  EXPECT_EQ(sock.SocksResponseIP(), "relay.local");
  EXPECT_EQ(sock.SocksResponsePort(), "8080");

  TUDPBlockSocket udp;
  EXPECT_EQ(udp.SocksDecodeAddress(Bytes({0, 0, 0, 1, 192, 168, 1, 2, 0, 123}) + "payload"), 11);
  EXPECT_EQ(udp.SocksResponseIP(), "192.168.1.2");
  EXPECT_EQ(udp.SocksResponsePort(), "123");
  EXPECT_EQ(udp.SocksDecodeAddress(Bytes({0, 0, 0, 1, 192, 168, 1})), 5);      // address cut short
  EXPECT_EQ(udp.SocksDecodeAddress(Bytes({0, 0, 0, 9, 1, 2, 3, 4, 5, 6})), 5); // unknown type
  EXPECT_EQ(udp.SocksDecodeAddress(Bytes({0, 0})), 0);
  EXPECT_EQ(udp.SocksDecodeAddress(Bytes({0, 0, 0, 3, 5}) + "abc"), 5);
  EXPECT_EQ(udp.SocksDecodeAddress(Bytes({0, 0, 0, 4}) + std::string(15, '\0') + Bytes({1, 0, 53})), 23);
  EXPECT_EQ(udp.SocksResponseIP(), "::1");
  EXPECT_EQ(udp.SocksResponsePort(), "53");
}

TEST(SocksClient, BindReportsTheProxyWhenItBindsOnTheAnyAddress) {
  FakeProxy proxy(GrantingProxy(10, Socks5Reply(Bytes({0, 0, 0, 0}), 5555)));
  TTCPBlockSocket sock;
  sock.SocksIP = "127.0.0.1";
  sock.SocksPort = proxy.port_text();
  sock.Bind("127.0.0.1", "0");
  const int local_port = sock.LocalPort();
  sock.Listen();
  EXPECT_EQ(sock.LastError(), 0);
  EXPECT_EQ(sock.LocalAddressText(), "127.0.0.1");
  EXPECT_EQ(sock.LocalPort(), 5555);
  sock.CloseNow();
  EXPECT_EQ(proxy.transcripts(1).at(0).substr(3),
            Bytes({5, 2, 0, 1, 127, 0, 0, 1, local_port >> 8, local_port & 0xFF}));
}

TEST(SocksClient, BindFailureIs11003) {
  FakeProxy proxy(GrantingProxy(10, Socks5Reply(kLoopback, 1, 2)));
  TTCPBlockSocket sock;
  sock.SocksIP = "127.0.0.1";
  sock.SocksPort = proxy.port_text();
  sock.Bind("127.0.0.1", "0");
  sock.Listen();
  EXPECT_EQ(sock.LastError(), 11003);
  EXPECT_EQ(sock.LastErrorDesc(), "Non recoverable error");
}

// ---- UDP association through the scripted proxy ------------------------------------------------

namespace {

// Grants every UDP ASSOCIATE with the relay at `relay_ip` (4 bytes) and the proxy's relay port.
FakeProxy::Script AssociatingProxy(FakeProxy *&self, const std::string &relay_ip) {
  return [&self, relay_ip](ProxySession &s) {
    s.Read(3);
    s.Write(Bytes({5, 0}));
    s.Read(10);
    s.Write(Socks5Reply(relay_ip, self->relay().port()));
    s.WaitForClose();
  };
}

struct RelayFixture {
  FakeProxy *self = nullptr;
  FakeProxy proxy;
  TUDPBlockSocket sock;
  explicit RelayFixture(const std::string &relay_ip = kLoopback) : proxy(AssociatingProxy(self, relay_ip)) {
    self = &proxy;
    sock.SocksIP = "127.0.0.1";
    sock.SocksPort = proxy.port_text();
  }
  // Header of a relayed datagram from 192.0.2.7:123.
  static std::string Header() { return Bytes({0, 0, 0, 1, 192, 0, 2, 7, 0, 123}); }
};

} // namespace

TEST(SocksRelay, DatagramsCarryTheHeaderAndEachSendMakesAnAssociation) {
  RelayFixture f;
  f.sock.Connect("192.0.2.7", "123");
  ASSERT_EQ(f.sock.LastError(), 0);
  const std::string payload(48, '\x1B');
  f.sock.SendString(payload);
  EXPECT_EQ(f.sock.LastError(), 0);
  EXPECT_EQ(f.sock.SendCounter(), 58u); // the header's 10 bytes count
  std::string got;
  int from_port = 0;
  ASSERT_TRUE(f.proxy.relay().Recv(got, &from_port));
  EXPECT_EQ(got, RelayFixture::Header() + payload);
  EXPECT_EQ(f.sock.SocksRemoteIP(), "127.0.0.1");
  EXPECT_EQ(f.sock.SocksRemotePort(), f.proxy.relay().port_text());

  f.sock.SendString(payload);
  ASSERT_TRUE(f.proxy.relay().Recv(got));
  const auto transcripts = f.proxy.transcripts(1);
  EXPECT_EQ(f.proxy.connections(), 2);
  // Each association names this socket's port on the any-address.
  EXPECT_EQ(transcripts.at(0), Bytes({5, 1, 0, 5, 3, 0, 1, 0, 0, 0, 0, from_port >> 8, from_port & 0xFF}));
}

TEST(SocksRelay, APreparedAssociationServesTheNextSend) {
  RelayFixture f;
  f.sock.Connect("192.0.2.7", "123");
  ASSERT_TRUE(f.sock.UdpAssociate());
  EXPECT_TRUE(f.sock.UsingSocks());
  f.sock.SendString("x");
  std::string got;
  ASSERT_TRUE(f.proxy.relay().Recv(got));
  EXPECT_EQ(got, RelayFixture::Header() + "x");
  EXPECT_EQ(f.proxy.connections(), 1);
  f.sock.SendString("y"); // no longer prepared: a fresh association
  ASSERT_TRUE(f.proxy.relay().Recv(got));
  EXPECT_EQ(f.proxy.connections(), 2);
}

TEST(SocksRelay, OnlyWholeUnfragmentedDatagramsFromTheRelayAreTaken) {
  RelayFixture f;
  kvnettest::UdpPeer stranger;
  f.sock.Connect("192.0.2.7", "123");
  f.sock.SendString("q");
  std::string got;
  int client_port = 0;
  ASSERT_TRUE(f.proxy.relay().Recv(got, &client_port));

  const std::string answer(48, 'A');
  f.proxy.relay().SendTo(client_port, Bytes({0, 0, 0, 1, 192, 0})); // header cut short
  f.proxy.relay().SendTo(client_port, Bytes({0, 0}));               // shorter still
  f.proxy.relay().SendTo(client_port, Bytes({0, 0, 1, 1, 192, 0, 2, 7, 0, 123}) + "fragment");
  f.proxy.relay().SendTo(client_port, Bytes({0, 0, 0, 7, 192, 0, 2, 7, 0, 123}) + "bad type");
  f.proxy.relay().SendTo(client_port, Bytes({0, 0, 0, 1, 192, 0, 2, 8, 0, 123}) + "other host");
  stranger.SendTo(client_port, RelayFixture::Header() + "not from the relay");
  f.proxy.relay().SendTo(client_port, RelayFixture::Header() + answer);
  EXPECT_EQ(f.sock.RecvPacket(2000), answer);
  EXPECT_EQ(f.sock.LastError(), 0);
  EXPECT_EQ(f.sock.RemoteAddressText(), "192.0.2.7");
  EXPECT_EQ(f.sock.RemotePort(), 123);
  // Nothing else was passed on.
  EXPECT_EQ(f.sock.RecvPacket(100), "");
  EXPECT_EQ(f.sock.LastError(), 10060);
}

TEST(SocksRelay, ARelayOnTheAnyAddressIsTheProxyItself) {
  RelayFixture f(Bytes({0, 0, 0, 0}));
  f.sock.Connect("192.0.2.7", "123");
  f.sock.SendString("via proxy");
  EXPECT_EQ(f.sock.LastError(), 0);
  EXPECT_EQ(f.sock.SocksRemoteIP(), "127.0.0.1");
  std::string got;
  ASSERT_TRUE(f.proxy.relay().Recv(got));
  EXPECT_EQ(got, RelayFixture::Header() + "via proxy");
}

TEST(SocksRelay, AFailedAssociationSendsNothingAndReports11003) {
  FakeProxy proxy([](ProxySession &s) {
    s.Read(3);
    s.Write(Bytes({5, 0xFF}));
    s.WaitForClose();
  });
  TUDPBlockSocket sock;
  sock.SocksIP = "127.0.0.1";
  sock.SocksPort = proxy.port_text();
  kvnettest::UdpPeer target;
  sock.Connect("127.0.0.1", target.port_text());
  std::vector<THookSocketReason> reasons;
  sock.OnStatus = [&](TBlockSocket *, THookSocketReason r, const std::string &) { reasons.push_back(r); };
  sock.SendString("x");
  EXPECT_EQ(sock.LastError(), 11003);
  EXPECT_EQ(sock.LastErrorDesc(), "Non recoverable error");
  EXPECT_TRUE(std::find(reasons.begin(), reasons.end(), HR_WriteCount) == reasons.end());
  std::string got;
  EXPECT_FALSE(target.Recv(got, nullptr, 100));
  ASSERT_NE(sock.ControlSocket(), nullptr);
}

TEST(SocksRelay, WithoutAProxyThereIsNoControlSocket) {
  kvnettest::UdpPeer target;
  TUDPBlockSocket sock;
  sock.Connect("127.0.0.1", target.port_text());
  sock.SendString("x");
  EXPECT_TRUE(sock.UdpAssociate());
  EXPECT_FALSE(sock.UsingSocks());
  EXPECT_EQ(sock.ControlSocket(), nullptr);
}

TEST(SocksRelay, AnAssociationWithALimitEndsWithinItAndTellsWhetherTheProxyFailed) {
  // Only the silent proxy needs the limit; the others get a generous one, as a loaded machine may
  // be slow to let the scripted proxy answer.
  struct Case {
    const char *what;
    FakeProxy::Script script; // none: nothing listens on the port
    int limit_ms;
    bool at_proxy;
    int control_error;
  };
  const Case cases[] = {
      {"silent", [](ProxySession &s) { s.WaitForClose(); }, 300, true, 10060},
      {"method refused",
       [](ProxySession &s) {
         s.Read(3);
         s.Write(Bytes({5, 0xFF}));
         s.WaitForClose();
       },
       5000, true, 0},
      {"association refused", GrantingProxy(10, Socks5Reply(kLoopback, 1, 7)), 5000, true, 0},
      {"closed after accepting", [](ProxySession &) {}, 5000, true, 10054},
      {"relay that does not resolve",
       GrantingProxy(10, Bytes({5, 0, 0, 3, 12}) + "no such host" + Bytes({0, 1})), 5000, true, 0},
      {"nothing listening", nullptr, 5000, false, 10061},
  };
  for (const Case &c : cases) {
    std::unique_ptr<FakeProxy> proxy;
    if (c.script) proxy = std::make_unique<FakeProxy>(c.script);
    TUDPBlockSocket sock;
    sock.SocksIP = "127.0.0.1";
    sock.SocksPort = proxy ? proxy->port_text() : std::to_string(kvtest::FreePort());
    sock.Connect("192.0.2.7", "123");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(sock.UdpAssociate(c.limit_ms)) << c.what;
    EXPECT_LT(kvtest::ElapsedMs(start), c.limit_ms + 3000) << c.what;
    EXPECT_EQ(sock.LastError(), 11003) << c.what;
    ASSERT_NE(sock.ControlSocket(), nullptr);
    EXPECT_EQ(sock.ControlSocket()->LastError(), c.control_error) << c.what;
    EXPECT_EQ(sock.AssociationFailedAtProxy(), c.at_proxy) << c.what;
    // A new destination has had no association yet.
    sock.Connect("192.0.2.8", "123");
    EXPECT_FALSE(sock.AssociationFailedAtProxy()) << c.what;
  }

  // A proxy that grants it: no failure to tell.
  RelayFixture f;
  f.sock.Connect("192.0.2.7", "123");
  EXPECT_TRUE(f.sock.UdpAssociate(5000));
  EXPECT_FALSE(f.sock.AssociationFailedAtProxy());
}
