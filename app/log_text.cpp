#include "app/log_text.h"

namespace kv::app {

std::string EscapeLogText(const std::string &text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '{')
      out += "{{}";
    else if (c == '}')
      out += "{}}";
    else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      out += ' ';
    else
      out += c;
  }
  return out;
}

std::string QuotedSetting(const std::string &text) {
  std::string out;
  std::size_t characters = 0;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    // A byte that is not a UTF-8 continuation starts a character.
    if ((byte & 0xC0) != 0x80 && ++characters > kMaxQuotedSetting) return out + "...";
    out += byte < 0x20 || byte == 0x7F ? ' ' : c;
  }
  return out;
}

std::string LogSetting(const std::string &text) {
  return EscapeLogText(QuotedSetting(text));
}

} // namespace kv::app
