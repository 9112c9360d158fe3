#include "tools/vfolder/imap_verify.h"

#include <algorithm>
#include <map>
#include <new>

#include "outputs/imap_session.h"
#include "tools/vfolder/imap_password.h"

namespace {

// Bodies are fetched this many, or about this many bytes, at a time: the
// memory of one batch, whatever the mailbox holds.
const size_t BatchMessages = 64;
const uint64_t BatchBytes = 8u << 20;

}  // namespace

struct ImapReading {
  ImapAccount Account;
  ImapClient Session;
};

ImapReading *OpenImapReading(const char *url, const char *password_file, const char *ca_file,
                             const char *token_command, std::string *problem) {
  ImapReading *reading = new (std::nothrow) ImapReading();
  if (reading == nullptr) {
    *problem = "no memory";
    return nullptr;
  }
  std::string password;
  bool ok = ParseImapUrl(url, &reading->Account, problem);
  reading->Account.CaFile = ca_file;
  reading->Account.TokenCommand = token_command;
  ok = ok && ReadPassword(reading->Account, password_file, &password, problem);
  ok = ok && ConnectImap(reading->Account, password, &reading->Session, problem) == Connected;
  WipeText(&password);
  if (!ok) {
    delete reading;
    return nullptr;
  }
  return reading;
}

void CloseImapReading(ImapReading *reading) {
  if (reading == nullptr) return;
  CloseImap(&reading->Session);
  delete reading;
}

std::string BaseMailbox(const ImapReading &reading) { return reading.Account.Mailbox; }

char MailboxDelimiter(const ImapReading &reading) { return reading.Session.Delimiter; }

bool ReadMailboxMessages(ImapReading *reading, const std::string &mailbox,
                         std::vector<FoundMessage> *found, bool *missing, std::string *problem) {
  ImapClient *imap = &reading->Session;
  *missing = false;
  ImapAnswer r = SelectMailbox(imap, ModifiedUtf7(mailbox), true);
  if (r != ImapOk) {
    *missing = r == ImapNo;
    *problem = *missing ? "cannot be examined: " + ServerWords(*imap) : "the connection was lost";
    return false;
  }
  if (imap->Exists == 0) return true;
  // The UIDs and sizes first, then the bodies in batches.
  std::vector<std::pair<uint32_t, uint32_t>> sizes;
  r = FetchMessages(imap, true, "1:*", "(UID RFC822.SIZE)", 0, [&](const FetchedItems &items) {
    if (items.Uid != 0) sizes.push_back({items.Uid, items.Size});
  });
  if (r != ImapOk) {
    *problem = "cannot be read: " + ServerWords(*imap);
    return false;
  }
  std::sort(sizes.begin(), sizes.end());
  for (size_t first = 0; first < sizes.size();) {
    std::map<uint32_t, MessageDigest> digests;
    std::string set;
    uint64_t bytes = 0;
    size_t largest = 0, end = first;
    for (; end < sizes.size() && end - first < BatchMessages && (end == first || bytes < BatchBytes);
         ++end) {
      set += (set.empty() ? "" : ",") + std::to_string(sizes[end].first);
      bytes += sizes[end].second;
      largest = std::max<size_t>(largest, sizes[end].second);
    }
    // A body as large as the server said, and no larger.
    r = FetchMessages(imap, true, set, "(UID BODY.PEEK[])", largest, [&](const FetchedItems &items) {
      if (items.Uid != 0 && items.HasBody) digests[items.Uid] = DigestOf(items.Body, items.BodySize);
    });
    if (r != ImapOk) {
      *problem = "cannot be read: " + ServerWords(*imap);
      return false;
    }
    // A message expunged meanwhile is not there.
    for (size_t i = first; i < end; ++i) {
      const auto digest = digests.find(sizes[i].first);
      if (digest != digests.end())
        found->push_back({"UID " + std::to_string(sizes[i].first), digest->second});
    }
    first = end;
  }
  return true;
}
