// Test hooks of the text log reader: the reference paths that the fuzz
// target holds the fast ones against. Product code outside input/text never
// includes this header.
#ifndef TRACEWRIGHT_INPUT_TEXT_TEXT_LOG_READER_INTERNAL_H_
#define TRACEWRIGHT_INPUT_TEXT_TEXT_LOG_READER_INTERNAL_H_

#include "input/text/text_log_reader.h"

/// The same as text_log_split_fields, one byte at a time; reads nothing
/// behind the NUL.
int text_log_split_fields_reference(char* line, char separator,
                                    char* fields[TEXT_LOG_COLUMN_SLOTS]);

/// While set, text_log_open binds the `_reference` decoders, which read
/// every number and time with the C library. Off at start.
void text_log_bind_reference_decoders_for_testing(bool reference);

#endif  // TRACEWRIGHT_INPUT_TEXT_TEXT_LOG_READER_INTERNAL_H_
