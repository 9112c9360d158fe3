// Decoding of an index record's date text ("12 Mar 00 14:35") into a packed
// DOS date and time, moved back by one hour.
#include "folder/vessor_folder.h"

#include <cstring>

constexpr MonthEntry MonthTable[12] = {
    {"Jan", 31}, {"Feb", 28}, {"Mar", 31}, {"Apr", 30}, {"May", 31}, {"Jun", 30},
    {"Jul", 31}, {"Aug", 31}, {"Sep", 30}, {"Oct", 31}, {"Nov", 30}, {"Dec", 31},
};

namespace {

bool IsScanSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Scans a decimal integer the way "%d" does: white space, an optional sign,
// digits. Digits beyond 32 bits wrap modulo 2^32 rather than being undefined,
// so every platform gives the same answer. Returns null when no digit follows,
// otherwise the position after the number.
const char *ScanDecimal(const char *text, int32_t *value) {
  while (IsScanSpace(*text)) ++text;
  const bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  if (*text < '0' || *text > '9') return nullptr;
  uint32_t magnitude = 0;
  for (; *text >= '0' && *text <= '9'; ++text) magnitude = magnitude * 10u + uint32_t(*text - '0');
  *value = int32_t(negative ? 0u - magnitude : magnitude);
  return text;
}

int32_t WrappingAdd(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }

bool IsLeapYear(int32_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

constexpr char AsciiLowerOf(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

constexpr uint32_t MonthKey(char a, char b, char c) {
  return uint32_t(uint8_t(a)) << 16 | uint32_t(uint8_t(b)) << 8 | uint8_t(c);
}

struct MonthKeys {
  uint32_t Key[12];
};

// Each month name in lower case as one number.
constexpr MonthKeys MakeMonthKeys() {
  MonthKeys keys = {};
  for (int month = 0; month < 12; ++month) {
    const char *name = MonthTable[month].Name;
    keys.Key[month] = MonthKey(AsciiLowerOf(name[0]), AsciiLowerOf(name[1]), AsciiLowerOf(name[2]));
  }
  return keys;
}

constexpr MonthKeys LowerMonthKeys = MakeMonthKeys();

// Each key to one of 16 places, where no two month names meet.
constexpr int MonthPlace(uint32_t key) { return int((key * 0xEFB9F2C7u) >> 28); }

struct MonthPlaces {
  int8_t Month[16];  // the month index at each place, -1 for none
};

constexpr MonthPlaces MakeMonthPlaces() {
  MonthPlaces places = {};
  for (int8_t &month : places.Month) month = -1;
  for (int month = 0; month < 12; ++month)
    places.Month[MonthPlace(LowerMonthKeys.Key[month])] = int8_t(month);
  return places;
}

constexpr MonthPlaces MonthAt = MakeMonthPlaces();

constexpr bool EveryMonthHasItsPlace() {
  for (int month = 0; month < 12; ++month)
    if (MonthAt.Month[MonthPlace(LowerMonthKeys.Key[month])] != month) return false;
  return true;
}
static_assert(EveryMonthHasItsPlace(), "two month names share a place");

// The index of the month name equal to the three characters, ignoring the
// case of A-Z; 12 when none is. OR-ing in 0x20 turns exactly 'A'-'Z' and
// 'a'-'z' into the lower-case letters of the names, so comparing with a
// name's lower-case key does what comparing letter by letter does; the one
// name that can match is found by its place.
int FindMonth(const char *name) {
  const uint32_t key = MonthKey(char(name[0] | 0x20), char(name[1] | 0x20), char(name[2] | 0x20));
  const int month = MonthAt.Month[MonthPlace(key)];
  return month >= 0 && LowerMonthKeys.Key[month] == key ? month : 12;
}

int32_t Digit(char c) { return c - '0'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int32_t TwoDigits(const char *at) { return Digit(at[0]) * 10 + Digit(at[1]); }

// The eight bytes from `at`, the first lowest, in one load.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "EightBytesAt takes the first byte as the lowest"
#endif
inline uint64_t EightBytesAt(const char *at) {
  uint64_t word;
  memcpy(&word, at, sizeof word);
  return word;
}

// In the eight bytes " YY HH?MM" that follow a month name's three letters
// (from its place 4 to 11): the digits' bytes and the space's, their high
// halves, and what those hold in the mail program's form. A digit is a byte
// of high half 3 whose low half plus 6 stays below 16.
const uint64_t DigitBytes = 0xFFFF00FFFF00FFFFu;
const uint64_t FormMask = 0xF0F000F0F0FFF0F0u;
const uint64_t FormValue = 0x3030003030203030u;
const uint64_t DigitLowCarry = 0x0606000606000606u;

// True for the text the mail program writes: a day of one digit, or of two
// or a space and one, then the month name, " YY HH?MM" and no further digit.
// `rest` is EightBytesAt(month_name + 4).
inline bool IsWellFormed(const char *text, const char *month_name, uint64_t rest) {
  const bool day = month_name == text + 2
                       ? IsDigit(text[0]) && text[1] == ' '
                       : (IsDigit(text[0]) || text[0] == ' ') && IsDigit(text[1]);
  return day && (rest & FormMask) == FormValue &&
         ((rest + DigitLowCarry) & FormMask & DigitBytes) == (FormValue & DigitBytes) &&
         !IsDigit(month_name[12]);
}

// The three two-digit numbers of `rest` at once, each in the byte of its
// first digit (0, 3 and 6): tens times ten plus ones stays below 256.
inline uint64_t TwoDigitNumbersOf(uint64_t rest) {
  const uint64_t digits = rest & 0x0F0F000F0F000F0Fu;
  return digits * 10 + (digits >> 8);
}

// Moves the date back by one hour, applies the year window and packs it.
inline uint32_t PackShifted(int32_t day, int month, int32_t year, int32_t hour, int32_t minute) {
  if (year < 50) year += 2000;
  if (year < 100) year += 1900;

  if (hour != 0) {
    hour = WrappingAdd(hour, -1);
  } else {
    hour = 23;
    day = WrappingAdd(day, -1);
    if (day < 1) {
      // Before the first of January lies the last of December of the year
      // before; the table has no month before January.
      if (month == 0) {
        month = 12;
        year = WrappingAdd(year, -1);
      }
      month -= 1;
      day = MonthTable[month].Days;
      // The table's February has 28 days; the day before 1 March of a leap
      // year is the 29th.
      if (month == 1 && IsLeapYear(year)) day = 29;
    }
  }

  return uint32_t(day) + uint32_t(month + 1) * 32u + (uint32_t(year) - 1980u) * 512u +
         uint32_t(minute) * (1u << 21) + uint32_t(hour) * (1u << 27);
}

}  // namespace

uint32_t ScanIndexDate(char *text) {
  int32_t day = 0, year = 0, hour = 0, minute = 0;
  char *month_name = text + (text[2] == ' ' ? 3 : 2);
  const int month = FindMonth(month_name);
  ScanDecimal(text, &day);
  month_name[9] = ' ';  // the colon between hour and minute
  const char *rest = ScanDecimal(month_name + 4, &year);
  if (rest != nullptr) rest = ScanDecimal(rest, &hour);
  if (rest != nullptr) ScanDecimal(rest, &minute);
  return PackShifted(day, month, year, hour, minute);
}

namespace {

// DecodeIndexDate for a text in the mail program's form, read at its fixed
// places only; false for any other text, which is left to ScanIndexDate.
// The text holds at least 16 bytes (every place below is at most 15).
inline bool DecodeFixedPlaces(const char *text, uint32_t *packed) {
  const char *month_name = text + (text[2] == ' ' ? 3 : 2);
  const uint64_t rest = EightBytesAt(month_name + 4);
  if (!IsWellFormed(text, month_name, rest)) return false;
  // What the scans give for such a text, without scanning.
  const int month = FindMonth(month_name);
  const int32_t day = month_name == text + 2
                          ? Digit(text[0])
                          : (text[0] == ' ' ? 0 : Digit(text[0]) * 10) + Digit(text[1]);
  const uint64_t numbers = TwoDigitNumbersOf(rest);
  *packed = PackShifted(day, month, int32_t(numbers & 0xFF), int32_t((numbers >> 24) & 0xFF),
                        int32_t((numbers >> 48) & 0xFF));
  return true;
}

}  // namespace

uint32_t DecodeIndexDate(char *text) {
  // The text buffer holds at least 24 bytes and a zero.
  uint32_t packed;
  if (!DecodeFixedPlaces(text, &packed)) return ScanIndexDate(text);
  text[(text[2] == ' ' ? 3 : 2) + 9] = ' ';  // as the scan leaves it
  return packed;
}

uint32_t DecodeRecordDate(const unsigned char *record) {
  // The fixed places lie inside the record's field: no copy is needed.
  uint32_t packed;
  if (DecodeFixedPlaces(reinterpret_cast<const char *>(record + DateTextOffset), &packed))
    return packed;
  char text[DateTextSize + 1];
  memcpy(text, record + DateTextOffset, DateTextSize);
  text[DateTextSize] = '\0';
  return ScanIndexDate(text);
}

bool ReadIndexDateText(const char *text, IndexDateText *date) {
  const char *month_name = text + (text[2] == ' ' ? 3 : 2);
  const int month = FindMonth(month_name);
  if (month == 12 || month_name[9] != ':' ||
      !IsWellFormed(text, month_name, EightBytesAt(month_name + 4)))
    return false;
  const int day = month_name == text + 2
                      ? Digit(text[0])
                      : (text[0] == ' ' ? 0 : Digit(text[0]) * 10) + Digit(text[1]);
  int32_t year = TwoDigits(month_name + 4);
  year += year < 50 ? 2000 : 1900;
  const int days = month == 1 && IsLeapYear(year) ? 29 : MonthTable[month].Days;
  const int hour = TwoDigits(month_name + 7), minute = TwoDigits(month_name + 10);
  if (day < 1 || day > days || hour > 23 || minute > 59) return false;
  *date = {year, month + 1, day, hour, minute};
  return true;
}

bool ReadRecordDate(const unsigned char *record, IndexDateText *date) {
  char text[DateTextSize + 1];
  memcpy(text, record + DateTextOffset, DateTextSize);
  text[DateTextSize] = '\0';
  return ReadIndexDateText(text, date);
}
