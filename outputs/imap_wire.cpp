#include "outputs/imap_wire.h"

#include <cstring>

const ImapLimits DefaultImapLimits = {1u << 20, 1u << 20, 2u << 20, 1u << 16, 60000};

namespace {

// What is gathered goes once it holds this much; bytes this large go at
// once on their own.
const size_t SendPiece = 64u << 10;
const size_t ReceivePiece = 64u << 10;

// "1 MB" for a bound in megabytes, else its bytes.
std::string SizeText(size_t size) {
  return size % (1u << 20) == 0 ? std::to_string(size >> 20) + " MB" : std::to_string(size) + " bytes";
}

void Break(ImapWire *wire, const std::string &problem, bool misbehaved = true) {
  if (!wire->Broken) {
    wire->Problem = problem;
    wire->Misbehaved = misbehaved;
  }
  wire->Broken = true;
}

// More bytes into In, the taken ones dropped first. False (broken) when
// none came.
bool Receive(ImapWire *wire) {
  if (wire->InAt > 0) {
    wire->In.erase(0, wire->InAt);
    wire->InAt = 0;
  }
  const size_t had = wire->In.size();
  wire->In.resize(had + ReceivePiece);
  const long got = Net.Receive(wire->Stream, &wire->In[had], ReceivePiece, wire->Limits.TimeoutMs);
  wire->In.resize(had + (got > 0 ? size_t(got) : 0));
  if (got > 0) return true;
  Break(wire, got == 0 ? "the server closed the connection"
                       : "the connection failed or the server did not answer within " +
                             std::to_string(wire->Limits.TimeoutMs / 1000) + " s",
        false);
  return false;
}

// The size of the literal a line ends in ("{N}" or "{N+}"), else -1; a
// size past any bound reads as the largest.
long long LiteralAtEnd(const std::string &text, size_t start) {
  if (text.size() < start + 3 || text.back() != '}') return -1;
  size_t end = text.size() - 1;
  if (text[end - 1] == '+') --end;
  size_t open = end;
  while (open > start && text[open - 1] >= '0' && text[open - 1] <= '9') --open;
  if (open == end || open == start || text[open - 1] != '{') return -1;
  long long size = 0;
  for (size_t i = open; i < end; ++i) {
    size = size * 10 + (text[i] - '0');
    if (size > (1ll << 40)) return 1ll << 40;
  }
  return size;
}

bool IsAtomEnd(char c) { return c == ' ' || c == '(' || c == ')' || c == '"' || c == '\r' || c == '\n'; }

}  // namespace

void StartWire(ImapWire *wire, NetStream *stream) {
  *wire = ImapWire();
  wire->Stream = stream;
  wire->Limits = DefaultImapLimits;
}

bool FlushWire(ImapWire *wire) {
  if (wire->Broken) return false;
  if (wire->Out.empty()) return true;
  const bool sent = Net.Send(wire->Stream, wire->Out.data(), wire->Out.size());
  // A login may have been among it.
  WipeOut(wire);
  if (!sent) Break(wire, "the connection failed while sending", false);
  return sent;
}

bool WriteWire(ImapWire *wire, const char *bytes, size_t size) {
  if (wire->Broken) return false;
  if (size >= SendPiece) {
    if (!FlushWire(wire)) return false;
    if (Net.Send(wire->Stream, bytes, size)) return true;
    Break(wire, "the connection failed while sending", false);
    return false;
  }
  wire->Out.append(bytes, size);
  return wire->Out.size() < SendPiece || FlushWire(wire);
}

bool WriteWire(ImapWire *wire, const std::string &text) {
  return WriteWire(wire, text.data(), text.size());
}

void WipeOut(ImapWire *wire) {
  volatile char *bytes = wire->Out.empty() ? nullptr : &wire->Out[0];
  for (size_t i = 0; i < wire->Out.size(); ++i) bytes[i] = 0;
  wire->Out.clear();
}

bool ReadResponse(ImapWire *wire, ImapResponse *response) {
  response->Raw.clear();
  response->Tag.clear();
  if (wire->Broken) return false;
  const ImapLimits &limits = wire->Limits;
  for (;;) {
    // One line, without its CR LF.
    size_t end;
    size_t searched = wire->InAt;
    while ((end = wire->In.find('\n', searched)) == std::string::npos) {
      if (wire->In.size() - wire->InAt > limits.LongestLine) {
        Break(wire, "the server's answer has a line over " + SizeText(limits.LongestLine));
        return false;
      }
      searched = wire->In.size() - wire->InAt;
      if (!Receive(wire)) return false;
      searched += wire->InAt;
    }
    size_t length = end - wire->InAt;
    if (length > limits.LongestLine) {
      Break(wire, "the server's answer has a line over " + SizeText(limits.LongestLine));
      return false;
    }
    const size_t start = response->Raw.size();
    response->Raw.append(wire->In, wire->InAt, length - (length > 0 && wire->In[end - 1] == '\r'));
    wire->InAt = end + 1;
    const long long literal = LiteralAtEnd(response->Raw, start);
    if (literal < 0) break;
    if (size_t(literal) > limits.LargestLiteral ||
        response->Raw.size() + size_t(literal) > limits.LargestResponse) {
      Break(wire, "the server's answer claims a literal over " +
                      SizeText(size_t(literal) > limits.LargestLiteral ? limits.LargestLiteral
                                                                       : limits.LargestResponse));
      return false;
    }
    response->Raw += "\r\n";
    for (size_t left = size_t(literal); left > 0;) {
      if (wire->InAt == wire->In.size() && !Receive(wire)) return false;
      const size_t take = std::min(left, wire->In.size() - wire->InAt);
      response->Raw.append(wire->In, wire->InAt, take);
      wire->InAt += take;
      left -= take;
    }
    if (response->Raw.size() > limits.LargestResponse) {
      Break(wire, "the server's answer is over " + SizeText(limits.LargestResponse));
      return false;
    }
  }
  const std::string &raw = response->Raw;
  if (raw.empty()) {
    Break(wire, "the server sent an empty line");
    return false;
  }
  if (raw[0] == '+') {
    response->Kind = ImapContinuation;
    response->DataAt = raw.size() > 1 && raw[1] == ' ' ? 2 : 1;
  } else if (raw[0] == '*' && raw.size() > 1 && raw[1] == ' ') {
    response->Kind = ImapUntagged;
    response->DataAt = 2;
  } else {
    const size_t blank = raw.find(' ');
    if (blank == 0 || blank == std::string::npos) {
      Break(wire, "the server's answer cannot be read: " + PrintableWords(raw.data(), raw.size()));
      return false;
    }
    response->Kind = ImapTagged;
    response->Tag = raw.substr(0, blank);
    response->DataAt = blank + 1;
  }
  return true;
}

bool TokensOf(const ImapResponse &response, size_t from, size_t most,
              std::vector<ImapToken> *tokens, std::string *problem) {
  const std::string &raw = response.Raw;
  tokens->clear();
  int depth = 0;
  for (size_t at = from; at < raw.size();) {
    const char c = raw[at];
    if (c == ' ') {
      ++at;
      continue;
    }
    if (tokens->size() >= most) {
      *problem = "more than " + std::to_string(most) + " items in one response";
      return false;
    }
    if (c == '(' || c == ')') {
      depth += c == '(' ? 1 : -1;
      if (depth < 0) {
        *problem = "a ')' with no '(' before it";
        return false;
      }
      tokens->push_back({c == '(' ? ImapOpen : ImapClose, at, 1});
      ++at;
    } else if (c == '"') {
      size_t end = at + 1;
      while (end < raw.size() && raw[end] != '"' && raw[end] != '\r' && raw[end] != '\n')
        end += raw[end] == '\\' ? 2 : 1;
      if (end >= raw.size() || raw[end] != '"') {
        *problem = "a quoted string with no end";
        return false;
      }
      tokens->push_back({ImapQuoted, at + 1, end - at - 1});
      at = end + 1;
    } else if (c == '{') {
      size_t end = at + 1;
      size_t size = 0;
      while (end < raw.size() && raw[end] >= '0' && raw[end] <= '9' && size <= raw.size())
        size = size * 10 + size_t(raw[end++] - '0');
      if (end < raw.size() && raw[end] == '+') ++end;
      if (end == at + 1 || raw.compare(end, 3, "}\r\n") != 0 || size > raw.size() - end - 3) {
        *problem = "a literal that does not read";
        return false;
      }
      tokens->push_back({ImapLiteral, end + 3, size});
      at = end + 3 + size;
    } else if (c == '\r' || c == '\n') {
      *problem = "a line break outside a literal";
      return false;
    } else {
      size_t end = at;
      // A section ("BODY[HEADER.FIELDS (X)]") is the atom's, blanks and all.
      while (end < raw.size() && !IsAtomEnd(raw[end])) {
        if (raw[end++] != '[') continue;
        while (end < raw.size() && raw[end] != ']' && raw[end] != '\r' && raw[end] != '\n') ++end;
        if (end < raw.size() && raw[end] == ']') ++end;
      }
      const bool nil = end - at == 3 && (raw[at] | 0x20) == 'n' && (raw[at + 1] | 0x20) == 'i' &&
                       (raw[at + 2] | 0x20) == 'l';
      tokens->push_back({nil ? ImapNil : ImapAtom, at, end - at});
      at = end;
    }
  }
  if (depth != 0) {
    *problem = "a '(' with no ')' after it";
    return false;
  }
  return true;
}

std::string TokenText(const ImapResponse &response, const ImapToken &token) {
  if (token.Kind == ImapNil) return std::string();
  if (token.Kind != ImapQuoted) return response.Raw.substr(token.At, token.Size);
  std::string text;
  for (size_t i = token.At; i < token.At + token.Size; ++i) {
    if (response.Raw[i] == '\\' && i + 1 < token.At + token.Size) ++i;
    text += response.Raw[i];
  }
  return text;
}

size_t SkipItem(const std::vector<ImapToken> &tokens, size_t at) {
  if (at >= tokens.size()) return at;
  if (tokens[at].Kind != ImapOpen) return at + 1;
  int depth = 0;
  for (; at < tokens.size(); ++at) {
    depth += tokens[at].Kind == ImapOpen ? 1 : tokens[at].Kind == ImapClose ? -1 : 0;
    if (depth == 0) return at + 1;
  }
  return at;
}

std::string PrintableWords(const char *text, size_t size) {
  std::string printable;
  for (size_t i = 0; i < size && printable.size() < 400; ++i)
    printable += uint8_t(text[i]) < 0x20 || text[i] == 0x7f ? ' ' : text[i];
  return printable;
}

std::string StatusOf(const ImapResponse &response, std::string *words) {
  const std::string &raw = response.Raw;
  size_t end = raw.find(' ', response.DataAt);
  if (end == std::string::npos) end = raw.size();
  std::string status = raw.substr(response.DataAt, end - response.DataAt);
  for (char &c : status) c = char(c >= 'a' && c <= 'z' ? c - 32 : c);
  words->clear();
  const bool known = status == "OK" || status == "NO" || status == "BAD" || status == "BYE" ||
                     status == "PREAUTH";
  if (response.Kind == ImapContinuation || (response.Kind == ImapUntagged && !known)) return std::string();
  if (end < raw.size()) *words = PrintableWords(raw.data() + end + 1, raw.size() - end - 1);
  if (words->empty()) *words = "no reason given";
  return status;
}
