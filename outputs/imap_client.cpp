#include "outputs/imap_client.h"

#include <cstdlib>
#include <cstring>

namespace {

// The longest wait for a connection and each answer.
const int WaitMs = 60000;

std::string Upper(std::string text) {
  for (char &c : text) c = char(c >= 'a' && c <= 'z' ? c - 32 : c);
  return text;
}

uint32_t Number(const std::string &text) {
  char *end = nullptr;
  const unsigned long long value = strtoull(text.c_str(), &end, 10);
  return end != text.c_str() && value <= UINT32_MAX ? uint32_t(value) : 0;
}

void Wipe(std::string *text) {
  volatile char *bytes = text->empty() ? nullptr : &(*text)[0];
  for (size_t i = 0; i < text->size(); ++i) bytes[i] = 0;
  text->clear();
}

std::string Base64(const std::string &bytes) {
  static const char Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = uint32_t(uint8_t(bytes[i])) << 16;
    if (i + 1 < bytes.size()) group |= uint32_t(uint8_t(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) group |= uint8_t(bytes[i + 2]);
    out += Digits[group >> 18 & 63];
    out += Digits[group >> 12 & 63];
    out += i + 1 < bytes.size() ? Digits[group >> 6 & 63] : '=';
    out += i + 2 < bytes.size() ? Digits[group & 63] : '=';
  }
  return out;
}

// Whether the text can go as a quoted string: 7-bit, no CR, LF or NUL.
bool Quotable(const std::string &text) {
  for (char c : text)
    if (c == '\r' || c == '\n' || c == '\0' || uint8_t(c) >= 0x80) return false;
  return true;
}

// The capabilities of a CAPABILITY response.
void TakeCapabilities(ImapClient *client, const ImapResponse &response, bool *starttls,
                      bool *login_disabled, bool *plain) {
  std::vector<ImapToken> tokens;
  std::string problem;
  if (!TokensOf(response, response.DataAt, client->Wire.Limits.MostItems, &tokens, &problem))
    return;
  if (tokens.empty() || Upper(TokenText(response, tokens[0])) != "CAPABILITY") return;
  client->UidPlus = client->LiteralPlus = client->LiteralMinus = client->MultiAppend = false;
  client->SaslIr = client->XOAuth2 = client->OAuthBearer = false;
  client->AppendLimit = 0;
  *starttls = *login_disabled = *plain = false;
  for (size_t i = 1; i < tokens.size(); ++i) {
    const std::string name = Upper(TokenText(response, tokens[i]));
    client->UidPlus |= name == "UIDPLUS";
    client->LiteralPlus |= name == "LITERAL+";
    client->LiteralMinus |= name == "LITERAL-";
    client->MultiAppend |= name == "MULTIAPPEND";
    client->SaslIr |= name == "SASL-IR";
    client->XOAuth2 |= name == "AUTH=XOAUTH2";
    client->OAuthBearer |= name == "AUTH=OAUTHBEARER";
    *starttls |= name == "STARTTLS";
    *login_disabled |= name == "LOGINDISABLED";
    *plain |= name == "AUTH=PLAIN";
    if (name.compare(0, 12, "APPENDLIMIT=") == 0) client->AppendLimit = Number(name.substr(12));
  }
}

ImapAnswer Capabilities(ImapClient *client, bool *starttls, bool *login_disabled, bool *plain) {
  return RunCommand(client, "CAPABILITY", [&](const ImapResponse &response) {
    TakeCapabilities(client, response, starttls, login_disabled, plain);
  });
}

// The tagged answer to the command of `tag`, untagged ones passed over.
ImapAnswer AnswerTo(ImapClient *client, const std::string &tag,
                    const std::function<void(const ImapResponse &)> &untagged) {
  ImapResponse response;
  while (ReadResponse(&client->Wire, &response)) {
    if (response.Kind == ImapUntagged && untagged) untagged(response);
    if (response.Kind != ImapTagged || response.Tag != tag) continue;
    const std::string status = StatusOf(response, &client->Words);
    if (status == "OK") return ImapOk;
    if (status == "NO" || status == "BAD") return ImapNo;
    client->Wire.Broken = client->Wire.Misbehaved = true;
    client->Wire.Problem = "the server's answer cannot be read: " +
                           PrintableWords(response.Raw.data(), response.Raw.size());
    return ImapGone;
  }
  return ImapGone;
}

// LOGIN with the user and password as quoted strings, or as literals where
// they cannot be; a literal waits for "+" unless LITERAL+ spares it.
ImapAnswer LogIn(ImapClient *client, const std::string &user, const std::string &password) {
  const std::string tag = NextTag(client);
  std::string line = tag + " LOGIN";
  const std::string *parts[] = {&user, &password};
  for (const std::string *part : parts) {
    if (Quotable(*part)) {
      line += " " + QuotedString(*part);
      continue;
    }
    line += " {" + std::to_string(part->size()) + (client->LiteralPlus ? "+}\r\n" : "}\r\n");
    if (!client->LiteralPlus) {
      WriteWire(&client->Wire, line);
      Wipe(&line);
      ImapResponse response;
      if (!FlushWire(&client->Wire)) return ImapGone;
      if (!ReadResponse(&client->Wire, &response)) return ImapGone;
      if (response.Kind != ImapContinuation) {
        StatusOf(response, &client->Words);
        return response.Kind == ImapTagged ? ImapNo : ImapGone;
      }
    }
    line += *part;
  }
  line += "\r\n";
  WriteWire(&client->Wire, line);
  Wipe(&line);
  if (!FlushWire(&client->Wire)) return ImapGone;
  return AnswerTo(client, tag, nullptr);
}

// AUTHENTICATE PLAIN, for a server that takes no LOGIN.
ImapAnswer AuthenticatePlain(ImapClient *client, const std::string &user,
                             const std::string &password) {
  const std::string tag = NextTag(client);
  if (!WriteWire(&client->Wire, tag + " AUTHENTICATE PLAIN\r\n") || !FlushWire(&client->Wire))
    return ImapGone;
  ImapResponse response;
  if (!ReadResponse(&client->Wire, &response)) return ImapGone;
  if (response.Kind == ImapTagged) {
    StatusOf(response, &client->Words);
    return ImapNo;
  }
  if (response.Kind != ImapContinuation) return ImapGone;
  std::string credentials = std::string(1, '\0') + user + '\0' + password;
  std::string line = Base64(credentials) + "\r\n";
  Wipe(&credentials);
  WriteWire(&client->Wire, line);
  Wipe(&line);
  if (!FlushWire(&client->Wire)) return ImapGone;
  return AnswerTo(client, tag, nullptr);
}

// A user name as a GS2 header writes it: ',' and '=' escaped.
std::string Gs2Name(const std::string &user) {
  std::string out;
  for (char c : user)
    out += c == ',' ? std::string("=2C") : c == '=' ? std::string("=3D") : std::string(1, c);
  return out;
}

// AUTHENTICATE XOAUTH2, or OAUTHBEARER where only that is offered, with the
// access token; the first response in the command where SASL-IR allows.
// A refused token draws a "+" with the server's error, which an empty line
// answers before the tagged NO comes.
ImapAnswer AuthenticateBearer(ImapClient *client, const ImapServer &server,
                              const std::string &token) {
  const bool xoauth2 = client->XOAuth2;
  const std::string soh(1, '\1');  // between the fields
  std::string response =
      xoauth2 ? "user=" + server.User + soh + "auth=Bearer " + token + soh + soh
              : "n,a=" + Gs2Name(server.User) + "," + soh + "host=" + server.Host + soh +
                    "port=" + std::to_string(server.Port) + soh + "auth=Bearer " + token + soh +
                    soh;
  std::string encoded = Base64(response);
  Wipe(&response);
  const std::string tag = NextTag(client);
  std::string line = tag + (xoauth2 ? " AUTHENTICATE XOAUTH2" : " AUTHENTICATE OAUTHBEARER");
  if (client->SaslIr) line += " " + encoded;
  line += "\r\n";
  WriteWire(&client->Wire, line);
  Wipe(&line);
  ImapResponse answer;
  if (!client->SaslIr) {
    if (!FlushWire(&client->Wire) || !ReadResponse(&client->Wire, &answer)) {
      Wipe(&encoded);
      return ImapGone;
    }
    if (answer.Kind != ImapContinuation) {
      Wipe(&encoded);
      StatusOf(answer, &client->Words);
      return answer.Kind == ImapTagged ? ImapNo : ImapGone;
    }
    line = encoded + "\r\n";
    WriteWire(&client->Wire, line);
    Wipe(&line);
  }
  Wipe(&encoded);
  if (!FlushWire(&client->Wire)) return ImapGone;
  // One "+" with the error at most; a second would keep us talking forever.
  bool answered = false;
  while (ReadResponse(&client->Wire, &answer)) {
    if (answer.Kind == ImapContinuation && !answered) {
      answered = true;
      if (!WriteWire(&client->Wire, "\r\n") || !FlushWire(&client->Wire)) return ImapGone;
      continue;
    }
    if (answer.Kind == ImapUntagged) continue;
    if (answer.Kind != ImapTagged || answer.Tag != tag) {
      client->Wire.Broken = client->Wire.Misbehaved = true;
      client->Wire.Problem = "the server's answer to AUTHENTICATE cannot be read";
      return ImapGone;
    }
    const std::string status = StatusOf(answer, &client->Words);
    return status == "OK" ? ImapOk : status == "NO" || status == "BAD" ? ImapNo : ImapGone;
  }
  return ImapGone;
}

// Starts TLS over the client's stream. False, with why, when it fails; the
// certificate's refusal makes `*refused`.
bool SecureStream(ImapClient *client, const ImapServer &server, const std::string &where,
                  std::string *problem, bool *refused) {
  const TlsCheck check = {server.Host.c_str(), server.CaFile};
  NetProblem trouble = {};
  if (Net.StartTls(client->Wire.Stream, check, &trouble)) return true;
  *refused = trouble.Fingerprint[0] != '\0';
  *problem = where + ": " + trouble.Reason;
  if (*refused) *problem += std::string(" (its SHA-256 fingerprint: ") + trouble.Fingerprint + ")";
  return false;
}

void Shut(ImapClient *client) {
  if (client->Wire.Stream != nullptr) Net.Close(client->Wire.Stream);
  client->Wire.Stream = nullptr;
  client->Wire.Broken = true;
}

}  // namespace

ImapConnecting OpenImapClient(const ImapServer &server, const std::string &secret,
                              ImapClient *client, std::string *problem) {
  *client = ImapClient();
  client->Delimiter = '/';
  const std::string where = server.Host + ":" + std::to_string(server.Port);
  NetProblem trouble = {};
  NetStream *stream = Net.Connect(server.Host.c_str(), server.Port, WaitMs, &trouble);
  if (stream == nullptr) {
    *problem = "cannot connect to " + where + ": " + trouble.Reason;
    return ImapUnreachable;
  }
  StartWire(&client->Wire, stream);
  bool refused = false;
  if (server.Tls && !SecureStream(client, server, where, problem, &refused)) {
    Shut(client);
    return refused ? ImapRefused : ImapUnreachable;
  }
  ImapResponse greeting;
  std::string words;
  if (!ReadResponse(&client->Wire, &greeting)) {
    *problem = where + ": no greeting: " + client->Wire.Problem;
    Shut(client);
    return ImapUnreachable;
  }
  const std::string status = StatusOf(greeting, &words);
  if (greeting.Kind != ImapUntagged || (status != "OK" && status != "PREAUTH")) {
    *problem = where + ": the server does not take us: " +
               (status.empty() ? PrintableWords(greeting.Raw.data(), greeting.Raw.size()) : words);
    Shut(client);
    return status == "BYE" ? ImapUnreachable : ImapRefused;
  }
  bool starttls = false, login_disabled = false, plain = false;
  if (!server.Tls) {
    // Without TLS nothing of the account goes: STARTTLS or no login.
    const bool offered = status == "OK" &&
                         Capabilities(client, &starttls, &login_disabled, &plain) == ImapOk &&
                         starttls;
    const ImapAnswer started = offered ? RunCommand(client, "STARTTLS", nullptr) : ImapNo;
    if (started != ImapOk) {
      *problem = where + ": STARTTLS failed (" +
                 (ImapLost(*client) ? client->Wire.Problem
                  : offered         ? client->Words
                                    : std::string("not offered")) +
                 "): no login over a connection that is not encrypted";
      const bool lost = ImapLost(*client);
      Shut(client);
      return lost ? ImapUnreachable : ImapRefused;
    }
    // What came before TLS is not to be trusted after it.
    client->Wire.In.clear();
    client->Wire.InAt = 0;
    if (!SecureStream(client, server, where, problem, &refused)) {
      Shut(client);
      return refused ? ImapRefused : ImapUnreachable;
    }
  }
  if (status == "OK") {
    ImapAnswer answer = Capabilities(client, &starttls, &login_disabled, &plain);
    if (answer == ImapOk && server.OAuth2 && !client->XOAuth2 && !client->OAuthBearer) {
      *problem = where + ": the server offers no OAuth2 login (AUTH=XOAUTH2 or AUTH=OAUTHBEARER)";
      Shut(client);
      return ImapRefused;
    }
    if (answer == ImapOk)
      answer = server.OAuth2             ? AuthenticateBearer(client, server, secret)
               : login_disabled && plain ? AuthenticatePlain(client, server.User, secret)
                                         : LogIn(client, server.User, secret);
    if (answer != ImapOk) {
      *problem = answer == ImapNo ? "login as " + server.User + " refused: " + client->Words
                                  : where + ": the connection was lost at the login";
      Shut(client);
      if (answer != ImapNo) return ImapUnreachable;
      return server.OAuth2 ? ImapTokenRefused : ImapRefused;
    }
  }
  bool unused[3];
  if (Capabilities(client, &unused[0], &unused[1], &unused[2]) != ImapOk && ImapLost(*client)) {
    *problem = where + ": the connection was lost after the login";
    Shut(client);
    return ImapUnreachable;
  }
  RunCommand(client, "LIST \"\" \"\"", [&](const ImapResponse &response) {
    std::vector<ImapToken> tokens;
    std::string trouble_words;
    if (!TokensOf(response, response.DataAt, 64, &tokens, &trouble_words) || tokens.empty() ||
        Upper(TokenText(response, tokens[0])) != "LIST")
      return;
    const size_t at = SkipItem(tokens, 1);
    if (at < tokens.size() && tokens[at].Kind == ImapQuoted) {
      const std::string delimiter = TokenText(response, tokens[at]);
      if (delimiter.size() == 1) client->Delimiter = delimiter[0];
    }
  });
  if (ImapLost(*client)) {
    *problem = where + ": the connection was lost after the login";
    Shut(client);
    return ImapUnreachable;
  }
  return ImapConnected;
}

void CloseImapClient(ImapClient *client) {
  if (client->Wire.Stream == nullptr) return;
  if (!client->Wire.Broken) {
    // The goodbye is said, not waited for long.
    client->Wire.Limits.TimeoutMs = 5000;
    RunCommand(client, "LOGOUT", nullptr);
  }
  Shut(client);
}

bool ImapLost(const ImapClient &client) { return client.Wire.Broken; }

std::string NextTag(ImapClient *client) { return "V" + std::to_string(++client->Tags); }

ImapAnswer RunCommand(ImapClient *client, const std::string &command,
                      const std::function<void(const ImapResponse &)> &untagged) {
  const std::string tag = NextTag(client);
  if (!WriteWire(&client->Wire, tag + " " + command + "\r\n") || !FlushWire(&client->Wire))
    return ImapGone;
  return AnswerTo(client, tag, untagged);
}

std::string QuotedString(const std::string &text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string ModifiedUtf7(const std::string &utf8) {
  static const char Digits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";
  std::string out;
  std::vector<uint16_t> units;
  auto flush = [&] {
    if (units.empty()) return;
    out += '&';
    uint32_t bits = 0;
    int count = 0;
    for (uint16_t unit : units) {
      bits = bits << 16 | unit;
      count += 16;
      while (count >= 6) {
        count -= 6;
        out += Digits[(bits >> count) & 63];
      }
    }
    if (count > 0) out += Digits[(bits << (6 - count)) & 63];
    out += '-';
    units.clear();
  };
  for (size_t i = 0; i < utf8.size();) {
    const uint8_t c = uint8_t(utf8[i]);
    if (c >= 0x20 && c < 0x7f) {
      flush();
      out += c == '&' ? std::string("&-") : std::string(1, char(c));
      ++i;
      continue;
    }
    uint32_t code = '?';
    size_t length = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc0 ? 2 : 1;
    if (length > 1 && i + length <= utf8.size()) {
      code = c & (0x7f >> length);
      for (size_t k = 1; k < length; ++k) code = code << 6 | (uint8_t(utf8[i + k]) & 0x3f);
    } else {
      length = 1;
    }
    i += length;
    if (code >= 0x10000) {
      code -= 0x10000;
      units.push_back(uint16_t(0xd800 + (code >> 10)));
      units.push_back(uint16_t(0xdc00 + (code & 0x3ff)));
    } else {
      units.push_back(uint16_t(code));
    }
  }
  flush();
  return out;
}

ImapAnswer SelectMailbox(ImapClient *client, const std::string &name, bool read_only) {
  client->Exists = client->UidValidity = client->UidNext = 0;
  return RunCommand(client, (read_only ? "EXAMINE " : "SELECT ") + QuotedString(name),
                    [&](const ImapResponse &response) {
                      const std::string data = Upper(response.Raw.substr(response.DataAt, 40));
                      const char *rest = response.Raw.c_str() + response.DataAt;
                      if (data.compare(0, 16, "OK [UIDVALIDITY ") == 0)
                        client->UidValidity = uint32_t(strtoul(rest + 16, nullptr, 10));
                      else if (data.compare(0, 12, "OK [UIDNEXT ") == 0)
                        client->UidNext = uint32_t(strtoul(rest + 12, nullptr, 10));
                      else if (data.find(" EXISTS") != std::string::npos &&
                               data[0] >= '0' && data[0] <= '9')
                        client->Exists = uint32_t(strtoul(rest, nullptr, 10));
                    });
}

ImapAnswer CreateMailbox(ImapClient *client, const std::string &name) {
  return RunCommand(client, "CREATE " + QuotedString(name), nullptr);
}

ImapAnswer SubscribeMailbox(ImapClient *client, const std::string &name) {
  return RunCommand(client, "SUBSCRIBE " + QuotedString(name), nullptr);
}

ImapAnswer MailboxStatus(ImapClient *client, const std::string &name, uint32_t *uid_next,
                         uint32_t *messages) {
  *uid_next = *messages = 0;
  return RunCommand(client, "STATUS " + QuotedString(name) + " (UIDNEXT MESSAGES)",
                    [&](const ImapResponse &response) {
                      std::vector<ImapToken> tokens;
                      std::string problem;
                      if (!TokensOf(response, response.DataAt, 64, &tokens, &problem) ||
                          tokens.empty() || Upper(TokenText(response, tokens[0])) != "STATUS")
                        return;
                      size_t at = SkipItem(tokens, 1);
                      if (at >= tokens.size() || tokens[at].Kind != ImapOpen) return;
                      for (++at; at + 1 < tokens.size() && tokens[at].Kind == ImapAtom; at += 2) {
                        const std::string item = Upper(TokenText(response, tokens[at]));
                        const uint32_t value = Number(TokenText(response, tokens[at + 1]));
                        if (item == "UIDNEXT") *uid_next = value;
                        if (item == "MESSAGES") *messages = value;
                      }
                    });
}

ImapAnswer FetchMessages(ImapClient *client, bool by_uid, const std::string &set,
                         const std::string &items, size_t largest,
                         const std::function<void(const FetchedItems &)> &each) {
  const ImapLimits before = client->Wire.Limits;
  if (largest > before.LargestLiteral) {
    client->Wire.Limits.LargestLiteral = largest;
    client->Wire.Limits.LargestResponse = largest + before.LargestResponse;
  }
  std::vector<ImapToken> tokens;
  const ImapAnswer answer = RunCommand(
      client, std::string(by_uid ? "UID FETCH " : "FETCH ") + set + " " + items,
      [&](const ImapResponse &response) {
        std::string problem;
        const std::string &raw = response.Raw;
        const size_t blank = raw.find(' ', response.DataAt);
        if (blank == std::string::npos || Upper(raw.substr(blank + 1, 6)) != "FETCH ") return;
        if (!TokensOf(response, blank + 7, client->Wire.Limits.MostItems, &tokens, &problem) ||
            tokens.empty() || tokens[0].Kind != ImapOpen) {
          client->Wire.Broken = client->Wire.Misbehaved = true;
          client->Wire.Problem = "the server's FETCH answer cannot be read (" + problem + "): " +
                                 PrintableWords(raw.data(), raw.size());
          return;
        }
        FetchedItems fetched = {};
        for (size_t at = 1; at + 1 < tokens.size() && tokens[at].Kind == ImapAtom;) {
          const std::string name = Upper(TokenText(response, tokens[at]));
          const ImapToken &value = tokens[at + 1];
          if (name == "UID") fetched.Uid = Number(TokenText(response, value));
          if (name == "RFC822.SIZE") fetched.Size = Number(TokenText(response, value));
          if (name == "ENVELOPE" && value.Kind == ImapOpen) {
            // The tenth of the envelope's items is its message-id.
            size_t field = at + 2;
            for (int n = 0; n < 9 && field < tokens.size(); ++n) field = SkipItem(tokens, field);
            if (field < tokens.size() &&
                (tokens[field].Kind == ImapQuoted || tokens[field].Kind == ImapLiteral)) {
              fetched.HasId = true;
              fetched.MessageId = TokenText(response, tokens[field]);
            }
          }
          if (name.compare(0, 5, "BODY[") == 0 &&
              (value.Kind == ImapLiteral || value.Kind == ImapQuoted)) {
            fetched.HasBody = true;
            fetched.Body = raw.data() + value.At;
            fetched.BodySize = value.Size;
            // A quoted body with escapes in it is not the bytes as they are.
            if (value.Kind == ImapQuoted && memchr(fetched.Body, '\\', value.Size) != nullptr)
              fetched.HasBody = false;
          } else if (name.compare(0, 5, "BODY[") == 0 && value.Kind == ImapNil) {
            fetched.HasBody = true;
            fetched.Body = "";
            fetched.BodySize = 0;
          }
          at = SkipItem(tokens, at + 1);
        }
        each(fetched);
      });
  client->Wire.Limits = before;
  return client->Wire.Broken ? ImapGone : answer;
}

ImapAnswer SearchUids(ImapClient *client, const std::string &criteria, std::vector<uint32_t> *uids) {
  uids->clear();
  return RunCommand(client, "UID SEARCH " + criteria, [&](const ImapResponse &response) {
    const std::string &raw = response.Raw;
    if (Upper(raw.substr(response.DataAt, 7)) != "SEARCH " &&
        Upper(raw.substr(response.DataAt)) != "SEARCH")
      return;
    for (size_t at = response.DataAt + 6; at < raw.size();) {
      char *end = nullptr;
      const unsigned long uid = strtoul(raw.c_str() + at, &end, 10);
      if (end == raw.c_str() + at) break;
      if (uid > 0 && uid <= UINT32_MAX) uids->push_back(uint32_t(uid));
      at = size_t(end - raw.c_str());
    }
  });
}
