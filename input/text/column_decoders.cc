// Column decoders of the text log reader: each turns the text of one field
// into fields of the BusMessage. The timestamp decoder is split into its
// composition, its calendar conversion and its rollover correction, so each
// piece can be checked (and later replaced by a faster one) on its own.
#include "input/text/column_decoders.h"

#include "convert/bus_message.h"

#include <cstdio>
#include <cstring>
#include <ctime>

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

bool text_log_find_column(std::string_view title, ColumnDecoder* decoder) {
  for (const ColumnTitle& column : kColumnTitles) {
    if (column.title == title) {
      *decoder = column.decoder;
      return true;
    }
  }
  *decoder = nullptr;
  return false;
}

void text_log_decode_type(TextLogReader*, const char* field, BusMessage* record) {
  switch (field[0]) {
    case '0': record->CAN.IDE = 0; record->CAN.Dir = 0; break;
    case '1': record->CAN.IDE = 1; record->CAN.Dir = 0; break;
    case '8': record->CAN.IDE = 0; record->CAN.Dir = 1; break;
    case '9': record->CAN.IDE = 1; record->CAN.Dir = 1; break;
    default: break;  // an unknown type leaves the frame a received standard one
  }
}

void text_log_decode_id(TextLogReader*, const char* field, BusMessage* record) {
  unsigned int id = 0;
  if (sscanf(field, "%x", &id) == 1) record->ID = id;
}

void text_log_decode_length(TextLogReader*, const char* field, BusMessage* record) {
  unsigned char length = 0;
  if (sscanf(field, "%hhu", &length) == 1) record->CAN.DLC = length;
}

void text_log_decode_data(TextLogReader*, const char* field, BusMessage* record) {
  uint8_t count = 0;
  const char* pair = field;
  while (count < kMaxDataBytes) {
    if (pair[0] == '\0' || pair[0] == '\n' || pair[0] == '\r') break;
    unsigned char byte = 0;
    // A pair that is not hex still takes its place, as a 0 byte, so the
    // bytes after it keep their positions.
    if (sscanf(pair, "%2hhx", &byte) != 1) byte = 0;
    record->CAN.Payload[count++] = byte;
    // A lone digit at the end is the last byte; stepping two would leave the
    // field.
    if (pair[1] == '\0') break;
    pair += 2;
  }
  record->CAN.DLC = count;
  record->DataBytes = record->CAN.Payload;
  record->DataLength = count;
}

static bool is_time_separator(const TextLogReader* reader, char c) {
  // Separators that are 0 never match: the texts scanned here end at a NUL.
  return c == 'T' || c == reader->ValueSeparator || c == reader->TimeSeparator ||
         c == reader->TimeSeparatorMs || c == reader->DateSeparator ||
         c == reader->TimeAndDateSeparator;
}

void text_log_compose_time_text(const TextLogReader* reader, const char* field, char* text) {
  memcpy(text, kTimeTemplate, TEXT_LOG_TIME_TEXT_SIZE);

  // The header time supplies the leading (date) digits, so its first 17
  // digits are the ones that count.
  size_t header_length = strnlen(reader->HeaderTimeText, sizeof reader->HeaderTimeText);
  size_t placed = 0;
  for (size_t i = 0; i < header_length && placed < TEXT_LOG_TIME_DIGITS; ++i) {
    char c = reader->HeaderTimeText[i];
    if (!is_time_separator(reader, c)) text[placed++] = c;
  }

  // A record's field is right-aligned: its last digit is always the last
  // millisecond digit. A field with more than 17 digits keeps its last 17,
  // so the finest parts stay in place and only surplus leading digits go.
  // The scan never goes past what one line can hold.
  size_t field_length = strnlen(field, TEXT_LOG_LINE_SIZE - 1);
  size_t end = TEXT_LOG_TIME_DIGITS;
  for (size_t i = field_length; i > 0 && end > 0; --i) {
    char c = field[i - 1];
    if (!is_time_separator(reader, c)) text[--end] = c;
  }
}

void text_log_parse_time_text(const char* text, int64_t* seconds, uint32_t* milliseconds) {
  unsigned int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
  (void)sscanf(text, "%4u%2u%2u%2u%2u%2u%3u", &year, &month, &day, &hour, &minute, &second,
               &millisecond);
  // Unsigned arithmetic wraps, and the conversion to int is modular, so
  // even a signed component ("-5") gives defined calendar fields.
  struct tm fields {};
  fields.tm_year = static_cast<int>(year - 1900u);
  fields.tm_mon = static_cast<int>(month - 1u);
  fields.tm_mday = static_cast<int>(day);
  fields.tm_hour = static_cast<int>(hour);
  fields.tm_min = static_cast<int>(minute);
  fields.tm_sec = static_cast<int>(second);
  *seconds = static_cast<int64_t>(timegm(&fields));
  *milliseconds = millisecond;
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
  // A short timestamp (seconds only, minutes and seconds, a time without
  // date) wraps once per step. A time behind the file's first record has
  // certainly wrapped; a time more than half a step behind the previous
  // record has most likely wrapped again, while a smaller step back is
  // jitter among frames written out of order and is left alone.
  if (step != 0 && (t < reader->reference_seconds ||
                    (reader->has_previous && t < reader->previous_seconds - step / 2))) {
    t += step;
    reader->RolloverOffset += static_cast<uint32_t>(step);
  }
  // Both parts 0 mean "unset", so the file's first record sets it.
  if (reader->reference_seconds == 0 && reader->reference_milliseconds == 0) {
    reader->reference_seconds = t;
    reader->reference_milliseconds = static_cast<uint16_t>(milliseconds);
  }
  reader->has_previous = true;
  reader->previous_seconds = t;
  return t;
}

void text_log_decode_timestamp(TextLogReader* reader, const char* field, BusMessage* record) {
  char text[TEXT_LOG_TIME_TEXT_SIZE];
  text_log_compose_time_text(reader, field, text);
  int64_t seconds = 0;
  uint32_t milliseconds = 0;
  text_log_parse_time_text(text, &seconds, &milliseconds);
  int64_t t = text_log_place_time(reader, seconds, milliseconds);
  record->Timestamp = static_cast<double>(t) + static_cast<double>(milliseconds) * 0.001;
}
