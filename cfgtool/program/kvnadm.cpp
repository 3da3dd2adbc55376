// The configuration tool's program block: the configuration dialog as the main window.
#include "cfgtool/config_tool.h"
#include "platform/version.h"

KV_DEFINE_VERSION_RECORD(KVNADM_VERSION);
KV_DEFINE_VERSION_DESCRIPTION("Korvane 2005 Konfiguration Automatik-Modus");

int main(int argc, char **argv) {
  return kv::cfgtool::RunConfigTool(argc, argv);
}
