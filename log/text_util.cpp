#include "log/text_util.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/datetime.h"

namespace kv::logging {

namespace {

bool IsContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

// Bytes of the character starting at `i`: a lead byte with all the continuation bytes it
// announces, or else that one byte alone. So every byte belongs to exactly one character, a
// stray continuation byte is a character of its own, and no character is longer than 4 bytes.
size_t CharSize(std::string_view text, size_t i) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  const size_t size = c >= 0xC2 && c <= 0xDF   ? 2
                      : c >= 0xE0 && c <= 0xEF ? 3
                      : c >= 0xF0 && c <= 0xF4 ? 4
                                               : 1;
  if (i + size > text.size()) return 1;
  for (size_t k = 1; k < size; ++k)
    if (!IsContinuation(static_cast<unsigned char>(text[i + k]))) return 1;
  return size;
}

} // namespace

size_t Utf8Length(std::string_view text) {
  size_t n = 0;
  for (size_t i = 0; i < text.size(); i += CharSize(text, i))
    ++n;
  return n;
}

size_t Utf8Offset(std::string_view text, size_t index) {
  size_t i = 0;
  for (size_t chars = 0; i < text.size() && chars < index; ++chars)
    i += CharSize(text, i);
  return i;
}

std::string Utf8Drop(std::string_view text, size_t count) {
  return std::string(text.substr(Utf8Offset(text, count)));
}

std::string Utf8Take(std::string_view text, size_t count) {
  return std::string(text.substr(0, Utf8Offset(text, count)));
}

std::string Utf8Last(std::string_view text) {
  size_t last = 0;
  for (size_t i = 0; i < text.size(); i += CharSize(text, i))
    last = i;
  return std::string(text.substr(last));
}

std::string Repeat(std::string_view unit, int64_t count) {
  std::string out;
  if (count <= 0 || unit.empty()) return out;
  out.reserve(unit.size() * static_cast<size_t>(count));
  for (int64_t i = 0; i < count; ++i)
    out.append(unit);
  return out;
}

std::string Blanks(int64_t count) {
  return count > 0 ? std::string(static_cast<size_t>(count), ' ') : std::string();
}

bool ParseInteger(std::string_view text, int64_t &value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    const int digit = text[i] - '0';
    if (v > (INT64_MAX - digit) / 10) return false; // checked before it can wrap
    v = v * 10 + digit;
  }
  value = negative ? -v : v;
  return true;
}

std::string MegaBytes(uint64_t bytes) {
  return std::to_string(static_cast<uint64_t>(std::nearbyint(static_cast<double>(bytes) / 1048576.0)));
}

std::string FormatNumberN(double value, int decimals) {
  const auto &fs = platform::CurrentFormatSettings();
  char buf[512];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, std::fabs(value));
  std::string digits = buf;
  size_t dot = digits.find('.');
  std::string whole = digits.substr(0, dot);
  std::string out;
  for (size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) out += fs.ThousandSeparator;
    out += whole[i];
  }
  if (dot != std::string::npos) out += fs.DecimalSeparator + digits.substr(dot + 1);
  return (std::signbit(value) && value != 0 ? "-" : "") + out;
}

std::string FloatToStrGeneral(double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", value);
  std::string text = buf;
  // The exponent without "+" and leading zeros: "1E+20" -> "1E20", "1E-05" -> "1E-5".
  if (size_t e = text.find('E'); e != std::string::npos) {
    const bool negative = text[e + 1] == '-';
    const size_t digits = std::min(text.find_first_not_of("+-0", e + 1), text.size() - 1);
    text = text.substr(0, e + 1) + (negative ? "-" : "") + text.substr(digits);
  }
  if (size_t dot = text.find('.'); dot != std::string::npos)
    text[dot] = platform::CurrentFormatSettings().DecimalSeparator;
  return text;
}

std::string HexAddress(uint64_t address) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(address));
  return buf;
}

std::string PadLeft(const std::string &text, int width) {
  std::string padded = text + " ";
  return Blanks(static_cast<int64_t>(width) + 1 - static_cast<int64_t>(Utf8Length(padded))) + padded;
}

} // namespace kv::logging
