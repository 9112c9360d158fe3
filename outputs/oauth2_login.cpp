#include "outputs/oauth2_login.h"

#include "platform/command_output.h"

namespace {

// The token the command prints: its first line, blanks around it trimmed.
bool TakeToken(const char *command, std::string *token, std::string *problem) {
  std::string output, why;
  const bool ran = RunForOutput(command, &output, &why);
  size_t end = output.find_first_of("\r\n");
  if (end == std::string::npos) end = output.size();
  size_t start = 0;
  while (start < end && (output[start] == ' ' || output[start] == '\t')) ++start;
  while (end > start && (output[end - 1] == ' ' || output[end - 1] == '\t')) --end;
  if (ran && end > start) token->assign(output, start, end - start);
  WipeText(&output);
  if (!ran)
    *problem = "--oauth2-token-command " + why;
  else if (token->empty())
    *problem = "--oauth2-token-command printed no token";
  return !token->empty();
}

}  // namespace

ConnectOutcome ConnectWithToken(const ImapAccount &account, ImapClient *session,
                                std::string *problem) {
  const ImapServer server = {account.Host,   account.Port, account.Tls,
                             account.CaFile, account.User, true};
  // The token of the first try may have expired since it was made: one more.
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::string token;
    if (!TakeToken(account.TokenCommand, &token, problem)) return Refused;
    const ImapConnecting outcome = OpenImapClient(server, token, session, problem);
    WipeText(&token);
    if (outcome == ImapConnected) return Connected;
    if (outcome == ImapUnreachable) return ConnectionFailed;
    if (outcome != ImapTokenRefused) return Refused;
  }
  *problem += " (the token --oauth2-token-command printed, and the one it printed again)";
  return Refused;
}
