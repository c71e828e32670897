// Test streams over memory: a readable/writable byte vector, so decoding and
// writing can be tested without touching the disk.
#ifndef TRACEWRIGHT_TESTS_SUPPORT_MEMORY_STREAM_H_
#define TRACEWRIGHT_TESTS_SUPPORT_MEMORY_STREAM_H_

#include <string>
#include <string_view>

#include "platform/stream.h"

/// A stream over a copy of `contents`: read, write (overwrites and extends),
/// tell, seek (any position inside [0, size]), close. Release with
/// stream_close.
Stream* memory_stream_create(std::string_view contents);

/// The current bytes of a stream made by memory_stream_create.
std::string memory_stream_contents(Stream* stream);

#endif  // TRACEWRIGHT_TESTS_SUPPORT_MEMORY_STREAM_H_
