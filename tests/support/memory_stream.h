// The test stream: bytes in memory that can write short, fail reads from a
// position on or fail their close, so a test sees a full disk or a failing
// card without either.
#ifndef TRACEWRIGHT_TESTS_SUPPORT_MEMORY_STREAM_H_
#define TRACEWRIGHT_TESTS_SUPPORT_MEMORY_STREAM_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/stream.h"

/// Owned by the test, so that it outlives the stream.
struct StreamRecord {
  std::string bytes{};
  int64_t write_limit = INT64_MAX;      ///< `bytes` never grows past it: writes go short
  int64_t failing_write = -1;           ///< this write (0-based) writes nothing; later ones do
  int64_t read_error_from = INT64_MAX;  ///< a read reaching this position fails
  int32_t close_result = 0;
  bool closed = false;
  std::string appended_at_end{};  ///< added once a read reaches the end, as by a logger still at it
};

/// Read, write, tell, seek inside [0, size], close; no borrow slot.
Stream* memory_stream_create(StreamRecord* record);
/// Over a copy of `contents`.
Stream* memory_stream_create(std::string_view contents);

#endif  // TRACEWRIGHT_TESTS_SUPPORT_MEMORY_STREAM_H_
