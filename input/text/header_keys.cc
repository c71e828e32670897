// The header key table: one entry per logger setting that a "#" line can
// carry, with the handler that parses its value into the reader. The header
// pass of text_log_open runs every line through the whole table.
#include "input/text/header_keys.h"

#include "input/text/column_decoders.h"
#include "input/text/text_log_reader.h"
#include "platform/stream.h"

#include <cstdio>
#include <cstring>
#include <ctime>

// The "%Ns" widths below leave room for the NUL of each text field.
static_assert(sizeof(TextLogReader::HwRev) == 5, "HwRev is read with %4s");
static_assert(sizeof(TextLogReader::FwRev) == 5, "FwRev is read with %4s");
static_assert(sizeof(TextLogReader::LoggerId) == 22, "LoggerId is read with %21s");

struct HeaderKey {
  const char* key;
  /// `value` is the text after the line's first ": ", without its line end.
  void (*handle)(TextLogReader* reader, const char* value);
};

static void handle_logger_type(TextLogReader* reader, const char* value) {
  // Only the exact model names count: an unknown model must not pose as the
  // first one.
  if (strcmp(value, "Marrowbox1000") == 0) reader->LoggerType = 0;
  if (strcmp(value, "Marrowbox2000") == 0) reader->LoggerType = 1;
  if (strcmp(value, "Marrowbox3000") == 0) reader->LoggerType = 2;
}

// A word longer than its field is cut to the field's capacity rather than
// dropped: the front of a revision or identifier still tells it apart.
static void handle_hw_rev(TextLogReader* reader, const char* value) {
  (void)sscanf(value, "%4s", reader->HwRev);
}

static void handle_fw_rev(TextLogReader* reader, const char* value) {
  (void)sscanf(value, "%4s", reader->FwRev);
}

// Kept as text: identifiers such as 0000ABCD lose their meaning as numbers.
static void handle_logger_id(TextLogReader* reader, const char* value) {
  (void)sscanf(value, "%21s", reader->LoggerId);
}

static void handle_session_no(TextLogReader* reader, const char* value) {
  int number = 0;
  if (sscanf(value, "%i", &number) == 1) reader->SessionNo = number;
}

static void handle_split_no(TextLogReader* reader, const char* value) {
  int number = 0;
  if (sscanf(value, "%i", &number) == 1) reader->SplitNo = number;
}

static void handle_time(TextLogReader* reader, const char* value) {
  unsigned int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  (void)sscanf(value, "%4u%2u%2uT%2u%2u%2u", &year, &month, &day, &hour, &minute, &second);
  struct tm fields = text_log_calendar_fields(year, month, day, hour, minute, second);
  // The logger writes its wall clock without a zone; summer time is never
  // applied to it.
  fields.tm_isdst = 0;
  reader->HeaderTime = static_cast<double>(mktime(&fields));

  // The text is kept whatever the parse made of it: it dates every record.
  // A longer value is cut to the field, whose front carries the date.
  size_t length = strnlen(value, sizeof reader->HeaderTimeText - 1);
  memset(reader->HeaderTimeText, 0, sizeof reader->HeaderTimeText);
  memcpy(reader->HeaderTimeText, value, length);
}

// A separator is written as one character between double quotes. Anything
// else, the empty pair "" included, means "no separator".
static char quoted_character(const char* value) {
  if (strlen(value) == 3 && value[0] == '"' && value[2] == '"') return value[1];
  return '\0';
}

static void handle_value_separator(TextLogReader* reader, const char* value) {
  reader->ValueSeparator = quoted_character(value);
}

static void handle_time_format(TextLogReader* reader, const char* value) {
  int format = 0;
  if (sscanf(value, "%i", &format) != 1) format = 0;
  reader->TimeFormat = static_cast<uint8_t>(format);
}

static void handle_time_separator(TextLogReader* reader, const char* value) {
  reader->TimeSeparator = quoted_character(value);
}

static void handle_time_separator_ms(TextLogReader* reader, const char* value) {
  reader->TimeSeparatorMs = quoted_character(value);
}

static void handle_date_separator(TextLogReader* reader, const char* value) {
  reader->DateSeparator = quoted_character(value);
}

static void handle_time_and_date_separator(TextLogReader* reader, const char* value) {
  reader->TimeAndDateSeparator = quoted_character(value);
}

static void handle_bit_rate(TextLogReader* reader, const char* value) {
  int rate = 0;
  if (sscanf(value, "%i", &rate) == 1) reader->BitRate = rate;
}

// Exact, lower-case words only; anything else keeps the earlier setting.
static void set_flag(uint32_t* flag, const char* value) {
  if (strcmp(value, "true") == 0) *flag = 1;
  if (strcmp(value, "false") == 0) *flag = 0;
}

static void handle_silent_mode(TextLogReader* reader, const char* value) {
  set_flag(&reader->SilentMode, value);
}

static void handle_cyclic_mode(TextLogReader* reader, const char* value) {
  set_flag(&reader->CyclicMode, value);
}

// No key text occurs inside another, so a well-formed line triggers exactly
// one handler; a line may still trigger several, in table order.
static const HeaderKey kHeaderKeys[] = {
    {.key = "Logger type: ", .handle = handle_logger_type},
    {.key = "HW rev: ", .handle = handle_hw_rev},
    {.key = "FW rev: ", .handle = handle_fw_rev},
    {.key = "Logger ID: ", .handle = handle_logger_id},
    {.key = "Session No.: ", .handle = handle_session_no},
    {.key = "Split No.: ", .handle = handle_split_no},
    {.key = "Time: ", .handle = handle_time},
    {.key = "Value separator: ", .handle = handle_value_separator},
    {.key = "Time format: ", .handle = handle_time_format},
    {.key = "Time separator: ", .handle = handle_time_separator},
    {.key = "Time separator ms: ", .handle = handle_time_separator_ms},
    {.key = "Date separator: ", .handle = handle_date_separator},
    {.key = "Time and date separator: ", .handle = handle_time_and_date_separator},
    {.key = "Bit-rate: ", .handle = handle_bit_rate},
    {.key = "Silent mode: ", .handle = handle_silent_mode},
    {.key = "Cyclic mode: ", .handle = handle_cyclic_mode},
};
static_assert(sizeof kHeaderKeys / sizeof kHeaderKeys[0] == 16, "sixteen header keys");

// The value of a header line starts behind the line's first ": " (which may
// come before the key) and ends at its line end; trailing blanks belong to
// it. The line end is overwritten with a NUL.
static const char* header_value(char* line) {
  char* colon = strstr(line, ": ");
  if (colon == nullptr) return nullptr;
  char* value = colon + 2;
  value[strcspn(value, "\n\r")] = '\0';
  return value;
}

void text_log_read_header(TextLogReader* reader) {
  char line[TEXT_LOG_LINE_SIZE];
  (void)stream_seek(reader->stream, 0, 0);
  while (text_log_read_line(reader, line) > 0 && line[0] == '#') {
    const char* value = nullptr;
    for (const HeaderKey& entry : kHeaderKeys) {
      if (strstr(line, entry.key) == nullptr) continue;
      // Every key ends in ": ", so a line holding one always has a value.
      if (value == nullptr) value = header_value(line);
      entry.handle(reader, value);
    }
  }
}
