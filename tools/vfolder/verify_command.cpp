#include "tools/vfolder/verify_command.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "outputs/folder_tree.h"
#include "outputs/verify.h"
#include "tools/vfolder/escaped_text.h"
#ifdef VFOLDER_IMAP
#include "outputs/imap_session.h"
#include "tools/vfolder/imap_verify.h"
#endif
#include "tools/vfolder/system_calls.h"

namespace {

// One folder and where its output is.
struct Checked {
  std::string Index;  // the index file's path
  std::string Shown;  // as the lines name the folder; empty for a folder given alone
  std::string Place;  // the output's path, or the mailbox's name
  VerifyKind Kind;
  bool Exists;
};

struct Totals {
  int Messages, Present, Missing, Twice, Changed, Extra, Unreadable, Unread;
  bool Failed;        // a folder or an output could not be read
  bool NeedsCharset;  // a folder's names need --charset: the check stopped there
};

std::string CountsText(const Totals &t) {
  std::string text = std::to_string(t.Messages) + (t.Messages == 1 ? " message: " : " messages: ") +
                     std::to_string(t.Present) + " present, " + std::to_string(t.Missing) +
                     " missing, " + std::to_string(t.Twice) + " twice, " +
                     std::to_string(t.Changed) + " changed";
  if (t.Extra > 0) text += ", " + std::to_string(t.Extra) + " extra";
  if (t.Unreadable > 0) text += ", " + std::to_string(t.Unreadable) + " not readable in the folder";
  if (t.Unread > 0) text += ", " + std::to_string(t.Unread) + " not readable in the output";
  return text;
}

const char *StateWord(const CheckedMessage &message) {
  return message.State == MessageMissing      ? "missing"
         : message.State == MessageChanged    ? "changed"
         : message.State == MessageUnreadable ? "unreadable"
                                              : "twice";
}

// The folder's lines: its counts, then each message missing, twice, changed
// or unreadable, each output message extra or unreadable.
void PrintFolder(const VerifyCommand &command, const Checked &folder, const MailFolder &mail,
                 const FolderCheck &check, const std::vector<FoundMessage> &found,
                 const std::vector<std::string> &unread) {
  const Totals t = {check.Messages, check.Present, check.Missing,    check.Twice,
                    check.Changed,  check.Extra,   check.Unreadable, int(unread.size()),
                    false,         false};
  if (command.Tsv) {
    const std::string shown = Escaped(folder.Shown.c_str());
    printf("folder\t%s\t%s\t%d\t%d\t%d\t%d\t%d\t%d\t%d\t%d\n", shown.c_str(),
           Escaped(folder.Place.c_str()).c_str(), t.Messages, t.Present, t.Missing, t.Twice,
           t.Changed, t.Extra, t.Unreadable, t.Unread);
    for (const CheckedMessage &message : check.Problems) {
      printf("message\t%s\t%d\t%s\t%s", shown.c_str(), message.Position,
             Escaped(NameOf(mail, message.Position)).c_str(), StateWord(message));
      for (size_t i : message.Found) printf("\t%s", Escaped(found[i].Name.c_str()).c_str());
      printf("\n");
    }
    for (size_t i : check.Extras)
      printf("extra\t%s\t%s\n", shown.c_str(), Escaped(found[i].Name.c_str()).c_str());
    for (const std::string &name : unread)
      printf("unread\t%s\t%s\n", shown.c_str(), Escaped(name.c_str()).c_str());
    return;
  }
  printf("%s%s%s\n", TableText(folder.Shown).c_str(), folder.Shown.empty() ? "" : ": ",
         CountsText(t).c_str());
  for (const CheckedMessage &message : check.Problems) {
    std::string where;
    for (size_t i : message.Found) where += (where.empty() ? "" : ", ") + TableText(found[i].Name);
    const std::string state = message.State == MessagePresent && message.Found.size() > 2
                                  ? std::to_string(message.Found.size()) + " times"
                                  : StateWord(message);
    printf("  %d %s: %s%s%s\n", message.Position, TableText(NameOf(mail, message.Position)).c_str(),
           state.c_str(), where.empty() ? "" : ": ", where.c_str());
  }
  for (size_t i : check.Extras) printf("  extra: %s\n", TableText(found[i].Name).c_str());
  for (const std::string &name : unread) printf("  cannot be read: %s\n", TableText(name).c_str());
}

// What a reader of the output is: the files' own, or a mailbox's.
struct OutputReading {
#ifdef VFOLDER_IMAP
  ImapReading *Imap;
#endif
  bool Lost;  // the connection went: nothing more can be read
};

// The output's messages; false, having said why, when it cannot be read.
bool ReadOutput(OutputReading *reading, const Checked &folder, std::vector<FoundMessage> *found,
                std::vector<std::string> *unread) {
  const std::string shown = Printable(folder.Place.c_str());
  if (folder.Kind == VerifyImap) {
#ifdef VFOLDER_IMAP
    bool missing = false;
    std::string problem;
    if (reading->Lost) return false;
    if (ReadMailboxMessages(reading->Imap, folder.Place, found, &missing, &problem)) return true;
    reading->Lost = !missing;
    fprintf(stderr, "vfolder: mailbox %s: %s\n", shown.c_str(), problem.c_str());
#else
    (void)reading;
#endif
    return false;
  }
  if (!folder.Exists) {
    fprintf(stderr, "vfolder: %s: no output there\n", shown.c_str());
    return false;
  }
  int error = 0;
  if (ReadOutputMessages(folder.Place, folder.Kind, found, unread, &error)) return true;
  fprintf(stderr, "vfolder: %s: cannot be read%s\n", shown.c_str(), Because(error).c_str());
  return false;
}

// Checks one folder against its output; adds to the totals.
void CheckFolder(const VerifyCommand &command, OutputReading *reading, const Checked &folder,
                 Totals *totals) {
  MailFolder mail;
  const FolderOpening opening = OpenMailFolder(FullPath(folder.Index.c_str()), &mail,
                                               command.Charset);
  if (opening != FolderOpened) {
    fprintf(stderr, "vfolder: %s: %s\n", Printable(folder.Index.c_str()).c_str(),
            opening == NotAFolder ? "not a Vessor mail folder" : "cannot be read");
    totals->Failed = true;
    CloseMailFolder(&mail);
    return;
  }
  // The bytes every mail output writes (mbox's, as those of the others).
  MailRun run = {};
  run.Output = OutputOfCommand("mbox", nullptr);
  run.Charset = command.Charset;
  run.Exact = command.Exact;
  run.Seen = command.Seen;
  // Lines given from 8-bit names that no character set decodes: the
  // output refused them, and the check cannot know their bytes either.
  std::vector<int> all;
  for (int i = 0; i < int(mail.Entries.size()); ++i) all.push_back(i);
  if (NeedsCharset(run, &mail, all)) {
    fprintf(stderr,
            "vfolder: %s: names with bytes above 0x7F are given as headers: --charset CP "
            "names their character set, as for the output\n",
            Printable(folder.Index.c_str()).c_str());
    totals->NeedsCharset = true;
    CloseMailFolder(&mail);
    return;
  }
  std::vector<FoundMessage> found;
  std::vector<std::string> unread;
  if (!ReadOutput(reading, folder, &found, &unread)) totals->Failed = true;
  const FolderCheck check = MatchMessages(ExpectedMessages(run, &mail, folder.Kind), found);
  PrintFolder(command, folder, mail, check, found, unread);
  totals->Messages += check.Messages;
  totals->Present += check.Present;
  totals->Missing += check.Missing;
  totals->Twice += check.Twice;
  totals->Changed += check.Changed;
  totals->Extra += check.Extra;
  totals->Unreadable += check.Unreadable;
  totals->Unread += int(unread.size());
  CloseMailFolder(&mail);
}

// The folder's name for the lines of a tree: its index file's path below `dir`.
std::string BelowDirectory(const std::string &path, const std::string &dir) {
  return path.compare(0, dir.size() + 1, dir + SystemSeparator) == 0 ? path.substr(dir.size() + 1)
                                                                      : path;
}

// The mailboxes of a tree, as vfolder imap names them: each folder by its
// path below the directory, the server's delimiter between, under `base`.
void MailboxesBelow(const TreeNode &node, const std::string &base, char delimiter,
                    const std::string &dir, std::vector<Checked> *out) {
  for (const TreeNode &child : node.Children) {
    std::string name = child.Name;
    std::replace(name.begin(), name.end(), delimiter, '_');
    const std::string mailbox = base.empty() ? name : base + delimiter + name;
    if (child.IsFolder)
      out->push_back({child.Path, BelowDirectory(child.Path, dir), mailbox, VerifyImap, true});
    else
      MailboxesBelow(child, mailbox, delimiter, dir, out);
  }
}

bool IsImapUrl(const char *output) {
  return strncmp(output, "imap://", 7) == 0 || strncmp(output, "imaps://", 8) == 0;
}

}  // namespace

int RunVerifyCommand(const VerifyCommand &command) {
  std::string source = command.Source;
  auto ends_in_separator = [](const std::string &path) {
    return path.size() > 1 && (path.back() == '/' || path.back() == SystemSeparator);
  };
  while (ends_in_separator(source)) source.pop_back();
  std::string output = command.Output;
  const bool imap = IsImapUrl(command.Output);
  while (!imap && ends_in_separator(output)) output.pop_back();
  const bool directory = FileSystem.KindOf(source.c_str(), true) == PathDirectory;
  TreeNode top;
  if (directory) {
    int passed_over = 0;
    FindFolders(source, &top, &passed_over);
    if (top.Children.empty()) {
      fprintf(stderr, "vfolder: %s: no Vessor mail folder in it\n", Printable(source.c_str()).c_str());
      return 2;
    }
  } else if (int64_t records = 0;
             IsFolderFile(FullPath(source.c_str()), &records) == NoFolderFile) {
    fprintf(stderr, "vfolder: %s: not a Vessor mail folder\n", Printable(source.c_str()).c_str());
    return 2;
  }
  OutputReading reading = {};
  std::vector<Checked> folders;
  if (imap) {
#ifdef VFOLDER_IMAP
    std::string problem;
    reading.Imap = OpenImapReading(command.Output, command.PasswordFile, command.CaFile,
                                   command.TokenCommand, &problem);
    if (reading.Imap == nullptr) {
      fprintf(stderr, "vfolder: %s\n", problem.c_str());
      return 1;
    }
    const std::string base = BaseMailbox(*reading.Imap);
    if (directory) {
      MailboxesBelow(top, base, MailboxDelimiter(*reading.Imap), source, &folders);
    } else {
      folders.push_back(
          {source, "", base.empty() ? MailboxOfFolder(source) : base, VerifyImap, true});
    }
#else
    fputs("vfolder: imap is not in this build\n", stderr);
    return 2;
#endif
  } else if (directory) {
    for (const TreeOutput &place : TreeOutputs(top, output))
      folders.push_back({place.Folder->Path, BelowDirectory(place.Folder->Path, source),
                         place.Place, place.Kind, place.Exists});
  } else {
    Checked folder = {source, "", output, VerifyEml, false};
    folder.Exists = OutputKindAt(output, &folder.Kind);
    if (!folder.Exists) {
      fprintf(stderr, "vfolder: %s: no mbox file, Maildir or directory there\n",
              Printable(output.c_str()).c_str());
      return 2;
    }
    folders.push_back(folder);
  }
  Totals totals = {};
  for (size_t i = 0; i < folders.size() && !totals.NeedsCharset; ++i)
    CheckFolder(command, &reading, folders[i], &totals);
  if (directory && !command.Tsv && !totals.NeedsCharset)
    printf("all folders: %s\n", CountsText(totals).c_str());
  const bool whole = totals.Present == totals.Messages && totals.Twice == 0 &&
                     totals.Unread == 0 && !totals.Failed;
  const int status = totals.NeedsCharset ? 2 : whole ? 0 : 1;
#ifdef VFOLDER_IMAP
  CloseImapReading(reading.Imap);
#endif
  return status;
}
