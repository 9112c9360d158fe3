#include "host/far1/host_services.h"

namespace {

INT_PTR HostModuleNumber;
FARAPIMESSAGE HostMessage;

}  // namespace

void KeepHostServices(const PluginStartupInfo *info) {
  HostModuleNumber = info->ModuleNumber;
  HostMessage = info->Message;
}

void ShowWarning(const char *title, const char *line) {
  if (HostMessage == nullptr) return;
  const char *items[] = {title, line, "OK"};
  HostMessage(HostModuleNumber, FMSG_WARNING, nullptr, items, 3, 1);
}

void TellEntryFailure(EntryFailure failure) {
  ShowWarning("Vessor folder", failure == EntryOutOfMemory ? "Not enough memory"
                                                           : "An unexpected error stopped the operation");
}
