// A stop flag given to a socket as its StopSource ends a wait under way, also one inside a SOCKS5
// exchange or an SMTP session, within a fraction of a second and with 10053; waits without one
// are left alone.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "loopback_peer.h"
#include "net/smtp_client.h"
#include "net/udp_socket.h"

using namespace kv::net;
using Clock = std::chrono::steady_clock;

namespace {

// Runs `wait`, sets `flag` after 200 ms from another thread, and returns how long `wait` went on
// after the flag was set (negative: it ended before). A busy machine may wake the setter late;
// that does not count against the wait.
template <class Wait> int64_t StoppedAfter(std::atomic<bool> &flag, Wait wait) {
  Clock::time_point set_at;
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    set_at = Clock::now();
    flag = true;
  });
  wait();
  const auto ended = Clock::now();
  setter.join();
  return std::chrono::duration_cast<std::chrono::milliseconds>(ended - set_at).count();
}

// How long a wait may go on after its stop: two polls, and the scheduling of a busy machine.
constexpr int64_t kStopWithinMs = 2 * kStopPollMs + 300;

TEST(StopSource, EndsAWaitForADatagramAndEverySendAndReceiveAfterIt) {
  kvnettest::UdpPeer silent;
  std::atomic<bool> stop{false};
  TUDPBlockSocket sock;
  sock.StopSource = &stop;
  sock.Connect("127.0.0.1", silent.port_text());
  sock.SendString("q");
  ASSERT_EQ(sock.LastError(), 0);
  const int64_t took = StoppedAfter(stop, [&] { sock.RecvPacket(20000); });
  EXPECT_EQ(sock.LastError(), WSAECONNABORTED);
  EXPECT_GE(took, 0);
  EXPECT_LT(took, kStopWithinMs);
  // The flag stays set: nothing goes out any more.
  sock.SendString("q");
  EXPECT_EQ(sock.LastError(), WSAECONNABORTED);
  std::string got;
  EXPECT_TRUE(silent.Recv(got, nullptr, 100)) << "the first datagram went out";
  EXPECT_FALSE(silent.Recv(got, nullptr, 100)) << "the one after the stop did not";

  // Without a stop source a wait runs its time, and StopFlag still fails only the next call.
  TUDPBlockSocket plain;
  plain.Connect("127.0.0.1", silent.port_text());
  const auto start = Clock::now();
  plain.RecvPacket(300);
  EXPECT_EQ(plain.LastError(), WSAETIMEDOUT);
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), 290);
  plain.StopFlag = true;
  plain.SendString("q");
  EXPECT_EQ(plain.LastError(), WSAECONNABORTED);
  plain.SendString("q");
  EXPECT_EQ(plain.LastError(), 0);
}

TEST(StopSource, ReachesTheControlConnectionOfASocks5AssociationAndAnSmtpSession) {
  // Both peers accept the connection and then say nothing.
  kvnettest::TcpListener proxy, mail;
  std::atomic<bool> stop{false};
  TUDPBlockSocket udp;
  udp.StopSource = &stop;
  udp.SocksIP = "127.0.0.1";
  udp.SocksPort = proxy.port_text();
  int64_t took = StoppedAfter(stop, [&] { EXPECT_FALSE(udp.UdpAssociate()); });
  EXPECT_LT(took, kStopWithinMs) << "SocksTimeout is " << udp.SocksTimeout << " ms";
  ASSERT_NE(udp.ControlSocket(), nullptr);
  EXPECT_EQ(udp.ControlSocket()->LastError(), WSAECONNABORTED);
  EXPECT_FALSE(udp.AssociationFailedAtProxy()) << "a stop is not the proxy's failure";

  stop = false;
  TSmtpClient smtp;
  smtp.Host = "127.0.0.1";
  smtp.Port = mail.port_text();
  smtp.StopSource = &stop;
  took = StoppedAfter(stop, [&] {
    try {
      smtp.Connect();
      ADD_FAILURE() << "a silent server gave a session";
    } catch (const ESmtpError &e) {
      EXPECT_EQ(e.Kind(), TSmtpFailure::Lost) << e.what();
      EXPECT_EQ(e.SocketError(), WSAECONNABORTED);
    }
  });
  EXPECT_LT(took, kStopWithinMs) << "Timeout is " << smtp.Timeout << " ms";
}

} // namespace
