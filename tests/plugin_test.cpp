// The plug-in library driven through its exported entry points, as the file
// manager drives it, on folders written into temporary directories.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "folder/vessor_folder.h"
#include "platform/file_system.h"
#include "tests/fault_harness.h"
#include "tests/test_support.h"

namespace {

const char Sample[] = R"(
message
  flags 0x80
  name Re: lunch?
  description Joe Bloggs
  date 12 Mar 00 14:35
  body Hi Joe,\nlunch at one?\n
message
  flags 0x00040080
  name    Hello
  description Ann
  date 1 Mar 00 00:10
  body-fill 1024
message
  flags 0x00040000
  name \x20\x20
  description  Joe
  date 5 Mar 00 14:35
  body-fill 2500
message
  flags 0
  name Empty
  description Nobody
  date 12 Xyz 00 14:35
  body
)";

// The files the sample's items are exported to, in item order.
const char *const ExportedNames[] = {"Re__lunch_", "Hello", "_Joe", "Empty"};

struct Listing {
  PluginPanelItem *Items = nullptr;
  int Count = -1;
  int Result = -1;
};

Listing List(HANDLE folder) {
  Listing listing;
  listing.Result = Plugin().GetFindData(folder, &listing.Items, &listing.Count, 0);
  return listing;
}

uint64_t Ticks(const FILETIME &time) {
  return uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

int32_t Offset(const PluginPanelItem &item) { return int32_t(uint32_t(item.UserData)); }

class FolderTest : public testing::Test {
 protected:
  void SetUp() override {
    Plugin();
    Warnings().clear();
    dir = MakeTempDir();
  }
  void TearDown() override {
    if (folder != nullptr && folder != INVALID_HANDLE_VALUE) Plugin().ClosePlugin(folder);
  }

  // Writes the folder, remembers its bytes and opens it.
  void Open(const std::string &description) {
    if (folder != nullptr && folder != INVALID_HANDLE_VALUE) Plugin().ClosePlugin(folder);
    folder = nullptr;
    index = MakeFolder(dir, description);
    data = index.substr(0, index.size() - 1) + "M";
    index_bytes = ReadFile(index);
    data_bytes = FileExists(data) ? ReadFile(data) : "";
    folder = OpenFolder(index);
    ASSERT_NE(folder, INVALID_HANDLE_VALUE);
  }

  // The folder's files are as they were written.
  void ExpectFolderUntouched() {
    EXPECT_EQ(ReadFile(index), index_bytes);
    if (!data_bytes.empty()) {
      EXPECT_EQ(ReadFile(data), data_bytes);
    }
  }

  std::string Export(const Listing &listing, const std::string &dest, int *result,
                     std::vector<std::string> *boxes = nullptr) {
    std::string dest_path = dest;
    std::vector<std::string> shown = BoxesShownBy([&] {
      *result = Plugin().GetFiles(folder, listing.Items, listing.Count, 1, &dest_path[0], 0);
    });
    if (boxes != nullptr) *boxes = shown;
    return dest_path;
  }

  std::string dir, index, data, index_bytes, data_bytes;
  HANDLE folder = nullptr;
};

}  // namespace

TEST(EntryPoints, PluginInfoDeclaresNothing) {
  PluginInfo info;
  memset(&info, 0xAB, sizeof info);
  Plugin().GetPluginInfo(&info);
  EXPECT_EQ(info.StructSize, int(sizeof(PluginInfo)));
  const unsigned char *bytes = reinterpret_cast<const unsigned char *>(&info);
  for (size_t i = sizeof(int); i < sizeof info; ++i) EXPECT_EQ(bytes[i], 0) << i;
}

TEST(EntryPoints, MenuOpeningIsRefused) {
  EXPECT_EQ(Plugin().OpenPlugin(0, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Plugin().OpenPlugin(5, 12345), INVALID_HANDLE_VALUE);
}

TEST(EntryPoints, OpenFilePluginRecognisesOnlyIndexFiles) {
  const unsigned char index[8] = {0x80, 0x20, 0, 0, 0, 0, 0, 0};
  const unsigned char other[8] = {0x80, 0x80, 0, 0, 0, 0, 0, 0};
  char path[] = "/nowhere/INBOX.IDX";
  char empty[] = "";
  EXPECT_EQ(Plugin().OpenFilePlugin(path, other, 8), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Plugin().OpenFilePlugin(path, index, 4), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Plugin().OpenFilePlugin(path, nullptr, 8), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Plugin().OpenFilePlugin(empty, index, 8), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Plugin().OpenFilePlugin(nullptr, index, 8), INVALID_HANDLE_VALUE);

  // Recognition looks at the bytes only: neither file needs to exist.
  HANDLE folder = Plugin().OpenFilePlugin(path, index, 8);
  ASSERT_NE(folder, INVALID_HANDLE_VALUE);
  Plugin().ClosePlugin(folder);
}

TEST(EntryPoints, PanelSettings) {
  const unsigned char index[8] = {0x80, 0, 0, 0, 0, 0, 0, 0};
  char path[] = "/mail/INBOX.IDX";
  HANDLE folder = Plugin().OpenFilePlugin(path, index, 8);
  ASSERT_NE(folder, INVALID_HANDLE_VALUE);
  OpenPluginInfo info;
  memset(&info, 0xAB, sizeof info);
  Plugin().GetOpenPluginInfo(folder, &info);
  EXPECT_EQ(info.StructSize, int(sizeof(OpenPluginInfo)));
  EXPECT_EQ(info.Flags, 0x100u);
  EXPECT_STREQ(info.HostFile, "/mail/INBOX.IDX");  // its own last letter, not the M
  ASSERT_NE(info.CurDir, nullptr);
  EXPECT_STREQ(info.CurDir, "");
  EXPECT_STREQ(info.PanelTitle, "Vessor folder");
  EXPECT_EQ(info.StartPanelMode, '7');
  EXPECT_EQ(info.StartSortMode, 5);
  EXPECT_EQ(info.StartSortOrder, 1);
  EXPECT_EQ(info.Format, nullptr);
  EXPECT_EQ(info.InfoLines, nullptr);
  EXPECT_EQ(info.InfoLinesNumber, 0);
  EXPECT_EQ(info.DescrFiles, nullptr);
  // Ten modes of the host's own columns, which the host needs to take the
  // start mode and sort order.
  ASSERT_NE(info.PanelModesArray, nullptr);
  EXPECT_EQ(info.PanelModesNumber, 10);
  const unsigned char *modes = reinterpret_cast<const unsigned char *>(info.PanelModesArray);
  for (size_t i = 0; i < 10 * sizeof(PanelMode); ++i) EXPECT_EQ(modes[i], 0) << i;
  EXPECT_EQ(info.KeyBar, nullptr);
  EXPECT_EQ(info.ShortcutData, nullptr);
  Plugin().ClosePlugin(folder);
  Plugin().ExitFAR();
}

TEST_F(FolderTest, ListsEveryRecord) {
  Open(Sample);
  Listing listing = List(folder);
  ASSERT_EQ(listing.Result, 1);
  ASSERT_EQ(listing.Count, 4);
  const PluginPanelItem *items = listing.Items;

  EXPECT_STREQ(items[0].FindData.cFileName, "Re: lunch?");
  EXPECT_STREQ(items[0].Description, "Joe Bloggs");
  EXPECT_STREQ(items[1].FindData.cFileName, "Hello");  // leading spaces skipped
  EXPECT_STREQ(items[1].Description, "Ann");
  EXPECT_STREQ(items[2].FindData.cFileName, " Joe");  // blank name: the description
  EXPECT_STREQ(items[2].Description, " Joe");
  EXPECT_STREQ(items[3].FindData.cFileName, "Empty");
  for (int i = 0; i < 4; ++i) {
    const char *name = items[i].FindData.cFileName;
    EXPECT_EQ(items[i].Description, name + strlen(name) + 1);
  }

  EXPECT_EQ(items[0].FindData.nFileSizeLow, 22u);
  EXPECT_EQ(items[1].FindData.nFileSizeLow, 1024u);
  EXPECT_EQ(items[2].FindData.nFileSizeLow, 2500u);
  EXPECT_EQ(items[3].FindData.nFileSizeLow, 0u);
  EXPECT_EQ(Offset(items[0]), 0);
  EXPECT_EQ(Offset(items[1]), 22);
  EXPECT_EQ(Offset(items[2]), 1046);
  EXPECT_EQ(Offset(items[3]), 3546);

  EXPECT_EQ(items[0].FindData.dwFileAttributes, 0u);
  EXPECT_EQ(items[1].FindData.dwFileAttributes, 2u);
  EXPECT_EQ(items[2].FindData.dwFileAttributes, 3u);
  EXPECT_EQ(items[3].FindData.dwFileAttributes, 1u);

  // 12 Mar 00 14:35 is shown an hour earlier: 12 March 2000, 13:35.
  EXPECT_EQ(Ticks(items[0].FindData.ftCreationTime), 125973417000000000ull);
  EXPECT_EQ(Ticks(items[0].FindData.ftLastWriteTime), 125973417000000000ull);
  EXPECT_EQ(Ticks(items[1].FindData.ftCreationTime), 125963394000000000ull);  // 29 Feb 23:10
  EXPECT_EQ(Ticks(items[3].FindData.ftCreationTime), 0u);  // month 13 does not convert
  EXPECT_EQ(Ticks(items[3].FindData.ftLastWriteTime), 0u);

  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Ticks(items[i].FindData.ftLastAccessTime), 0u);
    EXPECT_EQ(items[i].FindData.nFileSizeHigh, 0u);
    EXPECT_EQ(items[i].Flags, 0u);
    EXPECT_EQ(items[i].Owner, nullptr);
    EXPECT_EQ(items[i].CustomColumnData, nullptr);
  }
  Plugin().FreeFindData(folder, listing.Items, listing.Count);
  ExpectFolderUntouched();
}

TEST_F(FolderTest, RepeatedListingsAreAlikeAndOwnTheirTexts) {
  Open(Sample);
  Listing first = List(folder), second = List(folder);
  ASSERT_EQ(first.Count, 4);
  ASSERT_EQ(second.Count, 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_STREQ(first.Items[i].FindData.cFileName, second.Items[i].FindData.cFileName);
    EXPECT_EQ(Ticks(first.Items[i].FindData.ftCreationTime),
              Ticks(second.Items[i].FindData.ftCreationTime));
    EXPECT_EQ(second.Items[i].Description,
              second.Items[i].FindData.cFileName + strlen(second.Items[i].FindData.cFileName) + 1);
  }
  Plugin().FreeFindData(folder, first.Items, first.Count);
  Plugin().FreeFindData(folder, second.Items, second.Count);
}

TEST_F(FolderTest, IndexTooLargeForTheItemBlockFailsTheListing) {
  Open(Sample);
  // Sparse files: more records than a signed 32-bit count holds, and, where
  // sizes are 32 bits wide, more items than one block can hold.
  // 2^32 + 1 records would pass for one in a 32-bit count.
  std::vector<uint64_t> records = {uint64_t(1) << 31, (uint64_t(1) << 32) + 1};
  if (sizeof(void *) == 4) records.push_back(SIZE_MAX / sizeof(PluginPanelItem) + 1);
  for (uint64_t count : records) {
    ResizeFile(index, count * IndexRecordSize);
    Listing listing = List(folder);
    EXPECT_EQ(listing.Result, 0) << count;
    EXPECT_EQ(listing.Items, nullptr) << count;
    Plugin().ClosePlugin(folder);
    folder = OpenFolder(index);
  }
}

TEST_F(FolderTest, ExportsEveryMessageByteForByte) {
  Open(Sample);
  Listing listing = List(folder);
  const std::string out = MakeTempDir();
  int result = 0;
  std::vector<std::string> boxes;
  Export(listing, out, &result, &boxes);
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(Warnings().empty());
  EXPECT_EQ(ListDir(out), (std::vector<std::string>{"Empty", "Hello", "Re__lunch_", "_Joe"}));
  EXPECT_EQ(ReadFile(JoinPath(out, "Re__lunch_")), "Hi Joe,\nlunch at one?\n");
  EXPECT_EQ(ReadFile(JoinPath(out, "Hello")), data_bytes.substr(22, 1024));
  EXPECT_EQ(ReadFile(JoinPath(out, "_Joe")), data_bytes.substr(1046, 2500));
  EXPECT_EQ(ReadFile(JoinPath(out, "Empty")), "");
  // Each file bears its message's date; one that has none keeps its own.
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(FileWriteTicks(JoinPath(out, ExportedNames[i])),
              Ticks(listing.Items[i].FindData.ftLastWriteTime))
        << i;
  EXPECT_GT(FileWriteTicks(JoinPath(out, "Empty")), 130000000000000000ull);  // after 2012
  // The items are left as the host passed them.
  EXPECT_STREQ(listing.Items[0].FindData.cFileName, "Re: lunch?");
  Plugin().FreeFindData(folder, listing.Items, listing.Count);
  ExpectFolderUntouched();
}

TEST_F(FolderTest, EachExportReadsTheDataFileAfresh) {
  Open("message\nname a\nbody first\n");
  Listing listing = List(folder);
  const std::string out = MakeTempDir();
  int result = 0;
  Export(listing, out, &result);
  WriteFileBytes(data, "again");
  Export(listing, out, &result);
  EXPECT_EQ(ReadFile(JoinPath(out, "a")), "again");
  Plugin().FreeFindData(folder, listing.Items, listing.Count);
}

TEST_F(FolderTest, MissingDataFileWarnsOnEveryAttempt) {
  Open("no-data\nmessage\nname a\nbody abc\n");
  Listing listing = List(folder);
  ASSERT_EQ(listing.Count, 1);
  const std::string out = MakeTempDir();
  for (int attempt = 0; attempt < 2; ++attempt) {
    int result = 1;
    Export(listing, out, &result);
    EXPECT_EQ(result, 0);
  }
  ASSERT_EQ(Warnings().size(), 2u);
  const Warning &warning = Warnings()[0];
  EXPECT_EQ(warning.Flags, 1);
  EXPECT_EQ(warning.ItemsNumber, 3);
  EXPECT_EQ(warning.ButtonsNumber, 1);
  EXPECT_EQ(warning.Items,
            (std::vector<std::string>{"Unable to open Data Folder File", data, "OK"}));
  EXPECT_TRUE(ListDir(out).empty());
  Plugin().FreeFindData(folder, listing.Items, listing.Count);
}

TEST_F(FolderTest, UncreatableDestinationIsReportedAndTheNextItemFollows) {
  Open(Sample);
  Listing listing = List(folder);
  const std::string missing = JoinPath(MakeTempDir(), "no-such-dir");
  int result = 0;
  std::vector<std::string> boxes;
  Export(listing, missing, &result, &boxes);
  EXPECT_EQ(result, 1);
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0], JoinPath(missing, "Re__lunch_") + ": Cannot create file");
  EXPECT_EQ(boxes[3], JoinPath(missing, "Empty") + ": Cannot create file");

  // No destination at all: nothing lands in the root directory.
  Export(listing, "", &result, &boxes);
  EXPECT_EQ(result, 1);
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0], JoinPath("", "Re__lunch_") + ": Cannot create file");
  EXPECT_FALSE(FileExists(JoinPath("", "Re__lunch_")));
  Plugin().FreeFindData(folder, listing.Items, listing.Count);
}

TEST_F(FolderTest, TooLongDestinationCreatesNothing) {
  Open("message\nname Re: lunch?\nmessage\nname 12345678\nmessage\nname 12345678\n");
  Listing listing = List(folder);
  // A real directory of 249 characters: "Re__lunch_" needs 261 bytes with the
  // separator and terminator, "12345678" 259, and its twin's "12345678_(2)" 263.
  const std::string out = MakeTempDir();
  const std::string deep = JoinPath(out, std::string(249 - out.size() - 1, 'd'));
  ASSERT_EQ(deep.size(), 249u);
  ASSERT_TRUE(std::filesystem::create_directory(deep));
  int result = 0;
  std::vector<std::string> boxes;
  Export(listing, deep, &result, &boxes);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(boxes, (std::vector<std::string>{JoinPath(deep, "Re__lunch_") + ": Cannot create file",
                                             JoinPath(deep, "12345678_(2)") +
                                                 ": Cannot create file"}));
  EXPECT_EQ(ListDir(deep), (std::vector<std::string>{"12345678"}));
  Plugin().FreeFindData(folder, listing.Items, listing.Count);
}

TEST_F(FolderTest, NeverOverwritesTheFolderItself) {
  Open(R"(
message
  name INBOX.IDX
  body not an index
message
  name INBOX.IDM
  body not the data
)");
  Listing listing = List(folder);
  int result = 0;
  std::vector<std::string> boxes;
  Export(listing, dir, &result, &boxes);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(boxes.size(), 2u);
  ExpectFolderUntouched();
  Plugin().FreeFindData(folder, listing.Items, listing.Count);
}

#ifndef _WIN32
// A link where a message's file would go is left as it is, and so is what it
// leads to, however far it leads. (Wine makes no symbolic links.)
TEST_F(FolderTest, NeverWritesThroughALink) {
  Open("message\nname Quarterly report\nbody new\nmessage\nname gone\nbody new\n");
  Listing listing = List(folder);
  const std::string out = MakeTempDir(), outside = JoinPath(MakeTempDir(), "kept");
  WriteFileBytes(outside, "not the export's");
  ASSERT_EQ(symlink(outside.c_str(), JoinPath(out, "Quarterly_report").c_str()), 0);
  ASSERT_EQ(symlink(JoinPath(out, "nowhere").c_str(), JoinPath(out, "gone").c_str()), 0);
  int result = 0;
  std::vector<std::string> boxes;
  Export(listing, out, &result, &boxes);
  EXPECT_EQ(boxes, (std::vector<std::string>{JoinPath(out, "Quarterly_report") +
                                                 ": Cannot create file",
                                             JoinPath(out, "gone") + ": Cannot create file"}));
  EXPECT_EQ(ReadFile(outside), "not the export's");
  EXPECT_TRUE(std::filesystem::is_symlink(JoinPath(out, "Quarterly_report")));
  EXPECT_FALSE(FileExists(JoinPath(out, "nowhere")));
  Plugin().FreeFindData(folder, listing.Items, listing.Count);
}
#endif

TEST_F(FolderTest, OpenFolderFilesCanBeRenamedAndDeletedByOthers) {
  Open(Sample);
  Listing listing = List(folder);
  int result = 0;
  Export(listing, MakeTempDir(), &result);
  Plugin().FreeFindData(folder, listing.Items, listing.Count);
  // Both streams are open now; the mail program may still move the files.
  std::error_code error;
  std::filesystem::rename(index, index + ".old", error);
  EXPECT_FALSE(error) << error.message();
  std::filesystem::rename(data, data + ".old", error);
  EXPECT_FALSE(error) << error.message();
  std::filesystem::remove(index + ".old", error);
  EXPECT_FALSE(error) << error.message();
}

// Work that throws (memory that runs out, above all) never reaches the
// host: the call fails with the host's value and one warning says why.
FileRef ThrowingCreate(const char *, FileAccess, bool *) { throw std::bad_alloc(); }
FileRef ThrowingOpen(const char *) { throw 7; }

TEST_F(FolderTest, ThrownWorkFailsTheCallWithOneWarning) {
  const PluginApi &api = LinkedPlugin();
  const std::string folder_index = MakeFolder(dir, Sample);
  HANDLE linked = OpenFolder(folder_index, api);
  ASSERT_NE(linked, INVALID_HANDLE_VALUE);
  PluginPanelItem *items = nullptr;
  int count = 0;
  ASSERT_EQ(api.GetFindData(linked, &items, &count, 0), 1);
  std::string dest = MakeTempDir();
  Warnings().clear();
  FileSystem.CreateNew = ThrowingCreate;
  LeaksIgnored(true);
  EXPECT_EQ(api.GetFiles(linked, items, count, 0, &dest[0], 0), 0);
  LeaksIgnored(false);
  RestoreFileCalls();
  ASSERT_EQ(Warnings().size(), 1u);
  EXPECT_EQ(Warnings()[0].Items, (std::vector<std::string>{"Vessor folder", "Not enough memory", "OK"}));
  api.FreeFindData(linked, items, count);
  api.ClosePlugin(linked);

  // Anything else thrown says so, and the next call works.
  linked = OpenFolder(folder_index, api);
  ASSERT_NE(linked, INVALID_HANDLE_VALUE);
  Warnings().clear();
  FileSystem.OpenForReading = ThrowingOpen;
  LeaksIgnored(true);
  EXPECT_EQ(api.GetFindData(linked, &items, &count, 0), 0);
  LeaksIgnored(false);
  RestoreFileCalls();
  ASSERT_EQ(Warnings().size(), 1u);
  EXPECT_EQ(Warnings()[0].Items[1], "An unexpected error stopped the operation");
  ASSERT_EQ(api.GetFindData(linked, &items, &count, 0), 1);
  api.FreeFindData(linked, items, count);
  api.ClosePlugin(linked);
}

TEST_F(FolderTest, CloseWithoutListingOrExport) {
  Open(Sample);
  Plugin().ClosePlugin(folder);
  folder = nullptr;
  ExpectFolderUntouched();
}

#ifdef _WIN32
// The host switches the file functions to the OEM code page around each call
// and passes every path in it; the file lands under the panel's bytes.
TEST_F(FolderTest, ExportedNamesKeepTheHostsCodePage) {
  Open("message\nname Caf\\xe9 cr\\xe8me\nbody x\n");
  Listing listing = List(folder);
  SetFileApisToOEM();
  const std::string out = MakeTempDir() + "\\d\xe9j\xe0";
  ASSERT_TRUE(CreateDirectoryA(out.c_str(), nullptr));
  int result = 0;
  Export(listing, out, &result);
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((out + "\\*").c_str(), &found);
  for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
    if (found.cFileName[0] != '.') names.push_back(found.cFileName);
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  SetFileApisToANSI();
  EXPECT_EQ(result, 1);
  EXPECT_EQ(names, (std::vector<std::string>{"Caf\xe9_cr\xe8me"}));
  Plugin().FreeFindData(folder, listing.Items, listing.Count);
}

// Windows takes these for the same names, as it compares file names; each
// message still gets a file of its own.
TEST_F(FolderTest, NamesWindowsFoldsEachGetAFile) {
  Open("message\nname Gr\xfc\xdf" "e\nbody 1\nmessage\nname GR\xdc\xdf" "E\nbody 2\n"
       "message\nname \xe9t\xe9\nbody 3\nmessage\nname \xc9T\xc9\nbody 4\n"
       "message\nname caf\xe9\nbody 5\nmessage\nname CAF\xc9\nbody 6\n");
  Listing listing = List(folder);
  const std::string out = MakeTempDir();
  int result = 0;
  std::vector<std::string> boxes;
  Export(listing, out, &result, &boxes);
  EXPECT_TRUE(boxes.empty());
  std::string contents;
  for (const std::string &name : ListDir(out)) contents += ReadFile(JoinPath(out, name));
  std::sort(contents.begin(), contents.end());
  EXPECT_EQ(contents, "123456");
  Plugin().FreeFindData(folder, listing.Items, listing.Count);
}
#endif
