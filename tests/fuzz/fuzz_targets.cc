// The fuzz target bodies. Each takes one generated input, runs it through
// real product code and checks what that code promises for any input at all,
// not just for well-formed logs: no record claims more bytes than it holds,
// only lines that hold a frame become records, the read buffer never changes
// what is decoded, the hand-written fast paths (lent line bytes, word-wise
// field splitting, every column decoder) give exactly what their C library
// or bytewise references give, a failed conversion leaves no trace file, nothing is
// written outside the output folder, and an input is deleted only after it
// was converted completely.
#include "fuzz/fuzz_targets.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "convert/bus_message.h"
#include "convert/conversion_options.h"
#include "convert/exit_status.h"
#include "convert/convert_file.h"
#include "convert/output_plugin.h"
#include "input/text/text_log_reader.h"
#include "input/text/text_log_reader_internal.h"
#include "output/asc/asc_lines.h"
#include "output/asc/asc_writer.h"
#include "platform/filesystem.h"
#include "platform/stream.h"
#include "support/memory_stream.h"

// Reports a broken promise; the targets then return 1, which the libFuzzer
// entry turns into a crash that keeps the input.
static int violation(const char* what) {
  fprintf(stderr, "fuzz invariant broken: %s\n", what);
  return 1;
}

// ---------------------------------------------------------------------------
// Text log reader

namespace {
/// What one pass of the reader over an input produced.
struct Decoded {
  bool opened = false;
  uint32_t data_start = 0;
  /// Every record's fields as raw bytes, one after the other, so two passes
  /// compare exactly (a NaN or a -0.0 included).
  std::string records;
  size_t count = 0;
};
}  // namespace

static bool text_fits(const char* text, size_t capacity) {
  return strnlen(text, capacity) < capacity;
}

static int check_header(const TextLogReader& reader, size_t size) {
  if (!text_fits(reader.HwRev, sizeof reader.HwRev)) return violation("HwRev is not terminated");
  if (!text_fits(reader.FwRev, sizeof reader.FwRev)) return violation("FwRev is not terminated");
  if (!text_fits(reader.LoggerId, sizeof reader.LoggerId)) {
    return violation("LoggerId is not terminated");
  }
  if (!text_fits(reader.HeaderTimeText, sizeof reader.HeaderTimeText)) {
    return violation("HeaderTimeText is not terminated");
  }
  if (reader.ValueSeparator == '\0') return violation("a log opened without a value separator");
  if (reader.DataStart > size) return violation("DataStart lies past the end of the input");
  return 0;
}

static int check_record(const BusMessage& record) {
  if (record.Kind != CAN_DataFrame) return violation("a record that is not a CAN data frame");
  if (record.CAN.BusChannel != 1) return violation("BusChannel is not 1");
  if (record.DataLength > 8) return violation("DataLength > 8");
  if (record.DataBytes != nullptr && record.DataBytes != record.CAN.Payload) {
    return violation("DataBytes points outside the record's Payload");
  }
  if (record.DataBytes == nullptr && record.DataLength != 0) {
    return violation("DataLength without DataBytes");
  }
  for (size_t i = 8; i < CAN_PAYLOAD_CAPACITY; ++i) {
    if (record.CAN.Payload[i] != 0) return violation("a payload byte past the 8th was written");
  }
  if (!std::isfinite(record.Timestamp)) return violation("Timestamp is not finite");
  if (record.CAN.IDE > 1 || record.CAN.Dir > 1) return violation("IDE or Dir is not 0 or 1");
  if (record.CAN.EDL != 0 || record.CAN.ESI != 0 || record.CAN.BRS != 0 ||
      record.CAN.Remote != 0) {
    return violation("a CAN FD or remote flag set by the text reader");
  }
  return 0;
}

static void append_bytes(std::string* out, const void* bytes, size_t length) {
  out->append(static_cast<const char*>(bytes), length);
}

static void append_record(std::string* out, const BusMessage& record) {
  append_bytes(out, &record.Timestamp, sizeof record.Timestamp);
  append_bytes(out, &record.ID, sizeof record.ID);
  append_bytes(out, &record.DataLength, sizeof record.DataLength);
  append_bytes(out, &record.Kind, sizeof record.Kind);
  out->push_back(record.DataBytes == nullptr ? 'n' : 'p');
  const CanTail& can = record.CAN;
  const uint8_t flags[] = {can.IDE, can.Dir, can.EDL, can.ESI, can.BRS, can.Remote,
                           can.BusChannel, can.DLC};
  append_bytes(out, flags, sizeof flags);
  append_bytes(out, can.Payload, 8);
}

// Splits `line` (as the reader holds it, bytes behind its NUL included)
// word-wise and bytewise; both must find the same fields and leave the same
// bytes.
static int check_split(const std::string& line, char separator) {
  char fast[TEXT_LOG_LINE_SIZE + TEXT_LOG_SPLIT_SLACK];
  char reference[sizeof fast];
  memset(fast, 'z', sizeof fast);
  memcpy(fast, line.data(), line.size());
  fast[line.size()] = '\0';
  memcpy(reference, fast, sizeof fast);
  char* fast_fields[TEXT_LOG_COLUMN_SLOTS];
  char* reference_fields[TEXT_LOG_COLUMN_SLOTS];
  int count = text_log_split_fields(fast, separator, fast_fields);
  if (count != text_log_split_fields_reference(reference, separator, reference_fields)) {
    return violation("the word-wise split counts other fields than the bytewise one");
  }
  for (int f = 0; f < count; ++f) {
    if (fast_fields[f] - fast != reference_fields[f] - reference) {
      return violation("the word-wise split puts a field elsewhere than the bytewise one");
    }
  }
  if (memcmp(fast, reference, sizeof fast) != 0) {
    return violation("the word-wise split leaves other bytes than the bytewise one");
  }
  return 0;
}

// Cuts the data lines from `start` on as the reader reads them (199 byte
// reads at most, carriage returns dropped, a line feed kept), splits each
// both ways, and counts those that hold a frame: no "#" first, and under a
// title of several fields a separator before the line's first NUL.
static int count_frame_lines(std::string_view bytes, size_t start, char separator,
                             bool several_fields, uint64_t* frames, uint64_t* others) {
  size_t at = start;
  for (;;) {
    std::string line;
    for (int reads = 0; reads < 199 && at < bytes.size(); ++reads) {
      char byte = bytes[at++];
      if (byte == '\r') continue;
      line += byte;
      if (byte == '\n') break;
    }
    if (line.empty()) return 0;
    if (check_split(line, separator) != 0) return 1;
    std::string_view text(line.c_str());
    bool frame = line[0] != '#' && (!several_fields || text.find(separator) != text.npos);
    ++*(frame ? frames : others);
  }
}

// Opens, rewinds and reads every record of `stream` (closed here), checking
// each against the reader's promises.
static int read_all(Stream* stream, std::string_view bytes, Decoded* out) {
  size_t size = bytes.size();
  StreamPtr owned(stream);
  TextLogReader* reader = text_log_open(stream);
  if (reader == nullptr) return 0;
  out->opened = true;
  out->data_start = reader->DataStart;
  int broken = check_header(*reader, size);
  if (broken == 0 && stream_tell(stream) != reader->DataStart) {
    broken = violation("the stream does not stand at DataStart after opening");
  }
  text_log_rewind(reader);
  BusMessage record{};
  while (broken == 0 && text_log_next(reader, &record) == 1) {
    ++out->count;
    // Every record takes at least one byte, so more records than bytes
    // means the reader stopped advancing.
    if (out->count > size - reader->DataStart) {
      broken = violation("more records than bytes after the title line");
      break;
    }
    broken = check_record(record);
    append_record(&out->records, record);
  }
  if (broken == 0) {
    // At the end the record must stay as the last data line left it.
    unsigned char before[sizeof(BusMessage)];
    memcpy(before, static_cast<const void*>(&record), sizeof before);
    if (text_log_next(reader, &record) != 0) {
      broken = violation("a record after the end of input");
    } else if (memcmp(before, static_cast<const void*>(&record), sizeof before) != 0) {
      broken = violation("the record changed at the end of input");
    }
  }
  if (broken == 0) {
    uint64_t frames = 0;
    uint64_t others = 0;
    if (count_frame_lines(bytes, reader->DataStart, reader->ValueSeparator,
                          reader->title_fields >= 2, &frames, &others) != 0) {
      broken = 1;
    } else if (out->count != frames) {
      broken = violation("records do not match the lines that hold a frame");
    } else if (reader->skipped_lines != others) {
      broken = violation("skipped lines do not match the lines that hold no frame");
    }
  }
  text_log_close(reader);
  return broken;
}

int fuzz_text_log_reader_one(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Decoded direct;
  if (read_all(memory_stream_create(bytes), bytes, &direct) != 0) return 1;

  // A small buffer whose size follows the input's length puts its refills
  // at ever different places: inside lines, in a CR LF pair, at DataStart.
  uint64_t capacity = 1 + size % 29;
  Stream* buffered = buffered_stream_create(memory_stream_create(bytes), true, capacity);
  if (buffered == nullptr) return violation("no read buffer for a tiny capacity");
  Decoded through_buffer;
  if (read_all(buffered, bytes, &through_buffer) != 0) return 1;

  if (direct.opened != through_buffer.opened) {
    return violation("the read buffer changed whether the log opens");
  }
  if (direct.data_start != through_buffer.data_start) {
    return violation("the read buffer changed DataStart");
  }
  if (direct.count != through_buffer.count || direct.records != through_buffer.records) {
    return violation("the read buffer changed the records");
  }

  // The C library's readings of every number and time decide what the
  // hand-written ones must give.
  text_log_bind_reference_decoders_for_testing(true);
  Decoded reference;
  int broken = read_all(memory_stream_create(bytes), bytes, &reference);
  text_log_bind_reference_decoders_for_testing(false);
  if (broken != 0) return 1;
  if (direct.opened != reference.opened || direct.count != reference.count ||
      direct.records != reference.records) {
    return violation("the fast decoders and their references disagree");
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Per-file conversion

namespace fs = std::filesystem;

namespace {
/// A private folder for the whole process: in/ holds the one input, out/ is
/// the output root. Removed when the process ends normally.
struct Workspace {
  std::string root;
  FileSystem* input_fs = nullptr;
  FileSystem* output_fs = nullptr;

  Workspace() {
    std::string pattern = (fs::temp_directory_path() / "tracewright-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return;
    root = pattern;
    std::error_code ignored;
    fs::create_directory(root + "/in", ignored);
    fs::create_directory(root + "/out", ignored);
    input_fs = filesystem_create(root + "/in");
    output_fs = filesystem_create(root + "/out");
  }
  ~Workspace() {
    filesystem_destroy(input_fs);
    filesystem_destroy(output_fs);
    std::error_code ignored;
    if (!root.empty()) fs::remove_all(root, ignored);
  }
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;
};
}  // namespace

static Workspace* workspace() {
  static Workspace instance;
  return instance.input_fs != nullptr && instance.output_fs != nullptr ? &instance : nullptr;
}

// Every path under `root`, relative, folders with a trailing "/"; links and
// other special files are marked, since the tool must never make one.
static std::set<std::string> tree_of(const std::string& root) {
  std::set<std::string> paths;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    std::string rel = it->path().lexically_relative(root).string();
    if (it->is_symlink()) {
      paths.insert(rel + " (link)");
    } else if (it->is_directory()) {
      paths.insert(rel + "/");
    } else if (it->is_regular_file()) {
      paths.insert(rel);
    } else {
      paths.insert(rel + " (special)");
    }
  }
  return paths;
}

static bool read_file(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  *out = bytes.str();
  return true;
}

// A trace file is complete when it has the three header lines, one line per
// record with times that start at 0 and never go back, and the footer.
static int check_trace(const std::string& text, size_t records) {
  if (text.empty() || text.back() != '\n') return violation("the trace does not end a line");
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (lines.size() != records + 4) return violation("trace lines do not match the records");
  if (lines[0].rfind("date ", 0) != 0) return violation("the trace has no date line");
  if (lines[1] != "base hex  timestamps absolute" || lines[2] != "Begin Triggerblock") {
    return violation("the trace header is incomplete");
  }
  if (lines.back() != "End Triggerblock") return violation("the trace has no footer");
  double previous = 0;
  for (size_t i = 3; i < 3 + records; ++i) {
    const std::string& line = lines[i];
    // The time field is 11 columns wide, or wider for a time past 9999 s.
    size_t kind = line.find(" CANFD   1 ");
    if (kind == std::string::npos || kind < 11) {
      return violation("a trace line is not a CANFD line on channel 1");
    }
    double relative = strtod(line.c_str(), nullptr);
    if (i == 3 && line.compare(0, 11, "   0.000000") != 0) {
      return violation("the first trace line is not at 0");
    }
    if (relative < previous) return violation("trace lines are not in time order");
    previous = relative;
  }
  return 0;
}

// Buffer sizes that matter to the pipeline: the whole file, none, one that
// rounds up, one larger than most inputs.
static const int64_t kBufferSizes[] = {-1, 0, 5, 4096};

int fuzz_convert_file_one(const uint8_t* data, size_t size) {
  Workspace* space = workspace();
  if (space == nullptr) return violation("no temporary folder");
  std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // The options follow the input's length, so the corpus covers them all.
  // On a "full disk" the name the trace is written under until it is whole
  // is a link to /dev/full, where every write that reaches the device fails.
  ConversionOptions options{};
  options.buffer_size = kBufferSizes[size % 4];
  options.delete_converted = (size / 4) % 2 == 1;
  bool full_disk = (size / 8) % 2 == 1;

  std::error_code ignored;
  fs::remove_all(space->root + "/out", ignored);
  fs::create_directory(space->root + "/out", ignored);
  if (full_disk) {
    fs::create_directory(space->root + "/out/sub", ignored);
    fs::create_symlink("/dev/full",
                       space->root + "/out/sub/.log.asc." + std::to_string(getpid()) + ".tmp",
                       ignored);
    if (ignored) return violation("no link to /dev/full");
  }
  const std::string input = space->root + "/in/log.txt";
  {
    std::ofstream file(input, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file) return violation("the input could not be stored");
  }

  OutputPlugin* writer = asc_writer_create(space->input_fs, space->output_fs, &options);
  if (writer == nullptr) return violation("no ASC writer");
  int result = convert_file(writer, "log.txt", "sub/log.txt");
  output_plugin_destroy(writer);

  // What the reader alone makes of the bytes is what the trace must hold.
  Decoded expected;
  if (read_all(memory_stream_create(bytes), bytes, &expected) != 0) return 1;

  if (result != STATUS_OK && result != STATUS_CONVERSION_FAILED) {
    return violation("a result other than 0 or 8");
  }
  // Apart from the full disk only a refused log can fail: the writer keeps
  // every frame the reader makes, and every time it makes has a date. A log
  // without records opens no trace, so the full disk cannot fail it.
  bool fails = !expected.opened || (full_disk && expected.count > 0);
  if (result != (fails ? STATUS_CONVERSION_FAILED : STATUS_OK)) {
    return violation("the result does not follow the log and the disk");
  }

  bool converted = result == STATUS_OK;
  bool deleted = converted && options.delete_converted;
  bool traced = converted && expected.count > 0;
  std::set<std::string> wanted = {"in/", "out/", "out/sub/"};
  if (!deleted) wanted.insert("in/log.txt");
  if (traced) wanted.insert("out/sub/log.asc");
  // A failed trace goes with its link; an untouched link stays.
  if (full_disk && expected.count == 0) {
    wanted.insert("out/sub/.log.asc." + std::to_string(getpid()) + ".tmp (link)");
  }
  if (tree_of(space->root) != wanted) {
    for (const std::string& path : tree_of(space->root)) fprintf(stderr, "  found %s\n", path.c_str());
    return violation("the folder does not hold exactly the input and the trace");
  }

  if (!deleted) {
    std::string kept;
    if (!read_file(input, &kept) || kept != bytes) return violation("the input was changed");
  }
  if (traced) {
    std::string trace;
    if (!read_file(space->root + "/out/sub/log.asc", &trace)) return violation("unreadable trace");
    if (check_trace(trace, expected.count) != 0) return 1;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// ASC line builders

int fuzz_asc_lines_one(const uint8_t* data, size_t size) {
  uint8_t bytes[28 + CAN_PAYLOAD_CAPACITY] = {};
  memcpy(bytes, data, size < sizeof bytes ? size : sizeof bytes);
  BusMessage frame{};
  double t0 = 0;
  memcpy(&frame.Timestamp, bytes, 8);
  memcpy(&t0, bytes + 8, 8);
  memcpy(&frame.ID, bytes + 16, 4);
  CanTail& can = frame.CAN;
  uint8_t* fields[] = {&can.IDE, &can.Dir, &can.EDL, &can.BRS, &can.ESI, &can.BusChannel, &can.DLC};
  for (size_t i = 0; i < std::size(fields); ++i) *fields[i] = bytes[20 + i];
  frame.DataLength = bytes[27] % (CAN_PAYLOAD_CAPACITY + 1);
  memcpy(can.Payload, bytes + 28, CAN_PAYLOAD_CAPACITY);
  frame.DataBytes = can.Payload;
  std::string fast;
  std::string reference;
  asc_writer_append_can_line(&fast, frame, t0);
  asc_writer_append_can_line_reference(&reference, frame, t0);
  if (fast == reference) return 0;
  fprintf(stderr, "fast:      %sreference: %s", fast.c_str(), reference.c_str());
  return violation("the fast CANFD line differs from its reference");
}
