// libFuzzer entry for the CANFD line builders; the check
// lives in fuzz_targets.cc, shared with the corpus replay test.
#include <cstdlib>

#include "fuzz/fuzz_targets.h"
#include "log/log.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  log_set_output_level(LOG_FATAL + 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A broken promise is a crash to the fuzzer, so it keeps the input.
  if (fuzz_asc_lines_one(data, size) != 0) abort();
  return 0;
}
