#pragma once
// The program block of kvnadm, the configuration tool: the configuration dialog of the
// automatic mode as the program's main window. It reads no command-line argument.

#include <memory>

#include "app/config_form.h"

namespace kv::cfgtool {

// The application title of kvnadm.
inline constexpr const char *kTitle = "Korvane - Konfiguration";

// The steps after the application object exists: title, help file (the main program's
// "korvan.hlp" in the program directory), the dialog created and stored in ConfigForm, then
// shown. Its end ("&OK" after good checks, "&Abbrechen", the close box) quits the application's
// message loop. `ras`: as for TConfigForm.
std::unique_ptr<app::TConfigForm> StartConfigTool(std::unique_ptr<net::RasBackend> ras = nullptr);

// The whole program: the support units started, a display required (without one it says so in
// German on standard error and returns 1), the application object, StartConfigTool, the loop.
int RunConfigTool(int argc, char **argv);

} // namespace kv::cfgtool
