#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/datetime.h"
#include "core/exceptions.h"

using namespace orn;

namespace {
TDateTimeParts Parts(int Y, int Mo, int D, int H = 0, int Mi = 0, int S = 0, int Ms = 0) {
  TDateTimeParts P;
  P.Year = Y;
  P.Month = Mo;
  P.Day = D;
  P.Hour = H;
  P.Minute = Mi;
  P.Second = S;
  P.Millisecond = Ms;
  return P;
}
}  // namespace

TEST(DateTime, DayNumbersAndWeekdays) {
  struct Case {
    int Y, M, D;
    double Serial;
    int Weekday;
  };
  const Case Cases[] = {
      {1899, 12, 30, 0, 6},   {1899, 12, 29, -1, 5},      {1900, 1, 1, 2, 1},
      {1970, 1, 1, 25569, 4}, {2000, 1, 1, 36526, 6},     {2024, 12, 25, 45651, 3},
      {1, 1, 1, -693593, 1},  {9999, 12, 31, 2958465, 5},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.Y << "-" << C.M << "-" << C.D);
    EXPECT_EQ(EncodeDate(C.Y, C.M, C.D), C.Serial);
    EXPECT_EQ(DayOfWeek(C.Y, C.M, C.D), C.Weekday);
    const TDateTimeParts P = DecodeDateTime(C.Serial);
    EXPECT_EQ(P, Parts(C.Y, C.M, C.D));
    EXPECT_EQ(P.DayOfWeek, C.Weekday);
  }
}

TEST(DateTime, LeapYearsAndMonthLengths) {
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_TRUE(IsLeapYear(2024));
  EXPECT_FALSE(IsLeapYear(2023));
  EXPECT_EQ(DaysInMonth(2024, 2), 29);
  EXPECT_EQ(DaysInMonth(2023, 2), 28);
  EXPECT_EQ(DaysInMonth(2023, 12), 31);
  EXPECT_EQ(DaysInMonth(2023, 13), 0);
}

TEST(DateTime, RoundTripsWithMillisecondsAroundTheEpoch) {
  const TDateTimeParts Cases[] = {
      Parts(2023, 12, 25, 0, 0, 1),    Parts(2024, 2, 29, 23, 59, 59, 999),
      Parts(1899, 12, 29, 6, 0, 0),    Parts(1899, 12, 30, 0, 0, 0, 1),
      Parts(1, 1, 1, 12, 30, 15, 500), Parts(9999, 12, 31, 23, 59, 59, 999),
  };
  for (const TDateTimeParts& P : Cases) {
    SCOPED_TRACE(EncodeDateTime(P));
    EXPECT_EQ(DecodeDateTime(EncodeDateTime(P)), P);
  }
  // Before the epoch the time of day is a fraction of the same sign as the day.
  EXPECT_DOUBLE_EQ(EncodeDateTime(Parts(1899, 12, 29, 6)), -1.25);
  // A value a hair below midnight rounds to the next day, not to hour 24.
  EXPECT_EQ(DecodeDateTime(2.0 - 1e-10), Parts(1900, 1, 1));
}

TEST(DateTime, DifferencesCountDaysWithFraction) {
  const TDateTime Target = EncodeDate(2023, 12, 26);
  struct Case {
    TDateTimeParts Now;
    int64_t Whole;
  };
  const Case Cases[] = {
      {Parts(2023, 12, 24), 2},
      {Parts(2023, 12, 24, 12), 1},
      {Parts(2023, 12, 25), 1},
      {Parts(2023, 12, 25, 0, 0, 1), 0},
      {Parts(2023, 12, 26, 23, 59, 59), 0},
      {Parts(2023, 12, 27), -1},
  };
  for (const Case& C : Cases) {
    const double D = Target - EncodeDateTime(C.Now);
    EXPECT_EQ(static_cast<int64_t>(std::trunc(D)), C.Whole) << D;
  }
}

TEST(DateTime, InvalidFieldsRaise) {
  struct Case {
    TDateTimeParts P;
    const char* Message;
  };
  const Case Cases[] = {
      {Parts(2023, 2, 29), "Invalid argument to date encode"},
      {Parts(2023, 13, 1), "Invalid argument to date encode"},
      {Parts(0, 1, 1), "Invalid argument to date encode"},
      {Parts(2023, 1, 0), "Invalid argument to date encode"},
      {Parts(2023, 1, 1, 24), "Invalid argument to time encode"},
      {Parts(2023, 1, 1, 0, 60), "Invalid argument to time encode"},
      {Parts(2023, 1, 1, 0, 0, 0, 1000), "Invalid argument to time encode"},
      {Parts(2023, 1, 1, 0, 0, -1), "Invalid argument to time encode"},
  };
  for (const Case& C : Cases) {
    EXPECT_FALSE(IsValidDateTime(C.P));
    try {
      EncodeDateTime(C.P);
      ADD_FAILURE() << C.Message;
    } catch (const EConvertError& E) {
      EXPECT_STREQ(E.what(), C.Message);
    }
  }
  EXPECT_THROW(DecodeDateTime(std::numeric_limits<double>::quiet_NaN()), EConvertError);
  EXPECT_THROW(DecodeDateTime(1e300), EConvertError);
  EXPECT_THROW(DecodeDateTime(-693594.5), EConvertError);
}

TEST(DateTime, AddMillisecondsCarriesAndStaysInRange) {
  EXPECT_EQ(AddMilliseconds(Parts(2023, 12, 31, 23, 59, 59, 999), 1), Parts(2024, 1, 1));
  EXPECT_EQ(AddMilliseconds(Parts(2024, 3, 1), -1), Parts(2024, 2, 29, 23, 59, 59, 999));
  EXPECT_EQ(AddMilliseconds(Parts(2024, 3, 1), -86400000ll * 366), Parts(2023, 3, 1));
  EXPECT_THROW(AddMilliseconds(Parts(9999, 12, 31, 23, 59, 59, 999), 1), EConvertError);
  EXPECT_THROW(AddMilliseconds(Parts(1, 1, 1), -1), EConvertError);
  EXPECT_THROW(AddMilliseconds(Parts(2024, 1, 1), std::numeric_limits<int64_t>::max()),
               EConvertError);
  EXPECT_THROW(AddMilliseconds(Parts(2024, 1, 1), std::numeric_limits<int64_t>::min()),
               EConvertError);
}
