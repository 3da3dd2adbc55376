#include "platform/default_locale.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

extern char **environ;

namespace kv::platform {

namespace {

// LANG, LANGUAGE or LC_ followed by a name's characters ("LC_TIME"); nothing else is set.
bool IsLocaleVariable(const std::string &name) {
  return name == "LANG" || name == "LANGUAGE" ||
         (name.rfind("LC_", 0) == 0 &&
          name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_") ==
              std::string::npos);
}

// True when any variable that selects a locale has a value (LANGUAGE alone selects none).
bool LocaleVariableSet() {
  for (char **e = environ; e && *e; ++e) {
    const char *eq = std::strchr(*e, '=');
    if (!eq || eq[1] == '\0') continue;
    const std::string name(*e, static_cast<size_t>(eq - *e));
    if (IsLocaleVariable(name) && name != "LANGUAGE") return true;
  }
  return false;
}

std::string Trim(const std::string &s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

// A locale name as setlocale takes it ("de_DE.UTF-8", "de_DE@euro", "C.UTF-8", "de:en" for
// LANGUAGE); nothing that could name a path.
bool PlainLocaleName(const std::string &value) {
  if (value.empty() || value.find("..") != std::string::npos) return false;
  for (unsigned char c : value)
    if (!(std::isalnum(c) || c == '_' || c == '.' || c == '@' || c == '-' || c == ':')) return false;
  return true;
}

std::string ReadText(const std::string &file) {
  std::ifstream in(file);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

std::vector<std::pair<std::string, std::string>> ParseLocaleAssignments(const std::string &text) {
  std::vector<std::pair<std::string, std::string>> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line.rfind("export ", 0) == 0) line = Trim(line.substr(7));
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string name = line.substr(0, eq);
    std::string value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    if (IsLocaleVariable(name) && PlainLocaleName(value)) out.emplace_back(name, value);
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> UseSystemDefaultLocale(const std::string &root) {
  if (LocaleVariableSet()) return {};
  for (const char *file : {"etc/default/locale", "etc/locale.conf"}) {
    const auto assignments = ParseLocaleAssignments(ReadText(root + file));
    if (assignments.empty()) continue;
    std::vector<std::pair<std::string, std::string>> set;
    for (const auto &[name, value] : assignments) {
      const char *old = std::getenv(name.c_str());
      if (old && *old) continue;
      ::setenv(name.c_str(), value.c_str(), 1);
      set.emplace_back(name, value);
    }
    return set;
  }
  return {};
}

} // namespace kv::platform
