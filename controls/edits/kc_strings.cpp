#include "controls/edits/kc_strings.h"

#include <cctype>
#include <clocale>
#include <locale.h>

#include "controls/edits/unit_starts.h"

namespace kv::edits::KcStrings {

namespace {

UnitStarts g_starts;
CharTypeTable g_types{};
CaseMap g_case;
bool g_case_loaded = false;

// The character-class locale `name`, or "C" when that cannot be had; freed on destruction.
class CtypeLocale {
public:
  explicit CtypeLocale(const std::string &name) {
    loc_ = newlocale(LC_CTYPE_MASK, name.c_str(), static_cast<locale_t>(nullptr));
    if (!loc_) loc_ = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
  }
  ~CtypeLocale() {
    if (loc_) freelocale(loc_);
  }
  CtypeLocale(const CtypeLocale &) = delete;
  CtypeLocale &operator=(const CtypeLocale &) = delete;
  locale_t get() const { return loc_; }

private:
  locale_t loc_ = static_cast<locale_t>(nullptr);
};

} // namespace

CharTypeTable BuildCharTypes(const std::string &locale_name) {
  CtypeLocale loc(locale_name);
  CharTypeTable t{};
  for (int c = 0; c < 256; ++c) {
    uint16_t w = 0;
    if (isupper_l(c, loc.get())) w |= kCtUpper;
    if (islower_l(c, loc.get())) w |= kCtLower;
    if (isdigit_l(c, loc.get())) w |= kCtDigit;
    if (isspace_l(c, loc.get())) w |= kCtSpace;
    if (ispunct_l(c, loc.get())) w |= kCtPunct;
    if (iscntrl_l(c, loc.get())) w |= kCtControl;
    if (isblank_l(c, loc.get())) w |= kCtBlank;
    if (isxdigit_l(c, loc.get())) w |= kCtHexDigit;
    if (isalpha_l(c, loc.get())) w |= kCtAlpha;
    t[static_cast<size_t>(c)] = w;
  }
  return t;
}

CaseMap BuildCaseMap(const std::string &locale_name, const CharTypeTable &types) {
  CtypeLocale loc(locale_name);
  CaseMap m;
  for (int c = 0; c < 256; ++c) {
    const auto i = static_cast<size_t>(c);
    // A mapping outside one byte (possible in multi-byte locales) leaves the character alone.
    const int lower = tolower_l(c, loc.get()), upper = toupper_l(c, loc.get());
    m.Lower[i] = static_cast<uint8_t>(lower >= 0 && lower < 256 ? lower : c);
    m.Upper[i] = static_cast<uint8_t>(upper >= 0 && upper < 256 ? upper : c);
    if (types[i] & kCtUpper)
      m.Reflect[i] = m.Lower[i];
    else if (types[i] & kCtLower)
      m.Reflect[i] = m.Upper[i];
    else
      m.Reflect[i] = static_cast<uint8_t>(c);
  }
  return m;
}

const CharTypeTable &CharTypes() {
  return g_types;
}

const CaseMap &CaseMaps() {
  if (!g_case_loaded) {
    g_case = BuildCaseMap("", BuildCharTypes(""));
    g_case_loaded = true;
  }
  return g_case;
}

bool CaseMapLoaded() {
  return g_case_loaded;
}

void Start() {
  if (!g_starts.Enter()) return;
  g_types = BuildCharTypes("");
  if (!g_case_loaded) {
    g_case = BuildCaseMap("", g_types);
    g_case_loaded = true;
  }
}

void End() {
  g_starts.Leave();
}

int Starts() {
  return g_starts.Count();
}

} // namespace kv::edits::KcStrings
