// The libFuzzer entry, compiled once per target with FUZZ_TARGET naming its
// body in fuzz_targets.h.
#include <cstdlib>

#include "fuzz/fuzz_targets.h"
#include "log/log.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  log_set_output_level(LOG_FATAL + 1);  // refused logs are common here: their messages are noise
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (FUZZ_TARGET(data, size) != 0) abort();  // a crash makes the fuzzer keep the input
  return 0;
}
