// The ASC writer: keeps a copy of every CAN and LIN frame of one input file
// and, when the pipeline reports the end of that file, writes them sorted by
// time as ASC trace text through the output filesystem. The CAN and the LIN
// file are written by one routine, driven by a small descriptor per part.
//
// Divisions of this file: the writer record and its frame lists; the header
// and the part descriptors; writing one part; the plug-in callbacks. The
// frame lines themselves are built in asc_lines.cc.
#include "output/asc/asc_writer.h"

#include "convert/bus_message.h"
#include "convert/conversion_options.h"
#include "convert/output_plugin.h"
#include "log/log.h"
#include "output/asc/asc_lines.h"
#include "output/asc/asc_writer_internal.h"
#include "platform/filesystem.h"
#include "platform/interrupt.h"
#include "platform/path.h"
#include "platform/str.h"
#include "platform/stream.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <type_traits>
#include <unistd.h>

// ---------------------------------------------------------------------------
// The writer record and its frame lists

namespace {

/// Kept frames live in blocks of about 64 KiB, filled in arrival order:
/// keeping a frame is a copy into the current block, and a heap allocation
/// only every few hundred frames. Blocks are value-initialised, so a frame
/// starts zeroed like a fresh record.
constexpr size_t kFrameBlockBytes = 64 * 1024;

template <typename Frame>
struct FrameBlock {
  static constexpr size_t kCapacity = (kFrameBlockBytes - sizeof(void*)) / sizeof(Frame);
  FrameBlock* previous;  ///< the block filled before this one, or null
  Frame frames[kCapacity];
};

/// Pointers to kept frames in arrival order (sorting moves only these), and
/// the blocks that own the frames. The array grows with realloc and a block
/// comes from new (std::nothrow), so running out of memory is a result
/// rather than an exception.
template <typename Frame>
struct FrameList {
  Frame** items;
  size_t count;
  size_t capacity;
  FrameBlock<Frame>* block;  ///< the block being filled, or null
  size_t block_used;         ///< frames of `block` taken so far
};

struct AscWriter : OutputPlugin {
  /// Added to a part's first time where its date line is computed, and
  /// nowhere else. Nothing in the tool sets it, so it stays 0.
  double time_offset;
  FrameList<BusMessage> can;
  FrameList<LinMessage> lin;
  /// A frame of the current file could not be kept. Its trace would be
  /// incomplete while looking whole, so end_file then writes nothing.
  bool lost_frame;
};

}  // namespace

// A power of two would make a new block due together with a larger array.
static_assert((FrameBlock<BusMessage>::kCapacity & (FrameBlock<BusMessage>::kCapacity - 1)) != 0);
static_assert((FrameBlock<LinMessage>::kCapacity & (FrameBlock<LinMessage>::kCapacity - 1)) != 0);

static_assert(std::is_trivial_v<AscWriter>,
              "the host allocates plug-in records with calloc and frees them with free");

// Process-wide, and only ever armed by asc_writer_fail_allocation_for_testing:
// the number of allocations that still succeed before one fails; negative
// while disarmed.
static int64_t g_allocations_before_failure = -1;

void asc_writer_fail_allocation_for_testing(int64_t successes) {
  g_allocations_before_failure = successes < 0 ? -1 : successes;
}

size_t asc_writer_frames_per_block_for_testing(bool lin) {
  return lin ? FrameBlock<LinMessage>::kCapacity : FrameBlock<BusMessage>::kCapacity;
}

static bool allocation_allowed() {
  if (g_allocations_before_failure < 0) return true;
  // Counting down past 0 fails this allocation and disarms the hook.
  return g_allocations_before_failure-- > 0;
}

/// Makes room for one more pointer; false when memory runs out, leaving the
/// list as it was.
template <typename Frame>
static bool frame_list_make_room(FrameList<Frame>* list) {
  if (list->count < list->capacity) return true;
  size_t capacity = list->capacity == 0 ? 64 : 2 * list->capacity;
  if (capacity > SIZE_MAX / sizeof(Frame*)) return false;
  void* grown = allocation_allowed() ? realloc(list->items, capacity * sizeof(Frame*))
                                     : nullptr;
  if (grown == nullptr) return false;
  list->items = static_cast<Frame**>(grown);
  list->capacity = capacity;
  return true;
}

/// Appends a copy of `message`; false, keeping nothing, when memory runs out
/// or the message claims more payload than its kind can hold (the copy
/// trusts the length, so such a record must not reach it).
template <typename Frame>
static bool frame_list_keep(FrameList<Frame>* list, const BusMessage* message,
                            uint64_t payload_capacity,
                            void (*copy)(const BusMessage*, Frame*)) {
  if (message->DataLength > payload_capacity) return false;
  if (!frame_list_make_room(list)) return false;
  if (list->block == nullptr || list->block_used == FrameBlock<Frame>::kCapacity) {
    auto* block = allocation_allowed() ? new (std::nothrow) FrameBlock<Frame>{} : nullptr;
    if (block == nullptr) return false;
    block->previous = list->block;
    list->block = block;
    list->block_used = 0;
  }
  Frame* kept = &list->block->frames[list->block_used++];
  copy(message, kept);
  list->items[list->count++] = kept;
  return true;
}

/// Frees every kept frame; the array stays for the next file. The blocks
/// go too, so one large file leaves no memory behind for the files after it.
template <typename Frame>
static void frame_list_clear(FrameList<Frame>* list) {
  while (list->block != nullptr) {
    FrameBlock<Frame>* previous = list->block->previous;
    delete list->block;
    list->block = previous;
  }
  list->block_used = 0;
  list->count = 0;
}

template <typename Frame>
static void frame_list_release(FrameList<Frame>* list) {
  frame_list_clear(list);
  free(list->items);
  list->items = nullptr;
  list->capacity = 0;
}

/// Orders the pointers by time. Frames with equal times keep the order in
/// which they arrived, so the same input always gives the same bytes.
template <typename Frame>
static void frame_list_sort(FrameList<Frame>* list, int (*compare)(const void*, const void*)) {
  auto earlier = [compare](const Frame* a, const Frame* b) { return compare(&a, &b) < 0; };
  Frame** begin = list->items;
  Frame** end = begin + list->count;
  // A logger writes its frames in time order almost always; one pass proves
  // it and spares the sort's scratch buffer.
  if (std::is_sorted(begin, end, earlier)) return;
  std::stable_sort(begin, end, earlier);
}

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
template <typename Frame>
struct AscPart {
  const char* suffix;  ///< appended to the stem to name the file
  void (*append_line)(std::string* line, const Frame& frame, double t0);
  int (*compare)(const void* a, const void* b);  ///< over elements of the list
  const char* open_failed;                       ///< takes the path through "%s"
  const char* convert_failed;
  const char* format_failed;
  const char* header_failed;
  const char* data_failed;
  const char* footer_failed;
};

}  // namespace

static constexpr AscPart<BusMessage> kCanPart = {
    .suffix = ".asc",
    .append_line = asc_writer_append_can_line,
    .compare = bus_message_compare_can_ptrs,
    .open_failed = "Could not open output file for CAN: %s",
    .convert_failed = "Could not convert CAN time",
    .format_failed = "Could not format CAN time",
    .header_failed = "Could not write CAN header",
    .data_failed = "Could not write CAN data",
    .footer_failed = "Could not write CAN footer",
};

static constexpr AscPart<LinMessage> kLinPart = {
    .suffix = "_LIN.asc",
    .append_line = asc_writer_append_lin_line,
    .compare = bus_message_compare_lin_ptrs,
    .open_failed = "Could not open output file for LIN: %s",
    .convert_failed = "Could not convert LIN time",
    .format_failed = nullptr,  // the LIN part fails silently here
    .header_failed = "Could not write LIN header",
    .data_failed = "Could not write LIN data",
    .footer_failed = "Could not write LIN footer",
};

// ---------------------------------------------------------------------------
// Writing one part

/// One stream_write of the whole text; false on a short write.
static bool write_text(Stream* stream, const std::string& text) {
  int64_t length = static_cast<int64_t>(text.size());
  return stream_write(stream, text.data(), length) == length;
}

/// The name a trace is written under until it is complete: beside the
/// trace, hidden by its leading dot, and unique to this process, e.g.
/// logs/.00000001.asc.4711.tmp for logs/00000001.asc. It ends in ".tmp", so
/// a later walk over the folder passes it over. Only the first 200 bytes of
/// the name are used, so that a trace whose name is near the platform's
/// limit of 255 still gets a temporary name; the process id keeps it
/// unique, as a process writes one temporary file at a time.
static std::string temporary_path(std::string_view path) {
  std::string temporary(path_dir_prefix(path));
  std::string_view name = path_basename(path).substr(0, 200);
  str_append_printf(&temporary, ".%.*s.%ld.tmp", static_cast<int>(name.size()), name.data(),
                    static_cast<long>(getpid()));
  return temporary;
}

enum PublishResult : uint8_t {
  PUBLISHED,
  NOT_FLUSHED,  // the file or its folder could not be forced to the disk
  NOT_RENAMED,  // the final name could not be taken (a folder holds it, ...)
};

/// Puts a complete, closed temporary file in place of `path`. With -d the
/// input is removed after this, so the trace and then the folder entry that
/// names it are forced to the disk first: a power cut must not take the
/// input's only copy. A failed flush after the rename leaves the complete
/// trace in place but fails it, so that the input is kept.
static PublishResult publish(AscWriter* writer, const std::string& temporary,
                             const std::string& path) {
  bool durable = writer->options->delete_converted;
  if (durable && !fs_flush(writer->output_fs, temporary)) return NOT_FLUSHED;
  if (!fs_rename(writer->output_fs, temporary, path)) return NOT_RENAMED;
  interrupt_release_file();
  bool flushed = !durable || fs_flush(writer->output_fs, path_dir_prefix(path));
  return flushed ? PUBLISHED : NOT_FLUSHED;
}

/// Writes the frames of a non-empty list to "<stem><suffix>" and returns
/// whether that file is complete. The file is written under a temporary
/// name and renamed only once whole, so a failure or an interruption never
/// leaves a partial trace under the final name nor harms a trace of an
/// earlier run there; the temporary file is removed on failure.
///
/// The descriptor is a template argument rather than a plain parameter so
/// that the compiler checks each message against its arguments. g++ reads
/// the constant messages through it; clang does not, and would flag every
/// one as a non-literal format, so it is told to leave them to g++.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wformat-nonliteral"
#pragma clang diagnostic ignored "-Wformat-security"
#endif
template <typename Frame, const AscPart<Frame>& kPart>
static bool write_part(AscWriter* writer, std::string_view stem, FrameList<Frame>* list,
                       std::string* text) {
  std::string path(stem);
  path.append(kPart.suffix);
  std::string temporary = temporary_path(path);
  std::string guarded;
  fs_absolute_path(writer->output_fs, temporary, &guarded);
  Stream* stream = nullptr;
  if (interrupt_guard_file(guarded)) {
    stream = fs_open(writer->output_fs, temporary, FS_OPEN_WRITE | FS_OPEN_IGNORED_BIT);
  }
  if (stream == nullptr) {
    interrupt_release_file();
    LOG(LOG_ERROR, kPart.open_failed, path.c_str());
    return false;
  }

  frame_list_sort(list, kPart.compare);
  double t0 = list->items[0]->Timestamp;
  bool failed = false;
  size_t lines_written = 0;
  switch (build_header(text, writer->time_offset + t0)) {
    case HEADER_BUILT:
      if (!write_text(stream, *text)) {
        LOG(LOG_ERROR, kPart.header_failed);
        failed = true;
      }
      break;
    case HEADER_NO_DATE:
      LOG(LOG_ERROR, kPart.convert_failed);
      failed = true;
      break;
    case HEADER_NO_TEXT:
      if constexpr (kPart.format_failed != nullptr) LOG(LOG_ERROR, kPart.format_failed);
      failed = true;
      break;
  }

  // Without a header the file is removed anyway: no lines, no footer.
  if (!failed) {
    for (size_t i = 0; i < list->count; ++i) {
      text->clear();
      kPart.append_line(text, *list->items[i], t0);
      if (!write_text(stream, *text)) {
        LOG(LOG_ERROR, kPart.data_failed);
        failed = true;
        break;
      }
      ++lines_written;
    }
    // The footer goes out even after a failed line: the file is removed in
    // that case, but the write may still tell of a second problem.
    text->clear();
    text->append("End Triggerblock\n");
    if (!write_text(stream, *text)) {
      LOG(LOG_ERROR, kPart.footer_failed);
      failed = true;
    }
  }

  // Buffered bytes reach the disk only now, so a full disk may show itself
  // at the close alone; that counts as a failed file, without a message.
  bool closed = stream_close(stream) == 0;
  if (closed && lines_written > 0 && !failed) {
    // The final name is where an existing file is replaced, so failing to
    // take it is reported like a file that cannot be opened. A failed flush
    // has no message, like a failed close.
    switch (publish(writer, temporary, path)) {
      case PUBLISHED:
        return true;
      case NOT_RENAMED:
        LOG(LOG_ERROR, kPart.open_failed, path.c_str());
        break;
      case NOT_FLUSHED:
        // After a rename that went through, the temporary name is gone and
        // the removal below finds nothing.
        break;
    }
  }
  // The part fails whether or not the removal works, so its result adds
  // nothing to report.
  (void)fs_remove(writer->output_fs, temporary);
  interrupt_release_file();
  return false;
}
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

// ---------------------------------------------------------------------------
// Plug-in callbacks

static const OutputPluginOps kAscWriterOps = {
    .destroy = asc_writer_destroy,
    .init = nullptr,  // calloc already left the writer with empty lists
    .handle_record = asc_writer_handle_record,
    .new_file = asc_writer_new_file,
    .end_file = asc_writer_end_file,
};

OutputPlugin* asc_writer_create(FileSystem* input_fs, FileSystem* output_fs,
                                ConversionOptions* options) {
  auto* writer = static_cast<AscWriter*>(calloc(1, sizeof(AscWriter)));
  if (writer == nullptr) return nullptr;
  writer->ops = &kAscWriterOps;
  if (!output_plugin_init(writer, input_fs, output_fs, options)) {
    // An unbound plug-in never reaches destroy; its lists hold nothing yet.
    free(writer);
    return nullptr;
  }
  return writer;
}

bool asc_writer_handle_record(OutputPlugin* plugin, const BusMessage* message) {
  if (plugin == nullptr || message == nullptr) return false;
  AscWriter* writer = static_cast<AscWriter*>(plugin);
  // Kind is a plain number here: values past LIN_Frame are ignored like the
  // empty record and error frames, which ASC has no line for.
  bool kept = true;
  bool fits = true;
  if (message->Kind == CAN_DataFrame || message->Kind == CAN_RemoteFrame) {
    fits = message->DataLength <= CAN_PAYLOAD_CAPACITY;
    kept = fits && frame_list_keep(&writer->can, message, CAN_PAYLOAD_CAPACITY,
                                   bus_message_copy_can);
  } else if (message->Kind == LIN_Frame) {
    fits = message->DataLength <= LIN_PAYLOAD_CAPACITY;
    kept = fits && frame_list_keep(&writer->lin, message, LIN_PAYLOAD_CAPACITY,
                                   bus_message_copy_lin);
  }
  if (fits && !kept) LOG(LOG_ERROR, "Out of memory while keeping frames");
  if (!kept) writer->lost_frame = true;
  return kept;
}

bool asc_writer_new_file(OutputPlugin* plugin, std::string_view, size_t, TextLogReader*) {
  if (plugin == nullptr) return false;
  AscWriter* writer = static_cast<AscWriter*>(plugin);
  frame_list_clear(&writer->can);
  frame_list_clear(&writer->lin);
  writer->lost_frame = false;
  return true;
}

bool asc_writer_end_file(OutputPlugin* plugin, std::string_view output_path,
                         size_t stem_length, bool file_failed) {
  if (plugin == nullptr) return false;
  AscWriter* writer = static_cast<AscWriter*>(plugin);
  // What was kept of a failed file is only part of it; nothing is written.
  if (file_failed) {
    frame_list_clear(&writer->can);
    frame_list_clear(&writer->lin);
    return true;
  }
  if (writer->lost_frame) return false;
  if (writer->can.count == 0 && writer->lin.count == 0) return true;
  // The stem is a prefix of the path; no NUL ends it.
  std::string_view stem = output_path.substr(0, stem_length);
  std::string text;
  text.reserve(256);
  bool succeeded = true;
  // The LIN part runs even after the CAN part failed.
  if (writer->can.count > 0) {
    succeeded = write_part<BusMessage, kCanPart>(writer, stem, &writer->can, &text);
  }
  if (writer->lin.count > 0) {
    succeeded = write_part<LinMessage, kLinPart>(writer, stem, &writer->lin, &text) && succeeded;
  }
  return succeeded;
}

void asc_writer_destroy(OutputPlugin* plugin) {
  if (plugin == nullptr) return;
  AscWriter* writer = static_cast<AscWriter*>(plugin);
  frame_list_release(&writer->can);
  frame_list_release(&writer->lin);
}
