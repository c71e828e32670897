// Little-endian stores into a byte buffer: every integer of a BLF file is
// little-endian, whatever the host. Compilers turn each into one store.
#ifndef TRACEWRIGHT_OUTPUT_BLF_BLF_BYTES_H_
#define TRACEWRIGHT_OUTPUT_BLF_BLF_BYTES_H_

#include <cstdint>

/// Stores `value` at `out[0]` and `out[1]`, low byte first.
inline void blf_put_u16(uint8_t* out, uint16_t value) {
  out[0] = static_cast<uint8_t>(value);
  out[1] = static_cast<uint8_t>(value >> 8);
}

/// Stores `value` at `out[0..3]`, low byte first.
inline void blf_put_u32(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

/// Stores `value` at `out[0..7]`, low byte first.
inline void blf_put_u64(uint8_t* out, uint64_t value) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

#endif  // TRACEWRIGHT_OUTPUT_BLF_BLF_BYTES_H_
