// Stand-ins for the two Windows calls the plug-in makes, for builds on other
// systems. They behave as the Windows ones do as far as the plug-in can tell.
#include <cstdio>

#include "host/win_types.h"

namespace {

const int DaysInMonth[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// Days from 1 January 1601 to the given date of the proleptic Gregorian calendar.
int64_t DaysSince1601(int64_t year, int64_t month, int64_t day) {
  const int64_t y = year - (month <= 2 ? 1 : 0);
  const int64_t era_year = y - 1600;  // 1600 starts a 400-year cycle
  const int64_t month_from_march = (month + 9) % 12;
  const int64_t day_of_year = (153 * month_from_march + 2) / 5 + day - 1;
  const int64_t days_from_1600_03_01 =
      era_year * 365 + era_year / 4 - era_year / 100 + era_year / 400 + day_of_year;
  return days_from_1600_03_01 - 306;  // 1 March 1600 to 1 January 1601
}

}  // namespace

BOOL DosDateTimeToFileTime(WORD fat_date, WORD fat_time, FILETIME *file_time) {
  const int year = 1980 + (fat_date >> 9);
  const int month = (fat_date >> 5) & 0x0F;
  const int day = fat_date & 0x1F;
  const int hour = fat_time >> 11;
  const int minute = (fat_time >> 5) & 0x3F;
  const int second = (fat_time & 0x1F) * 2;
  // Windows checks February against 29 days whatever the year; 29 February of
  // a common year then comes out as 1 March.
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth[month - 1] || hour > 23 ||
      minute > 59 || second > 59)
    return FALSE;
  const int64_t seconds =
      DaysSince1601(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  const uint64_t ticks = uint64_t(seconds) * 10000000u;
  file_time->dwLowDateTime = DWORD(ticks);
  file_time->dwHighDateTime = DWORD(ticks >> 32);
  return TRUE;
}

extern "C" __attribute__((weak, visibility("default"))) int MessageBoxA(HWND, const char *text,
                                                                      const char *caption, UINT) {
  fprintf(stderr, "%s: %s\n", caption, text);
  return 1;  // IDOK
}
