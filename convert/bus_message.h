// BusMessage: the one record through which a bus frame travels from the
// input reader to the output plug-in. A common head (time, identifier,
// payload view, kind) and a tail chosen by the kind.
#ifndef TRACEWRIGHT_CONVERT_BUS_MESSAGE_H_
#define TRACEWRIGHT_CONVERT_BUS_MESSAGE_H_

#include <cstdint>

enum BusMessageKind : uint32_t {
  BUS_MESSAGE_EMPTY = 0,  ///< a zeroed record; consumers ignore it
  CAN_DataFrame = 1,
  CAN_RemoteFrame = 2,
  CAN_ErrorFrame = 3,
  LIN_Frame = 4,
};

constexpr uint64_t CAN_PAYLOAD_CAPACITY = 64;
constexpr uint64_t LIN_PAYLOAD_CAPACITY = 8;

/// Tail of CAN_DataFrame and CAN_RemoteFrame.
struct CanTail {
  uint8_t IDE;     ///< 1: extended (29-bit) identifier
  uint8_t Dir;     ///< 0: received ("Rx"), 1: transmitted ("Tx")
  uint8_t EDL;     ///< 1: CAN FD frame
  uint8_t ESI;     ///< error state indicator (CAN FD)
  uint8_t BRS;     ///< bit rate switch (CAN FD)
  uint8_t Remote;  ///< 1: remote frame
  uint8_t BusChannel;
  uint8_t DLC;  ///< data length code as carried by the frame
  uint8_t Payload[CAN_PAYLOAD_CAPACITY];
};

/// Tail of CAN_ErrorFrame; it has no payload.
struct ErrorTail {
  uint8_t BusChannel;
  uint32_t ErrorType;  ///< 1 to 5, 0 for any other value
};

/// Tail of LIN_Frame.
struct LinTail {
  uint8_t Dir;
  uint8_t BusChannel;
  uint8_t ReceivedDataByteCount;
  uint8_t Payload[LIN_PAYLOAD_CAPACITY];
};

/// DataBytes is null or points at this record's own Payload, so a bytewise
/// copy would point into its source: the record is not copied (the writer
/// keeps frames in a packed form of its own). Producers zero the whole record
/// before filling it.
struct BusMessage {
  double Timestamp;     ///< seconds since 1970-01-01 00:00:00 UTC
  uint32_t ID;          ///< identifier without flag bits (see CAN.IDE)
  uint8_t* DataBytes;   ///< null, or the Payload of this record's tail
  uint64_t DataLength;  ///< valid payload bytes: <= 64 (CAN), <= 8 (LIN)
  uint32_t Kind;        ///< a BusMessageKind; selects the tail
  union {
    CanTail CAN;
    ErrorTail Error;
    LinTail LIN;
  };

  BusMessage() = default;
  BusMessage(const BusMessage&) = delete;
  BusMessage& operator=(const BusMessage&) = delete;
};

/// Zeroes the whole record, tail included.
void bus_message_clear(BusMessage* message);

#endif  // TRACEWRIGHT_CONVERT_BUS_MESSAGE_H_
