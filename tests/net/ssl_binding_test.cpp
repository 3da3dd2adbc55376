// The SSL binding without a server: loading by name, missing and unusable libraries, and the
// TCP socket's SSL switch when the libraries or its files are not there.
#include "net/ssl_binding.h"

#include <gtest/gtest.h>

#include "net/tcp_socket.h"

using namespace kv::net;

namespace {

// Points the binding at other library names for one test and restores the real ones after.
class LibraryNames {
public:
  LibraryNames(const std::string &ssl, const std::string &crypto)
      : ssl_(SslLibraryName()), alt_(SslLibraryAltName()), crypto_(CryptoLibraryName()) {
    UnloadSslLibrary();
    SetSslLibraryNames(ssl, "", crypto);
  }
  ~LibraryNames() {
    UnloadSslLibrary();
    SetSslLibraryNames(ssl_, alt_, crypto_);
  }

private:
  std::string ssl_, alt_, crypto_;
};

} // namespace

TEST(SslBinding, LoadsOpenSsl3ByNameOnceAndRecordsThePaths) {
  ASSERT_TRUE(LoadSslLibrary());
  EXPECT_TRUE(IsSslLoaded());
  EXPECT_NE(SslLibraryPath().find("libssl.so"), std::string::npos);
  EXPECT_NE(CryptoLibraryPath().find("libcrypto.so"), std::string::npos);
  const std::string path = SslLibraryPath();
  EXPECT_TRUE(LoadSslLibrary());
  EXPECT_EQ(SslLibraryPath(), path);
  // A context of the TLS method can be made through the binding.
  PSSL_CTX ctx = SslCtxNew(SslTlsClientMethod());
  EXPECT_NE(ctx, nullptr);
  SslCtxFree(ctx);
}

TEST(SslBinding, MissingLibrariesLeaveNothingLoadedAndSslUnavailable) {
  LibraryNames names("libkorvane-no-such-ssl.so.3", "libkorvane-no-such-crypto.so.3");
  std::string why;
  EXPECT_FALSE(LoadSslLibrary(&why));
  EXPECT_EQ(why.rfind("Die Bibliothek libkorvane-no-such-ssl.so.3 lässt sich nicht laden (", 0), 0u) << why;
  EXPECT_FALSE(IsSslLoaded());
  EXPECT_EQ(SslLibraryPath(), "");
  // Every wrapper gives its failure value.
  EXPECT_EQ(SslGetError(nullptr, -1), 1);
  EXPECT_EQ(SslCtxNew(SslTlsClientMethod()), nullptr);
  EXPECT_EQ(SslGetVerifyResult(nullptr), 50);
  EXPECT_EQ(ErrGetError(), 1u);
  EXPECT_EQ(ErrErrorString(1), "");
  EXPECT_EQ(SslConnect(nullptr), -1);
  EXPECT_EQ(SslRead(nullptr, nullptr, 0), -1);

  TTCPBlockSocket sock;
  sock.SetSslEnabled(true);
  EXPECT_EQ(sock.LastError(), 10043);
  EXPECT_EQ(sock.SSLLastErrorDesc(), why);
  EXPECT_FALSE(sock.SSLEnabled());
  EXPECT_EQ(sock.SslVerifyResult(), 50);
}

TEST(SslBinding, ALibraryWithoutTheNeededFunctionsIsNotUsed) {
  // libcrypto loads, but has none of the SSL functions the socket cannot work without.
  LibraryNames names("libcrypto.so.3", "libcrypto.so.3");
  std::string why;
  EXPECT_FALSE(LoadSslLibrary(&why));
  EXPECT_EQ(why, "Der Bibliothek libcrypto.so.3 fehlt die Funktion SSL_get_error.");
  EXPECT_FALSE(IsSslLoaded());
}

TEST(SslBinding, BrokenProtocolsAreNotOffered) {
  for (const TSSLType type : {LT_SSLv2, LT_SSLv3}) {
    TTCPBlockSocket sock;
    sock.SSLType = type;
    sock.SetSslEnabled(true);
    EXPECT_EQ(sock.LastError(), 10043);
    EXPECT_FALSE(sock.SSLEnabled());
  }
  TTCPBlockSocket sock;
  sock.SSLType = LT_TLSv1;
  sock.SetSslEnabled(true);
  EXPECT_EQ(sock.LastError(), 0);
  EXPECT_TRUE(sock.SSLEnabled());
  sock.SetSslEnabled(false);
  EXPECT_FALSE(sock.SSLEnabled());
}

TEST(SslBinding, AKeyFileThatDoesNotLoadLeavesSslOnWithoutAnObjectAndTransfersFail) {
  TTCPBlockSocket sock;
  sock.SSLPrivateKeyFile = "/nonexistent/korvane-key.pem";
  sock.SetSslEnabled(true);
  EXPECT_EQ(sock.LastError(), 10022);
  EXPECT_TRUE(sock.SSLEnabled());
  EXPECT_FALSE(sock.SSLLastErrorDesc().empty());
  // A transfer in that state fails with an error instead of using a missing SSL object.
  sock.SendString("x");
  EXPECT_EQ(sock.LastError(), 10043);
  char buf[4];
  EXPECT_EQ(sock.RecvData(buf, 4), 0);
  EXPECT_EQ(sock.LastError(), 10043);
  sock.SslConnect();
  EXPECT_NE(sock.LastError(), 0);
  EXPECT_FALSE(sock.SSLEnabled());
}

TEST(SslBinding, PasswordCallbackHandsOverTheSocketsPasswordCutToTheBuffer) {
  TTCPBlockSocket sock;
  sock.SSLPassword = "secret";
  char buf[5];
  EXPECT_EQ(TTCPBlockSocket::SslPasswordCallback(buf, sizeof buf, 0, &sock), 4);
  EXPECT_STREQ(buf, "secr");
  char big[32];
  EXPECT_EQ(TTCPBlockSocket::SslPasswordCallback(big, sizeof big, 0, &sock), 6);
  EXPECT_STREQ(big, "secret");
  EXPECT_EQ(TTCPBlockSocket::SslPasswordCallback(big, sizeof big, 0, nullptr), 0);
  EXPECT_STREQ(big, "");
}
