#pragma once
// aiosmtpd as a test peer (tests/peers/smtp_server.py): started on a loopback address and a port
// it binds itself, with or without AUTH and STARTTLS, stopped by process id. The messages it accepted are
// read back from its folder; a self-signed certificate for STARTTLS is made with openssl.

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "peer_process.h"

namespace kvtest {

struct SmtpMessage {
  std::string MailFrom;            // envelope sender, without angle brackets
  std::vector<std::string> RcptTo; // envelope recipients
  std::string Login;               // user of AUTH, "" without
  bool Tls = false;                // the session was encrypted
  std::string Data;                // the message as received after DATA
};

struct SmtpOptions {
  std::string Host = "127.0.0.1";
  std::string Auth;                       // "user:password": AUTH offered and checked
  std::string Mechanisms = "LOGIN,PLAIN"; // mechanisms offered with Auth
  std::string CertFile, KeyFile;          // both set: STARTTLS offered
  std::string RejectRcpt;                 // a recipient answered with 550

  SmtpOptions &WithAuth(const std::string &auth, const std::string &mechanisms = "LOGIN,PLAIN") {
    Auth = auth;
    Mechanisms = mechanisms;
    return *this;
  }
  SmtpOptions &WithTls(const std::string &cert, const std::string &key) {
    CertFile = cert;
    KeyFile = key;
    return *this;
  }
  SmtpOptions &Rejecting(const std::string &recipient) {
    RejectRcpt = recipient;
    return *this;
  }
};

// Makes a self-signed certificate and key for `name` (a DNS name) valid for IP 127.0.0.1 too,
// as <dir>/<name>.crt and <dir>/<name>.key. False when openssl is missing or fails.
inline bool MakeSelfSignedCertificate(const std::string &dir, const std::string &name) {
  return MakeSelfSignedCertificate(dir + "/" + name + ".crt", dir + "/" + name + ".key", name,
                                   "DNS:" + name + ",IP:127.0.0.1", dir + "/openssl.log");
}

class SmtpPeer : public PeerProcess {
public:
  // Starts the server and waits (up to 15 s) until it listens. False with the reason in why().
  bool Start(const SmtpOptions &options = {}) {
    out_ = File("mail");
    ::mkdir(out_.c_str(), 0700);
    std::vector<std::string> args{"--out", out_};
    if (!options.Auth.empty())
      args.insert(args.end(), {"--auth", options.Auth, "--mechanisms", options.Mechanisms});
    if (!options.CertFile.empty()) args.insert(args.end(), {"--tls", options.CertFile, options.KeyFile});
    if (!options.RejectRcpt.empty()) args.insert(args.end(), {"--reject-rcpt", options.RejectRcpt});
    return LaunchPythonServer("smtp_server.py", options.Host, args);
  }

  const std::string &Host() const { return Address(); }
  // The messages accepted so far, in order.
  std::vector<SmtpMessage> Messages() const {
    std::vector<std::string> names;
    if (DIR *d = ::opendir(out_.c_str())) {
      while (dirent *e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n.size() > 4 && n.compare(n.size() - 4, 4, ".env") == 0)
          names.push_back(n.substr(0, n.size() - 4));
      }
      ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    std::vector<SmtpMessage> messages;
    for (const auto &n : names) {
      SmtpMessage m;
      std::istringstream env(ReadFile(out_ + "/" + n + ".env"));
      for (std::string line; std::getline(env, line);) {
        auto after = [&](const std::string &prefix) { return line.substr(prefix.size()); };
        auto inside = [](std::string s) {
          return s.size() >= 2 && s.front() == '<' ? s.substr(1, s.size() - 2) : s;
        };
        if (line.rfind("MAIL FROM:", 0) == 0)
          m.MailFrom = inside(after("MAIL FROM:"));
        else if (line.rfind("RCPT TO:", 0) == 0)
          m.RcptTo.push_back(inside(after("RCPT TO:")));
        else if (line.rfind("LOGIN:", 0) == 0)
          m.Login = after("LOGIN:");
        else if (line == "TLS:1")
          m.Tls = true;
      }
      m.Data = ReadFile(out_ + "/" + n + ".eml");
      messages.push_back(m);
    }
    return messages;
  }
  bool WaitForMessages(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
    return WaitUntil([&] { return Messages().size() >= count; }, timeout);
  }

private:
  std::string out_;
};

} // namespace kvtest
