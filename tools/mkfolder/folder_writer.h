// Writes a Vessor mail folder (index file and data folder file) from a
// readable description, for samples, tests and fuzzing seeds.
//
// The description is a list of lines; blank lines and lines starting with '#'
// are skipped. "message" starts a record; the lines after it set its fields,
// each as a keyword, one space and the value (the rest of the line, kept as it
// stands, with the escapes \\ \n \r \t \0 and \xHH):
//   flags N        RecordFlags (decimal or 0x hex); default 0x80
//   name TEXT      NameText (at most 36 bytes; 36 leaves it unterminated)
//   description T  DescriptionText (at most 30 bytes)
//   date TEXT      DateText (at most 24 bytes)
//   body TEXT      the message, appended to the data folder file
//   body-fill N    a message of N pattern bytes instead
//   offset N       DataOffset; default where the body begins
//   size N         MessageSize; default the body's length
// Folder-wide lines: "index-tail N" adds N bytes after the last record,
// "data-truncate N" cuts the data folder file to N bytes, and "no-data" writes
// no data folder file at all.
#pragma once

#include <cstdint>
#include <string>

bool WriteFolder(const std::string &description, const std::string &index_path, std::string *error);

// The data folder file's path for an index path: its last character made 'M'.
std::string DataPathFor(const std::string &index_path);

// One index record's fields, for a writer that makes records by itself (the
// benchmark's folders of a million records).
struct FolderRecord {
  uint32_t Flags;
  std::string Name, Description, Date;
  uint32_t Offset, Size;
};

// The 118 bytes of the record into `out`, texts zero-padded (one as long as
// its field fills it without a terminator). False when a text is longer.
bool EncodeIndexRecord(const FolderRecord &record, unsigned char *out);
