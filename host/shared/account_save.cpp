#include "host/shared/account_save.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/shared/code_page_setting.h"
#include "host/shared/host_texts.h"
#include "host/shared/mail_items.h"
#include "host/shared/mail_save.h"
#include "host/shared/panel_host.h"
#include "host/shared/text_fill.h"
#include "outputs/imap_run.h"
#include "outputs/mail_folder.h"
#include "platform/secret_input.h"
#include "platform/system_facts.h"
#include "platform/wide_text.h"

namespace {

const int Width = 76, Left = 5, Right = 70;

DialogLine Item(int type, int y, const wchar_t *text, unsigned flags = 0) {
  return DialogLine{type, Left, y, Right, y, text, flags, false, false, false, nullptr};
}

// The wide text in UTF-8, wiped where it lay.
std::string TakeUtf8(std::wstring *wide) {
  char *utf8 = Utf8FromWide(wide->c_str());
  std::string text = utf8 != nullptr ? utf8 : "";
  if (utf8 != nullptr) WipeBytes(utf8, text.size());
  free(utf8);
  if (!wide->empty()) WipeBytes(&(*wide)[0], wide->size() * sizeof(wchar_t));
  wide->clear();
  return text;
}

// The URL typed, with the user typed put in (escaped) where it names none.
std::string AccountUrl(const std::string &url, const std::string &user) {
  const size_t scheme = url.find("://");
  if (user.empty() || scheme == std::string::npos) return url;
  const size_t start = scheme + 3;
  const size_t slash = url.find('/', start);
  if (url.substr(start, slash == std::string::npos ? slash : slash - start).find('@') !=
      std::string::npos)
    return url;
  std::string escaped;
  for (const char c : user) {
    if (c == '%' || c == '@' || c == '/' || uint8_t(c) <= ' ') {
      char hex[4];
      snprintf(hex, sizeof hex, "%%%02X", unsigned(uint8_t(c)));
      escaped += hex;
    } else {
      escaped += c;
    }
  }
  return url.substr(0, start) + escaped + "@" + url.substr(start);
}

// The account asked for: its URL and user (each with its history), the
// password in a line that shows none of it and is kept nowhere, or else a
// command that prints an OAuth2 token. False for Esc or Cancel, and for a
// URL that names no account (a box says why).
bool AskAccount(const wchar_t *title, ImapAccount *account, std::string *password,
                std::string *token_command) {
  DialogLine lines[16];
  int count = 0, y = 2;
  const int box = count++;
  lines[count++] = Item(DialogText, y++, TextOf(MAccountUrl));
  const int url = count;
  lines[count++] = Item(DialogEdit, y++, L"");
  lines[url].History = L"VessorAccountUrl";
  lines[count++] = Item(DialogText, y++, TextOf(MAccountUser));
  const int user = count;
  lines[count++] = Item(DialogEdit, y++, L"");
  lines[user].History = L"VessorAccountUser";
  lines[count++] = Item(DialogText, y++, TextOf(MAccountPassword));
  const int secret = count;
  lines[count++] = Item(DialogPasswordEdit, y++, L"");
  lines[count++] = Item(DialogText, y++, TextOf(MAccountToken));
  const int token = count;
  lines[count++] = Item(DialogEdit, y++, L"");
  lines[token].History = L"VessorAccountToken";
  lines[count++] = Item(DialogText, y++, L"", DialogSeparator);
  lines[count - 1].X1 = -1, lines[count - 1].X2 = 0;
  const int send = count;
  lines[count++] = DialogLine{DialogButton,      0,     y,    0,     y,      TextOf(MSendButton),
                              DialogCenterGroup, false, true, false, nullptr};
  lines[count++] = DialogLine{DialogButton,      0,     y,     0,     y,      TextOf(MCancelButton),
                              DialogCenterGroup, false, false, false, nullptr};
  ++y;
  lines[box] =
      DialogLine{DialogDoubleBox, 3, 1, Width - 4, y, title, 0, false, false, false, nullptr};
  bool checked[16] = {};
  std::wstring texts[16];
  const DialogForm form = {Width, y + 2, HELP_ACCOUNT, lines, count, url, checked, -1, texts};
  ReserveDialogTexts(form);
  const int closed = RunDialog(form);
  const std::string typed_url = TakeUtf8(&texts[url]), typed_user = TakeUtf8(&texts[user]);
  *password = TakeUtf8(&texts[secret]);
  *token_command = TakeUtf8(&texts[token]);
  std::string problem;
  const std::string typed = AccountUrl(typed_url, typed_user);
  if (closed != send || !ParseImapUrl(typed.c_str(), account, &problem)) {
    // Nothing goes: the password typed is wiped here and now.
    WipeText(password);
    if (closed != send) return false;
    wchar_t *why = WideFromUtf8(problem.c_str());
    const std::wstring line =
        FillText(TextOf(MFailureAt), {TextOf(MAccountBadUrl), why != nullptr ? why : L""});
    free(why);
    ShowWarning(title, line.c_str(), HELP_ACCOUNT);
    return false;
  }
  // The authorities that SSL_CERT_FILE names, as curl and Python take them,
  // else the system's.
  const char *authorities = getenv("SSL_CERT_FILE");
  account->CaFile = authorities != nullptr && authorities[0] != '\0' ? authorities : nullptr;
  account->TokenCommand = nullptr;
  return true;
}

SaveProgress *ProgressOf(void *context) { return static_cast<MailSave *>(context)->Progress; }

// What the run tells that the final box should: its failures. A pause the
// server asks for, or a connection tried again, only shows as time.
void OnAccountNews(void *context, const ImapNews &news) {
  SaveProgress *progress = ProgressOf(context);
  const char *words = news.Words != nullptr ? news.Words : "";
  switch (news.Notice) {
    case ImapMailboxNotMade:
    case ImapMailboxNotRead:
      NoteSaveFailure(progress, MAccountMailbox,
                      (std::string(news.Mailbox) + ": " + words).c_str());
      break;
    case ImapGivenUp:
    case ImapConnectionEnded: NoteSaveFailure(progress, MAccountGivenUp, words); break;
    case ImapNotWritten:
    case ImapLedgerNotOpened:
      NoteSaveFailure(progress, MAccountLedger, news.Path, news.Error);
      break;
    case ImapMailboxFull:
      NoteSaveFailure(progress, MAccountFull, (std::string(news.Mailbox) + ": " + words).c_str());
      break;
    case ImapFolderNotRead: NoteSaveFailure(progress, MCannotSave, news.Path); break;
    case ImapMessageFailed:
      switch (news.Reason) {
        case ImapReasonCannotRead: NoteSaveFailure(progress, MCannotReadMessage, news.Name); break;
        case ImapReasonNoMemory: NoteSaveFailure(progress, MNoMemory, news.Name); break;
        case ImapReasonOverLimit: NoteSaveFailure(progress, MAccountTooLarge, news.Name); break;
        case ImapReasonRefused: NoteSaveFailure(progress, MAccountRefused, words); break;
      }
      break;
    default: break;
  }
}

// The run of `sources` into the account, `total` messages, its events to
// `save`'s progress. A login that fails fails every message, with the
// reason (a certificate refused: its SHA-256 fingerprint).
void SendToAccount(MailSave *save, const MailRun &reading, const ImapAccount &account,
                   std::string *password, std::string *token, bool seen,
                   const std::vector<ImapSource> &sources, bool tree, int64_t total) {
  ImapSettings settings = {};
  settings.Account = account;
  settings.Account.TokenCommand = token->empty() ? nullptr : token->c_str();
  if (settings.Account.TokenCommand != nullptr) password->clear();
  settings.Password = password;
  settings.Seen = seen;
  settings.Charset = reading.Charset;
  OutputEvents events = reading.Events;
  events.Imap = OnAccountNews;
  const ImapResult result = RunImap(settings, sources, tree, total, events);
  WipeText(password);
  if (!result.Connected) {
    // A certificate's fingerprint on a line of its own, where the box shows
    // it whole.
    const std::string mark = " (its SHA-256 fingerprint: ";
    const size_t at = result.Problem.find(mark);
    NoteSaveFailure(save->Progress, MAccountNoLogin, result.Problem.substr(0, at).c_str());
    if (at != std::string::npos) {
      std::string fingerprint = result.Problem.substr(at + mark.size());
      if (!fingerprint.empty() && fingerprint.back() == ')') fingerprint.pop_back();
      NoteSaveFailure(save->Progress, MAccountFingerprint, fingerprint.c_str());
    }
    save->Progress->Failed = save->Progress->Total;
  }
}

intptr_t SaveItems(const FolderHandle *folder, unsigned code_page, SaveChoice choice,
                   const ItemMessage *keys, size_t count, UnselectItem unselect, void *items,
                   SaveProgress *progress) {
  ImapAccount account = {};
  std::string password, token;
  if (!AskAccount(TextOf(MAccountTitle), &account, &password, &token)) return -1;
  progress->Sending = true;
  MailSave save = {progress, unselect, items, {}, {}};
  const MailRun reading = StartMailSave(&save, choice, code_page);
  MailFolder mail;
  std::vector<int> chosen;
  if (!OpenChosenMessages(folder, keys, count, reading.Charset, &save, &mail, &chosen)) {
    WipeText(&password);
    return 0;
  }
  CloseMailFolder(&mail);
  const std::vector<ImapSource> sources = {{folder->IndexPath, folder->IndexPath, {}, &chosen}};
  SendToAccount(&save, reading, account, &password, &token, choice.MarkRead, sources, false,
                int64_t(chosen.size()));
  CloseMailSave(&save);
  if (progress->Stopped) return -1;
  return progress->Failed == 0 && progress->Reasons == 0 ? 1 : 0;
}

void SaveFolders(const TreeNode &top, SaveChoice choice, unsigned code_page) {
  ImapAccount account = {};
  std::string password, token;
  if (!AskAccount(TextOf(MAccountTitle), &account, &password, &token)) return;
  SaveProgress progress;
  const int64_t total = CountMessages(top);
  StartSaveProgress(&progress, uint64_t(total), false);
  progress.Sending = true;
  MailSave save = {&progress, nullptr, nullptr, {}, {}};
  // Where each folder's own code page is asked for, the system's ANSI one.
  const MailRun reading =
      StartMailSave(&save, choice, code_page == CodePageFromFolder ? SystemCodePage(0) : code_page);
  std::vector<ImapSource> sources;
  ImapSourcesOf(top, &sources);
  SendToAccount(&save, reading, account, &password, &token, choice.MarkRead, sources, true, total);
  CloseMailSave(&save);
  FinishSaveProgress(&progress);
}

const AccountSaving Saving = {SaveItems, SaveFolders};

}  // namespace

void OfferMailAccount() { MailAccount = &Saving; }
