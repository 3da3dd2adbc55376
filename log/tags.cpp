#include "log/tags.h"

#include <exception>

#include "log/text_util.h"

namespace kv::logging {

TParseItem TextItem(std::string text) {
  TParseItem t;
  t.Text = std::move(text);
  return t;
}

namespace {

TParseItem TagItem(std::string name) {
  TParseItem t;
  t.Kind = TParseItem::kTag;
  t.Text = name;
  t.Name = std::move(name);
  return t;
}

// Cuts the next token off the front of `rest`.
TParseItem NextToken(std::string_view &rest) {
  try {
    const size_t f = rest.find('{');
    const size_t p = rest.find('}');
    if (f == std::string_view::npos || p == std::string_view::npos || p < f) {
      TParseItem t = TextItem(std::string(rest));
      rest = {};
      return t;
    }
    if (f == 0) {
      if (rest == "{}") {
        rest = {};
        return TextItem("");
      }
      // One character between the braces: "{&}" and "{/}" are tags, any other is that character.
      const size_t one = Utf8Offset(rest, 2);
      if (one < rest.size() && rest[one] == '}' && one > 1) {
        std::string c(rest.substr(1, one - 1));
        rest.remove_prefix(one + 1);
        return c == "&" || c == "/" ? TagItem(c) : TextItem(c);
      }
      if (rest[1] == '}') {
        rest.remove_prefix(2);
        return TextItem("");
      }
      TParseItem t = TagItem(std::string(rest.substr(1, p - 1)));
      rest.remove_prefix(p + 1);
      return t;
    }
    TParseItem t = TextItem(std::string(rest.substr(0, f)));
    rest.remove_prefix(f);
    return t;
  } catch (...) {
    TParseItem t = TextItem("#FLTag(" + std::string(rest) + ")");
    rest = {};
    return t;
  }
}

} // namespace

uint32_t TagKey(std::string_view name) {
  uint32_t key = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
    key += i % 2 == 0 ? c : c * 256u;
  }
  return key;
}

bool IsLineTagKey(uint32_t key) {
  using namespace tagkey;
  return key == Heap || key == Ram || key == Disk || key == Mem || key == CPUI || key == OSVI ||
         key == Timers || key == Ruler || key == RulerPlus;
}

TParseItems Tokenize(std::string_view text) {
  TParseItems items;
  if (text.empty()) {
    items.push_back(TextItem("\r\n"));
    return items;
  }
  for (int i = 0; i < 2 && !text.empty() && (text.back() == '\r' || text.back() == '\n'); ++i)
    text.remove_suffix(1);
  std::string_view rest = text;
  try {
    do {
      items.push_back(NextToken(rest));
    } while (!rest.empty());
  } catch (const std::exception &e) {
    items.push_back(TextItem("#FLParsing(" + std::string(e.what()) + ")with:(" + std::string(rest) + ")"));
  }
  return items;
}

void ClassifyTokens(TParseItems &items) {
  for (auto &t : items) {
    if (t.Kind != TParseItem::kTag) continue;
    const std::string &n = t.Name;
    if (!n.empty() && (n[0] == '@' || n[0] == '*' || n[0] == '/'))
      t.Key = static_cast<unsigned char>(n[0]);
    else if (!n.empty() && n.back() == '@')
      t.Key = tagkey::Column;
    else
      t.Key = TagKey(n);
    t.LineTag = IsLineTagKey(t.Key);
  }
  if (items.size() < 2) return;
  const bool first_is_line_tag = items[0].Kind == TParseItem::kTag && items[0].LineTag;
  TParseItems kept;
  kept.push_back(std::move(items[0]));
  for (size_t i = 1; i < items.size(); ++i) {
    if (first_is_line_tag || (items[i].Kind == TParseItem::kTag && items[i].LineTag)) continue;
    kept.push_back(std::move(items[i]));
  }
  items.swap(kept);
}

std::string AlignText(const std::string &text, const std::string &name, int64_t column) {
  const size_t chars = Utf8Length(name);
  enum { Fill, Centre, Start, End } form;
  std::string number;
  if (!name.empty() && name[0] == '*') {
    form = Fill;
    number = chars >= 2 ? Utf8Take(Utf8Drop(name, 1), chars - 2) : std::string();
  } else if (chars >= 2 && name[0] == '@' && name.back() == '@') {
    form = Centre;
    number = name.substr(1, name.size() - 2);
  } else if (!name.empty() && name[0] == '@') {
    form = Start;
    number = name.substr(1);
  } else {
    form = End;
    number = name.empty() ? name : name.substr(0, name.size() - 1);
  }
  int64_t n = 0;
  if (!ParseInteger(number, n) || n > kMaxLayoutWidth) return "#FLTag(" + name + ") " + text;

  const int64_t len = static_cast<int64_t>(Utf8Length(text));
  switch (form) {
  case Fill: {
    // The fill is one character (at most 4 bytes), so the bound holds in bytes as well.
    const std::string fill = Utf8Last(name);
    if (static_cast<int64_t>(fill.size()) * (n - len) > kMaxLayoutBytes)
      return "#FLTag(" + name + ") " + text;
    return text + Repeat(fill, n - len);
  }
  case Centre: {
    const int64_t d = n - len;
    return d > 0 ? Blanks(d / 2) + text + Blanks(d - d / 2) : text;
  }
  case Start:
  case End: {
    const int64_t a = form == Start ? n - column - 1 : n - column - len;
    return a > 0 ? Blanks(a) + text : " " + text;
  }
  }
  return text;
}

} // namespace kv::logging
