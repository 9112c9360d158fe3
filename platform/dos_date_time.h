// The stand-in for the Windows call DosDateTimeToFileTime, for builds on
// other systems: inline, as the listing converts every record's date with it.
// It behaves as the Windows one does as far as the plug-in can tell.
// Included by platform/win_types.h, after the types it uses.
#pragma once

#include <cstdint>

inline BOOL DosDateTimeToFileTime(WORD fat_date, WORD fat_time, FILETIME *file_time) {
  // Windows checks February against 29 days whatever the year; 29 February of
  // a common year then comes out as 1 March.
  static constexpr uint8_t DaysInMonth[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  static constexpr uint16_t DaysBeforeMonth[12] = {0,   31,  59,  90,  120, 151,
                                                   181, 212, 243, 273, 304, 334};
  const uint32_t DaysFrom1601To1980 = 138426;
  const uint32_t years = fat_date >> 9;  // since 1980
  const uint32_t month = (fat_date >> 5) & 0x0F;
  const uint32_t day = fat_date & 0x1F;
  const uint32_t hour = fat_time >> 11;
  const uint32_t minute = (fat_time >> 5) & 0x3F;
  const uint32_t second = (fat_time & 0x1F) * 2;
  if (month - 1 > 11 || day < 1 || day > DaysInMonth[month - 1] || hour > 23 || minute > 59 ||
      second > 59)
    return FALSE;
  // Of the DOS years 1980-2107 every fourth is a leap year but 2100.
  const uint32_t year = 1980 + years;
  const uint32_t leap_days_before = (years + 3) / 4 - (year > 2100 ? 1 : 0);
  const bool leap = years % 4 == 0 && year != 2100;
  const uint32_t days = DaysFrom1601To1980 + years * 365 + leap_days_before +
                        DaysBeforeMonth[month - 1] + (leap && month > 2 ? 1 : 0) + day - 1;
  const uint64_t seconds = uint64_t(days) * 86400 + hour * 3600 + minute * 60 + second;
  const uint64_t ticks = seconds * 10000000u;
  file_time->dwLowDateTime = DWORD(ticks);
  file_time->dwHighDateTime = DWORD(ticks >> 32);
  return TRUE;
}
