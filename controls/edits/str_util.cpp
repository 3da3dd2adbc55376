#include "controls/edits/str_util.h"

#include <cerrno>

namespace kv::edits {

QString ReplaceAll(const QString &text, const QString &search, const QString &replacement) {
  if (search.isEmpty()) return text;
  QString result;
  qsizetype from = 0;
  for (qsizetype at = text.indexOf(search); at >= 0; at = text.indexOf(search, from)) {
    result += QStringView(text).mid(from, at - from);
    result += replacement;
    from = at + search.size();
  }
  result += QStringView(text).mid(from);
  return result;
}

QString RemoveChar(const QString &text, QChar c) {
  QString result = text;
  result.remove(c);
  return result;
}

QString TrimLeadingSpaces(const QString &text) {
  qsizetype i = 0;
  while (i < text.size() && text[i] == u' ')
    ++i;
  return text.mid(i);
}

QString TrimTrailingSpaces(const QString &text) {
  qsizetype n = text.size();
  while (n > 0 && text[n - 1] == u' ')
    --n;
  return text.left(n);
}

QString TrimSpaces(const QString &text) {
  return TrimLeadingSpaces(TrimTrailingSpaces(text));
}

QString RepeatChar(QChar c, int count) {
  return count < 1 ? QString() : QString(count, c);
}

QString TakeUntilDelimiter(const QString &text, int &position, const QString &delimiters) {
  const qsizetype start = std::max(position, 1) - 1;
  qsizetype i = start;
  while (i < text.size() && !delimiters.contains(text[i]))
    ++i;
  const QString piece = text.mid(start, i - start);
  position = int(i < text.size() ? i + 2 : text.size() + 1);
  return piece;
}

EOSError::EOSError(int code)
    : std::system_error(code, std::generic_category()),
      text_(code != 0 ? std::generic_category().message(code) : "Unbekannter Systemfehler") {}

bool CheckOsResult(bool ok) {
  if (!ok) throw EOSError(errno);
  return ok;
}

namespace utf8 {

namespace {
QString Q(const std::string &s) {
  return QString::fromStdString(s);
}
std::string S(const QString &s) {
  return s.toStdString();
}
} // namespace

std::string ReplaceAll(const std::string &text, const std::string &search, const std::string &replacement) {
  return S(edits::ReplaceAll(Q(text), Q(search), Q(replacement)));
}

std::string RemoveChar(const std::string &text, char32_t c) {
  return S(edits::ReplaceAll(Q(text), QString::fromUcs4(&c, 1), QString()));
}

std::string TrimLeadingSpaces(const std::string &text) {
  return S(edits::TrimLeadingSpaces(Q(text)));
}
std::string TrimTrailingSpaces(const std::string &text) {
  return S(edits::TrimTrailingSpaces(Q(text)));
}
std::string TrimSpaces(const std::string &text) {
  return S(edits::TrimSpaces(Q(text)));
}

std::string RepeatChar(char32_t c, int count) {
  const std::string one = S(QString::fromUcs4(&c, 1));
  std::string result;
  for (int i = 0; i < count; ++i)
    result += one;
  return result;
}

} // namespace utf8

} // namespace kv::edits
