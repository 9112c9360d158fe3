#include "outputs/imap_providers.h"

#include <cstring>

namespace {

// Gmail takes about 500 MB of uploads over IMAP a day; Microsoft 365 names
// no daily cap, it throttles (and says how long to wait).
const ImapProvider Providers[] = {
    {"gmail", "imap.gmail.com", 500000000, false},
    {"microsoft", "outlook.office365.com", 0, true},
};

}  // namespace

const ImapProvider *FindImapProvider(const char *name) {
  for (const ImapProvider &provider : Providers)
    if (!strcmp(provider.Name, name)) return &provider;
  return nullptr;
}

std::string ImapProviderNames() {
  std::string names;
  const size_t count = sizeof Providers / sizeof Providers[0];
  for (size_t i = 0; i < count; ++i)
    names += std::string(i == 0 ? "" : i + 1 == count ? " and " : ", ") + Providers[i].Name;
  return names;
}

std::string ProviderUrl(const ImapProvider &provider, const std::string &account) {
  if (account.find("://") != std::string::npos) return std::string();
  const size_t slash = account.find('/');
  std::string user;
  for (char c : account.substr(0, slash))
    user += c == '%' ? std::string("%25") : c == '@' ? std::string("%40") : std::string(1, c);
  if (user.empty()) return std::string();
  return "imaps://" + user + "@" + provider.Host + ":993" +
         (slash == std::string::npos ? std::string() : account.substr(slash));
}
