// The SMTP client's reading of a server that says anything: replies (multi-line ones, codes,
// lengths) and the EHLO keywords, through greeting, login and one message, without failing.
#include <cctype>

#include "harness.h"
#include "net/smtp_client.h"
#include "net/tcp_socket.h"

using namespace kv::net;

namespace {

class Session : public TSmtpClient {
public:
  void Run(int fd) {
    NewSocket().AttachHandle(fd);
    connected_ = true;
    Open("the fuzzed server");
  }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  kvfuzz::ScriptedPeer server(kvfuzz::Text(data, size));
  Session smtp;
  smtp.Timeout = 1000;
  smtp.Username = "user";
  smtp.Password = "secret";
  smtp.CAFile = "/nonexistent/ca.pem"; // a STARTTLS offer ends before any handshake
  try {
    smtp.Run(server.TakeNear());
    for (const auto &keyword : smtp.Extensions())
      for (char c : keyword)
        if (std::islower(static_cast<unsigned char>(c))) kvfuzz::Broken("an EHLO keyword not in upper case");
    if (smtp.Offers("LOGIN")) smtp.Authenticate();
    smtp.Send("korvan@example.org", {"admin@example.org"}, "Subject: x\r\n\r\n.line\r\n");
    smtp.Disconnect();
  } catch (const ESmtpError &) {
    // A refusal is an answer too.
  }
  return 0;
}
