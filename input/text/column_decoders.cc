// Column decoders of the text log reader: each turns the text of one field
// into fields of the BusMessage. The timestamp decoder is split into its
// composition, its calendar conversion and its rollover correction, so each
// piece can be checked on its own.
//
// Every data line passes through here, so the common forms of each field
// (plain digits) are read by hand; the C library's readings (sscanf, timegm)
// stay as the `_reference` functions, which decide every other form and
// against which the reader's fuzz target holds the fast ones.
#include "input/text/column_decoders.h"

#include "convert/bus_message.h"
#include "input/text/text_log_reader_internal.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>

// A record with no date of its own and no header time falls back to these
// digits: 1970-01-01 00:00:00.000.
static const char kTimeTemplate[] = "19700101000000000";
static_assert(sizeof kTimeTemplate == TEXT_LOG_TIME_TEXT_SIZE, "template has 17 digits");

// Bytes after the data field's 8th pair are ignored.
constexpr uint8_t kMaxDataBytes = 8;

struct ColumnTitle {
  std::string_view title;
  ColumnDecoder decoder;
};

static const ColumnTitle kColumnTitles[] = {
    {.title = "Timestamp", .decoder = text_log_decode_timestamp},
    {.title = "Lost", .decoder = nullptr},  // a known column whose value nobody needs
    {.title = "Type", .decoder = text_log_decode_type},
    {.title = "ID", .decoder = text_log_decode_id},
    {.title = "Length", .decoder = text_log_decode_length},
    {.title = "Data", .decoder = text_log_decode_data},
};

// The same columns read through the C library alone.
static const ColumnTitle kReferenceColumnTitles[] = {
    {.title = "Timestamp", .decoder = text_log_decode_timestamp_reference},
    {.title = "Lost", .decoder = nullptr},
    {.title = "Type", .decoder = text_log_decode_type},
    {.title = "ID", .decoder = text_log_decode_id_reference},
    {.title = "Length", .decoder = text_log_decode_length_reference},
    {.title = "Data", .decoder = text_log_decode_data_reference},
};

static_assert(std::size(kReferenceColumnTitles) == std::size(kColumnTitles),
              "both tables name the same columns in the same order");

// Process-wide, set only by tests (before they open a reader): readers then
// bind the reference decoders, so a whole log can be decoded both ways.
static bool g_bind_reference_decoders = false;

void text_log_bind_reference_decoders_for_testing(bool reference) {
  g_bind_reference_decoders = reference;
}

bool text_log_find_column(std::string_view title, ColumnDecoder* decoder) {
  const ColumnTitle* columns = g_bind_reference_decoders ? kReferenceColumnTitles : kColumnTitles;
  for (size_t i = 0; i < std::size(kColumnTitles); ++i) {
    if (columns[i].title == title) {
      *decoder = columns[i].decoder;
      return true;
    }
  }
  *decoder = nullptr;
  return false;
}

void text_log_decode_type(TextLogReader*, const char* field, BusMessage* record) {
  // The low bit of the digit is the extended identifier, 8 and 9 were sent;
  // an unknown type leaves the frame a received standard one.
  char type = field[0];
  if (type == '0' || type == '1' || type == '8' || type == '9') {
    record->CAN.IDE = type & 1;
    record->CAN.Dir = type >= '8';
  }
}

// ---------------------------------------------------------------------------
// Number fields
//
// Each field is read the way the C library's sscanf reads it; the reference
// functions below do exactly that. A field in the form a logger writes
// (plain digits, nothing before them) takes a fast path instead, and anything
// else (blanks, signs, a "0x" prefix, more digits than the fast path can
// count without overflow) falls back to sscanf, so no rare form has to be
// re-implemented. The reader's fuzz target holds both against each other.

// The value of each byte as a hex digit, -1 for every other byte: one load
// instead of the range tests, whose branches random data keeps mispredicting.
static constexpr auto kHexValues = [] {
  std::array<int8_t, 256> values{};
  for (int c = 0; c < 256; ++c) {
    values[c] = c >= '0' && c <= '9'   ? static_cast<int8_t>(c - '0')
                : c >= 'a' && c <= 'f' ? static_cast<int8_t>(c - 'a' + 10)
                : c >= 'A' && c <= 'F' ? static_cast<int8_t>(c - 'A' + 10)
                                       : int8_t{-1};
  }
  return values;
}();

static int hex_digit_value(char c) { return kHexValues[static_cast<uint8_t>(c)]; }

// Reads a run of 1 to `max_digits` hex digits at the start of `text` that
// ends at any other character, as "%x" would. False for everything else,
// including a leading "0x", whose meaning sscanf decides.
static bool scan_plain_hex(const char* text, int max_digits, uint32_t* value) {
  uint32_t result = 0;
  int digits = 0;
  for (;; ++digits) {
    int digit = hex_digit_value(text[digits]);
    if (digit < 0) break;
    if (digits == max_digits) return false;
    result = (result << 4) | static_cast<uint32_t>(digit);
  }
  if (digits == 0) return false;
  if (digits == 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) return false;
  *value = result;
  return true;
}

// Reads a run of 1 to 9 decimal digits at the start of `text`, as "%u"
// would; the result fits 32 bits, so taking it modulo 256 later is exact.
static bool scan_plain_decimal(const char* text, uint32_t* value) {
  uint32_t result = 0;
  int digits = 0;
  for (; text[digits] >= '0' && text[digits] <= '9'; ++digits) {
    if (digits == 9) return false;
    result = result * 10 + static_cast<uint32_t>(text[digits] - '0');
  }
  if (digits == 0) return false;
  *value = result;
  return true;
}

void text_log_decode_id_reference(TextLogReader*, const char* field, BusMessage* record) {
  unsigned int id = 0;
  if (sscanf(field, "%x", &id) == 1) record->ID = id;
}

void text_log_decode_id(TextLogReader* reader, const char* field, BusMessage* record) {
  uint32_t id = 0;
  if (scan_plain_hex(field, 8, &id)) {
    record->ID = id;
    return;
  }
  text_log_decode_id_reference(reader, field, record);
}

void text_log_decode_length_reference(TextLogReader*, const char* field, BusMessage* record) {
  unsigned char length = 0;
  if (sscanf(field, "%hhu", &length) == 1) record->CAN.DLC = length;
}

void text_log_decode_length(TextLogReader* reader, const char* field, BusMessage* record) {
  uint32_t length = 0;
  if (scan_plain_decimal(field, &length)) {
    record->CAN.DLC = static_cast<uint8_t>(length);
    return;
  }
  text_log_decode_length_reference(reader, field, record);
}

// One data byte as "%2hhx" reads it at `pair`: 0 when nothing parses.
static uint8_t scan_pair_reference(const char* pair) {
  unsigned char byte = 0;
  // A pair that is not hex still takes its place, as a 0 byte, so the
  // bytes after it keep their positions.
  if (sscanf(pair, "%2hhx", &byte) != 1) byte = 0;
  return byte;
}

// One step of the data decoder's walk as the reference takes it: stores the
// byte at *pair and moves on; false once the field has ended.
static bool take_pair_reference(const char** pair, uint8_t* count, BusMessage* record) {
  const char* at = *pair;
  if (at[0] == '\0' || at[0] == '\n' || at[0] == '\r') return false;
  record->CAN.Payload[(*count)++] = scan_pair_reference(at);
  // A lone digit at the end is the last byte; stepping two would leave the
  // field.
  if (at[1] == '\0') return false;
  *pair = at + 2;
  return true;
}

// The data decoder counts the bytes itself: DLC follows what was decoded.
static void finish_data(uint8_t count, BusMessage* record) {
  record->CAN.DLC = count;
  record->DataBytes = record->CAN.Payload;
  record->DataLength = count;
}

void text_log_decode_data_reference(TextLogReader*, const char* field, BusMessage* record) {
  uint8_t count = 0;
  const char* pair = field;
  while (count < kMaxDataBytes && take_pair_reference(&pair, &count, record)) {
  }
  finish_data(count, record);
}

void text_log_decode_data(TextLogReader*, const char* field, BusMessage* record) {
  uint8_t count = 0;
  // Two hex digits are what "%2hhx" reads there, and neither ends the field.
  // The second is looked at only after the first, which is no NUL: a field
  // may end at the last byte of the line buffer.
  for (; count < kMaxDataBytes; ++count) {
    int high = hex_digit_value(field[2 * count]);
    if (high < 0) break;
    int low = hex_digit_value(field[2 * count + 1]);
    if (low < 0) break;
    record->CAN.Payload[count] = static_cast<uint8_t>(high << 4 | low);
  }
  // From the first other pair on, the reference's steps; a field of whole
  // pairs has ended there.
  const char* pair = field + 2 * count;
  while (count < kMaxDataBytes && take_pair_reference(&pair, &count, record)) {
  }
  finish_data(count, record);
}

// ---------------------------------------------------------------------------
// Timestamps

static bool is_time_separator(const TextLogReader* reader, char c) {
  // Separators that are 0 never match: the texts scanned here end at a NUL.
  return c == 'T' || c == reader->ValueSeparator || c == reader->TimeSeparator ||
         c == reader->TimeSeparatorMs || c == reader->DateSeparator ||
         c == reader->TimeAndDateSeparator;
}

static bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The composition's first half: the template with the header time's digits
// in front. The header time supplies the leading (date) digits, so its
// first 17 digits are the ones that count.
template <typename Keep>
static void compose_header_part(const TextLogReader* reader, char* text, Keep keep) {
  memcpy(text, kTimeTemplate, TEXT_LOG_TIME_TEXT_SIZE);
  size_t header_length = strnlen(reader->HeaderTimeText, sizeof reader->HeaderTimeText);
  size_t placed = 0;
  for (size_t i = 0; i < header_length && placed < TEXT_LOG_TIME_DIGITS; ++i) {
    char c = reader->HeaderTimeText[i];
    if (keep(c)) text[placed++] = c;
  }
}

// The second half. A record's field is right-aligned: its last digit is
// always the last millisecond digit. A field with more than 17 digits keeps
// its last 17, so the finest parts stay in place and only surplus leading
// digits go. The scan never goes past what one line can hold.
template <typename Keep>
static void compose_field_part(const char* field, char* text, Keep keep) {
  size_t field_length = strnlen(field, TEXT_LOG_LINE_SIZE - 1);
  size_t end = TEXT_LOG_TIME_DIGITS;
  for (size_t i = field_length; i > 0 && end > 0; --i) {
    char c = field[i - 1];
    if (keep(c)) text[--end] = c;
  }
}

void text_log_compose_time_text_reference(const TextLogReader* reader, const char* field,
                                          char* text) {
  auto keep = [reader](char c) { return !is_time_separator(reader, c); };
  compose_header_part(reader, text, keep);
  compose_field_part(field, text, keep);
}

void text_log_prepare_time_prefix(TextLogReader* reader) {
  compose_header_part(reader, reader->time_prefix,
                      [reader](char c) { return !is_time_separator(reader, c); });
  if (reader->HeaderTimeText[0] != '\0') {
    uint32_t milliseconds = 0;
    text_log_parse_time_text(reader->time_prefix, &reader->header_seconds, &milliseconds);
    reader->has_header_seconds = true;
  }
}

// No logger uses a digit as a separator; where none is, every digit is kept.
static bool has_digit_separator(const TextLogReader* reader) {
  return is_digit(reader->ValueSeparator) || is_digit(reader->TimeSeparator) ||
         is_digit(reader->TimeSeparatorMs) || is_digit(reader->DateSeparator) ||
         is_digit(reader->TimeAndDateSeparator);
}

void text_log_compose_time_text(const TextLogReader* reader, const char* field, char* text) {
  // Nearly every character of a time text is a digit: without digit
  // separators one range test then settles it.
  if (has_digit_separator(reader)) {
    text_log_compose_time_text_reference(reader, field, text);
    return;
  }
  auto keep = [reader](char c) { return is_digit(c) || !is_time_separator(reader, c); };
  memcpy(text, reader->time_prefix, TEXT_LOG_TIME_TEXT_SIZE);
  compose_field_part(field, text, keep);
}

struct tm text_log_calendar_fields(unsigned year, unsigned month, unsigned day, unsigned hour,
                                   unsigned minute, unsigned second) {
  struct tm fields {};
  fields.tm_year = static_cast<int>(year - 1900u);
  fields.tm_mon = static_cast<int>(month - 1u);
  fields.tm_mday = static_cast<int>(day);
  fields.tm_hour = static_cast<int>(hour);
  fields.tm_min = static_cast<int>(minute);
  fields.tm_sec = static_cast<int>(second);
  return fields;
}

void text_log_parse_time_text_reference(const char* text, int64_t* seconds,
                                        uint32_t* milliseconds) {
  unsigned int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
  (void)sscanf(text, "%4u%2u%2u%2u%2u%2u%3u", &year, &month, &day, &hour, &minute, &second,
               &millisecond);
  struct tm fields = text_log_calendar_fields(year, month, day, hour, minute, second);
  *seconds = static_cast<int64_t>(timegm(&fields));
  *milliseconds = millisecond;
}

// Days from 1970-01-01 to the first day of `month` (1 to 12) of `year` in the
// proleptic Gregorian calendar, for any year: the civil-from-days inverse in
// whole 400-year eras, exact in integer arithmetic.
static int64_t days_to_month(int64_t year, int64_t month) {
  year -= month <= 2;
  int64_t era = (year >= 0 ? year : year - 399) / 400;
  int64_t year_of_era = year - era * 400;                                     // 0 to 399
  int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5;  // March-based
  int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

// timegm counts leap seconds under the "right/" time zones; the arithmetic
// below never does, so it stands in for timegm only where the two agree.
// Decided once per process from a date after several leap seconds; the
// process never changes its time zone.
static bool timegm_counts_posix_seconds() {
  static const bool posix = [] {
    struct tm fields {};
    fields.tm_year = 2017 - 1900;
    fields.tm_mday = 1;
    return timegm(&fields) == 1483228800;
  }();
  return posix;
}

// True when all eight bytes of `word` are ASCII digits. A byte b is one
// exactly when neither b - 0x30 nor b + 0x46 has its high bit set; a borrow
// or carry between bytes only ever starts at a byte that is no digit, so it
// cannot make a word of digits fail or hide the byte that starts it.
static bool eight_digits(uint64_t word) {
  constexpr uint64_t kZeros = 0x3030303030303030u;
  constexpr uint64_t kPastNines = 0x4646464646464646u;
  constexpr uint64_t kHighs = 0x8080808080808080u;
  return (((word - kZeros) | (word + kPastNines)) & kHighs) == 0;
}

// True when the arithmetic below reads `text` exactly: seventeen plain
// digits, and a timegm that counts no leap seconds.
static bool plain_time_text(const char* text) {
  uint64_t front = 0;
  uint64_t middle = 0;
  memcpy(&front, text, sizeof front);
  memcpy(&middle, text + 8, sizeof middle);
  return eight_digits(front) && eight_digits(middle) && is_digit(text[16]) &&
         timegm_counts_posix_seconds();
}

void text_log_parse_time_text(const char* text, int64_t* seconds, uint32_t* milliseconds) {
  // Seventeen plain digits read as the fixed widths 4, 2, 2, 2, 2, 2 and 3,
  // just as sscanf reads them; anything else goes to the C library.
  if (!plain_time_text(text)) {
    text_log_parse_time_text_reference(text, seconds, milliseconds);
    return;
  }
  auto digit = [text](size_t i) { return static_cast<int64_t>(text[i] - '0'); };
  int64_t year = digit(0) * 1000 + digit(1) * 100 + digit(2) * 10 + digit(3);
  int64_t month = digit(4) * 10 + digit(5);
  int64_t day = digit(6) * 10 + digit(7);
  int64_t hour = digit(8) * 10 + digit(9);
  int64_t minute = digit(10) * 10 + digit(11);
  int64_t second = digit(12) * 10 + digit(13);
  // timegm carries every field over into the next larger one: month 0 is
  // December of the year before, month 13 January of the next, day 0 the
  // last day of the month before, second 60 the next minute's first. The
  // month carries explicitly; the rest is plain addition.
  int64_t month_index = month - 1;  // -1 to 98
  int64_t year_carry = month_index >= 0 ? month_index / 12 : -1;
  int64_t days = days_to_month(year + year_carry, month_index - 12 * year_carry + 1) + day - 1;
  *seconds = days * 86400 + hour * 3600 + minute * 60 + second;
  *milliseconds = static_cast<uint32_t>(digit(14) * 100 + digit(15) * 10 + digit(16));
}

static int64_t rollover_step(uint8_t time_format) {
  switch (time_format) {
    case 1: return 60;
    case 2: return 3600;
    case 3: return 86400;
    default: return 0;
  }
}

int64_t text_log_place_time(TextLogReader* reader, int64_t seconds, uint32_t milliseconds) {
  int64_t t = seconds + reader->RolloverOffset;
  int64_t step = rollover_step(reader->TimeFormat);
  // Both parts 0 mean "unset", so the file's first record sets it.
  bool first = reader->reference_seconds == 0 && reader->reference_milliseconds == 0;
  // A short timestamp (seconds only, minutes and seconds, a time without
  // date) wraps once per step. A time more than a second behind the file's
  // first record has wrapped: the logger writes frames up to a few
  // milliseconds out of order, and such a frame may fall into the second
  // before. A time more than half a step behind the previous record has most
  // likely wrapped again. A file split off just before a wrap has a header
  // time just before it, so a first record more than half a step behind the
  // header time was written after the wrap.
  bool wrapped =
      first ? t < 0 || (reader->has_header_seconds && t < reader->header_seconds - step / 2)
            : t < reader->reference_seconds - 1;
  if (reader->has_previous && t < reader->previous_seconds - step / 2) wrapped = true;
  if (step != 0 && wrapped) {
    t += step;
    reader->RolloverOffset += static_cast<uint32_t>(step);
  }
  if (first) {
    reader->reference_seconds = t;
    reader->reference_milliseconds = static_cast<uint16_t>(milliseconds);
  }
  reader->has_previous = true;
  reader->previous_seconds = t;
  return t;
}

static uint32_t three_digits(const char* digits) {
  return static_cast<uint32_t>(digits[0] - '0') * 100 +
         static_cast<uint32_t>(digits[1] - '0') * 10 + static_cast<uint32_t>(digits[2] - '0');
}

// A field made of the kept second's bytes and then exactly three digits
// composes to the kept time text with other millisecond digits, which the
// calendar reading does not look at: its seconds are the kept ones. The
// field is read byte by byte up to its first difference, never past its NUL
// (the kept bytes hold none).
static bool reuse_second(const TextLogReader* reader, const char* field, int64_t* seconds,
                         uint32_t* milliseconds) {
  size_t length = reader->second_field_length;
  if (length == 0) return false;
  for (size_t i = 0; i < length; ++i) {
    if (field[i] != reader->second_field[i]) return false;
  }
  const char* digits = field + length;
  if (!is_digit(digits[0]) || !is_digit(digits[1]) || !is_digit(digits[2]) || digits[3] != '\0') {
    return false;
  }
  *seconds = reader->second_seconds;
  *milliseconds = three_digits(digits);
  return true;
}

// Keeps a field's second for reuse_second when its last three bytes are
// digits that became the milliseconds (no separator is a digit) and its time
// text was read by the arithmetic, which gives the seconds from the digits
// in front of those alone.
static void keep_second(TextLogReader* reader, const char* field, const char* text,
                        int64_t seconds) {
  constexpr size_t kMostBytes = sizeof reader->second_field;
  size_t field_length = strnlen(field, kMostBytes + 4);
  if (field_length < 4 || field_length > kMostBytes + 3) return;
  const char* digits = field + field_length - 3;
  if (!is_digit(digits[0]) || !is_digit(digits[1]) || !is_digit(digits[2])) return;
  if (has_digit_separator(reader) || !plain_time_text(text)) return;
  memcpy(reader->second_field, field, field_length - 3);
  reader->second_field_length = static_cast<uint8_t>(field_length - 3);
  reader->second_seconds = seconds;
}

void text_log_decode_timestamp(TextLogReader* reader, const char* field, BusMessage* record) {
  int64_t seconds = 0;
  uint32_t milliseconds = 0;
  // Hundreds of records share a second; only the first of them is composed.
  // The rollover below sees every record as before.
  if (!reuse_second(reader, field, &seconds, &milliseconds)) {
    char text[TEXT_LOG_TIME_TEXT_SIZE];
    text_log_compose_time_text(reader, field, text);
    text_log_parse_time_text(text, &seconds, &milliseconds);
    keep_second(reader, field, text, seconds);
  }
  int64_t t = text_log_place_time(reader, seconds, milliseconds);
  record->Timestamp = static_cast<double>(t) + static_cast<double>(milliseconds) * 0.001;
}

void text_log_decode_timestamp_reference(TextLogReader* reader, const char* field,
                                         BusMessage* record) {
  char text[TEXT_LOG_TIME_TEXT_SIZE];
  text_log_compose_time_text_reference(reader, field, text);
  int64_t seconds = 0;
  uint32_t milliseconds = 0;
  text_log_parse_time_text_reference(text, &seconds, &milliseconds);
  int64_t t = text_log_place_time(reader, seconds, milliseconds);
  record->Timestamp = static_cast<double>(t) + static_cast<double>(milliseconds) * 0.001;
}
