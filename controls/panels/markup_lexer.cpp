#include "controls/panels/markup_lexer.h"

#include <array>
#include <span>

namespace kv::panels {

namespace {

char16_t Upper(char16_t c) {
  return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c;
}

// Whether `word` (upper case) stands in `text` at `pos`, without regard to ASCII case.
bool MatchesAt(QStringView text, qsizetype pos, QStringView word) {
  if (pos + word.size() > text.size()) return false;
  for (qsizetype i = 0; i < word.size(); ++i)
    if (Upper(text[pos + i].unicode()) != word[i].unicode()) return false;
  return true;
}

struct Entity {
  const char16_t *Name; // upper case, with "&" and ";"
  char16_t Result;
};

// The whole-text entities; "&amp;" is handled on its own (it leaves a second "&").
constexpr std::array<Entity, 8> kEntities{{
    {u"&QUOT;", u'"'},
    {u"&SECT;", u'\u00A7'},
    {u"&PERMIL;", u'\u2030'},
    {u"&REG;", u'\u00AE'},
    {u"&COPY;", u'\u00A9'},
    {u"&PARA;", u'\u00B6'},
    {u"&TRADE;", u'\u2122'},
    {u"&EURO;", u'\u20AC'},
}};

constexpr std::array<Entity, 3> kRunEntities{{
    {u"&NBSP;", u' '},
    {u"&LT;", u'<'},
    {u"&GT;", u'>'},
}};

} // namespace

QString AsciiUpper(QStringView text) {
  QString out(text.size(), Qt::Uninitialized);
  char16_t *d = reinterpret_cast<char16_t *>(out.data());
  for (qsizetype i = 0; i < text.size(); ++i)
    d[i] = Upper(text[i].unicode());
  return out;
}

// Entities never overlap (each holds its only "&" at the front), replacing one never breaks
// another, and only "&amp;" makes a new one: its second "&" may start an entity with the text
// after it. So the repeated replacement ends in the text with every occurrence replaced, the
// new ones included, whatever the order; one pass gets there by letting the second "&" of each
// "&amp;" be looked at again.
QString DecodeMarkupEntities(const QString &text) {
  if (!text.contains(u'&')) return text;
  QString out;
  out.reserve(text.size());
  const qsizetype n = text.size();
  qsizetype i = 0;
  bool amp_left = false; // the second "&" of the last "&amp;" is still to be looked at
  while (i < n || amp_left) {
    // At an "&": either the real one at i, or the one an "&amp;" left just before i.
    const bool at_amp = amp_left || text[i] == u'&';
    if (!at_amp) {
      out += text[i++];
      continue;
    }
    // The characters after this "&" start at `after`.
    const qsizetype after = amp_left ? i : i + 1;
    amp_left = false;
    QStringView rest = QStringView(text).mid(after);
    if (MatchesAt(rest, 0, u"AMP;")) {
      out += u'&';
      i = after + 4;
      amp_left = true;
      continue;
    }
    bool replaced = false;
    for (const Entity &e : kEntities) {
      const QStringView name(e.Name);
      if (MatchesAt(rest, 0, name.mid(1))) {
        out += QChar(e.Result);
        i = after + name.size() - 1;
        replaced = true;
        break;
      }
    }
    if (!replaced) {
      out += u'&';
      i = after;
    }
  }
  return out;
}

QString DecodeRunEntities(QStringView run) {
  if (!run.contains(u'&')) return run.toString();
  QString out;
  out.reserve(run.size());
  for (qsizetype i = 0; i < run.size();) {
    if (run[i] != u'&') {
      out += run[i++];
      continue;
    }
    // A doubled ampersand shows one; when its second "&" starts an entity, both stay and the
    // entity is replaced after them ("&&lt;" shows "&<").
    const bool doubled = i + 1 < run.size() && run[i + 1] == u'&';
    const qsizetype at = doubled ? i + 1 : i;
    const Entity *found = nullptr;
    for (const Entity &e : kRunEntities)
      if (MatchesAt(run, at, QStringView(e.Name))) found = &e;
    out += doubled ? u"&&" : found ? u"" : u"&";
    if (found) {
      out += QChar(found->Result);
      i = at + QStringView(found->Name).size();
    } else {
      i = at + 1;
    }
  }
  return out;
}

QString PreprocessMarkup(const QString &text) {
  QString s = DecodeMarkupEntities(text);
  const qsizetype hash = s.indexOf(u"<#");
  if (hash >= 0) {
    s.remove(hash, 1);
    const qsizetype close = s.indexOf(u'>', hash);
    if (close >= 0) s.remove(close, 1);
  }
  if (s.contains(u'\r') || s.contains(u'\n')) {
    QString out;
    out.reserve(s.size() + 16);
    for (QChar c : s) {
      if (c == u'\r')
        out += u"<BR>";
      else if (c != u'\n')
        out += c;
    }
    s = std::move(out);
  }
  return s;
}

namespace {

struct TagRule {
  const char16_t *Prefix; // the letters after "<" or "</"
  TMarkupTagKind Kind;
};

using K = TMarkupTagKind;

// Tried in order; the first rule whose letters begin the tag decides.
constexpr TagRule kOpening[] = {
    {u"A", K::Anchor},    {u"B>", K::Bold},        {u"BR", K::Break},         {u"BL", K::Blink},
    {u"BO", K::Body},     {u"E", K::Error},        {u"F", K::Font},           {u"HI", K::Highlight},
    {u"HR", K::Rule},     {u"I>", K::Italic},      {u"IN", K::Indent},        {u"IM", K::Image},
    {u"LI", K::ListItem}, {u"P", K::Paragraph},    {u"R", K::Rotate},         {u"S>", K::Strike},
    {u"SH", K::Shadow},   {u"SUB>", K::Subscript}, {u"SUP>", K::Superscript}, {u"U>", K::Underline},
    {u"U", K::List},      {u"Z", K::Hidden},
};

constexpr TagRule kClosing[] = {
    {u"A", K::Anchor},    {u"B>", K::Bold},      {u"B", K::BaseColor},  {u"E", K::Error},
    {u"F", K::Font},      {u"H", K::Highlight},  {u"I", K::Italic},     {u"L", K::ListItem},
    {u"P", K::Paragraph}, {u"R", K::Rotate},     {u"SU", K::Subscript}, {u"SH", K::Shadow},
    {u"S", K::Strike},    {u"U>", K::Underline}, {u"U", K::List},       {u"Z", K::Hidden},
};

} // namespace

TMarkupTagKind ClassifyTag(QStringView upper, bool closing) {
  const QStringView letters = upper.mid(closing ? 2 : 1);
  for (const TagRule &rule :
       closing ? std::span<const TagRule>(kClosing) : std::span<const TagRule>(kOpening))
    if (letters.startsWith(QStringView(rule.Prefix))) return rule.Kind;
  return K::None;
}

TMarkupCursor::TMarkupCursor(QStringView text, qsizetype pos, qsizetype end)
    : text_(text), pos_(pos), end_(end < 0 || end > text.size() ? text.size() : end) {}

// One scan that stops at the run's end: searching the whole rest for "<" first would make a
// text of many words and no tag quadratic.
QStringView TMarkupCursor::NextRun(bool word_wrap) {
  const qsizetype start = pos_;
  while (pos_ < end_) {
    const char16_t c = text_[pos_].unicode();
    if (c == u'<') break;
    ++pos_;
    if (c == u' ' && word_wrap) break;
  }
  return text_.mid(start, pos_ - start);
}

bool TMarkupCursor::PeekTag(TMarkupTag &tag) {
  tag_end_ = -1;
  if (!AtTag()) return false;
  const QStringView rest = text_.mid(pos_, end_ - pos_);
  const qsizetype close = rest.size() > 2 ? rest.indexOf(u'>') : -1;
  if (close < 0) {
    DropRest();
    return false;
  }
  tag.Text = rest.left(close + 1);
  tag.Upper = AsciiUpper(tag.Text);
  tag.Closing = tag.Upper[1] == u'/' && rest.size() > 3;
  tag.Kind = ClassifyTag(tag.Upper, tag.Closing);
  tag_end_ = pos_ + close + 1;
  return true;
}

void TMarkupCursor::SkipTag() {
  if (tag_end_ > pos_) pos_ = tag_end_;
  tag_end_ = -1;
}

} // namespace kv::panels
