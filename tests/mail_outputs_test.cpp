// vfolder's outputs for mail programs, in process: each with a fault put into
// the file table (a disk that fills up, a create, a close or a rename that
// fails, a name taken at the last moment), and a directory of folders into
// each kind of tree. The Windows test program runs them under Wine too.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "folder/message_copy.h"
#include "outputs/folder_tree.h"
#include "outputs/given_headers.h"
#include "outputs/mail_dates.h"
#include "outputs/mail_run.h"
#include "outputs/mbox_format.h"
#include "platform/file_system.h"
#include "tests/fault_harness.h"
#include "tests/test_support.h"
#include "tools/mkfolder/folder_writer.h"
#include "tools/vfolder/resume_ledger.h"
#include "tools/vfolder/system_calls.h"
#include "tools/vfolder/terminal_events.h"

#ifdef _WIN32
#define SEPARATOR "\\"
#else
#define SEPARATOR "/"
#endif

namespace {

// Message sizes: small ones and one above the 64 KiB copy buffer.
const int Sizes[] = {100, 3000, 70000, 500};
const int Count = 4;

// ---- Faults

// Bytes any one file may hold, as on a disk with that much room left.
uint64_t Room = 0;

bool WriteWithinRoom(FileRef file, const void *bytes, size_t size) {
  const int64_t held = HarnessCalls.SizeOf(file);
  const uint64_t left = held >= 0 && uint64_t(held) < Room ? Room - uint64_t(held) : 0;
  if (size <= left) return HarnessCalls.Write(file, bytes, size);
  if (left > 0) HarnessCalls.Write(file, bytes, size_t(left));
  SetSystemError(DiskFull);
  return false;
}

// Another program's file appears under the name the first move is to take.
int Moves = 0;
const char Theirs[] = "another program's message";

void TakeName(const char *to) {
  if (Moves++ == 0) WriteFileBytes(to, Theirs);
}

bool MoveOntoTaken(const char *from, const char *to, bool *taken) {
  TakeName(to);
  return HarnessCalls.MoveNoReplace(from, to, taken);
}

// The directory LinkUnnamed is given: the one delivered into.
std::string LinkedInto;

bool LinkOntoTaken(FileRef file, FileRef dir, const char *name, bool *taken) {
  TakeName(JoinPath(LinkedInto, name).c_str());
  return HarnessCalls.LinkUnnamed(file, dir, name, taken);
}

bool MoveReplacingOntoTaken(const char *from, const char *to) {
  TakeName(to);
  return HarnessCalls.MoveReplacing(from, to);
}

// The data folder file, which a create is led to as a path swapped for a
// link to it would lead it.
std::string DataPath;

FileRef CreateOpensTheDataFile(const char *, FileAccess, bool *exists) {
  *exists = false;
  FoundFile found = {};
  return HarnessCalls.OpenExisting(DataPath.c_str(), &found);
}


// What one output (by vfolder's name for it) makes of a fault: the messages
// written whole, and the lines that end with the system's text for the
// error: one for a file or directory that takes no message at all, said
// before any message, or one for each message.
struct FaultExpected {
  const char *Output;
  int Written, Lines;
};

struct FaultRow {
  const char *Name;
  // The call that fails, every time, leaving `Error`; or stand-ins of the
  // row's own put into the table.
  FileCall Failing;
  void (*Install)();
  // Each output the outputs write (output_table.h) has its line here.
  FaultExpected Outputs[4];
  // Messages the mbox file holds: fewer are written where its close failed,
  // which may have lost any of them; -1 for no file.
  int MboxHolds;
  // The error the fault leaves.
  int Error;
};

const FileCall NoCall = FileCallCount;

const FaultRow FaultRows[] = {
    // The disk fills up inside the large message: mbox stops there (its later
    // messages fail too), the others lose that one message only.
    {"DiskFullInsideTheLargeMessage",
     NoCall,
     [] { FileSystem.Write = WriteWithinRoom; },
     {{"mbox", 2, 1}, {"maildir", 3, 1}, {"copy --eml", 3, 1}, {"attachments", 3, 1}},
     2,
     DiskFull},
    {"CreateFails",
     CreateNewCall,
     nullptr,
     {{"mbox", 0, 1}, {"maildir", 0, 1}, {"copy --eml", 0, 1}, {"attachments", 0, 1}},
     -1,
     AccessDenied},
    {"CloseFails",
     CloseCall,
     nullptr,
     {{"mbox", 0, 1}, {"maildir", 0, 4}, {"copy --eml", 0, 4}, {"attachments", 0, 4}},
     4,
     IoError},
    {"SettingTheTimeFails",
     SetTimeCall,
     nullptr,
     {{"mbox", 4, 0}, {"maildir", 4, 0}, {"copy --eml", 4, 0}, {"attachments", 4, 0}},
     4,
     0},
    {"MoveFails",
     MoveNoReplaceCall,
     nullptr,
     {{"mbox", 4, 0}, {"maildir", 0, 4}, {"copy --eml", 4, 0}, {"attachments", 4, 0}},
     4,
     AccessDenied},
    {"EveryNameTaken",
     MoveNoReplaceCall,
     nullptr,
     {{"mbox", 4, 0}, {"maildir", 0, 0}, {"copy --eml", 4, 0}, {"attachments", 4, 0}},
     4,
     NameTaken},
    {"CreateOpensTheDataFile",
     NoCall,
     [] {
       FileSystem.CreateNew = CreateOpensTheDataFile;
       // A file with no name is always a new one: Maildir goes through tmp.
       FileSystem.CreateUnnamed = [](FileRef) { return NoFile; };
     },
     {{"mbox", 0, 0}, {"maildir", 0, 0}, {"copy --eml", 0, 0}, {"attachments", 0, 0}},
     -1,
     0},
    // A system without files that have no name, and one that makes them but
    // refuses to link them: Maildir goes through tmp, message by message
    // from the first it could not deliver so.
    {"NoUnnamedFiles",
     NoCall,
     [] {
       FileSystem.CreateUnnamed = [](FileRef) {
         SetSystemError(AccessDenied);
         return NoFile;
       };
     },
     {{"mbox", 4, 0}, {"maildir", 4, 0}, {"copy --eml", 4, 0}, {"attachments", 4, 0}},
     4,
     0},
    {"UnnamedFilesNotLinked",
     NoCall,
     [] {
       FileSystem.LinkUnnamed = [](FileRef, FileRef, const char *, bool *taken) {
         *taken = false;
         SetSystemError(AccessDenied);
         return false;
       };
     },
     {{"mbox", 4, 0}, {"maildir", 4, 0}, {"copy --eml", 4, 0}, {"attachments", 4, 0}},
     4,
     0},
    {"NameTakenAtTheMove",
     NoCall,
     [] {
       FileSystem.MoveNoReplace = MoveOntoTaken;
       FileSystem.LinkUnnamed = LinkOntoTaken;
       FileSystem.MoveReplacing = MoveReplacingOntoTaken;
     },
     {{"mbox", 4, 0}, {"maildir", 4, 0}, {"copy --eml", 4, 0}, {"attachments", 4, 0}},
     4,
     0},
};

// The lines of `text` that end with the system's text for `error`.
int LinesEndingWith(const std::string &text, int error) {
  const std::string end = Because(error) + "\n";
  int count = 0;
  for (size_t at = 0; (at = text.find(end, at)) != std::string::npos; at += end.size()) ++count;
  return count;
}

std::string Description() {
  std::string text;
  for (int i = 0; i < Count; ++i)
    text += "message\nname m" + std::to_string(i) + "\ndate 1 Mar 00 10:0" + std::to_string(i) +
            "\nbody-fill " + std::to_string(Sizes[i]) + "\n";
  return text;
}

// A message's bytes: a header block goes before them, for their first line
// is no header field.
std::string Body(int i) {
  std::string bytes(size_t(Sizes[i]), '\0');
  for (size_t at = 0; at < bytes.size(); ++at) bytes[at] = char('a' + at % 26);
  return bytes;
}

// Each message's bytes as the one attachment of a message of its own.
std::string AttachedDescription() {
  static const char Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (int i = 0; i < Count; ++i) {
    const std::string bytes = Body(i);
    std::string encoded;
    for (size_t at = 0; at < bytes.size(); at += 3) {
      uint32_t group = uint32_t(uint8_t(bytes[at])) << 16;
      if (at + 1 < bytes.size()) group |= uint32_t(uint8_t(bytes[at + 1])) << 8;
      if (at + 2 < bytes.size()) group |= uint8_t(bytes[at + 2]);
      for (int k = 0; k < 4; ++k)
        encoded += at + size_t(k) <= bytes.size() ? Digits[(group >> (18 - 6 * k)) & 63] : '=';
      if (at % 57 == 54) encoded += "\\n";
    }
    text += "message\nname m" + std::to_string(i) + "\ndate 1 Mar 00 10:0" + std::to_string(i) +
            "\nbody Content-Type: multipart/mixed; boundary=B\\n\\n--B\\nContent-Type: "
            "application/octet-stream\\nContent-Disposition: attachment; filename=m" +
            std::to_string(i) + ".bin\\nContent-Transfer-Encoding: base64\\n\\n" + encoded +
            "\\n--B--\\n\n";
  }
  return text;
}

// The given Date: is the index text's own time, in no known zone.
std::string GivenHeaders(int i, bool seen = false) {
  return "Subject: m" + std::to_string(i) + "\nDate: Wed, 1 Mar 2000 10:0" + std::to_string(i) +
         ":00 -0000\n" + (seen ? "Status: RO\nX-Mozilla-Status: 0001\n" : "") + "\n";
}

// The message as the Maildir and .eml files hold it.
std::string Message(int i, bool seen = false) { return GivenHeaders(i, seen) + Body(i); }

// The table's row vfolder names `name` ("copy --eml").
const OutputRow *Row(const std::string &name) {
  size_t count = 0;
  const OutputRow *rows = OutputRows(&count);
  for (size_t i = 0; i < count; ++i)
    if (OutputName(rows[i]) == name) return &rows[i];
  ADD_FAILURE() << "no output " << name;
  return OutputRows(&count);
}

MailRun RunOf(const std::string &name) {
  static TerminalRun terminal = {};
  MailRun run = {};
  run.Events = TerminalEvents(&terminal);
  run.Output = Row(name);
  run.Existing = MboxRefuse;
  return run;
}

// The messages written whole, by their number; -1 for a file that holds none
// of them whole.
std::vector<int> MessagesIn(const std::string &dir, bool seen = false) {
  std::vector<int> found;
  for (const std::string &name : ListDir(dir)) {
    const std::string bytes = ReadFile(JoinPath(dir, name));
    int number = -1;
    for (int i = 0; i < Count; ++i)
      if (bytes == Message(i, seen)) number = i;
    found.push_back(number);
  }
  std::sort(found.begin(), found.end());
  return found;
}

// The mbox form of the first `count` messages.
std::string MboxOf(int count) {
  ByteBuffer out = {};
  for (int i = 0; i < count; ++i) {
    const std::string bytes = Body(i);
    // The From line's time is the given Date:'s, 1 March 2000 10:0i UTC.
    AppendMboxMessage(&out, GivenHeaders(i), bytes.data(), bytes.size(), 951904800 + 60 * i);
  }
  std::string text(out.Bytes, out.Size);
  FreeBytes(&out);
  return text;
}

class FaultedOutput : public testing::TestWithParam<FaultRow> {
 protected:
  void SetUp() override {
    Room = 4000;
    Moves = 0;
    dir = MakeTempDir();
    index = MakeFolder(dir, Description());
    DataPath = index.substr(0, index.size() - 1) + "M";
    ASSERT_EQ(OpenMailFolder(index, &folder), FolderOpened);
    for (int i = 0; i < Count; ++i) chosen.push_back(i);
  }
  void TearDown() override {
    RestoreFileCalls();
    CloseMailFolder(&folder);
  }

  // `lines`: the lines the run is to end with the fault's error text; -1 for
  // no count.
  Tally Convert(const std::string &output, const std::string &target, int lines = -1,
                MboxExisting existing = MboxRefuse, MailFolder *from = nullptr) {
    MailRun run = RunOf(output);
    run.Existing = existing;
    testing::internal::CaptureStderr();
    if (GetParam().Install != nullptr) GetParam().Install();
    if (GetParam().Failing != NoCall) FailCall(GetParam().Failing, 1, GetParam().Error, true);
    const Tally tally = ConvertFolder(&run, from != nullptr ? from : &folder, chosen, target);
    RestoreFileCalls();
    const std::string said = testing::internal::GetCapturedStderr();
    if (GetParam().Error != 0 && lines >= 0) {
      EXPECT_EQ(LinesEndingWith(said, GetParam().Error), lines)
          << "output " << output << " said:\n"
          << said;
    }
    return tally;
  }

 public:
  // Each output's own checks of what it made of the fault, `expected` its
  // line of the row; each returns what it made.
  std::string CheckMbox(const FaultExpected &expected) {
    const FaultRow &row = GetParam();
    const std::string mbox = JoinPath(dir, "out.mbox");
    Tally tally = Convert(expected.Output, mbox, expected.Lines);
    EXPECT_EQ(tally.Written, expected.Written) << "mbox";
    EXPECT_EQ(tally.Failed, Count - expected.Written) << "mbox";
    EXPECT_EQ(FileExists(mbox), row.MboxHolds >= 0);
    if (row.MboxHolds >= 0) {
      EXPECT_EQ(ReadFile(mbox), MboxOf(row.MboxHolds)) << "mbox";
    }
    return mbox;
  }

  std::string CheckMaildir(const FaultExpected &expected) {
    const std::string maildir = JoinPath(dir, "Maildir");
    LinkedInto = JoinPath(maildir, "new");
    Tally tally = Convert(expected.Output, maildir, expected.Lines);
    EXPECT_EQ(tally.Written, expected.Written) << "maildir";
    EXPECT_EQ(tally.Failed, Count - expected.Written) << "maildir";
    const std::vector<int> delivered = MessagesIn(JoinPath(maildir, "new"));
    EXPECT_EQ(int(delivered.size()) - (Moves > 0 ? 1 : 0), expected.Written) << "maildir";
    EXPECT_EQ(std::count(delivered.begin(), delivered.end(), -1), Moves > 0 ? 1 : 0)
        << "maildir: a file not whole";
    EXPECT_TRUE(ListDir(JoinPath(maildir, "tmp")).empty()) << "maildir: something left in tmp";
    if (Moves > 0) {
      // The file that took the name first is still there, as it was.
      int theirs = 0;
      for (const std::string &name : ListDir(JoinPath(maildir, "new")))
        theirs += ReadFile(JoinPath(JoinPath(maildir, "new"), name)) == Theirs;
      EXPECT_EQ(theirs, 1) << "maildir: a delivery replaced a file";
    }
    return maildir;
  }

  std::string CheckEml(const FaultExpected &expected) {
    const std::string eml = JoinPath(dir, "eml");
    Tally tally = Convert(expected.Output, eml, expected.Lines);
    EXPECT_EQ(tally.Written, expected.Written) << "eml";
    EXPECT_EQ(tally.Failed, Count - expected.Written) << "eml";
    const std::vector<int> files = MessagesIn(eml);
    EXPECT_EQ(int(files.size()), expected.Written) << "eml: a file for a failed message";
    EXPECT_EQ(std::count(files.begin(), files.end(), -1), 0) << "eml: a file not whole";
    return eml;
  }

  // The same bytes as attachments, one in each message of a folder of its own.
  std::string CheckAttachments(const FaultExpected &expected) {
    const std::string attached_dir = MakeTempDir();
    const std::string attached_index = MakeFolder(attached_dir, AttachedDescription());
    const std::string attached_data = attached_index.substr(0, attached_index.size() - 1) + "M";
    const std::string attached_bytes = ReadFile(attached_index) + ReadFile(attached_data);
    DataPath = attached_data;
    MailFolder attached = {};
    EXPECT_EQ(OpenMailFolder(attached_index, &attached), FolderOpened);
    const std::string attachments = JoinPath(dir, "attachments");
    Tally tally = Convert(expected.Output, attachments, expected.Lines, MboxRefuse, &attached);
    CloseMailFolder(&attached);
    DataPath = index.substr(0, index.size() - 1) + "M";
    EXPECT_EQ(tally.Written, expected.Written) << "attachments";
    EXPECT_EQ(tally.Failed, Count - expected.Written) << "attachments";
    int whole = 0, others = 0;
    if (FileExists(attachments))
      for (const auto &entry : std::filesystem::recursive_directory_iterator(attachments)) {
        if (!entry.is_regular_file()) continue;
        const std::string name = entry.path().filename().string();
        const int i = name.size() == 6 ? name[1] - '0' : -1;
        ++(i >= 0 && i < Count && ReadFile(entry.path().string()) == Body(i) ? whole : others);
      }
    EXPECT_EQ(whole, expected.Written) << "attachments";
    EXPECT_EQ(others, 0) << "attachments: a file not whole";
    EXPECT_EQ(ReadFile(attached_index) + ReadFile(attached_data), attached_bytes)
        << "attachments: the folder's files";
    return attachments;
  }

  std::string dir, index;
  MailFolder folder = {};
  std::vector<int> chosen;
};

// Each output's checks, by vfolder's name for it.
const struct {
  const char *Output;
  std::string (FaultedOutput::*Check)(const FaultExpected &expected);
} FaultChecks[] = {{"mbox", &FaultedOutput::CheckMbox},
                   {"maildir", &FaultedOutput::CheckMaildir},
                   {"copy --eml", &FaultedOutput::CheckEml},
                   {"attachments", &FaultedOutput::CheckAttachments}};

}  // namespace

TEST_P(FaultedOutput, EachMessageCountedIsWholeAndNothingElseIsLeft) {
  const FaultRow &row = GetParam();
  const std::string folder_bytes =
      ReadFile(index) + ReadFile(index.substr(0, index.size() - 1) + "M");

  // Every output the outputs write, each with its line of the row and its
  // checks: an output without them fails here.
  std::vector<std::string> made;
  size_t count = 0;
  const OutputRow *rows = OutputRows(&count);
  for (size_t i = 0; i < count; ++i) {
    if (rows[i].Write == nullptr) continue;
    const std::string name = OutputName(rows[i]);
    const FaultExpected *expected = nullptr;
    for (const FaultExpected &line : row.Outputs)
      if (line.Output != nullptr && name == line.Output) expected = &line;
    auto check = std::find_if(std::begin(FaultChecks), std::end(FaultChecks),
                              [&](const auto &c) { return name == c.Output; });
    if (expected == nullptr || check == std::end(FaultChecks)) {
      ADD_FAILURE() << name << ": no line in the fault rows, or no checks";
      continue;
    }
    made.push_back((this->*(check->Check))(*expected));
  }
  const int mbox_written = std::find_if(std::begin(row.Outputs), std::end(row.Outputs),
                                        [](const FaultExpected &line) {
                                          return line.Output != nullptr &&
                                                 std::string(line.Output) == "mbox";
                                        })->Written;

  // An old mbox whose last line has no line feed, appended to and replaced.
  // A fault that keeps a new mbox from being made leaves an append whole.
  const std::string old_bytes = "From a Sat Jan  1 00:00:00 2000\nSubject: old\n\nold";
  const std::string old = JoinPath(dir, "old.mbox");
  WriteFileBytes(old, old_bytes);
  const int appended = row.MboxHolds >= 0 ? row.MboxHolds : Count;
  Tally tally = Convert("mbox", old, -1, MboxAppend);
  EXPECT_EQ(tally.Written, row.MboxHolds >= 0 ? mbox_written : Count) << "--append";
  EXPECT_EQ(ReadFile(old), old_bytes + (appended > 0 ? "\n\n" + MboxOf(appended) : ""))
      << "--append";
  WriteFileBytes(old, old_bytes);
#ifndef _WIN32
  chmod(old.c_str(), 0640);
#endif
  const bool replaced = mbox_written == Count;
  tally = Convert("mbox", old, -1, MboxReplace);
  EXPECT_EQ(tally.Written, replaced ? Count : 0) << "--replace";
  EXPECT_EQ(ReadFile(old), replaced ? MboxOf(Count) : old_bytes) << "--replace";
  for (const std::string &name : ListDir(dir))
    EXPECT_EQ(name.find(".vf"), std::string::npos) << "--replace left " << name;

#ifndef _WIN32
  // Mail is its owner's alone; a replaced file lets in whom it did.
  EXPECT_EQ(std::filesystem::status(old).permissions(), std::filesystem::perms(0640));
  for (const std::string &output : made) {
    if (!FileExists(output)) continue;
    EXPECT_EQ(int(std::filesystem::status(output).permissions()) & 077, 0) << output;
    if (!std::filesystem::is_directory(output)) continue;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(output))
      EXPECT_TRUE((int(entry.status().permissions()) & 077) == 0 ||
                  (entry.is_regular_file() && ReadFile(entry.path().string()) == Theirs))
          << entry.path();
  }
#endif

  EXPECT_EQ(ReadFile(index) + ReadFile(index.substr(0, index.size() - 1) + "M"), folder_bytes);
}

INSTANTIATE_TEST_SUITE_P(Rows, FaultedOutput, testing::ValuesIn(FaultRows),
                         [](const testing::TestParamInfo<FaultRow> &row) {
                           return std::string(row.param.Name);
                         });

// Names that differ only in the case of letters above A-Z: one file each,
// also where the file system takes them for one name (Windows).
TEST(MailOutputs, EmlTwinsBeyondAToZGetAFileEach) {
  const std::string dir = MakeTempDir();
  const std::string index =
      MakeFolder(dir,
                 "message\nname Gr\\xfc\\xdfe\nbody one\nmessage\nname GR\\xdc\\xdfE\nbody two\n"
                 "message\nname caf\\xe9\nbody three\nmessage\nname CAF\\xc9\nbody four\n");
  MailFolder folder = {};
  ASSERT_EQ(OpenMailFolder(index, &folder), FolderOpened);
  MailRun run = RunOf("copy --eml");
  run.Exact = true;
  const std::string eml = JoinPath(dir, "eml");
  const Tally tally = ConvertFolder(&run, &folder, {0, 1, 2, 3}, eml);
  CloseMailFolder(&folder);
  EXPECT_EQ(tally.Written, 4);
  // Listed and read with the calls that wrote them, in the same code page.
  std::vector<std::string> names, bodies;
  FileSystem.ListDirectory(
      eml.c_str(),
      [](void *list, const char *name) {
        static_cast<std::vector<std::string> *>(list)->push_back(name);
      },
      &names);
  for (const std::string &name : names) {
    const FileRef file = FileSystem.OpenForReading(JoinPath(eml, name).c_str());
    char bytes[16] = {};
    bodies.push_back(std::string(bytes, FileSystem.ReadAt(file, 0, bytes, sizeof bytes)));
    FileSystem.Close(file);
  }
  std::sort(bodies.begin(), bodies.end());
  EXPECT_EQ(bodies, (std::vector<std::string>{"four", "one", "three", "two"}));
}

// Five folders in two levels, one of them empty, into each kind of tree.
TEST(MailOutputs, DirectoryOfFoldersIntoEachTree) {
  const std::string dir = MakeTempDir(), mail = JoinPath(dir, "Mail");
  const std::pair<const char *, int> folders[] = {
      {"A.IDX", 3}, {"B.IDX", 2}, {"Sub", 0}, {"Sub/C.IDX", 4}, {"Sub/D.IDX", 1}, {"Sub/E.IDX", 0}};
  std::filesystem::create_directory(mail);
  for (const auto &entry : folders) {
    std::string path = mail + PATH_SEPARATOR;
    for (const char *c = entry.first; *c; ++c) path += *c == '/' ? PATH_SEPARATOR : *c;
    if (strchr(entry.first, '.') == nullptr) {
      std::filesystem::create_directory(path);
      continue;
    }
    std::string description, error;
    for (int i = 0; i < entry.second; ++i)
      description +=
          "message\nname n" + std::to_string(i) + "\nbody From x\\n" + std::to_string(i) + "\n";
    ASSERT_TRUE(WriteFolder(description, path, &error)) << error;
  }
  TreeNode top;
  int passed_over = -1;
  ASSERT_TRUE(FindFolders(mail, &top, &passed_over));
  EXPECT_EQ(passed_over, 0);
  EXPECT_EQ(CountMessages(top), 10);
  const char *const mbox_files[] = {"A",
                                    "B",
                                    "Sub",
                                    "Sub.sbd",
                                    "Sub.sbd" SEPARATOR "C",
                                    "Sub.sbd" SEPARATOR "D",
                                    "Sub.sbd" SEPARATOR "E"};
  const std::pair<const char *, TreeLayout> trees[] = {{"mbox", FileSystemLayout},
                                                       {"maildir", FileSystemLayout},
                                                       {"maildir", MaildirPlusPlusLayout},
                                                       {"copy --eml", MaildirPlusPlusLayout}};
  for (const auto &[name, layout] : trees) {
    MailRun run = RunOf(name);
    const TreeShape output = run.Output->Tree;
    run.Total = 10;
    const std::string out = JoinPath(dir, "out" + std::to_string(int(output)) + std::to_string(int(layout)));
    const Tally tally = ConvertTree(&run, top, out, layout);
    EXPECT_EQ(tally.Messages, 10) << output;
    EXPECT_EQ(tally.Written, 10) << output;
    EXPECT_EQ(tally.Failed, 0) << output;
    if (output == MaildirTree && layout == MaildirPlusPlusLayout) {
      EXPECT_EQ(ListDir(out), (std::vector<std::string>{".A", ".B", ".Sub.C", ".Sub.D", ".Sub.E",
                                                        "cur", "new", "tmp"}));
      EXPECT_EQ(ListDir(JoinPath(JoinPath(out, ".Sub.C"), "new")).size(), 4u);
      EXPECT_EQ(ListDir(JoinPath(out, ".Sub.E")),
                (std::vector<std::string>{"cur", "maildirfolder", "new", "tmp"}));
    } else if (output == MboxTree) {
      for (const char *name : mbox_files) EXPECT_TRUE(FileExists(JoinPath(out, name))) << name;
      const std::string c = ReadFile(JoinPath(out, "Sub.sbd" SEPARATOR "C"));
      EXPECT_EQ(c.substr(0, 5), "From ");
      EXPECT_NE(c.find("\n>From x\n3\n\n"), std::string::npos) << c;
      EXPECT_EQ(ReadFile(JoinPath(out, "Sub.sbd" SEPARATOR "E")), "");
    } else {
      const std::string c = JoinPath(JoinPath(out, "Sub"), "C");
      const std::string place = output == MaildirTree ? JoinPath(c, "new") : c;
      EXPECT_EQ(ListDir(place).size(), 4u) << output;
      EXPECT_EQ(ListDir(JoinPath(out, "Sub")), (std::vector<std::string>{"C", "D", "E"})) << output;
    }
  }
}

// A file system that refuses ':' in names, as FAT does.
FileRef CreateWithoutColons(const char *path, FileAccess access, bool *exists) {
  const char *name = strrchr(path, PATH_SEPARATOR);
  if (strchr(name != nullptr ? name : path, ':') != nullptr) {
    *exists = false;
    SetSystemError(EINVAL);
    return NoFile;
  }
  return HarnessCalls.CreateNew(path, access, exists);
}

// Whether files can be made in a directory is asked without leaving a name
// there a kill between the probe's create and its removal would keep.
TEST(MailOutputs, ProbeOfADirectoryLeavesNoName) {
  const std::string dir = MakeTempDir();
  FailCall(RemoveCall, 1, AccessDenied, true);
  int error = 0;
  EXPECT_TRUE(CanMakeFilesIn(dir, &error));
  EXPECT_EQ(ListDir(dir), std::vector<std::string>{});
}

// --seen: each message into cur, flagged as read, where names can hold ':';
// none at all, and nothing left behind, where they cannot (Windows, FAT).
TEST(MailOutputs, MaildirSeen) {
  const std::string dir = MakeTempDir(), index = MakeFolder(dir, Description());
  MailFolder folder = {};
  ASSERT_EQ(OpenMailFolder(index, &folder), FolderOpened);
#ifdef _WIN32
  const bool names_take_colons = false;
#else
  const bool names_take_colons = true;
#endif
  for (bool colons_refused : {false, true}) {
    MailRun run = RunOf("maildir");
    run.Seen = true;
    if (colons_refused) FileSystem.CreateNew = CreateWithoutColons;
#ifndef _WIN32
    // Made in cur itself where the system makes files without a name.
    if (!colons_refused)
      FileSystem.MoveNoReplace = [](const char *, const char *, bool *taken) {
        ADD_FAILURE() << "a message went through tmp";
        *taken = false;
        return false;
      };
#endif
    const std::string maildir = JoinPath(dir, colons_refused ? "Refused" : "Maildir");
    const Tally tally = ConvertFolder(&run, &folder, {0, 1, 2, 3}, maildir);
    RestoreFileCalls();
    const int delivered = names_take_colons && !colons_refused ? Count : 0;
    EXPECT_EQ(tally.Written, delivered) << colons_refused;
    EXPECT_EQ(tally.Given, delivered) << colons_refused;
    const std::vector<std::string> cur = ListDir(JoinPath(maildir, "cur"));
    EXPECT_EQ(int(cur.size()), delivered) << colons_refused;
    // SECONDS.M<6 digits of microseconds>P<process>Q<count>.HOST:2,S
    for (const std::string &name : cur)
      EXPECT_TRUE(std::regex_match(name, std::regex("[0-9]{10,}\\.M[0-9]{6}P[0-9]+Q[1-4]\\..+:2,S")))
          << name;
    // Each with the status lines that Thunderbird reads, as the mbox has them.
    std::vector<int> numbers;
    for (int i = 0; i < delivered; ++i) numbers.push_back(i);
    EXPECT_EQ(MessagesIn(JoinPath(maildir, "cur"), true), numbers);
    EXPECT_TRUE(ListDir(JoinPath(maildir, "new")).empty());
    EXPECT_TRUE(ListDir(JoinPath(maildir, "tmp")).empty());
  }
  CloseMailFolder(&folder);
}

// --resume whose ledger cannot be written, or synced, from its first line
// on: the run says so once with the system's reason and marks it (vfolder
// then exits 1); the messages are in the output whole, and the ledger names
// only those whose lines reached the system. The run again with the ledger
// sound passes over exactly those.
struct LedgerRow {
  const char *Name;
  const char *Output;  // vfolder's name for it
  FileCall Failing;  // on the ledger's file
  int Named;         // messages the ledger names afterwards
};

const LedgerRow LedgerRows[] = {
    {"MaildirLedgerCannotBeWritten", "maildir", WriteCall, 0},
    {"MaildirLedgerCannotBeSynced", "maildir", SyncCall, Count},
    {"EmlLedgerCannotBeWritten", "copy --eml", WriteCall, 0},
    {"MboxLedgerCannotBeWritten", "mbox", WriteCall, 0},
    {"MboxLedgerCannotBeSynced", "mbox", SyncCall, Count},
};

class ResumeLedgerFault : public testing::TestWithParam<LedgerRow> {};

// The descriptors the process holds, once the write-back thread has let go
// of its copies (-1 where the system does not tell).
int SettledDescriptors(int before) {
  int count = -1;
#ifdef __linux__
  for (int wait = 0; wait < 200 && (wait == 0 || count != before); ++wait) {
    if (wait > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    count = int(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                              std::filesystem::directory_iterator()));
  }
#else
  (void)before;
#endif
  return count;
}

TEST_P(ResumeLedgerFault, SaysSoAndNamesOnlyWhatReachedTheSystem) {
  const LedgerRow &row = GetParam();
  const std::string output = row.Output;
  const std::string dir = MakeTempDir(), index = MakeFolder(dir, Description());
  MailFolder folder = {};
  ASSERT_EQ(OpenMailFolder(index, &folder), FolderOpened);
  const std::string target = JoinPath(dir, "out"), ledger = JoinPath(dir, "out.ledger");
  const char *kind = output == "copy --eml" ? "eml" : row.Output;
  int descriptors = -1;  // after the first pass: the second leaves no more
  for (int pass = 0; pass < 2; ++pass) {
    MailRun run = RunOf(row.Output);
    run.Existing = MboxAppend;
    ResumeLedger resume = {};
    ASSERT_TRUE(UseResumeLedger(ledger.c_str(), kind, target, &resume, &run.Resume));
    if (pass == 0) FailCall(row.Failing, 1, DiskFull, true, resume.Ledger.File);
    testing::internal::CaptureStderr();
    const Tally tally = ConvertFolder(&run, &folder, {0, 1, 2, 3}, target);
    CloseResumeLedger(&resume);
    const std::string said = testing::internal::GetCapturedStderr();
    RestoreFileCalls();
    EXPECT_EQ(resume.Unwritten, pass == 0) << "pass " << pass;
    const std::string unwritten = ledger + ": cannot be written" + Because(DiskFull) + "\n";
    EXPECT_EQ(LinesEndingWith(said, DiskFull), pass == 0 ? 1 : 0) << said;
    EXPECT_EQ(said.find(unwritten) != std::string::npos, pass == 0) << said;
    EXPECT_EQ(tally.Before, pass == 0 ? 0 : row.Named) << "pass " << pass;
    EXPECT_EQ(tally.Written, pass == 0 ? Count : Count - row.Named) << "pass " << pass;
    if (pass == 0) descriptors = SettledDescriptors(-1);
  }
  EXPECT_EQ(SettledDescriptors(descriptors), descriptors);
  CloseMailFolder(&folder);
  if (row.Named < Count) return;
  if (output == "mbox") {
    EXPECT_EQ(ReadFile(target), MboxOf(Count));
  } else {
    EXPECT_EQ(MessagesIn(output == "maildir" ? JoinPath(target, "new") : target),
              (std::vector<int>{0, 1, 2, 3}));
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, ResumeLedgerFault, testing::ValuesIn(LedgerRows),
                         [](const testing::TestParamInfo<LedgerRow> &row) {
                           return std::string(row.param.Name);
                         });

// A new ledger's keys take the faster form; a ledger of the first form,
// written by an earlier version, keeps it, and what it names is passed over.
TEST(ResumeLedgerKeys, EarlierFormFoundNewFormWritten) {
  const std::string dir = MakeTempDir(), index = MakeFolder(dir, Description());
  MailFolder folder = {};
  ASSERT_EQ(OpenMailFolder(index, &folder), FolderOpened);
  std::string earlier;  // the first two messages, as an earlier run told them
  ASSERT_TRUE(OpenDataFile(folder.Handle));
  for (int i = 0; i < 2; ++i) {
    std::string bytes;
    const MessageEntry &entry = folder.Entries[size_t(i)];
    ASSERT_EQ(CopyMessage(folder.Handle, entry.DataOffset, entry.Size,
                          [](void *to, const void *data, size_t size) {
                            static_cast<std::string *>(to)->append(static_cast<const char *>(data), size);
                            return true;
                          },
                          &bytes),
              ExportWritten);
    earlier += ContentKey(bytes.data(), bytes.size(), 0) + " 0 0\n";
  }
  for (const bool first_form : {false, true}) {
    const std::string target = JoinPath(dir, first_form ? "old" : "new"),
                      ledger = target + ".ledger";
    if (first_form) WriteFileBytes(ledger, earlier);
    MailRun run = RunOf("maildir");
    ResumeLedger resume = {};
    ASSERT_TRUE(UseResumeLedger(ledger.c_str(), "maildir", target, &resume, &run.Resume));
    const Tally tally = ConvertFolder(&run, &folder, {0, 1, 2, 3}, target);
    CloseResumeLedger(&resume);
    EXPECT_EQ(tally.Before, first_form ? 2 : 0);
    EXPECT_EQ(tally.Written, first_form ? 2 : Count);
    const std::string held = ReadFile(ledger);
    EXPECT_EQ(held.find("\nv2.") != std::string::npos, !first_form) << held;
  }
  CloseMailFolder(&folder);
}

// What a message is given, decided on its first bytes as they come: no
// answer before the first line, or the header section, is whole. An
// envelope line before headers is no part of the message; lone CRs end the
// lines of old Mac mail.
TEST(MailOutputs, HeadersGivenFromTheFirstBytes) {
  const std::string long_section = "X-Long: " + std::string(LongestHeadSection, 'a');
  const struct {
    std::string Head;
    bool Whole, HasDate, Decided;
    HeadersGiven Given;
    size_t EnvelopeSize = 0;
    bool LoneCr = false;
  } rows[] = {
      {"Subject: x\n\nbody", true, false, true, NoHeadersGiven},
      {"Subject: x\nDate: y\n\nbody", true, true, true, NoHeadersGiven},
      {"Subject: x\n\nbody", true, true, true, DateGiven},
      {"Subject: x\n", false, true, false, NoHeadersGiven},  // more headers may follow
      {"Subject: x\n", false, false, true, NoHeadersGiven},  // no date to give
      {"Subj", false, true, false, NoHeadersGiven},
      {"Subj", true, true, true, BlockGiven},
      {"a note without a colon\n", false, true, true, BlockGiven},
      {"From joe Sat Mar 11 10:00:00 2000\n", false, true, false, NoHeadersGiven},
      {"From joe Sat Mar 11 10:00:00 2000\nSubj", false, true, false, NoHeadersGiven},
      {"From joe Sat Mar 11 10:00:00 2000\nSubject: x\n\n", true, true, true, DateGiven, 34},
      {"From joe Sat Mar 11 10:00:00 2000\r\nDate: d\r\n\r\n", true, true, true, NoHeadersGiven,
       35},
      {"From joe Sat Mar 11 10:00:00 2000\nA note\n", true, true, true, BlockGiven},
      {"From joe\n", true, true, true, BlockGiven},
      {"Subject: x\rDate: d\r\rbody\r", true, true, true, NoHeadersGiven, 0, true},
      {"Subject: x\r\rbody", true, true, true, DateGiven, 0, true},
      {"Subject: x\rDate: d\r", false, true, false, NoHeadersGiven},
      {"Subject: x\r", false, true, false, NoHeadersGiven},
      {"Subject: x\r", true, true, true, DateGiven},
      {"\rbody\r", true, true, true, BlockGiven, 0, true},
      {"Subject: x\rDate: d\nbody\r\r", true, true, true, DateGiven},  // a line feed: no lone CRs
      {"From joe\rSubject: x\r\r", true, true, true, DateGiven, 9, true},
      {"", true, false, true, BlockGiven},
      {"\nbody", true, true, true, BlockGiven},
      {"X-A: a\n date: folded on\n\n", true, true, true, DateGiven},
      {"Subject : old style\r\nDATE\t: d\r\n\r\n", true, true, true, NoHeadersGiven},
      {long_section, false, true, true, DateGiven},
  };
  for (const auto &row : rows) {
    MessageHead head = {};
    EXPECT_EQ(DecideHeaders(row.Head.data(), row.Head.size(), row.Whole, row.HasDate, &head),
              row.Decided)
        << row.Head.substr(0, 40);
    if (row.Decided) {
      EXPECT_EQ(head.Given, row.Given) << row.Head.substr(0, 40);
      EXPECT_EQ(head.EnvelopeSize, row.EnvelopeSize) << row.Head.substr(0, 40);
      EXPECT_EQ(head.LoneCr, row.LoneCr) << row.Head.substr(0, 40);
      EXPECT_EQ(head.Crlf, row.LoneCr || row.Head.find("\r\n") != std::string::npos)
          << row.Head.substr(0, 40);
    }
  }
}

// The Date: given from each index date text: its own date and time in no
// known zone; none, and no item time, for a text not in the mail program's
// form or that names no day of the calendar.
TEST(MailOutputs, DatesFromIndexTexts) {
  const std::pair<const char *, const char *> rows[] = {
      {"12 Mar 00 14:35", "Sun, 12 Mar 2000 14:35:00 -0000"},
      {"5 Mar 00 14:35", "Sun, 5 Mar 2000 14:35:00 -0000"},
      {" 5 Mar 00 14:35", "Sun, 5 Mar 2000 14:35:00 -0000"},
      {"1 Jan 99 00:00", "Fri, 1 Jan 1999 00:00:00 -0000"},
      {"12 mar 49 14:35:59", "Fri, 12 Mar 2049 14:35:00 -0000"},
      {"29 Feb 00 23:59", "Tue, 29 Feb 2000 23:59:00 -0000"},
      {"29 Feb 01 10:00", ""},
      {"31 Apr 00 10:00", ""},
      {"0 Mar 00 14:35", ""},
      {"12 Mar 00 24:00", ""},
      {"12 Mar 00 14:60", ""},
      {"12 Mar 00 14.35", ""},
      {"12 Mar 00 14:355", ""},
      {"12 Xyz 00 14:35", ""},
      {"12 Mar 2000 14:35", ""},
      {"12 Mar", ""},
      {"garbage", ""},
      {"", ""},
  };
  std::string description;
  for (const auto &row : rows) description += std::string("message\ndate ") + row.first + "\n";
  const std::string index = MakeFolder(MakeTempDir(), description);
  MailFolder folder = {};
  ASSERT_EQ(OpenMailFolder(index, &folder), FolderOpened);
  for (int i = 0; i < int(std::size(rows)); ++i) {
    EXPECT_EQ(HeaderDateOf(folder, i), rows[i].second) << rows[i].first;
    const FILETIME &time = folder.Entries[size_t(i)].Time;
    EXPECT_EQ(time.dwLowDateTime != 0 || time.dwHighDateTime != 0, rows[i].second[0] != '\0')
        << rows[i].first;
  }
  CloseMailFolder(&folder);
  // The mbox From line's date, as asctime writes it.
  EXPECT_EQ(AsctimeOf(0), "Thu Jan  1 00:00:00 1970");
  EXPECT_EQ(AsctimeOf(-1), "Wed Dec 31 23:59:59 1969");
  EXPECT_EQ(AsctimeOf(952871759), "Sun Mar 12 14:35:59 2000");
}

// A Date: field's value as mail readers read it, and the moment chosen from
// it and the index date: none before 1902 or after the run's time.
TEST(MailOutputs, DateFieldsAsMailReadersReadThem) {
  const int64_t none = INT64_MIN;
  const struct {
    const char *Value;
    int64_t Seconds;
    int Zone;
  } rows[] = {
      {"Sat, 11 Mar 00 10:00:00 +0100", 952765200, 60},
      {"11 Mar 49 10:00 +0100", 2499066000, 60},
      {"Sat, 11 Mar 50 10:00:00 +0100", -625158000, 60},
      {"Thu, 11 Mar 99 10:00:00 -0500", 921164400, -300},
      {"Mon, 11 Mar 102 10:00:00 GMT", 1015840800, 0},
      {" 12 Mar 2000 14:35 (lunch (late))\r\n EST", 952889700, -300},
      {"Sun (day) , 12 March 2000 14:35 PDT", 952896900, -420},
      {"Sun, 12 Mar 2000 14:35:00 -0000", 952871700, 0},
      {"12 Mar 2000 14:35:60 +0000", 952871759, 0},
      {"12 Mar 2000 14:35 +0130", 952866300, 90},
      {"12 mar 2000 14:35", 952871700, 0},
      {"31 Feb 2000 10:00 +0000", none, 0},
      {"12 Mar 2000 24:00 +0000", none, 0},
      {"12 Mar 2000 14:35 +0160", none, 0},
      {"12 Xyz 2000 14:35 +0000", none, 0},
      {"12 Mar 2000", none, 0},
      {"d", none, 0},
      {"", none, 0},
  };
  for (const auto &row : rows) {
    MailTime time = {};
    const bool read = ReadHeaderDate(row.Value, strlen(row.Value), &time);
    EXPECT_EQ(read ? time.Seconds : none, row.Seconds) << row.Value;
    if (read) {
      EXPECT_EQ(time.Zone, row.Zone) << row.Value;
    }
  }
  const int64_t now = 1767225600;  // 1 January 2026
  const IndexDateText undated = {}, dated = {2000, 3, 12, 14, 35}, ahead = {2049, 3, 12, 14, 35};
  const struct {
    const char *Own;  // null: no Date:
    const IndexDateText *Index;
    int64_t Seconds;
  } choices[] = {
      {"Sat, 11 Mar 00 10:00:00 +0100", &dated, 952765200},  // its own first
      {"11 Mar 49 10:00 +0100", &undated, none},             // ahead of the run
      {"11 Mar 49 10:00 +0100", &dated, 952871700},
      {"1 Jan 1902 00:00 +0000", &undated, -2145916800},
      {"31 Dec 1901 23:00 +0000", &undated, none},
      {"1 Jan 1902 00:00 +0100", &dated, 952871700},
      {"d", &dated, 952871700},
      {nullptr, &dated, 952871700},
      {nullptr, &undated, none},
      {nullptr, &ahead, none},
  };
  for (const auto &choice : choices) {
    const std::string own = choice.Own != nullptr ? choice.Own : "";
    const MailTime time = ChooseMailTime(*choice.Index, choice.Own != nullptr ? &own : nullptr, now);
    EXPECT_EQ(time.Known ? time.Seconds : none, choice.Seconds)
        << (choice.Own != nullptr ? choice.Own : "no Date:") << ", index year "
        << choice.Index->Year;
  }
}

// Old Mac mail, larger than a piece of the copy: every lone CR is written as
// CR LF, also one that ends a piece, and a CR LF split between two pieces
// stays one line end.
TEST(MailOutputs, LoneCrEndsWrittenAsCrLf) {
  std::string body = "Subject: mac\rDate: d\r\r";
  body += std::string(65536 - 1 - body.size(), 'a') + "\r";  // a lone CR ends the first piece
  body += std::string(65535, 'b') + "\r\n";  // a CR LF across the end of the second
  body += "last\r";
  std::string stored, escaped;
  for (size_t i = 0; i < body.size(); ++i) {
    stored += body[i];
    if (body[i] == '\r' && (i + 1 == body.size() || body[i + 1] != '\n')) stored += '\n';
    escaped += body[i] == '\r' ? "\\r" : body[i] == '\n' ? "\\n" : std::string(1, body[i]);
  }
  const std::string dir = MakeTempDir();
  const std::string index =
      MakeFolder(dir, "message\nname mac\ndate 12 Mar 00 14:35\nbody " + escaped + "\n");
  MailFolder folder = {};
  ASSERT_EQ(OpenMailFolder(index, &folder), FolderOpened);
  // Every output that writes the message's own bytes (those --exact keeps).
  size_t count = 0;
  const OutputRow *rows = OutputRows(&count);
  for (size_t i = 0; i < count; ++i) {
    if (rows[i].Write == nullptr || !OutputTakes(rows[i], TakesExact)) continue;
    MailRun run = RunOf(OutputName(rows[i]));
    const TreeShape output = rows[i].Tree;
    const std::string out = JoinPath(dir, "out" + std::to_string(i));
    EXPECT_EQ(ConvertFolder(&run, &folder, {0}, out).Written, 1) << output;
    std::string written;
    if (output == MboxTree) {
      written = ReadFile(out);
      const size_t from_line = written.find('\n') + 1;
      written = written.substr(from_line, written.size() - from_line - 1);  // and the empty line
    } else {
      const std::string place = output == MaildirTree ? JoinPath(out, "new") : out;
      ASSERT_EQ(ListDir(place).size(), 1u);
      written = ReadFile(JoinPath(place, ListDir(place)[0]));
    }
    EXPECT_TRUE(written == stored) << output << ": " << written.size() << " bytes, not "
                                   << stored.size();
  }
  CloseMailFolder(&folder);
}

// A stop between two attachments of a message: the first stays whole, and
// the message counts as not handled, as one stopped inside its file does.
namespace {
bool StopNow = false;
bool StopWhenAsked(void *) { return StopNow; }
void StopAfterAFile(void *, PartialStep step, FileRef, const char *, uint64_t) {
  if (step == PartialForgotten) StopNow = true;
}
}  // namespace

TEST(MailOutputs, AttachmentsStoppedBetweenTwoFiles) {
  const std::string dir = MakeTempDir();
  const std::string index = MakeFolder(
      dir, "message\nname two\nbody Content-Type: multipart/mixed; boundary=B\\n\\n--B\\n"
           "Content-Disposition: attachment; filename=a.bin\\n\\nfirst\\n--B\\n"
           "Content-Disposition: attachment; filename=b.bin\\n\\nsecond\\n--B--\\n\n");
  MailFolder folder = {};
  ASSERT_EQ(OpenMailFolder(index, &folder), FolderOpened);
  MailRun run = RunOf("attachments");
  run.Events.Stopping = StopWhenAsked;
  run.Events.Partial = StopAfterAFile;
  StopNow = false;
  const std::string out = JoinPath(dir, "out");
  const Tally tally = ConvertFolder(&run, &folder, {0}, out);
  CloseMailFolder(&folder);
  EXPECT_EQ(tally.Handled, 0);
  EXPECT_EQ(tally.Written, 0);
  EXPECT_EQ(ListDir(JoinPath(out, "two")), std::vector<std::string>{"a.bin"});
  EXPECT_EQ(ReadFile(JoinPath(JoinPath(out, "two"), "a.bin")), "first");
}
