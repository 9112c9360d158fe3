// An item's date as mail files write it, always in UTC.
#pragma once

#include <string>

#include "platform/win_types.h"

// A UTC file time as asctime() writes it, "Sun Mar 12 13:35:00 2000"; the
// Unix epoch for a zero time, which stands for a date that was not known.
std::string AsctimeOf(const FILETIME &time);

// A UTC file time in the form of a Date: header, "Sun, 12 Mar 2000 13:35:00
// +0000".
std::string HeaderDateOf(const FILETIME &time);
