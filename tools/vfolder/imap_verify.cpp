#include "tools/vfolder/imap_verify.h"

#include <libetpan/libetpan.h>

#include <algorithm>
#include <map>
#include <new>

#include "tools/vfolder/imap_session.h"

namespace {

// Bodies are fetched this many, or about this many bytes, at a time: the
// memory of one batch, whatever the mailbox holds.
const size_t BatchMessages = 64;
const uint64_t BatchBytes = 8u << 20;

// The static items of a fetched message: its UID, its size, its body.
struct Fetched {
  uint32_t Uid, Size;
  const char *Body;
  size_t BodySize;
};

Fetched ItemsOf(const struct mailimap_msg_att *message) {
  Fetched fetched = {0, 0, nullptr, 0};
  for (clistiter *item = clist_begin(message->att_list); item != nullptr; item = clist_next(item)) {
    const auto *att = static_cast<struct mailimap_msg_att_item *>(clist_content(item));
    if (att->att_type != MAILIMAP_MSG_ATT_ITEM_STATIC) continue;
    const struct mailimap_msg_att_static *s = att->att_data.att_static;
    if (s->att_type == MAILIMAP_MSG_ATT_UID) fetched.Uid = s->att_data.att_uid;
    if (s->att_type == MAILIMAP_MSG_ATT_RFC822_SIZE) fetched.Size = s->att_data.att_rfc822_size;
    if (s->att_type == MAILIMAP_MSG_ATT_BODY_SECTION && s->att_data.att_body_section != nullptr) {
      fetched.Body = s->att_data.att_body_section->sec_body_part;
      fetched.BodySize = s->att_data.att_body_section->sec_length;
    }
  }
  return fetched;
}

}  // namespace

struct ImapReading {
  ImapAccount Account;
  ImapSession Session;
};

ImapReading *OpenImapReading(const char *url, const char *password_file, const char *ca_file,
                             std::string *problem) {
  ImapReading *reading = new (std::nothrow) ImapReading();
  if (reading == nullptr) {
    *problem = "no memory";
    return nullptr;
  }
  std::string password;
  bool ok = ParseImapUrl(url, &reading->Account, problem);
  reading->Account.CaFile = ca_file;
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
  mailimap *imap = reading->Session.Imap;
  *missing = false;
  int r = mailimap_examine(imap, ModifiedUtf7(mailbox).c_str());
  if (r != MAILIMAP_NO_ERROR) {
    *missing = imap->imap_stream != nullptr;
    *problem = *missing ? "cannot be examined: " + ServerWords(reading->Session)
                        : "the connection was lost";
    return false;
  }
  if (imap->imap_selection_info == nullptr || imap->imap_selection_info->sel_exists == 0)
    return true;
  // The UIDs and sizes first, then the bodies in batches.
  std::vector<std::pair<uint32_t, uint32_t>> sizes;
  struct mailimap_set *all = mailimap_set_new_interval(1, 0);
  struct mailimap_fetch_type *what = mailimap_fetch_type_new_fetch_att_list_empty();
  mailimap_fetch_type_new_fetch_att_list_add(what, mailimap_fetch_att_new_uid());
  mailimap_fetch_type_new_fetch_att_list_add(what, mailimap_fetch_att_new_rfc822_size());
  clist *fetched = nullptr;
  r = mailimap_uid_fetch(imap, all, what, &fetched);
  mailimap_fetch_type_free(what);
  mailimap_set_free(all);
  if (r != MAILIMAP_NO_ERROR) {
    *problem = "cannot be read: " + ServerWords(reading->Session);
    return false;
  }
  for (clistiter *at = clist_begin(fetched); at != nullptr; at = clist_next(at)) {
    const Fetched items = ItemsOf(static_cast<struct mailimap_msg_att *>(clist_content(at)));
    if (items.Uid != 0) sizes.push_back({items.Uid, items.Size});
  }
  mailimap_fetch_list_free(fetched);
  std::sort(sizes.begin(), sizes.end());
  for (size_t first = 0; first < sizes.size();) {
    struct mailimap_set *batch = mailimap_set_new_empty();
    std::map<uint32_t, MessageDigest> digests;
    uint64_t bytes = 0;
    size_t end = first;
    for (; end < sizes.size() && end - first < BatchMessages && (end == first || bytes < BatchBytes);
         ++end) {
      mailimap_set_add_single(batch, sizes[end].first);
      bytes += sizes[end].second;
    }
    what = mailimap_fetch_type_new_fetch_att_list_empty();
    mailimap_fetch_type_new_fetch_att_list_add(what, mailimap_fetch_att_new_uid());
    mailimap_fetch_type_new_fetch_att_list_add(
        what, mailimap_fetch_att_new_body_peek_section(mailimap_section_new(nullptr)));
    fetched = nullptr;
    r = mailimap_uid_fetch(imap, batch, what, &fetched);
    mailimap_fetch_type_free(what);
    mailimap_set_free(batch);
    if (r != MAILIMAP_NO_ERROR) {
      *problem = "cannot be read: " + ServerWords(reading->Session);
      return false;
    }
    for (clistiter *at = clist_begin(fetched); at != nullptr; at = clist_next(at)) {
      const Fetched items = ItemsOf(static_cast<struct mailimap_msg_att *>(clist_content(at)));
      if (items.Uid != 0 && items.Body != nullptr)
        digests[items.Uid] = DigestOf(items.Body, items.BodySize);
    }
    mailimap_fetch_list_free(fetched);
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
