// The mboxrd form of one message: its "From " line, its quoted lines and the
// empty line after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "outputs/byte_buffer.h"

// The sender for the "From " line: the address in the first From: header of
// the header section (the lines up to the first empty one; the header name in
// any letter case; folded lines joined). The address is the text in the first
// <...> outside quoted strings and comments, or else the header's one word once
// comments are dropped. White space and control bytes are dropped from it, or
// made '_' inside a quoted string, so that it stays one word. "MAILER-DAEMON"
// when there is no such header or no address in it.
std::string MboxSender(const char *message, size_t size);

// Appends the message to `out`: "From SENDER DATE" and a line feed, the
// header lines `given` to it (given_headers.h), the bytes as they are but with
// one more '>' before every line that starts with zero or more '>' and
// "From ", a line feed when the message does not end in one, and an empty
// line. DATE is the moment `seconds` since 1970 in UTC as asctime() writes it.
// SENDER is the sender of `envelope`, the message's own envelope line without
// its line end, where that names one; else it comes from the header section
// that `given` and the message make together. False when memory runs out;
// `out` then holds what it held. With `drain`, `out` is handed to it each
// time it holds a mebibyte, to be emptied, so that a large message is never
// held formatted whole; false from it ends the message there.
typedef bool (*MboxDrain)(void *context, ByteBuffer *out);
bool AppendMboxMessage(ByteBuffer *out, const std::string &given, const char *message, size_t size,
                       int64_t seconds, const std::string &envelope = std::string(),
                       MboxDrain drain = nullptr, void *context = nullptr);
