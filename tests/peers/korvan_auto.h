#pragma once
// Command lines that start the built programs as cron, a systemd timer or a fresh login would:
// no display, `home` as the home folder (settings under home/.config).

#include <cstdlib>
#include <string>
#include <vector>

namespace kvtest {

// "env" without any display and with `home`: put the program and its arguments after it.
inline std::vector<std::string> NoDisplayEnv(const std::string &home) {
  return {"env",
          "-u",
          "DISPLAY",
          "-u",
          "WAYLAND_DISPLAY",
          "-u",
          "QT_QPA_PLATFORM",
          "HOME=" + home,
          "XDG_CONFIG_HOME=" + home + "/.config",
          "XDG_RUNTIME_DIR=" + home};
}

// The built program `name` ("korvan", "kvnadm", "kvnsched").
inline std::string BuiltProgram(const std::string &name) {
  return std::string(std::getenv("KORVANE_BUILD_DIR")) + "/app/" + name;
}

// "korvan /a" without the right to set the clock.
inline std::vector<std::string> KorvanAutoCommand(const std::string &home) {
  std::vector<std::string> argv = {"setpriv", "--inh-caps=-sys_time", "--bounding-set=-sys_time"};
  for (const std::string &a : NoDisplayEnv(home))
    argv.push_back(a);
  argv.push_back(BuiltProgram("korvan"));
  argv.push_back("/a");
  return argv;
}

} // namespace kvtest
