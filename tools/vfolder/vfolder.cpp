// vfolder: lists and copies the messages of a Vessor mail folder through the
// plug-in library, calling its entry points in the order the file manager
// does, and moves whole folders, or directories of them, into mbox files,
// Maildirs and .eml files for today's mail programs, or takes their
// messages' attachments out as files.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "folder/message_copy.h"
#include "outputs/folder_tree.h"
#include "tools/vfolder/escaped_text.h"
#ifdef VFOLDER_IMAP
#include "tools/vfolder/imap_command.h"
#include "outputs/imap_providers.h"
#endif
#include "tools/vfolder/parts_command.h"
#include "tools/vfolder/plugin_commands.h"
#include "tools/vfolder/progress.h"
#include "tools/vfolder/resume_ledger.h"
#include "tools/vfolder/system_calls.h"
#include "tools/vfolder/terminal_events.h"
#include "tools/vfolder/verify_command.h"

namespace {

// The usage's lines before the outputs' and after them.
const char UsageStart[] =
    "usage: vfolder --version | --help\n"
    "       vfolder [--charset CP] [--plugin PATH] list [--tsv] INDEX\n"
    "       vfolder [--charset CP] parts [--tsv] INDEX ITEM\n";
const char UsageEnd[] =
    "       vfolder [--charset CP] [--exact] [--seen] [--tsv] [--password-file FILE]\n"
    "               [--oauth2-token-command CMD] [--ca FILE] verify INDEX|DIR OUTPUT|URL\n";

// The help's paragraphs before the outputs' and after them.
const char HelpStart[] =
    "Lists and copies out the messages of a Vessor mail folder through the\n"
    "file-manager plug-in, exactly as the file manager drives it, and moves\n"
    "folders into the files of today's mail programs, or takes out the\n"
    "attachments of their messages.\n"
    "\n"
    "  list INDEX          a table of the items, newest first, with their times\n"
    "                      in the local time zone (TZ), as the panel shows them\n"
    "  list --tsv INDEX    one line per item in listing order, tab-separated:\n"
    "                      position, name, description, size, creation time,\n"
    "                      last-write time (file times), attributes, data offset;\n"
    "                      in name and description \\ \\t \\n \\r and other control\n"
    "                      bytes are escaped (\\\\, \\t, \\n, \\r, \\xHH)\n"
    "  parts INDEX ITEM    the tree of the parts of message ITEM (a position from\n"
    "                      the listing, or an exact name): one line per part, by\n"
    "                      depth, with its position (1 is the message, 1.2 its\n"
    "                      second part), type, size decoded and file name: the\n"
    "                      name the message gives it, made safe, or \"part N.ext\";\n"
    "                      blocks uuencoded in a text are parts below it\n"
    "  parts --tsv INDEX ITEM\n"
    "                      the same, tab-separated after a header line: position,\n"
    "                      type, charset, disposition, decoded size, name, named\n"
    "                      (1 when the message names it), attachment (1 for what\n"
    "                      a mail program shows as one), escaped as in list --tsv\n";
const char HelpEnd[] =
    "  verify INDEX|DIR OUTPUT\n"
    "                      reads back what mbox, maildir, copy --eml or imap made\n"
    "                      of the folder or directory (OUTPUT: the mbox file, the\n"
    "                      Maildir, the directory of .eml files, the tree of\n"
    "                      them, or the URL imap was given), and finds each message\n"
    "                      of the folders there once and unchanged, as the output\n"
    "                      writes it: give the --exact, --seen and --charset the\n"
    "                      output was made with. Per folder one line \"N messages:\n"
    "                      N present, N missing, N twice, N changed\" (\", N extra\"\n"
    "                      for messages of no folder message), then each message\n"
    "                      missing, twice or changed by position and name, with\n"
    "                      the output's message (a file, \"#N at byte B\" of an\n"
    "                      mbox, \"UID N\" of a mailbox). Compared: each message's\n"
    "                      bytes as the output is to hold them; not compared: an\n"
    "                      mbox's From line, file names and times, a mailbox's\n"
    "                      dates and flags. A changed message is told from a\n"
    "                      missing one by its header section, its body or its\n"
    "                      place in the output's order. Exit status 0 only when\n"
    "                      every message is there once and unchanged, else 1\n"
    "                      (also when the output cannot be read); 2 when there\n"
    "                      is no output at OUTPUT\n"
    "  verify --tsv ...    tab-separated lines, escaped as in list --tsv:\n"
    "                      folder FOLDER PLACE MESSAGES PRESENT MISSING TWICE\n"
    "                      CHANGED EXTRA UNREADABLE UNREAD (FOLDER empty for one\n"
    "                      folder given alone), message FOLDER POSITION NAME\n"
    "                      missing|twice|changed|unreadable FOUND..., extra FOLDER\n"
    "                      FOUND, unread FOLDER FOUND\n"
    "  --dry-run           imap logs in and looks, and says what would go where\n"
    "  --resume            maildir, copy --eml and mbox --append keep a ledger of\n"
    "                      the messages delivered (--ledger FILE, else one for\n"
    "                      the output in the cache directory, as imap's) and\n"
    "                      pass over those a run with --resume delivered there\n"
    "                      before: a run stopped and started again delivers the\n"
    "                      rest, and the summary counts them (\"N delivered\n"
    "                      before\")\n"
    "  --limit-rate BYTES  imap sends BYTES a second at most\n"
    "  --max-bytes-per-day BYTES\n"
    "                      imap stops before the message that would pass BYTES\n"
    "                      sent in the 24 hours from the day's first message\n"
    "                      (counted in LEDGER.day, or one for the account in the\n"
    "                      cache directory), says when the rest may go, and exits\n"
    "                      with status 3; a rerun then sends the rest\n"
    "  --for gmail|microsoft\n"
    "                      imap's account is at that mail service, given as\n"
    "                      USER[/MAILBOX] in place of the URL (USER the address,\n"
    "                      e.g. me@gmail.com/Archive): the host (imap.gmail.com,\n"
    "                      outlook.office365.com), port 993 and TLS are the\n"
    "                      service's; gmail caps a day's uploads at 500000000\n"
    "                      bytes unless --max-bytes-per-day says otherwise, and\n"
    "                      takes an app password; microsoft takes only an OAuth2\n"
    "                      token (--oauth2-token-command CMD), never a password.\n"
    "                      A server that asks for a pause (\"Suggested Backoff\n"
    "                      Time: N milliseconds\") gets it, 10 minutes at most\n"
    "  --oauth2-token-command CMD\n"
    "                      imap and verify log in with OAuth2 (XOAUTH2, else\n"
    "                      OAUTHBEARER) instead of a password: the token is the\n"
    "                      first line CMD prints (run by the shell for each\n"
    "                      connection, and again once when the server refuses it)\n"
    "  mbox|maildir|copy --eml|attachments DIR OUT\n"
    "                      every folder under directory DIR, in the same tree under\n"
    "                      OUT: for mbox the layout of Thunderbird's local folders\n"
    "                      (a directory X becomes X.sbd beside an mbox file X);\n"
    "                      for maildir Maildir++ (OUT one Maildir, each folder\n"
    "                      OUT/.X.Y, a top folder named INBOX OUT itself; '.' in a\n"
    "                      name becomes _), or with --layout fs a Maildir for each\n"
    "                      folder at its path; for copy --eml a directory of .eml\n"
    "                      files for each folder, for attachments a directory of\n"
    "                      its messages' directories. A folder is named after its\n"
    "                      index file without the extension; a folder X beside a\n"
    "                      directory X is one mailbox with the directory's folders\n"
    "                      below it; a name in use takes the next suffix _(2)...\n"
    "                      An empty index file without a data folder file is\n"
    "                      passed over, and the run says how many\n"
    "  --charset CP        the index texts are in code page CP (cp866, cp1251,\n"
    "                      cp437, cp850, cp1250, cp1252, utf-8 or any other name\n"
    "                      the system's converter knows): names and descriptions\n"
    "                      in the table, the TSV and the log are decoded into UTF-8,\n"
    "                      ITEMs are matched against the decoded names and, except\n"
    "                      on Windows, copy, copy --eml and attachments name\n"
    "                      files in UTF-8.\n"
    "                      Without it the table shows each byte that is no UTF-8\n"
    "                      as \\xHH, and file names keep the bytes as stored\n"
    "  --exact             mbox, maildir and copy --eml keep every message byte\n"
    "                      for byte; without it a message whose first line is no\n"
    "                      header field (no headers, empty, an envelope From line)\n"
    "                      gets the header lines From: (the description), Subject:\n"
    "                      (the name), Date: (the item's date) and an empty line,\n"
    "                      and one with headers but no Date: gets the item's date\n"
    "  --seen              the messages are marked as read: maildir delivers them\n"
    "                      into cur with the flag S (not where file names cannot\n"
    "                      hold ':', as on Windows), mbox gives each the lines\n"
    "                      Status: RO and X-Mozilla-Status: 0001\n"
    "  --log FILE          one tab-separated line per message, added to FILE:\n"
    "                      folder, position, name, size, written or failed, the\n"
    "                      reason, or the headers a written message was given\n"
    "  --plugin PATH       the plug-in library (default: beside this program)\n"
    "\n"
    "INDEX is the folder's index file; its data folder file is the same path\n"
    "ending in M (or, where names differ in case only, as Windows would find it).\n"
    "The folder is only read, and no output ever writes into it. mbox, maildir,\n"
    "copy --eml and attachments read it directly, with the plug-in's own reader;\n"
    "each file keeps the message date as its modification time.\n"
    "Every run but list ends with the line \"vfolder: N messages, N written,\n"
    "N failed[, N given headers]\" on standard error (a directory: one such line\n"
    "for each folder too); while that is a terminal, mbox, maildir, copy --eml\n"
    "and attachments count the messages done on a line there. A message counts\n"
    "as written when all its attachments are. A line about a message that\n"
    "failed ends with the system's reason. Ctrl+C stops them at the next message\n"
    "(\"interrupted after N of M messages\"), a second Ctrl+C at once; what was\n"
    "written whole stays. When the reader of standard output goes away, mbox -\n"
    "ends quietly.\n"
    "Exit status: 0 every chosen message was written whole; 1 some were not (a\n"
    "file could not be created, a message could not be read or written, the\n"
    "data folder file could not be opened, the destination takes no file);\n"
    "2 not a folder, the listing failed, an output that is refused, or a usage\n"
    "error; 130 interrupted; 141 standard output closed.\n"
    "Messages from the plug-in are written to standard error.\n";

// The usage and the help, the outputs' lines and paragraphs from their rows.
std::string UsageText() {
  std::string text = UsageStart;
  size_t count = 0;
  const OutputRow *rows = OutputRows(&count);
  for (size_t i = 0; i < count; ++i) text += rows[i].Usage;
  return text + UsageEnd;
}

std::string HelpText() {
  std::string text = HelpStart;
  size_t count = 0;
  const OutputRow *rows = OutputRows(&count);
  for (size_t i = 0; i < count; ++i) text += rows[i].Help;
  return text + HelpEnd;
}

int UsageError(const char *problem) {
  if (problem != nullptr) fprintf(stderr, "vfolder: %s\n", problem);
  fputs(UsageText().c_str(), stderr);
  return 2;
}

int UsageError(const std::string &problem) { return UsageError(problem.c_str()); }

// "a", "a and b", "a, b and c".
std::string Listed(const std::vector<std::string> &names) {
  std::string text;
  for (size_t i = 0; i < names.size(); ++i)
    text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
  return text;
}

// The outputs that take `takes`, by vfolder's names for them (by their
// commands only with `commands`), after `before` and before `after`.
std::string OutputsTaking(unsigned takes, bool commands, std::vector<std::string> before = {},
                          const std::vector<std::string> &after = {}) {
  size_t count = 0;
  const OutputRow *rows = OutputRows(&count);
  for (size_t i = 0; i < count; ++i) {
    if (!OutputTakes(rows[i], takes)) continue;
    std::string name = commands ? rows[i].Command : OutputName(rows[i]);
    // --resume with a file that holds messages: only appended to.
    if (takes == TakesResume && OutputTakes(rows[i], TakesExisting)) name += " --append";
    if (std::find(before.begin(), before.end(), name) == before.end()) before.push_back(name);
  }
  before.insert(before.end(), after.begin(), after.end());
  return Listed(before);
}

bool IsOutputSwitch(const char *option) {
  size_t count = 0;
  const OutputRow *rows = OutputRows(&count);
  for (size_t i = 0; i < count; ++i)
    if (rows[i].Switch != nullptr && !strcmp(rows[i].Switch, option)) return true;
  return false;
}

// The commands that are no output.
enum Command { NoCommand, ListCommand, PartsCommand, VerifyCommandWord, OutputCommand };

struct Arguments {
  Command What = NoCommand;
  const OutputRow *Output = nullptr;  // OutputCommand's row
  const char *Switch = nullptr;  // the option that picks a row among its command's (--eml)
  bool Tsv = false, Exact = false, Seen = false;
  MboxExisting Existing = MboxRefuse;
  const char *PluginPath = nullptr;
  const char *LogPath = nullptr;
  const char *CharsetName = nullptr;
  const char *LayoutName = nullptr;
  bool DryRun = false, Resume = false;
  const char *PasswordFile = nullptr, *CaFile = nullptr, *LedgerPath = nullptr;
  const char *TokenCommand = nullptr;
  const char *LimitRate = nullptr, *MaxBytesPerDay = nullptr;
  const char *Provider = nullptr;  // --for: the mail service imap's account is at
  TreeLayout Layout = MaildirPlusPlusLayout;
  std::vector<const char *> Words;
};

// "vfolder: [FOLDER: ]SUMMARY"
void PrintSummary(const Tally &tally) {
  ClearProgress();
  fprintf(stderr, "vfolder: %s\n", SummaryOf(tally).c_str());
}

int StatusOf(const MailRun &run, const Tally &tally, bool logged) {
  if (Interrupted()) return 130;
  return tally.Failed > 0 || run.FoldersNotListed > 0 || !logged ? 1 : 0;
}

// The log's file, when it is allowed: never one of the files `is_own` tells,
// nor the output `target` ("-": standard output). The log is opened first and
// the file opened compared, so that no spelling of a path, and no output that
// does not exist yet, leads both to one file; a log this run made is taken
// away again when it is refused.
template <typename IsOwn>
bool OpenLog(const Arguments &arguments, const std::string &target, IsOwn is_own, RunLog *log) {
  if (arguments.LogPath == nullptr) return true;
  if (!OpenRunLog(arguments.LogPath, log)) return false;
  const FileIdentity identity = FileSystem.IdentifyOpen(log->File);
  const FileIdentity output = target == "-" ? FileSystem.IdentifyOpen(StandardOutput())
                                            : FileSystem.Identify(target.c_str());
  const char *problem = is_own(identity)               ? "is one of the folder's own files"
                        : IsSameFile(identity, output) ? "is the output itself"
                                                       : nullptr;
  if (problem == nullptr) return true;
  DropRunLog(log);
  fprintf(stderr, "vfolder: %s: %s\n", Printable(arguments.LogPath).c_str(), problem);
  return false;
}

// The log (null: none) takes the run's outcomes, and no output file may be it.
void UseLog(RunLog *log, MailRun *run) {
  static_cast<TerminalRun *>(run->Events.Context)->Log = log;
  run->Guarded[2] = log != nullptr ? FileSystem.IdentifyOpen(log->File) : FileIdentity{};
}

// mbox, maildir, copy --eml or attachments of every folder under a directory.
int ConvertDirectory(const Arguments &arguments, MailRun *run, const std::string &dir,
                     const std::string &out) {
  if (arguments.Words.size() > 2) return UsageError("a directory takes no ITEM");
  if (out == "-") return UsageError("a directory goes into a directory, not standard output");
  TreeNode top;
  int passed_over = 0;
  const bool complete = FindFolders(dir, &top, &passed_over, run);
  // Nothing of them is lost, but the user sees a folder in each.
  if (passed_over > 0)
    fprintf(stderr, "vfolder: %d empty index file%s without a data folder file passed over\n",
            passed_over, passed_over == 1 ? "" : "s");
  if (top.Children.empty()) {
    fprintf(stderr, "vfolder: %s: no Vessor mail folder in it\n", Printable(dir.c_str()).c_str());
    return 2;
  }
  if (IsTreeFile(top, FileSystem.Identify(out.c_str()))) {
    fprintf(stderr, "vfolder: %s: is one of the folders' own files\n",
            Printable(out.c_str()).c_str());
    return 2;
  }
  TerminalRun *terminal = static_cast<TerminalRun *>(run->Events.Context);
  terminal->NameFolders = true;
  if (TreeNeedsCharset(*run, top)) return 2;
  RunLog log;
  auto is_own = [&](const FileIdentity &identity) { return IsTreeFile(top, identity); };
  if (!OpenLog(arguments, out, is_own, &log)) return 2;
  UseLog(arguments.LogPath != nullptr ? &log : nullptr, run);
  run->Total = int(std::min<int64_t>(CountMessages(top), INT32_MAX));
  Tally tally = ConvertTree(run, top, out, arguments.Layout);
  const bool logged = terminal->Log == nullptr || CloseRunLog(&log);
  if (run->PipeClosed) return 141;
  // Interrupted: the folders not reached count among the messages.
  if (Interrupted()) tally.Messages = std::max(tally.Messages, run->Total);
  PrintSummary(tally);
  return complete ? StatusOf(*run, tally, logged) : std::max(StatusOf(*run, tally, logged), 1);
}

// `resume` takes --resume's ledger, which the caller closes.
int RunMailOutput(const Arguments &arguments, const TextCharset *charset, ResumeLedger *resume) {
  IgnoreWriteSignals();
  CatchInterrupts();
  TerminalRun terminal = {};
  MailRun run = {};
  run.Events = TerminalEvents(&terminal);
  run.Charset = charset;
  run.Output = arguments.Output;
  run.Existing = arguments.Existing;
  run.Exact = arguments.Exact;
  run.Seen = arguments.Seen;
  const char *source = arguments.Words[0];
  const char *target_word = arguments.Words[1];
  const std::string target =
      OutputTakes(*run.Output, TakesStandardOutput) && !strcmp(target_word, "-")
          ? "-"
          : FullPath(target_word);
  if (arguments.Resume) {
    if (target == "-") return UsageError("--resume takes a file, not standard output");
    if (!UseResumeLedger(arguments.LedgerPath, run.Output->LedgerKind, target, resume,
                         &run.Resume))
      return 2;
  }
  if (FileSystem.KindOf(source, true) == PathDirectory) {
    std::string dir = source;
    while (dir.size() > 1 && (dir.back() == '/' || dir.back() == SystemSeparator)) dir.pop_back();
    return ConvertDirectory(arguments, &run, dir, target);
  }

  MailFolder folder;
  const FolderOpening opening = OpenMailFolder(FullPath(source), &folder, run.Charset);
  const int error = LastSystemError();
  const std::string shown_source = Printable(source);
  if (opening != FolderOpened) {
    fprintf(stderr, "vfolder: %s: %s\n", shown_source.c_str(),
            opening == FolderUnreadable ? ("cannot read the file" + Because(error)).c_str()
            : opening == NotAFolder     ? "not a Vessor mail folder"
                                        : "cannot list the folder");
    CloseMailFolder(&folder);
    return 2;
  }
  std::vector<int> chosen;
  std::string unmatched;
  std::vector<std::string> names;
  for (size_t i = 2; i < arguments.Words.size(); ++i)
    names.push_back(ArgumentText(run.Charset, arguments.Words[i]));
  if (!SelectMessages(folder, names, &chosen, &unmatched)) {
    fprintf(stderr, "vfolder: %s: no item %s\n", shown_source.c_str(),
            TableText(unmatched).c_str());
    CloseMailFolder(&folder);
    return 2;
  }
  // A mail program's file holds each message once, in the folder's order.
  if (run.Output->EachOnce) {
    std::sort(chosen.begin(), chosen.end());
    chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
  }
  // The data folder file first, so that its identity is the one opened.
  OpenDataFile(folder.Handle);
  FileIdentity own[2];
  FolderFileIdentities(folder.Handle, own);
  if (NeedsCharset(run, &folder, chosen)) {
    CloseMailFolder(&folder);
    return 2;
  }
  RunLog log;
  auto is_own = [&](const FileIdentity &identity) {
    return IsSameFile(identity, own[0]) || IsSameFile(identity, own[1]);
  };
  if (!TargetAllowed(run, target, own) || !OpenLog(arguments, target, is_own, &log)) {
    CloseMailFolder(&folder);
    return 2;
  }
  UseLog(arguments.LogPath != nullptr ? &log : nullptr, &run);
  run.Total = int(chosen.size());
  const Tally tally = ConvertFolder(&run, &folder, chosen, target);
  CloseMailFolder(&folder);
  const bool logged = terminal.Log == nullptr || CloseRunLog(&log);
  if (run.PipeClosed) return 141;
  PrintSummary(tally);
  return StatusOf(run, tally, logged);
}

}  // namespace

int main(int argc, char **argv) {
  Arguments arguments;
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    const char *arg = argv[i];
    const bool option = !options_done && arg[0] == '-' && arg[1] != '\0';
    if (option && (!strcmp(arg, "--help") || !strcmp(arg, "-h"))) {
      fputs(UsageText().c_str(), stdout);
      fputs("\n", stdout);
      fputs(HelpText().c_str(), stdout);
      return 0;
    } else if (option && !strcmp(arg, "--version")) {
      printf("vfolder %s\n", VFOLDER_VERSION);
      return 0;
    } else if (option && (!strcmp(arg, "--plugin") || !strcmp(arg, "--log"))) {
      if (++i == argc) return UsageError((std::string(arg) + " needs a path").c_str());
      (!strcmp(arg, "--plugin") ? arguments.PluginPath : arguments.LogPath) = argv[i];
    } else if (option && (!strcmp(arg, "--password-file") || !strcmp(arg, "--ca") ||
                          !strcmp(arg, "--ledger"))) {
      if (++i == argc) return UsageError((std::string(arg) + " needs a path").c_str());
      (!strcmp(arg, "--ca")       ? arguments.CaFile
       : !strcmp(arg, "--ledger") ? arguments.LedgerPath
                                  : arguments.PasswordFile) = argv[i];
    } else if (option && !strcmp(arg, "--oauth2-token-command")) {
      if (++i == argc) return UsageError("--oauth2-token-command needs a command");
      arguments.TokenCommand = argv[i];
    } else if (option && !strcmp(arg, "--limit-rate")) {
      if (++i == argc || strspn(argv[i], "0123456789") != strlen(argv[i]) || atoll(argv[i]) <= 0)
        return UsageError("--limit-rate needs a count of bytes a second");
      arguments.LimitRate = argv[i];
    } else if (option && !strcmp(arg, "--max-bytes-per-day")) {
      if (++i == argc || strspn(argv[i], "0123456789") != strlen(argv[i]) || atoll(argv[i]) <= 0)
        return UsageError("--max-bytes-per-day needs a count of bytes");
      arguments.MaxBytesPerDay = argv[i];
    } else if (option && !strcmp(arg, "--for")) {
      if (++i == argc) return UsageError("--for needs the name of a mail service");
      arguments.Provider = argv[i];
    } else if (option && !strcmp(arg, "--dry-run")) {
      arguments.DryRun = true;
    } else if (option && !strcmp(arg, "--resume")) {
      arguments.Resume = true;
    } else if (option && !strcmp(arg, "--layout")) {
      if (++i == argc) return UsageError("--layout needs maildir++ or fs");
      arguments.LayoutName = argv[i];
      if (strcmp(argv[i], "maildir++") && strcmp(argv[i], "fs"))
        return UsageError((std::string("unknown layout ") + argv[i]).c_str());
      arguments.Layout = !strcmp(argv[i], "fs") ? FileSystemLayout : MaildirPlusPlusLayout;
    } else if (option && !strcmp(arg, "--charset")) {
      if (++i == argc) return UsageError("--charset needs the name of a character set");
      arguments.CharsetName = argv[i];
    } else if (option && !strcmp(arg, "--tsv")) {
      arguments.Tsv = true;
    } else if (option && IsOutputSwitch(arg)) {
      arguments.Switch = arg;
    } else if (option && !strcmp(arg, "--exact")) {
      arguments.Exact = true;
    } else if (option && !strcmp(arg, "--seen")) {
      arguments.Seen = true;
    } else if (option && (!strcmp(arg, "--append") || !strcmp(arg, "--replace"))) {
      const MboxExisting existing = !strcmp(arg, "--append") ? MboxAppend : MboxReplace;
      if (arguments.Existing != MboxRefuse && arguments.Existing != existing)
        return UsageError("--append and --replace exclude each other");
      arguments.Existing = existing;
    } else if (option && !strcmp(arg, "--")) {
      options_done = true;
    } else if (option) {
      return UsageError((std::string("unknown option ") + arg).c_str());
    } else if (arguments.What == NoCommand && arguments.Words.empty()) {
      arguments.Output = OutputOfCommand(arg, nullptr);
      arguments.What = arguments.Output != nullptr ? OutputCommand
                       : !strcmp(arg, "list")      ? ListCommand
                       : !strcmp(arg, "parts")     ? PartsCommand
                       : !strcmp(arg, "verify")    ? VerifyCommandWord
                                                   : NoCommand;
      if (arguments.What == NoCommand)
        return UsageError((std::string("unknown command ") + arg).c_str());
    } else {
      arguments.Words.push_back(arg);
    }
  }
  const Command what = arguments.What;
  if (what == NoCommand) return UsageError(nullptr);
  // The output's row, its switch (--eml) taken; the command's own row, where
  // none of its rows has the switch given, until that is told below.
  const OutputRow *command_row = arguments.Output;
  const OutputRow *switched =
      what == OutputCommand && arguments.Switch != nullptr
          ? OutputOfCommand(command_row->Command, arguments.Switch)
          : nullptr;
  if (switched != nullptr) arguments.Output = switched;
  const OutputRow *row = arguments.Output;
  const bool output = what == OutputCommand;
  auto takes = [&](unsigned option) { return output && OutputTakes(*row, option); };
  if (what == ListCommand && arguments.Words.size() != 1) return UsageError("list takes one INDEX");
  if (output && (OutputTakes(*command_row, TakesItems) ? arguments.Words.size() < 2
                                                       : arguments.Words.size() != 2))
    return UsageError(std::string(command_row->Command) +
                      (OutputTakes(*command_row, TakesItems) ? " takes INDEX and "
                                                             : " takes INDEX or DIR, and ") +
                      command_row->Target);
  if (what == PartsCommand && arguments.Words.size() != 2)
    return UsageError("parts takes INDEX and ITEM");
  if (what == VerifyCommandWord && arguments.Words.size() != 2)
    return UsageError("verify takes INDEX or DIR, and OUTPUT");
  const bool logs_in = takes(TakesLogin) || what == VerifyCommandWord;
  if (what == VerifyCommandWord &&
      (arguments.DryRun || arguments.LimitRate || arguments.MaxBytesPerDay || arguments.LedgerPath || arguments.Resume ||
       arguments.LogPath || arguments.PluginPath || arguments.LayoutName || arguments.Switch ||
       arguments.Existing != MboxRefuse))
    return UsageError("verify takes --charset, --exact, --seen, --tsv, --password-file,"
                      " --oauth2-token-command and --ca");
  if (!logs_in && arguments.TokenCommand)
    return UsageError("--oauth2-token-command goes with " +
                      OutputsTaking(TakesLogin, false, {}, {"verify"}));
  if (arguments.TokenCommand && arguments.PasswordFile)
    return UsageError("--password-file and --oauth2-token-command: one or the other");
  if (!logs_in && (arguments.PasswordFile || arguments.CaFile))
    return UsageError("--password-file and --ca go with " +
                      OutputsTaking(TakesLogin, false, {}, {"verify"}));
  if (!takes(TakesDryRun) && (arguments.DryRun || arguments.LimitRate || arguments.MaxBytesPerDay))
    return UsageError("--dry-run, --limit-rate and --max-bytes-per-day go with " +
                      OutputsTaking(TakesDryRun, false));
  if (arguments.Provider != nullptr && !(output && !strcmp(row->Command, "imap")))
    return UsageError("--for goes with imap");
  // An output that holds messages already resumes only what it appends.
  const bool resumable = takes(TakesResume) && (!OutputTakes(*row, TakesExisting) ||
                                                arguments.Existing == MboxAppend);
  if (arguments.Resume && !resumable)
    return UsageError("--resume goes with " + OutputsTaking(TakesResume, false));
  if (arguments.LedgerPath != nullptr && !takes(TakesLedger) && !arguments.Resume)
    return UsageError("--ledger goes with " + OutputsTaking(TakesLedger, false, {}, {"--resume"}));
  if (output && !takes(TakesLog) && arguments.LogPath != nullptr)
    return UsageError("--log goes with " + OutputsTaking(TakesLog, true));
  // The outputs that read the folder themselves let --plugin be, unused.
  if (output && !takes(TakesPlugin) && row->Write == nullptr && arguments.PluginPath != nullptr)
    return UsageError("--plugin goes with " + OutputsTaking(TakesPlugin, true, {"list"}));
  if (what != ListCommand && what != PartsCommand && what != VerifyCommandWord && arguments.Tsv)
    return UsageError("--tsv goes with list, parts and verify");
  if (arguments.Switch != nullptr && switched == nullptr) {
    std::vector<std::string> commands;
    size_t count = 0;
    const OutputRow *rows = OutputRows(&count);
    for (size_t i = 0; i < count; ++i)
      if (rows[i].Switch != nullptr && !strcmp(rows[i].Switch, arguments.Switch))
        commands.push_back(rows[i].Command);
    return UsageError(std::string(arguments.Switch) + " goes with " + Listed(commands));
  }
  if (!takes(TakesExisting) && arguments.Existing != MboxRefuse)
    return UsageError("--append and --replace go with " + OutputsTaking(TakesExisting, false));
  if (what != VerifyCommandWord && !takes(TakesExact) && arguments.Exact)
    return UsageError("--exact goes with " + OutputsTaking(TakesExact, false, {}, {"verify"}));
  if (!takes(TakesLayout) && arguments.LayoutName != nullptr)
    return UsageError("--layout goes with " + OutputsTaking(TakesLayout, false));
  if (what != VerifyCommandWord && !takes(TakesSeen) && arguments.Seen)
    return UsageError("--seen goes with " + OutputsTaking(TakesSeen, false, {}, {"verify"}));
  if ((what == ListCommand || what == PartsCommand) && arguments.LogPath != nullptr)
    return UsageError("--log goes with " + OutputsTaking(TakesLog, true));
  if (what == PartsCommand && arguments.PluginPath != nullptr)
    return UsageError("--plugin goes with " + OutputsTaking(TakesPlugin, true, {"list"}));
  TextCharset charset = {};
  if (arguments.CharsetName != nullptr && !OpenTextCharset(arguments.CharsetName, &charset)) {
    fprintf(stderr, "vfolder: --charset %s: no character set of that name here\n",
            Printable(arguments.CharsetName).c_str());
    return 2;
  }
  const TextCharset *decoding = arguments.CharsetName != nullptr ? &charset : nullptr;
  int status;
  // The rows the outputs do not write: the plug-in's copy, imap's session.
  const bool through_plugin = takes(TakesPlugin);
  if (output && row->Write == nullptr && !through_plugin) {
#ifdef VFOLDER_IMAP
    std::string url = arguments.Words[1];
    uint64_t per_day =
        arguments.MaxBytesPerDay ? uint64_t(strtoull(arguments.MaxBytesPerDay, nullptr, 10)) : 0;
    if (arguments.Provider != nullptr) {
      const ImapProvider *provider = FindImapProvider(arguments.Provider);
      if (provider == nullptr)
        return UsageError(std::string("--for takes ") + ImapProviderNames());
      url = ProviderUrl(*provider, url);
      if (url.empty())
        return UsageError(std::string("with --for ") + provider->Name +
                          ", imap takes the account as USER[/MAILBOX], not a URL");
      if (provider->TokenOnly && arguments.TokenCommand == nullptr) {
        fprintf(stderr,
                "vfolder: %s takes no password over IMAP, only an OAuth2 token: pass "
                "--oauth2-token-command CMD, a command that prints one\n",
                provider->Name);
        return 2;
      }
      if (per_day == 0) per_day = provider->BytesPerDay;
    }
    const ImapCommand command = {arguments.Words[0], url.c_str(),      arguments.Exact,
                                 arguments.Seen,     arguments.DryRun, arguments.PasswordFile,
                                 arguments.CaFile,   arguments.LedgerPath,
                                 arguments.LimitRate ? uint64_t(atoll(arguments.LimitRate)) : 0,
                                 per_day,            decoding,
                                 arguments.TokenCommand};
    status = RunImapCommand(command);
#else
    fputs("vfolder: imap is not in this build (Thunderbird, or vfolder on Linux, takes the\n"
          "folders into a mail account)\n",
          stderr);
    status = 2;
#endif
  } else if (what == VerifyCommandWord) {
    const VerifyCommand command = {arguments.Words[0], arguments.Words[1], arguments.Exact,
                                   arguments.Seen,     arguments.Tsv,      arguments.PasswordFile,
                                   arguments.CaFile,   decoding,           arguments.TokenCommand};
    status = RunVerifyCommand(command);
  } else if (what == PartsCommand) {
    status = RunPartsCommand(arguments.Words[0], arguments.Words[1], arguments.Tsv, decoding);
  } else if (what == ListCommand || through_plugin) {
    if (through_plugin && FileSystem.KindOf(arguments.Words[0], true) == PathDirectory) {
      std::vector<std::string> switches;
      size_t count = 0;
      const OutputRow *rows = OutputRows(&count);
      for (size_t i = 0; i < count; ++i)
        if (!strcmp(rows[i].Command, row->Command) && OutputTakes(rows[i], TakesTrees))
          switches.push_back(rows[i].Switch != nullptr ? rows[i].Switch : "");
      return UsageError(std::string(row->Command) + " takes a directory of folders with " +
                        Listed(switches) + " only");
    }
    // A file-size limit gives a failed write, not the end of the process.
    IgnoreWriteSignals();
    PluginCommand command = {arguments.PluginPath,
                             through_plugin,
                             arguments.Tsv,
                             arguments.Words[0],
                             through_plugin ? arguments.Words[1] : nullptr,
                             {},
                             arguments.LogPath,
                             decoding};
    if (through_plugin)
      command.Items.assign(arguments.Words.begin() + 2, arguments.Words.end());
    status = RunPluginCommand(command);
  } else {
    ResumeLedger resume = {};
    status = RunMailOutput(arguments, decoding, &resume);
    if (arguments.Resume) CloseResumeLedger(&resume);
    // Messages the ledger does not hold would go again with --resume.
    if (arguments.Resume && resume.Unwritten && status == 0) status = 1;
  }
  if (decoding != nullptr) CloseTextCharset(&charset);
  return status;
}
