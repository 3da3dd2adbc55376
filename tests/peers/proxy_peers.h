#pragma once
// Real proxies and TLS servers as test peers: danted (SOCKS5 with CONNECT, BIND and UDP
// ASSOCIATE), microsocks (SOCKS5 with user name and password), tinyproxy (HTTP CONNECT, with or
// without basic authentication) and `openssl s_server`. Each is started on 127.0.0.1 and a free
// port with its configuration generated in a private folder, is ready once its port accepts a
// connection, and is stopped by process id. The daemons come from Debian's packages unpacked by
// scripts/fetch-peers into <repo>/build/peers.

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "test_support.h"

namespace kvtest {

// True when a TCP connection to 127.0.0.1:port is accepted.
inline bool TcpPortOpen(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  const bool open = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
  if (fd >= 0) ::close(fd);
  return open;
}

// Folder of the unpacked test peers.
inline std::string PeersDir() {
  const char *dir = std::getenv("KORVANE_PEERS_DIR");
  if (dir && *dir) return dir;
  const char *src = std::getenv("KORVANE_SOURCE_DIR");
  return std::string(src ? src : ".") + "/build/peers";
}

// One daemon on 127.0.0.1:Port(), its files in a private folder.
class PeerProcess {
public:
  PeerProcess() = default;
  PeerProcess(const PeerProcess &) = delete;
  PeerProcess &operator=(const PeerProcess &) = delete;
  ~PeerProcess() { Stop(); }

  int Port() const { return port_; }
  std::string PortText() const { return std::to_string(port_); }
  const std::string &why() const { return why_; }
  std::string Log() const { return ReadFile(dir_.file("peer.log")); }
  std::string File(const std::string &name) const { return dir_.file(name); }
  void Stop() {
    if (child_.pid() > 0 && child_.Running()) child_.Stop();
  }

protected:
  // Starts `argv` (its program looked up in `dirs`) and waits until Port() accepts connections.
  bool Launch(std::vector<std::string> argv, const std::vector<std::string> &dirs) {
    const std::string program = FindProgram(argv[0], dirs);
    if (program.empty()) return Fail(argv[0] + " not found (scripts/fetch-peers unpacks it into build/peers)");
    argv[0] = program;
    if (!child_.Start(argv, dir_.file("peer.log"))) return Fail("cannot start " + program);
    const bool ready =
        WaitUntil([&] { return !child_.Running() || TcpPortOpen(port_); }, std::chrono::seconds(10));
    if (!ready || !child_.Running()) return Fail(program + " did not start: " + Log());
    return true;
  }
  bool Fail(const std::string &why) {
    why_ = why;
    Stop();
    return false;
  }

  TempDir dir_;
  ChildProcess child_;
  int port_ = FreePort();
  std::string why_;
};

// danted without login. Running as root (as in CI) it must be told which user to become for
// its sessions: root for the few privileged steps, nobody for the rest; as any other user it
// simply stays that user.
class DantedPeer : public PeerProcess {
public:
  bool Start() {
    std::string conf = "logoutput: stderr\n"
                       "internal: 127.0.0.1 port = " + PortText() + "\n"
                       "external: 127.0.0.1\n"
                       "clientmethod: none\n"
                       "socksmethod: none\n";
    if (::geteuid() == 0) conf += "user.privileged: root\nuser.unprivileged: nobody\n";
    conf += "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
            "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 command: connect bind bindreply udpassociate udpreply }\n";
    WriteFile(File("danted.conf"), conf);
    return Launch({"danted", "-f", File("danted.conf"), "-N", "1"}, {PeersDir() + "/usr/sbin"});
  }
};

// microsocks with a user name and password.
class MicrosocksPeer : public PeerProcess {
public:
  bool Start(const std::string &user, const std::string &password) {
    return Launch({"microsocks", "-i", "127.0.0.1", "-p", PortText(), "-u", user, "-P", password},
                  {PeersDir() + "/usr/bin"});
  }
};

// tinyproxy that lets CONNECT reach `connect_port`, with basic authentication when `user` is set.
class TinyproxyPeer : public PeerProcess {
public:
  bool Start(int connect_port, const std::string &user = "", const std::string &password = "") {
    std::string conf = "Port " + PortText() + "\n"
                       "Listen 127.0.0.1\n"
                       "Timeout 30\n"
                       "MaxClients 20\n"
                       "Allow 127.0.0.1\n"
                       "ConnectPort " + std::to_string(connect_port) + "\n";
    if (!user.empty()) conf += "BasicAuth " + user + " " + password + "\n";
    // As root it drops to nobody; it then writes nothing into the private folder.
    if (::geteuid() == 0) conf += "User nobody\nGroup nogroup\n";
    WriteFile(File("tinyproxy.conf"), conf);
    return Launch({"tinyproxy", "-d", "-c", File("tinyproxy.conf")}, {PeersDir() + "/usr/bin"});
  }
};

// `openssl s_server` with a self-signed certificate made here for `subject_alt_name` (for
// example "DNS:localhost,IP:127.0.0.1"). It answers each line with the line reversed.
class OpensslServerPeer : public PeerProcess {
public:
  bool Start(const std::string &common_name, const std::string &subject_alt_name) {
    const std::string openssl = FindProgram("openssl");
    if (openssl.empty()) return Fail("openssl not found");
    ChildProcess req;
    if (!req.Start({openssl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                    "/CN=" + common_name, "-addext", "subjectAltName=" + subject_alt_name, "-keyout",
                    KeyFile(), "-out", CertFile()},
                   File("req.log")) ||
        req.Wait(std::chrono::seconds(60)) != 0)
      return Fail("openssl req failed: " + ReadFile(File("req.log")));
    return Launch({"openssl", "s_server", "-accept", "127.0.0.1:" + PortText(), "-cert", CertFile(), "-key",
                   KeyFile(), "-rev", "-quiet"},
                  {});
  }
  std::string CertFile() const { return File("cert.pem"); }
  std::string KeyFile() const { return File("key.pem"); }
};

} // namespace kvtest
