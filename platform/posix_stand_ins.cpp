// Stand-ins for the two Windows calls the plug-in makes, for builds on other
// systems. They behave as the Windows ones do as far as the plug-in can tell.
#include <cstdio>

#include "platform/win_types.h"

namespace {

const int DaysInMonth[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
const int DaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
const int DaysFrom1601To1980 = 138426;

// Days from 1 January 1601 to a date of the DOS years 1980-2107, of which
// every fourth is a leap year but 2100.
int DaysSince1601(int year, int month, int day) {
  const int years = year - 1980;
  const int leap_days_before = (years + 3) / 4 - (year > 2100 ? 1 : 0);
  const bool leap = years % 4 == 0 && year != 2100;
  return DaysFrom1601To1980 + years * 365 + leap_days_before + DaysBeforeMonth[month - 1] +
         (leap && month > 2 ? 1 : 0) + day - 1;
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
      int64_t(DaysSince1601(year, month, day)) * 86400 + hour * 3600 + minute * 60 + second;
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
