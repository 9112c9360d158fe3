// libFuzzer target: index file recognition, record decoding and date decoding
// of raw bytes.
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string problem = CheckRecognitionInput(data, size);
  if (!problem.empty()) {
    fprintf(stderr, "recognition_fuzz: %s\n", problem.c_str());
    abort();
  }
  return 0;
}
