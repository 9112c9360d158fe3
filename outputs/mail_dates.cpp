#include "outputs/mail_dates.h"

#include <cstdint>
#include <cstdio>

namespace {

const char Weekdays[7][4] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
const char Months[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct Calendar {
  int64_t Year;
  int Month, Day, Weekday;  // Month 1-12; Weekday 0 for Thursday, as 1 January 1970 was
  int Hour, Minute, Second;
};

// Seconds since 1970-01-01 00:00 to the calendar.
Calendar CalendarOf(int64_t seconds) {
  int64_t days = seconds / 86400, second_of_day = seconds % 86400;
  if (second_of_day < 0) second_of_day += 86400, days -= 1;
  Calendar calendar;
  calendar.Weekday = int(((days % 7) + 7) % 7);
  // Days since 1970-01-01 to the civil date, on the proleptic Gregorian
  // calendar, without the C library's time_t (32 bits on some systems).
  const int64_t shifted = days + 719468;
  const int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
  const int64_t day_of_era = shifted - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_index = (5 * day_of_year + 2) / 153;  // from March
  calendar.Day = int(day_of_year - (153 * month_index + 2) / 5 + 1);
  calendar.Month = int(month_index < 10 ? month_index + 3 : month_index - 9);
  calendar.Year = year_of_era + era * 400 + (calendar.Month <= 2 ? 1 : 0);
  calendar.Hour = int(second_of_day / 3600);
  calendar.Minute = int(second_of_day / 60 % 60);
  calendar.Second = int(second_of_day % 60);
  return calendar;
}

Calendar CalendarOf(const FILETIME &time) {
  const uint64_t ticks = uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
  return CalendarOf(ticks == 0 ? 0 : int64_t(ticks / 10000000u) - 11644473600);
}

// Days since 1970-01-01 of a civil date, the inverse of the steps above.
int64_t DaysOf(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

}  // namespace

std::string AsctimeOf(const FILETIME &time) {
  const Calendar c = CalendarOf(time);
  char text[64];
  snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %lld", Weekdays[c.Weekday],
           Months[c.Month - 1], c.Day, c.Hour, c.Minute, c.Second, static_cast<long long>(c.Year));
  return text;
}

std::string UnzonedHeaderDate(int64_t year, int month, int day, int hour, int minute) {
  const Calendar c = CalendarOf(DaysOf(year, month, day) * 86400 + hour * 3600 + minute * 60);
  char text[64];
  snprintf(text, sizeof text, "%s, %d %s %lld %02d:%02d:%02d -0000", Weekdays[c.Weekday], c.Day,
           Months[c.Month - 1], static_cast<long long>(c.Year), c.Hour, c.Minute, c.Second);
  return text;
}
