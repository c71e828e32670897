// The fuzz target bodies: 0 when the input keeps every promise checked in
// fuzz_targets.cc, otherwise 1 after printing what broke. The libFuzzer
// entry (fuzzer.cc) and the corpus replay test run the very same code.
#ifndef TRACEWRIGHT_TESTS_FUZZ_FUZZ_TARGETS_H_
#define TRACEWRIGHT_TESTS_FUZZ_FUZZ_TARGETS_H_

#include <cstddef>
#include <cstdint>

int fuzz_text_log_reader_one(const uint8_t* data, size_t size);
int fuzz_convert_file_one(const uint8_t* data, size_t size);
int fuzz_asc_lines_one(const uint8_t* data, size_t size);

#endif  // TRACEWRIGHT_TESTS_FUZZ_FUZZ_TARGETS_H_
