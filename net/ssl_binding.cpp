#include "net/ssl_binding.h"

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/shared_library.h"

namespace kv::net {

namespace {

enum Lib { kSsl, kCrypto };

// Every function the binding takes from the libraries; `required` ones must be present, or the
// libraries count as unusable.
enum Fn {
  fSSL_get_error,
  fOPENSSL_init_ssl,
  fSSL_CTX_set_cipher_list,
  fSSL_CTX_new,
  fSSL_CTX_free,
  fSSL_CTX_ctrl,
  fSSL_set_fd,
  fTLS_client_method,
  fSSL_CTX_use_PrivateKey_file,
  fSSL_CTX_use_certificate_chain_file,
  fSSL_CTX_set_default_passwd_cb,
  fSSL_CTX_set_default_passwd_cb_userdata,
  fSSL_CTX_load_verify_locations,
  fSSL_CTX_set_default_verify_paths,
  fSSL_CTX_set_verify,
  fSSL_new,
  fSSL_free,
  fSSL_ctrl,
  fSSL_connect,
  fSSL_shutdown,
  fSSL_read,
  fSSL_write,
  fSSL_pending,
  fSSL_get_version,
  fSSL_get_verify_result,
  fSSL_set1_host,
  fSSL_get0_param,
  fX509_VERIFY_PARAM_set1_ip_asc,
  fERR_error_string_n,
  fERR_get_error,
  fERR_clear_error,
  fERR_remove_state,
  kFnCount
};

struct FnInfo {
  const char *name;
  Lib lib;
  bool required;
};

constexpr FnInfo kFns[kFnCount] = {
    {"SSL_get_error", kSsl, true},
    {"OPENSSL_init_ssl", kSsl, true},
    {"SSL_CTX_set_cipher_list", kSsl, false},
    {"SSL_CTX_new", kSsl, true},
    {"SSL_CTX_free", kSsl, true},
    {"SSL_CTX_ctrl", kSsl, true},
    {"SSL_set_fd", kSsl, true},
    {"TLS_client_method", kSsl, true},
    {"SSL_CTX_use_PrivateKey_file", kSsl, false},
    {"SSL_CTX_use_certificate_chain_file", kSsl, false},
    {"SSL_CTX_set_default_passwd_cb", kSsl, false},
    {"SSL_CTX_set_default_passwd_cb_userdata", kSsl, false},
    {"SSL_CTX_load_verify_locations", kSsl, false},
    {"SSL_CTX_set_default_verify_paths", kSsl, false},
    {"SSL_CTX_set_verify", kSsl, true},
    {"SSL_new", kSsl, true},
    {"SSL_free", kSsl, true},
    {"SSL_ctrl", kSsl, true},
    {"SSL_connect", kSsl, true},
    {"SSL_shutdown", kSsl, true},
    {"SSL_read", kSsl, true},
    {"SSL_write", kSsl, true},
    {"SSL_pending", kSsl, false},
    {"SSL_get_version", kSsl, false},
    {"SSL_get_verify_result", kSsl, true},
    {"SSL_set1_host", kSsl, true},
    {"SSL_get0_param", kSsl, true},
    {"X509_VERIFY_PARAM_set1_ip_asc", kCrypto, true},
    {"ERR_error_string_n", kCrypto, true},
    {"ERR_get_error", kCrypto, true},
    {"ERR_clear_error", kCrypto, true},
    {"ERR_remove_state", kCrypto, false},
};

struct Binding {
  std::mutex lock;
  std::string names[3] = {"libssl.so.3", "libssl.so", "libcrypto.so.3"};
  platform::TSharedLibrary libs[2];
  std::atomic<bool> loaded{false};
  std::atomic<void *> fns[kFnCount] = {};
};

Binding &B() {
  static Binding binding;
  return binding;
}

void ClearTable(Binding &b) {
  for (auto &f : b.fns)
    f.store(nullptr);
}

template <class F> F Get(Fn fn) {
  if (!LoadSslLibrary()) return nullptr;
  return reinterpret_cast<F>(B().fns[fn].load());
}

// SSL_CTX_ctrl / SSL_ctrl commands and flags used by the socket.
constexpr int kCtrlSetMinProtoVersion = 123;
constexpr int kCtrlClearMode = 78;
constexpr long kModeAutoRetry = 0x4;
constexpr int kCtrlSetTlsextHostname = 55;
constexpr long kTlsextNametypeHostName = 0;
constexpr uint64_t kInitLoadSslStrings = 0x00200000L;
constexpr uint64_t kInitLoadCryptoStrings = 0x00000002L;

} // namespace

std::string SslLibraryName() {
  std::lock_guard<std::mutex> lock(B().lock);
  return B().names[0];
}

std::string SslLibraryAltName() {
  std::lock_guard<std::mutex> lock(B().lock);
  return B().names[1];
}

std::string CryptoLibraryName() {
  std::lock_guard<std::mutex> lock(B().lock);
  return B().names[2];
}

void SetSslLibraryNames(const std::string &ssl, const std::string &ssl_alt, const std::string &crypto) {
  std::lock_guard<std::mutex> lock(B().lock);
  B().names[0] = ssl;
  B().names[1] = ssl_alt;
  B().names[2] = crypto;
}

bool LoadSslLibrary(std::string *why) {
  Binding &b = B();
  if (b.loaded.load()) return true;
  std::lock_guard<std::mutex> lock(b.lock);
  if (b.loaded.load()) return true;
  platform::TSharedLibrary libs[2];
  if (!libs[kSsl].Open(b.names[0]) && !b.names[1].empty()) {
    platform::TSharedLibrary alt;
    // The first name's failure is the one to report.
    if (alt.Open(b.names[1])) libs[kSsl] = std::move(alt);
  }
  libs[kCrypto].Open(b.names[2]);
  for (int i = 0; i < kFnCount; ++i)
    b.fns[i].store(libs[kFns[i].lib].Symbol(kFns[i].name, kFns[i].required));
  if (!libs[kSsl].Usable() || !libs[kCrypto].Usable()) {
    // A library without the functions the socket needs is as good as none; both close here.
    ClearTable(b);
    if (why) *why = libs[kSsl].Usable() ? libs[kCrypto].Error() : libs[kSsl].Error();
    return false;
  }
  // Once initialised, OpenSSL runs its own clean-up from the libraries when the process ends:
  // they stay mapped, also after an unload. A later load opens them (or others, by the names
  // then set) again.
  for (int i : {kSsl, kCrypto}) {
    libs[i].Keep();
    b.libs[i] = std::move(libs[i]);
  }
  using InitFn = int (*)(uint64_t, const void *);
  reinterpret_cast<InitFn>(b.fns[fOPENSSL_init_ssl].load())(kInitLoadSslStrings | kInitLoadCryptoStrings,
                                                            nullptr);
  b.loaded.store(true);
  return true;
}

bool UnloadSslLibrary() {
  Binding &b = B();
  std::lock_guard<std::mutex> lock(b.lock);
  b.loaded.store(false);
  ClearTable(b);
  for (platform::TSharedLibrary &lib : b.libs)
    lib.Close();
  return true;
}

bool IsSslLoaded() {
  return B().loaded.load();
}

std::string SslLibraryPath() {
  std::lock_guard<std::mutex> lock(B().lock);
  return B().libs[kSsl].Path();
}

std::string CryptoLibraryPath() {
  std::lock_guard<std::mutex> lock(B().lock);
  return B().libs[kCrypto].Path();
}

int SslGetError(PSSL ssl, int ret) {
  auto f = Get<int (*)(PSSL, int)>(fSSL_get_error);
  return f ? f(ssl, ret) : 1;
}

PSSL_METHOD SslTlsClientMethod() {
  auto f = Get<PSSL_METHOD (*)()>(fTLS_client_method);
  return f ? f() : nullptr;
}

PSSL_CTX SslCtxNew(PSSL_METHOD method) {
  auto f = Get<PSSL_CTX (*)(PSSL_METHOD)>(fSSL_CTX_new);
  return f && method ? f(method) : nullptr;
}

void SslCtxFree(PSSL_CTX ctx) {
  auto f = Get<void (*)(PSSL_CTX)>(fSSL_CTX_free);
  if (f && ctx) f(ctx);
}

int SslCtxSetCipherList(PSSL_CTX ctx, const std::string &ciphers) {
  auto f = Get<int (*)(PSSL_CTX, const char *)>(fSSL_CTX_set_cipher_list);
  return f && ctx ? f(ctx, ciphers.c_str()) : 0;
}

int SslCtxSetMinProtoVersion(PSSL_CTX ctx, int version) {
  auto f = Get<long (*)(PSSL_CTX, int, long, void *)>(fSSL_CTX_ctrl);
  return f && ctx ? static_cast<int>(f(ctx, kCtrlSetMinProtoVersion, version, nullptr)) : 0;
}

void SslCtxClearAutoRetry(PSSL_CTX ctx) {
  auto f = Get<long (*)(PSSL_CTX, int, long, void *)>(fSSL_CTX_ctrl);
  if (f && ctx) f(ctx, kCtrlClearMode, kModeAutoRetry, nullptr);
}

void SslCtxSetVerify(PSSL_CTX ctx, int mode) {
  auto f = Get<void (*)(PSSL_CTX, int, void *)>(fSSL_CTX_set_verify);
  if (f && ctx) f(ctx, mode, nullptr);
}

int SslCtxSetDefaultVerifyPaths(PSSL_CTX ctx) {
  auto f = Get<int (*)(PSSL_CTX)>(fSSL_CTX_set_default_verify_paths);
  return f && ctx ? f(ctx) : 0;
}

void SslCtxSetDefaultPasswdCb(PSSL_CTX ctx, TPemPasswordCallback callback) {
  auto f = Get<void (*)(PSSL_CTX, TPemPasswordCallback)>(fSSL_CTX_set_default_passwd_cb);
  if (f && ctx) f(ctx, callback);
}

void SslCtxSetDefaultPasswdCbUserdata(PSSL_CTX ctx, void *userdata) {
  auto f = Get<void (*)(PSSL_CTX, void *)>(fSSL_CTX_set_default_passwd_cb_userdata);
  if (f && ctx) f(ctx, userdata);
}

int SslCtxUsePrivateKeyFile(PSSL_CTX ctx, const std::string &file, int type) {
  auto f = Get<int (*)(PSSL_CTX, const char *, int)>(fSSL_CTX_use_PrivateKey_file);
  return f && ctx ? f(ctx, file.c_str(), type) : 0;
}

int SslCtxUseCertificateChainFile(PSSL_CTX ctx, const std::string &file) {
  auto f = Get<int (*)(PSSL_CTX, const char *)>(fSSL_CTX_use_certificate_chain_file);
  return f && ctx ? f(ctx, file.c_str()) : 0;
}

int SslCtxLoadVerifyLocations(PSSL_CTX ctx, const std::string &ca_file) {
  auto f = Get<int (*)(PSSL_CTX, const char *, const char *)>(fSSL_CTX_load_verify_locations);
  return f && ctx ? f(ctx, ca_file.c_str(), nullptr) : 0;
}

PSSL SslNew(PSSL_CTX ctx) {
  auto f = Get<PSSL (*)(PSSL_CTX)>(fSSL_new);
  return f && ctx ? f(ctx) : nullptr;
}

void SslFree(PSSL ssl) {
  auto f = Get<void (*)(PSSL)>(fSSL_free);
  if (f && ssl) f(ssl);
}

int SslSetFd(PSSL ssl, int fd) {
  auto f = Get<int (*)(PSSL, int)>(fSSL_set_fd);
  return f && ssl ? f(ssl, fd) : 0;
}

int SslSet1Host(PSSL ssl, const std::string &host) {
  auto f = Get<int (*)(PSSL, const char *)>(fSSL_set1_host);
  return f && ssl ? f(ssl, host.c_str()) : 0;
}

int SslSet1IpAsc(PSSL ssl, const std::string &ip) {
  auto param = Get<void *(*)(PSSL)>(fSSL_get0_param);
  auto f = Get<int (*)(void *, const char *)>(fX509_VERIFY_PARAM_set1_ip_asc);
  return f && param && ssl ? f(param(ssl), ip.c_str()) : 0;
}

int SslSetTlsextHostName(PSSL ssl, const std::string &host) {
  auto f = Get<long (*)(PSSL, int, long, void *)>(fSSL_ctrl);
  return f && ssl ? static_cast<int>(f(ssl, kCtrlSetTlsextHostname, kTlsextNametypeHostName,
                                       const_cast<char *>(host.c_str())))
                  : 0;
}

int SslConnect(PSSL ssl) {
  auto f = Get<int (*)(PSSL)>(fSSL_connect);
  return f && ssl ? f(ssl) : -1;
}

int SslShutdown(PSSL ssl) {
  auto f = Get<int (*)(PSSL)>(fSSL_shutdown);
  return f && ssl ? f(ssl) : -1;
}

int SslRead(PSSL ssl, void *buffer, int length) {
  auto f = Get<int (*)(PSSL, void *, int)>(fSSL_read);
  return f && ssl ? f(ssl, buffer, length) : -1;
}

int SslWrite(PSSL ssl, const void *buffer, int length) {
  auto f = Get<int (*)(PSSL, const void *, int)>(fSSL_write);
  return f && ssl ? f(ssl, buffer, length) : -1;
}

int SslPending(PSSL ssl) {
  auto f = Get<int (*)(PSSL)>(fSSL_pending);
  return f && ssl ? f(ssl) : 0;
}

long SslGetVerifyResult(PSSL ssl) {
  auto f = Get<long (*)(PSSL)>(fSSL_get_verify_result);
  return f && ssl ? f(ssl) : kVerifyUnavailable;
}

std::string SslGetVersion(PSSL ssl) {
  auto f = Get<const char *(*)(PSSL)>(fSSL_get_version);
  const char *v = f && ssl ? f(ssl) : nullptr;
  return v ? v : "";
}

unsigned long ErrGetError() {
  auto f = Get<unsigned long (*)()>(fERR_get_error);
  return f ? f() : 1;
}

void ErrClearError() {
  auto f = Get<void (*)()>(fERR_clear_error);
  if (f) f();
}

std::string ErrErrorString(unsigned long code) {
  auto f = Get<void (*)(unsigned long, char *, size_t)>(fERR_error_string_n);
  if (!f) return {};
  char buffer[256] = {};
  f(code, buffer, sizeof buffer);
  return buffer;
}

void ErrRemoveState(unsigned long pid) {
  auto f = Get<void (*)(unsigned long)>(fERR_remove_state);
  if (f) f(pid);
}

} // namespace kv::net
