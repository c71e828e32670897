// The trace writer: the one output plug-in. It decides, per log, whether the
// frames can go to the formats as they come (they come in time order) or
// must be kept and sorted first, and answers the pipeline's callbacks for
// every format at once.
#include "output/trace_writer.h"

#include "convert/bus_message.h"
#include "convert/conversion_options.h"
#include "convert/output_plugin.h"
#include "output/asc/asc_writer.h"
#include "output/blf/blf_writer.h"
#include "output/candump/candump_writer.h"
#include "output/frame_store.h"
#include "output/trace_format.h"
#include "platform/interrupt.h"

#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace {

/// At most one format of each kind, in this order: the order in which
/// their traces are finished and their messages appear.
constexpr size_t kMaxFormats = 3;

struct TraceWriter : OutputPlugin {
  OutputRegistry* registry;  ///< shared with the run's other writers; not owned
  TraceFormat* formats[kMaxFormats];
  size_t format_count;
  /// The frames of a log out of time order; empty while they go straight
  /// through.
  FrameStore store;
  /// Frames go to the formats as they come; cleared by the first frame
  /// earlier than the one before, or from the start when the pipeline
  /// cannot hand the log over again.
  bool live;
  uint64_t last_key;  ///< time key of the last frame handed on live
  /// A frame could not be kept: the traces would look whole without it,
  /// so end_file writes nothing.
  bool lost_frame;
};

}  // namespace

// Every trace a writer may hold open, and its frame store, have a guard slot.
static_assert(INTERRUPT_GUARD_SLOTS >= (kMaxFormats + 2) * MAX_JOBS);

static_assert(std::is_trivial_v<TraceWriter>,
              "the host allocates plug-in records with calloc and frees them with free");

static uint8_t flag(uint8_t value, uint8_t bit) { return value != 0 ? bit : 0; }

/// A kept frame holds the fields every format writes, in 32 bytes instead
/// of a whole record.
static KeptFrame pack(const BusMessage& message) {
  KeptFrame kept{};
  kept.Timestamp = message.Timestamp;
  kept.ID = message.ID;
  kept.DataLength = static_cast<uint8_t>(message.DataLength);
  if (message.Kind == LIN_Frame) {
    kept.DLC = message.LIN.ReceivedDataByteCount;
    kept.BusChannel = message.LIN.BusChannel;
    kept.flags = KEPT_LIN | flag(message.LIN.Dir, KEPT_DIR);
    return kept;
  }
  const CanTail& can = message.CAN;
  kept.DLC = can.DLC;
  kept.BusChannel = can.BusChannel;
  kept.flags = flag(can.IDE, KEPT_IDE) | flag(can.Dir, KEPT_DIR) | flag(can.EDL, KEPT_EDL) |
               flag(can.Remote, KEPT_REMOTE);
  kept.BRS = can.BRS;
  kept.ESI = can.ESI;
  return kept;
}

// The formats only ask whether these are 0, so a bit brings back enough.
static uint8_t bit(const KeptFrame& kept, uint8_t mask) { return (kept.flags & mask) != 0; }

static void unpack(const KeptFrame& kept, const uint8_t* payload, BusMessage* message) {
  message->Timestamp = kept.Timestamp;
  message->ID = kept.ID;
  message->DataLength = kept.DataLength;
  if (bit(kept, KEPT_LIN)) {
    message->Kind = LIN_Frame;
    message->LIN.Dir = bit(kept, KEPT_DIR);
    message->LIN.BusChannel = kept.BusChannel;
    message->LIN.ReceivedDataByteCount = kept.DLC;
    message->DataBytes = message->LIN.Payload;
    memcpy(message->LIN.Payload, payload, kept.DataLength);
    return;
  }
  CanTail& can = message->CAN;
  message->Kind = bit(kept, KEPT_REMOTE) ? CAN_RemoteFrame : CAN_DataFrame;
  can.IDE = bit(kept, KEPT_IDE);
  can.Dir = bit(kept, KEPT_DIR);
  can.EDL = bit(kept, KEPT_EDL);
  can.ESI = kept.ESI;
  can.BRS = kept.BRS;
  can.Remote = bit(kept, KEPT_REMOTE);
  can.BusChannel = kept.BusChannel;
  can.DLC = kept.DLC;
  message->DataBytes = can.Payload;
  memcpy(can.Payload, payload, kept.DataLength);
}

static const uint8_t* payload_of(const BusMessage& message) {
  return message.Kind == LIN_Frame ? message.LIN.Payload : message.CAN.Payload;
}

static void abandon_all(TraceWriter* writer) {
  for (size_t i = 0; i < writer->format_count; ++i) {
    writer->formats[i]->ops->abandon(writer->formats[i]);
  }
}

static void hand_on(TraceWriter* writer, const BusMessage& frame) {
  for (size_t i = 0; i < writer->format_count; ++i) {
    writer->formats[i]->ops->frame(writer->formats[i], frame);
  }
}

static RecordResult trace_writer_handle_record(OutputPlugin* plugin, const BusMessage* message) {
  auto* writer = static_cast<TraceWriter*>(plugin);
  // Kind is a plain number here: values past LIN_Frame are ignored like the
  // empty record and error frames, which no format has a place for.
  uint64_t capacity = 0;
  switch (message->Kind) {
    case CAN_DataFrame:
    case CAN_RemoteFrame: capacity = CAN_PAYLOAD_CAPACITY; break;
    case LIN_Frame: capacity = LIN_PAYLOAD_CAPACITY; break;
    default: return RECORD_TAKEN;
  }
  // A payload too long for its kind is refused without a message.
  if (message->DataLength > capacity) {
    writer->lost_frame = true;
    return RECORD_FAILED;
  }
  if (writer->live) {
    uint64_t key = frame_time_key(message->Timestamp);
    if (key >= writer->last_key) {
      writer->last_key = key;
      hand_on(writer, *message);
      return RECORD_TAKEN;
    }
    // The traces begun are dropped; the frames come again from the first
    // and are kept this time.
    writer->live = false;
    abandon_all(writer);
    return RECORD_RESTART;
  }
  if (!frame_store_keep(&writer->store, pack(*message), payload_of(*message))) {
    writer->lost_frame = true;
    return RECORD_FAILED;
  }
  return RECORD_TAKEN;
}

static bool trace_writer_new_file(OutputPlugin* plugin, std::string_view output_path,
                                  size_t stem_length, TextLogReader*, bool restart_possible) {
  auto* writer = static_cast<TraceWriter*>(plugin);
  std::string_view stem = output_path.substr(0, stem_length);
  for (size_t i = 0; i < writer->format_count; ++i) {
    writer->formats[i]->ops->begin(writer->formats[i], stem);
  }
  // Without a way back from a frame out of order, every frame is kept.
  writer->live = restart_possible;
  writer->last_key = 0;
  writer->lost_frame = !frame_store_reset(&writer->store, writer->output_fs, stem);
  return !writer->lost_frame;
}

/// Hands the kept frames on in time order. False when a spilled run cannot
/// be read back (the store says so).
static bool hand_on_kept(TraceWriter* writer) {
  if (!frame_store_start_reading(&writer->store)) return false;
  BusMessage frame{};
  KeptFrame kept{};
  const uint8_t* payload = nullptr;
  int more = 0;
  while ((more = frame_store_next(&writer->store, &kept, &payload)) == 1) {
    unpack(kept, payload, &frame);
    hand_on(writer, frame);
  }
  return more == 0;
}

static bool trace_writer_end_file(OutputPlugin* plugin, std::string_view input_path,
                                  std::string_view, size_t, bool file_failed) {
  auto* writer = static_cast<TraceWriter*>(plugin);
  bool handed_on = !file_failed && !writer->lost_frame && (writer->live || hand_on_kept(writer));
  // The frames have been read out; their spilled runs are of no more use.
  frame_store_clear(&writer->store);
  if (!handed_on) {
    // What there is of a failed file is only part of it: nothing is written.
    abandon_all(writer);
    return file_failed;
  }
  // Every format finishes, also after another one failed.
  bool finished = true;
  for (size_t i = 0; i < writer->format_count; ++i) {
    finished = writer->formats[i]->ops->finish(writer->formats[i], input_path) && finished;
  }
  return finished;
}

static void trace_writer_destroy(OutputPlugin* plugin) {
  auto* writer = static_cast<TraceWriter*>(plugin);
  for (size_t i = 0; i < writer->format_count; ++i) {
    writer->formats[i]->ops->destroy(writer->formats[i]);
  }
  writer->format_count = 0;
  frame_store_release(&writer->store);
}

static const OutputPluginOps kTraceWriterOps = {
    .destroy = trace_writer_destroy,
    .init = nullptr,  // calloc already left the writer with an empty store
    .handle_record = trace_writer_handle_record,
    .new_file = trace_writer_new_file,
    .end_file = trace_writer_end_file,
};

/// Creates the requested formats in their fixed order; false when memory
/// runs out (the ones made stay for destroy).
static bool create_formats(TraceWriter* writer) {
  static const struct {
    uint8_t bit;
    TraceFormat* (*create)(const TraceTarget& target);
  } kFormats[kMaxFormats] = {
      {FORMAT_ASC, asc_writer_create},
      {FORMAT_BLF, blf_writer_create},
      {FORMAT_LOG, candump_writer_create},
  };
  uint8_t wanted = writer->options->formats == 0 ? FORMAT_ASC : writer->options->formats;
  const TraceTarget target = {.fs = writer->output_fs,
                              .registry = writer->registry,
                              .durable = writer->options->delete_converted};
  for (const auto& format : kFormats) {
    if ((wanted & format.bit) == 0) continue;
    TraceFormat* made = format.create(target);
    if (made == nullptr) return false;
    writer->formats[writer->format_count++] = made;
  }
  return true;
}

OutputPlugin* trace_writer_create(FileSystem* input_fs, FileSystem* output_fs,
                                  ConversionOptions* options, OutputRegistry* registry) {
  if (registry == nullptr) return nullptr;
  auto* writer = static_cast<TraceWriter*>(calloc(1, sizeof(TraceWriter)));
  if (writer == nullptr) return nullptr;
  writer->ops = &kTraceWriterOps;
  writer->registry = registry;
  if (!output_plugin_init(writer, input_fs, output_fs, options)) {
    // An unbound plug-in never reaches destroy; it holds nothing yet.
    free(writer);
    return nullptr;
  }
  if (!create_formats(writer)) {
    output_plugin_destroy(writer);
    return nullptr;
  }
  return writer;
}
