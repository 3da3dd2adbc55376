// The SSL layer of the TCP socket.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <pthread.h>
#include <sys/socket.h>

#include "net/net_util.h"
#include "net/tcp_socket.h"

namespace kv::net {

namespace {

// OpenSSL writes to the socket itself, without MSG_NOSIGNAL: a peer that has gone would raise
// SIGPIPE. The signal is blocked for this thread during the call and a pending one is consumed.
class SigpipeBlock {
public:
  SigpipeBlock() {
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    was_pending_ = sigismember(&pending, SIGPIPE) == 1;
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &block, &old_);
  }
  ~SigpipeBlock() {
    if (!was_pending_) {
      sigset_t pipe;
      sigemptyset(&pipe);
      sigaddset(&pipe, SIGPIPE);
      const timespec zero{};
      while (sigtimedwait(&pipe, nullptr, &zero) > 0) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  SigpipeBlock(const SigpipeBlock &) = delete;
  SigpipeBlock &operator=(const SigpipeBlock &) = delete;

private:
  sigset_t old_{};
  bool was_pending_ = false;
};

// Switches a socket to non-blocking for the life of the guard.
class NonBlockingScope {
public:
  explicit NonBlockingScope(int fd) : fd_(fd), flags_(::fcntl(fd, F_GETFL)) {
    if (flags_ >= 0 && !(flags_ & O_NONBLOCK)) ::fcntl(fd_, F_SETFL, flags_ | O_NONBLOCK);
  }
  ~NonBlockingScope() {
    if (flags_ >= 0 && !(flags_ & O_NONBLOCK)) ::fcntl(fd_, F_SETFL, flags_);
  }
  NonBlockingScope(const NonBlockingScope &) = delete;
  NonBlockingScope &operator=(const NonBlockingScope &) = delete;

private:
  int fd_;
  int flags_;
};

// Runs `step` (an SSL call on a non-blocking socket) until it is done, waiting for the socket as
// OpenSSL asks, at most `timeout_ms`. Returns the last result of `step`; `timed_out` tells a
// time-out from a failure.
template <class Step>
int RunNonBlocking(kv::net::PSSL ssl, const TFdSet &set, int timeout_ms, Step step, bool &timed_out) {
  timed_out = false;
  const uint64_t start = TickNow();
  while (true) {
    ErrClearError();
    const int r = step();
    if (r > 0) return r;
    const int error = SslGetError(ssl, r);
    if (error != kSslErrorWantRead && error != kSslErrorWantWrite) return r;
    const int wait = MillisecondsLeft(start, timeout_ms);
    if (wait == 0 || FdSetWait(set, error == kSslErrorWantWrite, wait) == 0) {
      timed_out = true;
      return r;
    }
  }
}

} // namespace

void TTCPBlockSocket::SetSslEnabled(bool on) {
  last_error_ = 0;
  if (on == ssl_enabled_) return;
  if (on) {
    line_buffer_.clear();
    ssl_error_text_.clear();
    ssl_error_code_ = 0;
    if (!LoadSslLibrary(&ssl_error_text_)) {
      // The reason names the library, so a mail that had to be encrypted says what is missing.
      last_error_ = WSAEPROTONOSUPPORT;
    } else if (SSLType == LT_SSLv2 || SSLType == LT_SSLv3) {
      // Broken protocols are not offered at all.
      last_error_ = WSAEPROTONOSUPPORT;
      ssl_error_text_ = "SSLv2 and SSLv3 are not supported";
    } else {
      ssl_ctx_ = SslCtxNew(SslTlsClientMethod());
      if (!ssl_ctx_) {
        SslCheckError();
        last_error_ = WSAEPROTONOSUPPORT;
      }
    }
    if (last_error_ == 0) {
      if (SSLType == LT_TLSv1) SslCtxSetMinProtoVersion(ssl_ctx_, kTls1Version);
      // Reads come back when only handshake records arrived, so receive time-outs hold.
      SslCtxClearAutoRetry(ssl_ctx_);
      SslCtxSetCipherList(ssl_ctx_, SSLCiphers);
      SslCtxSetVerify(ssl_ctx_, SSLverifyCert ? kSslVerifyPeer : kSslVerifyNone);
      SslCtxSetDefaultPasswdCb(ssl_ctx_, &TTCPBlockSocket::SslPasswordCallback);
      SslCtxSetDefaultPasswdCbUserdata(ssl_ctx_, this);
      if (SSLverifyCert && SSLCertCAFile.empty()) SslCtxSetDefaultVerifyPaths(ssl_ctx_);
      if (!SslLoadFiles()) {
        // On, but without an SSL object: every transfer fails until SSL is switched off.
        last_error_ = WSAEINVAL;
        ssl_enabled_ = true;
      } else {
        ssl_ = SslNew(ssl_ctx_);
        if (!ssl_) {
          SslCheckError();
          last_error_ = WSAEPROTONOSUPPORT;
          SslCtxFree(ssl_ctx_);
          ssl_ctx_ = nullptr;
        } else {
          ssl_enabled_ = true;
        }
      }
    }
  } else {
    SslFree(ssl_);
    SslCtxFree(ssl_ctx_);
    ssl_ = nullptr;
    ssl_ctx_ = nullptr;
    ErrRemoveState(0);
    ssl_enabled_ = false;
  }
  RaiseOnError();
}

bool TTCPBlockSocket::SslLoadFiles() {
  if (!ssl_ctx_) return false;
  bool ok = true;
  if (ok && !SSLCertificateFile.empty())
    ok = SslCtxUseCertificateChainFile(ssl_ctx_, SSLCertificateFile) == 1;
  if (ok && !SSLPrivateKeyFile.empty())
    ok = SslCtxUsePrivateKeyFile(ssl_ctx_, SSLPrivateKeyFile, kSslFiletypePem) == 1;
  if (ok && !SSLCertCAFile.empty()) ok = SslCtxLoadVerifyLocations(ssl_ctx_, SSLCertCAFile) == 1;
  if (!ok) SslCheckError();
  return ok;
}

bool TTCPBlockSocket::SslCheckError() {
  ssl_error_text_.clear();
  const unsigned long code = ErrGetError();
  ErrClearError();
  ssl_error_code_ = code;
  if (code == 0) return true;
  ssl_error_text_ = ErrErrorString(code);
  return false;
}

long TTCPBlockSocket::SslVerifyResult() {
  if (!IsSslLoaded()) return kVerifyUnavailable;
  if (!ssl_) return 1;
  return SslGetVerifyResult(ssl_);
}

int TTCPBlockSocket::SslPasswordCallback(char *buffer, int size, int /*rwflag*/, void *userdata) {
  if (!buffer || size <= 0) return 0;
  const auto *socket = static_cast<const TTCPBlockSocket *>(userdata);
  std::string password = socket ? socket->SSLPassword : std::string();
  if (password.size() > static_cast<size_t>(size - 1)) password.resize(static_cast<size_t>(size - 1));
  std::memcpy(buffer, password.c_str(), password.size() + 1);
  return static_cast<int>(password.size());
}

bool TTCPBlockSocket::SslHandshake() {
  bool timed_out = false;
  int r;
  {
    SigpipeBlock no_sigpipe;
    NonBlockingScope non_blocking(socket_);
    r = RunNonBlocking(
        ssl_, fd_set_, ConnectionTimeout, [this] { return kv::net::SslConnect(ssl_); }, timed_out);
  }
  if (r == 1) return true;
  SslCheckError();
  if (timed_out)
    last_error_ = WSAETIMEDOUT;
  else if (SSLverifyCert && SslVerifyResult() != 0)
    last_error_ = WSAEACCES;
  else
    last_error_ = WSASYSNOTREADY;
  return false;
}

void TTCPBlockSocket::SslConnect() {
  last_error_ = 0;
  if (!ssl_enabled_) SetSslEnabled(true);
  if (last_error_ == 0 && !ssl_) last_error_ = WSAEINVAL;
  if (last_error_ == 0 && socket_ == INVALID_SOCKET) last_error_ = setup_error_ ? setup_error_ : WSAENOTSOCK;
  if (last_error_ == 0 && SslSetFd(ssl_, socket_) <= 0) {
    SslCheckError();
    last_error_ = WSASYSNOTREADY;
  }
  if (last_error_ == 0) {
    const bool literal = IsIPv4Text(ssl_host_) || IsIPv6Text(ssl_host_);
    // The certificate must name the host that was asked for, not merely be valid.
    if (SSLverifyCert && !ssl_host_.empty()) {
      if (literal)
        SslSet1IpAsc(ssl_, ssl_host_);
      else
        SslSet1Host(ssl_, ssl_host_);
    }
    if (!literal && !ssl_host_.empty()) SslSetTlsextHostName(ssl_, ssl_host_);
    SslHandshake();
  }
  if (last_error_ == 0 && SSLverifyCert && SslVerifyResult() != 0) last_error_ = WSAEACCES;
  if (last_error_ != 0) {
    const int error = last_error_;
    SetSslEnabled(false);
    SetLastError(error);
  }
  RaiseOnError();
}

void TTCPBlockSocket::SslShutdown() {
  last_error_ = 0;
  if (ssl_ && socket_ != INVALID_SOCKET) {
    SigpipeBlock no_sigpipe;
    ErrClearError();
    if (kv::net::SslShutdown(ssl_) == 0) {
      ::shutdown(socket_, SHUT_WR);
      // The peer's close notify, waited for no longer than a drain.
      NonBlockingScope non_blocking(socket_);
      bool timed_out = false;
      RunNonBlocking(
          ssl_, fd_set_, static_cast<int>(kDrainMaxMs), [this] { return kv::net::SslShutdown(ssl_); },
          timed_out);
    }
    ErrClearError();
  }
  SetSslEnabled(false);
  RaiseOnError();
}

bool TTCPBlockSocket::SslObjectReady() {
  if (ssl_) return true;
  // SSL is on but has no SSL object (its key or certificate did not load).
  SetLastError(WSAEPROTONOSUPPORT);
  RaiseOnError();
  return false;
}

int TTCPBlockSocket::SendData(const void *buffer, int length) {
  if (!SslActive()) return TSocksBlockSocket::SendData(buffer, length);
  if (TestStopFlag()) return 0;
  if (!SslObjectReady()) return 0;
  std::string filtered;
  buffer = ApplyWriteFilter(buffer, length, filtered);
  last_error_ = 0;
  int sent = 0;
  SigpipeBlock no_sigpipe;
  while (sent < length) {
    const int piece = std::min(SendMaxChunk, length - sent);
    if (piece <= 0) break;
    ThrottleTransfer(piece, MaxSendBandwidth, next_send_tick_);
    // A peer that takes nothing holds the write no longer than ConnectionTimeout.
    const void *data = OffsetPointer(buffer, static_cast<size_t>(sent));
    bool timed_out = false;
    int n;
    {
      NonBlockingScope non_blocking(socket_);
      n = RunNonBlocking(
          ssl_, fd_set_, ConnectionTimeout, [&] { return SslWrite(ssl_, data, piece); }, timed_out);
    }
    const int error = n > 0 ? kSslErrorNone : SslGetError(ssl_, n);
    if (timed_out)
      last_error_ = WSAETIMEDOUT;
    else if (error == kSslErrorZeroReturn)
      n = 0;
    else if (error != kSslErrorNone)
      last_error_ = WSASYSNOTREADY;
    if (last_error_ != 0 || n <= 0) break;
    sent += n;
    send_counter_ += static_cast<uint64_t>(n);
    DoStatus(HR_WriteCount, static_cast<int64_t>(n));
  }
  RaiseOnError();
  return sent;
}

int TTCPBlockSocket::RecvData(void *buffer, int length) {
  if (!SslActive()) return TSocksBlockSocket::RecvData(buffer, length);
  if (TestStopFlag()) return 0;
  last_error_ = 0;
  if (!SslObjectReady()) return 0;
  int n;
  int error;
  {
    SigpipeBlock no_sigpipe; // a read may answer the peer (a key update, say)
    // A receive with a time-out must not block inside a record the peer sent only in part; it
    // comes back without data and waits on for the rest within its time.
    std::optional<NonBlockingScope> non_blocking;
    if (recv_flags_ & MSG_DONTWAIT) non_blocking.emplace(socket_);
    ErrClearError();
    n = SslRead(ssl_, buffer, length);
    error = SslGetError(ssl_, n);
  }
  switch (error) {
  case kSslErrorNone:
    break;
  case kSslErrorWantRead:
  case kSslErrorWantWrite:
    // Only protocol records came (a session ticket, say): nothing for the caller yet.
    n = 0;
    packet_discarded_ = true;
    break;
  case kSslErrorZeroReturn:
    n = 0;
    last_error_ = WSAECONNRESET;
    break;
  default:
    n = 0;
    last_error_ = WSASYSNOTREADY;
    break;
  }
  RaiseOnError();
  if (n > 0) {
    recv_counter_ += static_cast<uint64_t>(n);
    DoStatus(HR_ReadCount, static_cast<int64_t>(n));
  }
  return ApplyReadFilter(buffer, n);
}

} // namespace kv::net
