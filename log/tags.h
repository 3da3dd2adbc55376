#pragma once
// The tag language's tokens: texts and tags in braces, the tags' keys and the layout of
// aligned texts.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv::logging {

struct TParseItem {
  enum Kind { kText = 0, kTag = 1 };
  int Kind = kText;
  std::string Text; // a tag's text starts as its name
  std::string Name; // a tag's name as written between the braces
  uint32_t Key = 0;
  bool LineTag = false;
  bool IsTag(uint32_t key) const { return Kind == kTag && Key == key; }
};
using TParseItems = std::vector<TParseItem>;

// A text token.
TParseItem TextItem(std::string text);

// Keys of the tags (TagKey of their names, or of their first character for layout tags).
namespace tagkey {
inline constexpr uint32_t Glue = 38;   // &
inline constexpr uint32_t Fill = 42;   // *n c
inline constexpr uint32_t Break = 47;  // /
inline constexpr uint32_t Column = 64; // @n, n@, @n@
inline constexpr uint32_t LNumOff = 57910;
inline constexpr uint32_t LNum = 39841;
inline constexpr uint32_t Date = 21641;     // dte
inline constexpr uint32_t Time = 19867;     // hms
inline constexpr uint32_t Now = 20389;      // now
inline constexpr uint32_t NowTicks = 18571; // e.g. "dhg": date, time and tick count
inline constexpr uint32_t Ticks = 21642;    // e.g. "dtf": the tick count
inline constexpr uint32_t AppName = 79404;
inline constexpr uint32_t AppPath = 80181;
inline constexpr uint32_t AppFile = 63019; // e.g. "App_lfn": full path of the program file
inline constexpr uint32_t AppVer = 62777;
inline constexpr uint32_t AppPrm = 66094;
inline constexpr uint32_t AppPrmList = 77614; // App_prm-
inline constexpr uint32_t Heap1 = 38326, Heap2 = 49846, Heap3 = 49891;
inline constexpr uint32_t Ram1 = 28319, Ram2 = 28364, Ram3 = 39884;
inline constexpr uint32_t Disk1 = 38084, Disk2 = 49604, Disk3 = 49649;
// Line tags: a whole report, honoured only as the first token of a text.
inline constexpr uint32_t Heap = 38281;
inline constexpr uint32_t Ram = 16799;
inline constexpr uint32_t Disk = 38039;
inline constexpr uint32_t Mem = 17818;
inline constexpr uint32_t CPUI = 39320;
inline constexpr uint32_t OSVI = 40101;
inline constexpr uint32_t Timers = 57843;
inline constexpr uint32_t Ruler = 39664;
inline constexpr uint32_t RulerPlus = 50672;
} // namespace tagkey

// Sum over the upper-cased name: characters at odd positions count once, at even ones 256 times.
// Names with the same key are the same tag.
uint32_t TagKey(std::string_view name);
bool IsLineTagKey(uint32_t key);

// Splits a text into texts and tags. Never fails: a failure becomes a marker text.
TParseItems Tokenize(std::string_view text);
// Gives each tag its key; keeps a line tag only as the first of two or more tokens.
void ClassifyTokens(TParseItems &items);

// Layout of `text` by the tag `name` with the text starting after column `column`:
// "*n c" fills to width n with c, "@n" starts in column n, "n@" ends in column n, "@n@" centres
// in n. A width that is no integer, or above kMaxLayoutWidth, gives "#FLTag(name) " + text.
std::string AlignText(const std::string &text, const std::string &name, int64_t column);

} // namespace kv::logging
