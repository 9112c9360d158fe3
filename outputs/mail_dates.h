// An item's dates as mail files write them.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win_types.h"

// A UTC file time as asctime() writes it, "Sun Mar 12 13:35:00 2000"; the
// Unix epoch for a zero time, which stands for a date that was not known.
std::string AsctimeOf(const FILETIME &time);

// A date and time of no known zone (month 1-12) in the form of a Date:
// header with the zone -0000 that mail keeps for a local time whose offset
// was not recorded: "Fri, 1 Jan 1999 00:00:00 -0000".
std::string UnzonedHeaderDate(int64_t year, int month, int day, int hour, int minute);
