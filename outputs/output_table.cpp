#include "outputs/output_table.h"

#include <cstring>

#include "host/shared/messages.h"
#include "outputs/mail_run_parts.h"

namespace {

// vfolder's order: its usage and help list them so; the dialogs too.
const OutputRow Rows[] = {
    // Message files: the plug-in's own copy, as the file manager drives it.
    {"copy",
     nullptr,
     "DEST",
     "       vfolder [--charset CP] [--plugin PATH] [--log FILE] copy INDEX DEST [ITEM...]\n",
     "  copy INDEX DEST [ITEM...]\n"
     "                      copies the messages into directory DEST through the\n"
     "                      plug-in, all of them or the ITEMs given (a position\n"
     "                      from the listing, or an exact name), under the names\n"
     "                      the panel would give them; a file already there is\n"
     "                      replaced, as the file manager replaces it\n",
     nullptr,
     nullptr,
     TakesPlugin | TakesLog | TakesItems,
     NoTree,
     false,
     0,
     MSaveFiles,
     L'f',
     -1,
     0,
     HELP_SAVING,
     nullptr},
    {"copy",
     "--eml",
     "DEST",
     "       vfolder [--charset CP] [--log FILE] [--exact] [--resume [--ledger FILE]]\n"
     "               copy --eml INDEX|DIR DEST [ITEM...]\n",
     "  copy --eml INDEX DEST [ITEM...]\n"
     "                      the same names, each ending in .eml, for mail programs\n"
     "                      that open or import .eml files; DEST is made where\n"
     "                      missing, and a name in use takes the next suffix _(2)...\n",
     "eml",
     WriteEml,
     TakesExact | TakesResume | TakesTrees | TakesLog | TakesItems,
     DirectoryTree,
     false,
     1,
     MSaveEml,
     L'e',
     MSaveTreeEml,
     3,
     HELP_SAVING,
     nullptr},
    {"mbox",
     nullptr,
     "FILE",
     "       vfolder [--charset CP] [--log FILE] [--exact] [--seen] [--append|--replace]\n"
     "               [--resume [--ledger FILE]] mbox INDEX|DIR FILE [ITEM...]\n",
     "  mbox INDEX FILE [ITEM...]\n"
     "                      one mbox file (mboxrd) of the messages, each once and in\n"
     "                      listing order; - is standard output. A FILE that holds\n"
     "                      messages already is refused, unless --append (the\n"
     "                      messages go after its own) or --replace (a new file\n"
     "                      takes its place once every message is in it). Each\n"
     "                      message follows a line \"From ADDRESS DATE\": the address\n"
     "                      of its From: header (MAILER-DAEMON when there is none)\n"
     "                      and the item's date in UTC; lines starting with >...From\n"
     "                      get one more >; each ends in a line feed and an empty line\n",
     "mbox",
     WriteMbox,
     TakesSeen | TakesExact | TakesExisting | TakesResume | TakesTrees | TakesLog | TakesItems |
         TakesStandardOutput,
     MboxTree,
     true,
     2,
     MSaveMbox,
     L'm',
     MSaveTreeMbox,
     1,
     HELP_SAVING,
     ".mbox"},
    {"maildir",
     nullptr,
     "MAILDIR",
     "       vfolder [--charset CP] [--log FILE] [--exact] [--seen] [--layout maildir++|fs]\n"
     "               [--resume [--ledger FILE]] maildir INDEX|DIR MAILDIR [ITEM...]\n",
     "  maildir INDEX MAILDIR [ITEM...]\n"
     "                      delivers the messages, each once, into MAILDIR (tmp, new\n"
     "                      and cur made when missing), one new file in new each;\n"
     "                      what is there already stays as it is\n",
     "maildir",
     WriteMaildir,
     TakesSeen | TakesExact | TakesResume | TakesTrees | TakesLayout | TakesLog | TakesItems,
     MaildirTree,
     true,
     3,
     MSaveMaildir,
     L'd',
     MSaveTreeMaildir,
     2,
     HELP_SAVING,
     ""},
    // vfolder only: no dialog offers it yet.
    {"attachments",
     nullptr,
     "OUTDIR",
     "       vfolder [--charset CP] [--log FILE] attachments INDEX|DIR OUTDIR\n"
     "               [ITEM...]\n",
     "  attachments INDEX OUTDIR [ITEM...]\n"
     "                      every attachment of the messages (uuencoded blocks in\n"
     "                      their texts too), decoded, as OUTDIR/MESSAGE/NAME:\n"
     "                      MESSAGE the name copy --eml gives the message without\n"
     "                      .eml, NAME the one the message gives the attachment\n"
     "                      (else made from its type, as \"part 2.bin\"), spaces\n"
     "                      kept, only what a file name cannot hold made _, cut\n"
     "                      to 255 bytes before the extension, twins a.pdf,\n"
     "                      a_(2).pdf...; OUTDIR is made where missing, a name in\n"
     "                      use takes the next suffix, a message without one makes\n"
     "                      nothing, and one nested past 64 levels or of more than\n"
     "                      10000 parts fails whole\n",
     nullptr,
     WriteAttachments,
     TakesTrees | TakesLog | TakesItems,
     DirectoryTree,
     false,
     -1,
     -1,
     L'\0',
     -1,
     0,
     HELP_SAVING,
     nullptr},
    // Where the network is built in: vfolder (tools/vfolder/imap_command.h)
    // and the hosts that offer it (host/shared/account_save.h); sent by its
    // own run (outputs/imap_run.h).
    {"imap",
     nullptr,
     "URL",
     "       vfolder [--charset CP] [--exact] [--seen] [--dry-run] [--password-file FILE]\n"
     "               [--oauth2-token-command CMD] [--ca FILE] [--ledger FILE]\n"
     "               [--limit-rate BYTES] [--max-bytes-per-day BYTES] imap INDEX|DIR URL\n"
     "       vfolder [the same options] --for gmail|microsoft imap INDEX|DIR USER[/MAILBOX]\n",
     "  imap INDEX|DIR URL  sends the messages into a mail account with APPEND,\n"
     "                      each once: URL is imaps://USER@HOST[:PORT][/MAILBOX]\n"
     "                      (TLS, port 993) or imap://USER@HOST[:PORT][/MAILBOX]\n"
     "                      (STARTTLS, port 143, required); a folder goes into\n"
     "                      MAILBOX (default: its name), the folders of DIR into\n"
     "                      mailboxes below it named by their paths with the\n"
     "                      server's delimiter, made and subscribed where missing.\n"
     "                      Each message goes as the other outputs write it, with\n"
     "                      the item's date (else its own Date:) as its date on\n"
     "                      the server. The password comes from VFOLDER_PASSWORD,\n"
     "                      --password-file FILE or a prompt on the terminal; the\n"
     "                      server's certificate must check out against the\n"
     "                      system's authorities (or --ca FILE's) for HOST before\n"
     "                      the login. A ledger (--ledger FILE, else one per\n"
     "                      account and mailbox in $XDG_CACHE_HOME/vfolder or\n"
     "                      ~/.cache/vfolder) keeps what reached the server, so\n"
     "                      that a run started again sends only the rest; without\n"
     "                      it a message whose Message-ID and size the mailbox\n"
     "                      holds is already there. A lost connection is tried\n"
     "                      again after pauses of 1, 2, 4 and 8 s, then the run\n"
     "                      stops. The summary counts sent, already there and\n"
     "                      failed, each failure with the server's words\n",
     nullptr,
     nullptr,
     TakesSeen | TakesExact | TakesTrees | TakesLogin | TakesDryRun | TakesLedger,
     NoTree,
     false,
     4,
     MSaveAccount,
     L'a',
     MSaveTreeAccount,
     4,
     HELP_ACCOUNT,
     nullptr},
};

}  // namespace

const OutputRow *OutputRows(size_t *count) {
  *count = sizeof Rows / sizeof Rows[0];
  return Rows;
}

const OutputRow *OutputOfCommand(const char *command, const char *switch_option) {
  for (const OutputRow &row : Rows)
    if (strcmp(row.Command, command) == 0 &&
        (row.Switch == nullptr ? switch_option == nullptr
                               : switch_option != nullptr && strcmp(row.Switch, switch_option) == 0))
      return &row;
  return nullptr;
}

const OutputRow *OutputOfSetting(int setting) {
  for (const OutputRow &row : Rows)
    if (row.Setting >= 0 && row.Setting == setting) return &row;
  return nullptr;
}

std::string OutputName(const OutputRow &row) {
  return row.Switch == nullptr ? row.Command : std::string(row.Command) + " " + row.Switch;
}

bool OutputTakes(const OutputRow &row, unsigned takes) { return (row.Takes & takes) == takes; }
