// The BLF file header: sizes, count and the two dates.
#include "output/blf/blf_header.h"

#include "output/blf/blf_bytes.h"

#include <cstring>
#include <ctime>
#include <string_view>

// The n-th dot-separated number of the tool's version ("2.0.11"), 0 where
// there is none.
static constexpr uint8_t version_part(std::string_view version, int n) {
  unsigned value = 0;
  for (char c : version) {
    if (c == '.') {
      if (n-- == 0) break;
      value = 0;
    } else {
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
  }
  return n > 0 ? 0 : static_cast<uint8_t>(value);
}

// Writes the SYSTEMTIME of `ms` at `out` (16 bytes); false outside the range.
static bool put_system_time(uint8_t* out, int64_t ms) {
  if (ms < BLF_FIRST_MS || ms >= BLF_END_MS) return false;
  // Floor division: a time before 1970 keeps a millisecond field of 0..999.
  int64_t seconds = ms / 1000 - (ms % 1000 < 0 ? 1 : 0);
  time_t whole = static_cast<time_t>(seconds);
  struct tm utc {};
  if (gmtime_r(&whole, &utc) == nullptr) return false;
  const int fields[8] = {
      utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_wday, utc.tm_mday,
      utc.tm_hour,        utc.tm_min,     utc.tm_sec,  static_cast<int>(ms - seconds * 1000)};
  for (int i = 0; i < 8; ++i) blf_put_u16(out + 2 * i, static_cast<uint16_t>(fields[i]));
  return true;
}

bool blf_put_file_header(uint8_t* out, const BlfHeaderFields& fields) {
  if (fields.objects > UINT32_MAX) return false;
  memset(out, 0, BLF_FILE_HEADER_SIZE);
  memcpy(out, "LOGG", 4);
  blf_put_u32(out + 4, BLF_FILE_HEADER_SIZE);
  out[8] = 0;  // application id: none of the registered ones
  for (int i = 0; i < 3; ++i) out[9 + i] = version_part(TRACEWRIGHT_VERSION, i);
  out[12] = 4;  // binary-log version 4.0.0.0
  blf_put_u64(out + 16, fields.file_size);
  blf_put_u64(out + 24, fields.uncompressed_size);
  blf_put_u32(out + 32, static_cast<uint32_t>(fields.objects));
  return put_system_time(out + 40, fields.start_ms) && put_system_time(out + 56, fields.last_ms);
}
