// DosDateTimeToFileTime on a table of valid and invalid packed dates. The same
// table runs against the system's own function on Windows and against the
// stand-in elsewhere, so the two are held to one behaviour.
#include <gtest/gtest.h>

#include "platform/win_types.h"

namespace {

struct DosCase {
  const char *What;
  unsigned Year, Month, Day, Hour, Minute, SecondsField;
  bool Converts;
  uint64_t FileTime;
};

const DosCase DosCases[] = {
    {"worked value", 2000, 3, 12, 13, 35, 0, true, 125973417000000000ull},
    {"leap-year day before", 2000, 2, 28, 23, 10, 0, true, 125962530000000000ull},
    {"first DOS day", 1980, 1, 1, 0, 0, 0, true, 119600064000000000ull},
    {"last DOS moment", 2107, 12, 31, 23, 59, 29, true, 159992927980000000ull},
    {"29 Feb of a leap year", 2000, 2, 29, 0, 0, 0, true, 125962560000000000ull},
    {"29 Feb of a common year", 2001, 2, 29, 0, 0, 0, true, 126278784000000000ull},
    {"31 Jan", 2000, 1, 31, 0, 0, 0, true, 125937504000000000ull},
    {"last second field", 2000, 1, 1, 23, 59, 29, true, 125912447980000000ull},
    {"31 Dec 2000 23:00", 2000, 12, 31, 23, 0, 0, true, 126227772000000000ull},
    {"31 Dec 1999 23:10", 1999, 12, 31, 23, 10, 0, true, 125911554000000000ull},
    {"day 0", 2000, 1, 0, 0, 0, 0, false, 0},
    {"30 Feb of a common year", 2001, 2, 30, 0, 0, 0, false, 0},
    {"31 Feb of a common year", 2001, 2, 31, 0, 0, 0, false, 0},
    {"30 Feb of a leap year", 2000, 2, 30, 0, 0, 0, false, 0},
    {"31 Apr", 2000, 4, 31, 0, 0, 0, false, 0},
    {"31 Jun", 2000, 6, 31, 0, 0, 0, false, 0},
    {"month 0", 2000, 0, 1, 0, 0, 0, false, 0},
    {"month 13", 2000, 13, 1, 0, 0, 0, false, 0},
    {"month 14", 2000, 14, 1, 0, 0, 0, false, 0},
    {"month 15", 2000, 15, 1, 0, 0, 0, false, 0},
    {"hour 24", 2000, 1, 1, 24, 0, 0, false, 0},
    {"hour 31", 2000, 1, 1, 31, 0, 0, false, 0},
    {"minute 60", 2000, 1, 1, 0, 60, 0, false, 0},
    {"minute 63", 2000, 1, 1, 0, 63, 0, false, 0},
    {"seconds field 30", 2000, 1, 1, 0, 0, 30, false, 0},
    {"seconds field 31", 2000, 1, 1, 0, 0, 31, false, 0},
    {"a year before 1980 packed", 2078, 3, 12, 13, 34, 31, false, 0},
};

}  // namespace

TEST(DosDateTime, ConvertsAsWindowsDoes) {
  for (const DosCase &c : DosCases) {
    const WORD date = WORD(c.Day | c.Month << 5 | (c.Year - 1980) << 9);
    const WORD time = WORD(c.SecondsField | c.Minute << 5 | c.Hour << 11);
    FILETIME file_time = {0xDEADBEEF, 0xDEADBEEF};
    const bool converted = DosDateTimeToFileTime(date, time, &file_time) != 0;
    EXPECT_EQ(converted, c.Converts) << c.What;
    const uint64_t ticks = uint64_t(file_time.dwHighDateTime) << 32 | file_time.dwLowDateTime;
    EXPECT_EQ(ticks, c.Converts ? c.FileTime : 0xDEADBEEFDEADBEEFull) << c.What;
  }
}
