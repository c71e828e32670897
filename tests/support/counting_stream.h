// A stream that passes every call to an inner stream and records it, so a
// test can prove how often a wrapper such as BufferedStream refills and
// where it seeks.
#ifndef TRACEWRIGHT_TESTS_SUPPORT_COUNTING_STREAM_H_
#define TRACEWRIGHT_TESTS_SUPPORT_COUNTING_STREAM_H_

#include <cstdint>
#include <vector>

#include "platform/stream.h"

/// What passed through a counting stream; owned by the test, so it outlives
/// the stream.
struct StreamCalls {
  std::vector<int64_t> read_counts;   ///< count asked for, per read
  std::vector<int64_t> read_results;  ///< the inner result, per read
  std::vector<int64_t> write_counts;  ///< count asked for, per write
  std::vector<int64_t> seek_offsets;  ///< offset, per seek
  std::vector<int32_t> seek_whences;  ///< whence, per seek
  int tells = 0;
  bool closed = false;
};

/// Wraps `inner` (owned: closing the counting stream closes it) and appends
/// every call to `calls`. Each slot forwards to the inner stream's
/// dispatcher, so an empty inner slot still answers STREAM_NOT_SUPPORTED.
Stream* counting_stream_create(Stream* inner, StreamCalls* calls);

#endif  // TRACEWRIGHT_TESTS_SUPPORT_COUNTING_STREAM_H_
