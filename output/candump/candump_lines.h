// The candump log line: one text line per CAN data or remote frame, with its
// absolute time, as can-utils and python-can read such logs back.
#ifndef TRACEWRIGHT_OUTPUT_CANDUMP_CANDUMP_LINES_H_
#define TRACEWRIGHT_OUTPUT_CANDUMP_CANDUMP_LINES_H_

#include <cstdint>
#include <string>

struct BusMessage;

/// What appending one line did.
enum CandumpLineResult : uint8_t {
  CANDUMP_LINE_WRITTEN = 0,
  /// Written, but the frame is standard and its identifier wider than 11
  /// bits: the whole identifier went out in 8 digits, which readers take as
  /// an extended frame. The caller counts these per file.
  CANDUMP_LINE_ID_WIDENED = 1,
  /// Nothing appended: the time is NaN, rounds to a negative microsecond
  /// count, or its count does not fit 63 bits. The caller fails the file.
  CANDUMP_LINE_TIME_UNPRINTABLE = 2,
};

/// Appends the line of a CAN data or remote frame (any other kind is taken
/// as a data frame), with its newline:
/// @code
///   (1710504429.125000) can0 123#1122334455667788 R
///   (1710504429.125000) can1 18FEF100#R8 T          remote, DLC 8
///   (1710504429.125000) can0 123##3A1B2C3D4E5F60718293A4B5C R
/// @endcode
/// The time is the Timestamp (seconds since 1970) rounded to whole
/// microseconds, the interface can<BusChannel - 1> (BusChannel 0 counts as
/// 1), the identifier 3 upper-case hex digits (standard) or 8 (extended).
/// A remote frame has `#R`, then its DLC as one digit when that is 1 to 8.
/// A CAN FD frame (EDL set) has `##` and a flags digit (1 BRS, 2 ESI) before
/// its data. The data are DataLength bytes (at most 64) as upper-case hex
/// pairs; the line ends in T when Dir is set (Tx), R when it is 0 (Rx).
[[nodiscard]] CandumpLineResult candump_append_line(std::string* out, const BusMessage& frame);

#endif  // TRACEWRIGHT_OUTPUT_CANDUMP_CANDUMP_LINES_H_
