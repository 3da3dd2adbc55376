#pragma once
// KcStrings: the type word of each single-byte character and three case tables (lower, upper,
// reflected), built from the C library's classification of the user's default locale.

#include <array>
#include <cstdint>
#include <string>

namespace kv::edits::KcStrings {

// Bits of a character's type word.
enum : uint16_t {
  kCtUpper = 0x0001,
  kCtLower = 0x0002,
  kCtDigit = 0x0004,
  kCtSpace = 0x0008,
  kCtPunct = 0x0010,
  kCtControl = 0x0020,
  kCtBlank = 0x0040,
  kCtHexDigit = 0x0080,
  kCtAlpha = 0x0100,
};

using CharTypeTable = std::array<uint16_t, 256>;

struct CaseMap {
  std::array<uint8_t, 256> Lower{}, Upper{}, Reflect{};
};

// Type words of the locale `locale_name` ("" is the user's default; an unknown name falls back
// to "C").
CharTypeTable BuildCharTypes(const std::string &locale_name);
// Case tables of that locale; the reflected case swaps upper and lower by `types`.
CaseMap BuildCaseMap(const std::string &locale_name, const CharTypeTable &types);

// The tables made at start (all zero before).
const CharTypeTable &CharTypes();
// The case map, built on first use.
const CaseMap &CaseMaps();
bool CaseMapLoaded();

void Start();
void End();
int Starts();

} // namespace kv::edits::KcStrings
