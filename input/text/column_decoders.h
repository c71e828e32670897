// The decoders bound to the columns of a text log, the pieces of the
// timestamp decoder, and the splitting of a line into its fields. Private to
// input/text: the reader binds the decoders by column title. Each decoder that reads a number has a
// `_reference` twin that reads it with the C library (sscanf, timegm): the
// decoders give the same result for every text, reading the usual forms by
// hand and leaving the others to their twin.
#ifndef TRACEWRIGHT_INPUT_TEXT_COLUMN_DECODERS_H_
#define TRACEWRIGHT_INPUT_TEXT_COLUMN_DECODERS_H_

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string_view>

#include "input/text/text_log_reader.h"

struct BusMessage;

/// Digits of a composed time text: yyyyMMddhhmmssSSS.
constexpr size_t TEXT_LOG_TIME_DIGITS = 17;
/// Bytes of a composed time text, its NUL included.
constexpr size_t TEXT_LOG_TIME_TEXT_SIZE = TEXT_LOG_TIME_DIGITS + 1;
static_assert(sizeof(TextLogReader::time_prefix) == TEXT_LOG_TIME_TEXT_SIZE,
              "the prefix is a whole time text");

/// True when `title` names a column ("Timestamp", "Lost", "Type", "ID",
/// "Length", "Data", case-sensitive); `*decoder` is then its decoder, null
/// for "Lost", whose field is read and ignored. False (and `*decoder` null)
/// for any other title.
bool text_log_find_column(std::string_view title, ColumnDecoder* decoder);

/// "Timestamp": Timestamp, from the composed time text, corrected for
/// rollover against this reader's earlier records.
void text_log_decode_timestamp(TextLogReader* reader, const char* field, BusMessage* record);
/// "Type": the first character gives IDE and Dir ('0' 0/0, '1' 1/0, '8' 0/1,
/// '9' 1/1); any other character sets nothing.
void text_log_decode_type(TextLogReader* reader, const char* field, BusMessage* record);
/// "ID": hexadecimal, "0x" accepted; ID stays 0 when nothing parses.
void text_log_decode_id(TextLogReader* reader, const char* field, BusMessage* record);
/// "Length": unsigned decimal into DLC, modulo 256; DataLength untouched.
void text_log_decode_length(TextLogReader* reader, const char* field, BusMessage* record);
/// "Data": up to 8 bytes from hex digit pairs; DLC and DataLength become the
/// count, DataBytes the Payload. A pair that does not parse counts as a 0
/// byte; a lone last digit is one byte.
void text_log_decode_data(TextLogReader* reader, const char* field, BusMessage* record);

/// The same decoders reading every number with sscanf ("%x", "%hhu",
/// "%2hhx") and every time with sscanf and timegm: the yardstick of the four
/// above.
void text_log_decode_timestamp_reference(TextLogReader* reader, const char* field,
                                         BusMessage* record);
void text_log_decode_id_reference(TextLogReader* reader, const char* field, BusMessage* record);
void text_log_decode_length_reference(TextLogReader* reader, const char* field, BusMessage* record);
void text_log_decode_data_reference(TextLogReader* reader, const char* field, BusMessage* record);

/// Calendar fields for timegm or mktime from the components as read.
/// Unsigned arithmetic wraps and the conversion to int is modular, so even a
/// signed component ("-5") gives defined fields.
struct tm text_log_calendar_fields(unsigned year, unsigned month, unsigned day, unsigned hour,
                                   unsigned minute, unsigned second);

/// Writes the 17 digits (and a NUL) that date a record: the template
/// "19700101000000000", its front overwritten by the first 17 characters of
/// the header time text and its end by the last 17 characters of `field`,
/// both without separators and without the letter T. The reader's
/// time_prefix must be prepared (text_log_prepare_time_prefix).
/// @code
///   header "20240315T101500", field "10:15:00.123" => "20240315101500123"
///   header "",                field "101500123"    => "19700101101500123"
///   header "",                field "9920240315101500123" => "20240315101500123"
/// @endcode
void text_log_compose_time_text(const TextLogReader* reader, const char* field, char* text);
/// Works out the reader's time_prefix from its header fields, so the
/// composition above need not scan the header time for every record, and
/// from it header_seconds when there is a header time text. Called
/// by text_log_open once the header is read; the header fields must not
/// change afterwards.
void text_log_prepare_time_prefix(TextLogReader* reader);
/// The same as text_log_compose_time_text, testing every character against
/// every separator, and never using time_prefix.
void text_log_compose_time_text_reference(const TextLogReader* reader, const char* field,
                                          char* text);
/// Reads a composed text as UTC calendar fields ("%4u%2u%2u%2u%2u%2u%3u"; a
/// component that does not parse, and every one after it, counts as 0) and
/// converts them with timegm, which normalises out-of-range fields.
void text_log_parse_time_text(const char* text, int64_t* seconds, uint32_t* milliseconds);
/// The same through sscanf and timegm themselves.
void text_log_parse_time_text_reference(const char* text, int64_t* seconds, uint32_t* milliseconds);
/// Places one record's whole seconds in the file's time line: adds the
/// RolloverOffset and steps it once when the time fell more than one second
/// behind the file's first record, more than half a step behind the previous
/// record, or, for the first record, below 0 or more than half a step behind
/// the header time (header_seconds); then sets the file's reference from its
/// first record and remembers the result as the previous time. Returns the
/// corrected seconds.
int64_t text_log_place_time(TextLogReader* reader, int64_t seconds, uint32_t milliseconds);

#endif  // TRACEWRIGHT_INPUT_TEXT_COLUMN_DECODERS_H_
