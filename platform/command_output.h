// A command run through the system's shell for what it prints: how vfolder
// takes an OAuth2 access token from the program that keeps it.
#pragma once

#include <string>

// Runs `command` through the shell (sh -c; cmd /c on Windows) and gives back
// its standard output, up to 64 KB; its standard error stays the user's.
// False, with why in `*problem` (never the output), when it cannot be run or
// ends with a status other than 0.
bool RunForOutput(const char *command, std::string *output, std::string *problem);
