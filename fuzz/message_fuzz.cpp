// libFuzzer target: one message's parts read and every part decoded, from
// raw bytes in memory.
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string problem = CheckMessageInput(data, size);
  if (!problem.empty()) {
    fprintf(stderr, "message_fuzz: %s\n", problem.c_str());
    abort();
  }
  return 0;
}
