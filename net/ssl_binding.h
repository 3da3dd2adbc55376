#pragma once
// The OpenSSL 3 libraries, bound by name the first time SSL is asked for (dlopen of libssl and
// libcrypto). Nothing links against OpenSSL: without the libraries every wrapper returns its
// failure value, and the TCP socket reports that SSL is unavailable. The library names are
// settable, so a missing or unusable library can be tried out.

#include <string>

namespace kv::net {

// Opaque OpenSSL handles.
using PSSL_CTX = void *;
using PSSL = void *;
using PSSL_METHOD = const void *;
// The password callback OpenSSL calls for an encrypted key file.
using TPemPasswordCallback = int (*)(char *buffer, int size, int rwflag, void *userdata);

// Library names tried by LoadSslLibrary: the SSL library, its alternative name, and the crypto
// library. Changing them takes effect at the next load.
std::string SslLibraryName();
std::string SslLibraryAltName();
std::string CryptoLibraryName();
void SetSslLibraryNames(const std::string &ssl, const std::string &ssl_alt, const std::string &crypto);

// True when both libraries are loaded and every function the socket cannot work without is
// bound. A second call after a successful one loads nothing. On failure `why` gets the German
// message that names the library and what is wrong with it.
bool LoadSslLibrary(std::string *why = nullptr);
// Always true.
bool UnloadSslLibrary();
bool IsSslLoaded();
// Full paths of the loaded libraries; "" when not loaded.
std::string SslLibraryPath();
std::string CryptoLibraryPath();

// Protocol versions for SslCtxSetMinProtoVersion.
inline constexpr int kTls1Version = 0x0301;
inline constexpr int kTls12Version = 0x0303;
// SSL_get_error results the socket acts on.
inline constexpr int kSslErrorNone = 0;
inline constexpr int kSslErrorSsl = 1;
inline constexpr int kSslErrorWantRead = 2;
inline constexpr int kSslErrorWantWrite = 3;
inline constexpr int kSslErrorSyscall = 5;
inline constexpr int kSslErrorZeroReturn = 6;
inline constexpr int kSslVerifyNone = 0;
inline constexpr int kSslVerifyPeer = 1;
inline constexpr int kSslFiletypePem = 1;
// SSL_get_verify_result when the library is not loaded.
inline constexpr long kVerifyUnavailable = 50;

// Wrappers: each loads the libraries first and returns the listed failure value when the
// function is not available.
int SslGetError(PSSL ssl, int ret);     // 1
PSSL_METHOD SslTlsClientMethod();       // null
PSSL_CTX SslCtxNew(PSSL_METHOD method); // null
void SslCtxFree(PSSL_CTX ctx);
int SslCtxSetCipherList(PSSL_CTX ctx, const std::string &ciphers); // 0
int SslCtxSetMinProtoVersion(PSSL_CTX ctx, int version);           // 0
void SslCtxClearAutoRetry(PSSL_CTX ctx);
void SslCtxSetVerify(PSSL_CTX ctx, int mode);
int SslCtxSetDefaultVerifyPaths(PSSL_CTX ctx); // 0
void SslCtxSetDefaultPasswdCb(PSSL_CTX ctx, TPemPasswordCallback callback);
void SslCtxSetDefaultPasswdCbUserdata(PSSL_CTX ctx, void *userdata);
int SslCtxUsePrivateKeyFile(PSSL_CTX ctx, const std::string &file, int type); // 0
int SslCtxUseCertificateChainFile(PSSL_CTX ctx, const std::string &file);     // 0
int SslCtxLoadVerifyLocations(PSSL_CTX ctx, const std::string &ca_file);      // 0
PSSL SslNew(PSSL_CTX ctx);                                                    // null
void SslFree(PSSL ssl);
int SslSetFd(PSSL ssl, int fd); // 0
// Host-name checks for the peer's certificate and the name sent to the server (SNI).
int SslSet1Host(PSSL ssl, const std::string &host);          // 0
int SslSet1IpAsc(PSSL ssl, const std::string &ip);           // 0
int SslSetTlsextHostName(PSSL ssl, const std::string &host); // 0
int SslConnect(PSSL ssl);                                    // -1
int SslShutdown(PSSL ssl);                                   // -1
int SslRead(PSSL ssl, void *buffer, int length);             // -1
int SslWrite(PSSL ssl, const void *buffer, int length);      // -1
int SslPending(PSSL ssl);                                    // 0
long SslGetVerifyResult(PSSL ssl);                           // 50
std::string SslGetVersion(PSSL ssl);                         // ""
unsigned long ErrGetError();                                 // 1
void ErrClearError();
std::string ErrErrorString(unsigned long code); // ""
void ErrRemoveState(unsigned long pid);

} // namespace kv::net
