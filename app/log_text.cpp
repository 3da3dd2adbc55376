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

} // namespace kv::app
