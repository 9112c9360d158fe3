// The index texts as a person reads them: decoded from the mail program's
// code page by the system's converter, escaped where they are no UTF-8, and
// measured in the columns a terminal gives them.
#include "outputs/text_charset.h"

#include <gtest/gtest.h>

#include "tools/vfolder/escaped_text.h"

namespace {

struct DecodeRow {
  const char *Charset, *Bytes, *Utf8;
};

const DecodeRow DecodeRows[] = {
    {"cp1251", "\xce\xf2\xf7\xb8\xf2", "\xd0\x9e\xd1\x82\xd1\x87\xd1\x91\xd1\x82"},     // Отчёт
    {"CP866", "\x91\xe7\xf1\xe2", "\xd0\xa1\xd1\x87\xd1\x91\xd1\x82"},                 // Счёт
    {"cp437", "\x9a\x81 \xc9", "\xc3\x9c\xc3\xbc \xe2\x95\x94"},                      // Üü ╔
    {"cp850", "\xd5", "\xc4\xb1"},                                                    // ı
    {"cp1250", "\x8a\x9e", "\xc5\xa0\xc5\xbe"},                                       // Šž
    {"cp1252", "caf\xe9 \x80", "caf\xc3\xa9 \xe2\x82\xac"},                           // café €
    {"utf-8", "caf\xc3\xa9 \xff", "caf\xc3\xa9 \xff"},  // a byte that is none stays
};

class CharsetDecoding : public testing::TestWithParam<DecodeRow> {};

}  // namespace

TEST_P(CharsetDecoding, GivesUtf8) {
  TextCharset charset = {};
  ASSERT_TRUE(OpenTextCharset(GetParam().Charset, &charset));
  EXPECT_EQ(DecodedText(&charset, GetParam().Bytes), GetParam().Utf8);
  EXPECT_EQ(DecodedText(&charset, ""), "");
  CloseTextCharset(&charset);
}

INSTANTIATE_TEST_SUITE_P(Rows, CharsetDecoding, testing::ValuesIn(DecodeRows));

TEST(TextCharset, AnUnknownNameIsRefused) {
  TextCharset charset = {};
  EXPECT_FALSE(OpenTextCharset("no-such-charset", &charset));
  EXPECT_EQ(DecodedText(nullptr, "\xce\xf2"), "\xce\xf2");
}

// What reaches a terminal: UTF-8 without a control in it, and its width.
TEST(TextCharset, TableTextAndItsWidth) {
  const struct {
    const char *Text, *Shown;
    size_t Width;
  } rows[] = {
      {"plain", "plain", 5},
      {"\xce\xf2\xf7", "\\xce\\xf2\\xf7", 12},             // cp1251 bytes
      {"\xd0\x9e\xd1\x82", "\xd0\x9e\xd1\x82", 2},          // От
      {"a\tb\\\x1b[2J", "a\\tb\\\\\\x1b[2J", 13},           // controls, a backslash
      {"\xc2\x9b" "31m", "\\u009b31m", 9},                  // C1's CSI
      {"\xe6\x97\xa5\xe6\x9c\xac", "\xe6\x97\xa5\xe6\x9c\xac", 4},  // 日本: wide
      {"e\xcc\x81", "e\xcc\x81", 1},                        // e and a combining accent
      {"\xed\xa0\x80\xc0\xaf", "\\xed\\xa0\\x80\\xc0\\xaf", 20},  // a surrogate, an overlong
  };
  for (const auto &row : rows) {
    EXPECT_EQ(TableText(row.Text), row.Shown) << row.Text;
    EXPECT_EQ(DisplayWidth(TableText(row.Text)), row.Width) << row.Text;
  }
  EXPECT_EQ(PaddedTo("\xd0\x9e\xd1\x82", 4), "\xd0\x9e\xd1\x82  ");
}

#ifdef _WIN32
// The console's code page: what the table becomes on a Russian console.
TEST(TextCharset, ConsoleCodePage) {
  EXPECT_EQ(InCodePage("\xd0\xa1\xd1\x87\xd1\x91\xd1\x82", 866), "\x91\xe7\xf1\xe2");
  EXPECT_EQ(InCodePage("\xd0\xa1 \xe6\x97\xa5", 1252), "? ?");
}
#endif
