// An OAuth2 login: the access token is what a command of the user's prints,
// taken anew for every connection and once more when the server refuses it
// (it may have expired), and wiped once it has gone to the server.
#pragma once

#include <string>

#include "outputs/imap_session.h"

// Connects as ConnectImap does, logging in with the token `account.TokenCommand`
// prints (its first line, trimmed). The reason of a failure never holds the
// token.
ConnectOutcome ConnectWithToken(const ImapAccount &account, ImapClient *session,
                                std::string *problem);
