// The Vessor mail folder: an index file of fixed 118-byte records and the data
// folder file beside it that holds the messages' bytes. Both are only read.
#pragma once

#include <cstddef>
#include <cstdint>

// Layout of one index record (little-endian integers, no header or trailer).
enum : size_t {
  IndexRecordSize = 118,
  RecordFlagsOffset = 0,
  DataOffsetOffset = 4,
  DescriptionTextOffset = 24,
  DescriptionTextSize = 30,
  NameTextOffset = 54,
  NameTextSize = 36,
  DateTextOffset = 90,
  DateTextSize = 24,
  MessageSizeOffset = 114,
};

// Flag bits of RecordFlags that the listing turns into attributes.
enum : uint32_t {
  RecordFlagWritable = 0x00000080,  // clear: the item is shown read-only
  RecordFlagHidden = 0x00040000,
};

// The attributes a message entry carries: the values of the system's own
// read-only and hidden file attributes.
enum : uint32_t {
  EntryReadOnly = 0x00000001,
  EntryHidden = 0x00000002,
};

// One index record as read from the file. Each text holds its whole field
// followed by a zero byte of our own, so a field the mail program filled to
// the brim still ends inside the buffer.
struct IndexRecord {
  uint32_t RecordFlags;
  int32_t DataOffset;
  char DescriptionText[DescriptionTextSize + 1];
  char NameText[NameTextSize + 1];
  char DateText[DateTextSize + 1];
  int32_t MessageSize;
};

struct MonthEntry {
  char Name[4];
  int Days;
};

// Calendar months, February always with 28 days.
extern const MonthEntry MonthTable[12];

// True when the file's leading bytes have the shape of an index record's flags.
bool IsIndexFile(const unsigned char *data, int size);

// The data folder file's path: the index path with its last character replaced
// by 'M'. Returns a new heap text (free it), or null for an empty path or when
// memory runs out.
char *PairedDataPath(const char *index_path);

// The number of whole records in an index file of the given size.
int64_t CountIndexRecords(int64_t file_size);

// The integer fields of one record's 118 bytes. Every reader of a record
// takes its fields through these and the offsets above.
inline uint32_t RecordWordAt(const unsigned char *record, size_t offset) {
  const unsigned char *bytes = record + offset;
  return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
         uint32_t(bytes[3]) << 24;
}
inline uint32_t RecordFlagsOf(const unsigned char *record) {
  return RecordWordAt(record, RecordFlagsOffset);
}
inline uint32_t DataOffsetOf(const unsigned char *record) {
  return RecordWordAt(record, DataOffsetOffset);
}
inline uint32_t MessageSizeOf(const unsigned char *record) {
  return RecordWordAt(record, MessageSizeOffset);
}

// Splits the 118 bytes of one record into its fields.
void DecodeIndexRecord(const unsigned char *bytes, IndexRecord *record);

// Decodes a record's date text into a packed DOS date (low word) and time (high
// word), one hour earlier than written. `text` is the writable DateText buffer
// of an IndexRecord (the whole field and a zero byte); one byte of it is
// overwritten on the way.
uint32_t DecodeIndexDate(char *text);

// DecodeIndexDate on the date text of one record's 118 bytes, which it leaves
// as they are.
uint32_t DecodeRecordDate(const unsigned char *record);

// The date and time a date text states, as the mail program wrote them in its
// local time: Year with its century, Month 1-12.
struct IndexDateText {
  int32_t Year;
  int Month, Day, Hour, Minute;
};

// True when `text` (an unchanged DateText buffer) is in the mail program's
// form, "12 Mar 00 14:35" (a day of one or two digits, or a space and one,
// the month name in any case, a two-digit year, hour and minute at their
// places, nothing but seconds after), and states a day of its month, an hour
// below 24 and a minute below 60; `*date` then holds them. False for every
// other text, which states no date: DecodeIndexDate still makes one of it.
bool ReadIndexDateText(const char *text, IndexDateText *date);

// DecodeIndexDate by scanning each number as "%d" does, the way every text
// that is not in the mail program's own form is decoded: for each text the
// same result as DecodeIndexDate, which takes that form at fixed places.
uint32_t ScanIndexDate(char *text);

// ReadIndexDateText on the date text of one record's 118 bytes.
bool ReadRecordDate(const unsigned char *record, IndexDateText *date);
