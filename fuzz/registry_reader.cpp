// The settings file reader: any text is refused or read; what is read is written back so that
// it reads to the same keys and values, and writing that again changes nothing.
#include "harness.h"
#include "platform/registry.h"

namespace rf = kv::platform::registry_file;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  rf::Store first, second;
  std::string why;
  if (!rf::Parse(kvfuzz::Text(data, size), first, why)) return 0;
  const std::string written = rf::Format(first);
  if (!rf::Parse(written, second, why)) kvfuzz::Broken("the reader refuses what the writer wrote");
  if (!(first == second)) kvfuzz::Broken("written back, the keys or values changed");
  if (rf::Format(second) != written) kvfuzz::Broken("writing twice gives another file");
  return 0;
}
