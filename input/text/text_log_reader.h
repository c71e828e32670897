// The reader of the loggers' text format: a block of "#" header lines, one
// column-title line, then one delimited line per CAN frame. text_log_open
// reads the header and binds a decoder to each column; text_log_next turns
// one data line into a BusMessage.
#ifndef TRACEWRIGHT_INPUT_TEXT_TEXT_LOG_READER_H_
#define TRACEWRIGHT_INPUT_TEXT_TEXT_LOG_READER_H_

#include <cstddef>
#include <cstdint>

struct BusMessage;
struct Stream;
struct TextLogReader;

/// Bytes of the line buffer of text_log_read_line: at most 199 are stored,
/// and a NUL always follows them.
constexpr size_t TEXT_LOG_LINE_SIZE = 200;
/// Only this many columns of the title line and of every data line count.
constexpr int TEXT_LOG_COLUMN_SLOTS = 7;

/// Decodes one field (NUL-terminated, without separator or line feed) into
/// the record.
using ColumnDecoder = void (*)(TextLogReader* reader, const char* field, BusMessage* record);

/// An open text log. The header fields describe the file and are handed to
/// the output plug-in's new_file callback. Zeroed at creation: a field that
/// no header line sets keeps 0 or the empty text.
struct TextLogReader {
  Stream* stream;           ///< borrowed, never closed by the reader
  uint32_t DataStart;       ///< position of the first data line
  uint32_t RolloverOffset;  ///< seconds added to this file's timestamps
  uint32_t LoggerType;      ///< 0 Marrowbox1000, 1 Marrowbox2000, 2 Marrowbox3000
  char HwRev[5];
  char FwRev[5];
  char LoggerId[22];
  int32_t SessionNo;
  int32_t SplitNo;
  double HeaderTime;        ///< the "Time: " value read as local time
  char HeaderTimeText[20];  ///< the "Time: " value text; dates every record
  char ValueSeparator;      ///< 0: none
  uint8_t TimeFormat;       ///< 1, 2, 3 select the rollover step
  char TimeSeparator;
  char TimeSeparatorMs;
  char DateSeparator;
  char TimeAndDateSeparator;
  int32_t BitRate;
  uint32_t SilentMode;
  uint32_t CyclicMode;
  ColumnDecoder ColumnDecoders[TEXT_LOG_COLUMN_SLOTS];

  // Per-file timestamp state: the reference is this file's first decoded
  // timestamp, so a file decodes the same alone or after other files.
  int64_t reference_seconds;
  uint16_t reference_milliseconds;
  bool has_previous;         ///< a record of this file was decoded already
  int64_t previous_seconds;  ///< corrected whole seconds of that record
  bool has_header_seconds;   ///< the header has a time text, and so:
  int64_t header_seconds;    ///< its time composed with no field digits, whole seconds

  int title_fields;        ///< fields of the title line, at most TEXT_LOG_COLUMN_SLOTS
  int length_column;       ///< index of the last "Length" column; -1: none
  int data_column;         ///< index of the last "Data" column; -1: none
  uint64_t skipped_lines;  ///< data lines that text_log_next passed over as no frames

  // The time text template with the header time's digits already in front,
  // made once by text_log_open (text_log_prepare_time_prefix): every record's
  // time text starts as a copy of it.
  char time_prefix[18];

  // The last second the timestamp decoder composed: the bytes of a field
  // before its three millisecond digits, and the whole seconds (before any
  // rollover) that they give. The records of one second share them, so the
  // next of its fields is neither composed nor converted again. Length 0:
  // nothing kept.
  char second_field[16];
  uint8_t second_field_length;
  int64_t second_seconds;

  /// A read of the stream failed (not its end): the reader stops there.
  bool read_failed;
};

/// Reads the header and the title line. Null when the stream is null, memory
/// is short, or the file is refused (no "#" line first, no title line, no
/// value separator, no known column title) or cannot be read; a read error
/// also sets `*read_failed` when that is not null, so the caller can tell
/// it from a refusal. Afterwards the stream stands at the first data line.
[[nodiscard]] TextLogReader* text_log_open(Stream* stream, bool* read_failed = nullptr);
/// Seeks the stream back to DataStart.
void text_log_rewind(TextLogReader* reader);
/// Forgets what reading the data lines taught the reader (the timestamp
/// reference, rollovers, the skipped-line count) and seeks back to
/// DataStart: the next records are those of a first reading.
void text_log_restart(TextLogReader* reader);
/// 1 when a data line was decoded into `record`, 0 at end of input, -1 when
/// the stream could not be read (the record is then untouched; a line cut
/// by the error is not decoded). These lines are no frames: they are counted
/// in skipped_lines and the next line is read.
/// - a line that starts with "#";
/// - a line with fewer fields than the title line, both counted up to the
///   seventh (blank lines, padding, a line cut short);
/// - a last line ended by the end of input, not by a line feed or the length
///   limit, whose Data holds fewer bytes than its Length (as decoded; over 8
///   counts as 8) says.
/// Every other line is a record; a line's last field ends at its line feed
/// or, lacking one, at the end of its text.
int text_log_next(TextLogReader* reader, BusMessage* record);
/// Releases the reader; the stream is not touched. Null does nothing.
void text_log_close(TextLogReader* reader);
/// Reads one line into `line` (TEXT_LOG_LINE_SIZE bytes, zero-filled first):
/// up to 199 byte reads, stopping after a line feed (stored) or at the end
/// of data; carriage returns are not stored. An empty result means end of
/// input, or a read error when `read_failed` is set. Returns the number of
/// bytes stored.
size_t text_log_read_line(TextLogReader* reader, char* line);

/// Bytes behind a line buffer of TEXT_LOG_LINE_SIZE that
/// text_log_split_fields may read; they must be defined (zero them).
constexpr size_t TEXT_LOG_SPLIT_SLACK = 8;
/// Splits a NUL-terminated line in place into its first TEXT_LOG_COLUMN_SLOTS
/// fields and returns how many there are (at least 1). A field ends at the
/// next `separator`, the last one at the line feed or at the NUL; each end
/// becomes a NUL, and a NUL separator never separates. The seventh field ends
/// like the others and the rest of the line is left alone. Reads the line in
/// words of eight bytes from its start: the TEXT_LOG_SPLIT_SLACK bytes behind
/// the NUL must be defined.
int text_log_split_fields(char* line, char separator, char* fields[TEXT_LOG_COLUMN_SLOTS]);

#endif  // TRACEWRIGHT_INPUT_TEXT_TEXT_LOG_READER_H_
