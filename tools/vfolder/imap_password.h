// The secret of an IMAP account as vfolder takes it: never from an argument
// list.
#pragma once

#include <string>

#include "outputs/imap_session.h"

// Core dumps off and the process no longer dumpable, then the password from
// VFOLDER_PASSWORD (wiped there), the first line of `file`, or a prompt
// without echo on the terminal; none for an OAuth2 login, whose token comes
// at each connection. False, with the reason, when there is none.
bool ReadPassword(const ImapAccount &account, const char *file, std::string *password,
                  std::string *problem);

