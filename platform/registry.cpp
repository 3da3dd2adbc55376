#include "platform/registry.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

#include "platform/open_entry.h"
#include "platform/system.h"

namespace kv::platform {

namespace {

const char kRoot[] = "HKEY_CURRENT_USER";
// A settings file this large is not ours.
constexpr off_t kMaxFileSize = 16 * 1024 * 1024;

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerName(const std::string &name) {
  std::string lower = name;
  for (char &c : lower)
    c = Lower(c);
  return lower;
}

bool SameName(const std::string &a, const std::string &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// True when `path` is `ancestor` or lies below it.
bool IsAtOrBelow(const std::string &path, const std::string &ancestor) {
  if (path.size() < ancestor.size()) return false;
  if (!SameName(path.substr(0, ancestor.size()), ancestor)) return false;
  return path.size() == ancestor.size() || path[ancestor.size()] == '\\';
}

std::string ErrnoText(int err) {
  return std::strerror(err);
}

// A key is stored as a one-line "[path]" header, so a name with a control character (a line
// break above all) cannot be stored; such a key is refused rather than spoil the whole file.
bool StorableKey(const std::string &path) {
  for (unsigned char c : path)
    if (c < 0x20 || c == 0x7f) return false;
  return true;
}

} // namespace

namespace registry_file {

Key *Store::FindKey(const std::string &path) {
  for (auto &k : keys)
    if (SameName(k.path, path)) return &k;
  return nullptr;
}

const Key *Store::FindKey(const std::string &path) const {
  return const_cast<Store *>(this)->FindKey(path);
}

bool Store::KeyExists(const std::string &path) const {
  if (SameName(path, kRoot)) return true;
  for (const auto &k : keys)
    if (IsAtOrBelow(k.path, path)) return true;
  return false;
}

Key &Store::CreateKey(const std::string &path) {
  if (Key *k = FindKey(path)) return *k;
  keys.push_back(Key{path, {}});
  return keys.back();
}

Value *FindValue(Key &key, const std::string &name) {
  for (auto &v : key.values)
    if (SameName(v.name, name)) return &v;
  return nullptr;
}

const Value *FindValue(const Key &key, const std::string &name) {
  return FindValue(const_cast<Key &>(key), name);
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted string starting at line[pos] == '"'; leaves pos after the closing quote.
bool ParseQuoted(const std::string &line, size_t &pos, std::string &out) {
  out.clear();
  ++pos;
  while (pos < line.size()) {
    char c = line[pos++];
    if (c == '"') return true;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (pos >= line.size()) return false;
    char e = line[pos++];
    switch (e) {
    case '\\':
      out += '\\';
      break;
    case '"':
      out += '"';
      break;
    case 'n':
      out += '\n';
      break;
    case 'r':
      out += '\r';
      break;
    case 't':
      out += '\t';
      break;
    case 'x': {
      if (pos + 2 > line.size()) return false;
      int hi = HexDigit(line[pos]), lo = HexDigit(line[pos + 1]);
      if (hi < 0 || lo < 0) return false;
      out += static_cast<char>(hi * 16 + lo);
      pos += 2;
      break;
    }
    default:
      return false;
    }
  }
  return false;
}

void AppendQuoted(std::string &out, const std::string &s) {
  out += '"';
  for (unsigned char c : s) {
    switch (c) {
    case '\\':
      out += "\\\\";
      break;
    case '"':
      out += "\\\"";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\r':
      out += "\\r";
      break;
    case '\t':
      out += "\\t";
      break;
    default:
      if (c < 0x20 || c == 0x7f) {
        char buf[5];
        std::snprintf(buf, sizeof buf, "\\x%02x", c);
        out += buf;
      } else {
        out += static_cast<char>(c);
      }
    }
  }
  out += '"';
}

std::string Trim(const std::string &s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

// Splits into lines (without their line ends).
std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

} // namespace

bool Parse(const std::string &text, Store &out, std::string &why) {
  out = Store{};
  std::string body = text;
  if (body.compare(0, 3, "\xEF\xBB\xBF") == 0) body.erase(0, 3);
  // Keys and values are found through indexes by their lower-case names, so that a file with
  // many values of one key still reads in linear time.
  std::unordered_map<std::string, size_t> key_index;
  std::vector<std::unordered_map<std::string, size_t>> value_index;
  constexpr size_t kNoKey = static_cast<size_t>(-1);
  size_t key = kNoKey;
  std::vector<std::string> lines = Lines(body);
  for (size_t n = 0; n < lines.size(); ++n) {
    std::string line = Trim(lines[n]);
    auto fail = [&](const std::string &what) {
      why = "Zeile " + std::to_string(n + 1) + ": " + what;
      out = Store{};
      return false;
    };
    if (line.empty() || line[0] == ';' || line == "Windows Registry Editor Version 5.00" ||
        line == "REGEDIT4")
      continue;
    if (line[0] == '[') {
      if (line.back() != ']' || line.size() < 3) return fail("fehlerhafter Schlüssel");
      std::string path = line.substr(1, line.size() - 2);
      if (path[0] == '-' || path.find("\\\\") != std::string::npos || path.back() == '\\')
        return fail("fehlerhafter Schlüssel");
      const auto [it, added] = key_index.emplace(LowerName(path), out.keys.size());
      if (added) {
        out.keys.push_back(Key{path, {}});
        value_index.emplace_back();
      }
      key = it->second;
      continue;
    }
    if (key == kNoKey) return fail("Wert außerhalb eines Schlüssels");
    Value v;
    size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else if (line[0] != '"' || !ParseQuoted(line, pos, v.name)) {
      return fail("fehlerhafter Wertname");
    }
    if (pos >= line.size() || line[pos] != '=') return fail("'=' erwartet");
    std::string data = Trim(line.substr(pos + 1));
    if (!data.empty() && data[0] == '"') {
      size_t p = 0;
      if (!ParseQuoted(data, p, v.text) || p != data.size()) return fail("fehlerhafter Text");
      v.type = TRegDataType::rdString;
    } else if (data.compare(0, 6, "dword:") == 0) {
      // Always eight digits: a shorter number is a line cut short, not a smaller value.
      std::string hex = data.substr(6);
      if (hex.size() != 8) return fail("fehlerhafter DWORD-Wert");
      uint32_t d = 0;
      for (char c : hex) {
        int h = HexDigit(c);
        if (h < 0) return fail("fehlerhafter DWORD-Wert");
        d = d * 16 + static_cast<uint32_t>(h);
      }
      v.type = TRegDataType::rdInteger;
      v.dword = d;
    } else if (data.find(':') != std::string::npos || data == "-") {
      // Another type (hex, qword, a deletion mark): kept as written, with its continuation lines.
      v.type = TRegDataType::rdUnknown;
      v.text = data;
      while (!v.text.empty() && v.text.back() == '\\') {
        // A continuation mark with nothing after it is a value cut short; written back, it
        // would swallow the line that follows it.
        if (n + 1 >= lines.size() || Trim(lines[n + 1]).empty()) return fail("Wert nach '\\' abgeschnitten");
        std::string next = lines[++n];
        while (!next.empty() && next.back() == '\r')
          next.pop_back();
        v.text += '\n' + next;
      }
    } else {
      return fail("unbekannter Werttyp");
    }
    std::vector<Value> &values = out.keys[key].values;
    const auto [it, added] = value_index[key].emplace(LowerName(v.name), values.size());
    if (added)
      values.push_back(std::move(v));
    else
      values[it->second] = std::move(v);
  }
  return true;
}

std::string Format(const Store &store) {
  std::string out = "; Korvane settings\n";
  for (const auto &k : store.keys) {
    out += "\n[" + k.path + "]\n";
    for (const auto &v : k.values) {
      if (v.name.empty())
        out += '@';
      else
        AppendQuoted(out, v.name);
      out += '=';
      switch (v.type) {
      case TRegDataType::rdString:
        AppendQuoted(out, v.text);
        break;
      case TRegDataType::rdInteger: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", v.dword);
        out += buf;
        break;
      }
      case TRegDataType::rdUnknown:
        out += v.text;
        break;
      }
      out += '\n';
    }
  }
  return out;
}

} // namespace registry_file

namespace {

using registry_file::Store;

enum class LoadStatus { Ok, Missing, Unreadable };

// What a name stands for when it is no settings or lock file, for the messages.
std::string EntryKind(const struct stat &st) {
  if (S_ISLNK(st.st_mode)) return "eine symbolische Verknüpfung";
  if (S_ISFIFO(st.st_mode)) return "eine benannte Pipe (FIFO)";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "ein Gerät";
  if (S_ISDIR(st.st_mode)) return "ein Ordner";
  if (S_ISSOCK(st.st_mode)) return "ein Socket";
  if (S_ISREG(st.st_mode)) return "eine Datei mit mehreren Namen";
  return "ein unbekannter Dateityp";
}

// Reads `file`, a name with no link left in it (see FollowLinks). Anything but a regular file is
// unreadable and never opened: a FIFO or a device there would hold the reader.
LoadStatus Load(const std::string &file, Store &store, std::string &why) {
  store = Store{};
  TOpenRequest request;
  request.accept = RegularFile;
  const TOpenResult opened = OpenEntry(file, request);
  if (opened.Refused()) {
    why = "keine gewöhnliche Datei, sondern " + EntryKind(opened.st);
    return LoadStatus::Unreadable;
  }
  if (!opened.Opened()) {
    if (opened.error == ENOENT) return LoadStatus::Missing;
    why = ErrnoText(opened.error);
    return LoadStatus::Unreadable;
  }
  const int fd = opened.fd;
  if (opened.st.st_size > kMaxFileSize) {
    why = "Datei zu groß";
    ::close(fd);
    return LoadStatus::Unreadable;
  }
  std::string text;
  char buf[65536];
  while (true) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      why = ErrnoText(errno);
      ::close(fd);
      return LoadStatus::Unreadable;
    }
    if (n == 0) break;
    text.append(buf, static_cast<size_t>(n));
    if (static_cast<off_t>(text.size()) > kMaxFileSize) {
      why = "Datei zu groß";
      ::close(fd);
      return LoadStatus::Unreadable;
    }
  }
  ::close(fd);
  return registry_file::Parse(text, store, why) ? LoadStatus::Ok : LoadStatus::Unreadable;
}

std::string DirectoryOf(const std::string &file) {
  size_t slash = file.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return file.substr(0, slash);
}

std::string FileNameOf(const std::string &file) {
  size_t slash = file.rfind('/');
  return slash == std::string::npos ? file : file.substr(slash + 1);
}

// The file a settings path stands for: a symbolic link (a managed dotfile) is followed to its
// target, which is read and replaced while the link stays. A loop of links is left as it is;
// reading it then fails and says so.
std::string FollowLinks(const std::string &file) {
  std::string path = file;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof target) return path;
    const std::string next(target, static_cast<size_t>(n));
    path = next[0] == '/' ? next : DirectoryOf(path) + "/" + next;
  }
  return path;
}

// Removes the temporary files that writers which died before their rename left beside `file`
// (full copies of the settings, passwords included). A file whose process still runs is kept.
void RemoveStaleTemporaries(const std::string &file) {
  const std::string dir = DirectoryOf(file);
  const std::string prefix = FileNameOf(file) + ".tmp-";
  DIR *d = ::opendir(dir.c_str());
  if (!d) return;
  while (dirent *e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name.size() <= prefix.size() || name.size() > prefix.size() + 9 ||
        name.compare(0, prefix.size(), prefix) != 0 ||
        name.find_first_not_of("0123456789", prefix.size()) != std::string::npos)
      continue;
    const pid_t pid = static_cast<pid_t>(std::stol(name.substr(prefix.size())));
    if (pid <= 0 || pid == ::getpid()) continue;
    if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
    ::unlink((dir + "/" + name).c_str());
  }
  ::closedir(d);
}

void MakeSettingsFolder(const std::string &dir) {
  if (const int err = MakeDirectories(dir))
    throw ERegistryException("Der Ordner " + dir + " kann nicht angelegt werden: " + ErrnoText(err));
}

bool WriteAll(int fd, const std::string &data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// An exclusive lock on a side file; the settings file itself is replaced on every write, so it
// cannot carry the lock.
class FileLock {
public:
  explicit FileLock(const std::string &path) {
    // Only a regular file with one name serves: a FIFO, a device or a link there is no lock file,
    // and its open could wait or act by itself.
    TOpenRequest request;
    request.flags = O_RDWR | O_CREAT;
    request.accept = SingleRegular;
    const TOpenResult opened = OpenEntry(path, request);
    if (opened.Refused())
      throw ERegistryException("Die Sperrdatei " + path + " ist " + EntryKind(opened.st) +
                               " und wird nicht als Sperrdatei verwendet. Die Einstellungen können erst "
                               "wieder gespeichert werden, wenn sie entfernt ist.");
    if (!opened.Opened())
      throw ERegistryException("Die Sperrdatei " + path +
                               " kann nicht geöffnet werden: " + ErrnoText(opened.error));
    fd_ = opened.fd;
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd_);
      throw ERegistryException("Die Sperrdatei " + path + " kann nicht gesperrt werden: " + ErrnoText(err));
    }
  }
  ~FileLock() { ::close(fd_); } // closing releases the lock
  FileLock(const FileLock &) = delete;
  FileLock &operator=(const FileLock &) = delete;

private:
  int fd_ = -1;
};

// Moves an unreadable settings file aside under a name of its own and says so.
void SetAside(const std::string &file, const std::string &why) {
  char stamp[32];
  time_t now = ::time(nullptr);
  struct tm tm {};
  localtime_r(&now, &tm);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
  std::string aside;
  for (int i = 0;; ++i) {
    aside = file + ".unreadable-" + stamp + (i ? "-" + std::to_string(i) : "");
    struct stat st {};
    if (::lstat(aside.c_str(), &st) != 0) break;
  }
  if (::rename(file.c_str(), aside.c_str()) != 0)
    throw ERegistryException("Die Einstellungsdatei " + file + " ist nicht lesbar (" + why +
                             ") und kann nicht beiseite gelegt werden: " + ErrnoText(errno));
  SayOnStandardError("Die Einstellungsdatei " + file + " war nicht lesbar (" + why +
                     "). Sie wurde unverändert nach " + aside +
                     " verschoben; neue Einstellungen werden in einer neuen Datei gespeichert.");
}

// One write: lock, re-read, apply `change`, write a temporary file, fsync, rename over the old one.
// Through a symbolic link the link's target is the file read and replaced.
Store Update(const std::string &file, const std::function<void(Store &)> &change) {
  MakeSettingsFolder(DirectoryOf(file));
  FileLock lock(file + ".lock");
  const std::string target = FollowLinks(file);
  const std::string dir = DirectoryOf(target);
  RemoveStaleTemporaries(target);

  Store store;
  std::string why;
  if (Load(target, store, why) == LoadStatus::Unreadable) {
    SetAside(target, why);
    store = Store{};
  }
  change(store);

  std::string temp = target + ".tmp-" + std::to_string(::getpid());
  ::unlink(temp.c_str()); // a leftover of a crashed writer with the same process id
  TOpenRequest request;
  request.flags = O_WRONLY | O_CREAT | O_EXCL;
  const TOpenResult created = OpenEntry(temp, request);
  if (!created.Opened())
    throw ERegistryException("Die Einstellungen können nicht gespeichert werden (" + temp +
                             "): " + ErrnoText(created.error));
  const int fd = created.fd;
  bool ok = ::fchmod(fd, 0600) == 0 && WriteAll(fd, registry_file::Format(store)) && ::fsync(fd) == 0;
  int err = errno;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    throw ERegistryException("Die Einstellungen können nicht gespeichert werden (" + file +
                             "): " + ErrnoText(err));
  }
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return store;
}

std::string Env(const char *name) {
  const char *v = std::getenv(name);
  return v ? v : "";
}

} // namespace

TRegValues &TRegValues::String(const std::string &name, const std::string &value) {
  values_.push_back({name, TRegDataType::rdString, value, 0});
  return *this;
}

TRegValues &TRegValues::Integer(const std::string &name, int32_t value) {
  values_.push_back({name, TRegDataType::rdInteger, "", static_cast<uint32_t>(value)});
  return *this;
}

TRegValues &TRegValues::Bool(const std::string &name, bool value) {
  return Integer(name, value ? 1 : 0);
}

TRegistry::TRegistry() : TRegistry(DefaultFileName()) {}

TRegistry::TRegistry(std::string file) : file_(std::move(file)) {}

std::string TRegistry::DefaultFileName() {
  std::string base = Env("XDG_CONFIG_HOME");
  if (base.empty() || base[0] != '/') base = HomeDirectory() + "/.config";
  return base + "/korvane/registry.reg";
}

std::string TRegistry::Resolve(const std::string &key) const {
  std::string path = !key.empty() && key[0] == '\\' ? kRoot : OpenPath();
  size_t pos = 0;
  while (pos <= key.size()) {
    size_t end = key.find('\\', pos);
    if (end == std::string::npos) end = key.size();
    if (end > pos) path += "\\" + key.substr(pos, end - pos);
    pos = end + 1;
  }
  return path;
}

void TRegistry::Reload() {
  std::string why;
  if (Load(FollowLinks(file_), snapshot_, why) == LoadStatus::Unreadable) {
    static std::atomic<bool> warned{false};
    if (!warned.exchange(true))
      SayOnStandardError("Die Einstellungsdatei " + file_ + " ist nicht lesbar (" + why +
                         "); es gelten die Vorgaben.");
  }
}

bool TRegistry::OpenKey(const std::string &key, bool can_create) {
  std::string path = Resolve(key);
  if (!StorableKey(path)) return false;
  Reload();
  if (!snapshot_.KeyExists(path)) {
    if (!can_create) return false;
    snapshot_ = Update(file_, [&](Store &s) { s.CreateKey(path); });
  }
  current_ = path;
  read_only_ = false;
  return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string &key) {
  std::string path = Resolve(key);
  if (!StorableKey(path)) return false;
  Reload();
  if (!snapshot_.KeyExists(path)) return false;
  current_ = path;
  read_only_ = true;
  return true;
}

bool TRegistry::CreateKey(const std::string &key) {
  std::string path = Resolve(key);
  if (!StorableKey(path)) return false;
  Reload();
  if (!snapshot_.KeyExists(path)) snapshot_ = Update(file_, [&](Store &s) { s.CreateKey(path); });
  return snapshot_.KeyExists(path);
}

bool TRegistry::KeyExists(const std::string &key) {
  std::string path = Resolve(key);
  if (!StorableKey(path)) return false;
  Reload();
  return snapshot_.KeyExists(path);
}

void TRegistry::CloseKey() {
  current_.clear();
  read_only_ = false;
}

std::string TRegistry::OpenPath() const {
  return current_.empty() ? kRoot : current_;
}

const registry_file::Value *TRegistry::Find(const std::string &name) const {
  const registry_file::Key *key = snapshot_.FindKey(OpenPath());
  return key ? registry_file::FindValue(*key, name) : nullptr;
}

bool TRegistry::ValueExists(const std::string &name) const {
  return Find(name) != nullptr;
}

TRegDataType TRegistry::GetDataType(const std::string &name) const {
  const auto *v = Find(name);
  return v ? v->type : TRegDataType::rdUnknown;
}

std::vector<std::string> TRegistry::GetValueNames() const {
  std::vector<std::string> names;
  if (const registry_file::Key *key = snapshot_.FindKey(OpenPath()))
    for (const auto &v : key->values)
      names.push_back(v.name);
  return names;
}

std::string TRegistry::ReadString(const std::string &name) const {
  const auto *v = Find(name);
  if (!v) return "";
  if (v->type != TRegDataType::rdString) throw ERegistryException("Ungültiger Datentyp für '" + name + "'");
  return v->text;
}

int32_t TRegistry::ReadInteger(const std::string &name) const {
  const auto *v = Find(name);
  if (!v) throw ERegistryException("Der Wert '" + name + "' fehlt");
  if (v->type != TRegDataType::rdInteger) throw ERegistryException("Ungültiger Datentyp für '" + name + "'");
  return static_cast<int32_t>(v->dword);
}

bool TRegistry::ReadBool(const std::string &name) const {
  return ReadInteger(name) != 0;
}

void TRegistry::WriteValue(const registry_file::Value &value) {
  if (read_only_)
    throw ERegistryException("Der Wert '" + value.name +
                             "' kann nicht gespeichert werden: Schlüssel nur lesbar");
  StoreValues(OpenPath(), {value});
}

void TRegistry::WriteValues(const std::string &key, const TRegValues &values) {
  const std::string path = Resolve(key);
  if (!StorableKey(path))
    throw ERegistryException("Der Schlüssel '" + key + "' kann nicht gespeichert werden");
  StoreValues(path, values.Values());
}

void TRegistry::StoreValues(const std::string &path, const std::vector<registry_file::Value> &values) {
  snapshot_ = Update(file_, [&](registry_file::Store &s) {
    registry_file::Key &key = s.CreateKey(path);
    for (const registry_file::Value &value : values) {
      if (registry_file::Value *old = registry_file::FindValue(key, value.name)) {
        std::string stored_name = old->name; // an existing value keeps the spelling of its name
        *old = value;
        old->name = stored_name;
      } else {
        key.values.push_back(value);
      }
    }
  });
}

void TRegistry::WriteString(const std::string &name, const std::string &value) {
  WriteValue({name, TRegDataType::rdString, value, 0});
}

void TRegistry::WriteInteger(const std::string &name, int32_t value) {
  WriteValue({name, TRegDataType::rdInteger, "", static_cast<uint32_t>(value)});
}

void TRegistry::WriteBool(const std::string &name, bool value) {
  WriteInteger(name, value ? 1 : 0);
}

bool TRegistry::DeleteValue(const std::string &name) {
  if (read_only_)
    throw ERegistryException("Der Wert '" + name + "' kann nicht gelöscht werden: Schlüssel nur lesbar");
  std::string path = OpenPath();
  bool found = false;
  snapshot_ = Update(file_, [&](Store &s) {
    if (registry_file::Key *key = s.FindKey(path)) {
      for (auto it = key->values.begin(); it != key->values.end(); ++it) {
        if (SameName(it->name, name)) {
          key->values.erase(it);
          found = true;
          break;
        }
      }
    }
  });
  return found;
}

} // namespace kv::platform
