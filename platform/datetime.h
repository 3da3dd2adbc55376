#pragma once
// Date-time values as the application keeps them: days since 1899-12-30 00:00 with the time of
// day as the fraction (TDateTime), and the regional settings used to show them.

#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace kv::platform {

using TDateTime = double;

// Days from 1899-12-30 to 1970-01-01.
inline constexpr double kUnixEpochDays = 25569.0;

// UTC instant <-> TDateTime (same time scale, no time-zone shift).
TDateTime InstantToDateTime(const UtcInstant &t);
UtcInstant DateTimeToInstant(TDateTime dt);

// Broken-down fields of a TDateTime (proleptic Gregorian calendar).
struct DateTimeFields {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, millisecond = 0;
};
DateTimeFields DecodeDateTime(TDateTime dt);
// Returns false (and leaves `out` alone) for fields out of range.
bool EncodeDateTime(const DateTimeFields &f, TDateTime &out);

// The local time now, and a UTC TDateTime shifted into the local time zone.
TDateTime NowLocal();
TDateTime UtcToLocal(TDateTime utc);

// Regional settings read once from the C library's locale (setlocale(LC_ALL, "")).
// Formats are strftime patterns (nl_langinfo D_FMT / T_FMT).
struct FormatSettings {
  std::string ShortDateFormat = "%m/%d/%y";
  std::string LongTimeFormat = "%H:%M:%S";
  char DateSeparator = '/';
  char TimeSeparator = ':';
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
};

// Settings of the user's locale; the first call reads them.
const FormatSettings &CurrentFormatSettings();
// Pins the settings (tests, or a program that wants fixed output).
void SetFormatSettings(const FormatSettings &settings);
// Reads the settings from the locale now in effect for LC_TIME and LC_NUMERIC.
FormatSettings ReadLocaleFormatSettings();

// Texts in the current regional settings.
std::string DateToStr(TDateTime dt);
std::string TimeToStr(TDateTime dt);
// Date, then a blank and the time, like the framework's DateTimeToStr (the time is left out
// when it is exactly midnight).
std::string DateTimeToStr(TDateTime dt);
// Fixed-point number with `decimals` decimals and the regional decimal separator.
std::string FloatToStrF(double value, int decimals);

} // namespace kv::platform
