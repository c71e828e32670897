// The candump log line. It is written once for every CAN frame of a log, so
// it is put together by hand in a stack buffer and appended in one piece:
// table lookups for the hex pairs and the decimal digits, no format string.
#include "output/candump/candump_lines.h"

#include "convert/bus_message.h"
#include "output/frame_time.h"

#include <array>
#include <cstring>

// The flags digit of a CAN FD frame.
constexpr unsigned CANDUMP_FD_BRS = 0x1;  // bit rate switch
constexpr unsigned CANDUMP_FD_ESI = 0x2;  // error state indicator

// The longest line: 13 digits of seconds (a 63-bit microsecond count), a
// three-digit interface, an extended identifier and 64 CAN FD data bytes.
constexpr size_t kLineCapacity = 192;

static constexpr char kUpperHex[] = "0123456789ABCDEF";

static constexpr auto kHexPairs = [] {
  std::array<std::array<char, 2>, 256> pairs{};
  for (size_t b = 0; b < 256; ++b) pairs[b] = {kUpperHex[b >> 4], kUpperHex[b & 0xF]};
  return pairs;
}();

static constexpr auto kDigitPairs = [] {
  std::array<std::array<char, 2>, 100> pairs{};
  for (size_t v = 0; v < 100; ++v) {
    pairs[v] = {static_cast<char>('0' + v / 10), static_cast<char>('0' + v % 10)};
  }
  return pairs;
}();

// Writes `value` in decimal without leading zeros; returns the end.
static char* put_decimal(char* out, uint64_t value) {
  char digits[20];
  char* start = digits + sizeof digits;
  while (value >= 100) {
    start -= 2;
    memcpy(start, kDigitPairs[value % 100].data(), 2);
    value /= 100;
  }
  if (value >= 10) {
    start -= 2;
    memcpy(start, kDigitPairs[value].data(), 2);
  } else {
    *--start = static_cast<char>('0' + value);
  }
  size_t length = static_cast<size_t>(digits + sizeof digits - start);
  memcpy(out, start, length);
  return out + length;
}

// Writes `value` (below 10^6) as exactly six digits.
static char* put_six_digits(char* out, uint32_t value) {
  memcpy(out, kDigitPairs[value / 10000].data(), 2);
  memcpy(out + 2, kDigitPairs[value / 100 % 100].data(), 2);
  memcpy(out + 4, kDigitPairs[value % 100].data(), 2);
  return out + 6;
}

// Writes the low `digits` hex digits of `id`, most significant first.
static char* put_id(char* out, uint32_t id, int digits) {
  for (int i = digits - 1; i >= 0; --i) *out++ = kUpperHex[(id >> (4 * i)) & 0xF];
  return out;
}

CandumpLineResult candump_append_line(std::string* out, const BusMessage& frame) {
  int64_t micros = 0;
  // Readers take the seconds as an unsigned count: a time before 1970 has
  // no line.
  if (!frame_time_micros(frame.Timestamp, &micros) || micros < 0) {
    return CANDUMP_LINE_TIME_UNPRINTABLE;
  }
  const CanTail& can = frame.CAN;
  char line[kLineCapacity];
  char* p = line;
  *p++ = '(';
  p = put_decimal(p, static_cast<uint64_t>(micros) / 1000000);
  *p++ = '.';
  p = put_six_digits(p, static_cast<uint32_t>(static_cast<uint64_t>(micros) % 1000000));
  memcpy(p, ") can", 5);
  p = put_decimal(p + 5, can.BusChannel == 0 ? 0 : can.BusChannel - 1u);
  *p++ = ' ';
  // Readers know a frame as extended by its eight digits alone, so a
  // standard identifier too wide for three digits cannot stay standard.
  bool widened = can.IDE == 0 && frame.ID > 0x7FF;
  p = put_id(p, frame.ID, can.IDE != 0 || widened ? 8 : 3);
  *p++ = '#';
  if (frame.Kind == CAN_RemoteFrame || can.Remote != 0) {
    // A remote frame has no data, only its DLC, which a reader sets from
    // the digit after R (none: 0).
    *p++ = 'R';
    if (can.DLC >= 1 && can.DLC <= 8) *p++ = static_cast<char>('0' + can.DLC);
  } else {
    if (can.EDL != 0) {
      *p++ = '#';
      *p++ = kUpperHex[(can.BRS != 0 ? CANDUMP_FD_BRS : 0) | (can.ESI != 0 ? CANDUMP_FD_ESI : 0)];
    }
    size_t length =
        frame.DataLength < CAN_PAYLOAD_CAPACITY ? frame.DataLength : CAN_PAYLOAD_CAPACITY;
    for (size_t i = 0; i < length; ++i, p += 2) memcpy(p, kHexPairs[can.Payload[i]].data(), 2);
  }
  memcpy(p, can.Dir != 0 ? " T\n" : " R\n", 3);
  p += 3;
  out->append(line, static_cast<size_t>(p - line));
  return widened ? CANDUMP_LINE_ID_WIDENED : CANDUMP_LINE_WRITTEN;
}
