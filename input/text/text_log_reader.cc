// The text log reader: reads a logger's text file line by line, takes the
// settings from its "#" header, binds a decoder to each titled column and
// turns every data line into one BusMessage. The per-file pipeline is its
// caller; the output plug-in sees the reader as the description of the file.
#include "input/text/text_log_reader.h"

#include "convert/bus_message.h"
#include "input/text/column_decoders.h"
#include "input/text/header_keys.h"
#include "input/text/text_log_reader_internal.h"
#include "platform/stream.h"

#include <bit>
#include <cstring>
#include <new>
#include <string_view>

// The line as 199 one-byte reads make it: a carriage return is dropped but
// counts as a read, a line feed is kept and ends the line, the end of data
// ends it too (and sets `*ran_out`). Used for streams that cannot lend their
// bytes.
static size_t read_line_bytewise(TextLogReader* reader, char* line, bool* ran_out) {
  size_t stored = 0;
  for (size_t reads = 0; reads < TEXT_LOG_LINE_SIZE - 1; ++reads) {
    char byte = 0;
    int64_t n = stream_read(reader->stream, &byte, 1);
    if (n != 1) {
      if (n < 0) reader->read_failed = true;
      if (n == 0) *ran_out = true;
      break;
    }
    // Files written on either platform decode alike.
    if (byte == '\r') continue;
    line[stored++] = byte;
    if (byte == '\n') break;
  }
  line[stored] = '\0';
  return stored;
}

// The line as text_log_read_line reads it, ended by a NUL but without
// zeroing the rest of the buffer: every data line passes here. `*ran_out`
// is set when the end of data, rather than a line feed or the length
// limit, ended the line.
static size_t read_line_terminated(TextLogReader* reader, char* line, bool* ran_out) {
  // Scan the bytes where the stream holds them, and move the stream past
  // exactly the bytes that the one-byte reads would have taken, so the line
  // and the position afterwards are the same.
  const void* view = nullptr;
  int64_t available = stream_borrow(reader->stream, &view);
  if (available == STREAM_NOT_SUPPORTED) return read_line_bytewise(reader, line, ran_out);
  if (available < 0) reader->read_failed = true;
  size_t stored = 0;
  size_t budget = TEXT_LOG_LINE_SIZE - 1;  // reads left, carriage returns included
  while (available > 0) {
    const char* bytes = static_cast<const char*>(view);
    size_t take = static_cast<size_t>(available) < budget ? static_cast<size_t>(available) : budget;
    const char* newline = static_cast<const char*>(memchr(bytes, '\n', take));
    size_t used = newline != nullptr ? static_cast<size_t>(newline - bytes) + 1 : take;
    if (memchr(bytes, '\r', used) == nullptr) {
      memcpy(line + stored, bytes, used);
      stored += used;
    } else {
      for (size_t i = 0; i < used; ++i) {
        if (bytes[i] != '\r') line[stored++] = bytes[i];
      }
    }
    (void)stream_seek(reader->stream, static_cast<int64_t>(used), 1);
    budget -= used;
    if (newline != nullptr || budget == 0) break;
    available = stream_borrow(reader->stream, &view);
    if (available < 0) reader->read_failed = true;
  }
  // A break above leaves the last lending, which had bytes.
  *ran_out = available == 0;
  line[stored] = '\0';
  return stored;
}

size_t text_log_read_line(TextLogReader* reader, char* line) {
  memset(line, 0, TEXT_LOG_LINE_SIZE);
  bool ran_out = false;
  return read_line_terminated(reader, line, &ran_out);
}

// The high bit of each byte of `word` that is 0, and of no other byte:
// (b & 0x7F) + 0x7F carries into the high bit exactly for b != 0, and no
// carry crosses into the next byte.
static uint64_t zero_bytes(uint64_t word) {
  constexpr uint64_t kLows = 0x7F7F7F7F7F7F7F7Fu;
  return ~(((word & kLows) + kLows) | word | kLows);
}

// The last field of a file without a final line feed, and that of a line
// cut at its length limit, end at the line's NUL and so decode like any
// other. One pass of word-wise tests finds every end, so no field waits for
// the scan of the one before it.
int text_log_split_fields(char* line, char separator, char* fields[TEXT_LOG_COLUMN_SLOTS]) {
  constexpr uint64_t kOnes = 0x0101010101010101u;
  const uint64_t separators = kOnes * static_cast<uint8_t>(separator);
  const uint64_t line_feeds = kOnes * static_cast<uint8_t>('\n');
  int count = 0;
  char* start = line;
  for (char* word_start = line;; word_start += 8) {
    uint64_t word = 0;
    memcpy(&word, word_start, sizeof word);
    // In memory order from the lowest bit up, whatever the machine.
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    uint64_t at_separator = separator != '\0' ? zero_bytes(word ^ separators) : 0;
    // A line feed that is the separator separates.
    uint64_t line_end = (zero_bytes(word) | zero_bytes(word ^ line_feeds)) & ~at_separator;
    // Only the separators before the line's end count; with no end in this
    // word the mask is all ones.
    uint64_t inside = at_separator & ((line_end & (0 - line_end)) - 1);
    for (; inside != 0; inside &= inside - 1) {
      char* end = word_start + __builtin_ctzll(inside) / 8;
      fields[count++] = start;
      *end = '\0';
      if (count == TEXT_LOG_COLUMN_SLOTS) return count;
      start = end + 1;
    }
    if (line_end != 0) {
      fields[count++] = start;
      word_start[__builtin_ctzll(line_end) / 8] = '\0';
      return count;
    }
  }
}

int text_log_split_fields_reference(char* line, char separator,
                                    char* fields[TEXT_LOG_COLUMN_SLOTS]) {
  int count = 0;
  char* cursor = line;
  while (cursor != nullptr && count < TEXT_LOG_COLUMN_SLOTS) {
    char* end = cursor;
    while (*end != '\0' && *end != '\n' && *end != separator) ++end;
    fields[count++] = cursor;
    cursor = (*end == separator && separator != '\0') ? end + 1 : nullptr;
    *end = '\0';
  }
  return count;
}

// Finds the title line (the first line after the "#" header), notes where
// the data begins and binds the columns. False refuses the file.
static bool bind_columns(TextLogReader* reader) {
  char line[TEXT_LOG_LINE_SIZE + TEXT_LOG_SPLIT_SLACK] = {};
  (void)stream_seek(reader->stream, 0, 0);
  bool saw_header = false;
  for (;;) {
    if (text_log_read_line(reader, line) == 0) return false;
    if (line[0] != '#') break;
    saw_header = true;
  }
  if (!saw_header) return false;
  reader->DataStart = static_cast<uint32_t>(stream_tell(reader->stream));

  // Without a separator the whole title line, its line feed included, is
  // one field, and that names no column.
  if (reader->ValueSeparator == '\0') return false;

  bool any_known = false;
  char* fields[TEXT_LOG_COLUMN_SLOTS];
  int count = text_log_split_fields(line, reader->ValueSeparator, fields);
  reader->title_fields = count;
  reader->length_column = -1;
  reader->data_column = -1;
  for (int column = 0; column < count; ++column) {
    if (text_log_find_column(fields[column], &reader->ColumnDecoders[column])) any_known = true;
    // The last of each decides, as in decoding, where a later column overwrites.
    std::string_view title = fields[column];
    if (title == "Length") reader->length_column = column;
    if (title == "Data") reader->data_column = column;
  }
  return any_known;
}

TextLogReader* text_log_open(Stream* stream, bool* read_failed) {
  if (stream == nullptr) return nullptr;
  auto* reader = new (std::nothrow) TextLogReader{};
  if (reader == nullptr) return nullptr;
  reader->stream = stream;
  // The timestamp reference and the rollover state start unset with every
  // file: a file decodes the same whether it is converted alone or after
  // others.
  text_log_read_header(reader);
  // A header cut by a read error must not pass for a complete one.
  if (!bind_columns(reader) || reader->read_failed) {
    if (read_failed != nullptr) *read_failed = reader->read_failed;
    delete reader;
    return nullptr;
  }
  text_log_prepare_time_prefix(reader);
  return reader;
}

void text_log_rewind(TextLogReader* reader) {
  if (reader == nullptr) return;
  (void)stream_seek(reader->stream, reader->DataStart, 0);
}

void text_log_restart(TextLogReader* reader) {
  if (reader == nullptr) return;
  reader->RolloverOffset = 0;
  reader->reference_seconds = 0;
  reader->reference_milliseconds = 0;
  reader->has_previous = false;
  reader->previous_seconds = 0;
  reader->skipped_lines = 0;
  text_log_rewind(reader);
}

// Whether the last line of a file, cut off before its line feed, was cut in
// its data: it holds fewer bytes than its Length says (one over 8 counts as
// 8), so the rest of the frame never reached the card. Only Length and Data
// are decoded, into a record of its own: the reader's time state and the
// caller's record stay as they were.
static bool data_cut_short(TextLogReader* reader, char* const* fields) {
  if (reader->length_column < 0 || reader->data_column < 0) return false;
  BusMessage probe{};
  reader->ColumnDecoders[reader->length_column](reader, fields[reader->length_column], &probe);
  uint8_t stated = probe.CAN.DLC < 8 ? probe.CAN.DLC : 8;
  reader->ColumnDecoders[reader->data_column](reader, fields[reader->data_column], &probe);
  return probe.DataLength < stated;
}

int text_log_next(TextLogReader* reader, BusMessage* record) {
  if (reader == nullptr || record == nullptr) return 0;
  char line[TEXT_LOG_LINE_SIZE + TEXT_LOG_SPLIT_SLACK];
  char* fields[TEXT_LOG_COLUMN_SLOTS];
  int count = 0;
  for (;;) {
    bool ran_out = false;
    size_t stored = read_line_terminated(reader, line, &ran_out);
    if (reader->read_failed) return -1;
    if (stored == 0) return 0;
    // A "#" line is a comment. A line with fewer fields than the title is
    // no frame either: a blank line, the NUL or 0xFF padding a card leaves
    // after a power cut, a line cut before its last field. Decoding it would
    // make a phantom frame, dated by the header or by its padding bytes.
    if (line[0] != '#') {
      // The splitting reads the whole word that holds the NUL.
      memset(line + stored + 1, 0, TEXT_LOG_SPLIT_SLACK);
      count = text_log_split_fields(line, reader->ValueSeparator, fields);
      if (count >= reader->title_fields && !(ran_out && data_cut_short(reader, fields))) break;
    }
    ++reader->skipped_lines;
  }

  bus_message_clear(record);
  for (int column = 0; column < count; ++column) {
    ColumnDecoder decode = reader->ColumnDecoders[column];
    if (decode != nullptr) decode(reader, fields[column], record);
  }
  record->Kind = CAN_DataFrame;
  record->CAN.BusChannel = 1;
  return 1;
}

void text_log_close(TextLogReader* reader) { delete reader; }
