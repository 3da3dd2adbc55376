#pragma once
// Python's http.server as a test peer (tests/peers/http_server.py): the files of its folder and
// a few misbehaving replies (redirections and a redirection loop, wrong lengths, any status, a
// stalled reply), over plain HTTP or over HTTPS with a certificate signed by a test CA. Started
// on a loopback address and a port it binds itself, stopped by process id; the requests it saw
// are read back.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "peer_process.h"

namespace kvtest {

// A test CA and a server certificate it signed, in one private folder.
class TestCertificates {
public:
  // Makes the CA and a certificate for 127.0.0.1 (and "localhost"). False with the reason.
  bool Make(std::string &why) {
    const std::string log = dir_.file("openssl.log");
    if (!MakeTestCertificateAuthority(CAFile(), dir_.file("ca.key"), "Korvane Test CA", log) ||
        !MakeCertificateSignedBy(CAFile(), dir_.file("ca.key"), CertFile(), KeyFile(), "localhost",
                                 "DNS:localhost,IP:127.0.0.1", log)) {
      why = "openssl failed: " + ReadFile(log);
      return false;
    }
    return true;
  }
  std::string CAFile() const { return dir_.file("ca.crt"); }
  std::string CertFile() const { return dir_.file("server.crt"); }
  std::string KeyFile() const { return dir_.file("server.key"); }

private:
  TempDir dir_;
};

class HttpPeer : public PeerProcess {
public:
  // Serves `root` on `host`; with `cert` and `key` over HTTPS. Waits (up to 15 s) until it
  // listens.
  bool Start(const std::string &root, const std::string &cert = "", const std::string &key = "",
             const std::string &host = "127.0.0.1") {
    std::vector<std::string> args{"--root", root, "--log", File("requests.log")};
    if (!cert.empty()) args.insert(args.end(), {"--tls", cert, key});
    https_ = !cert.empty();
    return LaunchPythonServer("http_server.py", host, args);
  }

  // "http://<address>:<port>" + path (or https).
  std::string Url(const std::string &path) const {
    return std::string(https_ ? "https" : "http") + "://" + Address() + ":" + PortText() + path;
  }

  // The requests so far, one line each: "GET /path HTTP/1.0|Name: value|...".
  std::vector<std::string> Requests() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(File("requests.log")));
    for (std::string line; std::getline(in, line);)
      lines.push_back(line);
    return lines;
  }
  // How many requests named `path`.
  int CountRequests(const std::string &path) const {
    int n = 0;
    for (const auto &line : Requests())
      if (line.rfind("GET " + path + " ", 0) == 0) ++n;
    return n;
  }

private:
  bool https_ = false;
};

// For each test suite, one folder (files_) served twice: by plain_ over HTTP and by secure_ over
// HTTPS with a certificate of certs_' test CA. The client in this process reaches them directly,
// whatever proxy the environment names. A suite that needs files in the folder writes them in
// its own SetUpTestSuite after this one's.
class HttpPeersTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    setenv("no_proxy", "*", 1);
    files_ = new TempDir;
    certs_ = new TestCertificates;
    plain_ = new HttpPeer;
    secure_ = new HttpPeer;
    if (!certs_->Make(why_)) return;
    if (!plain_->Start(files_->path()))
      why_ = plain_->why();
    else if (!secure_->Start(files_->path(), certs_->CertFile(), certs_->KeyFile()))
      why_ = secure_->why();
  }
  static void TearDownTestSuite() {
    delete plain_;
    delete secure_;
    delete certs_;
    delete files_;
  }
  void SetUp() override { KV_REQUIRE_PEER(why_.empty(), why_); }

  static inline TempDir *files_ = nullptr;
  static inline TestCertificates *certs_ = nullptr;
  static inline HttpPeer *plain_ = nullptr;
  static inline HttpPeer *secure_ = nullptr;
  static inline std::string why_;
};

} // namespace kvtest
