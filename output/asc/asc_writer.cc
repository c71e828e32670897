// The ASC writer: keeps a copy of every CAN and LIN frame of one input file
// and, when the pipeline reports the end of that file, writes them sorted by
// time as ASC trace text through the output filesystem. The CAN and the LIN
// file are written by one routine, driven by a small descriptor per part.
//
// Divisions of this file: the writer record and its frame lists; the ASC
// text (line builders, header, the part descriptors); writing one part; the
// plug-in callbacks.
#include "output/asc/asc_writer.h"

#include "convert/bus_message.h"
#include "convert/output_plugin.h"
#include "log/log.h"
#include "output/asc/asc_writer_internal.h"
#include "platform/filesystem.h"
#include "platform/str.h"
#include "platform/stream.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <type_traits>

// ---------------------------------------------------------------------------
// The writer record and its frame lists

namespace {

/// Kept frames live in blocks of about 64 KiB, filled in arrival order:
/// keeping a frame is a copy into the current block, and a heap allocation
/// only every few hundred frames. Blocks are value-initialised, so a frame
/// starts zeroed like a fresh record.
constexpr size_t kFrameBlockBytes = 64 * 1024;

template <typename Frame>
struct FrameBlock {
  static constexpr size_t kCapacity = (kFrameBlockBytes - sizeof(void*)) / sizeof(Frame);
  FrameBlock* previous;  ///< the block filled before this one, or null
  Frame frames[kCapacity];
};

/// Pointers to kept frames in arrival order (sorting moves only these), and
/// the blocks that own the frames. The array grows with realloc and a block
/// comes from new (std::nothrow), so running out of memory is a result
/// rather than an exception.
template <typename Frame>
struct FrameList {
  Frame** items;
  size_t count;
  size_t capacity;
  FrameBlock<Frame>* block;  ///< the block being filled, or null
  size_t block_used;         ///< frames of `block` taken so far
};

struct AscWriter : OutputPlugin {
  /// Added to a part's first time where its date line is computed, and
  /// nowhere else. Nothing in the tool sets it, so it stays 0.
  double time_offset;
  FrameList<BusMessage> can;
  FrameList<LinMessage> lin;
  /// A frame of the current file could not be kept. Its trace would be
  /// incomplete while looking whole, so end_file then writes nothing.
  bool lost_frame;
};

}  // namespace

// A power of two would make a new block due together with a larger array.
static_assert((FrameBlock<BusMessage>::kCapacity & (FrameBlock<BusMessage>::kCapacity - 1)) != 0);
static_assert((FrameBlock<LinMessage>::kCapacity & (FrameBlock<LinMessage>::kCapacity - 1)) != 0);

static_assert(std::is_trivial_v<AscWriter>,
              "the host allocates plug-in records with calloc and frees them with free");

// Process-wide, and only ever armed by asc_writer_fail_allocation_for_testing:
// the number of allocations that still succeed before one fails; negative
// while disarmed.
static int64_t g_allocations_before_failure = -1;

void asc_writer_fail_allocation_for_testing(int64_t successes) {
  g_allocations_before_failure = successes < 0 ? -1 : successes;
}

size_t asc_writer_frames_per_block_for_testing(bool lin) {
  return lin ? FrameBlock<LinMessage>::kCapacity : FrameBlock<BusMessage>::kCapacity;
}

static bool allocation_allowed() {
  if (g_allocations_before_failure < 0) return true;
  // Counting down past 0 fails this allocation and disarms the hook.
  return g_allocations_before_failure-- > 0;
}

/// Makes room for one more pointer; false when memory runs out, leaving the
/// list as it was.
template <typename Frame>
static bool frame_list_make_room(FrameList<Frame>* list) {
  if (list->count < list->capacity) return true;
  size_t capacity = list->capacity == 0 ? 64 : 2 * list->capacity;
  if (capacity > SIZE_MAX / sizeof(Frame*)) return false;
  void* grown = allocation_allowed() ? realloc(list->items, capacity * sizeof(Frame*))
                                     : nullptr;
  if (grown == nullptr) return false;
  list->items = static_cast<Frame**>(grown);
  list->capacity = capacity;
  return true;
}

/// Appends a copy of `message`; false, keeping nothing, when memory runs out
/// or the message claims more payload than its kind can hold (the copy
/// trusts the length, so such a record must not reach it).
template <typename Frame>
static bool frame_list_keep(FrameList<Frame>* list, const BusMessage* message,
                            uint64_t payload_capacity,
                            void (*copy)(const BusMessage*, Frame*)) {
  if (message->DataLength > payload_capacity) return false;
  if (!frame_list_make_room(list)) return false;
  if (list->block == nullptr || list->block_used == FrameBlock<Frame>::kCapacity) {
    auto* block = allocation_allowed() ? new (std::nothrow) FrameBlock<Frame>{} : nullptr;
    if (block == nullptr) return false;
    block->previous = list->block;
    list->block = block;
    list->block_used = 0;
  }
  Frame* kept = &list->block->frames[list->block_used++];
  copy(message, kept);
  list->items[list->count++] = kept;
  return true;
}

/// Frees every kept frame; the array stays for the next file. The blocks
/// go too, so one large file leaves no memory behind for the files after it.
template <typename Frame>
static void frame_list_clear(FrameList<Frame>* list) {
  while (list->block != nullptr) {
    FrameBlock<Frame>* previous = list->block->previous;
    delete list->block;
    list->block = previous;
  }
  list->block_used = 0;
  list->count = 0;
}

template <typename Frame>
static void frame_list_release(FrameList<Frame>* list) {
  frame_list_clear(list);
  free(list->items);
  list->items = nullptr;
  list->capacity = 0;
}

/// Orders the pointers by time. Frames with equal times keep the order in
/// which they arrived, so the same input always gives the same bytes.
template <typename Frame>
static void frame_list_sort(FrameList<Frame>* list, int (*compare)(const void*, const void*)) {
  auto earlier = [compare](const Frame* a, const Frame* b) { return compare(&a, &b) < 0; };
  Frame** begin = list->items;
  Frame** end = begin + list->count;
  // A logger writes its frames in time order almost always; one pass proves
  // it and spares the sort's scratch buffer.
  if (std::is_sorted(begin, end, earlier)) return;
  std::stable_sort(begin, end, earlier);
}

// ---------------------------------------------------------------------------
// ASC text

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
                     relative, can.BusChannel, direction_text(can.Dir), frame.ID, 'x',
                     can.BRS, can.ESI, static_cast<unsigned>(can.DLC), data_length);
  } else {
    //    0.000000 CANFD   1 Rx        123                                   0 0 8  8 11 22 33
    str_append_stbsp(line,
                     "% 11.6f CANFD %3d %s        %03X%c                                  %d %d %X %2d ",
                     relative, can.BusChannel, direction_text(can.Dir), frame.ID, ' ',
                     can.BRS, can.ESI, static_cast<unsigned>(can.DLC), data_length);
  }
  // Without data bytes this also takes away the blank that ends the format,
  // so the tail meets the length field directly.
  str_append_hex(line, frame.DataBytes, frame.DataLength);
  // ... 0B 0C        0    0     3000        0        0        0        0        0
  str_append_stbsp(line, "        0    0 %8X        0        0        0        0        0",
                   can_flags(can));
  line->push_back('\n');
}

void asc_writer_append_lin_line_reference(std::string* line, const LinMessage& frame, double t0) {
  //     0.000000 1 3c  Rx d 2 A1 B2
  str_append_stbsp(line, "% 12.6f %d %x  %s d %d ", frame.Timestamp - t0, frame.LIN.BusChannel,
                   frame.ID, direction_text(frame.LIN.Dir), static_cast<int>(frame.DataLength));
  str_append_hex(line, frame.DataBytes, frame.DataLength);
  line->push_back('\n');
}

// The frame lines are nearly all of the output, and a printf engine spends
// most of its time reading the format again for every line. The builders
// below write the same bytes field by field into a stack buffer. The
// stb_sprintf builders above remain the reference: they build every line
// whose time the fast path cannot print exactly as stb_sprintf does, and
// the differential tests hold both against each other.

// Room for the longest fast line: a time of at most 16 characters, the
// fixed fields, 64 data bytes and the tail.
constexpr size_t kLineCapacity = 512;

static constexpr char kUpperHex[] = "0123456789ABCDEF";
static constexpr char kLowerHex[] = "0123456789abcdef";

static char* put_text(char* out, const char* text, size_t length) {
  memcpy(out, text, length);
  return out + length;
}

template <size_t N>
static char* put_literal(char* out, const char (&text)[N]) {
  return put_text(out, text, N - 1);
}

// "%*d": right-aligned in `width` columns with blanks, '-' for a negative
// value, a wider number in full.
static char* put_int(char* out, int value, int width) {
  char digits[16];
  char* end = digits + sizeof digits;
  char* p = end;
  // Through unsigned, so INT_MIN has a magnitude too.
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--p = '-';
  for (int length = static_cast<int>(end - p); length < width; ++length) *out++ = ' ';
  return put_text(out, p, static_cast<size_t>(end - p));
}

// "%0*X" with `min_digits` (zeros in front), or "%*X" with `pad` a blank.
static char* put_hex(char* out, uint32_t value, int min_digits, char pad, const char* alphabet) {
  char digits[8];
  char* end = digits + sizeof digits;
  char* p = end;
  do {
    *--p = alphabet[value & 0xF];
    value >>= 4;
  } while (value != 0);
  for (int length = static_cast<int>(end - p); length < min_digits; ++length) *out++ = pad;
  return put_text(out, p, static_cast<size_t>(end - p));
}

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

char* asc_writer_format_seconds(char* out, double seconds, int width) {
  uint64_t micros = 0;
  if (!exact_micros(seconds, &micros)) return nullptr;
  // " " for the sign, the whole seconds, ".", six decimals.
  char text[32];
  char* end = text + sizeof text;
  char* p = put_micros_before(end, micros);
  *--p = ' ';
  for (int length = static_cast<int>(end - p); length < width; ++length) *out++ = ' ';
  return put_text(out, p, static_cast<size_t>(end - p));
}

// The usual CANFD line has every field at a fixed column after the time: a
// standard identifier of three hex digits or an extended one (always
// eight), one-digit BRS and ESI, a one-digit DLC and a two-column
// DataLength. Such a line starts as a copy of its template, shifted right
// by the time's columns beyond 11, and only the field values are stored
// into it; every other line is built field by field below.
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
  constexpr char kPattern[] = "        0    0        0        0        0        0        0        0\n";
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
  const CanTail& can = frame.CAN;
  char buffer[kLineCapacity];
  char* p = put_fixed_can_line(buffer, frame, t0);
  if (p != nullptr) {
    line->append(buffer, static_cast<size_t>(p - buffer));
    return;
  }
  p = asc_writer_format_seconds(buffer, frame.Timestamp - t0, 11);
  if (p == nullptr || frame.DataLength > CAN_PAYLOAD_CAPACITY) {
    asc_writer_append_can_line_reference(line, frame, t0);
    return;
  }
  p = put_literal(p, " CANFD ");
  p = put_int(p, can.BusChannel, 3);
  p = put_literal(p, " ");
  p = put_text(p, direction_text(can.Dir), 2);
  if (can.IDE != 0) {
    p = put_literal(p, "   ");
    p = put_hex(p, frame.ID, 8, '0', kUpperHex);
    p = put_literal(p, "x                                  ");
  } else {
    p = put_literal(p, "        ");
    p = put_hex(p, frame.ID, 3, '0', kUpperHex);
    p = put_literal(p, "                                   ");
  }
  p = put_int(p, can.BRS, 0);
  p = put_literal(p, " ");
  p = put_int(p, can.ESI, 0);
  p = put_literal(p, " ");
  p = put_hex(p, can.DLC, 0, ' ', kUpperHex);
  p = put_literal(p, " ");
  p = put_int(p, static_cast<int>(frame.DataLength), 2);
  p = put_data(p, frame.DataBytes, frame.DataLength);
  p = put_literal(p, "        0    0 ");
  p = put_hex(p, can_flags(can), 8, ' ', kUpperHex);
  p = put_literal(p, "        0        0        0        0        0\n");
  line->append(buffer, static_cast<size_t>(p - buffer));
}

//     0.000000 1 3c  Rx d 2 A1 B2
void asc_writer_append_lin_line(std::string* line, const LinMessage& frame, double t0) {
  char buffer[kLineCapacity];
  char* p = asc_writer_format_seconds(buffer, frame.Timestamp - t0, 12);
  if (p == nullptr || frame.DataLength > LIN_PAYLOAD_CAPACITY) {
    asc_writer_append_lin_line_reference(line, frame, t0);
    return;
  }
  p = put_literal(p, " ");
  p = put_int(p, frame.LIN.BusChannel, 0);
  p = put_literal(p, " ");
  p = put_hex(p, frame.ID, 0, ' ', kLowerHex);
  p = put_literal(p, "  ");
  p = put_text(p, direction_text(frame.LIN.Dir), 2);
  p = put_literal(p, " d ");
  p = put_int(p, static_cast<int>(frame.DataLength), 0);
  p = put_data(p, frame.DataBytes, frame.DataLength);
  p = put_literal(p, "\n");
  line->append(buffer, static_cast<size_t>(p - buffer));
}

namespace {

enum HeaderResult : uint8_t {
  HEADER_BUILT,
  HEADER_NO_DATE,  // the seconds have no broken-down UTC date
  HEADER_NO_TEXT,  // strftime produced nothing
};

}  // namespace

/// Replaces `text` with the three header lines, dated with the whole seconds
/// of `seconds` (truncated toward zero):
///   date Fri Mar 15 02:07:09 PM 2024
///   base hex  timestamps absolute
///   Begin Triggerblock
static HeaderResult build_header(std::string* text, double seconds) {
  text->clear();
  // time_t holds [-2^63, 2^63); outside it (or for a NaN) the conversion
  // itself would be undefined, so such a time has no date.
  constexpr double kTimeLimit = 9223372036854775808.0;
  if (!(seconds >= -kTimeLimit && seconds < kTimeLimit)) return HEADER_NO_DATE;
  time_t whole = static_cast<time_t>(seconds);
  struct tm utc {};
  if (gmtime_r(&whole, &utc) == nullptr) return HEADER_NO_DATE;
  // gmtime_r accepts years a little past INT_MAX, which " %4d" cannot print.
  if (utc.tm_year > INT_MAX - 1900) return HEADER_NO_DATE;
  // The process never leaves the C locale, so the names are English and the
  // day and the 12-hour clock have two digits.
  char date[64];
  size_t date_length = strftime(date, sizeof date, "%a %b %d %I:%M:%S ", &utc);
  if (date_length == 0) return HEADER_NO_TEXT;
  text->append("date ");
  text->append(date, date_length);
  text->append(utc.tm_hour > 11 ? "PM" : "AM");
  str_append_printf(text, " %4d", utc.tm_year + 1900);
  text->append("\nbase hex  timestamps absolute\nBegin Triggerblock\n");
  return HEADER_BUILT;
}

namespace {

/// What distinguishes the CAN part from the LIN part. A null message means
/// that the part reports that situation through its result alone.
template <typename Frame>
struct AscPart {
  const char* suffix;  ///< appended to the stem to name the file
  void (*append_line)(std::string* line, const Frame& frame, double t0);
  int (*compare)(const void* a, const void* b);  ///< over elements of the list
  const char* open_failed;                       ///< takes the path through "%s"
  const char* convert_failed;
  const char* format_failed;
  const char* header_failed;
  const char* data_failed;
  const char* footer_failed;
};

}  // namespace

static constexpr AscPart<BusMessage> kCanPart = {
    .suffix = ".asc",
    .append_line = asc_writer_append_can_line,
    .compare = bus_message_compare_can_ptrs,
    .open_failed = "Could not open output file for CAN: %s",
    .convert_failed = "Could not convert CAN time",
    .format_failed = "Could not format CAN time",
    .header_failed = "Could not write CAN header",
    .data_failed = "Could not write CAN data",
    .footer_failed = "Could not write CAN footer",
};

static constexpr AscPart<LinMessage> kLinPart = {
    .suffix = "_LIN.asc",
    .append_line = asc_writer_append_lin_line,
    .compare = bus_message_compare_lin_ptrs,
    .open_failed = "Could not open output file for LIN: %s",
    .convert_failed = "Could not convert LIN time",
    .format_failed = nullptr,  // the LIN part fails silently here
    .header_failed = "Could not write LIN header",
    .data_failed = "Could not write LIN data",
    .footer_failed = "Could not write LIN footer",
};

// ---------------------------------------------------------------------------
// Writing one part

/// One stream_write of the whole text; false on a short write.
static bool write_text(Stream* stream, const std::string& text) {
  int64_t length = static_cast<int64_t>(text.size());
  return stream_write(stream, text.data(), length) == length;
}

/// Writes the frames of a non-empty list to "<stem><suffix>" and returns
/// whether that file is complete. An incomplete file is removed.
///
/// The descriptor is a template argument rather than a plain parameter so
/// that the compiler checks each message against its arguments. g++ reads
/// the constant messages through it; clang does not, and would flag every
/// one as a non-literal format, so it is told to leave them to g++.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wformat-nonliteral"
#pragma clang diagnostic ignored "-Wformat-security"
#endif
template <typename Frame, const AscPart<Frame>& kPart>
static bool write_part(AscWriter* writer, std::string_view stem, FrameList<Frame>* list,
                       std::string* text) {
  std::string path(stem);
  path.append(kPart.suffix);
  Stream* stream = fs_open(writer->output_fs, path, FS_OPEN_WRITE | FS_OPEN_CALLER_BIT);
  if (stream == nullptr) {
    LOG(LOG_ERROR, kPart.open_failed, path.c_str());
    return false;
  }

  frame_list_sort(list, kPart.compare);
  double t0 = list->items[0]->Timestamp;
  bool failed = false;
  size_t lines_written = 0;
  switch (build_header(text, writer->time_offset + t0)) {
    case HEADER_BUILT:
      if (!write_text(stream, *text)) {
        LOG(LOG_ERROR, kPart.header_failed);
        failed = true;
      }
      break;
    case HEADER_NO_DATE:
      LOG(LOG_ERROR, kPart.convert_failed);
      failed = true;
      break;
    case HEADER_NO_TEXT:
      if constexpr (kPart.format_failed != nullptr) LOG(LOG_ERROR, kPart.format_failed);
      failed = true;
      break;
  }

  // Without a header the file is removed anyway: no lines, no footer.
  if (!failed) {
    for (size_t i = 0; i < list->count; ++i) {
      text->clear();
      kPart.append_line(text, *list->items[i], t0);
      if (!write_text(stream, *text)) {
        LOG(LOG_ERROR, kPart.data_failed);
        failed = true;
        break;
      }
      ++lines_written;
    }
    // The footer goes out even after a failed line: the file is removed in
    // that case, but the write may still tell of a second problem.
    text->clear();
    text->append("End Triggerblock\n");
    if (!write_text(stream, *text)) {
      LOG(LOG_ERROR, kPart.footer_failed);
      failed = true;
    }
  }

  // Buffered bytes reach the disk only now, so a full disk may show itself
  // at the close alone; that counts as a failed file, without a message.
  bool closed = stream_close(stream) == 0;
  if (closed && lines_written > 0 && !failed) return true;
  // The part fails whether or not the removal works, so its result adds
  // nothing to report.
  (void)fs_remove(writer->output_fs, path);
  return false;
}
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

// ---------------------------------------------------------------------------
// Plug-in callbacks

static const OutputPluginOps kAscWriterOps = {
    .destroy = asc_writer_destroy,
    .init = nullptr,  // calloc already left the writer with empty lists
    .handle_record = asc_writer_handle_record,
    .new_file = asc_writer_new_file,
    .end_file = asc_writer_end_file,
};

OutputPlugin* asc_writer_create(FileSystem* input_fs, FileSystem* output_fs,
                                ConversionOptions* options) {
  auto* writer = static_cast<AscWriter*>(calloc(1, sizeof(AscWriter)));
  if (writer == nullptr) return nullptr;
  writer->ops = &kAscWriterOps;
  if (!output_plugin_init(writer, input_fs, output_fs, options)) {
    // An unbound plug-in never reaches destroy; its lists hold nothing yet.
    free(writer);
    return nullptr;
  }
  return writer;
}

bool asc_writer_handle_record(OutputPlugin* plugin, const BusMessage* message) {
  if (plugin == nullptr || message == nullptr) return false;
  AscWriter* writer = static_cast<AscWriter*>(plugin);
  // Kind is a plain number here: values past LIN_Frame are ignored like the
  // empty record and error frames, which ASC has no line for.
  bool kept = true;
  if (message->Kind == CAN_DataFrame || message->Kind == CAN_RemoteFrame) {
    kept = frame_list_keep(&writer->can, message, CAN_PAYLOAD_CAPACITY, bus_message_copy_can);
  } else if (message->Kind == LIN_Frame) {
    kept = frame_list_keep(&writer->lin, message, LIN_PAYLOAD_CAPACITY, bus_message_copy_lin);
  }
  if (!kept) writer->lost_frame = true;
  return kept;
}

bool asc_writer_new_file(OutputPlugin* plugin, std::string_view, size_t, TextLogReader*) {
  if (plugin == nullptr) return false;
  AscWriter* writer = static_cast<AscWriter*>(plugin);
  frame_list_clear(&writer->can);
  frame_list_clear(&writer->lin);
  writer->lost_frame = false;
  return true;
}

bool asc_writer_end_file(OutputPlugin* plugin, std::string_view output_path,
                         size_t stem_length) {
  if (plugin == nullptr) return false;
  AscWriter* writer = static_cast<AscWriter*>(plugin);
  if (writer->lost_frame) return false;
  if (writer->can.count == 0 && writer->lin.count == 0) return true;
  // The stem is a prefix of the path; no NUL ends it.
  std::string_view stem = output_path.substr(0, stem_length);
  std::string text;
  text.reserve(256);
  bool succeeded = true;
  // The LIN part runs even after the CAN part failed.
  if (writer->can.count > 0) {
    succeeded = write_part<BusMessage, kCanPart>(writer, stem, &writer->can, &text);
  }
  if (writer->lin.count > 0) {
    succeeded = write_part<LinMessage, kLinPart>(writer, stem, &writer->lin, &text) && succeeded;
  }
  return succeeded;
}

void asc_writer_destroy(OutputPlugin* plugin) {
  if (plugin == nullptr) return;
  AscWriter* writer = static_cast<AscWriter*>(plugin);
  frame_list_release(&writer->can);
  frame_list_release(&writer->lin);
}
