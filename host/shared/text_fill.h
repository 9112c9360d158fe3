// A text of the language files with its values in it. A sentence that holds
// numbers or names is one text whose places for them are numbered, "%1" to
// "%9", so that each language puts them where its word order wants them
// ("Copy %1 %2 to:", "%1 %2: сохранено %3, не сохранено %4").
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>

// `text` with each "%N" replaced by the Nth of `values` (from 1) and "%%" by
// "%". A place with no value, or a "%" before anything else, stays as the
// text has it, so that a slip in a translation shows instead of hiding.
std::wstring FillText(const wchar_t *text, std::initializer_list<const wchar_t *> values);
