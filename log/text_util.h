#pragma once
// Text helpers of the logger. Texts are UTF-8; lengths and positions count characters. A byte
// that is not part of a well-formed character (a stray continuation byte, say) counts as a
// character of its own, so a character is never longer than 4 bytes.

#include <cstdint>
#include <string>
#include <string_view>

namespace kv::logging {

// Largest width (in characters) a tag, a fill or the ruler may ask for. Wider requests give a
// marker text instead of a huge line.
inline constexpr int64_t kMaxLayoutWidth = 10000;
// The same bound in bytes: a layout never makes a piece of text longer than this.
inline constexpr int64_t kMaxLayoutBytes = 4 * kMaxLayoutWidth;

// Number of characters (code points) of a UTF-8 text.
size_t Utf8Length(std::string_view text);
// Byte offset of character `index` (the text's size when it has fewer characters).
size_t Utf8Offset(std::string_view text, size_t index);
// The text without its first `count` characters ("" when it is shorter).
std::string Utf8Drop(std::string_view text, size_t count);
// The first `count` characters.
std::string Utf8Take(std::string_view text, size_t count);
// The last character ("" for an empty text).
std::string Utf8Last(std::string_view text);

// `unit` repeated `count` times; nothing for a count of 0 or less.
std::string Repeat(std::string_view unit, int64_t count);
std::string Blanks(int64_t count);

// A whole decimal number with an optional sign and nothing else; false otherwise or on overflow.
bool ParseInteger(std::string_view text, int64_t &value);

// bytes / 1048576 rounded to the nearest whole number (halves to even).
std::string MegaBytes(uint64_t bytes);
// A number with thousands separators and `decimals` decimals, in the regional settings.
std::string FormatNumberN(double value, int decimals);
// A float in the general format: up to 15 significant digits, exponent only when needed.
std::string FloatToStrGeneral(double value);
// An address with all its hexadecimal digits (16, upper case).
std::string HexAddress(uint64_t address);
// `text` + one blank, then blanks in front until it is `width` + 1 characters long.
std::string PadLeft(const std::string &text, int width);

} // namespace kv::logging
