// The native hosts' sentences with their values put in: each language's
// text may name the values in its own order.
#include "host/shared/text_fill.h"

#include <gtest/gtest.h>

namespace {

TEST(FillText, PutsEachValueWhereTheTextNumbersIt) {
  const struct {
    const wchar_t *Text;
    const wchar_t *Filled;
  } rows[] = {
      {L"%1 %2: %3 saved, %4 failed", L"12 messages: 10 saved, 2 failed"},
      // Another order, a value twice, one left out.
      {L"%1 %2: сохранено %3, не сохранено %4", L"12 messages: сохранено 10, не сохранено 2"},
      {L"%4 of %1 failed (%4)", L"2 of 12 failed (2)"},
      {L"%3%%", L"10%"},
      // A place with no value, or none named, stays as written.
      {L"%5 %0 %x 100%", L"%5 %0 %x 100%"},
      {L"", L""},
  };
  for (const auto &row : rows)
    EXPECT_EQ(FillText(row.Text, {L"12", L"messages", L"10", L"2"}), row.Filled) << row.Text;
  EXPECT_EQ(FillText(L"to %1 and %2", {L"%2"}), L"to %2 and %2") << "a value is not read again";
  EXPECT_EQ(FillText(nullptr, {L"x"}), L"");
}

}  // namespace
