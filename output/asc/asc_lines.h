// The ASC frame lines: the CANFD line built from a template for speed, with
// its stb_sprintf twin, which defines the exact text; the LIN line.
#ifndef TRACEWRIGHT_OUTPUT_ASC_ASC_LINES_H_
#define TRACEWRIGHT_OUTPUT_ASC_ASC_LINES_H_

#include <string>

struct BusMessage;

/// Appends one CANFD line with its newline; `t0` is the time of the part's
/// first frame. Built from a template for the usual fields; the `_reference`
/// twin builds the same bytes through stb_sprintf (str_append_stbsp and
/// str_append_hex), and the fast builder hands it every other line.
void asc_writer_append_can_line(std::string* line, const BusMessage& frame, double t0);
void asc_writer_append_can_line_reference(std::string* line, const BusMessage& frame, double t0);
/// Appends one LIN line with its newline, through stb_sprintf.
void asc_writer_append_lin_line(std::string* line, const BusMessage& frame, double t0);

#endif  // TRACEWRIGHT_OUTPUT_ASC_ASC_LINES_H_
