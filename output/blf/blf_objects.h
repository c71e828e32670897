// The BLF objects that carry frames: a CAN_FD_MESSAGE_64 for each CAN data
// or remote frame, a LIN_MESSAGE for each LIN frame, each behind the v1
// object header with its time in nanoseconds after the file's start.
#ifndef TRACEWRIGHT_OUTPUT_BLF_BLF_OBJECTS_H_
#define TRACEWRIGHT_OUTPUT_BLF_BLF_OBJECTS_H_

#include <cstddef>
#include <cstdint>

struct BusMessage;

/// Object types.
constexpr uint32_t BLF_LOG_CONTAINER = 10;
constexpr uint32_t BLF_LIN_MESSAGE = 11;
constexpr uint32_t BLF_CAN_FD_MESSAGE_64 = 101;

/// The base object header, and the v1 header that frame objects have.
constexpr size_t BLF_OBJECT_BASE_HEADER_SIZE = 16;
constexpr size_t BLF_OBJECT_HEADER_SIZE = 32;

/// Room for the largest frame object with its padding (a CAN frame with 63
/// payload bytes: 135 bytes and 3 of padding).
constexpr size_t BLF_OBJECT_CAPACITY = 138;

/// Writes the base object header at `out`: `LOBJ`, `header_size`, header
/// version 1, `object_size` (header included) and `type`.
void blf_put_base_header(uint8_t* out, uint16_t header_size, uint32_t object_size, uint32_t type);

/// Writes at `out` the CAN_FD_MESSAGE_64 object of a CAN data or remote
/// frame (any other kind is taken as a data frame), then its padding: (object
/// size mod 4) zero bytes. Returns the bytes written, at most
/// BLF_OBJECT_CAPACITY. The object carries BusChannel, DLC, DataLength (at
/// most 64) as the count of valid bytes and that many payload bytes, the ID
/// (its low 31 bits) with bit 31 for an extended frame, the flags 0x1000
/// EDL, 0x2000 BRS, 0x4000 ESI and 0x0010 remote as the frame has them, and
/// direction 1 when Dir is set (Tx), else 0 (Rx).
size_t blf_put_can_object(uint8_t* out, const BusMessage& frame, uint64_t time_ns);

/// Writes at `out` the LIN_MESSAGE object of a LIN frame: BusChannel, the
/// ID's low 8 bits, DataLength (at most 8) as DLC, eight data bytes (zero
/// past DataLength), direction 1 when Dir is set (Tx), else 0 (Rx); the
/// state machine, timing and checksum fields 0. It needs no padding. Returns
/// the bytes written (56).
size_t blf_put_lin_object(uint8_t* out, const BusMessage& frame, uint64_t time_ns);

#endif  // TRACEWRIGHT_OUTPUT_BLF_BLF_OBJECTS_H_
