// Test hooks of the ASC writer and the line builders that its tests compare.
// Product code outside the writer never includes this header.
#ifndef TRACEWRIGHT_OUTPUT_ASC_ASC_WRITER_INTERNAL_H_
#define TRACEWRIGHT_OUTPUT_ASC_ASC_WRITER_INTERNAL_H_

#include <cstddef>
#include <cstdint>
#include <string>

struct BusMessage;
struct LinMessage;

/// Makes the writer's allocation `successes` allocations from now fail, as
/// if memory had run out (0: the very next one). The allocations counted are
/// a block for kept frames and the growth of a frame list. The hook disarms
/// itself after the failure; a negative value disarms it at once.
void asc_writer_fail_allocation_for_testing(int64_t successes);
/// How many CAN (`lin` false) or LIN frames one block keeps: the frame after
/// that many needs a new block. Never a power of two, so a new block is
/// never due together with the growth of the frame list's array (64, 128,
/// ... pointers).
size_t asc_writer_frames_per_block_for_testing(bool lin);

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

#endif  // TRACEWRIGHT_OUTPUT_ASC_ASC_WRITER_INTERNAL_H_
