// The code page a folder's names are guessed to be in, from the character
// sets its messages declare, on folders written by mkfolder.
#include "message/folder_charset.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/test_support.h"

namespace {

// A message whose head holds `head` (header lines, \r\n between them).
std::string Message(const std::string &head) {
  return "message\nname x\nbody " + head + "\\r\\n\\r\\nbody\\r\\n\n";
}

std::string Messages(const std::string &head, int count) {
  std::string messages;
  for (int i = 0; i < count; ++i) messages += Message(head);
  return messages;
}

const char Latin[] = "Content-Type: text/plain; charset=windows-1252";
const char Koi8[] = "Content-Type: text/plain; charset=\"KOI8-R\"";

}  // namespace

TEST(FolderCharset, TakesTheCodePageTheMessagesDeclareMost) {
  struct Row {
    const char *What;
    std::string Folder;
    unsigned CodePage;
  } rows[] = {
      {"windows-1252", Messages(Latin, 3), 1252},
      {"koi8-r, quoted, in capitals", Messages(Koi8, 2), 20866},
      {"iso-8859-1 as 1252", Message("Content-Type: text/plain; charset=iso-8859-1"), 1252},
      {"utf-8", Message("Content-Type: text/plain; charset=utf-8"), 65001},
      {"cp866", Message("Content-Type: text/plain; charset=ibm866"), 866},
      {"RFC 2047 words alone",
       Message("From: =?koi8-r?B?8MnT2M3P?= <a@example.org>\\r\\nSubject: =?windows-1251?Q?x?="),
       20866},
      {"RFC 2231's language", Message("Subject: =?koi8-r*ru?Q?x?="), 20866},
      {"the most messages win", Messages(Latin, 2) + Messages(Koi8, 3), 20866},
      {"a message counts once however often it says so",
       Message(std::string(Koi8) + "\\r\\nSubject: =?koi8-r?B?eA==?= =?koi8-r?B?eA==?=") +
           Messages(Latin, 2),
       1252},
      {"a multipart's first part",
       Message("Content-Type: multipart/mixed; boundary=XX\\r\\n\\r\\n--XX\\r\\n"
               "Content-Type: text/plain; charset=windows-1251"),
       1251},
      {"nothing declared", Messages("Subject: hello", 3), 0},
      {"us-ascii tells nothing", Messages("Content-Type: text/plain; charset=us-ascii", 3), 0},
      {"a name of no code page", Message("Content-Type: text/plain; charset=x-unknown"), 0},
      {"the number of the system's own", Message("Content-Type: text/plain; charset=cp1"), 0},
      {"=? that is no word", Message("Subject: =?koi8-r is not a word"), 0},
      {"no messages", "", 0},
  };
  for (const Row &row : rows) {
    const std::string index = MakeFolder(MakeTempDir(), row.Folder);
    FolderHandle *folder = CreateFolderHandle(index.c_str());
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(DeclaredCodePage(folder), row.CodePage) << row.What;
    ReleaseFolderHandle(folder);
  }
}

// The guess reads the heads of a bounded sample spread over the folder,
// whatever its size: messages in between are never read.
TEST(FolderCharset, ReadsABoundedSampleSpreadOverTheFolder) {
  const int count = int(CharsetSampleMessages) * 10;
  std::string folder_text;
  // Only the messages between the sampled ones declare koi8-r; every tenth,
  // the sampled one, declares windows-1252.
  for (int i = 0; i < count; ++i) folder_text += Message(i % 10 == 0 ? Latin : Koi8);
  const std::string index = MakeFolder(MakeTempDir(), folder_text);
  FolderHandle *folder = CreateFolderHandle(index.c_str());
  ASSERT_NE(folder, nullptr);
  EXPECT_EQ(DeclaredCodePage(folder), 1252u);
  ReleaseFolderHandle(folder);

  // A declaration past the bytes read is not seen.
  const std::string late =
      Message("Subject: x\\r\\nX-Pad: " + std::string(CharsetSampleBytes, 'a') + "\\r\\n" + Koi8);
  FolderHandle *padded = CreateFolderHandle(MakeFolder(MakeTempDir(), late).c_str());
  ASSERT_NE(padded, nullptr);
  EXPECT_EQ(DeclaredCodePage(padded), 0u);
  ReleaseFolderHandle(padded);
}

TEST(FolderCharset, GuessesNothingWithoutTheDataFile) {
  const std::string dir = MakeTempDir();
  const std::string index = MakeFolder(dir, Messages(Latin, 2));
  ASSERT_EQ(remove((index.substr(0, index.size() - 1) + "M").c_str()), 0);
  FolderHandle *folder = CreateFolderHandle(index.c_str());
  ASSERT_NE(folder, nullptr);
  EXPECT_EQ(DeclaredCodePage(folder), 0u);
  ReleaseFolderHandle(folder);
}
