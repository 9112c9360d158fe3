// The folder panel's item names, one of each in every host. Both hosts
// carry an item's selection over by its name alone when they list the panel
// anew (as they do after every save): items that share a name would share
// one state, so a stopped save could not leave exactly the saved ones
// unselected. The second and later items of a name take the copy's twin
// suffix, in the folder's order, so that a message file saved from an item
// has the item's name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

// The names given so far, their letter case folded, with the next twin
// number to try for each.
struct PanelNames {
  std::unordered_map<std::wstring, uint32_t> Next;
};

// `name` (`length` letters) in the letter case both hosts' name comparisons
// take for all.
std::wstring FoldedName(const wchar_t *name, size_t length);

// Room for the suffix "_(N)" beyond an item's name.
const size_t TwinSuffixRoom = 16;

// Makes `name` (`length` letters, in a block of `length` + TwinSuffixRoom + 1
// or more) differ from every name given before in more than letter case:
// "NAME", "NAME_(2)", "NAME_(3)"... Its length afterwards.
size_t GiveUniqueName(PanelNames *names, wchar_t *name, size_t length);
