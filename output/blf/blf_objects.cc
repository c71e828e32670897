// The frame objects of a BLF file, written straight into the caller's
// buffer: this runs once per frame, so no intermediate record is built.
#include "output/blf/blf_objects.h"

#include "convert/bus_message.h"
#include "output/blf/blf_bytes.h"

#include <cstring>

// Bits of a CAN_FD_MESSAGE_64's flags.
constexpr uint32_t BLF_CAN_FLAG_REMOTE = 0x0010;
constexpr uint32_t BLF_CAN_FLAG_EDL = 0x1000;  // CAN FD frame (extended data length)
constexpr uint32_t BLF_CAN_FLAG_BRS = 0x2000;  // bit rate switch
constexpr uint32_t BLF_CAN_FLAG_ESI = 0x4000;  // error state indicator

constexpr uint32_t BLF_EXTENDED_ID = 0x80000000;

// Object header flag: the time counts nanoseconds.
constexpr uint32_t BLF_TIME_NANOSECONDS = 2;

// The fixed part of each object's body, before the payload.
constexpr size_t kCanBodySize = 40;
constexpr size_t kLinBodySize = 24;
// The largest object with its padding has 63 payload bytes: 135 + 3.
static_assert(BLF_OBJECT_HEADER_SIZE + kCanBodySize + 63 + 3 == BLF_OBJECT_CAPACITY);

void blf_put_base_header(uint8_t* out, uint16_t header_size, uint32_t object_size, uint32_t type) {
  memcpy(out, "LOBJ", 4);
  blf_put_u16(out + 4, header_size);
  blf_put_u16(out + 6, 1);
  blf_put_u32(out + 8, object_size);
  blf_put_u32(out + 12, type);
}

// The v1 header: the base, flags, client index 0, object version 0, time.
static void put_header(uint8_t* out, size_t object_size, uint32_t type, uint64_t time_ns) {
  blf_put_base_header(out, BLF_OBJECT_HEADER_SIZE, static_cast<uint32_t>(object_size), type);
  blf_put_u32(out + 16, BLF_TIME_NANOSECONDS);
  blf_put_u32(out + 20, 0);
  blf_put_u64(out + 24, time_ns);
}

size_t blf_put_can_object(uint8_t* out, const BusMessage& frame, uint64_t time_ns) {
  const CanTail& can = frame.CAN;
  size_t valid = frame.DataLength < CAN_PAYLOAD_CAPACITY ? frame.DataLength : CAN_PAYLOAD_CAPACITY;
  size_t size = BLF_OBJECT_HEADER_SIZE + kCanBodySize + valid;
  put_header(out, size, BLF_CAN_FD_MESSAGE_64, time_ns);
  uint8_t* body = out + BLF_OBJECT_HEADER_SIZE;
  // Tx count, frame length, bit-rate settings, field offsets, bit count and
  // CRC are not known from a log: 0.
  memset(body, 0, kCanBodySize);
  body[0] = can.BusChannel;
  body[1] = can.DLC;
  body[2] = static_cast<uint8_t>(valid);
  // Bit 31 is the extended flag, so it cannot carry a standard
  // identifier's own bit.
  blf_put_u32(body + 4, (frame.ID & ~BLF_EXTENDED_ID) | (can.IDE != 0 ? BLF_EXTENDED_ID : 0));
  uint32_t flags = 0;
  if (frame.Kind == CAN_RemoteFrame || can.Remote != 0) flags |= BLF_CAN_FLAG_REMOTE;
  if (can.EDL != 0) flags |= BLF_CAN_FLAG_EDL;
  if (can.BRS != 0) flags |= BLF_CAN_FLAG_BRS;
  if (can.ESI != 0) flags |= BLF_CAN_FLAG_ESI;
  blf_put_u32(body + 12, flags);
  body[34] = can.Dir != 0 ? 1 : 0;
  memcpy(body + kCanBodySize, can.Payload, valid);
  memset(out + size, 0, size % 4);
  return size + size % 4;
}

size_t blf_put_lin_object(uint8_t* out, const BusMessage& frame, uint64_t time_ns) {
  constexpr size_t kSize = BLF_OBJECT_HEADER_SIZE + kLinBodySize;
  static_assert(kSize % 4 == 0, "a LIN object needs no padding");
  const LinTail& lin = frame.LIN;
  size_t length = frame.DataLength < LIN_PAYLOAD_CAPACITY ? frame.DataLength : LIN_PAYLOAD_CAPACITY;
  put_header(out, kSize, BLF_LIN_MESSAGE, time_ns);
  uint8_t* body = out + BLF_OBJECT_HEADER_SIZE;
  memset(body, 0, kLinBodySize);
  blf_put_u16(body, lin.BusChannel);
  body[2] = static_cast<uint8_t>(frame.ID);
  body[3] = static_cast<uint8_t>(length);
  memcpy(body + 4, lin.Payload, length);
  body[18] = lin.Dir != 0 ? 1 : 0;
  return kSize;
}
