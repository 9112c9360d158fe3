// The plug-in's copying with one file call made to fail, as a full disk, a
// lost close or a file system that folds names would make it fail. The old
// interface's entry points are linked into this program, so its FileSystem
// table is theirs. Each row says which call fails, what the user is told, and
// what each file holds afterwards: no message is counted as written that is
// not whole, and no file from before the copy is touched unless replaced.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "tests/fault_harness.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

// What it opens called no regular file, as a device or a pipe.
FileRef OpenedAsNoRegularFile(const char *path, FoundFile *found) {
  const FileRef file = HarnessCalls.OpenExisting(path, found);
  if (file != NoFile) found->Regular = false;
  return file;
}

// A message below the copy buffer's 64 KiB (one write), one above it (two
// writes), and a small one after them.
const char Folder[] = R"(
message
  name small
  date 12 Mar 00 14:35
  body-fill 3000
message
  name large
  date 13 Mar 00 14:35
  body-fill 100000
message
  name last
  date 14 Mar 00 14:35
  body-fill 1000
)";
const char *const Names[] = {"small", "large", "last"};

const FileCall NoCall = FileCallCount;

struct FaultRow {
  const char *Name;
  FileCall Which;  // the call that fails, as on a full disk: the `Nth` of its kind in one GetFiles
  int Nth;
  const char *Boxes;  // "$D/" stands for the destination and its separator
  // Each file afterwards, "name:state": whole (its message), cut (a part of
  // it), kept (the bytes it had before the copy), none (no file).
  const char *Files;
  bool Existing = false;  // "last" is there before the copy
  int Result = 1;
  bool Linked = false;  // and is a hard link to a file outside the destination
  bool NoRegularFile = false;  // what is opened under "last" is no regular file
};

const FaultRow Rows[] = {
    {"NoFailure", NoCall, 0, "", "small:whole large:whole last:whole"},
    {"CreateFails", CreateNewCall, 1, "$D/small: Cannot create file\n",
     "small:none large:whole last:whole"},
    {"OnlyWriteOfASmallMessageFails", WriteCall, 1, "$D/small: Cannot write file\n",
     "small:cut large:whole last:whole"},
    {"FirstWriteOfALargeMessageFails", WriteCall, 2, "$D/large: Cannot write file\n",
     "small:whole large:cut last:whole"},
    {"LastWriteOfALargeMessageFails", WriteCall, 3, "$D/large: Cannot write file\n",
     "small:whole large:cut last:whole"},
    {"CloseFails", CloseCall, 2, "$D/large: Cannot write file\n",
     "small:whole large:whole last:whole"},
    {"SettingTheTimeFailsLosesNothing", SetTimeCall, 1, "", "small:whole large:whole last:whole"},
    {"ReadFails", ReadAtCall, 2, "$D/large: Cannot read message\n",
     "small:whole large:cut last:whole"},
    {"OpeningTheDataFileFails", OpenForReadingCall, 1, "", "small:none large:none last:none", false,
     0},
    // Asked only once a name is in use: of the files made, to tell them from
    // one from before.
    {"IdentifyingTheFilesMadeFails", FileIndexOfCall, 1, "$D/last: Cannot create file\n",
     "small:whole large:whole last:kept", true},
    {"FileFromBeforeIsReplaced", NoCall, 0, "", "small:whole large:whole last:whole", true},
    {"FileFromBeforeThatCannotBeEmptiedIsKept", TruncateCall, 1, "$D/last: Cannot create file\n",
     "small:whole large:whole last:kept", true},
    {"NameFromBeforeThatIsNoRegularFileIsKept", NoCall, 0, "$D/last: Cannot create file\n",
     "small:whole large:whole last:kept", true, 1, false, true},
    {"FileFromBeforeWithAnotherNameIsKept", NoCall, 0, "$D/last: Cannot create file\n",
     "small:whole large:whole last:kept", true, 1, true},
};

void PrintTo(const FaultRow &row, std::ostream *out) { *out << row.Name; }

std::string Substitute(std::string text, const std::string &dest) {
  for (size_t at; (at = text.find("$D/")) != std::string::npos;)
    text.replace(at, 3, dest + PATH_SEPARATOR);
  return text;
}

std::string Lines(const std::vector<std::string> &lines) {
  std::string text;
  for (const std::string &line : lines) text += line + "\n";
  return text;
}

// What the destination holds, in the rows' words.
std::string States(const std::string &dest, const std::string &data, const std::string &before) {
  const std::pair<size_t, size_t> places[] = {{0, 3000}, {3000, 100000}, {103000, 1000}};
  std::string states;
  for (int i = 0; i < 3; ++i) {
    const std::string path = JoinPath(dest, Names[i]);
    const std::string message = data.substr(places[i].first, places[i].second);
    std::string state = "none";
    if (FileExists(path)) {
      const std::string bytes = ReadFile(path);
      state = bytes == message                               ? "whole"
              : i == 2 && bytes == before                    ? "kept"
              : bytes.size() < message.size() && message.compare(0, bytes.size(), bytes) == 0
                  ? "cut"
                  : "other";
    }
    states += std::string(i ? " " : "") + Names[i] + ":" + state;
  }
  return states;
}

class ExportFault : public testing::TestWithParam<FaultRow> {};

TEST_P(ExportFault, TellsTheUserAndCountsOnlyWholeFiles) {
  const FaultRow &row = GetParam();
  const PluginApi &api = LinkedPlugin();
  const std::string dir = MakeTempDir(), dest = MakeTempDir();
  const std::string index = MakeFolder(dir, Folder);
  const std::string data = ReadFile(index.substr(0, index.size() - 1) + "M");
  const std::string before = "there before the copy";
  if (row.Linked) {
    WriteFileBytes(JoinPath(dir, "outside"), before);
    fs::create_hard_link(JoinPath(dir, "outside"), JoinPath(dest, "last"));
  } else if (row.Existing) {
    WriteFileBytes(JoinPath(dest, "last"), before);
  }
  HANDLE folder = OpenFolder(index, api);
  ASSERT_NE(folder, INVALID_HANDLE_VALUE);
  PluginPanelItem *items = nullptr;
  int count = 0;
  ASSERT_EQ(api.GetFindData(folder, &items, &count, 0), 1);
  ASSERT_EQ(count, 3);

  Warnings().clear();
  if (row.Which != NoCall) FailCall(row.Which, row.Nth, DiskFull);
  if (row.NoRegularFile) FileSystem.OpenExisting = OpenedAsNoRegularFile;
  std::string dest_path = dest;
  int result = -1;
  const auto boxes =
      BoxesShownBy([&] { result = api.GetFiles(folder, items, count, 0, &dest_path[0], 0); });
  if (row.Which != NoCall) {
    EXPECT_GE(CallsMade(row.Which), row.Nth) << "the call never failed";
  }
  RestoreFileCalls();

  EXPECT_EQ(result, row.Result);
  EXPECT_EQ(Lines(boxes), Substitute(row.Boxes, dest));
  EXPECT_EQ(States(dest, data, before), row.Files);
  if (row.Linked) {
    EXPECT_EQ(ReadFile(JoinPath(dir, "outside")), before);
  }
  EXPECT_EQ(Warnings().size(), row.Result == 0 ? 1u : 0u);
  // Nothing but the messages' own files.
  EXPECT_LE(ListDir(dest).size(), 3u);
  api.FreeFindData(folder, items, count);
  api.ClosePlugin(folder);
}

INSTANTIATE_TEST_SUITE_P(Rows, ExportFault, testing::ValuesIn(Rows),
                         [](const testing::TestParamInfo<FaultRow> &info) {
                           return std::string(info.param.Name);
                         });

// Where names differ in case, the data folder file found as inbox.idm is the
// folder's own file too: a message of that name copied beside it is refused.
TEST(ExportIdentity, DataFileInAnotherCaseIsNeverWritten) {
  const PluginApi &api = LinkedPlugin();
  const std::string dir = MakeTempDir();
  const std::string index = MakeFolder(dir, R"(
message
  name inbox.idm
  body replaced
message
  name other
  body kept
)");
  const std::string data_path = JoinPath(dir, "inbox.idm");
  fs::rename(index.substr(0, index.size() - 1) + "M", data_path);
  const std::string data = ReadFile(data_path);
  HANDLE folder = OpenFolder(index, api);
  PluginPanelItem *items = nullptr;
  int count = 0;
  ASSERT_EQ(api.GetFindData(folder, &items, &count, 0), 1);
  std::string dest_path = dir;
  const auto boxes = BoxesShownBy([&] { api.GetFiles(folder, items, count, 0, &dest_path[0], 0); });
  EXPECT_EQ(boxes, std::vector<std::string>{data_path + ": Cannot create file"});
  EXPECT_EQ(ReadFile(data_path), data);
  EXPECT_EQ(ReadFile(JoinPath(dir, "other")), "kept");
  api.FreeFindData(folder, items, count);
  api.ClosePlugin(folder);
}

// A file system that takes names for the same beyond A-Z, as Windows' does
// for accented letters: every Latin-1 letter of the name made a capital.
std::string Folded(const char *path) {
  std::string folded = path;
  for (size_t at = folded.find_last_of(PATH_SEPARATOR) + 1; at < folded.size(); ++at) {
    const unsigned char c = folded[at];
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) folded[at] = char(c - 0x20);
  }
  return folded;
}
FileRef FoldingCreate(const char *path, FileAccess access, bool *exists) {
  return HarnessCalls.CreateNew(Folded(path).c_str(), access, exists);
}
FileRef FoldingOpenExisting(const char *path, FoundFile *found) {
  return HarnessCalls.OpenExisting(Folded(path).c_str(), found);
}
FileRef FoldingOpenForReading(const char *path) {
  return HarnessCalls.OpenForReading(Folded(path).c_str());
}

// Names that such a file system takes for one: each message still gets a
// file of its own, under the next suffix no item has, and none replaces
// another's.
TEST(ExportIdentity, NamesTheFileSystemFoldsEachGetAFile) {
  const PluginApi &api = LinkedPlugin();
  const std::string dir = MakeTempDir(), dest = MakeTempDir();
  const std::string index = MakeFolder(dir, R"(
message
  name caf\xe9
  body 1
message
  name CAF\xc9
  body 2
message
  name \xe9t\xe9
  body 3
message
  name \xc9T\xc9
  body 4
message
  name \xc9T\xc9_(2)
  body 5
)");
  HANDLE folder = OpenFolder(index, api);
  PluginPanelItem *items = nullptr;
  int count = 0;
  ASSERT_EQ(api.GetFindData(folder, &items, &count, 0), 1);
  FileSystem.CreateNew = FoldingCreate;
  FileSystem.OpenExisting = FoldingOpenExisting;
  FileSystem.OpenForReading = FoldingOpenForReading;
  std::string dest_path = dest;
  const auto boxes = BoxesShownBy([&] { api.GetFiles(folder, items, count, 0, &dest_path[0], 0); });
  EXPECT_EQ(boxes, std::vector<std::string>());
  std::map<std::string, std::string> files;
  for (const std::string &name : ListDir(dest)) files[name] = ReadFile(JoinPath(dest, name));
  EXPECT_EQ(files, (std::map<std::string, std::string>{{"CAF\xc9", "1"},
                                                        {"CAF\xc9_(2)", "2"},
                                                        {"\xc9T\xc9", "3"},
                                                        {"\xc9T\xc9_(2)", "5"},
                                                        {"\xc9T\xc9_(3)", "4"}}));
  api.FreeFindData(folder, items, count);
  api.ClosePlugin(folder);
}

}  // namespace
