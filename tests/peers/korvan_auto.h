#pragma once
// The command line that starts "korvan /a" as cron or a systemd timer would, without the right
// to set the clock: no display, `home` as the home folder (settings under home/.config).

#include <cstdlib>
#include <string>
#include <vector>

namespace kvtest {

inline std::vector<std::string> KorvanAutoCommand(const std::string &home) {
  const std::string korvan = std::string(std::getenv("KORVANE_BUILD_DIR")) + "/app/korvan";
  return {"setpriv",
          "--inh-caps=-sys_time",
          "--bounding-set=-sys_time",
          "env",
          "-u",
          "DISPLAY",
          "-u",
          "WAYLAND_DISPLAY",
          "-u",
          "QT_QPA_PLATFORM",
          "HOME=" + home,
          "XDG_CONFIG_HOME=" + home + "/.config",
          "XDG_RUNTIME_DIR=" + home,
          korvan,
          "/a"};
}

} // namespace kvtest
