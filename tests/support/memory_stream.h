// The test stream: bytes in memory that can be told to write short, fail
// reads from a position on, fail their close or lack the read side, and
// that records every call, so a test sees how a reader or writer treats a
// full disk or a failing card without either.
#ifndef TRACEWRIGHT_TESTS_SUPPORT_MEMORY_STREAM_H_
#define TRACEWRIGHT_TESTS_SUPPORT_MEMORY_STREAM_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/stream.h"

/// The state of a memory stream, owned by the test so that it outlives the
/// stream.
struct StreamRecord {
  std::string bytes{};                   ///< the contents
  int64_t write_limit = INT64_MAX;       ///< `bytes` never grows past it: writes go short
  int64_t failing_write = -1;            ///< this write (0-based) writes nothing; later ones do
  int64_t read_error_from = INT64_MAX;   ///< a read reaching this position fails
  int32_t close_result = 0;
  bool write_only = false;               ///< read, seek and borrow are empty slots
  std::vector<std::string> calls{};      ///< "read <count> <result>", "write <count>", "seek <offset>"
  bool closed = false;
};

/// A stream over `record` (not owned): read, write (overwrites and extends),
/// tell, seek (any position inside [0, size]), close. Release with
/// stream_close.
Stream* memory_stream_create(StreamRecord* record);

/// A stream over a copy of `contents` with a record of its own.
Stream* memory_stream_create(std::string_view contents);

/// The current bytes of a memory stream.
std::string memory_stream_contents(Stream* stream);

#endif  // TRACEWRIGHT_TESTS_SUPPORT_MEMORY_STREAM_H_
