// The ASC frame lines, built field by field for speed, and their stb_sprintf
// twins, which define the exact text and which the tests compare against.
#ifndef TRACEWRIGHT_OUTPUT_ASC_ASC_LINES_H_
#define TRACEWRIGHT_OUTPUT_ASC_ASC_LINES_H_

#include <string>

struct BusMessage;
struct LinMessage;

/// Appends one CANFD line with its newline; `t0` is the time of the part's
/// first frame. Written field by field; the `_reference` twin builds the same
/// bytes through stb_sprintf (str_append_stbsp and str_append_hex).
void asc_writer_append_can_line(std::string* line, const BusMessage& frame, double t0);
void asc_writer_append_can_line_reference(std::string* line, const BusMessage& frame, double t0);
/// The same for one LIN line.
void asc_writer_append_lin_line(std::string* line, const LinMessage& frame, double t0);
void asc_writer_append_lin_line_reference(std::string* line, const LinMessage& frame, double t0);

/// Writes `seconds` at `out` as stb_sprintf's "% *.6f" with `width` writes it
/// and returns the end of the text, or returns null and writes nothing for a
/// value whose text it leaves to stb_sprintf (see the .cc). At most
/// max(width, 16) bytes.
char* asc_writer_format_seconds(char* out, double seconds, int width);

#endif  // TRACEWRIGHT_OUTPUT_ASC_ASC_LINES_H_
