// The date of a panel's info line as the panel's date column shows it.
#include <cwchar>

#include "host/shared/info_texts.h"
#include "platform/system_facts.h"

bool WriteLocalDate(uint64_t ticks, wchar_t *out) {
  LocalTime time;
  if (!LocalTimeOf(ticks, &time)) return false;
  swprintf(out, InfoTextSize, L"%04d-%02d-%02d %02d:%02d", time.Year, time.Month, time.Day,
           time.Hour, time.Minute);
  return true;
}
