// HTTP(S) transfers against Python's http.server on loopback: what is sent, the checks on what
// comes back (status, lengths, cap, redirections, stalls), aborting, and certificate checks with
// a test CA.
#include "net/http_get.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <utility>

#include "platform/shell.h"
#include "tests/peers/http_peer.h"

using namespace kv::net;

namespace {

class HttpGetTest : public kvtest::HttpPeersTest {
protected:
  static void SetUpTestSuite() {
    HttpPeersTest::SetUpTestSuite();
    kvtest::WriteFile(files_->file("page.htm"), "<html>\n<body>hello</body>\n</html>\n");
    kvtest::WriteFile(files_->file("big.bin"), std::string(5000, 'x'));
  }

  static THttpResult Get(THttpRequest r, std::string *body = nullptr) {
    r.Agent = "TKvWebUpdate";
    THttpTransfer t(r);
    std::string got;
    THttpResult result =
        t.Perform([&](std::string_view chunk) { return got.append(chunk), true; }, [] { return true; });
    if (body) *body = got;
    return result;
  }
  static THttpRequest To(const std::string &url) {
    THttpRequest r;
    r.Url = url;
    r.StallTimeoutMs = 10000; // a loaded machine (sanitizers, parallel tests) is slow to shake hands
    return r;
  }
};

} // namespace

TEST_F(HttpGetTest, PlainPageWithTheRequestOfTheUpdateComponentAndALogin) {
  std::string body;
  THttpResult r = Get(To(plain_->Url("/page.htm")), &body);
  EXPECT_TRUE(r.Ok) << r.Error;
  EXPECT_FALSE(r.Secure) << "plain HTTP is never authenticated";
  EXPECT_EQ(r.Status, 200);
  EXPECT_EQ(r.ContentLength, static_cast<int64_t>(body.size()));
  EXPECT_EQ(body, "<html>\n<body>hello</body>\n</html>\n");
  const std::string request = plain_->Requests().back();
  EXPECT_EQ(request.substr(0, request.find('|')), "GET /page.htm HTTP/1.0");
  EXPECT_NE(request.find("|User-Agent: TKvWebUpdate"), std::string::npos) << request;
  const size_t accept = request.find("|Accept: */*");
  ASSERT_NE(accept, std::string::npos) << request;
  EXPECT_EQ(request.find("|Accept:", accept + 1), std::string::npos) << "one Accept header: " << request;
  EXPECT_EQ(request.find("Authorization"), std::string::npos);

  THttpRequest login = To(plain_->Url("/page.htm"));
  login.UserName = "user";
  login.Password = "secret";
  EXPECT_TRUE(Get(login).Ok);
  EXPECT_NE(plain_->Requests().back().find("|Authorization: Basic dXNlcjpzZWNyZXQ="), std::string::npos);
}

// Each row: path, whether the length is required, cap, expected outcome.
struct FailureCase {
  const char *path;
  bool require_length;
  int64_t cap;
  bool ok;
  const char *error; // start of the error text
};

TEST_F(HttpGetTest, RepliesThatAreNotWholeFail) {
  const FailureCase cases[] = {
      {"/status/404/x", false, 1 << 20, false, "HTTP status 404"},
      {"/status/500/x", false, 1 << 20, false, "HTTP status 500"},
      {"/missing.htm", false, 1 << 20, false, "HTTP status 404"},
      {"/short/big.bin", false, 1 << 20, false, "cut short: 5000 of 5100 bytes"},
      {"/long/big.bin", false, 1 << 20, true, ""}, // the announced length ends the reply
      {"/nolength/big.bin", true, 1 << 20, false, "no Content-Length"},
      {"/nolength/big.bin", false, 1 << 20, true, ""},
      {"/badlength/big.bin", false, 1 << 20, false, "unreadable Content-Length"},
      {"/big.bin", true, 4999, false, "announces 5000 bytes, more than 4999"}, // at the headers
      {"/nolength/big.bin", false, 4999, false, "larger than 4999 bytes"},
      {"/big.bin", true, 5000, true, ""},
      {"/r5/big.bin", true, 1 << 20, true, ""},
      {"/r6/big.bin", true, 1 << 20, false, "more than 5 redirections"},
      {"/loop", false, 1 << 20, false, "more than 5 redirections"},
  };
  for (const FailureCase &c : cases) {
    THttpRequest r = To(plain_->Url(c.path));
    r.RequireLength = c.require_length;
    r.MaxBytes = c.cap;
    THttpResult result = Get(r);
    EXPECT_EQ(result.Ok, c.ok) << c.path << ": " << result.Error;
    EXPECT_EQ(result.Error.rfind(c.error, 0), 0u) << c.path << ": " << result.Error;
    EXPECT_FALSE(result.Aborted) << c.path;
  }
  EXPECT_EQ(plain_->CountRequests("/loop"), 6) << "the first request and five redirections";
}

TEST_F(HttpGetTest, StalledPeerAndMissingListenerEndInTime) {
  for (const char *path : {"/stall/x", "/stallbody/big.bin"}) {
    THttpRequest request = To(plain_->Url(path));
    request.StallTimeoutMs = 1000;
    const auto start = std::chrono::steady_clock::now();
    THttpResult r = Get(request);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(r.Ok) << path;
    EXPECT_EQ(r.Error, "no data for 1000 ms") << path;
    EXPECT_LT(took, std::chrono::milliseconds(5 * request.StallTimeoutMs)) << path;
    std::printf("[ MEASURED ] %s ended after %lld ms\n", path,
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
  }
  THttpResult r = Get(To("http://127.0.0.1:" + std::to_string(kvtest::FreePort()) + "/"));
  EXPECT_FALSE(r.Ok);
  EXPECT_NE(r.Error.find("Couldn't connect"), std::string::npos) << r.Error;
  EXPECT_FALSE(Get(To("ftp://127.0.0.1/x")).Ok);
}

TEST_F(HttpGetTest, HttpsIsSecureOnlyWithAVerifiedCertificateAllTheWay) {
  THttpRequest r = To(secure_->Url("/page.htm"));
  r.CAFile = certs_->CAFile();
  std::string body;
  THttpResult ok = Get(r, &body);
  EXPECT_TRUE(ok.Ok) << ok.Error;
  EXPECT_TRUE(ok.Secure);
  EXPECT_EQ(body, "<html>\n<body>hello</body>\n</html>\n");

  // Redirections within HTTPS stay secure.
  r.Url = secure_->Url("/r2/page.htm");
  EXPECT_TRUE(Get(r).Secure);

  // The system's store does not know the test CA.
  THttpResult untrusted = Get(To(secure_->Url("/page.htm")));
  EXPECT_FALSE(untrusted.Ok);
  EXPECT_FALSE(untrusted.Secure);
  EXPECT_NE(untrusted.Error.find("certificate"), std::string::npos) << untrusted.Error;

  // The certificate names 127.0.0.1 and localhost only: a server on 127.0.0.2 with it is refused.
  kvtest::HttpPeer elsewhere;
  ASSERT_TRUE(elsewhere.Start(files_->path(), certs_->CertFile(), certs_->KeyFile(), "127.0.0.2"))
      << elsewhere.why();
  THttpRequest wrong_name = r;
  wrong_name.Url = elsewhere.Url("/page.htm");
  const THttpResult misnamed = Get(wrong_name);
  EXPECT_FALSE(misnamed.Ok);
  EXPECT_NE(misnamed.Error.find("subject name matches target host name '127.0.0.2'"), std::string::npos)
      << misnamed.Error;

  // HTTPS never hands over to plain HTTP; plain HTTP that leads to HTTPS is not secure.
  const int plain_before = plain_->CountRequests("/page.htm");
  r.Url = secure_->Url("/to/" + plain_->Url("/page.htm"));
  THttpResult down = Get(r);
  EXPECT_FALSE(down.Ok);
  EXPECT_EQ(plain_->CountRequests("/page.htm"), plain_before) << "the plain address was not asked";
  r.Url = plain_->Url("/to/" + secure_->Url("/page.htm"));
  THttpResult up = Get(r);
  EXPECT_TRUE(up.Ok) << up.Error;
  EXPECT_FALSE(up.Secure);
}

TEST_F(HttpGetTest, AReplyOnAKeptConnectionEndsWithItsAnnouncedLength) {
  // The server answers HTTP/1.1 and waits for another request on the same connection: a transfer
  // that waited for the close would end at the stall limit instead.
  for (const char *path : {"/keep/page.htm", "/keep/r2/page.htm"}) {
    THttpRequest request = To(plain_->Url(path));
    request.StallTimeoutMs = 3000;
    std::string body;
    const THttpResult r = Get(request, &body);
    EXPECT_TRUE(r.Ok) << path << ": " << r.Error;
    EXPECT_EQ(body, "<html>\n<body>hello</body>\n</html>\n") << path;
  }
}

TEST_F(HttpGetTest, AProgramStartedDuringATransferInheritsNoDescriptor) {
  // Started from the first progress call, as the help key does on the GUI thread: libcurl may be
  // resolving the name then, with its own sockets open and no connection made yet.
  kvtest::TempDir dir;
  const std::string listing = dir.file("fds");
  kv::platform::ShellResult started;
  bool once = false;
  THttpTransfer t(To(plain_->Url("/page.htm")));
  const THttpResult r =
      t.Perform([](std::string_view) { return true; },
                [&] {
                  if (!std::exchange(once, true))
                    started = kv::platform::ShellSpawn("/bin/sh", {"-c", "ls -l /proc/self/fd > " + listing},
                                                       "", std::chrono::seconds(10));
                  return true;
                });
  EXPECT_TRUE(r.Ok) << r.Error;
  ASSERT_EQ(started.exit_code, 0) << started.Describe();
  // Besides 0 to 2, only the folder that ls itself reads.
  std::istringstream in(kvtest::ReadFile(listing));
  std::string foreign;
  for (std::string line; std::getline(in, line);) {
    const size_t arrow = line.find(" -> ");
    if (arrow == std::string::npos) continue;
    const int fd = std::stoi(line.substr(line.rfind(' ', arrow - 1) + 1));
    if (fd > 2 && line.compare(arrow + 4, 6, "/proc/") != 0) foreign += line + "\n";
  }
  EXPECT_EQ(foreign, "");
}

TEST_F(HttpGetTest, AnOldLibcurlOrARefusedOptionStartsNoTransfer) {
  const int asked = plain_->CountRequests("/page.htm");
  PretendHttpLibraryVersion(0x075400);
  std::string why;
  EXPECT_FALSE(LoadHttpLibrary(&why));
  const THttpResult old = Get(To(plain_->Url("/page.htm")));
  PretendHttpLibraryVersion(0);
  EXPECT_EQ(why, "Die Bibliothek libcurl.so.4 ist zu alt (Version 7.84.0; nötig ist 7.85.0 oder neuer).");
  EXPECT_EQ(old.Error, why);
  EXPECT_TRUE(LoadHttpLibrary()) << "the library's own version is recent enough";

  THttpRequest r = To(plain_->Url("/page.htm"));
  r.MaxRedirects = -2;
  const THttpResult refused = Get(r);
  EXPECT_EQ(refused.Error, "libcurl refused option MAXREDIRS: A libcurl function was given a bad argument");
  EXPECT_EQ(plain_->CountRequests("/page.htm"), asked);
}
