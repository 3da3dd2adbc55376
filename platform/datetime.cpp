#include "platform/datetime.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <langinfo.h>
#include <mutex>

namespace kv::platform {

namespace {

constexpr int64_t kMsPerDay = 86400000;

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int &y, int &m, int &d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
}

// Milliseconds since 1899-12-30, rounded to the nearest millisecond. NaN and values beyond
// some 27000 years are brought into range first, so no arithmetic on them can overflow.
int64_t ToMs(TDateTime dt) {
  constexpr double kLimitDays = 1e7;
  if (std::isnan(dt)) dt = 0;
  return static_cast<int64_t>(std::llround(std::clamp(dt, -kLimitDays, kLimitDays) * kMsPerDay));
}

// a / b rounded towards minus infinity (b > 0).
int64_t FloorDiv(int64_t a, int64_t b) {
  return a >= 0 ? a / b : -((-a + b - 1) / b);
}

std::tm ToTm(TDateTime dt) {
  DateTimeFields f = DecodeDateTime(dt);
  std::tm tm{};
  tm.tm_year = f.year - 1900;
  tm.tm_mon = f.month - 1;
  tm.tm_mday = f.day;
  tm.tm_hour = f.hour;
  tm.tm_min = f.minute;
  tm.tm_sec = f.second;
  // 1899-12-30 was a Saturday.
  tm.tm_wday = static_cast<int>((FloorDiv(ToMs(dt), kMsPerDay) % 7 + 7 + 6) % 7);
  return tm;
}

std::string Strftime(const std::string &format, TDateTime dt) {
  std::tm tm = ToTm(dt);
  char buf[256];
  size_t n = std::strftime(buf, sizeof buf, format.c_str(), &tm);
  return std::string(buf, n);
}

// The first character of `text` that is not a conversion and not alphanumeric, or `fallback`.
char SeparatorIn(const std::string &text, char fallback) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%') {
      ++i;
      continue;
    }
    if (!isalnum(static_cast<unsigned char>(text[i])) && text[i] != ' ') return text[i];
  }
  return fallback;
}

std::mutex g_mutex;
bool g_loaded = false;
FormatSettings g_settings;

} // namespace

TDateTime InstantToDateTime(const UtcInstant &t) {
  return kUnixEpochDays + (static_cast<double>(t.seconds) + t.nanoseconds / 1e9) / 86400.0;
}

UtcInstant DateTimeToInstant(TDateTime dt) {
  int64_t ms = ToMs(dt - kUnixEpochDays);
  int64_t s = FloorDiv(ms, 1000);
  return {s, static_cast<int32_t>((ms - s * 1000) * 1000000)};
}

DateTimeFields DecodeDateTime(TDateTime dt) {
  int64_t ms = ToMs(dt);
  int64_t days = FloorDiv(ms, kMsPerDay);
  int64_t rest = ms - days * kMsPerDay;
  DateTimeFields f;
  CivilFromDays(days + DaysFromCivil(1899, 12, 30), f.year, f.month, f.day);
  f.hour = static_cast<int>(rest / 3600000);
  f.minute = static_cast<int>(rest / 60000 % 60);
  f.second = static_cast<int>(rest / 1000 % 60);
  f.millisecond = static_cast<int>(rest % 1000);
  return f;
}

bool EncodeDateTime(const DateTimeFields &f, TDateTime &out) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (f.year < 1 || f.year > 9999 || f.month < 1 || f.month > 12) return false;
  bool leap = (f.year % 4 == 0 && f.year % 100 != 0) || f.year % 400 == 0;
  int dim = kDays[f.month - 1] + (f.month == 2 && leap ? 1 : 0);
  if (f.day < 1 || f.day > dim || f.hour < 0 || f.hour > 23 || f.minute < 0 || f.minute > 59 ||
      f.second < 0 || f.second > 59 || f.millisecond < 0 || f.millisecond > 999)
    return false;
  int64_t days = DaysFromCivil(f.year, f.month, f.day) - DaysFromCivil(1899, 12, 30);
  int64_t ms = ((f.hour * 60 + f.minute) * 60 + f.second) * 1000 + f.millisecond;
  out = static_cast<double>(days) + static_cast<double>(ms) / kMsPerDay;
  return true;
}

TDateTime UtcToLocal(TDateTime utc) {
  UtcInstant t = DateTimeToInstant(utc);
  time_t secs = static_cast<time_t>(t.seconds);
  std::tm local{};
  localtime_r(&secs, &local);
  return utc + static_cast<double>(local.tm_gmtoff) / 86400.0;
}

TDateTime NowLocal() {
  return UtcToLocal(InstantToDateTime(CurrentClock().Now()));
}

FormatSettings ReadLocaleFormatSettings() {
  FormatSettings s;
  s.ShortDateFormat = nl_langinfo(D_FMT);
  s.LongTimeFormat = nl_langinfo(T_FMT);
  if (s.ShortDateFormat.empty()) s.ShortDateFormat = "%m/%d/%y";
  if (s.LongTimeFormat.empty()) s.LongTimeFormat = "%H:%M:%S";
  s.DateSeparator = SeparatorIn(s.ShortDateFormat, '/');
  s.TimeSeparator = SeparatorIn(s.LongTimeFormat, ':');
  const lconv *lc = std::localeconv();
  s.DecimalSeparator = lc && lc->decimal_point && *lc->decimal_point ? *lc->decimal_point : '.';
  s.ThousandSeparator = lc && lc->thousands_sep && *lc->thousands_sep ? *lc->thousands_sep
                        : s.DecimalSeparator == ','                   ? '.'
                                                                      : ',';
  return s;
}

const FormatSettings &CurrentFormatSettings() {
  std::lock_guard lock(g_mutex);
  if (!g_loaded) {
    g_settings = ReadLocaleFormatSettings();
    g_loaded = true;
  }
  return g_settings;
}

void SetFormatSettings(const FormatSettings &settings) {
  std::lock_guard lock(g_mutex);
  g_settings = settings;
  g_loaded = true;
}

std::string DateToStr(TDateTime dt) {
  return Strftime(CurrentFormatSettings().ShortDateFormat, dt);
}

std::string TimeToStr(TDateTime dt) {
  return Strftime(CurrentFormatSettings().LongTimeFormat, dt);
}

std::string DateTimeToStr(TDateTime dt) {
  DateTimeFields f = DecodeDateTime(dt);
  if (f.hour == 0 && f.minute == 0 && f.second == 0 && f.millisecond == 0) return DateToStr(dt);
  return DateToStr(dt) + " " + TimeToStr(dt);
}

std::string FloatToStrF(double value, int decimals) {
  if (decimals < 0) decimals = 0;
  if (decimals > 18) decimals = 18;
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  std::string text = buf;
  for (char &c : text)
    if (c == '.') c = CurrentFormatSettings().DecimalSeparator;
  return text;
}

} // namespace kv::platform
