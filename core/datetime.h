// Local date and time. A point in time is a TDateTime: days since 30 December 1899 with the
// time of day as the fraction (millisecond resolution), so the difference of two values is a
// number of days. TDateTimeParts holds the same point broken into calendar fields.
#pragma once

#include <cstdint>

namespace orn {

using TDateTime = double;

struct TDateTimeParts {
  int Year = 1899;      // 1 ... 9999
  int Month = 12;       // 1 ... 12
  int Day = 30;         // 1 ... days of the month
  int Hour = 0;         // 0 ... 23
  int Minute = 0;       // 0 ... 59
  int Second = 0;       // 0 ... 59
  int Millisecond = 0;  // 0 ... 999
  int DayOfWeek = 6;    // 0 = Sunday ... 6 = Saturday; filled in by every function that
                        // produces parts, ignored by every function that reads them

  bool operator==(const TDateTimeParts& O) const {
    return Year == O.Year && Month == O.Month && Day == O.Day && Hour == O.Hour &&
           Minute == O.Minute && Second == O.Second && Millisecond == O.Millisecond;
  }
};

bool IsLeapYear(int Year);
// Days in Month of Year; 0 for a month outside 1 ... 12.
int DaysInMonth(int Year, int Month);
// True when the fields name a real date and time (DayOfWeek is not checked).
bool IsValidDateTime(const TDateTimeParts& Parts);

// Raise EConvertError "Invalid argument to date encode" / "Invalid argument to time encode"
// for fields out of range.
TDateTime EncodeDate(int Year, int Month, int Day);
TDateTime EncodeTime(int Hour, int Minute, int Second, int Millisecond);
TDateTime EncodeDateTime(const TDateTimeParts& Parts);
// Breaks a value into fields, rounded to the nearest millisecond. Raises EConvertError
// "Invalid date value" outside years 1 ... 9999.
TDateTimeParts DecodeDateTime(TDateTime Value);
// 0 = Sunday ... 6 = Saturday.
int DayOfWeek(int Year, int Month, int Day);

// Adds Milliseconds (may be negative) to Parts; the result is normalised and has its
// DayOfWeek set.
TDateTimeParts AddMilliseconds(const TDateTimeParts& Parts, int64_t Milliseconds);

// The current local date and time from the installed system services' clock.
TDateTimeParts NowParts();
TDateTime Now();

}  // namespace orn
