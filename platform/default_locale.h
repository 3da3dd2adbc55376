#pragma once
// The system's default locale for a program started without any locale variable (cron, a bare
// service, env -i): the regional settings apply however the program was started.

#include <string>
#include <utility>
#include <vector>

namespace kv::platform {

// When none of LC_ALL, LANG and the other LC_* variables is set, reads the system's default
// locale from <root>etc/default/locale (Debian) or, failing that, <root>etc/locale.conf
// (systemd) and sets the locale variables it names (LANG, LANGUAGE, LC_*) in the environment,
// so that a later setlocale(LC_ALL, "") applies them. `root` ends with "/". Returns the
// variables it set; nothing when a locale variable was set already or no file names one.
std::vector<std::pair<std::string, std::string>> UseSystemDefaultLocale(const std::string &root = "/");

// The locale variables a shell-style file assigns (KEY=value lines; comments, blanks, "export"
// and quotes allowed), in the file's order; a value that is no plain locale name is left out.
std::vector<std::pair<std::string, std::string>> ParseLocaleAssignments(const std::string &text);

} // namespace kv::platform
