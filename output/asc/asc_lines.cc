// The ASC frame lines: one CANFD line per CAN frame, one line per LIN frame,
// each with its time relative to the part's first frame. The CANFD line has
// a fast builder in front of its stb_sprintf reference; the LIN line, far
// rarer, has the stb_sprintf builder alone.
#include "output/asc/asc_lines.h"

#include "convert/bus_message.h"
#include "platform/str.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

// Bits of the flags column of a CANFD line.
constexpr unsigned ASC_FLAG_EDL = 0x1000;  // CAN FD frame (extended data length)
constexpr unsigned ASC_FLAG_BRS = 0x2000;  // bit rate switch
constexpr unsigned ASC_FLAG_ESI = 0x4000;  // error state indicator

static const char* direction_text(uint8_t dir) { return dir == 0 ? "Rx" : "Tx"; }

static unsigned can_flags(const CanTail& can) {
  unsigned flags = 0;
  if (can.EDL != 0) flags |= ASC_FLAG_EDL;
  if (can.BRS != 0) flags |= ASC_FLAG_BRS;
  if (can.ESI != 0) flags |= ASC_FLAG_ESI;
  return flags;
}

void asc_writer_append_can_line_reference(std::string* line, const BusMessage& frame, double t0) {
  const CanTail& can = frame.CAN;
  double relative = frame.Timestamp - t0;
  int data_length = static_cast<int>(frame.DataLength);
  if (can.IDE != 0) {
    //    0.125000 CANFD   1 Rx   18FEF100x                                  1 0 9 12 01 02 03
    str_append_stbsp(line,
                     "% 11.6f CANFD %3d %s   %08X%c                                  %d %d %X %2d ",
                     relative, can.BusChannel, direction_text(can.Dir), frame.ID, 'x', can.BRS,
                     can.ESI, static_cast<unsigned>(can.DLC), data_length);
  } else {
    //    0.000000 CANFD   1 Rx        123                                   0 0 8  8 11 22 33
    str_append_stbsp(
        line, "% 11.6f CANFD %3d %s        %03X%c                                  %d %d %X %2d ",
        relative, can.BusChannel, direction_text(can.Dir), frame.ID, ' ', can.BRS, can.ESI,
        static_cast<unsigned>(can.DLC), data_length);
  }
  // Without data bytes this also takes away the blank that ends the format,
  // so the tail meets the length field directly.
  str_append_hex(line, frame.DataBytes, frame.DataLength);
  // ... 0B 0C        0    0     3000        0        0        0        0        0
  str_append_stbsp(line, "        0    0 %8X        0        0        0        0        0",
                   can_flags(can));
  line->push_back('\n');
}

void asc_writer_append_lin_line(std::string* line, const BusMessage& frame, double t0) {
  //     0.000000 1 3c  Rx d 2 A1 B2
  str_append_stbsp(line, "% 12.6f %d %x  %s d %d ", frame.Timestamp - t0, frame.LIN.BusChannel,
                   frame.ID, direction_text(frame.LIN.Dir), static_cast<int>(frame.DataLength));
  str_append_hex(line, frame.DataBytes, frame.DataLength);
  line->push_back('\n');
}

// The CANFD lines are nearly all of the output, and a printf engine spends
// most of its time reading the format again for every line. The builder
// below stores the same bytes into a template in a stack buffer. The
// stb_sprintf builder above remains the reference: it builds every line
// whose time or fields the fast path cannot print exactly as stb_sprintf
// does, and the line builders' fuzz target holds both against each other.

// Room for the longest fast line: a time of at most 16 characters, the
// fixed fields, 64 data bytes and the tail.
constexpr size_t kLineCapacity = 512;

static constexpr char kUpperHex[] = "0123456789ABCDEF";

// The data bytes as str_append_hex writes them after a format that ends in a
// blank: " XX XX ... XX" for n bytes, nothing for none (that blank is taken
// away again).
// " XX" for each byte value, with a fourth byte so each entry is one 32-bit
// store; the next store overwrites the fourth byte.
static constexpr auto kSpacedHexBytes = [] {
  std::array<std::array<char, 4>, 256> pairs{};
  for (size_t b = 0; b < 256; ++b) pairs[b] = {' ', kUpperHex[b >> 4], kUpperHex[b & 0xF], ' '};
  return pairs;
}();

// Callers leave one byte of room behind the 3 * n bytes written.
static char* put_data(char* out, const uint8_t* bytes, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    memcpy(out, kSpacedHexBytes[bytes[i]].data(), 4);
    out += 3;
  }
  return out;
}

// Two decimal digits for each value below 100.
static constexpr auto kDigitPairs = [] {
  std::array<std::array<char, 2>, 100> pairs{};
  for (size_t v = 0; v < 100; ++v) {
    pairs[v] = {static_cast<char>('0' + v / 10), static_cast<char>('0' + v % 10)};
  }
  return pairs;
}();

// `seconds` in whole microseconds, rounded as stb_sprintf's "%.6f" rounds
// it; false for the values whose text is left to stb_sprintf.
//
// stb_sprintf rounds an 18- to 19-digit approximation of the value half up
// at the sixth decimal. Here the exact binary value m * 2^-shift is scaled
// by 10^6 in 128-bit integers and rounded; the two agree unless the value
// lies within a thousandth of a microsecond of a half, far more than
// stb_sprintf's error for the values accepted here. Those few, and zero's
// sign, infinities, NaN, subnormal, tiny, negative and huge values, go to
// stb_sprintf itself.
static bool exact_micros(double seconds, uint64_t* micros) {
  uint64_t bits = 0;
  memcpy(&bits, &seconds, sizeof bits);
  if (bits == 0) {
    *micros = 0;
    return true;
  }
  int exponent = static_cast<int>(bits >> 52);  // the sign bit makes it too large
  if (exponent < 1023 - 20 || exponent >= 1023 + 24) return false;  // [2^-20, 2^24) only
  uint64_t mantissa = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
  int shift = 1075 - exponent;  // 29 to 72: the value is mantissa * 2^-shift
  unsigned __int128 scaled = static_cast<unsigned __int128>(mantissa) * 1000000u;
  unsigned __int128 unit = static_cast<unsigned __int128>(1) << shift;
  unsigned __int128 twice_rest = (scaled & (unit - 1)) << 1;
  unsigned __int128 distance = twice_rest > unit ? twice_rest - unit : unit - twice_rest;
  if (distance * 1000 < unit) return false;
  *micros = static_cast<uint64_t>(scaled >> shift) + (twice_rest > unit ? 1 : 0);
  return true;
}

// Writes the digits of `micros` as "<whole>.<six decimals>" so that they end
// at `end`; returns where they start.
static char* put_micros_before(char* end, uint64_t micros) {
  char* p = end;
  uint64_t whole = micros / 1000000;
  uint32_t fraction = static_cast<uint32_t>(micros % 1000000);
  for (int i = 0; i < 3; ++i) {
    p -= 2;
    memcpy(p, kDigitPairs[fraction % 100].data(), 2);
    fraction /= 100;
  }
  *--p = '.';
  while (whole >= 100) {
    p -= 2;
    memcpy(p, kDigitPairs[whole % 100].data(), 2);
    whole /= 100;
  }
  if (whole >= 10) {
    p -= 2;
    memcpy(p, kDigitPairs[whole].data(), 2);
  } else {
    *--p = static_cast<char>('0' + whole);
  }
  return p;
}

// The usual CANFD line has every field at a fixed column after the time: a
// standard identifier of three hex digits or an extended one (always
// eight), one-digit BRS and ESI, a one-digit DLC and a two-column
// DataLength. Such a line starts as a copy of its template, shifted right
// by the time's columns beyond 11, and only the field values are stored
// into it; every other line is left to the reference.
//
//   0         1         2         3         4         5         6         7
//   01234567890123456789012345678901234567890123456789012345678901234567890123456789
//      0.125000 CANFD   1 Rx   18FEF100x                                  1 0 9 12
//      0.000000 CANFD   1 Rx        123                                   0 0 8  8
static constexpr char kExtendedHead[] =
    "            CANFD                  x                                          ";
static constexpr char kStandardHead[] =
    "            CANFD                                                             ";
constexpr size_t kHeadLength = 78;
static_assert(sizeof kExtendedHead == kHeadLength + 1 && sizeof kStandardHead == kHeadLength + 1);
constexpr size_t kTimeEnd = 11;        // the time ends before this column, or later
constexpr size_t kChannelColumn = 18;  // "%3d"
constexpr size_t kDirectionColumn = 22;
constexpr size_t kExtendedIdColumn = 27;  // eight digits, then 'x'
constexpr size_t kStandardIdColumn = 32;  // three digits, then ' '
constexpr size_t kBrsColumn = 70;
constexpr size_t kEsiColumn = 72;
constexpr size_t kDlcColumn = 74;
constexpr size_t kLengthColumn = 76;  // "%2d"

// The line's end for each flags word, ASC_FLAG_EDL to ASC_FLAG_ESI shifted
// down to 0 to 7: "        0    0 %8X        0        0        0        0        0\n".
static constexpr auto kCanTails = [] {
  std::array<std::array<char, 72>, 8> tails{};
  constexpr char kPattern[] =
      "        0    0        0        0        0        0        0        0\n";
  for (size_t flags = 0; flags < 8; ++flags) {
    for (size_t i = 0; i < sizeof kPattern - 1; ++i) tails[flags][i] = kPattern[i];
    // The flags word's digits: 0, or the one nonzero digit and three zeros.
    if (flags != 0) {
      tails[flags][19] = kUpperHex[flags];
      tails[flags][20] = '0';
      tails[flags][21] = '0';
      tails[flags][22] = '0';
    }
  }
  return tails;
}();
constexpr size_t kCanTailLength = 69;
static_assert(ASC_FLAG_EDL == 0x1000 && ASC_FLAG_BRS == 0x2000 && ASC_FLAG_ESI == 0x4000,
              "the tails index the flags word shifted down by 12");

// Builds the usual line in `buffer` (kLineCapacity bytes) and returns its
// end, or returns null when a field does not have its usual width.
static char* put_fixed_can_line(char* buffer, const BusMessage& frame, double t0) {
  const CanTail& can = frame.CAN;
  uint64_t micros = 0;
  if (!exact_micros(frame.Timestamp - t0, &micros)) return nullptr;
  if ((can.IDE == 0 && frame.ID > 0xFFF) || can.BRS > 9 || can.ESI > 9 || can.DLC > 15 ||
      frame.DataLength > CAN_PAYLOAD_CAPACITY) {
    return nullptr;
  }
  // The time, right-aligned in 11 columns or wider: the fields follow it.
  char time[32];
  char* time_end = time + sizeof time;
  char* time_start = put_micros_before(time_end, micros);
  *--time_start = ' ';
  size_t time_digits = static_cast<size_t>(time_end - time_start);
  size_t time_length = time_digits > kTimeEnd ? time_digits : kTimeEnd;
  memset(buffer, ' ', time_length - time_digits);
  memcpy(buffer + time_length - time_digits, time_start, time_digits);
  // Column c of the template lands at fields + c.
  char* fields = buffer + (time_length - kTimeEnd);
  memcpy(fields + kTimeEnd, (can.IDE != 0 ? kExtendedHead : kStandardHead) + kTimeEnd,
         kHeadLength - kTimeEnd);
  uint32_t channel = can.BusChannel;
  if (channel >= 100) fields[kChannelColumn] = static_cast<char>('0' + channel / 100);
  if (channel >= 10) fields[kChannelColumn + 1] = static_cast<char>('0' + channel / 10 % 10);
  fields[kChannelColumn + 2] = static_cast<char>('0' + channel % 10);
  memcpy(fields + kDirectionColumn, direction_text(can.Dir), 2);
  if (can.IDE != 0) {
    for (int i = 7; i >= 0; --i) {
      fields[kExtendedIdColumn + 7 - i] = kUpperHex[(frame.ID >> (4 * i)) & 0xF];
    }
  } else {
    fields[kStandardIdColumn] = kUpperHex[frame.ID >> 8];
    fields[kStandardIdColumn + 1] = kUpperHex[(frame.ID >> 4) & 0xF];
    fields[kStandardIdColumn + 2] = kUpperHex[frame.ID & 0xF];
  }
  fields[kBrsColumn] = static_cast<char>('0' + can.BRS);
  fields[kEsiColumn] = static_cast<char>('0' + can.ESI);
  fields[kDlcColumn] = kUpperHex[can.DLC];
  size_t length = frame.DataLength;
  if (length >= 10) fields[kLengthColumn] = static_cast<char>('0' + length / 10);
  fields[kLengthColumn + 1] = static_cast<char>('0' + length % 10);
  char* p = put_data(fields + kHeadLength, frame.DataBytes, length);
  memcpy(p, kCanTails[can_flags(can) >> 12].data(), kCanTailLength);
  return p + kCanTailLength;
}

//    0.125000 CANFD   1 Rx   18FEF100x                                  1 0 9 12 01 02 03 ...
//    0.000000 CANFD   1 Rx        123                                   0 0 8  8 11 22 33 ...
// ... 0B 0C        0    0     3000        0        0        0        0        0
void asc_writer_append_can_line(std::string* line, const BusMessage& frame, double t0) {
  char buffer[kLineCapacity];
  char* end = put_fixed_can_line(buffer, frame, t0);
  if (end == nullptr) {
    asc_writer_append_can_line_reference(line, frame, t0);
    return;
  }
  line->append(buffer, static_cast<size_t>(end - buffer));
}
