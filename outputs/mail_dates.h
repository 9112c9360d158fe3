// An item's dates as mail files write them, and the one moment every output
// gives a message: the mbox From line, the files' times, the IMAP internal
// date.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "folder/vessor_folder.h"
#include "platform/win_types.h"

struct MailFolder;

// A moment given to a message.
struct MailTime {
  bool Known;       // false where no date can be trusted: none is given
  int64_t Seconds;  // since 1970-01-01 00:00 UTC
  int Zone;         // the offset its Date: states, in minutes east of UTC
};

// 1 January 1902 00:00 UTC: servers that keep times in 32 bits hold nothing
// before the end of 1901, so no earlier moment is given.
const int64_t EarliestMailSeconds = -2145916800;

// The clock's time now, in seconds since 1970-01-01 00:00 UTC.
int64_t SecondsNow();

// Appends `value` in decimal with at least `digits` digits, zeros first: a
// printf's work on the few numbers each message is given, at a tenth of its
// cost.
void AppendDecimal(std::string *text, int64_t value, int digits = 1);

// The seconds since 1970-01-01 00:00 UTC as asctime() writes them,
// "Sun Mar 12 13:35:00 2000".
std::string AsctimeOf(int64_t seconds);

// A date and time of no known zone (month 1-12) in the form of a Date:
// header with the zone -0000 that mail keeps for a local time whose offset
// was not recorded: "Fri, 1 Jan 1999 00:00:00 -0000".
std::string UnzonedHeaderDate(int64_t year, int month, int day, int hour, int minute);

// Reads a Date: field's value as mail readers do: RFC 5322's date-time with
// its obsolete forms (comments, zone names, a weekday or none); a two-digit
// year 00-49 is 20xx and 50-99 19xx, a three-digit one adds 1900; a missing
// or unknown zone counts as UTC. False when it states no date that exists.
bool ReadHeaderDate(const char *value, size_t size, MailTime *time);

// The moment a message is given: its Date: field's value `own_date` (null
// where the message as the output holds it has none, given or its own), or,
// where that states no date between EarliestMailSeconds and `now`, the item's
// index date `index` (Month 0: none) read as UTC, as the given Date: states
// it; not Known where neither is such a date.
MailTime ChooseMailTime(const IndexDateText &index, const std::string *own_date, int64_t now);

// The file time of a moment; zero (none is set) where it is not Known.
FILETIME FileTimeOf(const MailTime &time);

// A moment in the calendar of its own zone, as an IMAP internal date states it.
struct MailCalendar {
  int64_t Year;
  int Month, Day, Hour, Minute, Second;  // Month 1-12
  int Zone;                              // minutes east of UTC
};

// The internal date message `position` of the folder is given, from its bytes
// as the output holds them (headers given included) and its index date, at
// the clock's time now: false where none can be trusted and the server's
// time is to stand.
bool InternalDateOf(const MailFolder &folder, int position, const char *message, size_t size,
                    MailCalendar *date);
