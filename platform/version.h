#pragma once
// Program version as a fixed record compiled into each program: a signature, then four 16-bit
// numbers (major, minor, release, build); a program may also carry a description record (a
// signature, then its text). A reader finds a record in any file by its signature, so the
// version of a program file can be read without running it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kv::platform {

struct FixedVersionRecord {
  unsigned char Signature[8];
  uint16_t Numbers[4];
};

// The signature; the reader searches for it in a form built at run time, so the reader's own
// code never matches.
#define KV_VERSION_SIGNATURE                                                                                 \
  { 0xBD, 0x04, 0xEF, 0xFE, 'K', 'V', 'F', 'I' }

namespace detail {
// Number `index` (0..3) of a text "a.b.c.d"; missing parts are 0.
constexpr uint16_t VersionPart(const char *text, int index) {
  int part = 0;
  uint32_t value = 0;
  for (const char *p = text; *p; ++p) {
    if (*p == '.') {
      if (part == index) return static_cast<uint16_t>(value);
      ++part;
      value = 0;
    } else if (*p >= '0' && *p <= '9') {
      value = value * 10 + static_cast<uint32_t>(*p - '0');
    }
  }
  return part == index ? static_cast<uint16_t>(value) : 0;
}
} // namespace detail

// Puts the version record for `text` ("2005.0.0.27") into the program. Use once, in the file
// holding main(): KV_DEFINE_VERSION_RECORD(KORVANE_VERSION)
#define KV_DEFINE_VERSION_RECORD(text)                                                                       \
  extern const ::kv::platform::FixedVersionRecord kv_program_version_record;                                 \
  [[gnu::used]] const ::kv::platform::FixedVersionRecord kv_program_version_record = {                       \
      KV_VERSION_SIGNATURE,                                                                                  \
      {::kv::platform::detail::VersionPart(text, 0), ::kv::platform::detail::VersionPart(text, 1),           \
       ::kv::platform::detail::VersionPart(text, 2), ::kv::platform::detail::VersionPart(text, 3)}}

struct VersionDescriptionRecord {
  unsigned char Signature[8];
  char Text[120]; // UTF-8, ended by a zero
};

#define KV_VERSION_DESCRIPTION_SIGNATURE                                                                     \
  { 0xBD, 0x04, 0xEF, 0xFE, 'K', 'V', 'F', 'D' }

// Puts the program's description (at most 119 bytes) into the program, beside its version record:
// KV_DEFINE_VERSION_DESCRIPTION("Korvane 2005 Konfiguration Automatik-Modus")
#define KV_DEFINE_VERSION_DESCRIPTION(text)                                                                  \
  static_assert(sizeof(text) <= sizeof(::kv::platform::VersionDescriptionRecord::Text));                     \
  extern const ::kv::platform::VersionDescriptionRecord kv_program_description_record;                       \
  [[gnu::used]] const ::kv::platform::VersionDescriptionRecord kv_program_description_record = {             \
      KV_VERSION_DESCRIPTION_SIGNATURE, text}

enum class VersionRead {
  Found,    // `numbers` holds the four numbers
  NoRecord, // the file carries no version record
  Failed,   // the file could not be read
};

// The readers below read a file in pieces of this many bytes; a record may lie across two.
inline constexpr size_t kVersionScanChunk = 64 * 1024;

// Looks for the version record in the file at `path`.
VersionRead ReadFileVersion(const std::string &path, std::array<uint16_t, 4> &numbers);
// Looks for the description record in the file at `path`.
VersionRead ReadFileDescription(const std::string &path, std::string &text);

} // namespace kv::platform
