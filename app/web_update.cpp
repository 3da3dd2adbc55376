#include "app/web_update.h"

#include <QCheckBox>
#include <QPushButton>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/web_update_info.h"
#include "net/http_get.h"
#include "platform/ui/application.h"

namespace kv::app {

namespace {

// The component's own version word: high byte major, low byte minor.
constexpr uint16_t kComponentVersion = 0x0101;
// How long a started installer is watched for an immediate failure.
constexpr std::chrono::milliseconds kStartWait(500);

std::string Lower(std::string s) {
  for (char &c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string Upper(std::string s) {
  for (char &c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The text from `start` up to the next double quote within the next 255 characters; empty
// when there is no such quote.
std::string UpToQuote(const std::string &line, size_t start) {
  if (start >= line.size()) return {};
  const std::string window = line.substr(start, 255);
  const size_t quote = window.find('"');
  return quote == std::string::npos ? std::string() : window.substr(0, quote);
}

// A whole decimal integer (blanks before it and a sign allowed) that fits 32 bits; else 0.
int64_t IntOrZero(const std::string &text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ')
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return 0;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (!IsDigit(text[i])) return 0;
    v = v * 10 + (text[i] - '0');
    if (v > 2147483648LL) return 0;
  }
  if (negative) v = -v;
  return v > 2147483647LL ? 0 : v;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

std::string DirectoryOf(const std::string &path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

void TKvProductInfo::SetURL(const std::string &url) {
  const std::string lower = Lower(url);
  url_ = lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0 ? url : "http://" + url;
}

int CompareStandardVersions(const std::string &a, const std::string &b) {
  constexpr size_t none = std::string::npos;
  // The next number of `s` from `at` on; `at` moves behind its dot, or to none at the end. A
  // text without further numbers counts as ".0" from there on.
  auto next = [](const std::string &s, size_t &at) -> int64_t {
    if (at == none) return 0;
    const size_t dot = s.find('.', at);
    const int64_t v = IntOrZero(s.substr(at, dot == none ? none : dot - at));
    at = dot == none ? none : dot + 1;
    return v;
  };
  size_t i = 0, j = 0;
  while (true) {
    const int64_t na = next(a, i), nb = next(b, j);
    if (na != nb) return na < nb ? -1 : 1;
    if (i == none && j == none) return 0;
  }
}

int CompareVersionTexts(const std::string &a, const std::string &b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      const size_t si = i, sj = j;
      while (i < a.size() && IsDigit(a[i]))
        ++i;
      while (j < b.size() && IsDigit(b[j]))
        ++j;
      std::string_view ra(a.data() + si, i - si), rb(b.data() + sj, j - sj);
      while (ra.size() > 1 && ra.front() == '0')
        ra.remove_prefix(1);
      while (rb.size() > 1 && rb.front() == '0')
        rb.remove_prefix(1);
      if (ra.size() != rb.size()) return ra.size() < rb.size() ? -1 : 1;
      if (const int c = ra.compare(rb)) return c < 0 ? -1 : 1;
      continue;
    }
    if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

std::optional<double> VersionNumber(const std::string &text) {
  std::string_view s(text);
  while (!s.empty() && s.front() == ' ')
    s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ')
    s.remove_suffix(1);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::string TKvURLParts::Text() const {
  const bool v6 = Host.find(':') != std::string::npos;
  std::string text = Scheme + "://" + (v6 ? "[" + Host + "]" : Host);
  if (Port != (Scheme == "https" ? 443 : 80)) text += ":" + std::to_string(Port);
  return text + Path;
}

std::vector<std::string> SplitPageLines(const std::string &text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::vector<std::string> SplitRunParameters(const std::string &text) {
  std::vector<std::string> args;
  size_t i = 0;
  while (true) {
    i = text.find_first_not_of(" \t", i);
    if (i == std::string::npos) return args;
    const size_t end = std::min(text.find_first_of(" \t", i), text.size());
    args.push_back(text.substr(i, end - i));
    i = end;
  }
}

TKvWebUpdate::TKvWebUpdate(QObject *parent) : QObject(parent) {
  Terminate = [] { ui::Application().Terminate(); };
}

TKvWebUpdate::~TKvWebUpdate() {
  CancelTransfer();
  info_.reset();
  // Only an empty folder goes: a kept or started installer stays where the user was told.
  if (!privateDir_.empty()) ::rmdir(privateDir_.c_str());
}

std::string TKvWebUpdate::Version() const {
  return std::to_string(kComponentVersion >> 8) + "." + std::to_string(kComponentVersion & 0xFF);
}

void TKvWebUpdate::DoDownload() {
  if (OnDownload) OnDownload(this, total_, downloaded_);
}
void TKvWebUpdate::DoDownloadError() {
  if (OnDownloadError) OnDownloadError(this);
}
void TKvWebUpdate::DoBeforeDownload() {
  if (OnBeforeDownload) OnBeforeDownload(this, clientFile_);
}
void TKvWebUpdate::DoAfterDownload() {
  if (OnAfterDownload) OnAfterDownload(this, clientFile_);
}
void TKvWebUpdate::DoNoUpdateFound() {
  if (OnNoUpdateFound) OnNoUpdateFound(this);
}
void TKvWebUpdate::DoAfterGetInfo() {
  if (OnAfterGetInfo) OnAfterGetInfo(this);
}
void TKvWebUpdate::DoBeforeGetInfo() {
  if (OnBeforeGetInfo) OnBeforeGetInfo(this);
}
void TKvWebUpdate::DoCannotExecute() {
  if (OnCannotExecute) OnCannotExecute(this);
}

bool TKvWebUpdate::CheckAndUpdate() {
  if (busy_) return false;
  busy_ = true;
  struct Clear {
    bool &flag;
    ~Clear() { flag = false; }
  } clear{busy_};

  redirectionURL_.clear();
  installerSecure_ = false;
  DoBeforeGetInfo();
  GetInfo();
  DoAfterGetInfo();
  if (productName_.empty() || webVersion_.empty()) {
    DoDownloadError();
    success_ = false;
  }
  if (!success_) return false;
  if (!IsNewerVersion()) return false;
  bool CanUpdate = true;
  if (OnUpdateAvailable) OnUpdateAvailable(this, ProductInfo.Version, webVersion_, CanUpdate);
  if (!CanUpdate) return false;
  DownloadUpdate();
  if (!success_) return false;
  if (!Options.count(uoRunUpdate)) return true;
  // Nothing that came unauthenticated is ever started; it stays where it was downloaded.
  if (!DownloadVerified()) return false;
  if (!StartInstaller().Succeeded()) {
    DoCannotExecute();
    return false;
  }
  if (Options.count(uoTerminate) && Terminate) Terminate();
  return true;
}

void TKvWebUpdate::ClearPageValues(bool all) {
  webVersion_.clear();
  downloadURL_.clear();
  author_.clear();
  email_.clear();
  productName_.clear();
  runParameters_.clear();
  if (all) {
    clientFileName_.clear();
    redirectionURL_.clear();
  }
}

void TKvWebUpdate::GetInfo() {
  pageSecure_ = true;
  for (int hops = 0;; ++hops) {
    ClearPageValues(false);
    const std::string url = redirectionURL_.empty() ? ProductInfo.URL() : redirectionURL_;
    HttpGet(url, UserName, "", false, false, Password);
    pageSecure_ = pageSecure_ && secure_;
    if (!success_) return;
    ParseInfo();
    if (redirectionURL_.empty()) return;
    if (hops == MaxRedirections) {
      ClearPageValues(true);
      lastError_ = "more than " + std::to_string(MaxRedirections) + " redirections from page to page";
      success_ = false;
      pageSecure_ = false;
      DoDownloadError();
      return;
    }
  }
}

void TKvWebUpdate::ParseInfo() {
  ClearPageValues(true);
  const std::pair<const std::string *, std::string *> targets[] = {
      {&TagInfo.ProductName, &productName_},
      {&TagInfo.ClientFileName, &clientFileName_},
      {&TagInfo.Version, &webVersion_},
      {&TagInfo.Author, &author_},
      {&TagInfo.Email, &email_},
      {&TagInfo.Download, &downloadURL_},
      {&TagInfo.Redirection, &redirectionURL_},
      {&TagInfo.RunParameters, &runParameters_},
  };
  for (const std::string &line : lines_) {
    const size_t p = line.find("META NAME");
    if (p == std::string::npos) continue;
    // The name follows `="` behind the two words.
    const std::string name = UpToQuote(line, p + 11);
    for (const auto &[tag, value] : targets)
      if (name == *tag) *value = MetaContent(line);
  }
}

std::string TKvWebUpdate::MetaContent(const std::string &Line) const {
  const size_t q = Upper(Line).find("CONTENT=");
  if (q == std::string::npos) return {};
  return UpToQuote(Line, q + 9);
}

bool TKvWebUpdate::IsNewerVersion() {
  const std::string &local = ProductInfo.Version;
  bool newer = false;
  switch (ProductInfo.VersionFormat) {
  case vfStandard:
    newer = CompareStandardVersions(webVersion_, local) > 0;
    break;
  case vfString:
    newer = CompareVersionTexts(webVersion_, local) > 0;
    break;
  case vfNumber: {
    const auto l = VersionNumber(local), w = VersionNumber(webVersion_);
    newer = l && w && *w > *l;
    break;
  }
  }
  if (!newer) DoNoUpdateFound();
  return newer;
}

void TKvWebUpdate::GetClientFileName(std::string &FileName) {
  FileName.clear();
  const std::string name = clientFileName_.substr(clientFileName_.rfind('/') + 1);
  if (name.empty() || name == "." || name == ".." || name.size() > 255) return;
  for (char c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return;
  if (privateDir_.empty()) {
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvane-update-XXXXXX";
    if (!::mkdtemp(pattern.data())) return;
    privateDir_ = pattern;
  }
  FileName = privateDir_ + "/" + name;
}

bool TKvWebUpdate::InsidePrivateDirectory(const std::string &path) const {
  return !privateDir_.empty() && DirectoryOf(path) == privateDir_;
}

void TKvWebUpdate::DownloadUpdate() {
  installerSecure_ = false;
  GetClientFileName(clientFile_);
  if (OnGetClientFileName) OnGetClientFileName(this, clientFile_);
  success_ = false;
  if (clientFile_.empty()) {
    lastError_ = "no usable file name for the installer";
    DoDownloadError();
    return;
  }
  struct stat st {};
  if (::lstat(clientFile_.c_str(), &st) == 0) {
    // Only a file in the private folder may be replaced; anywhere else nothing is overwritten.
    bool Overwrite = Options.count(uoOverwrite) > 0 && InsidePrivateDirectory(clientFile_);
    if (OnClientFileExists) OnClientFileExists(this, clientFile_, Overwrite);
    const bool exists = ::lstat(clientFile_.c_str(), &st) == 0;
    if (exists && (!Overwrite || !InsidePrivateDirectory(clientFile_) || S_ISDIR(st.st_mode) ||
                   ::unlink(clientFile_.c_str()) != 0)) {
      lastError_ = "the file " + clientFile_ + " exists and may not be replaced";
      DoDownloadError();
      return;
    }
  }
  DoBeforeDownload();
  HttpGet(downloadURL_, UserName, clientFile_, true, true, Password);
  installerSecure_ = secure_;
  DoAfterDownload();
}

bool TKvWebUpdate::SplitURL(const std::string &URL, TKvURLParts &Parts) {
  Parts = {};
  std::string s = URL;
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.erase(0, 1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
    s.pop_back();
  const std::string lower = Lower(s);
  std::string rest;
  if (lower.rfind("https://", 0) == 0) {
    Parts.Scheme = "https";
    rest = s.substr(8);
  } else if (lower.rfind("http://", 0) == 0) {
    Parts.Scheme = "http";
    rest = s.substr(7);
  } else if (lower.find("://") != std::string::npos) {
    return false;
  } else {
    Parts.Scheme = "http";
    rest = s;
  }
  Parts.Port = Parts.Scheme == "https" ? 443 : 80;
  const size_t end = std::min(rest.find_first_of("/?#"), rest.size());
  std::string authority = rest.substr(0, end);
  Parts.Path = rest.substr(end);
  Parts.Path = Parts.Path.substr(0, Parts.Path.find('#'));
  if (Parts.Path.empty() || Parts.Path[0] != '/') Parts.Path = "/" + Parts.Path;
  for (char c : Parts.Path)
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
  // Credentials belong in UserName and Password, not in the address.
  if (authority.find('@') != std::string::npos) return false;
  std::string port;
  if (!authority.empty() && authority[0] == '[') {
    const size_t close = authority.find(']');
    if (close == std::string::npos) return false;
    Parts.Host = authority.substr(1, close - 1);
    const std::string after = authority.substr(close + 1);
    if (!after.empty() && after[0] != ':') return false;
    if (!after.empty()) port = after.substr(1);
    for (char c : Parts.Host)
      if (!(std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.')) return false;
  } else {
    const size_t colon = authority.find(':');
    Parts.Host = authority.substr(0, colon);
    if (colon != std::string::npos) port = authority.substr(colon + 1);
    for (char c : Parts.Host)
      if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_')) return false;
  }
  if (Parts.Host.empty()) return false;
  if (!port.empty()) {
    if (port.size() > 5) return false;
    int v = 0;
    for (char c : port) {
      if (!IsDigit(c)) return false;
      v = v * 10 + (c - '0');
    }
    if (v < 1 || v > 65535) return false;
    Parts.Port = v;
  }
  return true;
}

void TKvWebUpdate::CloseInternetHandles() {
  transfer_.reset();
}

void TKvWebUpdate::HttpGet(const std::string &URL, const std::string &UserName, const std::string &FileName,
                           bool ToFile, bool RequireLength, const std::string &Password) {
  abort_ = false;
  success_ = false;
  secure_ = false;
  lastError_.clear();
  TKvURLParts parts;
  if (!SplitURL(URL, parts)) {
    lastError_ = "not a usable http or https address: " + URL;
    DoDownloadError();
    return;
  }
  net::THttpRequest request;
  request.Url = parts.Text();
  request.UserName = UserName;
  request.Password = Password;
  request.Agent = "TKvWebUpdate";
  request.CAFile = CAFile;
  request.ConnectTimeoutMs = ConnectTimeoutMs;
  request.StallTimeoutMs = StallTimeoutMs;
  request.RateGraceMs = RateGraceMs;
  request.MinBytesPerSecond = MinBytesPerSecond;
  request.MaxBytes = ToFile ? MaxInstallerSize : MaxPageSize;
  request.RequireLength = RequireLength;

  int fd = -1;
  if (ToFile) {
    // Never through a link, never over a file that appeared in between.
    fd = ::open(FileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      lastError_ = "cannot create " + FileName + ": " + std::strerror(errno);
      DoDownloadError();
      return;
    }
  }
  std::string text;
  bool write_failed = false;
  std::string write_error;
  downloaded_ = 0;
  // Progress and the application's events once an interval, not with every chunk: a window
  // that repaints for each 16 KB spends more on that than on the transfer.
  using Clock = std::chrono::steady_clock;
  const auto interval = std::chrono::milliseconds(ProgressIntervalMs);
  Clock::time_point last = Clock::now();
  int64_t reported = 0;
  auto tick = [&] {
    const Clock::time_point now = Clock::now();
    if (now - last >= interval) {
      last = now;
      if (downloaded_ != reported) {
        reported = downloaded_;
        DoDownload();
      }
      ui::Application().ProcessMessages();
    }
    return !abort_;
  };
  transfer_ = std::make_unique<net::THttpTransfer>(request);
  net::THttpTransfer &transfer = *transfer_;
  const net::THttpResult result = transfer.Perform(
      [&](std::string_view chunk) {
        if (transfer.ContentLength() >= 0) total_ = transfer.ContentLength();
        if (ToFile) {
          if (!WriteAll(fd, chunk)) {
            write_error = std::strerror(errno);
            write_failed = true;
            return false;
          }
        } else {
          text.append(chunk);
        }
        chunk_ = static_cast<int64_t>(chunk.size());
        downloaded_ += chunk_;
        return tick();
      },
      tick);
  CloseInternetHandles();
  // The last counts, unless the transfer was stopped.
  if (downloaded_ != reported && !result.Aborted) DoDownload();

  success_ = result.Ok && !write_failed && (ToFile || downloaded_ != 0);
  if (ToFile) {
    if (::close(fd) != 0 && success_) {
      write_error = std::strerror(errno);
      write_failed = true;
      success_ = false;
    }
    // A partial file is never left behind.
    if (!success_) ::unlink(FileName.c_str());
  }
  secure_ = success_ && result.Secure;
  if (!success_) {
    lastError_ = write_failed ? "cannot write " + FileName + ": " + write_error
                 : result.Ok  ? "empty reply"
                              : result.Error;
    // Stopped on request: the caller knows, nobody is told of an error.
    if (result.Aborted && !write_failed) return;
    DoDownloadError();
    return;
  }
  if (!ToFile) lines_ = SplitPageLines(text);
}

platform::ShellResult TKvWebUpdate::StartInstaller() {
  char head[4] = {};
  const int fd = ::open(clientFile_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  const ssize_t n = fd >= 0 ? ::read(fd, head, sizeof head) : -1;
  if (fd >= 0) ::close(fd);
  const bool program = (n == 4 && std::memcmp(head,
                                              "\x7F"
                                              "ELF",
                                              4) == 0) ||
                       (n >= 2 && head[0] == '#' && head[1] == '!');
  if (!program) return platform::ShellOpen(clientFile_);
  ::chmod(clientFile_.c_str(), 0700);
  return platform::ShellSpawn(clientFile_, SplitRunParameters(runParameters_), "", kStartWait);
}

bool TKvWebUpdate::ShowInfo() {
  bool Show = true, CheckForUpdate = true;
  if (OnBeforeShowInfo) OnBeforeShowInfo(this, Show, CheckForUpdate);
  if (!Show) return true;
  if (!info_) info_ = std::make_unique<Tfrm_ShowInfoUpdate>();
  info_->chk_FutureUpdate()->setChecked(CheckForUpdate);
  info_->btn_OK()->setText(InfoCaption.OkButton);
  info_->btn_Cancel()->setText(InfoCaption.CancelButton);
  info_->chk_FutureUpdate()->setText(InfoCaption.CheckForUpdate);
  std::string page;
  for (const std::string &line : lines_)
    page += line + "\n";
  info_->Navigate(QString::fromStdString(redirectionURL_.empty() ? ProductInfo.URL() : redirectionURL_),
                  QString::fromUtf8(page.data(), static_cast<int>(page.size())));
  if (OnAfterShowInfo) OnAfterShowInfo(this, info_->chk_FutureUpdate()->isChecked());
  return info_->exec() == QDialog::Accepted;
}

} // namespace kv::app
