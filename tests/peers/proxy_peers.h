#pragma once
// Real proxies and TLS servers as test peers: danted (SOCKS5 with CONNECT, BIND and UDP
// ASSOCIATE), microsocks (SOCKS5 with user name and password), tinyproxy (HTTP CONNECT, with or
// without basic authentication) and `openssl s_server`. Each is started on 127.0.0.1 and a leased
// port with its configuration generated in a private folder, is ready once it alone listens
// there, and is stopped by process id. The daemons come from Debian's packages unpacked by
// scripts/fetch-peers into <repo>/build/peers.

#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "peer_process.h"

namespace kvtest {

// One daemon on 127.0.0.1 and a leased port, ready once it alone listens there.
class ProxyPeer : public PeerProcess {
protected:
  bool Launch(const Command &prepare, const std::vector<std::string> &dirs) {
    return LaunchOn("127.0.0.1", 0, false, prepare, dirs);
  }
};

// danted without login. Running as root (as in CI) it must be told which user to become for
// its sessions: root for the few privileged steps, nobody for the rest; as any other user it
// simply stays that user.
class DantedPeer : public ProxyPeer {
public:
  bool Start() {
    return Launch(
        [this](const std::string &port) {
          std::string conf = "logoutput: stderr\n";
          conf += "internal: 127.0.0.1 port = " + port + "\n";
          conf += "external: 127.0.0.1\n"
                  "clientmethod: none\n"
                  "socksmethod: none\n";
          if (::geteuid() == 0) conf += "user.privileged: root\nuser.unprivileged: nobody\n";
          conf +=
              "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
              "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 command: connect bind bindreply udpassociate "
              "udpreply }\n";
          WriteFile(File("danted.conf"), conf);
          return std::vector<std::string>{"danted", "-f", File("danted.conf"), "-N", "1"};
        },
        {PeersDir() + "/usr/sbin"});
  }
};

// microsocks with a user name and password.
class MicrosocksPeer : public ProxyPeer {
public:
  bool Start(const std::string &user, const std::string &password) {
    return Launch(
        [&](const std::string &port) {
          return std::vector<std::string>{"microsocks", "-i", "127.0.0.1", "-p",    port,
                                          "-u",         user, "-P",        password};
        },
        {PeersDir() + "/usr/bin"});
  }
};

// tinyproxy that lets CONNECT reach `connect_port`, with basic authentication when `user` is set.
class TinyproxyPeer : public ProxyPeer {
public:
  bool Start(int connect_port, const std::string &user = "", const std::string &password = "") {
    return Launch(
        [&](const std::string &port) {
          std::string conf = "Port " + port + "\n";
          conf += "Listen 127.0.0.1\n"
                  "Timeout 30\n"
                  "MaxClients 20\n"
                  "Allow 127.0.0.1\n";
          conf += "ConnectPort " + std::to_string(connect_port) + "\n";
          if (!user.empty()) conf += "BasicAuth " + user + " " + password + "\n";
          // As root it drops to nobody; it then writes nothing into the private folder.
          if (::geteuid() == 0) conf += "User nobody\nGroup nogroup\n";
          WriteFile(File("tinyproxy.conf"), conf);
          return std::vector<std::string>{"tinyproxy", "-d", "-c", File("tinyproxy.conf")};
        },
        {PeersDir() + "/usr/bin"});
  }
};

// `openssl s_server` with a self-signed certificate made here for `subject_alt_name` (for
// example "DNS:localhost,IP:127.0.0.1"). It answers each line with the line reversed.
class OpensslServerPeer : public ProxyPeer {
public:
  bool Start(const std::string &common_name, const std::string &subject_alt_name) {
    if (!MakeSelfSignedCertificate(CertFile(), KeyFile(), common_name, subject_alt_name, File("req.log")))
      return Fail("openssl req failed: " + ReadFile(File("req.log")));
    return Launch(
        [this](const std::string &port) {
          return std::vector<std::string>{"openssl", "s_server", "-accept", "127.0.0.1:" + port,
                                          "-cert",   CertFile(), "-key",    KeyFile(),
                                          "-rev",    "-quiet"};
        },
        {});
  }
  std::string CertFile() const { return File("cert.pem"); }
  std::string KeyFile() const { return File("key.pem"); }
};

} // namespace kvtest
