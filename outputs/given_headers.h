// The header lines a message is given before its own bytes, and the form its
// bytes take, so that every mail program takes it for a message of its own,
// with the item's date. The mail program stored whatever it was handed: a
// note without headers, an empty message, one that starts with an envelope
// "From " line, one with the lone CR line ends of old Macs. Readers of mbox
// files swallow such a message into the one before, and others pass it over
// or see no headers in it; one without Date: shows as 1970.
#pragma once

#include <cstddef>
#include <string>

#include "outputs/byte_buffer.h"

enum HeadersGiven {
  NoHeadersGiven,
  DateGiven,   // the message has headers but no Date:, and the item has a date
  BlockGiven,  // the message's first line is no header field
};

// What a message is given, and how its own bytes are written.
struct MessageHead {
  HeadersGiven Given;
  bool Crlf;    // the given lines end in CR LF, as the message's first line does
  bool LoneCr;  // its lines end in a lone CR (old Mac mail): it is written with CR LF
  // The bytes of an envelope "From " line (its line end included) that come
  // before the message's header section: no part of the message. 0 for none.
  size_t EnvelopeSize;
};

// The leading bytes that DecideHeaders needs at most: a message whose header
// section runs on beyond them is taken for one without Date: when none came.
const size_t LongestHeadSection = 256 * 1024;

// What a message is given, from its first `size` bytes (`whole` when they are
// all of it) and whether the item has a date. A header field is a name of
// printable ASCII without ':' and a colon after it (blanks between, as in old
// mail); the header section ends at the first empty line. Lines end in a line
// feed (a CR before it belongs to the end), or in a lone CR when the first
// line does and no line feed comes before the header section ends. A first
// line "From ..." followed by a header field is an envelope line. False when
// the bytes end before the answer is known; never once they are whole or
// LongestHeadSection long.
bool DecideHeaders(const char *head, size_t size, bool whole, bool has_date, MessageHead *decided);

// What FindDateField finds.
enum DateField { DateFieldNeedsMore, NoDateField, DateFieldFound };

// The value of the first Date: field (the name in any letter case) of the
// header section at the start of `head`, its folded lines joined, into
// `*value`. Lines end as DecideHeaders reads them: in a line feed, or in a
// lone CR with `lone_cr`. NoDateField when the section holds none (or there
// is no header section); DateFieldNeedsMore when the bytes end before that
// is known, never once they are `whole` or LongestHeadSection long.
DateField FindDateField(const char *head, size_t size, bool whole, bool lone_cr,
                        std::string *value);

// The lines given, each ending in CR LF when `crlf`, else in a line feed:
//   BlockGiven  "From: DESCRIPTION" (none when the description is empty),
//               "Subject: NAME", "Date: DATE" (none when `date` is empty)
//               and the empty line that ends the header section;
//   DateGiven   "Date: DATE".
// A text that is not all printable ASCII goes in as RFC 2047 encoded words:
// UTF-8 when it is valid UTF-8 (as --charset makes it), UNKNOWN-8BIT for one
// with bytes its character set does not define. With
// `seen`, the lines "Status: RO" and "X-Mozilla-Status: 0001" come last,
// before the empty line of a block, which mail programs read as a message read.
std::string GivenHeaderText(HeadersGiven given, const char *name, const char *description,
                            const char *date, bool seen, bool crlf);

// True when the lines given hold a text with bytes above 0x7F (the name, or
// the description), which is not UTF-8 unless a character set decoded it.
bool GivesEightBitText(HeadersGiven given, const char *name, const char *description);

// Appends `bytes` to `out` with every CR that no line feed follows made CR
// LF. `*after_cr` carries a CR that ended the bytes before (false at the
// start): one more call with no bytes at the message's end ends it.
// False when memory runs out.
bool AppendCrLfEnds(ByteBuffer *out, const char *bytes, size_t size, bool *after_cr);

// What the log says of a message given headers: "given headers From,
// Subject, Date" with the fields given; empty for none.
std::string GivenHeadersNote(HeadersGiven given, const char *description, const char *date);
