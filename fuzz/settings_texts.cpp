// The small parsers of settings and page values, each given the whole input: the mail notice's
// recipient list and port, the update page's run parameters, the system's default-locale file
// and the scan of a program file for its version and description records.
// Properties: a port is 1 to 65535 and, blanks at its ends aside, the input is its digits; every
// recipient is an address the envelope takes, and the list joined again parses to itself; run
// parameters hold no blank, and joined again split into themselves; a locale assignment names a
// locale variable and a plain locale name; a record is found exactly where a plain search of the
// file finds it, also when the file's read chunks split it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "app/mail_notice.h"
#include "app/web_update.h"
#include "harness.h"
#include "platform/default_locale.h"
#include "platform/version.h"

using namespace kv::app;
using kv::platform::VersionRead;

namespace {

std::string WithoutBlanks(const std::string &text) {
  std::string out;
  for (char c : text)
    if (c != ' ' && c != '\t') out += c;
  return out;
}

// Without the blanks at either end: those inside a number make it no number.
std::string Trimmed(const std::string &text) {
  const size_t first = text.find_first_not_of(" \t");
  return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

void CheckPort(const std::string &text) {
  const auto port = ParsePort(text);
  if (!port) return;
  const std::string digits = Trimmed(text);
  if (*port == 0 || digits.empty() || digits.size() > 5 ||
      digits.find_first_not_of("0123456789") != std::string::npos || std::stoul(digits) != *port)
    kvfuzz::Broken("a port that is not the text's number");
}

void CheckRecipients(const std::string &text) {
  std::vector<std::string> list;
  try {
    list = ParseRecipients(text);
  } catch (const ENoticeError &) {
    return;
  }
  std::string joined;
  try {
    for (const std::string &address : list) {
      CheckAddress(address, TAddressRole::Recipient);
      joined += address + ",";
    }
    if (ParseRecipients(joined) != list) kvfuzz::Broken("recipients joined again parse differently");
  } catch (const ENoticeError &) {
    kvfuzz::Broken("a recipient the envelope does not take");
  }
}

void CheckRunParameters(const std::string &text) {
  const std::vector<std::string> args = SplitRunParameters(text);
  std::string joined;
  for (const std::string &arg : args) {
    if (arg.empty() || WithoutBlanks(arg) != arg)
      kvfuzz::Broken("an empty run parameter or one with a blank");
    joined += arg + " ";
  }
  if (WithoutBlanks(joined) != WithoutBlanks(text)) kvfuzz::Broken("run parameters lose or add characters");
  if (SplitRunParameters(joined) != args) kvfuzz::Broken("run parameters joined again split differently");
}

void CheckLocale(const std::string &text) {
  for (const auto &[name, value] : kv::platform::ParseLocaleAssignments(text)) {
    if (name != "LANG" && name != "LANGUAGE" && name.rfind("LC_", 0) != 0)
      kvfuzz::Broken("not a locale variable");
    if (name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_") !=
        std::string::npos)
      kvfuzz::Broken("a variable name that is no name");
    if (value.empty() || value.find('/') != std::string::npos || value.find("..") != std::string::npos)
      kvfuzz::Broken("a locale value that could name a path");
  }
}

// The record a plain search finds: the first signature with room for the whole record after it.
template <class Record>
VersionRead Expected(const std::string &data, const unsigned char (&signature)[8], Record &record) {
  const size_t at = data.find(std::string(reinterpret_cast<const char *>(signature), 8));
  if (at == std::string::npos || data.size() - at < sizeof record) return VersionRead::NoRecord;
  std::memcpy(&record, data.data() + at, sizeof record);
  return VersionRead::Found;
}

// The file is `data` after `gap` zero bytes (a hole, so no time is spent writing them).
void CheckRecords(int fd, const std::string &data, size_t gap) {
  if (::ftruncate(fd, 0) != 0 || ::ftruncate(fd, static_cast<off_t>(gap)) != 0 ||
      ::pwrite(fd, data.data(), data.size(), static_cast<off_t>(gap)) != static_cast<ssize_t>(data.size()))
    kvfuzz::Broken("the input file cannot be written");
  const std::string path = "/proc/self/fd/" + std::to_string(fd);

  kv::platform::FixedVersionRecord version{};
  static const unsigned char kVersion[8] = KV_VERSION_SIGNATURE;
  std::array<uint16_t, 4> numbers{};
  const VersionRead v = Expected(data, kVersion, version);
  if (kv::platform::ReadFileVersion(path, numbers) != v)
    kvfuzz::Broken("version record found or missed wrongly");
  if (v == VersionRead::Found)
    for (int k = 0; k < 4; ++k)
      if (numbers[k] != version.Numbers[k]) kvfuzz::Broken("version numbers read wrongly");

  kv::platform::VersionDescriptionRecord description{};
  static const unsigned char kDescription[8] = KV_VERSION_DESCRIPTION_SIGNATURE;
  std::string text;
  const VersionRead d = Expected(data, kDescription, description);
  if (kv::platform::ReadFileDescription(path, text) != d)
    kvfuzz::Broken("description found or missed wrongly");
  if (d == VersionRead::Found && text != std::string(description.Text, strnlen(description.Text, 120)))
    kvfuzz::Broken("description read wrongly");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const int fd = ::memfd_create("program", MFD_CLOEXEC);
  if (fd < 0) kvfuzz::Broken("no memory file");
  const std::string text = kvfuzz::Text(data, size);
  CheckPort(text);
  CheckRecipients(text);
  CheckRunParameters(text);
  CheckLocale(text);
  CheckRecords(fd, text, 0);
  // An odd first byte puts the input across the end of the reader's first piece; an input over
  // twice a piece's size crosses piece ends anyway.
  if (size > 0 && (data[0] & 1) && size / 2 <= kv::platform::kVersionScanChunk)
    CheckRecords(fd, text, kv::platform::kVersionScanChunk - size / 2);
  return 0;
}
