#include "net/ras_phonebook.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

#include "net/ras.h"

namespace kv::net {

namespace {

bool EndsWith(const std::string &s, const std::string &tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

TPppPhoneBook::TPppPhoneBook(std::string directory) : directory_(std::move(directory)) {}

bool TPppPhoneBook::IsEntryName(const std::string &name) {
  if (name.empty() || name[0] == '.') return false;
  if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos) return false;
  if (EndsWith(name, "~") || EndsWith(name, ".bak") || EndsWith(name, ".orig")) return false;
  return name.find(".dpkg-") == std::string::npos;
}

bool TPppPhoneBook::IsEntryFile(const std::string &name) const {
  struct stat st {};
  // stat, not lstat: a link to a peer file is an entry too, as pppd follows it.
  return IsEntryName(name) && ::stat((directory_ + "/" + name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int TPppPhoneBook::List(std::vector<std::string> &entries) const {
  entries.clear();
  DIR *dir = ::opendir(directory_.c_str());
  if (!dir) return errno == ENOENT ? ERROR_SUCCESS : ERROR_CANNOT_OPEN_PHONEBOOK;
  std::vector<std::string> found;
  int result = ERROR_SUCCESS;
  while (true) {
    errno = 0;
    const dirent *d = ::readdir(dir);
    if (!d) {
      if (errno != 0) result = ERROR_CANNOT_OPEN_PHONEBOOK;
      break;
    }
    std::string name = d->d_name;
    if (IsEntryFile(name)) found.push_back(std::move(name));
  }
  ::closedir(dir);
  if (result != ERROR_SUCCESS) return result;
  std::sort(found.begin(), found.end());
  entries = std::move(found);
  return ERROR_SUCCESS;
}

bool TPppPhoneBook::Contains(const std::string &name) const {
  return IsEntryFile(name);
}

} // namespace kv::net
