#include "outputs/mail_dates.h"

#include <chrono>
#include <cstdint>

#include "outputs/given_headers.h"
#include "outputs/mail_folder.h"

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

// Days since 1970-01-01 of a civil date, the inverse of the steps above.
int64_t DaysOf(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

bool IsLeapYear(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int64_t year, int month) {
  static const int Days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : Days[month - 1];
}

// Seconds between 1601-01-01 and 1970-01-01, where file times and Unix times start.
const int64_t FileTimeEpoch = 11644473600;

// A Date: field's value, read left to right.
struct DateText {
  const char *At, *End;
};

// Passes over white space and comments, which may nest.
void SkipBlanks(DateText *text) {
  int depth = 0;
  for (; text->At < text->End; ++text->At) {
    const char c = *text->At;
    if (c == '(') {
      ++depth;
    } else if (c == ')' && depth > 0) {
      --depth;
    } else if (c == '\\' && depth > 0 && text->At + 1 < text->End) {
      ++text->At;
    } else if (depth == 0 && c != ' ' && c != '\t' && c != '\r' && c != '\n') {
      return;
    }
  }
}

bool IsLetter(char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The letters at the reader, in lower case; up to 16 are kept.
std::string Word(DateText *text) {
  SkipBlanks(text);
  std::string word;
  for (; text->At < text->End && IsLetter(*text->At); ++text->At)
    if (word.size() < 16) word += char(*text->At | 0x20);
  return word;
}

// The digits at the reader as a number, and how many there were (0: none;
// more than 9 are not read).
int64_t Number(DateText *text, int *digits) {
  SkipBlanks(text);
  int64_t value = 0;
  for (*digits = 0; text->At < text->End && IsDigit(*text->At); ++text->At, ++*digits)
    if (*digits < 10) value = value * 10 + (*text->At - '0');
  if (*digits > 9) *digits = 0;
  return value;
}

bool Take(DateText *text, char c) {
  SkipBlanks(text);
  if (text->At == text->End || *text->At != c) return false;
  ++text->At;
  return true;
}

// The zone after the time, in minutes east of UTC: "+hhmm" or "-hhmm", or
// a name of RFC 822's; none, or another name, counts as UTC (-0000).
bool ReadZone(DateText *text, int *zone) {
  *zone = 0;
  SkipBlanks(text);
  if (text->At < text->End && (*text->At == '+' || *text->At == '-')) {
    const int sign = *text->At == '-' ? -1 : 1;
    ++text->At;
    int digits = 0;
    const int64_t hhmm = Number(text, &digits);
    if (digits != 4 || hhmm % 100 > 59) return false;
    *zone = sign * int(hhmm / 100 * 60 + hhmm % 100);
    return true;
  }
  static const struct {
    const char *Name;
    int Hours;
  } Names[] = {{"est", -5}, {"edt", -4}, {"cst", -6}, {"cdt", -5},
               {"mst", -7}, {"mdt", -6}, {"pst", -8}, {"pdt", -7}};
  const std::string name = Word(text);
  for (const auto &known : Names)
    if (name == known.Name) *zone = known.Hours * 60;
  return true;
}

}  // namespace

int64_t SecondsNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool ReadHeaderDate(const char *value, size_t size, MailTime *time) {
  static const char MonthNames[] = "janfebmaraprmayjunjulaugsepoctnovdec";
  DateText text = {value, value + size};
  // A weekday, with its comma or without.
  SkipBlanks(&text);
  if (text.At < text.End && IsLetter(*text.At)) {
    Word(&text);
    Take(&text, ',');
  }
  int digits = 0;
  const int64_t day = Number(&text, &digits);
  if (digits < 1 || digits > 2) return false;
  const std::string month_name = Word(&text);
  int month = 0;
  for (int m = 0; m < 12 && month_name.size() >= 3; ++m)
    if (month_name.compare(0, 3, MonthNames + 3 * m, 3) == 0) month = m + 1;
  if (month == 0) return false;
  int64_t year = Number(&text, &digits);
  if (digits < 2) return false;
  if (digits == 2) year += year < 50 ? 2000 : 1900;
  if (digits == 3) year += 1900;
  int hour_digits = 0, minute_digits = 0, second_digits = 2;
  const int64_t hour = Number(&text, &hour_digits);
  int64_t minute = Take(&text, ':') ? Number(&text, &minute_digits) : 0, second = 0;
  if (Take(&text, ':')) second = Number(&text, &second_digits);
  int zone = 0;
  if (day < 1 || day > DaysInMonth(year, month) || hour_digits < 1 || hour_digits > 2 ||
      minute_digits < 1 || minute_digits > 2 || second_digits < 1 || second_digits > 2 ||
      hour > 23 || minute > 59 || second > 60 || !ReadZone(&text, &zone))
    return false;
  if (second == 60) second = 59;  // a leap second, which the calendar here has not
  time->Known = true;
  time->Zone = zone;
  time->Seconds = DaysOf(year, month, int(day)) * 86400 + hour * 3600 + minute * 60 + second -
                  int64_t(zone) * 60;
  return true;
}

MailTime ChooseMailTime(const IndexDateText &index, const std::string *own_date, int64_t now) {
  MailTime time = {};
  const bool trusted = own_date != nullptr &&
                       ReadHeaderDate(own_date->data(), own_date->size(), &time) &&
                       time.Seconds >= EarliestMailSeconds && time.Seconds <= now;
  if (trusted) return time;
  time = {};
  if (index.Month == 0) return time;
  // The given Date: states the index's time with the zone -0000: as UTC.
  const int64_t seconds = DaysOf(index.Year, index.Month, index.Day) * 86400 +
                          int64_t(index.Hour) * 3600 + int64_t(index.Minute) * 60;
  if (seconds >= EarliestMailSeconds && seconds <= now) time = {true, seconds, 0};
  return time;
}

FILETIME FileTimeOf(const MailTime &time) {
  FILETIME file_time = {};
  if (!time.Known) return file_time;
  const uint64_t ticks = uint64_t(time.Seconds + FileTimeEpoch) * 10000000u;
  file_time.dwLowDateTime = DWORD(ticks);
  file_time.dwHighDateTime = DWORD(ticks >> 32);
  return file_time;
}

bool InternalDateOf(const MailFolder &folder, int position, const char *message, size_t size,
                    MailCalendar *date) {
  // Read as DecideGiven reads a message: --exact keeps an envelope line and
  // lone CRs.
  if (size == 0) message = "";
  MessageHead head = {};
  DecideHeaders(message, size, true, false, &head);
  std::string value;
  const size_t skipped = head.EnvelopeSize;
  const bool has_date =
      head.Given != BlockGiven && FindDateField(message + skipped, size - skipped, true,
                                                head.LoneCr, &value) == DateFieldFound;
  const MailTime time =
      ChooseMailTime(folder.Dates[size_t(position)], has_date ? &value : nullptr, SecondsNow());
  if (!time.Known) return false;
  const Calendar c = CalendarOf(time.Seconds + int64_t(time.Zone) * 60);
  *date = {c.Year, c.Month, c.Day, c.Hour, c.Minute, c.Second, time.Zone};
  return true;
}

namespace {

// " HH:MM:SS", as both date lines put it.
void AppendClock(std::string *text, const Calendar &c) {
  *text += ' ';
  AppendDecimal(text, c.Hour, 2);
  *text += ':';
  AppendDecimal(text, c.Minute, 2);
  *text += ':';
  AppendDecimal(text, c.Second, 2);
}

}  // namespace

std::string AsctimeOf(int64_t seconds) {
  const Calendar c = CalendarOf(seconds);
  // "%s %s %2d %02d:%02d:%02d %lld" by hand: one for every message of an mbox.
  std::string text = Weekdays[c.Weekday];
  text += ' ';
  text += Months[c.Month - 1];
  text += c.Day < 10 ? "  " : " ";
  AppendDecimal(&text, c.Day);
  AppendClock(&text, c);
  text += ' ';
  AppendDecimal(&text, c.Year);
  return text;
}

void AppendDecimal(std::string *text, int64_t value, int digits) {
  char reversed[24];
  int count = 0;
  uint64_t left = value < 0 ? 0 - uint64_t(value) : uint64_t(value);
  do {
    reversed[count++] = char('0' + left % 10);
    left /= 10;
  } while (left > 0);
  if (value < 0) text->push_back('-');
  for (; digits > count; --digits) text->push_back('0');
  while (count > 0) text->push_back(reversed[--count]);
}

std::string UnzonedHeaderDate(int64_t year, int month, int day, int hour, int minute) {
  const Calendar c = CalendarOf(DaysOf(year, month, day) * 86400 + hour * 3600 + minute * 60);
  // "%s, %d %s %lld %02d:%02d:%02d -0000"
  std::string text = Weekdays[c.Weekday];
  text += ", ";
  AppendDecimal(&text, c.Day);
  text += ' ';
  text += Months[c.Month - 1];
  text += ' ';
  AppendDecimal(&text, c.Year);
  AppendClock(&text, c);
  text += " -0000";
  return text;
}
