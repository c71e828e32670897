// The ASC writer: keeps every CAN and LIN frame of one input file in a
// frame store of its part and, when the pipeline reports the end of that
// file, writes them sorted by time as ASC trace text through the output
// filesystem. The CAN and the LIN file are written by one routine, driven by
// a small descriptor per part.
//
// Divisions of this file: the writer record and its kept frames; the header
// and the part descriptors; writing one part; the plug-in callbacks. The
// frame lines themselves are built in asc_lines.cc.
#include "output/asc/asc_writer.h"

#include "convert/bus_message.h"
#include "convert/conversion_options.h"
#include "convert/output_plugin.h"
#include "convert/output_registry.h"
#include "log/log.h"
#include "output/asc/asc_lines.h"
#include "output/asc/asc_writer_internal.h"
#include "output/asc/frame_store.h"
#include "output/asc/temporary_names.h"
#include "platform/filesystem.h"
#include "platform/interrupt.h"
#include "platform/path.h"
#include "platform/str.h"
#include "platform/stream.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <type_traits>

// ---------------------------------------------------------------------------
// The writer record and its kept frames

namespace {

struct AscWriter : OutputPlugin {
  /// Added to a part's first time where its date line is computed, and
  /// nowhere else. Nothing in the tool sets it, so it stays 0.
  double time_offset;
  FrameStore can;
  FrameStore lin;
  /// A frame of the current file could not be kept. Its trace would be
  /// incomplete while looking whole, so end_file then writes nothing.
  bool lost_frame;
  /// The CAN trace written as its frames come, while they come in time
  /// order; allocated at the first file, kept for the next ones.
  struct LiveTrace* live;
  /// Every trace written so far, so that none is overwritten by another
  /// input's under a name that reaches the same file.
  OutputRegistry* written;
};

}  // namespace

static_assert(std::is_trivial_v<AscWriter>,
              "the host allocates plug-in records with calloc and frees them with free");

void asc_writer_fail_allocation_for_testing(int64_t successes) {
  frame_store_fail_allocation_for_testing(successes);
}

static uint8_t flag(uint8_t value, uint8_t bit) { return value != 0 ? bit : 0; }

/// A kept frame holds the fields the CANFD line prints and the rest of the
/// CAN tail, in 32 bytes instead of a whole record.
static KeptFrame pack_can(const BusMessage& message) {
  const CanTail& can = message.CAN;
  KeptFrame kept{};
  kept.Timestamp = message.Timestamp;
  kept.ID = message.ID;
  kept.DataLength = static_cast<uint8_t>(message.DataLength);
  kept.DLC = can.DLC;
  kept.BusChannel = can.BusChannel;
  kept.flags = flag(can.IDE, KEPT_IDE) | flag(can.Dir, KEPT_DIR) | flag(can.EDL, KEPT_EDL) |
               flag(can.Remote, KEPT_REMOTE);
  kept.BRS = can.BRS;
  kept.ESI = can.ESI;
  return kept;
}

static KeptFrame pack_lin(const BusMessage& message) {
  KeptFrame kept{};
  kept.Timestamp = message.Timestamp;
  kept.ID = message.ID;
  kept.DataLength = static_cast<uint8_t>(message.DataLength);
  kept.DLC = message.LIN.ReceivedDataByteCount;
  kept.BusChannel = message.LIN.BusChannel;
  kept.flags = flag(message.LIN.Dir, KEPT_DIR);
  return kept;
}

// The lines only ask whether these are 0, so a bit brings back enough.
static uint8_t bit(const KeptFrame& kept, uint8_t mask) { return (kept.flags & mask) != 0; }

static void unpack_can(const KeptFrame& kept, const uint8_t* payload, BusMessage* message) {
  message->Timestamp = kept.Timestamp;
  message->ID = kept.ID;
  message->DataLength = kept.DataLength;
  message->Kind = bit(kept, KEPT_REMOTE) ? CAN_RemoteFrame : CAN_DataFrame;
  message->CAN.IDE = bit(kept, KEPT_IDE);
  message->CAN.Dir = bit(kept, KEPT_DIR);
  message->CAN.EDL = bit(kept, KEPT_EDL);
  message->CAN.ESI = kept.ESI;
  message->CAN.BRS = kept.BRS;
  message->CAN.Remote = bit(kept, KEPT_REMOTE);
  message->CAN.BusChannel = kept.BusChannel;
  message->CAN.DLC = kept.DLC;
  message->DataBytes = message->CAN.Payload;
  memcpy(message->CAN.Payload, payload, kept.DataLength);
}

static void unpack_lin(const KeptFrame& kept, const uint8_t* payload, LinMessage* message) {
  message->Timestamp = kept.Timestamp;
  message->ID = kept.ID;
  message->DataLength = kept.DataLength;
  message->Kind = LIN_Frame;
  message->LIN.Dir = bit(kept, KEPT_DIR);
  message->LIN.BusChannel = kept.BusChannel;
  message->LIN.ReceivedDataByteCount = kept.DLC;
  message->DataBytes = message->LIN.Payload;
  memcpy(message->LIN.Payload, payload, kept.DataLength);
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
  void (*unpack)(const KeptFrame& kept, const uint8_t* payload, Frame* frame);
  const char* open_failed;  ///< takes the path through "%s"
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
    .unpack = unpack_can,
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
    .unpack = unpack_lin,
    .open_failed = "Could not open output file for LIN: %s",
    .convert_failed = "Could not convert LIN time",
    .format_failed = nullptr,  // the LIN part fails silently here
    .header_failed = "Could not write LIN header",
    .data_failed = "Could not write LIN data",
    .footer_failed = "Could not write LIN footer",
};

// ---------------------------------------------------------------------------
// Writing one part

constexpr size_t kLineBatchBytes = 256 * 1024;

/// One stream_write of the whole text; false on a short write.
static bool write_text(Stream* stream, const std::string& text) {
  int64_t length = static_cast<int64_t>(text.size());
  return stream_write(stream, text.data(), length) == length;
}

enum PublishResult : uint8_t {
  PUBLISHED,
  NOT_FLUSHED,  // the file or its folder could not be forced to the disk
  NOT_RENAMED,  // the final name could not be taken (a folder holds it, ...)
  OVERWRITES,   // the final name reaches another input's trace (logged)
};

/// Puts a complete, closed temporary file in place of `path`. With -d the
/// input is removed after this, so the trace and then the folder entry that
/// names it are forced to the disk first: a power cut must not take the
/// input's only copy. A failed flush after the rename leaves the complete
/// trace in place but fails it, so that the input is kept.
static PublishResult publish(AscWriter* writer, std::string_view input,
                             const std::string& temporary, const std::string& path, int guard) {
  bool durable = writer->options->delete_converted;
  if (durable && !fs_flush(writer->output_fs, temporary)) return NOT_FLUSHED;
  switch (output_registry_commit(writer->written, writer->output_fs, temporary, path, input)) {
    case OUTPUT_COMMITTED: break;
    case OUTPUT_OVERWRITES: return OVERWRITES;
    case OUTPUT_NOT_RENAMED: return NOT_RENAMED;
  }
  interrupt_guard_disarm(guard);
  bool flushed = !durable || fs_flush(writer->output_fs, path_dir_prefix(path));
  return flushed ? PUBLISHED : NOT_FLUSHED;
}

#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wformat-nonliteral"
#pragma clang diagnostic ignored "-Wformat-security"
#endif
/// Creates the temporary file of "<stem><suffix>" (path and temporary name
/// filled in) and guards it against a stop by signal in a slot of its own
/// (`*guard`). Null, with no slot held and the failure logged when `report`,
/// if it cannot be had; a file already under the temporary name is left as
/// it is, as it is not this run's.
template <typename Frame, const AscPart<Frame>& kPart>
static Stream* open_part(AscWriter* writer, std::string_view stem, std::string* path,
                         std::string* temporary, int* guard, bool report) {
  path->assign(stem);
  path->append(kPart.suffix);
  *temporary = temporary_trace_path(*path);
  std::string guarded;
  fs_absolute_path(writer->output_fs, *temporary, &guarded);
  Stream* stream = nullptr;
  *guard = interrupt_guard_acquire();
  if (interrupt_guard_arm(*guard, guarded, false)) {
    stream = fs_open(writer->output_fs, *temporary,
                     FS_OPEN_WRITE | FS_OPEN_CREATE_NEW | FS_OPEN_IGNORED_BIT);
  }
  if (stream == nullptr) {
    interrupt_guard_release(*guard);
    *guard = 0;
    if (report) LOG(LOG_ERROR, kPart.open_failed, path->c_str());
  }
  return stream;
}

/// Writes the footer of a file that has its header, closes the stream and
/// puts a whole file in place of `path`; otherwise removes the temporary
/// file. The footer goes out even after a failed line: the file is removed
/// in that case, but the write may still tell of a second problem. Frees
/// the guard slot. Whether the part is complete.
template <typename Frame, const AscPart<Frame>& kPart>
static bool finish_part(AscWriter* writer, std::string_view input, Stream* stream,
                        const std::string& path, const std::string& temporary, int guard,
                        bool headed, bool failed, size_t lines_written, std::string* text) {
  if (headed) {
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
    switch (publish(writer, input, temporary, path, guard)) {
      case PUBLISHED: interrupt_guard_release(guard); return true;
      case NOT_RENAMED: LOG(LOG_ERROR, kPart.open_failed, path.c_str()); break;
      case OVERWRITES: break;
      case NOT_FLUSHED:
        // After a rename that went through, the temporary name is gone and
        // the removal below finds nothing.
        break;
    }
  }
  // The part fails whether or not the removal works, so its result adds
  // nothing to report.
  (void)fs_remove(writer->output_fs, temporary);
  interrupt_guard_release(guard);
  return false;
}

/// Writes the frames of a non-empty store to "<stem><suffix>" and returns
/// whether that file is complete. The file is written under a temporary
/// name and renamed only once whole, so a failure or an interruption never
/// leaves a partial trace under the final name nor harms a trace of an
/// earlier run there; the temporary file is removed on failure.
///
/// The descriptor is a template argument rather than a plain parameter so
/// that the compiler checks each message against its arguments. g++ reads
/// the constant messages through it; clang does not, and would flag every
/// one as a non-literal format, so it is told to leave them to g++.
template <typename Frame, const AscPart<Frame>& kPart>
static bool write_part(AscWriter* writer, std::string_view input, std::string_view stem,
                       FrameStore* store, std::string* text) {
  std::string path;
  std::string temporary;
  int guard = 0;
  Stream* stream = open_part<Frame, kPart>(writer, stem, &path, &temporary, &guard, true);
  if (stream == nullptr) return false;

  // The record the lines are built from; only its kept fields change.
  Frame frame{};
  KeptFrame kept{};
  const uint8_t* payload = nullptr;
  bool failed = !frame_store_start_reading(store) || frame_store_next(store, &kept, &payload) != 1;
  double t0 = kept.Timestamp;
  size_t lines_written = 0;
  switch (failed ? HEADER_NO_TEXT : build_header(text, writer->time_offset + t0)) {
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
      // A store that could not be read has said so already.
      if constexpr (kPart.format_failed != nullptr) {
        if (!failed) LOG(LOG_ERROR, kPart.format_failed);
      }
      failed = true;
      break;
  }

  // Without a header the file is removed anyway: no lines, no footer.
  bool headed = !failed;
  if (headed) {
    // Lines go out in batches of about kLineBatchBytes: one write per line
    // cost more in system calls than building the line did.
    int more = 1;
    size_t batched = 0;
    text->clear();
    while (more == 1 || batched > 0) {
      if (more == 1) {
        kPart.unpack(kept, payload, &frame);
        kPart.append_line(text, frame, t0);
        ++batched;
        more = frame_store_next(store, &kept, &payload);
        if (more == 1 && text->size() < kLineBatchBytes) continue;
      }
      if (!write_text(stream, *text)) {
        LOG(LOG_ERROR, kPart.data_failed);
        failed = true;
        break;
      }
      lines_written += batched;
      batched = 0;
      text->clear();
    }
    // A run that breaks off has been reported by the store.
    if (more < 0) failed = true;
  }
  return finish_part<Frame, kPart>(writer, input, stream, path, temporary, guard, headed, failed,
                                   lines_written, text);
}

// ---------------------------------------------------------------------------
// The live CAN trace

namespace {

/// A CAN trace written while its frames come in time order, which is how a
/// logger writes them almost always: the frames then need no keeping,
/// sorting or reading back, and the first one is the earliest, which dates
/// the header. The first frame out of order gives it up for the file: its
/// temporary file is removed, the driver hands every frame over again, and
/// they are kept and sorted, the trace then created anew from the store.
/// Lines go out in the same batches as from a store.
struct LiveTrace {
  Stream* stream = nullptr;  ///< null while no trace is being written
  int guard = 0;             ///< the interrupt guard slot of the temporary file
  bool off = false;          ///< given up (or not possible) for this file
  /// A write failed: the file fails at its end, with the message a trace
  /// written from the store would have had; until then frames are dropped.
  bool header_failed = false;
  bool data_failed = false;
  std::string stem;
  std::string path;
  std::string temporary;
  std::string text;  ///< lines not written yet
  BusMessage frame{};
  double t0 = 0;
  uint64_t last_key = 0;
  size_t batched = 0;  ///< lines in `text`
  size_t lines_written = 0;
};

enum LiveResult : uint8_t {
  LIVE_WRITTEN,
  LIVE_OFF,     // not written: keep the frame
  LIVE_REPLAY,  // given up after lines went out: every frame must come again
};

}  // namespace

static void live_discard(AscWriter* writer, LiveTrace* live) {
  if (live->stream == nullptr) return;
  (void)stream_close(live->stream);
  live->stream = nullptr;
  (void)fs_remove(writer->output_fs, live->temporary);
  interrupt_guard_release(live->guard);
  live->guard = 0;
}

static bool live_flush(LiveTrace* live) {
  bool written = write_text(live->stream, live->text);
  if (written) live->lines_written += live->batched;
  live->batched = 0;
  live->text.clear();
  return written;
}

/// Opens the trace at the first frame and writes its header. Any failure
/// only turns streaming off: the store path meets it again at the end and
/// reports it there, at the same point of the run as always.
static bool live_start(AscWriter* writer, LiveTrace* live, double t0) {
  // Without a driver that can hand the frames over again there is no way
  // back from a frame out of order.
  if (!writer->replay_possible) return false;
  live->stream = open_part<BusMessage, kCanPart>(writer, live->stem, &live->path, &live->temporary,
                                                 &live->guard, false);
  if (live->stream == nullptr) return false;
  live->t0 = t0;
  if (build_header(&live->text, writer->time_offset + t0) != HEADER_BUILT) {
    live_discard(writer, live);
    return false;
  }
  live->header_failed = !write_text(live->stream, live->text);
  live->text.clear();
  return true;
}

static LiveResult live_write(AscWriter* writer, const BusMessage& message) {
  LiveTrace* live = writer->live;
  if (live == nullptr || live->off) return LIVE_OFF;
  if (live->header_failed || live->data_failed) return LIVE_WRITTEN;
  KeptFrame kept = pack_can(message);
  uint64_t key = frame_time_key(kept.Timestamp);
  if (live->stream == nullptr) {
    if (!live_start(writer, live, kept.Timestamp)) {
      live->off = true;
      return LIVE_OFF;
    }
  } else if (key < live->last_key) {
    // Gone at once: the trace from the store is created anew under the same
    // name, and a file is never opened for writing over what it holds.
    live_discard(writer, live);
    live->off = true;
    return LIVE_REPLAY;
  }
  live->last_key = key;
  // Through the same packing as a kept frame, so the line is the same.
  unpack_can(kept, message.CAN.Payload, &live->frame);
  kCanPart.append_line(&live->text, live->frame, live->t0);
  ++live->batched;
  if (live->text.size() >= kLineBatchBytes && !live_flush(live)) live->data_failed = true;
  return LIVE_WRITTEN;
}

/// Writes the last batch and the footer and puts the trace in place.
static bool live_finish(AscWriter* writer, std::string_view input, LiveTrace* live,
                        std::string* text) {
  if (!live->header_failed && !live->data_failed && !live->text.empty() && !live_flush(live)) {
    live->data_failed = true;
  }
  if (live->header_failed) LOG(LOG_ERROR, kCanPart.header_failed);
  if (live->data_failed) LOG(LOG_ERROR, kCanPart.data_failed);
  bool headed = !live->header_failed;
  bool failed = live->header_failed || live->data_failed;
  Stream* stream = live->stream;
  int guard = live->guard;
  live->stream = nullptr;
  live->guard = 0;
  return finish_part<BusMessage, kCanPart>(writer, input, stream, live->path, live->temporary,
                                           guard, headed, failed, live->lines_written, text);
}

#if defined(__clang__)
#pragma clang diagnostic pop
#endif

// ---------------------------------------------------------------------------
// Plug-in callbacks

static const OutputPluginOps kAscWriterOps = {
    .destroy = asc_writer_destroy,
    .init = nullptr,  // calloc already left the writer with empty stores
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
    // An unbound plug-in never reaches destroy; its stores hold nothing yet.
    free(writer);
    return nullptr;
  }
  writer->written = output_registry_create();
  if (writer->written == nullptr) {
    output_plugin_destroy(writer);
    return nullptr;
  }
  return writer;
}

bool asc_writer_handle_record(OutputPlugin* plugin, const BusMessage* message) {
  if (plugin == nullptr || message == nullptr) return false;
  AscWriter* writer = static_cast<AscWriter*>(plugin);
  // Kind is a plain number here: values past LIN_Frame are ignored like the
  // empty record and error frames, which ASC has no line for.
  // The store reports why it could not keep a frame; a payload too long
  // for its kind is refused here without a message.
  bool kept = true;
  if (message->Kind == CAN_DataFrame || message->Kind == CAN_RemoteFrame) {
    if (message->DataLength > CAN_PAYLOAD_CAPACITY) {
      kept = false;
    } else {
      switch (live_write(writer, *message)) {
        case LIVE_WRITTEN: return true;
        case LIVE_REPLAY:
          // The LIN frames kept so far come again with the rest.
          frame_store_clear(&writer->lin);
          writer->replay_requested = true;
          return true;
        case LIVE_OFF:
          kept = frame_store_keep(&writer->can, pack_can(*message), message->CAN.Payload);
          break;
      }
    }
  } else if (message->Kind == LIN_Frame) {
    kept = message->DataLength <= LIN_PAYLOAD_CAPACITY &&
           frame_store_keep(&writer->lin, pack_lin(*message), message->LIN.Payload);
  }
  if (!kept) writer->lost_frame = true;
  return kept;
}

bool asc_writer_new_file(OutputPlugin* plugin, std::string_view output_path, size_t stem_length,
                         TextLogReader*) {
  if (plugin == nullptr) return false;
  AscWriter* writer = static_cast<AscWriter*>(plugin);
  // The stores name their spilled runs after the traces they will become.
  std::string trace(output_path.substr(0, stem_length));
  size_t stem_end = trace.size();
  trace.append(kCanPart.suffix);
  bool ready = frame_store_reset(&writer->can, writer->output_fs, trace);
  trace.replace(stem_end, std::string::npos, kLinPart.suffix);
  ready = frame_store_reset(&writer->lin, writer->output_fs, trace) && ready;
  writer->lost_frame = !ready;
  // Without memory for a live trace the frames are only kept.
  if (writer->live == nullptr) writer->live = new (std::nothrow) LiveTrace;
  if (writer->live != nullptr) {
    LiveTrace* live = writer->live;
    live_discard(writer, live);
    live->off = false;
    live->header_failed = false;
    live->data_failed = false;
    live->stem.assign(output_path.substr(0, stem_length));
    live->text.clear();
    live->text.reserve(kLineBatchBytes + 1024);
    live->last_key = 0;
    live->batched = 0;
    live->lines_written = 0;
  }
  return ready;
}

bool asc_writer_end_file(OutputPlugin* plugin, std::string_view input_path,
                         std::string_view output_path, size_t stem_length, bool file_failed) {
  if (plugin == nullptr) return false;
  AscWriter* writer = static_cast<AscWriter*>(plugin);
  // What was kept of a failed file is only part of it, and a file with a
  // lost frame would be incomplete: nothing is written, so the runs spilled
  // so far can go at once.
  LiveTrace* live = writer->live;
  bool streamed = live != nullptr && live->stream != nullptr;
  if (file_failed || writer->lost_frame) {
    if (live != nullptr) live_discard(writer, live);
    frame_store_clear(&writer->can);
    frame_store_clear(&writer->lin);
    return file_failed;
  }
  if (!streamed && writer->can.total == 0 && writer->lin.total == 0) return true;
  // The stem is a prefix of the path; no NUL ends it.
  std::string_view stem = output_path.substr(0, stem_length);
  // Room for a batch of lines and the one that ends it, so the buffer never
  // grows while the lines go out.
  std::string text;
  text.reserve(kLineBatchBytes + 1024);
  bool succeeded = true;
  // The LIN part runs even after the CAN part failed.
  if (streamed) {
    succeeded = live_finish(writer, input_path, live, &text);
  } else if (writer->can.total > 0) {
    succeeded = write_part<BusMessage, kCanPart>(writer, input_path, stem, &writer->can, &text);
  }
  if (writer->lin.total > 0) {
    succeeded = write_part<LinMessage, kLinPart>(writer, input_path, stem, &writer->lin, &text) &&
                succeeded;
  }
  // The frames have been read out; their spilled runs are of no more use.
  frame_store_clear(&writer->can);
  frame_store_clear(&writer->lin);
  return succeeded;
}

void asc_writer_destroy(OutputPlugin* plugin) {
  if (plugin == nullptr) return;
  AscWriter* writer = static_cast<AscWriter*>(plugin);
  frame_store_release(&writer->can);
  frame_store_release(&writer->lin);
  if (writer->live != nullptr) {
    live_discard(writer, writer->live);
    delete writer->live;
    writer->live = nullptr;
  }
  output_registry_destroy(writer->written);
  writer->written = nullptr;
}
