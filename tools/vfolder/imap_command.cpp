#include "tools/vfolder/imap_command.h"

#include <cstdio>
#include <string>
#include <vector>

#include "outputs/folder_tree.h"
#include "outputs/imap_run.h"
#include "outputs/mail_folder.h"
#include "tools/vfolder/escaped_text.h"
#include "tools/vfolder/imap_password.h"
#include "tools/vfolder/progress.h"
#include "tools/vfolder/system_calls.h"
#include "tools/vfolder/terminal_events.h"

namespace {

// `cut`: what ended a run short of its messages ("interrupted", "stopped").
std::string ImapSummary(const ImapTally &tally, bool dry, const char *cut = "interrupted") {
  char text[200];
  const char *messages = tally.Messages == 1 ? "message" : "messages";
  const char *sent = dry ? "to send" : "sent";
  if (tally.Handled < tally.Messages)
    snprintf(text, sizeof text, "%s after %d of %d %s, %d %s, %d already there, %d failed",
             cut, tally.Handled, tally.Messages, messages, tally.Sent, sent, tally.AlreadyThere,
             tally.Failed);
  else
    snprintf(text, sizeof text, "%d %s, %d %s, %d already there, %d failed", tally.Messages,
             messages, tally.Sent, sent, tally.AlreadyThere, tally.Failed);
  return text;
}

std::string ReasonText(const ImapNews &news) {
  switch (news.Reason) {
    case ImapReasonCannotRead: return "cannot be read from the data folder file";
    case ImapReasonNoMemory: return "no memory for it";
    case ImapReasonOverLimit:
      return "larger than the server's limit of " + std::to_string(news.Count) +
             " bytes (APPENDLIMIT)";
    case ImapReasonRefused: return std::string("refused by the server: ") + news.Words;
  }
  return std::string();
}

// The run's news as lines on standard error.
void OnImapNews(void *, const ImapNews &news) {
  ClearProgress();
  const std::string path = news.Path == nullptr ? std::string() : Printable(news.Path);
  const std::string mailbox = news.Mailbox == nullptr ? std::string() : Printable(news.Mailbox);
  const char *words = news.Words == nullptr ? "" : news.Words;
  switch (news.Notice) {
    case ImapMailboxNotMade:
      fprintf(stderr, "vfolder: mailbox %s: cannot be made or selected: %s\n", mailbox.c_str(), words);
      break;
    case ImapMailboxNotRead:
      fprintf(stderr, "vfolder: mailbox %s: cannot be read: %s\n", mailbox.c_str(), words);
      break;
    case ImapConnectionLost:
      fprintf(stderr, "vfolder: the connection to %s was lost\n", news.Host);
      break;
    case ImapGivenUp:
      fprintf(stderr, "vfolder: %s; stopped: what was sent is in the ledger, run again to send the rest\n",
              *words == '\0' ? "the server cannot be reached" : words);
      break;
    case ImapPauseAsked:
      fprintf(stderr, "vfolder: the server asks for a pause of %g s\n", news.Seconds);
      break;
    case ImapNotWritten:
      fprintf(stderr, "vfolder: %s: cannot be written%s%s\n", path.c_str(), Because(news.Error).c_str(),
              news.Flag ? "; stopped" : "");
      break;
    case ImapLedgerNotOpened:
      fprintf(stderr, "vfolder: the ledger %s: cannot be opened%s\n",
              path.empty() ? "(no HOME nor XDG_CACHE_HOME)" : path.c_str(), Because(news.Error).c_str());
      break;
    case ImapConnectionEnded:
      fprintf(stderr, "vfolder: %s: %s; the connection is ended\n", news.Host, words);
      break;
    case ImapMailboxFull:
      fprintf(stderr,
              "vfolder: mailbox %s is full (%s): stopped with %d message%s left to send; run again "
              "once there is room\n",
              mailbox.c_str(), words, int(news.Count), news.Count == 1 ? "" : "s");
      break;
    case ImapFolderNotRead:
      fprintf(stderr, "vfolder: %s: %s\n", path.c_str(),
              news.Flag ? "not a Vessor mail folder" : "cannot be read");
      break;
    case ImapMessageFailed:
      fprintf(stderr, "vfolder: %s: %s: %s\n", path.c_str(), Printable(news.Name).c_str(),
              ReasonText(news).c_str());
      break;
    case ImapFolderLooked:
      fprintf(stderr, "vfolder: %s -> mailbox %s%s: %d to send, %d already there\n", path.c_str(),
              mailbox.c_str(), news.Flag ? " (to be made)" : "", news.Tally->Sent,
              news.Tally->AlreadyThere);
      break;
    case ImapFolderSent:
      fprintf(stderr, "vfolder: %s: %s\n", path.c_str(), ImapSummary(*news.Tally, false).c_str());
      break;
  }
}

void OnPause(void *, double seconds) { PauseFor(seconds, Interrupted); }

// The line that says the day's cap stopped the run: how much went, and
// when the rest may go.
void SayDayReached(const ImapResult &result, uint64_t most) {
  LocalTime at = {};
  char when[40] = "tomorrow";
  if (LocalTimeOf((result.DayEnds + 11644473600ULL) * 10000000ULL, &at))
    snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d", at.Year, at.Month, at.Day, at.Hour,
             at.Minute);
  ClearProgress();
  fprintf(stderr,
          "vfolder: %llu bytes sent in the day's 24 hours, the most --max-bytes-per-day allows "
          "(%llu): stopped with %d message%s left to send; run again after %s\n",
          (unsigned long long)result.DayBytes, (unsigned long long)most, result.Left,
          result.Left == 1 ? "" : "s", when);
}

}  // namespace

int RunImapCommand(const ImapCommand &command) {
  ImapSettings settings = {};
  std::string problem;
  if (!ParseImapUrl(command.Url, &settings.Account, &problem)) {
    fprintf(stderr, "vfolder: %s\n", problem.c_str());
    return 2;
  }
  settings.Account.CaFile = command.CaFile;
  settings.Account.TokenCommand = command.TokenCommand;
  std::string source = command.Source;
  while (source.size() > 1 && source.back() == '/') source.pop_back();
  const bool directory = FileSystem.KindOf(source.c_str(), true) == PathDirectory;
  std::vector<ImapSource> sources;
  int64_t total = 0;
  if (directory) {
    TreeNode top;
    int passed_over = 0;
    FindFolders(source, &top, &passed_over);
    if (top.Children.empty()) {
      fprintf(stderr, "vfolder: %s: no Vessor mail folder in it\n", Printable(source.c_str()).c_str());
      return 2;
    }
    total = CountMessages(top);
    ImapSourcesOf(top, &sources);
    for (ImapSource &folder : sources) folder.Path = FullPath(folder.Shown.c_str());
  } else {
    MailFolder folder;
    const FolderOpening opening = OpenMailFolder(FullPath(source.c_str()), &folder, command.Charset);
    total = int64_t(folder.Entries.size());
    CloseMailFolder(&folder);
    if (opening != FolderOpened) {
      fprintf(stderr, "vfolder: %s: %s\n", Printable(source.c_str()).c_str(),
              opening == NotAFolder ? "not a Vessor mail folder" : "cannot read the file");
      return 2;
    }
    sources.push_back({FullPath(source.c_str()), source, {}, nullptr});
  }
  std::string password;
  if (!ReadPassword(settings.Account, command.PasswordFile, &password, &problem)) {
    fprintf(stderr, "vfolder: %s\n", problem.c_str());
    return 2;
  }
  settings.Password = &password;
  settings.Exact = command.Exact;
  settings.Seen = command.Seen;
  settings.DryRun = command.DryRun;
  settings.LedgerPath = command.LedgerPath;
  settings.LimitRate = command.LimitRate;
  settings.MaxBytesPerDay = command.MaxBytesPerDay;
  settings.Charset = command.Charset;
  IgnoreWriteSignals();
  CatchInterrupts();
  TerminalRun terminal = {};
  terminal.NameFolders = directory;
  OutputEvents events = TerminalEvents(&terminal);
  events.Outcome = nullptr;  // a failure is told by its news
  events.Imap = OnImapNews;
  events.Pause = OnPause;
  const ImapResult result = RunImap(settings, sources, directory, total, events);
  WipeText(&password);
  if (!result.Connected) {
    fprintf(stderr, "vfolder: %s\n", result.Problem.c_str());
    fprintf(stderr, "vfolder: %s\n", ImapSummary(result.Tally, command.DryRun).c_str());
    return Interrupted() ? 130 : 1;
  }
  ClearProgress();
  if (result.DayReached) SayDayReached(result, command.MaxBytesPerDay);
  fprintf(stderr, "vfolder: %s\n",
          ImapSummary(result.Tally, command.DryRun,
                      result.DayReached && !Interrupted() ? "stopped" : "interrupted").c_str());
  if (Interrupted()) return 130;
  if (result.DayReached) return 3;
  return result.Tally.Failed > 0 || result.Stopped || result.Tally.Handled < result.Tally.Messages ? 1 : 0;
}
