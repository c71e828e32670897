// The bodies of the fuzz targets, as plain functions: the libFuzzer entry
// files call them with generated inputs, and the gtest binary replays the
// committed regression corpus through the very same code.
#ifndef TRACEWRIGHT_TESTS_FUZZ_FUZZ_TARGETS_H_
#define TRACEWRIGHT_TESTS_FUZZ_FUZZ_TARGETS_H_

#include <cstddef>
#include <cstdint>

/// Reads `data` as a text log held in memory, once directly, once behind a
/// small read buffer and once with the reference decoders, splits every data
/// line both ways, and checks every record and header field against the
/// reader's promises (see the .cc). 0 when all hold; otherwise prints what
/// broke to standard error and returns 1.
int fuzz_text_log_reader_one(const uint8_t* data, size_t size);

/// Converts `data`, stored as a .txt file in a private temporary folder,
/// through convert_file and the real ASC writer, then checks the result code,
/// the input file and every file left in the folder. The input's length picks
/// the read buffer, whether converted inputs are deleted, and whether the
/// trace's name leads to /dev/full. 0 when all hold; otherwise prints what
/// broke to standard error and returns 1.
int fuzz_convert_file_one(const uint8_t* data, size_t size);

/// Builds one CANFD line from `data` with the fast builder and with its
/// stb_sprintf reference: the first 8 bytes are the frame's time, the next 8
/// the part's first time (both doubles as the host stores them), then the
/// identifier (4 bytes, host order), IDE, Dir, EDL, BRS, ESI, BusChannel,
/// DLC, DataLength (modulo 65) and the data bytes; missing bytes are 0.
/// 0 when both lines are the same bytes; otherwise prints both to standard
/// error and returns 1.
int fuzz_asc_lines_one(const uint8_t* data, size_t size);

#endif  // TRACEWRIGHT_TESTS_FUZZ_FUZZ_TARGETS_H_
