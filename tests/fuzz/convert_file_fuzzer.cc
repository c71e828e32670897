// libFuzzer entry for the conversion of one input file through the real ASC
// writer, in a private temporary folder.
#include <cstdlib>

#include "fuzz/fuzz_targets.h"
#include "log/log.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Refused logs are the common case here; their messages are noise.
  log_set_output_level(LOG_FATAL + 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A broken promise is a crash to the fuzzer, so it keeps the input.
  if (fuzz_convert_file_one(data, size) != 0) abort();
  return 0;
}
