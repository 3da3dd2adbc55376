#pragma once
// The phone book of the pppd backend: the PPP peer files of one directory (/etc/ppp/peers).
// An entry is the file name of a regular file there. Hidden files and the leftovers of editors
// and package tools (names ending in "~", ".bak" or ".orig", or holding ".dpkg-") are not entries.

#include <string>
#include <vector>

namespace kv::net {

inline constexpr const char *DefaultPeersDirectory = "/etc/ppp/peers";

class TPppPhoneBook {
public:
  explicit TPppPhoneBook(std::string directory = DefaultPeersDirectory);

  const std::string &Directory() const { return directory_; }

  // The entry names, sorted bytewise. A missing directory is an empty phone book (no PPP set up);
  // any other failure to read it gives ERROR_CANNOT_OPEN_PHONEBOOK. Returns 0 or that error.
  int List(std::vector<std::string> &entries) const;

  // True when `name` is an entry of this phone book now.
  bool Contains(const std::string &name) const;

  // True when a file name may be an entry (not hidden, no backup, no path).
  static bool IsEntryName(const std::string &name);

private:
  bool IsEntryFile(const std::string &name) const;

  std::string directory_;
};

} // namespace kv::net
