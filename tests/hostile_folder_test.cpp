// Hostile folders through the exported entry points. Each row writes a folder,
// may change it at a stated moment, then opens it, lists it twice, exports the
// second listing and closes it, and states what the user gets. Every row also
// checks that the folder's files are byte for byte as they were and that
// nothing appeared outside the destination.
// The rows run on every build. Where the systems differ (permission bits) a
// row says what each one gives; "$D/" stands for the destination and its
// separator.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "folder/vessor_folder.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

// A row's files: ROOT/folder/INBOX.IDX and INBOX.IDM, the destination in ROOT/out.
struct Paths {
  std::string Root, Index, Data, Out;
};
typedef void (*Change)(const Paths &);

enum Destination { FreshDir, MissingDir, AFile, TooLong, ReadOnlyDir };

struct Case {
  Case(const std::string &name, const std::string &folder) : Name(name), Folder(folder) {}
  Case Before(Change change) const { return With(&Case::BeforeOpen, change); }
  Case After(Change change) const { return With(&Case::AfterOpen, change); }
  Case Between(Change change) const { return With(&Case::BetweenListings, change); }
  Case Refused() const { return With(&Case::IsRefused, true); }
  Case ListingFails() const { return With(&Case::FailsListing, true); }
  Case Lists(const std::string &items) const { return With(&Case::Listed, items); }
  Case Into(Destination kind) const { return With(&Case::Dest, kind); }
  Case Copies(const std::string &files) const { return With(&Case::Files, files); }
  Case Shows(const std::string &boxes) const { return With(&Case::Boxes, boxes); }
  Case Warns(const std::string &title) const {
    return With(&Case::Warning, title).With(&Case::Exported, 0);
  }
  Case AsNonRoot() const { return With(&Case::NeedsPermissions, true); }
  template <typename T, typename V>
  Case With(T Case::*field, V value) const {
    Case copy = *this;
    copy.*field = value;
    return copy;
  }

  std::string Name, Folder;
  Change BeforeOpen = nullptr, AfterOpen = nullptr, BetweenListings = nullptr;
  bool IsRefused = false, FailsListing = false, NeedsPermissions = false;
  std::string Listed;  // the second listing: "name|size|date" lines
  Destination Dest = FreshDir;
  int Exported = 1;   // GetFiles' result
  std::string Files;  // the destination afterwards: "name=content" lines
  std::string Boxes;  // "$D" stands for the destination
  std::string Warning;
};

void PrintTo(const Case &row, std::ostream *out) { *out << row.Name; }

void Resize(const std::string &path, uintmax_t size) { fs::resize_file(path, size); }

void ReplaceWithDirectory(const std::string &path) {
  fs::remove(path);
  fs::create_directory(path);
}

// Everything under the row's root but inside the destination: "<dir>" for a
// directory, the bytes for a file, "<other>" for a pipe.
std::map<std::string, std::string> Snapshot(const Paths &paths, const std::string &dest) {
  std::map<std::string, std::string> tree;
  for (const auto &entry : fs::recursive_directory_iterator(paths.Root)) {
    const std::string path = entry.path().string();
    if (path.rfind(dest + PATH_SEPARATOR, 0) == 0) continue;
    tree[path] = entry.is_directory()      ? "<dir>"
                 : entry.is_regular_file() ? ReadFile(path)
                                           : "<other>";
  }
  return tree;
}

// "YYYY-MM-DD HH:MM", or "-" for the zero time of a date that did not convert.
// Worked out here rather than by the C library, whose time_t may end in 2038.
std::string DateOf(const FILETIME &time) {
  const uint64_t ticks = uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
  if (ticks == 0) return "-";
  const uint64_t minutes = ticks / 600000000u;
  int64_t days = int64_t(minutes / 1440);
  int year = 1601, month = 1;
  auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
  while (days >= (leap(year) ? 366 : 365)) days -= leap(year++) ? 366 : 365;
  const int lengths[] = {31, leap(year) ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  while (days >= lengths[month - 1]) days -= lengths[month++ - 1];
  char text[32];
  snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", year, month, int(days) + 1,
           int(minutes / 60 % 24), int(minutes % 60));
  return text;
}

std::string Listing(const PluginPanelItem *items, int count) {
  std::string lines;
  for (int i = 0; i < count; ++i)
    lines += std::string(items[i].FindData.cFileName) + "|" +
             std::to_string(items[i].FindData.nFileSizeLow) + "|" +
             DateOf(items[i].FindData.ftCreationTime) + "\n";
  return lines;
}

std::string Lines(const std::vector<std::string> &lines) {
  std::string text;
  for (const std::string &line : lines) text += line + "\n";
  return text;
}

// "$D" stands for the destination, "$E" for the time of a date text with no
// numbers and no month name: hour 0 turns back into day 0, which becomes the
// last day of the month before the unknown thirteenth, 31 December, of year 00.
std::string Substitute(std::string text, const std::string &dest) {
  const std::string dest_and_separator = dest + PATH_SEPARATOR;
  for (size_t at; (at = text.find("$D/")) != std::string::npos;)
    text.replace(at, 3, dest_and_separator);
  for (size_t at; (at = text.find("$D")) != std::string::npos;) text.replace(at, 2, dest);
  for (size_t at; (at = text.find("$E")) != std::string::npos;)
    text.replace(at, 2, "2000-12-31 23:00");
  return text;
}

std::string DestinationFor(const Paths &paths, Destination kind) {
  fs::create_directory(paths.Out);
  switch (kind) {
    case FreshDir: return paths.Out;
    case MissingDir: return JoinPath(paths.Out, "missing");
    case AFile:
      WriteFileBytes(JoinPath(paths.Out, "file"), "x");
      return JoinPath(paths.Out, "file");
    case TooLong: return JoinPath(paths.Out, std::string(MAX_PATH, 'd'));
    case ReadOnlyDir:
      fs::permissions(paths.Out,
                      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                      fs::perm_options::remove);
      return paths.Out;
  }
  return paths.Out;
}

// One message from "|"-separated description lines.
std::string M(std::string fields) {
  for (char &c : fields) c = c == '|' ? '\n' : c;
  return "message\n" + fields + "\n";
}

const std::string One = M("name one|date 12 Mar 00 14:35|body abc");
const char OneListed[] = "one|3|2000-03-12 13:35\n";

std::vector<Case> Cases() {
  std::vector<Case> rows = {
      // Index files of 0 to 119 bytes. The host offers a file with its leading
      // bytes, so files under 5 bytes are refused; shorter files are listed by
      // opening a whole record and shrinking it.
      Case("IndexOf0BytesIsRefused", "").Refused(),
      Case("IndexOf1ByteIsRefused", One)
          .Before([](const Paths &p) { Resize(p.Index, 1); })
          .Refused(),
      Case("IndexOf4BytesIsRefused", One)
          .Before([](const Paths &p) { Resize(p.Index, 4); })
          .Refused(),
      Case("IndexOf5BytesOpensAndListsNothing", One).Before([](const Paths &p) {
        Resize(p.Index, 5);
      }),
      Case("IndexShrunkTo0BytesListsNothing", One).After([](const Paths &p) {
        Resize(p.Index, 0);
      }),
      Case("IndexShrunkTo1ByteListsNothing", One).After([](const Paths &p) { Resize(p.Index, 1); }),
      Case("IndexOf117BytesListsNothing", One).Before([](const Paths &p) { Resize(p.Index, 117); }),
      Case("IndexOf118BytesListsOneItem", One).Lists(OneListed).Copies("one=abc\n"),
      Case("IndexOf119BytesIgnoresTheStrayByte", One + "index-tail 1\n")
          .Lists(OneListed)
          .Copies("one=abc\n"),

      // Text fields filled to the brim end inside their own fields.
      Case("FullWidthTextsStayInTheirFields",
           M("name abcdefghijklmnopqrstuvwxyz0123456789|description ABCDEFGHIJKLMNOPQRSTUVWXYZ0123|"
             "date 99 Xyz 99 99:99 99999999|body full") +
               M("name \\x20|description ABCDEFGHIJKLMNOPQRSTUVWXYZ0123|body blank|date "
                 "\\xff\\xfe\\xfd\\xfc\\xfb\\xfa\\xf9\\xf8\\xf7\\xf6\\xf5\\xf4"
                 "\\xf3\\xf2\\xf1\\xf0\\xef\\xee\\xed\\xec\\xeb\\xea\\xe9\\xe8"))
          .Lists("abcdefghijklmnopqrstuvwxyz0123456789|4|-\nABCDEFGHIJKLMNOPQRSTUVWXYZ0123|5|$E\n")
          .Copies(
              "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123=blank\nabcdefghijklmnopqrstuvwxyz0123456789=full\n"),
      Case("EmptyNameAndDescriptionGetAnUnderscore", M("body kept"))
          .Lists("_|4|$E\n")
          .Copies("_=kept\n"),

      // Date texts of every malformed kind: a time that converts, or none.
      Case("MalformedDatesGiveTheirOwnTimesOrNone",
           M("name empty") + M("name words|date garbage in the date") +
               M("name no-month|date 12 Xyz 00 14:35") + M("name new-year|date 1 Jan 00 00:00") +
               M("name day-zero|date 0 Mar 00 10:00") + M("name no-spaces|date 12Mar00 14:35") +
               M("name long-year|date 12 Mar 2000 14:35") + M("name feb-31|date 31 Feb 00 12:00") +
               M("name negative-day|date -1 Jan 00 12:00") +
               M("name wrapping-day|date 4294967297 Jan 00 12:00") +
               M("name minutes-only|date 5 May 01 :") +
               M("name controls|date \\x01\\x02\\x03 Apr\\t01\\n10:\\r5"))
          .Lists("empty|0|$E\nwords|0|$E\nno-month|0|-\nnew-year|0|1999-12-31 23:00\nday-zero|0|-\n"
                 "no-spaces|0|2000-03-12 13:00\nlong-year|0|2000-03-12 03:00\nfeb-31|0|-\n"
                 "negative-day|0|-\nwrapping-day|0|2049-12-31 23:01\n"
                 "minutes-only|0|2001-05-04 23:00\ncontrols|0|$E\n")
          .Copies("controls=\nday-zero=\nempty=\nfeb-31=\nlong-year=\nminutes-only=\n"
                  "negative-day=\nnew-year=\nno-month=\nno-spaces=\nwords=\nwrapping-day=\n"),

      // Offsets and sizes: only bytes really read are written, and each
      // message that cannot be read whole says so.
      Case("BadOffsetsAndSizesWriteOnlyWhatWasRead",
           M("name whole|body abcdefghij") + M("name negative-offset|offset 0x80000000|size 4") +
               M("name minus-one-both|offset -1|size -1") +
               M("name negative-size|offset 0|size 0x80000000") +
               M("name huge-offset|offset 0x7fffffff|size 3") +
               M("name at-the-end|offset 10|size 1") + M("name cut|offset 6|size 10") +
               M("name huge-size|offset 2|size 0x7fffffff"))
          .Lists("whole|10|$E\nnegative-offset|4|$E\nminus-one-both|4294967295|$E\n"
                 "negative-size|2147483648|$E\nhuge-offset|3|$E\nat-the-end|1|$E\ncut|10|$E\n"
                 "huge-size|2147483647|$E\n")
          .Copies("at-the-end=\ncut=ghij\nhuge-offset=\nhuge-size=cdefghij\nminus-one-both=\n"
                  "negative-offset=\nnegative-size=\nwhole=abcdefghij\n")
          .Shows("$D/negative-offset: Cannot read message\n$D/huge-offset: Cannot read message\n"
                 "$D/at-the-end: Cannot read message\n$D/cut: Cannot read message\n"
                 "$D/huge-size: Cannot read message\n"),

      // The data folder file missing, empty, short or a directory.
      Case("MissingDataFileWarnsAndCopiesNothing", One + "no-data\n")
          .Lists(OneListed)
          .Warns("Unable to open Data Folder File"),
      Case("DataFileRemovedBeforeTheExportWarns", One)
          .Between([](const Paths &p) { fs::remove(p.Data); })
          .Lists(OneListed)
          .Warns("Unable to open Data Folder File"),
      Case("EmptyDataFileGivesEmptyFilesAndSaysSo",
           M("name a|body abc") + M("name none") + "data-truncate 0\n")
          .Lists("a|3|$E\nnone|0|$E\n")
          .Copies("a=\nnone=\n")
          .Shows("$D/a: Cannot read message\n"),
      Case("ShortDataFileGivesWhatItHas",
           M("name a|body abc") + M("name b|body defgh") + "data-truncate 5\n")
          .Lists("a|3|$E\nb|5|$E\n")
          .Copies("a=abc\nb=de\n")
          .Shows("$D/b: Cannot read message\n"),
      // Only a regular file is opened: a directory, a pipe or a device in its
      // place is as good as missing.
      Case("DataFileThatIsADirectoryWarns", M("name a|body abc"))
          .Before([](const Paths &p) { ReplaceWithDirectory(p.Data); })
          .Lists("a|3|$E\n")
          .Warns("Unable to open Data Folder File"),

#ifndef _WIN32
      // A pipe would hold a reader up until someone writes into it.
      Case("DataFileThatIsAPipeWarnsAtOnce", M("name a|body abc"))
          .Before([](const Paths &p) {
            fs::remove(p.Data);
            mkfifo(p.Data.c_str(), 0600);
          })
          .Lists("a|3|$E\n")
          .Warns("Unable to open Data Folder File"),
#endif

      // The index file gone, a directory or unreadable by the time it is listed.
      Case("IndexRemovedAfterOpeningFailsTheListing", One)
          .After([](const Paths &p) { fs::remove(p.Index); })
          .ListingFails(),
      Case("IndexThatIsADirectoryFailsTheListing", One)
          .After([](const Paths &p) { ReplaceWithDirectory(p.Index); })
          .ListingFails(),
      Case("UnreadableIndexFailsTheListing", One)
          .After([](const Paths &p) { fs::permissions(p.Index, fs::perms::none); })
          .ListingFails()
          .AsNonRoot(),

      // Destinations that cannot take a file.
      Case("MissingDestinationIsNotCreated", One)
          .Into(MissingDir)
          .Lists(OneListed)
          .Shows("$D/one: Cannot create file\n"),
      Case("DestinationThatIsAFileStaysAsItWas", One)
          .Into(AFile)
          .Lists(OneListed)
          .Shows("$D/one: Cannot create file\n"),
      Case("TooLongDestinationCreatesNothing", One)
          .Into(TooLong)
          .Lists(OneListed)
          .Shows("$D/one: Cannot create file\n"),
      Case("ReadOnlyDestinationCreatesNothing", One)
          .Into(ReadOnlyDir)
          .Lists(OneListed)
          .Shows("$D/one: Cannot create file\n")
          .AsNonRoot(),

      // Names that a file name cannot hold as they are, and names that end up
      // alike: every item gets a file of its own, the same on every system.
      Case("NamesOfForbiddenCharactersOnly",
           M("name :*?\"<>\\x7c|body punctuation") + M("name \\x01\\x1f/\\\\|body controls") +
               M("name /|body slash") + M("name .|body dot") + M("name ..|body dots"))
          .Lists(":*?\"<>||11|$E\n\x01\x1f/\\|8|$E\n/|5|$E\n.|3|$E\n__|4|$E\n")
          .Copies("_=slash\n__=dots\n__(2)=dot\n____=controls\n_______=punctuation\n"),
      Case("DeviceNamesAreMadeHarmless", M("name CON|body 1") + M("name nul.txt|body 2") +
                                             M("name com1|body 3") + M("name LPT9.x.y|body 4") +
                                             M("name aux.|body 5") + M("name COM0|body 6") +
                                             M("name CONX|body 7") + M("name conout$|body 8"))
          .Lists("CON|1|$E\nnul.txt|1|$E\ncom1|1|$E\nLPT9.x.y|1|$E\naux.|1|$E\nCOM0|1|$E\n"
                 "CONX|1|$E\nconout$|1|$E\n")
          .Copies("COM0=6\nCONX=7\nCON_=1\nLPT9_.x.y=4\naux__=5\ncom1_=3\nconout$_=8\n"
                  "nul_.txt=2\n"),
      Case("NamesThatEndUpAlikeEachGetAFile",
           M("name twin|body 1") + M("name twin|body 2") + M("name TWIN|body 3") +
               M("name Re: a/b|body 4") + M("name Re: a?b|body 5") + M("name Re_ a b|body 6") +
               M("name x|body 7") + M("name x_(2)|body 8") + M("name X|body 9") +
               M("name Hello.|body 10") + M("name Hello_|body 11") + M("name twin_(2)|body 12"))
          .Lists("twin|1|$E\ntwin|1|$E\nTWIN|1|$E\nRe: a/b|1|$E\nRe: a?b|1|$E\nRe_ a b|1|$E\n"
                 "x|1|$E\nx_(2)|1|$E\nX|1|$E\nHello.|2|$E\nHello_|2|$E\ntwin_(2)|2|$E\n")
          .Copies("Hello_=10\nHello__(2)=11\nRe__a_b=4\nRe__a_b_(2)=5\nRe__a_b_(3)=6\n"
                  "TWIN_(3)=3\nX_(3)=9\ntwin=1\ntwin_(2)=2\ntwin_(2)_(2)=12\nx=7\nx_(2)=8\n"),

      // The index file changing between the two listings.
      Case("IndexGrowingBetweenListingsKeepsTheCount", One)
          .Between([](const Paths &p) {
            WriteFileBytes(p.Index, ReadFile(p.Index) + ReadFile(p.Index));
          })
          .Lists(OneListed)
          .Copies("one=abc\n"),
      Case("IndexShrinkingBetweenListingsListsWhatIsLeft",
           M("name a|body abc") + M("name b|body def"))
          .Between([](const Paths &p) { Resize(p.Index, IndexRecordSize + 50); })
          .Lists("a|3|$E\n")
          .Copies("a=abc\n"),
      Case("IndexEmptiedBetweenListingsListsNothing", One).Between([](const Paths &p) {
        Resize(p.Index, 0);
      }),
  };

  // Recognition words on the boundary: 80 00, 80 20, 80 40 and 80 60 open.
  for (const char *word : {"0x80", "0x2080", "0x4080", "0x6080", "0xffff0080"})
    rows.push_back(Case(std::string("Word") + word + "Opens",
                        M(std::string("flags ") + word + "|name w|body w"))
                       .Lists("w|1|$E\n")
                       .Copies("w=w\n"));
  for (const char *word : {"0", "0x81", "0xc0", "0x180", "0x1080", "0x8080", "0xa080", "0x7f"})
    rows.push_back(
        Case(std::string("Word") + word + "IsRefused", M(std::string("flags ") + word + "|name w"))
            .Refused());
    // Root reads and writes whatever the permission bits say, and Windows keeps
    // no such bits: those rows are for other users of POSIX systems only.
#ifdef _WIN32
  const bool permissions_hold = false;
#else
  const bool permissions_hold = geteuid() != 0;
#endif
  if (!permissions_hold)
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [](const Case &row) { return row.NeedsPermissions; }),
               rows.end());
  return rows;
}

class HostileFolder : public testing::TestWithParam<Case> {};

TEST_P(HostileFolder, BehavesAsStated) {
  const Case &row = GetParam();
  Paths paths;
  paths.Root = MakeTempDir();
  fs::create_directory(JoinPath(paths.Root, "folder"));
  paths.Index = MakeFolder(JoinPath(paths.Root, "folder"), row.Folder);
  paths.Data = paths.Index.substr(0, paths.Index.size() - 1) + "M";
  paths.Out = JoinPath(paths.Root, "out");
  const std::string dest = DestinationFor(paths, row.Dest);
  if (row.BeforeOpen != nullptr) row.BeforeOpen(paths);
  Warnings().clear();
  auto before = Snapshot(paths, dest);

  HANDLE folder = OpenFolder(paths.Index);
  if (row.IsRefused) {
    EXPECT_EQ(folder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Snapshot(paths, dest), before);
    return;
  }
  ASSERT_NE(folder, INVALID_HANDLE_VALUE);
  if (row.AfterOpen != nullptr) row.AfterOpen(paths);
  before = Snapshot(paths, dest);

  PluginPanelItem *items = nullptr;
  int count = -1;
  const int first = Plugin().GetFindData(folder, &items, &count, 0);
  if (items != nullptr) Plugin().FreeFindData(folder, items, count);
  if (row.BetweenListings != nullptr) row.BetweenListings(paths);
  before = Snapshot(paths, dest);
  items = nullptr;
  count = -1;
  const int second = Plugin().GetFindData(folder, &items, &count, 0);

  if (row.FailsListing) {
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(items, nullptr);
    EXPECT_EQ(count, 0);
  } else {
    EXPECT_EQ(first, 1);
    ASSERT_EQ(second, 1);
    ASSERT_NE(items, nullptr);
    EXPECT_EQ(Listing(items, count), Substitute(row.Listed, dest));
    std::string dest_path = dest;
    int exported = -1;
    const auto boxes = BoxesShownBy(
        [&] { exported = Plugin().GetFiles(folder, items, count, 0, &dest_path[0], 0); });
    Plugin().FreeFindData(folder, items, count);
    EXPECT_EQ(exported, row.Exported);
    EXPECT_EQ(Lines(boxes), Substitute(row.Boxes, dest));
    if (row.Dest == FreshDir) {
      std::string files;
      for (const std::string &name : ListDir(dest))
        files += name + "=" + ReadFile(JoinPath(dest, name)) + "\n";
      EXPECT_EQ(files, row.Files);
    }
  }
  std::vector<std::string> titles;
  for (const Warning &warning : Warnings()) titles.push_back(warning.Items.at(0));
  EXPECT_EQ(Lines(titles), row.Warning.empty() ? "" : row.Warning + "\n");
  Plugin().ClosePlugin(folder);
  EXPECT_EQ(Snapshot(paths, dest), before);
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileFolder, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<Case> &info) { return info.param.Name; });

}  // namespace
