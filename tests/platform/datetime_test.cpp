#include "platform/datetime.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace kv::platform;

TEST(DateTime, EpochsAndFieldsRoundTrip) {
  EXPECT_DOUBLE_EQ(InstantToDateTime({0, 0}), 25569.0);
  TDateTime dt = 0;
  ASSERT_TRUE(EncodeDateTime({2005, 3, 1, 13, 45, 30, 250}, dt));
  DateTimeFields f = DecodeDateTime(dt);
  EXPECT_EQ(f.year, 2005);
  EXPECT_EQ(f.month, 3);
  EXPECT_EQ(f.day, 1);
  EXPECT_EQ(f.hour, 13);
  EXPECT_EQ(f.minute, 45);
  EXPECT_EQ(f.second, 30);
  EXPECT_EQ(f.millisecond, 250);
  UtcInstant t = DateTimeToInstant(dt);
  EXPECT_EQ(t.seconds, 1109684730);
  EXPECT_EQ(t.nanoseconds, 250000000);
  // Before 1899-12-30 the day count is negative and the fraction still counts forward.
  ASSERT_TRUE(EncodeDateTime({1899, 12, 29, 6, 0, 0, 0}, dt));
  EXPECT_DOUBLE_EQ(dt, -0.75);
  EXPECT_EQ(DecodeDateTime(dt).hour, 6);
  EXPECT_FALSE(EncodeDateTime({2005, 2, 29, 0, 0, 0, 0}, dt));
  EXPECT_TRUE(EncodeDateTime({2004, 2, 29, 0, 0, 0, 0}, dt));
}

TEST(DateTime, ValuesNoCalendarHoldsAreDecodedWithoutOverflow) {
  EXPECT_EQ(DecodeDateTime(std::nan("")).year, 1899);
  EXPECT_GT(DecodeDateTime(1e300).year, 9999);
  EXPECT_LT(DecodeDateTime(-HUGE_VAL).year, 1);
  EXPECT_GT(DateTimeToInstant(HUGE_VAL).seconds, 0);
  EXPECT_LT(DateTimeToInstant(-1e300).seconds, 0);
  EXPECT_FALSE(DateTimeToStr(-1e300).empty());
}

TEST(DateTime, InstantArithmeticKeepsTheNanoseconds) {
  const UtcInstant t{1796757040, 999999990};
  // Carries across the second both ways, and a moved instant is as far away as it was moved.
  const UtcInstant later = AddSeconds(t, 20e-9), earlier = AddSeconds(t, -1.00000001);
  EXPECT_EQ(later.seconds, 1796757041);
  EXPECT_EQ(later.nanoseconds, 10);
  EXPECT_EQ(earlier.seconds, 1796757039);
  EXPECT_EQ(earlier.nanoseconds, 999999980);
  EXPECT_NEAR(SecondsBetween(t, later), 20e-9, 1e-15);
  EXPECT_NEAR(SecondsBetween(later, earlier), -1.00000003, 1e-15);
  // Nothing to move by: the instant stays.
  EXPECT_EQ(AddSeconds(t, std::nan("")).nanoseconds, t.nanoseconds);
  EXPECT_EQ(AddSeconds(t, HUGE_VAL).seconds, t.seconds);
}

TEST(DateTime, TextsFollowThePinnedRegionalSettings) {
  FormatSettings de;
  de.ShortDateFormat = "%d.%m.%Y";
  de.LongTimeFormat = "%H:%M:%S";
  de.DecimalSeparator = ',';
  SetFormatSettings(de);
  TDateTime dt = 0;
  ASSERT_TRUE(EncodeDateTime({2026, 12, 8, 7, 5, 9, 0}, dt));
  EXPECT_EQ(DateTimeToStr(dt), "08.12.2026 07:05:09");
  ASSERT_TRUE(EncodeDateTime({2026, 12, 8, 0, 0, 0, 0}, dt));
  EXPECT_EQ(DateTimeToStr(dt), "08.12.2026");
  EXPECT_EQ(FloatToStrF(0.0123456, 5), "0,01235");
  SetFormatSettings(ReadLocaleFormatSettings());
}
