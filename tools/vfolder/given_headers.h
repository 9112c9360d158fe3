// The header lines a message is given before its own bytes, so that every
// mail program takes it for a message of its own, with the item's date. The
// mail program stored whatever it was handed: a note without headers, an
// empty message, one that starts with an envelope "From " line. Readers of
// mbox files swallow such a message into the one before, and others pass it
// over; one without Date: shows as 1970.
#pragma once

#include <cstddef>
#include <string>

#include "platform/win_types.h"

enum HeadersGiven {
  NoHeadersGiven,
  DateGiven,   // the message has headers but no Date:, and the item has a date
  BlockGiven,  // the message's first line is no header field
};

// The leading bytes that DecideHeaders needs at most: a message whose header
// section runs on beyond them is taken for one without Date: when none came.
const size_t LongestHeadSection = 256 * 1024;

// What a message is given, from its first `size` bytes (`whole` when they are
// all of it) and whether the item has a date; `*crlf` tells that its first
// line ends in CR LF. A header field is a name of printable ASCII without
// ':' and a colon after it (blanks between, as in old mail); the header
// section ends at the first empty line. False when the bytes end before the
// answer is known; never once they are whole or LongestHeadSection long.
bool DecideHeaders(const char *head, size_t size, bool whole, bool has_date, HeadersGiven *given,
                   bool *crlf);

// The lines given, each ending in CR LF when `crlf`, else in a line feed:
//   BlockGiven  "From: DESCRIPTION" (none when the description is empty),
//               "Subject: NAME", "Date: DATE" (none without a date) and the
//               empty line that ends the header section;
//   DateGiven   "Date: DATE".
// `date` is the item's date in UTC (zero: none). A text that is not all
// printable ASCII goes in as RFC 2047 encoded words: UTF-8 when it is valid
// UTF-8 (as --charset makes it), UNKNOWN-8BIT otherwise. With `seen`, the
// lines "Status: RO" and "X-Mozilla-Status: 0001" come last, before the
// empty line of a block, which mail programs read as a message read.
std::string GivenHeaderText(HeadersGiven given, const char *name, const char *description,
                            const FILETIME &date, bool seen, bool crlf);

// What the log says of a message given headers: "given headers From,
// Subject, Date" with the fields given; empty for none.
std::string GivenHeadersNote(HeadersGiven given, const char *description, const FILETIME &date);
