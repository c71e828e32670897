// The ASC format: the text of the CAN and the LIN trace of a log, built as
// the ordering core hands the frames over in time order. The CAN and the LIN
// file are written by one routine, driven by a small descriptor per part;
// the frame lines themselves are built in asc_lines.cc, and the files' life
// is the trace file's.
#include "output/asc/asc_writer.h"

#include "convert/bus_message.h"
#include "log/log.h"
#include "output/asc/asc_lines.h"
#include "output/trace_file.h"
#include "output/trace_format.h"
#include "platform/str.h"

#include <climits>
#include <cstdint>
#include <ctime>
#include <new>
#include <string>

// ---------------------------------------------------------------------------
// The header and the part descriptors

namespace {

enum HeaderResult : uint8_t {
  HEADER_BUILT,
  HEADER_NO_DATE,  // the seconds have no broken-down UTC date
  HEADER_NO_TEXT,  // strftime produced nothing
};

}  // namespace

/// Replaces `text` with the three header lines, dated with the whole seconds
/// of `seconds` (truncated toward zero):
///   date Fri Mar 15 02:07:09 PM 2024
///   base hex  timestamps absolute
///   Begin Triggerblock
static HeaderResult build_header(std::string* text, double seconds) {
  text->clear();
  // time_t holds [-2^63, 2^63); outside it (or for a NaN) the conversion
  // itself would be undefined, so such a time has no date.
  constexpr double kTimeLimit = 9223372036854775808.0;
  if (!(seconds >= -kTimeLimit && seconds < kTimeLimit)) return HEADER_NO_DATE;
  time_t whole = static_cast<time_t>(seconds);
  struct tm utc {};
  if (gmtime_r(&whole, &utc) == nullptr) return HEADER_NO_DATE;
  // gmtime_r accepts years a little past INT_MAX, which " %4d" cannot print.
  if (utc.tm_year > INT_MAX - 1900) return HEADER_NO_DATE;
  // The process never leaves the C locale, so the names are English and the
  // day and the 12-hour clock have two digits.
  char date[64];
  size_t date_length = strftime(date, sizeof date, "%a %b %d %I:%M:%S ", &utc);
  if (date_length == 0) return HEADER_NO_TEXT;
  text->append("date ");
  text->append(date, date_length);
  text->append(utc.tm_hour > 11 ? "PM" : "AM");
  str_append_printf(text, " %4d", utc.tm_year + 1900);
  text->append("\nbase hex  timestamps absolute\nBegin Triggerblock\n");
  return HEADER_BUILT;
}

namespace {

/// What distinguishes the CAN part from the LIN part. A null message means
/// that the part reports that situation through its result alone.
struct AscPart {
  const char* suffix;  ///< appended to the stem to name the file
  void (*append_line)(std::string* line, const BusMessage& frame, double t0);
  const char* open_failed;  ///< takes the path through "%s"
  const char* convert_failed;
  const char* format_failed;
  const char* header_failed;
  const char* data_failed;
  const char* footer_failed;
};

}  // namespace

static constexpr AscPart kCanPart = {
    .suffix = ".asc",
    .append_line = asc_writer_append_can_line,
    .open_failed = "Could not open output file for CAN: %s",
    .convert_failed = "Could not convert CAN time",
    .format_failed = "Could not format CAN time",
    .header_failed = "Could not write CAN header",
    .data_failed = "Could not write CAN data",
    .footer_failed = "Could not write CAN footer",
};

static constexpr AscPart kLinPart = {
    .suffix = "_LIN.asc",
    .append_line = asc_writer_append_lin_line,
    .open_failed = "Could not open output file for LIN: %s",
    .convert_failed = "Could not convert LIN time",
    .format_failed = nullptr,  // the LIN part fails silently here
    .header_failed = "Could not write LIN header",
    .data_failed = "Could not write LIN data",
    .footer_failed = "Could not write LIN footer",
};

// ---------------------------------------------------------------------------
// Writing one part

namespace {

/// How a part of the current log went wrong; the first failure is kept and
/// reported when the part is finished, so the messages come in part order.
enum PartFailure : uint8_t {
  PART_WRITING,
  PART_NOT_OPENED,
  PART_NO_DATE,
  PART_NO_TEXT,
  PART_HEADER_SHORT,
  PART_DATA_SHORT,
};

struct AscTrace {
  TraceFile file;
  bool started = false;  ///< its first frame came, so it was opened
  PartFailure failure = PART_WRITING;
  double t0 = 0;  ///< the part's first time: lines are relative to it
};

struct AscWriter : TraceFormat {
  AscTrace can;
  AscTrace lin;
};

}  // namespace

#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wformat-nonliteral"
#pragma clang diagnostic ignored "-Wformat-security"
#endif

/// Opens the part's trace at its first frame, which is its earliest and
/// dates the header.
template <const AscPart& kPart>
static void start_part(AscWriter* writer, AscTrace* part, double t0) {
  part->started = true;
  part->t0 = t0;
  std::string path = writer->stem + kPart.suffix;
  if (!trace_file_open(&part->file, writer->target.fs, path)) {
    part->file.path = path;
    part->failure = PART_NOT_OPENED;
    return;
  }
  switch (build_header(&part->file.pending, t0)) {
    case HEADER_BUILT:
      if (!trace_file_write_pending(&part->file, true)) part->failure = PART_HEADER_SHORT;
      break;
    case HEADER_NO_DATE: part->failure = PART_NO_DATE; break;
    case HEADER_NO_TEXT: part->failure = PART_NO_TEXT; break;
  }
}

template <const AscPart& kPart>
static void take_frame(AscWriter* writer, AscTrace* part, const BusMessage& frame) {
  if (!part->started) start_part<kPart>(writer, part, frame.Timestamp);
  if (part->failure != PART_WRITING) return;
  kPart.append_line(&part->file.pending, frame, part->t0);
  if (!trace_file_write_pending(&part->file, false)) part->failure = PART_DATA_SHORT;
}

/// Reports the part's failure, writes the footer of a file that has its
/// header and puts a whole file in place; otherwise its temporary file is
/// removed. The footer goes out even after a failed line: the file is
/// removed in that case, but the write may still tell of a second problem.
/// Whether the part is complete (true for a part the log had no frame for).
template <const AscPart& kPart>
static bool finish_part(AscWriter* writer, AscTrace* part, std::string_view input) {
  if (!part->started) return true;
  part->started = false;
  if (part->failure == PART_WRITING && !trace_file_write_pending(&part->file, true)) {
    part->failure = PART_DATA_SHORT;
  }
  switch (part->failure) {
    case PART_WRITING: break;
    case PART_NOT_OPENED: LOG(LOG_ERROR, kPart.open_failed, part->file.path.c_str()); return false;
    case PART_NO_DATE: LOG(LOG_ERROR, kPart.convert_failed); break;
    case PART_NO_TEXT:
      if constexpr (kPart.format_failed != nullptr) LOG(LOG_ERROR, kPart.format_failed);
      break;
    case PART_HEADER_SHORT: LOG(LOG_ERROR, kPart.header_failed); break;
    case PART_DATA_SHORT: LOG(LOG_ERROR, kPart.data_failed); break;
  }
  bool whole = part->failure == PART_WRITING;
  if (whole || part->failure == PART_DATA_SHORT) {
    part->file.pending.append("End Triggerblock\n");
    if (!trace_file_write_pending(&part->file, true)) {
      LOG(LOG_ERROR, kPart.footer_failed);
      whole = false;
    }
  }
  switch (trace_file_finish(&part->file, whole, writer->target.durable, writer->target.registry,
                            input)) {
    case TRACE_IN_PLACE: return true;
    // The final name is where an existing file is replaced, so failing to
    // take it is reported like a file that cannot be opened.
    case TRACE_OVERWRITES: break;  // the registry said why
    case TRACE_NOT_RENAMED: LOG(LOG_ERROR, kPart.open_failed, part->file.path.c_str()); break;
    // A close or flush that fails has no message of its own.
    case TRACE_FAILED: break;
  }
  return false;
}

#if defined(__clang__)
#pragma clang diagnostic pop
#endif

// ---------------------------------------------------------------------------
// The format's operations

static void abandon_part(AscTrace* part) {
  if (part->started && part->failure != PART_NOT_OPENED) trace_file_abandon(&part->file);
  part->started = false;
  part->failure = PART_WRITING;
}

static void asc_abandon(TraceFormat* format) {
  auto* writer = static_cast<AscWriter*>(format);
  abandon_part(&writer->can);
  abandon_part(&writer->lin);
}

static void asc_begin(TraceFormat* format, std::string_view stem) {
  asc_abandon(format);
  format->stem.assign(stem);
}

static void asc_frame(TraceFormat* format, const BusMessage& frame) {
  auto* writer = static_cast<AscWriter*>(format);
  if (frame.Kind == LIN_Frame) {
    take_frame<kLinPart>(writer, &writer->lin, frame);
  } else {
    take_frame<kCanPart>(writer, &writer->can, frame);
  }
}

static bool asc_finish(TraceFormat* format, std::string_view input) {
  auto* writer = static_cast<AscWriter*>(format);
  // The LIN part is finished even after the CAN part failed.
  bool can = finish_part<kCanPart>(writer, &writer->can, input);
  bool lin = finish_part<kLinPart>(writer, &writer->lin, input);
  return can && lin;
}

static void asc_destroy(TraceFormat* format) {
  asc_abandon(format);
  delete static_cast<AscWriter*>(format);
}

static const TraceFormatOps kAscOps = {
    .begin = asc_begin,
    .frame = asc_frame,
    .finish = asc_finish,
    .abandon = asc_abandon,
    .destroy = asc_destroy,
};

TraceFormat* asc_writer_create(const TraceTarget& target) {
  auto* writer = new (std::nothrow) AscWriter{};
  if (writer == nullptr) return nullptr;
  writer->ops = &kAscOps;
  writer->target = target;
  return writer;
}
