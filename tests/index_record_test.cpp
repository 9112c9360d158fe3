// Recognition, pairing, counting and reading of index records.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "folder/vessor_folder.h"

namespace {

bool Recognised(unsigned first, unsigned second, int size = 128) {
  unsigned char data[128] = {};
  data[0] = (unsigned char)first;
  data[1] = (unsigned char)second;
  return IsIndexFile(data, size);
}

std::string Paired(const char *path) {
  char *data_path = PairedDataPath(path);
  std::string result = data_path != nullptr ? data_path : "(null)";
  free(data_path);
  return result;
}

}  // namespace

TEST(Recognition, AcceptsExactlyTheFourFlagWords) {
  int accepted = 0;
  for (unsigned word = 0; word <= 0xFFFF; ++word) {
    const bool expected = word == 0x0080 || word == 0x2080 || word == 0x4080 || word == 0x6080;
    EXPECT_EQ(Recognised(word & 0xFF, word >> 8), expected) << std::hex << word;
    accepted += Recognised(word & 0xFF, word >> 8);
  }
  EXPECT_EQ(accepted, 4);
}

TEST(Recognition, NeedsMoreThanFourBytes) {
  for (int size = -1; size <= 4; ++size) EXPECT_FALSE(Recognised(0x80, 0x00, size)) << size;
  EXPECT_TRUE(Recognised(0x80, 0x00, 5));
  EXPECT_FALSE(IsIndexFile(nullptr, 128));
}

TEST(Pairing, ReplacesTheLastCharacterOnly) {
  EXPECT_EQ(Paired("D:\\MAIL\\INBOX.IDX"), "D:\\MAIL\\INBOX.IDM");
  EXPECT_EQ(Paired("D:\\MAIL\\X.M"), "D:\\MAIL\\X.M");
  EXPECT_EQ(Paired("/mail/inbox.idx"), "/mail/inbox.idM");
  EXPECT_EQ(Paired("x"), "M");
}

TEST(Pairing, EmptyOrMissingPathFails) {
  EXPECT_EQ(PairedDataPath(""), nullptr);
  EXPECT_EQ(PairedDataPath(nullptr), nullptr);
}

TEST(RecordCount, WholeRecordsOnly) {
  EXPECT_EQ(CountIndexRecords(0), 0);
  EXPECT_EQ(CountIndexRecords(117), 0);
  EXPECT_EQ(CountIndexRecords(118), 1);
  EXPECT_EQ(CountIndexRecords(237), 2);
  EXPECT_EQ(CountIndexRecords(-5), 0);
  EXPECT_EQ(CountIndexRecords(int64_t(118) * 3000000000LL + 5), 3000000000LL);
}

TEST(RecordReading, FieldsAtTheirOffsetsLittleEndian) {
  unsigned char bytes[IndexRecordSize] = {};
  const unsigned char flags[] = {0x80, 0x00, 0x04, 0x00};
  const unsigned char offset[] = {0x78, 0x56, 0x34, 0x92};  // negative as signed
  const unsigned char size[] = {0xC4, 0x09, 0x00, 0x00};    // 2500
  memcpy(bytes + 0, flags, 4);
  memcpy(bytes + 4, offset, 4);
  memcpy(bytes + 24, "Joe", 3);
  memcpy(bytes + 54, "  Re: lunch?", 12);
  memcpy(bytes + 90, "12 Mar 00 14:35", 15);
  memcpy(bytes + 114, size, 4);
  IndexRecord record;
  DecodeIndexRecord(bytes, &record);
  EXPECT_EQ(record.RecordFlags, 0x00040080u);
  EXPECT_EQ(record.DataOffset, int32_t(0x92345678u));
  EXPECT_STREQ(record.DescriptionText, "Joe");
  EXPECT_STREQ(record.NameText, "  Re: lunch?");
  EXPECT_STREQ(record.DateText, "12 Mar 00 14:35");
  EXPECT_EQ(record.MessageSize, 2500);
}

TEST(RecordReading, FullWidthFieldsEndAtTheirOwnField) {
  unsigned char bytes[IndexRecordSize];
  memset(bytes, 'x', sizeof bytes);  // no zero byte anywhere
  IndexRecord record;
  DecodeIndexRecord(bytes, &record);
  EXPECT_EQ(strlen(record.DescriptionText), size_t(DescriptionTextSize));
  EXPECT_EQ(strlen(record.NameText), size_t(NameTextSize));
  EXPECT_EQ(strlen(record.DateText), size_t(DateTextSize));
}
