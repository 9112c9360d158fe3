#include "host/shared/mail_items.h"

#include <algorithm>
#include <unordered_map>

#include "platform/system_facts.h"

std::vector<int> MatchItems(const MailFolder &mail, const ItemMessage *items, size_t count,
                            std::vector<std::vector<size_t>> *items_at, size_t *unmatched) {
  items_at->assign(mail.Entries.size(), std::vector<size_t>());
  std::unordered_map<uint64_t, std::vector<int>> positions;
  for (size_t i = mail.Entries.size(); i-- > 0;)
    positions[uint64_t(mail.Entries[i].DataOffset) << 32 | mail.Entries[i].Size].push_back(int(i));
  std::vector<int> chosen;
  *unmatched = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint64_t key = uint64_t(items[i].DataOffset) << 32 | items[i].Size;
    auto found = positions.find(key);
    if (found == positions.end() || found->second.empty()) {
      ++*unmatched;
      continue;
    }
    const int position = found->second.back();
    if (found->second.size() > 1) found->second.pop_back();
    (*items_at)[size_t(position)].push_back(i);
    chosen.push_back(position);
  }
  std::sort(chosen.begin(), chosen.end());
  chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
  return chosen;
}

std::string FolderName(const char *index_path) {
  std::string name = index_path;
  const size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name.empty() ? "folder" : name;
}

std::string FreePath(const std::string &dest, const std::string &name, const char *ending) {
  std::string dir = dest;
  if (!dir.empty() && dir.back() != '/' && dir.back() != SystemSeparator) dir += SystemSeparator;
  std::string path = dir + name + ending;
  for (int suffix = 2; FileSystem.KindOf(path.c_str(), false) != PathMissing && suffix < 100000;
       ++suffix)
    path = dir + name + "_(" + std::to_string(suffix) + ")" + ending;
  return path;
}
