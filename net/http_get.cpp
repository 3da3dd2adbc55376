#include "net/http_get.h"

// Types and constants only: nothing of libcurl is linked, its functions are bound at run time.
#include <curl/curl.h>

#include <atomic>
#include <cctype>
#include <memory>
#include <mutex>
#include <set>
#include <sys/socket.h>
#include <utility>
#include <vector>

#include "platform/shared_library.h"

namespace kv::net {

// The functions of libcurl the transfers use, bound from one loaded library.
struct TCurlApi {
  CURLcode (*global_init)(long flags);
  curl_version_info_data *(*version_info)(CURLversion);
  CURL *(*easy_init)();
  void (*easy_cleanup)(CURL *);
  void (*easy_reset)(CURL *);
  CURLcode (*easy_setopt)(CURL *, CURLoption, ...);
  CURLcode (*easy_perform)(CURL *);
  CURLcode (*easy_getinfo)(CURL *, CURLINFO, ...);
  const char *(*easy_strerror)(CURLcode);
  const curl_easyoption *(*easy_option_by_id)(CURLoption);
  curl_slist *(*slist_append)(curl_slist *, const char *);
  void (*slist_free_all)(curl_slist *);
};

namespace {

// 7.85 brought the protocol lists by name; older libraries refuse them, and a transfer would run
// without the rule that keeps redirections on HTTPS.
constexpr unsigned kOldestCurl = 0x075500;

// A loaded libcurl and its bound functions.
struct TCurlLibrary {
  platform::TSharedLibrary library;
  TCurlApi api{};
};

struct TCurlBinding {
  std::mutex lock;
  std::string name = "libcurl.so.4";
  unsigned pretended_version = 0;
  // Published once complete; a transfer keeps the one it started with. Bindings stay until the
  // process ends, and so do the libraries: libcurl, once initialised, is never closed.
  std::atomic<const TCurlApi *> api{nullptr};
  std::vector<std::unique_ptr<TCurlLibrary>> bound;
  std::set<const void *> initialised;
};

TCurlBinding &Curl() {
  static TCurlBinding binding;
  return binding;
}

std::string VersionText(unsigned v) {
  return std::to_string(v >> 16) + "." + std::to_string((v >> 8) & 0xff) + "." + std::to_string(v & 0xff);
}

// The bound library, loaded on the first call; null with the reason in `why` and `fault` when it
// cannot be.
const TCurlApi *BoundCurl(std::string *why, platform::TLibraryFault *fault = nullptr) {
  TCurlBinding &b = Curl();
  if (const TCurlApi *api = b.api.load()) return api;
  std::lock_guard<std::mutex> lock(b.lock);
  if (const TCurlApi *api = b.api.load()) return api;
  auto bound = std::make_unique<TCurlLibrary>();
  platform::TSharedLibrary &lib = bound->library;
  TCurlApi &api = bound->api;
  lib.Open(b.name);
  lib.Bind("curl_global_init", api.global_init);
  lib.Bind("curl_version_info", api.version_info);
  lib.Bind("curl_easy_init", api.easy_init);
  lib.Bind("curl_easy_cleanup", api.easy_cleanup);
  lib.Bind("curl_easy_reset", api.easy_reset);
  lib.Bind("curl_easy_setopt", api.easy_setopt);
  lib.Bind("curl_easy_perform", api.easy_perform);
  lib.Bind("curl_easy_getinfo", api.easy_getinfo);
  lib.Bind("curl_easy_strerror", api.easy_strerror);
  lib.Bind("curl_easy_option_by_id", api.easy_option_by_id);
  lib.Bind("curl_slist_append", api.slist_append);
  lib.Bind("curl_slist_free_all", api.slist_free_all);
  if (lib.Usable()) {
    const curl_version_info_data *info = api.version_info(CURLVERSION_NOW);
    const unsigned version = b.pretended_version ? b.pretended_version : info ? info->version_num : 0;
    if (version < kOldestCurl) lib.RefuseVersion(VersionText(version), VersionText(kOldestCurl));
  }
  // Once per library, under the lock: libcurl's global set-up is not thread-safe.
  if (lib.Usable() && b.initialised.insert(lib.Identity()).second &&
      api.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
    b.initialised.erase(lib.Identity());
    lib.RefuseSetUp();
  }
  if (!lib.Usable()) {
    // Closed as it goes; a library bound before under another name stays loaded by its own.
    if (why) *why = lib.Error();
    if (fault) *fault = lib.Fault();
    return nullptr;
  }
  lib.Keep();
  b.api.store(&b.bound.emplace_back(std::move(bound))->api);
  return b.api.load();
}

// Connections are close-on-exec from the start: a program started while the transfer runs (the
// help viewer, the installer) does not get them.
curl_socket_t OpenSocket(void *, curlsocktype, curl_sockaddr *address) {
  return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

// A decimal count of bytes, digits only; -1 when it is anything else.
int64_t ParseLength(std::string_view s) {
  if (s.empty() || s.size() > 18) return -1;
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

} // namespace

std::string HttpLibraryName() {
  std::lock_guard<std::mutex> lock(Curl().lock);
  return Curl().name;
}

void SetHttpLibraryName(const std::string &name) {
  std::lock_guard<std::mutex> lock(Curl().lock);
  Curl().name = name;
  Curl().api.store(nullptr);
}

void PretendHttpLibraryVersion(unsigned version) {
  std::lock_guard<std::mutex> lock(Curl().lock);
  Curl().pretended_version = version;
  Curl().api.store(nullptr);
}

bool LoadHttpLibrary(std::string *why, platform::TLibraryFault *fault) {
  return BoundCurl(why, fault) != nullptr;
}

bool IsHttpsUrl(std::string_view url) {
  return StartsWithNoCase(url, "https://");
}

THttpTransfer::THttpTransfer(THttpRequest request) : request_(std::move(request)) {
  api_ = BoundCurl(&missing_);
  if (api_) curl_ = api_->easy_init();
}

THttpTransfer::~THttpTransfer() {
  if (curl_) api_->easy_cleanup(curl_);
}

bool THttpTransfer::Refuse(std::string why) {
  if (refused_.empty()) refused_ = std::move(why);
  return false;
}

void THttpReplyHead::Take(std::string_view line) {
  if (StartsWithNoCase(line, "http/")) {
    *this = THttpReplyHead();
    // "HTTP/1.1 200 OK": three digits after the version, then a blank or the line's end.
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return;
    const std::string_view rest = Trim(line.substr(blank + 1));
    const int64_t code = ParseLength(rest.substr(0, 3));
    if (code >= 100 && (rest.size() == 3 || rest[3] == ' ')) Status = static_cast<long>(code);
  } else if (StartsWithNoCase(line, "content-length:")) {
    const int64_t v = ParseLength(Trim(line.substr(15)));
    // Two lengths that differ leave it open which one the body keeps to.
    if (v < 0 || (ContentLength >= 0 && v != ContentLength))
      BadLength = true;
    else
      ContentLength = v;
  }
}

size_t THttpTransfer::OnHeader(char *data, size_t size, size_t count, void *self) {
  auto *t = static_cast<THttpTransfer *>(self);
  t->Heard();
  t->head_.Take(std::string_view(data, size * count));
  const int64_t announced = t->head_.ContentLength;
  if (announced > t->request_.MaxBytes)
    return t->Refuse("announces " + std::to_string(announced) + " bytes, more than " +
                     std::to_string(t->request_.MaxBytes)),
           0;
  return size * count;
}

size_t THttpTransfer::OnBody(char *data, size_t size, size_t count, void *self) {
  auto *t = static_cast<THttpTransfer *>(self);
  t->Heard();
  const size_t n = size * count;
  if (t->received_ == 0) {
    if (t->head_.Status != 200) return t->Refuse("HTTP status " + std::to_string(t->head_.Status)), 0;
    if (t->head_.BadLength) return t->Refuse("unreadable Content-Length"), 0;
    if (t->request_.RequireLength && t->head_.ContentLength < 0) return t->Refuse("no Content-Length"), 0;
  }
  const int64_t after = t->received_ + static_cast<int64_t>(n);
  // libcurl ends the body at the announced length; a chunked body may still run past it.
  const int64_t announced = t->head_.ContentLength;
  if (announced >= 0 && after > announced)
    return t->Refuse("more than the announced " + std::to_string(announced) + " bytes"), 0;
  if (after > t->request_.MaxBytes)
    return t->Refuse("larger than " + std::to_string(t->request_.MaxBytes) + " bytes"), 0;
  t->received_ = after;
  if (t->on_data_ && *t->on_data_ && !(*t->on_data_)(std::string_view(data, n))) {
    t->aborted_ = true;
    return 0;
  }
  return n;
}

int THttpTransfer::OnProgress(void *self, int64_t, int64_t, int64_t, int64_t) {
  auto *t = static_cast<THttpTransfer *>(self);
  const auto now = std::chrono::steady_clock::now();
  // libcurl's own low-speed limit averages over seconds, so a burst followed by silence would
  // hold the transfer for several stall times.
  if (now - t->last_heard_ > std::chrono::milliseconds(t->request_.StallTimeoutMs)) {
    t->Refuse("no data for " + std::to_string(t->request_.StallTimeoutMs) + " ms");
    return 1;
  }
  // Each gap may stay below the stall time, yet the whole must keep a pace: received bytes
  // against the time since the start, so the transfer ends at the latest after the cap (or the
  // announced length) at the lowest rate.
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - t->started_).count();
  const int64_t rate = t->request_.MinBytesPerSecond;
  if (rate > 0 && elapsed > t->request_.RateGraceMs && t->received_ < rate * elapsed / 1000) {
    t->Refuse("slower than " + std::to_string(rate) + " bytes a second on average");
    return 1;
  }
  if (t->on_progress_ && *t->on_progress_ && !(*t->on_progress_)()) {
    t->aborted_ = true;
    return 1;
  }
  return 0;
}

THttpResult THttpTransfer::Perform(const DataHandler &on_data, const ProgressHandler &on_progress) {
  THttpResult result;
  head_ = THttpReplyHead();
  received_ = 0;
  aborted_ = false;
  refused_.clear();
  started_ = std::chrono::steady_clock::now();
  Heard();
  if (!api_) {
    result.Error = missing_;
    return result;
  }
  if (!curl_) {
    result.Error = "libcurl could not be initialised";
    return result;
  }
  const bool https = IsHttpsUrl(request_.Url);
  if (!https && !StartsWithNoCase(request_.Url, "http://")) {
    result.Error = "not an http or https address";
    return result;
  }
  on_data_ = &on_data;
  on_progress_ = &on_progress;

  CURL *c = curl_;
  const TCurlApi &api = *api_;
  api.easy_reset(c);
  // Every option counts: a transfer without one of them (a rule for redirections, a time-out)
  // does not start.
  std::string refused_option;
  auto set = [&](CURLoption option, auto value) {
    const CURLcode rc = refused_option.empty() ? api.easy_setopt(c, option, value) : CURLE_OK;
    if (rc == CURLE_OK) return;
    const curl_easyoption *known = api.easy_option_by_id(option);
    refused_option = "libcurl refused option " + (known ? std::string(known->name) : std::to_string(option)) +
                     ": " + api.easy_strerror(rc);
  };
  char error[CURL_ERROR_SIZE] = "";
  set(CURLOPT_ERRORBUFFER, error);
  set(CURLOPT_URL, request_.Url.c_str());
  set(CURLOPT_PROTOCOLS_STR, "http,https");
  // Once on HTTPS, a redirection may not leave it: a plain hop would let anyone on the way
  // choose where the rest comes from.
  set(CURLOPT_REDIR_PROTOCOLS_STR, https ? "https" : "http,https");
  set(CURLOPT_FOLLOWLOCATION, 1L);
  set(CURLOPT_MAXREDIRS, static_cast<long>(request_.MaxRedirects));
  set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  set(CURLOPT_USERAGENT, request_.Agent.c_str());
  curl_slist *headers = api.slist_append(nullptr, "Accept: */*");
  if (!headers) refused_option = "no memory for the request's headers";
  set(CURLOPT_HTTPHEADER, headers);
  if (!request_.UserName.empty()) {
    set(CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    set(CURLOPT_USERNAME, request_.UserName.c_str());
    set(CURLOPT_PASSWORD, request_.Password.c_str());
  }
  if (!request_.CAFile.empty()) set(CURLOPT_CAINFO, request_.CAFile.c_str());
  set(CURLOPT_SSL_VERIFYPEER, 1L);
  set(CURLOPT_SSL_VERIFYHOST, 2L);
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request_.ConnectTimeoutMs));
  set(CURLOPT_OPENSOCKETFUNCTION, &OpenSocket);
  // The reply ends when its announced length has arrived (a server may keep the connection
  // open for the next request); a connection that ends before is reported as cut short.
  set(CURLOPT_HEADERFUNCTION, &THttpTransfer::OnHeader);
  set(CURLOPT_HEADERDATA, this);
  set(CURLOPT_WRITEFUNCTION, &THttpTransfer::OnBody);
  set(CURLOPT_WRITEDATA, this);
  set(CURLOPT_NOPROGRESS, 0L);
  set(CURLOPT_XFERINFOFUNCTION, &THttpTransfer::OnProgress);
  set(CURLOPT_XFERINFODATA, this);

  const CURLcode rc = refused_option.empty() ? api.easy_perform(c) : CURLE_OK;
  if (headers) api.slist_free_all(headers);
  on_data_ = nullptr;
  on_progress_ = nullptr;

  const long status = head_.Status;
  const int64_t announced = head_.ContentLength;
  result.Status = status;
  result.ContentLength = announced;
  result.Received = received_;
  const std::string cut_short =
      "cut short: " + std::to_string(received_) + " of " + std::to_string(announced) + " bytes";
  if (!refused_option.empty()) {
    result.Error = refused_option;
  } else if (aborted_) {
    result.Aborted = true;
    result.Error = "stopped";
  } else if (!refused_.empty()) {
    result.Error = refused_;
  } else if (rc == CURLE_TOO_MANY_REDIRECTS) {
    result.Error = "more than " + std::to_string(request_.MaxRedirects) + " redirections";
  } else if (rc == CURLE_PARTIAL_FILE && announced >= 0) {
    result.Error = cut_short;
  } else if (rc != CURLE_OK) {
    result.Error = api.easy_strerror(rc);
    if (*error) result.Error += std::string(": ") + error;
  } else if (status != 200) {
    result.Error = "HTTP status " + std::to_string(status);
  } else if (head_.BadLength) {
    result.Error = "unreadable Content-Length";
  } else if (announced < 0 && request_.RequireLength) {
    result.Error = "no Content-Length";
  } else if (announced >= 0 && received_ != announced) {
    result.Error = cut_short;
  } else {
    result.Ok = true;
  }
  if (result.Ok && https) {
    // Every hop: the first was HTTPS, redirections may not leave it, and the last one is asked.
    long verify = -1;
    const char *final_url = nullptr;
    result.Secure = api.easy_getinfo(c, CURLINFO_SSL_VERIFYRESULT, &verify) == CURLE_OK && verify == 0 &&
                    api.easy_getinfo(c, CURLINFO_EFFECTIVE_URL, &final_url) == CURLE_OK && final_url &&
                    IsHttpsUrl(final_url);
  }
  return result;
}

} // namespace kv::net
