#include "app/mail_notice.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "app/log_text.h"

namespace kv::app {

namespace {

// Day ordinal of 1899-12-30, the zero of TDateTime.
constexpr int64_t kOrdinalOfDateTimeZero = 693594;
// Longest line SMTP carries, without its CR LF.
constexpr size_t kMaxSmtpLine = 998;

// Line breaks and other control characters of a text that becomes one line: blanks.
std::string OneLine(const std::string &text) {
  std::string out = text;
  for (char &c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return out;
}

std::string Trim(const std::string &text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool PlainText(const std::string &body) {
  size_t column = 0;
  for (size_t i = 0; i < body.size(); ++i) {
    const auto c = static_cast<unsigned char>(body[i]);
    if (c == '\r' && i + 1 < body.size() && body[i + 1] == '\n') {
      column = 0;
      ++i;
      continue;
    }
    if (c >= 0x80 || c == 0 || c == '\r' || c == '\n') return false;
    if (++column > kMaxSmtpLine) return false;
  }
  return true;
}

// Quoted-printable (RFC 2045 section 6.7) of a text whose lines end in CR LF.
std::string QuotedPrintable(const std::string &body) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  size_t column = 0;
  auto put = [&](const std::string &piece) {
    if (column + piece.size() > 75) {
      out += "=\r\n";
      column = 0;
    }
    out += piece;
    column += piece.size();
  };
  for (size_t i = 0; i < body.size(); ++i) {
    const auto c = static_cast<unsigned char>(body[i]);
    if (c == '\r' && i + 1 < body.size() && body[i + 1] == '\n') {
      out += "\r\n";
      column = 0;
      ++i;
      continue;
    }
    const bool lineEnd =
        i + 1 == body.size() || (body[i + 1] == '\r' && i + 2 < body.size() && body[i + 2] == '\n');
    const bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !lineEnd);
    if (literal)
      put(std::string(1, static_cast<char>(c)));
    else
      put(std::string{'=', kHex[c >> 4], kHex[c & 15]});
  }
  return out;
}

} // namespace

TMsgIdParts MsgIdParts(const platform::DateTimeFields &local) {
  platform::DateTimeFields midnight{local.year, local.month, local.day, 0, 0, 0, 0};
  platform::TDateTime date = 0;
  if (!platform::EncodeDateTime(midnight, date))
    throw ENoticeError("local date out of range", "Das lokale Datum liegt außerhalb des gültigen Bereichs.");
  TMsgIdParts parts;
  parts.Day = static_cast<int64_t>(std::llround(date)) + kOrdinalOfDateTimeZero;
  parts.Millis =
      ((static_cast<int64_t>(local.hour) * 60 + local.minute) * 60 + local.second) * 1000 + local.millisecond;
  return parts;
}

std::string MakeMsgId(const platform::DateTimeFields &local, const std::string &computerName) {
  const TMsgIdParts parts = MsgIdParts(local);
  const std::string host = computerName.empty() ? std::string("localhost") : OneLine(computerName);
  return "<" + std::to_string(parts.Day) + std::to_string(parts.Millis) + "@" + host + ">";
}

std::string NoticeBody(const std::string &timeText, const std::string &computerName,
                       const std::string &server) {
  return OneLine(timeText) + "\r\n" + "Die Systemzeit des Computers " + OneLine(computerName) + " wurde\r\n" +
         "via NTP vom Server " + OneLine(server) + " aktualisiert.\r\n";
}

std::string NotSetNoticeBody(const std::string &timeText, const std::string &computerName,
                             const std::string &server, const std::string &reason) {
  return OneLine(timeText) + "\r\n" + "Die Systemzeit des Computers " + OneLine(computerName) +
         " konnte nicht\r\n" + "via NTP vom Server " + OneLine(server) + " gestellt werden.\r\n" +
         "Grund: " + OneLine(reason) + "\r\n";
}

std::string MailDate(const platform::DateTimeFields &local, int utcOffsetSeconds) {
  static const char *kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  static const char *kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const int64_t ordinal = MsgIdParts(local).Day; // 0001-01-01, ordinal 1, was a Monday
  const int offsetMinutes = std::abs(utcOffsetSeconds) / 60;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d %c%02d%02d", kDays[(ordinal - 1) % 7],
                local.day, kMonths[local.month - 1], local.year, local.hour, local.minute, local.second,
                utcOffsetSeconds < 0 ? '-' : '+', offsetMinutes / 60, offsetMinutes % 60);
  return buf;
}

std::string MailDateOf(int64_t unixSeconds) {
  const auto secs = static_cast<time_t>(unixSeconds);
  std::tm tm{};
  localtime_r(&secs, &tm);
  platform::DateTimeFields local{tm.tm_year + 1900,
                                 tm.tm_mon + 1,
                                 tm.tm_mday,
                                 tm.tm_hour,
                                 tm.tm_min,
                                 tm.tm_sec == 60 ? 59 : tm.tm_sec,
                                 0};
  return MailDate(local, static_cast<int>(tm.tm_gmtoff));
}

void CheckAddress(const std::string &address, TAddressRole role) {
  const bool sender = role == TAddressRole::Sender;
  const std::string what = sender ? "sender" : "recipient";
  if (address.empty())
    throw ENoticeError(what + " is empty", sender ? "Es ist keine Absenderadresse angegeben."
                                                  : "Es ist keine Empfängeradresse angegeben.");
  for (char ch : address) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c >= 0x7F || c == '<' || c == '>' || c == ',' || c == ';')
      throw ENoticeError(what + " \"" + QuotedSetting(address) + "\" is not a valid mail address",
                         std::string(sender ? "Die Absenderadresse" : "Die Empfängeradresse") + " \"" +
                             QuotedSetting(address) + "\" ist keine gültige E-Mail-Adresse.");
  }
}

std::vector<std::string> ParseRecipients(const std::string &text) {
  std::vector<std::string> addresses;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = text.find_first_of(",;", start);
    std::string item = Trim(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (!item.empty()) {
      const auto open = item.rfind('<');
      if (open != std::string::npos && item.back() == '>')
        item = item.substr(open + 1, item.size() - open - 2);
      CheckAddress(item, TAddressRole::Recipient);
      addresses.push_back(item);
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (addresses.empty()) throw ENoticeError("no recipient given", "Es ist kein Empfänger angegeben.");
  return addresses;
}

std::string ComposeNotice(const TNoticeHeaders &headers, const std::string &body) {
  std::string to;
  for (const auto &r : headers.Recipients)
    to += (to.empty() ? "" : ", ") + r;
  const bool plain = PlainText(body);
  std::string text;
  text += "From: Korvane Service <" + headers.Sender + ">\r\n";
  text += "Reply-To: " + headers.Sender + "\r\n";
  text += "To: " + to + "\r\n";
  text += std::string("Subject: ") + kNoticeSubject + "\r\n";
  text += "Date: " + headers.Date + "\r\n";
  text += "Message-ID: " + headers.MessageId + "\r\n";
  text += std::string("X-Mailer: ") + kNoticeMailer + "\r\n";
  text += "MIME-Version: 1.0\r\n";
  text += "Content-Type: text/plain; charset=UTF-8\r\n";
  text += std::string("Content-Transfer-Encoding: ") + (plain ? "7bit" : "quoted-printable") + "\r\n";
  text += "\r\n";
  text += plain ? body : QuotedPrintable(body);
  if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) text += "\r\n";
  return text;
}

std::optional<uint16_t> ParsePort(const std::string &text) {
  const std::string t = Trim(text);
  if (t.empty() || t.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value < 1 || value > 65535) return std::nullopt;
  return static_cast<uint16_t>(value);
}

} // namespace kv::app
