#include "core/datetime.h"

#include <cmath>

#include "core/exceptions.h"
#include "core/system.h"

namespace orn {

namespace {

constexpr int64_t MsPerDay = 86400000;

// Days from 1 March of year 0 style civil counting (proleptic Gregorian), shifted so that
// 30 December 1899 is day 0.
int64_t DaysFromCivil(int64_t Y, int M, int D) {
  Y -= M <= 2;
  const int64_t Era = (Y >= 0 ? Y : Y - 399) / 400;
  const int64_t Yoe = Y - Era * 400;
  const int64_t Doy = (153 * (M + (M > 2 ? -3 : 9)) + 2) / 5 + D - 1;
  const int64_t Doe = Yoe * 365 + Yoe / 4 - Yoe / 100 + Doy;
  return Era * 146097 + Doe - 719468;
}

const int64_t EpochShift = DaysFromCivil(1899, 12, 30);

void CivilFromDays(int64_t Z, int& Year, int& Month, int& Day) {
  Z += 719468;
  const int64_t Era = (Z >= 0 ? Z : Z - 146096) / 146097;
  const int64_t Doe = Z - Era * 146097;
  const int64_t Yoe = (Doe - Doe / 1460 + Doe / 36524 - Doe / 146096) / 365;
  const int64_t Doy = Doe - (365 * Yoe + Yoe / 4 - Yoe / 100);
  const int64_t Mp = (5 * Doy + 2) / 153;
  Day = static_cast<int>(Doy - (153 * Mp + 2) / 5 + 1);
  Month = static_cast<int>(Mp < 10 ? Mp + 3 : Mp - 9);
  Year = static_cast<int>(Yoe + Era * 400 + (Month <= 2));
}

// Day number (0 = 30 December 1899) of a valid date.
int64_t DayNumber(int Year, int Month, int Day) {
  return DaysFromCivil(Year, Month, Day) - EpochShift;
}

const int64_t MinDay = DaysFromCivil(1, 1, 1) - EpochShift;
const int64_t MaxDay = DaysFromCivil(9999, 12, 31) - EpochShift;

bool ValidDate(int Year, int Month, int Day) {
  return Year >= 1 && Year <= 9999 && Month >= 1 && Month <= 12 && Day >= 1 &&
         Day <= DaysInMonth(Year, Month);
}

bool ValidTime(int Hour, int Minute, int Second, int Millisecond) {
  return Hour >= 0 && Hour < 24 && Minute >= 0 && Minute < 60 && Second >= 0 && Second < 60 &&
         Millisecond >= 0 && Millisecond < 1000;
}

// Parts of day number DayNo and milliseconds into the day.
TDateTimeParts PartsOf(int64_t DayNo, int64_t MsOfDay) {
  TDateTimeParts P;
  CivilFromDays(DayNo + EpochShift, P.Year, P.Month, P.Day);
  P.Hour = static_cast<int>(MsOfDay / 3600000);
  P.Minute = static_cast<int>(MsOfDay / 60000 % 60);
  P.Second = static_cast<int>(MsOfDay / 1000 % 60);
  P.Millisecond = static_cast<int>(MsOfDay % 1000);
  // Day 0 (30 December 1899) was a Saturday.
  P.DayOfWeek = static_cast<int>(((DayNo + 6) % 7 + 7) % 7);
  return P;
}

}  // namespace

bool IsLeapYear(int Year) {
  return Year % 4 == 0 && (Year % 100 != 0 || Year % 400 == 0);
}

int DaysInMonth(int Year, int Month) {
  static const int Days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (Month < 1 || Month > 12) return 0;
  return Days[Month - 1] + (Month == 2 && IsLeapYear(Year) ? 1 : 0);
}

bool IsValidDateTime(const TDateTimeParts& P) {
  return ValidDate(P.Year, P.Month, P.Day) && ValidTime(P.Hour, P.Minute, P.Second, P.Millisecond);
}

TDateTime EncodeDate(int Year, int Month, int Day) {
  if (!ValidDate(Year, Month, Day)) throw EConvertError("Invalid argument to date encode");
  return static_cast<TDateTime>(DayNumber(Year, Month, Day));
}

TDateTime EncodeTime(int Hour, int Minute, int Second, int Millisecond) {
  if (!ValidTime(Hour, Minute, Second, Millisecond))
    throw EConvertError("Invalid argument to time encode");
  const int64_t Ms = ((Hour * 60 + Minute) * 60 + Second) * 1000 + Millisecond;
  return static_cast<TDateTime>(Ms) / MsPerDay;
}

TDateTime EncodeDateTime(const TDateTimeParts& P) {
  const TDateTime Date = EncodeDate(P.Year, P.Month, P.Day);
  const TDateTime Time = EncodeTime(P.Hour, P.Minute, P.Second, P.Millisecond);
  // Before the epoch the day count is negative and the time of day still counts forward,
  // so it is stored as a fraction of the same sign: -1.25 is 29 December 1899, 06:00.
  return Date < 0 ? Date - Time : Date + Time;
}

TDateTimeParts DecodeDateTime(TDateTime Value) {
  if (!std::isfinite(Value) || Value < static_cast<double>(MinDay) - 1 ||
      Value > static_cast<double>(MaxDay) + 1)
    throw EConvertError("Invalid date value");
  int64_t DayNo = static_cast<int64_t>(std::trunc(Value));
  int64_t Ms = std::llround(std::fabs(Value - static_cast<double>(DayNo)) * MsPerDay);
  if (Ms >= MsPerDay) {
    Ms -= MsPerDay;
    ++DayNo;
  }
  if (DayNo < MinDay || DayNo > MaxDay) throw EConvertError("Invalid date value");
  return PartsOf(DayNo, Ms);
}

int DayOfWeek(int Year, int Month, int Day) {
  if (!ValidDate(Year, Month, Day)) throw EConvertError("Invalid argument to date encode");
  return PartsOf(DayNumber(Year, Month, Day), 0).DayOfWeek;
}

TDateTimeParts AddMilliseconds(const TDateTimeParts& P, int64_t Milliseconds) {
  if (!IsValidDateTime(P)) throw EConvertError("Invalid argument to date encode");
  const int64_t Start = DayNumber(P.Year, P.Month, P.Day) * MsPerDay +
                        ((int64_t{P.Hour} * 60 + P.Minute) * 60 + P.Second) * 1000 + P.Millisecond;
  // The calendar spans about 3.2e14 ms; anything that leaves it is an error, and the
  // bounds are checked before adding so the sum cannot overflow.
  const int64_t Lo = MinDay * MsPerDay;
  const int64_t Hi = (MaxDay + 1) * MsPerDay - 1;
  if (Milliseconds < Lo - Start || Milliseconds > Hi - Start)
    throw EConvertError("Invalid date value");
  const int64_t Total = Start + Milliseconds;
  int64_t DayNo = Total / MsPerDay;
  int64_t Ms = Total % MsPerDay;
  if (Ms < 0) {
    Ms += MsPerDay;
    --DayNo;
  }
  return PartsOf(DayNo, Ms);
}

TDateTimeParts NowParts() {
  return SystemServices().LocalTime();
}

TDateTime Now() {
  return EncodeDateTime(SystemServices().LocalTime());
}

}  // namespace orn
