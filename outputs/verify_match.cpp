#include <algorithm>
#include <map>
#include <set>

#include "outputs/verify.h"

namespace {

struct DigestLess {
  bool operator()(const MessageDigest &a, const MessageDigest &b) const {
    return DigestBefore(a, b);
  }
};

struct PartLess {
  bool operator()(const PartDigest &a, const PartDigest &b) const {
    if (a.Size != b.Size) return a.Size < b.Size;
    return a.A != b.A ? a.A < b.A : a.B < b.B;
  }
};

// Pairs each folder message left with an output message left of the same
// part (its head, or its body), in order.
template <typename PartOf>
void PairByPart(const std::vector<ExpectedMessage> &expected,
                const std::vector<FoundMessage> &found, std::vector<int> *left,
                std::vector<bool> *taken, std::vector<long> *pair, PartOf part_of) {
  std::map<PartDigest, std::vector<size_t>, PartLess> by_part;
  for (size_t i = found.size(); i-- > 0;)
    if (!(*taken)[i]) by_part[part_of(found[i].Digest)].push_back(i);
  std::vector<int> still;
  for (int position : *left) {
    auto at = by_part.find(part_of(expected[size_t(position)].Digest));
    if (at == by_part.end() || at->second.empty()) {
      still.push_back(position);
      continue;
    }
    (*pair)[size_t(position)] = long(at->second.back());
    (*taken)[at->second.back()] = true;
    at->second.pop_back();
  }
  left->swap(still);
}

}  // namespace

FolderCheck MatchMessages(const std::vector<ExpectedMessage> &expected,
                          const std::vector<FoundMessage> &found) {
  FolderCheck check = {int(expected.size()), 0, 0, 0, 0, 0, 0, {}, {}};
  // The output's messages of each digest, first in its order first.
  std::map<MessageDigest, std::vector<size_t>, DigestLess> by_digest;
  for (size_t i = found.size(); i-- > 0;) by_digest[found[i].Digest].push_back(i);
  std::vector<bool> taken(found.size(), false);
  std::vector<std::vector<size_t>> copies(expected.size());
  std::map<MessageDigest, int, DigestLess> last_of;  // the last folder message of each digest
  std::vector<int> left;
  for (const ExpectedMessage &message : expected) {
    if (!message.Read) continue;
    last_of[message.Digest] = message.Position;
    auto at = by_digest.find(message.Digest);
    if (at == by_digest.end() || at->second.empty()) {
      left.push_back(message.Position);
      continue;
    }
    copies[size_t(message.Position)].push_back(at->second.back());
    taken[at->second.back()] = true;
    at->second.pop_back();
  }
  // Copies beyond the folder's: the last of its messages is there more than once.
  for (auto &digest_found : by_digest) {
    auto last = last_of.find(digest_found.first);
    if (last == last_of.end()) continue;
    for (size_t i : digest_found.second) {
      copies[size_t(last->second)].push_back(i);
      taken[i] = true;
    }
  }
  // Of the rest, one with the same head (a body changed), or the same body
  // (a header changed), or in the place of the folder message in the
  // output's order is the folder message changed.
  std::vector<long> pair(expected.size(), -1);
  PairByPart(expected, found, &left, &taken, &pair,
             [](const MessageDigest &digest) { return digest.Head; });
  PairByPart(expected, found, &left, &taken, &pair,
             [](const MessageDigest &digest) { return digest.Body; });
  // In the output's order: between the folder messages found before and after it.
  std::set<int> unpaired(left.begin(), left.end());
  std::vector<int> matched_at(found.size(), -1);
  for (const ExpectedMessage &message : expected)
    for (size_t i : copies[size_t(message.Position)]) matched_at[i] = message.Position;
  std::vector<int> next_matched(found.size() + 1, int(expected.size()));
  for (size_t i = found.size(); i-- > 0;)
    next_matched[i] = matched_at[i] >= 0 ? matched_at[i] : next_matched[i + 1];
  int before = -1;
  for (size_t i = 0; i < found.size() && !unpaired.empty(); ++i) {
    if (matched_at[i] >= 0) before = matched_at[i];
    if (taken[i]) continue;
    auto candidate = unpaired.upper_bound(before);
    if (candidate == unpaired.end() || *candidate >= next_matched[i + 1]) continue;
    pair[size_t(*candidate)] = long(i);
    taken[i] = true;
    unpaired.erase(candidate);
  }
  for (const ExpectedMessage &message : expected) {
    const size_t at = size_t(message.Position);
    CheckedMessage checked = {message.Position, MessagePresent, copies[at]};
    if (!message.Read) {
      checked.State = MessageUnreadable;
      ++check.Unreadable;
    } else if (!copies[at].empty()) {
      ++check.Present;
      if (copies[at].size() > 1) ++check.Twice;
    } else if (pair[at] >= 0) {
      checked.State = MessageChanged;
      checked.Found.push_back(size_t(pair[at]));
      ++check.Changed;
    } else {
      checked.State = MessageMissing;
      ++check.Missing;
    }
    std::sort(checked.Found.begin(), checked.Found.end());
    if (checked.State != MessagePresent || checked.Found.size() > 1)
      check.Problems.push_back(checked);
  }
  for (size_t i = 0; i < found.size(); ++i)
    if (!taken[i]) check.Extras.push_back(i);
  check.Extra = int(check.Extras.size());
  return check;
}
