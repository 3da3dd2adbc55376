#pragma once
// Small text helpers of the edit controls: replacing, removing and trimming for the number
// conversions, cutting a delimited list, and turning a failed system call into an exception.
// Every function returns a new text and leaves its arguments alone. Positions count from 1.

#include <QString>
#include <string>
#include <system_error>

namespace kv::edits {

// Every occurrence of `search`, found left to right, replaced; the scan goes on behind the
// replaced occurrence. An empty `search` leaves the text unchanged.
QString ReplaceAll(const QString &text, const QString &search, const QString &replacement);
// Every occurrence of `c` removed.
QString RemoveChar(const QString &text, QChar c);
// Leading / trailing blanks (character 32 only) removed.
QString TrimLeadingSpaces(const QString &text);
QString TrimTrailingSpaces(const QString &text);
QString TrimSpaces(const QString &text);
// `c` repeated `count` times; the empty text for a count below 1.
QString RepeatChar(QChar c, int count);
// The characters from `position` (1-based) up to the first one found in `delimiters`, or to the
// end. `position` then points one past that delimiter, or one past the end when none was found.
QString TakeUntilDelimiter(const QString &text, int &position, const QString &delimiters);

// The error a failed system call raises: the errno value and the system's text for it.
class EOSError : public std::system_error {
public:
  explicit EOSError(int code);
  int Code() const { return code().value(); }
  // The system's text for the code (a code of 0 says that the cause is unknown).
  const char *what() const noexcept override { return text_.c_str(); }

private:
  std::string text_;
};

// Returns `ok`; false raises EOSError for the current errno.
bool CheckOsResult(bool ok);

// The same helpers on UTF-8 byte strings, for callers outside the controls; characters, not
// bytes, are compared and removed.
namespace utf8 {
std::string ReplaceAll(const std::string &text, const std::string &search, const std::string &replacement);
std::string RemoveChar(const std::string &text, char32_t c);
std::string TrimLeadingSpaces(const std::string &text);
std::string TrimTrailingSpaces(const std::string &text);
std::string TrimSpaces(const std::string &text);
std::string RepeatChar(char32_t c, int count);
} // namespace utf8

} // namespace kv::edits
