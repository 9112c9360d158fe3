// make_seeds: writes the fuzzers' seed corpora from folder descriptions with
// the project's folder writer.
//
//   make_seeds fuzz/corpus
//
// writes fuzz/corpus/folder/NAME (inputs as fuzz/fuzz_inputs.h lays them out)
// and fuzz/corpus/recognition/NAME (an index file's first record, or a few
// leading bytes).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/mkfolder/folder_writer.h"

namespace {

namespace fs = std::filesystem;

struct Seed {
  const char *Name;
  int Mode;  // the folder input's mode byte
  const char *Description;
};

const Seed Seeds[] = {
    {"sample", 0, R"(
message
  name Re: lunch on Friday?
  description Joe Bloggs
  date 12 Mar 00 14:35
  body From: Joe\r\nSubject: lunch\r\n\r\nOne o'clock.\r\n
message
  flags 0x00040080
  name    Old newsletter
  description news@example.org
  date 1 Jan 00 00:15
  body-fill 300
message
  flags 0
  name
  description Postmaster
  date 28 Feb 00 18:00
  body Delivered.\r\n
)"},
    {"flag-words", 0, R"(
message
  flags 0x2080
  name a
  body one
message
  flags 0x4080
  name b
  body two
message
  flags 0x6080
  name c
  body three
)"},
    {"full-width-texts", 0, R"(
message
  name 123456789012345678901234567890123456
  description 123456789012345678901234567890
  date 123456789012345678901234
  body full
)"},
    {"dates", 0, R"(
message
  name first-of-january
  date 1 Jan 00 00:00
message
  name two-digit-day
  date 31 Dec 99 23:59
message
  name no-month
  date 12 Xyz 00 14:35
message
  name four-digit-year
  date 5 May 2001 7:05
message
  name garbage
  date \xff\x80\x01 -7 Feb -1 -1:-1
message
  name huge-numbers
  date 4294967297 Mar 9999999 :
)"},
    {"offsets-and-sizes", 0, R"(
message
  name negative
  offset 0x80000000
  size 10
  body abcdefghij
message
  name minus-one
  offset -1
  size -1
message
  name cut
  offset 5
  size 5000
message
  name past-end
  offset 100000
  size 3
message
  name huge
  offset 0x7fffffff
  size 0x7fffffff
)"},
    {"data-missing", 1, R"(
message
  name a
  body abc
no-data
)"},
    {"data-directory", 2, R"(
message
  name a
  body abc
message
  name empty
)"},
    {"data-truncated", 3, R"(
message
  name long
  body-fill 200
message
  name later
  body-fill 50
data-truncate 120
)"},
    {"index-tail", 0, R"(
message
  name a
  body abc
message
  name b
  body def
index-tail 117
)"},
    {"forbidden-names", 0, R"(
message
  name :*?"<>|
  body stars
message
  name \x01\x1f/\\
  body controls
message
  name ..
  body dots
message
  name .
  body dot
message
  name \x20\x20\x20
  description
  body blank
)"},
    {"device-names", 0, R"(
message
  name CON
  body console
message
  name nul.txt
  body null
message
  name com1
  body port
message
  name LPT9.x.y
  body printer
message
  name COM0
  body not a device
)"},
    {"twins", 0, R"(
message
  name twin
  body the first and longer one
message
  name twin
  body second
)"},
    {"shrinks", 4, R"(
message
  name a
  body aaa
message
  name b
  body bbb
message
  name c
  body ccc
message
  name d
  body ddd
)"},
    {"grows", 8, R"(
message
  name a
  body aaa
message
  name b
  body bbb
)"},
    {"emptied", 12, R"(
message
  name a
  body aaa
)"},
    {"hidden-read-only", 0, R"(
message
  flags 0x00040000
  name hidden
  body h
message
  flags 0xffffffff
  name every-flag
  body f
)"},
    {"empty-folder", 0, ""},
};

// Leading bytes around the recognition rule.
const struct {
  const char *Name;
  std::string Bytes;
} Words[] = {
    {"word-8000-short", std::string("\x80\x00\x00\x00", 4)},
    {"word-8000", std::string("\x80\x00\x00\x00\x00", 5)},
    {"word-8060", std::string("\x80\x60\x00\x00\x00", 5)},
    {"word-8080", std::string("\x80\x80\x00\x00\x00", 5)},
    {"word-8100", std::string("\x81\x00\x00\x00\x00", 5)},
    {"word-0000", std::string("\x00\x00\x00\x00\x00", 5)},
};

bool WriteBytes(const fs::path &path, const std::string &bytes) {
  std::ofstream output(path, std::ios::binary | std::ios::trunc);
  output << bytes;
  return bool(output);
}

std::string ReadBytes(const fs::path &path) {
  std::ifstream input(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << input.rdbuf();
  return bytes.str();
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    fputs("usage: make_seeds CORPUS_DIR\n", stderr);
    return 2;
  }
  const fs::path corpus = argv[1];
  fs::create_directories(corpus / "folder");
  fs::create_directories(corpus / "recognition");
  const fs::path scratch = fs::temp_directory_path() / "vessor-make-seeds";
  fs::create_directories(scratch);
  const std::string index = (scratch / "INBOX.IDX").string();
  int status = 0;
  for (const Seed &seed : Seeds) {
    fs::remove(index);
    fs::remove(DataPathFor(index));
    std::string error;
    if (!WriteFolder(seed.Description, index, &error)) {
      fprintf(stderr, "make_seeds: %s: %s\n", seed.Name, error.c_str());
      status = 1;
      continue;
    }
    const std::string index_bytes = ReadBytes(index);
    const std::string data_bytes =
        fs::exists(DataPathFor(index)) ? ReadBytes(DataPathFor(index)) : "";
    std::string input(1, char(seed.Mode));
    input += char(index_bytes.size() & 0xFF);
    input += char(index_bytes.size() >> 8 & 0xFF);
    input += index_bytes + data_bytes;
    if (!WriteBytes(corpus / "folder" / seed.Name, input) ||
        (!index_bytes.empty() &&
         !WriteBytes(corpus / "recognition" / seed.Name, index_bytes.substr(0, 118))))
      status = 1;
  }
  for (const auto &word : Words)
    if (!WriteBytes(corpus / "recognition" / word.Name, word.Bytes)) status = 1;
  fs::remove_all(scratch);
  return status;
}
