// The blocking socket over TCP, directly connected to plain peers on loopback.
#include "net/tcp_socket.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "loopback_peer.h"

using namespace kv::net;
using kvnettest::TcpConn;
using kvnettest::TcpListener;
using kvtest::ElapsedMs;

namespace {

// A client socket connected to a fresh listener, and the server's end of the connection.
struct Pair {
  TcpListener listener;
  TTCPBlockSocket client;
  std::unique_ptr<TcpConn> server;
  Pair() {
    client.Connect("127.0.0.1", listener.port_text());
    if (client.LastError() == 0) server = std::make_unique<TcpConn>(listener.AcceptFd());
  }
};

} // namespace

TEST(TcpSocket, ConnectSendAndReceiveExactCounts) {
  Pair p;
  ASSERT_EQ(p.client.LastError(), 0);
  ASSERT_TRUE(p.server);
  EXPECT_EQ(p.client.RemoteAddressText(), "127.0.0.1");
  EXPECT_EQ(p.client.RemotePort(), p.listener.port());
  EXPECT_NE(p.client.LocalPort(), 0);

  p.client.SendString("request");
  EXPECT_EQ(p.server->Recv(7), "request");
  p.server->Send("0123456789");
  EXPECT_EQ(p.client.RecvExactString(4, 2000), "0123");
  EXPECT_EQ(p.client.RecvPacket(0), "456789"); // the rest waits in the buffer, without a wait
  EXPECT_EQ(p.client.LastError(), 0);

  p.server->Send("abc");
  char buf[8] = {};
  EXPECT_EQ(p.client.RecvExact(buf, 3, 2000), 3);
  EXPECT_EQ(std::string(buf, 3), "abc");

  p.client.SendInteger(0x01020304);
  EXPECT_EQ(p.server->Recv(4), std::string("\x04\x03\x02\x01", 4));
  p.server->Send(std::string("\xFE\xFF\xFF\xFF", 4));
  EXPECT_EQ(p.client.RecvInteger(2000), -2);
  p.server->Send("Z");
  EXPECT_EQ(p.client.RecvByte(2000), 'Z');
  p.client.SendByte(0x7F);
  EXPECT_EQ(p.server->Recv(1), "\x7F");
}

TEST(TcpSocket, LargeSendsGoOutInChunksAndAllArrive) {
  Pair p;
  ASSERT_TRUE(p.server);
  std::vector<std::string> writes;
  p.client.SendMaxChunk = 1000;
  p.client.OnStatus = [&](TBlockSocket *, THookSocketReason r, const std::string &v) {
    if (r == HR_WriteCount) writes.push_back(v);
  };
  std::string data;
  for (int i = 0; i < 2500; ++i)
    data.push_back(static_cast<char>(i % 251));
  p.client.SendString(data);
  EXPECT_EQ(writes, (std::vector<std::string>{"1000", "1000", "500"}));
  EXPECT_EQ(p.server->Recv(data.size()), data);
  EXPECT_EQ(p.client.SendCounter(), 2500u);
}

TEST(TcpSocket, LinesWithEveryLineEndForm) {
  Pair p;
  ASSERT_TRUE(p.server);
  p.client.ConvertLineEnd = true;
  p.server->Send("a\r\nb\nc\rd\n\re\r\n");
  for (const char *line : {"a", "b", "c", "d", "e"})
    EXPECT_EQ(p.client.RecvLine(2000), line);
  EXPECT_EQ(p.client.LastError(), 0);

  // A CR LF pair split across two packets is one line end.
  p.server->Send("abc\r");
  EXPECT_EQ(p.client.RecvLine(2000), "abc");
  p.server->Send("\ndef\r\n");
  EXPECT_EQ(p.client.RecvLine(2000), "def");
  p.server->Send("ghi\n");
  EXPECT_EQ(p.client.RecvLine(2000), "ghi");
  p.server->Send("\rjkl\r\n");
  EXPECT_EQ(p.client.RecvLine(2000), "jkl");

  // Without conversion only the exact terminator ends a line.
  p.client.ConvertLineEnd = false;
  p.server->Send("x\ny\r\nrest;more;");
  EXPECT_EQ(p.client.RecvLine(2000), "x\ny");
  EXPECT_EQ(p.client.RecvTerminated(2000, ";"), "rest");
  EXPECT_EQ(p.client.RecvTerminated(2000, ";"), "more");
  EXPECT_EQ(p.client.RecvTerminated(2000, ""), "");
}

TEST(TcpSocket, LineLengthIsBoundedByDefaultAndNoByteIsLost) {
  Pair p;
  ASSERT_TRUE(p.server);
  EXPECT_EQ(p.client.MaxLineLength, kDefaultMaxLineLength);
  // A peer that never ends its line cannot make the socket gather without limit.
  const std::string endless(kDefaultMaxLineLength + 1000, 'x');
  p.server->Send(endless);
  EXPECT_EQ(p.client.RecvLine(2000), "");
  EXPECT_EQ(p.client.LastError(), 10055);
  EXPECT_EQ(p.client.LastErrorDesc(), "No Buffer space available");
  // What was gathered stays for the next receive.
  EXPECT_EQ(p.client.RecvExactString(static_cast<int>(endless.size()), 2000), endless);

  // Many short lines in one packet are not one long line.
  std::string many;
  for (int i = 0; i < 20000; ++i)
    many += "line\r\n";
  p.client.MaxLineLength = 100;
  p.server->Send(many);
  for (int i = 0; i < 20000; ++i) {
    ASSERT_EQ(p.client.RecvLine(2000), "line") << i;
  }
  p.server->Send(std::string(101, 'y') + "\r\n");
  EXPECT_EQ(p.client.RecvLine(2000), "");
  EXPECT_EQ(p.client.LastError(), 10055);
}

TEST(TcpSocket, SilenceGives10060AfterAboutTheTimeout) {
  Pair p;
  ASSERT_TRUE(p.server);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(p.client.RecvLine(300), "");
  EXPECT_EQ(p.client.LastError(), 10060);
  EXPECT_GE(ElapsedMs(start), 290);
  EXPECT_LT(ElapsedMs(start), 2000);

  // Without the per-packet time-out the whole line must come within the time.
  p.client.InterPacketTimeout = false;
  std::atomic<bool> stop{false};
  std::thread trickle([&] {
    while (!stop) {
      p.server->Send("x");
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(p.client.RecvLine(300), "");
  EXPECT_EQ(p.client.LastError(), 10060);
  EXPECT_LT(ElapsedMs(start), 2000);
  stop = true;
  trickle.join();
}

TEST(TcpSocket, APeerThatClosesGives10054) {
  Pair p;
  ASSERT_TRUE(p.server);
  p.server->Send("tail");
  p.server->Close();
  EXPECT_EQ(p.client.RecvPacket(2000), "tail");
  EXPECT_EQ(p.client.RecvPacket(2000), "");
  EXPECT_EQ(p.client.LastError(), 10054);
  EXPECT_EQ(p.client.LastErrorDesc(), "Connection reset by peer");
  char buf[4];
  EXPECT_EQ(p.client.RecvData(buf, 4), 0);
  EXPECT_EQ(p.client.LastError(), 10054);
}

TEST(TcpSocket, StopFlagFailsExactlyOneOperationWith10053) {
  Pair p;
  ASSERT_TRUE(p.server);
  p.client.StopFlag = true;
  p.client.SendString("dropped");
  EXPECT_EQ(p.client.LastError(), 10053);
  EXPECT_EQ(p.client.LastErrorDesc(), "Software caused connection abort");
  EXPECT_FALSE(p.client.StopFlag);
  p.client.SendString("sent");
  EXPECT_EQ(p.client.LastError(), 0);
  EXPECT_EQ(p.server->Recv(4), "sent");

  p.server->Send("kept");
  ASSERT_TRUE(kvnettest::WaitForQueued(p.client));
  p.client.StopFlag = true;
  EXPECT_EQ(p.client.RecvPacket(1000), "");
  EXPECT_EQ(p.client.LastError(), 10053);
  EXPECT_EQ(p.client.RecvPacket(1000), "kept");
}

TEST(TcpSocket, HookReasonsComeInOrder) {
  TcpListener listener;
  TTCPBlockSocket client;
  std::vector<std::pair<THookSocketReason, std::string>> events;
  client.OnStatus = [&](TBlockSocket *, THookSocketReason r, const std::string &v) {
    events.emplace_back(r, v);
  };
  const std::string endpoint = "127.0.0.1:" + listener.port_text();
  client.Connect("127.0.0.1", listener.port_text());
  TcpConn server(listener.AcceptFd());
  client.SendString("hi");
  server.Send("ok\r\n");
  EXPECT_EQ(client.RecvLine(2000), "ok");
  EXPECT_EQ(client.RecvPacket(20), "");
  client.CloseNow();
  const std::vector<std::pair<THookSocketReason, std::string>> expected = {
      {HR_ResolvingBegin, endpoint},
      {HR_ResolvingEnd, endpoint},
      {HR_SocketCreate, "IPv4"},
      {HR_Connect, endpoint},
      {HR_WriteCount, "2"},
      {HR_ReadCount, "4"},
      {HR_Error, "10060,Connection timed out"},
      {HR_SocketClose, ""}};
  EXPECT_EQ(events, expected);
}

TEST(TcpSocket, RefusedConnectAndOperationsWithoutASocket) {
  const int port = kvtest::FreePort();
  TTCPBlockSocket client;
  client.Connect("127.0.0.1", std::to_string(port));
  EXPECT_EQ(client.LastError(), 10061);
  EXPECT_EQ(client.LastErrorDesc(), "Connection refused");

  TTCPBlockSocket unresolved;
  unresolved.Connect("no such host", "25");
  EXPECT_EQ(unresolved.LastError(), 11001);
  unresolved.SendString("x");
  EXPECT_EQ(unresolved.LastError(), 11001);
  EXPECT_EQ(unresolved.RecvLine(1000), "");
  EXPECT_EQ(unresolved.LastError(), 11001);

  TTCPBlockSocket fresh;
  fresh.SendString("x");
  EXPECT_EQ(fresh.LastError(), 10038);
}

TEST(TcpSocket, CloseDrainsWithinBoundsWhileThePeerKeepsSending) {
  Pair p;
  ASSERT_TRUE(p.server);
  std::atomic<bool> stop{false};
  std::thread flood([&] {
    const std::string chunk(16384, 'f');
    while (!stop && p.server->Send(chunk)) {
    }
  });
  ASSERT_TRUE(kvnettest::WaitForQueued(p.client));
  const auto start = std::chrono::steady_clock::now();
  p.client.Close();
  const int64_t elapsed = ElapsedMs(start);
  stop = true;
  p.server->ShutdownWrite();
  flood.join();
  EXPECT_EQ(p.client.Socket(), INVALID_SOCKET);
  EXPECT_EQ(p.client.LastError(), 0);
  EXPECT_LT(elapsed, static_cast<int64_t>(kDrainMaxMs) + 1500);
}

TEST(TcpSocket, BandwidthLimiterPausesBeforeEachTransferForTheOneBefore) {
  Pair p;
  ASSERT_TRUE(p.server);
  std::vector<int> waits;
  p.client.OnStatus = [&](TBlockSocket *, THookSocketReason r, const std::string &v) {
    if (r == HR_Wait) waits.push_back(std::stoi(v));
  };
  p.client.MaxSendBandwidth = 1000; // 100 bytes take 100 ms
  p.client.SendMaxChunk = 100;
  const auto start = std::chrono::steady_clock::now();
  p.client.SendString(std::string(300, 's'));
  const int64_t elapsed = ElapsedMs(start);
  EXPECT_EQ(p.server->Recv(300).size(), 300u);
  ASSERT_EQ(waits.size(), 2u);
  for (int w : waits) {
    EXPECT_GT(w, 0);
    EXPECT_LE(w, 100); // never more than the transfer before needs
  }
  EXPECT_GE(elapsed, 180);
  EXPECT_LT(elapsed, 2000);
}

TEST(TcpSocket, FiltersRewriteTheBytes) {
  Pair p;
  ASSERT_TRUE(p.server);
  p.client.OnWriteFilter = [](TBlockSocket *, std::string &v) {
    for (char &c : v)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    v += "longer"; // cut back to the input's length
  };
  p.client.SendString("abc");
  EXPECT_EQ(p.server->Recv(3), "ABC");
  p.client.OnReadFilter = [](TBlockSocket *, std::string &v) { v = v.substr(1); };
  p.server->Send("xyz");
  EXPECT_EQ(p.client.RecvPacket(2000), "yz");
}

TEST(TcpSocket, ListenAcceptBlocksAndStreams) {
  TTCPBlockSocket server;
  server.Bind("127.0.0.1", "0");
  ASSERT_EQ(server.LastError(), 0);
  std::vector<THookSocketReason> reasons;
  server.OnStatus = [&](TBlockSocket *, THookSocketReason r, const std::string &) { reasons.push_back(r); };
  server.Listen();
  ASSERT_EQ(server.LastError(), 0);
  TTCPBlockSocket client;
  client.Connect("127.0.0.1", std::to_string(server.LocalPort()));
  ASSERT_EQ(client.LastError(), 0);
  ASSERT_TRUE(server.CanRead(2000));
  TTCPBlockSocket peer;
  peer.AttachHandle(server.Accept());
  ASSERT_NE(peer.Socket(), INVALID_SOCKET);
  EXPECT_EQ(reasons, (std::vector<THookSocketReason>{HR_Listen, HR_CanRead, HR_Accept}));
  EXPECT_EQ(peer.RemotePort(), client.LocalPort());

  client.SendBlock("block of bytes");
  EXPECT_EQ(peer.RecvBlock(2000), "block of bytes");

  std::string content(200000, '\0');
  for (size_t i = 0; i < content.size(); ++i)
    content[i] = static_cast<char>(i * 7);
  std::istringstream in(content);
  in.seekg(1000);
  client.SendStreamSized(in);
  std::ostringstream out;
  peer.RecvStreamSized(out, 2000);
  EXPECT_EQ(peer.LastError(), 0);
  EXPECT_EQ(out.str(), content.substr(1000));

  std::istringstream in2("net order");
  client.SendStreamNetOrder(in2);
  std::ostringstream out2;
  peer.RecvStreamNetOrder(out2, 2000);
  EXPECT_EQ(out2.str(), "net order");

  // A length the peer merely announces is not believed: nothing of that size is allocated.
  client.SendString(std::string("\xFF\xFF\xFF\x7F", 4));
  EXPECT_EQ(peer.RecvBlock(1000), "");
  EXPECT_EQ(peer.LastError(), 10055);

  client.SendString("peek");
  EXPECT_EQ(peer.PeekByte(2000), 'p');
  EXPECT_EQ(peer.RecvPacket(2000), "peek");
  EXPECT_EQ(peer.PeekByte(50), 0);
  EXPECT_EQ(peer.LastError(), 10060);
}

TEST(TcpSocket, PendingOptionsApplyWhenTheSocketIsCreated) {
  TTCPBlockSocket sock;
  sock.AddPendingOption({SOT_Reuse, true, 0});
  sock.AddPendingOption({SOT_SendBuff, true, 65536});
  sock.AddPendingOption({SOT_Linger, true, 3000});
  sock.Bind("127.0.0.1", "0");
  ASSERT_EQ(sock.LastError(), 0);
  int reuse = 0;
  socklen_t len = sizeof reuse;
  ASSERT_EQ(::getsockopt(sock.Socket(), SOL_SOCKET, SO_REUSEADDR, &reuse, &len), 0);
  EXPECT_EQ(reuse, 1);
  linger l{};
  len = sizeof l;
  ASSERT_EQ(::getsockopt(sock.Socket(), SOL_SOCKET, SO_LINGER, &l, &len), 0);
  EXPECT_EQ(l.l_onoff, 1);
  EXPECT_EQ(l.l_linger, 3);
  // On an existing socket an option applies at once.
  sock.AddPendingOption({SOT_RecvTimeout, true, 1500});
  timeval tv{};
  len = sizeof tv;
  ASSERT_EQ(::getsockopt(sock.Socket(), SOL_SOCKET, SO_RCVTIMEO, &tv, &len), 0);
  EXPECT_EQ(tv.tv_sec, 1);
  EXPECT_EQ(tv.tv_usec, 500000);
}

TEST(TcpSocket, ResolverHelpers) {
  TTCPBlockSocket sock;
  std::vector<std::string> all;
  sock.ResolveAll("localhost", all);
  EXPECT_NE(std::find(all.begin(), all.end(), "127.0.0.1"), all.end());
  sock.SetFamily(SF_IP6);
  sock.ResolveAll("127.0.0.1", all);
  EXPECT_EQ(all, (std::vector<std::string>{"0.0.0.0"}));
  sock.SetFamily(SF_Any);
  EXPECT_EQ(sock.ResolveFirst("no such host"), "0.0.0.0");
  EXPECT_EQ(sock.ResolveServicePort("smtp"), 25);
  EXPECT_EQ(sock.IPv6AddressToText(sock.TextToIPv6Address("2001:db8::1")), "2001:db8::1");
  EXPECT_FALSE(sock.LocalHostName().empty());
}
