#include "tools/vfolder/imap_password.h"

#include "platform/file_system.h"
#include "platform/secret_input.h"
#include "platform/system_facts.h"
#include "tools/vfolder/system_calls.h"

namespace {

// The first line of the file at `path`; false when it cannot be read.
bool ReadFirstLine(const char *path, std::string *line) {
  const FileRef file = FileSystem.OpenForReading(path);
  if (file == NoFile) return false;
  char buffer[512];
  bool ended = false;
  for (uint64_t at = 0; !ended;) {
    const size_t got = FileSystem.ReadAt(file, at, buffer, sizeof buffer);
    for (size_t i = 0; i < got && !ended; ++i) {
      ended = buffer[i] == '\n' || buffer[i] == '\r';
      if (!ended) *line += buffer[i];
    }
    ended = ended || got < sizeof buffer;
    at += got;
  }
  WipeBytes(buffer, sizeof buffer);
  FileSystem.Close(file);
  return true;
}

}  // namespace

bool ReadPassword(const ImapAccount &account, const char *file, std::string *password,
                  std::string *problem) {
  KeepMemoryPrivate();
  password->clear();
  if (account.TokenCommand != nullptr) return true;
  if (file != nullptr) {
    ClearSystemError();
    if (ReadFirstLine(file, password)) return true;
    *problem = std::string("--password-file ") + file + Because(LastSystemError());
    return false;
  }
  if (TakeEnvironmentSecret("VFOLDER_PASSWORD", password)) return true;
  const std::string prompt = "Password for " + account.User + "@" + account.Host + ": ";
  if (ReadHiddenLine(prompt.c_str(), password)) return true;
  *problem = "no password: VFOLDER_PASSWORD, --password-file or a terminal to ask on";
  return false;
}

