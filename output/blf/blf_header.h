// The 144-byte header at the start of a BLF file. It holds counts and sizes
// of the whole file, so it is built again once the file is complete and
// written over the first one.
#ifndef TRACEWRIGHT_OUTPUT_BLF_BLF_HEADER_H_
#define TRACEWRIGHT_OUTPUT_BLF_BLF_HEADER_H_

#include <cstddef>
#include <cstdint>

constexpr size_t BLF_FILE_HEADER_SIZE = 144;

/// The times a SYSTEMTIME can hold, in milliseconds since 1970 (UTC): from
/// 1601-01-01 00:00:00.000 to the end of the year 30827.
constexpr int64_t BLF_FIRST_MS = -11644473600000;
constexpr int64_t BLF_END_MS = 910670515200000;  // 30828-01-01, the first time past them

/// What the header states.
struct BlfHeaderFields {
  uint64_t file_size;          ///< the whole file, header included
  uint64_t uncompressed_size;  ///< the header, and each container's header and uncompressed data
  uint64_t objects;            ///< the objects inside the containers
  int64_t start_ms;            ///< the file's start time, milliseconds since 1970
  int64_t last_ms;             ///< the last object's time, milliseconds since 1970
};

/// Writes the file header at `out`: `LOGG`, the header size, application id
/// 0 (none of the registered ones) with this tool's version as major, minor
/// and build, binary-log version 4.0.0.0, the sizes and the object count
/// (objects read: 0), and both times as SYSTEMTIME (year, month, day of week
/// with 0 for Sunday, day, hour, minute, second, millisecond), the UTC
/// calendar fields of the time; zero bytes up to 144. False, with `out` in
/// an unspecified state, when a time lies outside [BLF_FIRST_MS,
/// BLF_END_MS) or the count does not fit its 32 bits.
[[nodiscard]] bool blf_put_file_header(uint8_t* out, const BlfHeaderFields& fields);

#endif  // TRACEWRIGHT_OUTPUT_BLF_BLF_HEADER_H_
