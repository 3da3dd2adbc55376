#pragma once
// Real proxies and TLS servers as test peers: danted (SOCKS5 with CONNECT, BIND and UDP
// ASSOCIATE), microsocks (SOCKS5 with user name and password), tinyproxy (HTTP CONNECT, with or
// without basic authentication) and `openssl s_server`. Each is started on 127.0.0.1 and a free
// port with its configuration generated in a private folder, is ready once its port accepts a
// connection, and is stopped by process id. The daemons come from Debian's packages unpacked by
// scripts/fetch-peers into <repo>/build/peers.

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "peer_process.h"

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

// One daemon on 127.0.0.1:Port(), ready once that port accepts connections.
class ProxyPeer : public PeerProcess {
protected:
  ProxyPeer() { port_ = FreePort(); }
  bool Launch(const std::vector<std::string> &argv, const std::vector<std::string> &dirs) {
    return PeerProcess::Launch(argv, dirs, [this] { return TcpPortOpen(port_); });
  }
};

// danted without login. Running as root (as in CI) it must be told which user to become for
// its sessions: root for the few privileged steps, nobody for the rest; as any other user it
// simply stays that user.
class DantedPeer : public ProxyPeer {
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
class MicrosocksPeer : public ProxyPeer {
public:
  bool Start(const std::string &user, const std::string &password) {
    return Launch({"microsocks", "-i", "127.0.0.1", "-p", PortText(), "-u", user, "-P", password},
                  {PeersDir() + "/usr/bin"});
  }
};

// tinyproxy that lets CONNECT reach `connect_port`, with basic authentication when `user` is set.
class TinyproxyPeer : public ProxyPeer {
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
class OpensslServerPeer : public ProxyPeer {
public:
  bool Start(const std::string &common_name, const std::string &subject_alt_name) {
    if (!MakeSelfSignedCertificate(CertFile(), KeyFile(), common_name, subject_alt_name, File("req.log")))
      return Fail("openssl req failed: " + ReadFile(File("req.log")));
    return Launch({"openssl", "s_server", "-accept", "127.0.0.1:" + PortText(), "-cert", CertFile(), "-key",
                   KeyFile(), "-rev", "-quiet"},
                  {});
  }
  std::string CertFile() const { return File("cert.pem"); }
  std::string KeyFile() const { return File("key.pem"); }
};

} // namespace kvtest
