#pragma once
// THttpTransfer: one HTTP or HTTPS GET through libcurl's easy interface. The reply is handed to
// the caller chunk by chunk; the transfer checks what the caller should not have to: status 200,
// the announced length, a size cap, time-outs for connecting, for a stalled peer and for the
// transfer as a whole, at most a few redirections, and whether every hop was HTTPS with a
// verified certificate. Proxies come from the environment (http_proxy, https_proxy, no_proxy),
// as for other programs of the system.
//
// libcurl is bound by name at the first transfer (dlopen), so a program that never transfers
// anything loads none of it. Without the library, or with one older than 7.85 (which lacks the
// options that keep a transfer on HTTPS), a transfer fails at once and says so in German.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/shared_library.h"

typedef void CURL;

namespace kv::net {

struct THttpRequest {
  std::string Url;      // "http://..." or "https://..."; other schemes are refused
  std::string UserName; // basic authentication when not empty
  std::string Password;
  std::string Agent;
  std::string CAFile; // trusted certificates for HTTPS; empty: the system's store
  int ConnectTimeoutMs = 15000;
  // A peer that sends nothing for this long ends the transfer (checked about once a second).
  int StallTimeoutMs = 30000;
  // The transfer as a whole: once RateGraceMs have passed since it began, the body must have
  // come at MinBytesPerSecond on average, so a peer that sends a byte now and then cannot hold
  // it until the size cap. A MinBytesPerSecond of 0 turns the check off.
  int RateGraceMs = 30000;
  int64_t MinBytesPerSecond = 1024;
  // A reply body larger than this ends the transfer; a larger announced length ends it at the
  // headers.
  int64_t MaxBytes = 1 << 20;
  // The reply must announce its length and deliver exactly that many bytes.
  bool RequireLength = false;
  // HTTP redirections followed in a row before the transfer fails.
  int MaxRedirects = 5;
};

struct THttpResult {
  bool Ok = false;      // status 200, the whole body received within every limit
  bool Aborted = false; // the caller stopped it
  // Ok, and the request and every redirection went over HTTPS with a verified certificate.
  bool Secure = false;
  long Status = 0;            // status of the final reply, 0 without one
  int64_t ContentLength = -1; // announced length of the final reply, -1 without
  int64_t Received = 0;       // body bytes handed to the caller
  // Why it failed, in English (the library's German message when it cannot be used); empty when Ok.
  std::string Error;
};

// What the header lines of a reply say: its status and its announced length. A status line
// starts the next reply (after a redirection, or an interim reply).
struct THttpReplyHead {
  long Status = 0;            // 0 until a status line with a three-digit code came
  int64_t ContentLength = -1; // -1 without one
  bool BadLength = false;     // a Content-Length that is not a count, or two that differ
  // Takes one header line as received, with or without its line end.
  void Take(std::string_view line);
};

struct TCurlApi;

class THttpTransfer {
public:
  // Receives each chunk of the body; returning false stops the transfer.
  using DataHandler = std::function<bool(std::string_view chunk)>;
  // Called after each chunk and at least about once a second while waiting; false stops it.
  using ProgressHandler = std::function<bool()>;

  explicit THttpTransfer(THttpRequest request);
  ~THttpTransfer();
  THttpTransfer(const THttpTransfer &) = delete;
  THttpTransfer &operator=(const THttpTransfer &) = delete;

  // Runs the transfer to its end. Never throws; the result says how it went.
  THttpResult Perform(const DataHandler &on_data, const ProgressHandler &on_progress);

  // The final reply's status and announced length as far as its headers have arrived
  // (0 and -1 before); readable from the handlers.
  long Status() const { return head_.Status; }
  int64_t ContentLength() const { return head_.ContentLength; }

private:
  static size_t OnHeader(char *data, size_t size, size_t count, void *self);
  static size_t OnBody(char *data, size_t size, size_t count, void *self);
  static int OnProgress(void *self, int64_t, int64_t, int64_t, int64_t);
  bool Refuse(std::string why);
  void Heard() { last_heard_ = std::chrono::steady_clock::now(); }

  THttpRequest request_;
  const TCurlApi *api_ = nullptr; // the bound library, null when it could not be loaded
  std::string missing_;           // why it could not
  CURL *curl_ = nullptr;
  const DataHandler *on_data_ = nullptr;
  const ProgressHandler *on_progress_ = nullptr;
  THttpReplyHead head_;
  int64_t received_ = 0;
  bool aborted_ = false;
  std::string refused_; // why a handler of ours stopped the transfer
  std::chrono::steady_clock::time_point started_, last_heard_;
};

// The name libcurl is loaded by, "libcurl.so.4" unless set. Setting another forgets the bound
// library, so the next transfer loads by the new name (running ones keep theirs); it is there to
// try out a missing library.
std::string HttpLibraryName();
void SetHttpLibraryName(const std::string &name);
// True when libcurl is loaded with every function the transfers use and is recent enough; loads
// it on the first call. Otherwise `why` gets the German message that says what is wrong, and
// `fault` its kind.
bool LoadHttpLibrary(std::string *why = nullptr, platform::TLibraryFault *fault = nullptr);
// Test hook: the next loads take libcurl for this version (0x075400 is 7.84.0); 0, as at start,
// reads the library's own. Forgets the bound library, as SetHttpLibraryName does.
void PretendHttpLibraryVersion(unsigned version);

// True when `url` starts with "https://" (any case).
bool IsHttpsUrl(std::string_view url);

} // namespace kv::net
