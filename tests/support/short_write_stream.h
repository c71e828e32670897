// A write-only stream that accepts a fixed number of bytes and then writes
// short: the call that crosses the limit stores only what still fits and
// every later call stores nothing. Lets a test see how a writer reacts to a
// full disk without filling one.
#ifndef TRACEWRIGHT_TESTS_SUPPORT_SHORT_WRITE_STREAM_H_
#define TRACEWRIGHT_TESTS_SUPPORT_SHORT_WRITE_STREAM_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/stream.h"

/// What reached a short-write stream; owned by the test, so it outlives the
/// stream.
struct ShortWriteRecord {
  std::string bytes;                 ///< the bytes accepted, in order
  std::vector<int64_t> write_counts; ///< count asked for, per write
  bool closed = false;
};

/// Accepts `limit` bytes in all; a write returns the number it stored (less
/// than asked once the limit is reached, then 0). Read and seek are empty
/// slots (STREAM_NOT_SUPPORTED); tell answers the bytes accepted so far;
/// close returns `close_result`.
Stream* short_write_stream_create(int64_t limit, ShortWriteRecord* record,
                                  int32_t close_result = 0);

#endif  // TRACEWRIGHT_TESTS_SUPPORT_SHORT_WRITE_STREAM_H_
