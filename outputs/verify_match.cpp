#include <algorithm>
#include <map>
#include <set>

#include "outputs/verify.h"

namespace {

// A message's place in one side's order under a key of its digest.
struct Keyed {
  uint64_t Key;
  size_t Index;
  bool operator<(const Keyed &other) const {
    return Key != other.Key ? Key < other.Key : Index < other.Index;
  }
};

uint64_t KeyOf(const MessageDigest &digest) { return digest.Head.A ^ (digest.Body.A * 31); }

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
  // Both sides sorted by a key of their digests, each in its own order
  // within one key, and walked side by side: a hundred thousand messages
  // take a few sorts of small records rather than a tree's scattered nodes.
  std::vector<Keyed> outputs, folder;
  for (size_t i = 0; i < found.size(); ++i) outputs.push_back({KeyOf(found[i].Digest), i});
  for (const ExpectedMessage &message : expected)
    if (message.Read) folder.push_back({KeyOf(message.Digest), size_t(message.Position)});
  std::sort(outputs.begin(), outputs.end());
  std::sort(folder.begin(), folder.end());
  std::vector<bool> taken(found.size(), false);
  std::vector<std::vector<size_t>> copies(expected.size());
  std::vector<int> left;
  for (size_t f = 0, o = 0; f < folder.size();) {
    const uint64_t key = folder[f].Key;
    size_t f_end = f, o_end;
    while (f_end < folder.size() && folder[f_end].Key == key) ++f_end;
    while (o < outputs.size() && outputs[o].Key < key) ++o;
    for (o_end = o; o_end < outputs.size() && outputs[o_end].Key == key;) ++o_end;
    // Each folder message takes the first copy of its digest in the output's
    // order; copies beyond the folder's make the last of its messages twice.
    for (size_t e = f; e < f_end; ++e) {
      const MessageDigest &digest = expected[folder[e].Index].Digest;
      size_t at = o;
      while (at < o_end && (taken[outputs[at].Index] ||
                            !SameDigest(found[outputs[at].Index].Digest, digest)))
        ++at;
      if (at == o_end) {
        left.push_back(int(folder[e].Index));
        continue;
      }
      copies[folder[e].Index].push_back(outputs[at].Index);
      taken[outputs[at].Index] = true;
    }
    for (size_t at = o; at < o_end; ++at) {
      if (taken[outputs[at].Index]) continue;
      for (size_t e = f_end; e-- > f;) {
        if (!SameDigest(found[outputs[at].Index].Digest, expected[folder[e].Index].Digest))
          continue;
        copies[folder[e].Index].push_back(outputs[at].Index);
        taken[outputs[at].Index] = true;
        break;
      }
    }
    f = f_end;
    o = o_end;
  }
  std::sort(left.begin(), left.end());
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
