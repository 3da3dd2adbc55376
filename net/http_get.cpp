#include "net/http_get.h"

#include <curl/curl.h>

#include <cctype>
#include <mutex>

namespace kv::net {

namespace {

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

bool IsHttpsUrl(std::string_view url) {
  return StartsWithNoCase(url, "https://");
}

THttpTransfer::THttpTransfer(THttpRequest request) : request_(std::move(request)) {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  curl_ = curl_easy_init();
}

THttpTransfer::~THttpTransfer() {
  if (curl_) curl_easy_cleanup(curl_);
}

bool THttpTransfer::Refuse(std::string why) {
  if (refused_.empty()) refused_ = std::move(why);
  return false;
}

size_t THttpTransfer::OnHeader(char *data, size_t size, size_t count, void *self) {
  auto *t = static_cast<THttpTransfer *>(self);
  t->Heard();
  const std::string_view line(data, size * count);
  // Each reply (a redirection, then the next) starts with its status line.
  if (StartsWithNoCase(line, "http/")) {
    t->status_ = 0;
    t->content_length_ = -1;
    t->bad_length_ = false;
    const size_t blank = line.find(' ');
    if (blank != std::string_view::npos) {
      const std::string_view code = line.substr(blank + 1, 3);
      const int64_t v = ParseLength(code);
      if (code.size() == 3 && v >= 100) t->status_ = static_cast<long>(v);
    }
  } else if (StartsWithNoCase(line, "content-length:")) {
    const int64_t v = ParseLength(Trim(line.substr(15)));
    if (v < 0)
      t->bad_length_ = true;
    else
      t->content_length_ = v;
  }
  return size * count;
}

size_t THttpTransfer::OnBody(char *data, size_t size, size_t count, void *self) {
  auto *t = static_cast<THttpTransfer *>(self);
  t->Heard();
  const size_t n = size * count;
  if (t->received_ == 0) {
    if (t->status_ != 200) return t->Refuse("HTTP status " + std::to_string(t->status_)), 0;
    if (t->bad_length_) return t->Refuse("unreadable Content-Length"), 0;
    if (t->request_.RequireLength && t->content_length_ < 0) return t->Refuse("no Content-Length"), 0;
  }
  const int64_t after = t->received_ + static_cast<int64_t>(n);
  if (t->content_length_ >= 0 && after > t->content_length_)
    return t->Refuse("more than the announced " + std::to_string(t->content_length_) + " bytes"), 0;
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
  // libcurl's own low-speed limit averages over seconds, so a burst followed by silence would
  // hold the transfer for several stall times.
  if (std::chrono::steady_clock::now() - t->last_heard_ >
      std::chrono::milliseconds(t->request_.StallTimeoutMs)) {
    t->Refuse("no data for " + std::to_string(t->request_.StallTimeoutMs) + " ms");
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
  status_ = 0;
  content_length_ = -1;
  bad_length_ = false;
  received_ = 0;
  aborted_ = false;
  refused_.clear();
  Heard();
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
  curl_easy_reset(c);
  char error[CURL_ERROR_SIZE] = "";
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(c, CURLOPT_URL, request_.Url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  // Once on HTTPS, a redirection may not leave it: a plain hop would let anyone on the way
  // choose where the rest comes from.
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, https ? "https" : "http,https");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, static_cast<long>(request_.MaxRedirects));
  curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
  curl_easy_setopt(c, CURLOPT_USERAGENT, request_.Agent.c_str());
  curl_slist *headers = curl_slist_append(nullptr, "Accept: */*");
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
  if (!request_.UserName.empty()) {
    curl_easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(c, CURLOPT_USERNAME, request_.UserName.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, request_.Password.c_str());
  }
  if (!request_.CAFile.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, request_.CAFile.c_str());
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request_.ConnectTimeoutMs));
  // The body is read to the end of the connection and its length checked here, so a reply
  // that sends more than it announces is noticed instead of silently cut.
  curl_easy_setopt(c, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &THttpTransfer::OnHeader);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &THttpTransfer::OnBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &THttpTransfer::OnProgress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, this);

  const CURLcode rc = curl_easy_perform(c);
  curl_slist_free_all(headers);
  on_data_ = nullptr;
  on_progress_ = nullptr;

  result.Status = status_;
  result.ContentLength = content_length_;
  result.Received = received_;
  if (aborted_) {
    result.Aborted = true;
    result.Error = "stopped";
  } else if (!refused_.empty()) {
    result.Error = refused_;
  } else if (rc == CURLE_TOO_MANY_REDIRECTS) {
    result.Error = "more than " + std::to_string(request_.MaxRedirects) + " redirections";
  } else if (rc != CURLE_OK) {
    result.Error = curl_easy_strerror(rc);
    if (*error) result.Error += std::string(": ") + error;
  } else if (status_ != 200) {
    result.Error = "HTTP status " + std::to_string(status_);
  } else if (bad_length_) {
    result.Error = "unreadable Content-Length";
  } else if (content_length_ < 0 && request_.RequireLength) {
    result.Error = "no Content-Length";
  } else if (content_length_ >= 0 && received_ != content_length_) {
    result.Error =
        "cut short: " + std::to_string(received_) + " of " + std::to_string(content_length_) + " bytes";
  } else {
    result.Ok = true;
  }
  if (result.Ok && https) {
    long verify = -1;
    curl_easy_getinfo(c, CURLINFO_SSL_VERIFYRESULT, &verify);
    result.Secure = verify == 0;
  }
  return result;
}

} // namespace kv::net
