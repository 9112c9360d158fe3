// Decoding of date texts into packed DOS dates and times, one hour earlier.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "folder/vessor_folder.h"

namespace {

// Decodes `field` as the 24-byte DateText of a record (zero-padded, or cut to
// 24 bytes) plus the reader's own terminator.
uint32_t Decode(const std::string &field) {
  IndexRecord record;
  memset(record.DateText, 0, sizeof record.DateText);
  memcpy(record.DateText, field.data(), field.size() < 24 ? field.size() : 24);
  return DecodeIndexDate(record.DateText);
}

// Packs calendar values as the decoder does (month counted from 1).
uint32_t Pack(uint32_t day, uint32_t month, uint32_t year, uint32_t hour, uint32_t minute) {
  return day + month * 32u + (year - 1980u) * 512u + (minute << 21) + (hour << 27);
}

}  // namespace

TEST(DateDecoding, WorkedValues) {
  EXPECT_EQ(Decode("12 Mar 00 14:35"), 0x6C60286Cu);
  EXPECT_EQ(Decode("1 Mar 00 00:10"), 0xB940285Du);  // 29 February 2000, 23:10
  EXPECT_EQ(Decode("12 Mar 50 14:35"), 0x6C5FC46Cu);  // a year before 1980 borrows
}

TEST(DateDecoding, OneDigitDayWithOrWithoutLeadingSpace) {
  EXPECT_EQ(Decode("5 Mar 00 14:35"), Pack(5, 3, 2000, 13, 35));
  EXPECT_EQ(Decode(" 5 Mar 00 14:35"), Pack(5, 3, 2000, 13, 35));
}

TEST(DateDecoding, MonthNames) {
  EXPECT_EQ(Decode("12 mar 00 14:35"), Pack(12, 3, 2000, 13, 35));
  EXPECT_EQ(Decode("12 DEC 99 14:35"), Pack(12, 12, 1999, 13, 35));
  EXPECT_EQ(Decode("12 Xyz 00 14:35"), Pack(12, 13, 2000, 13, 35));
  const char *names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (uint32_t month = 1; month <= 12; ++month)
    EXPECT_EQ(Decode(std::string("10 ") + names[month - 1] + " 07 08:09"),
              Pack(10, month, 2007, 7, 9));
  // Any byte in place of a letter: the first name equal ignoring the case of
  // A-Z, or none.
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
  for (uint32_t month = 1; month <= 12; ++month)
    for (int place = 0; place < 3; ++place)
      for (int byte = 0; byte < 256; ++byte) {
        std::string text = std::string("10 ") + names[month - 1] + " 07 08:09";
        text[3 + place] = char(byte);
        uint32_t expected = 13;
        for (uint32_t m = 12; m >= 1; --m)
          if (lower(text[3]) == lower(names[m - 1][0]) && lower(text[4]) == lower(names[m - 1][1]) &&
              lower(text[5]) == lower(names[m - 1][2]))
            expected = m;
        EXPECT_EQ(Decode(text), Pack(10, expected, 2007, 7, 9)) << text;
      }
}

TEST(DateDecoding, YearWindow) {
  EXPECT_EQ(Decode("2 Mar 49 10:00"), Pack(2, 3, 2049, 9, 0));
  EXPECT_EQ(Decode("2 Mar 50 10:00"), Pack(2, 3, 1950, 9, 0));
  EXPECT_EQ(Decode("2 Mar 99 10:00"), Pack(2, 3, 1999, 9, 0));
}

TEST(DateDecoding, FourDigitYearMissesTheFixedPlaces) {
  EXPECT_EQ(Decode("12 Mar 2000 14:35"), Pack(12, 3, 2000, 3, 0));
}

TEST(DateDecoding, MidnightOnTheFirstBorrowsTheMonthBefore) {
  EXPECT_EQ(Decode("1 Apr 00 00:05"), Pack(31, 3, 2000, 23, 5));
  EXPECT_EQ(Decode("1 Dec 00 00:59"), Pack(30, 11, 2000, 23, 59));
  EXPECT_EQ(Decode("2 Mar 00 00:10"), Pack(1, 3, 2000, 23, 10));
  EXPECT_EQ(Decode("-3 Mar 01 00:10"), Pack(28, 2, 2001, 23, 10));
}

TEST(DateDecoding, MidnightOnTheFirstOfMarchKnowsLeapYears) {
  EXPECT_EQ(Decode("1 Mar 00 00:30"), Pack(29, 2, 2000, 23, 30));  // divisible by 400
  EXPECT_EQ(Decode("1 Mar 01 00:30"), Pack(28, 2, 2001, 23, 30));
  EXPECT_EQ(Decode("1 Mar 04 00:00"), Pack(29, 2, 2004, 23, 0));
  EXPECT_EQ(Decode("1 Mar 96 00:00"), Pack(29, 2, 1996, 23, 0));  // after the year window
  EXPECT_EQ(Decode("1 Mar 50 00:00"), Pack(28, 2, 1950, 23, 0));
}

TEST(DateDecoding, MidnightOnTheFirstOfJanuaryBorrowsTheYear) {
  EXPECT_EQ(Decode("1 Jan 00 00:10"), Pack(31, 12, 1999, 23, 10));
  EXPECT_EQ(Decode("1 Jan 50 00:10"), Pack(31, 12, 1949, 23, 10));
  EXPECT_EQ(Decode("0 Jan 07 00:00"), Pack(31, 12, 2006, 23, 0));
}

TEST(DateDecoding, EmptyFieldIsLastDayOfDecember2000) {
  EXPECT_EQ(Decode(""), Pack(31, 12, 2000, 23, 0));
}

TEST(DateDecoding, OverwritesTheColonInItsBuffer) {
  IndexRecord record;
  memset(record.DateText, 0, sizeof record.DateText);
  strcpy(record.DateText, "12 Mar 00 14:35");
  DecodeIndexDate(record.DateText);
  EXPECT_STREQ(record.DateText, "12 Mar 00 14 35");
}

TEST(DateDecoding, WorksOnTheWholeFieldPastAnEarlyZero) {
  std::string field(
      "12 Mar\0"
      "05 10:20",
      15);
  EXPECT_EQ(Decode(field), Pack(12, 3, 2005, 9, 20));
}

TEST(DateDecoding, FullWidthFieldWithoutZero) {
  const std::string field = "12 Mar 00 14:35:59 GMT+1";
  ASSERT_EQ(field.size(), 24u);
  EXPECT_EQ(Decode(field), Pack(12, 3, 2000, 13, 35));
}

TEST(DateDecoding, NumbersBeyond32BitsWrap) {
  // 4294967308 is 2^32 + 12. The month place then holds "949" and the year
  // place "7308", the day's last digits.
  EXPECT_EQ(Decode("4294967308 x 07 30"), Pack(12, 13, 7308, 6, 30));
}

TEST(DateDecoding, GarbageNeverLeavesTheField) {
  for (int fill = 1; fill < 256; ++fill) {
    IndexRecord record;
    memset(record.DateText, fill, DateTextSize);
    record.DateText[DateTextSize] = '\0';
    DecodeIndexDate(record.DateText);
    EXPECT_EQ(record.DateText[DateTextSize], '\0');
  }
}

// The fixed places and the scanning agree on every text: each well-formed
// one, and each with one byte at one of its places changed.
TEST(DateDecoding, FixedPlacesAgreeWithScanning) {
  const std::string texts[] = {"12 Mar 00 14:35", "5 Mar 00 14:35", " 5 Mar 00 14:35",
                               "1 Jan 00 00:10", "31 Dec 99 23:59", "12 Mar 00 14:355"};
  const char bytes[] = {'0', '7', '9', ' ', ':', '-', '+', 'x', '\0', '\t'};
  auto both = [](const std::string &text) {
    IndexRecord fast, scanned;
    memset(fast.DateText, 0, sizeof fast.DateText);
    memcpy(fast.DateText, text.data(), text.size() < 24 ? text.size() : 24);
    scanned = fast;
    EXPECT_EQ(DecodeIndexDate(fast.DateText), ScanIndexDate(scanned.DateText)) << text;
    EXPECT_EQ(std::string(fast.DateText, 24), std::string(scanned.DateText, 24)) << text;
  };
  for (const std::string &text : texts) {
    both(text);
    for (size_t place = 0; place < 17; ++place)
      for (char byte : bytes) {
        std::string changed = text + std::string(17 - std::min<size_t>(text.size(), 17), '\0');
        changed[place] = byte;
        both(changed);
      }
  }
}
