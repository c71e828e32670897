// The header pass of the text log reader: every "#" line at the top of a log
// names one logger setting, and a table of key texts routes it to the field
// it sets. Private to input/text; text_log_open is its only caller.
#ifndef TRACEWRIGHT_INPUT_TEXT_HEADER_KEYS_H_
#define TRACEWRIGHT_INPUT_TEXT_HEADER_KEYS_H_

struct TextLogReader;

/// Seeks the stream to 0 and reads lines while they start with "#"; every key
/// text found in a line sets its field. Stops at the first other line or at
/// the end of input, leaving the stream behind that line. A malformed value
/// leaves its field as it was (TimeFormat becomes 0); a value longer than its
/// text field is cut to the field's capacity.
void text_log_read_header(TextLogReader* reader);

#endif  // TRACEWRIGHT_INPUT_TEXT_HEADER_KEYS_H_
