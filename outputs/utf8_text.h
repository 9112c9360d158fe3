// UTF-8 as the outputs and the terminal check it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The length of the valid UTF-8 sequence at `text` (of `left` bytes), its
// character in `*code`; 0 when it is none: a stray byte, a sequence cut short
// or too long for its character, or a surrogate.
size_t Utf8Sequence(const unsigned char *text, size_t left, uint32_t *code);

// True when every byte of `text` is part of valid UTF-8.
bool IsUtf8(const std::string &text);
