// The fuzz target bodies: each runs one input through real product code and
// checks what that code promises for any input at all. The fast paths give
// exactly what their references give, only lines holding a frame become
// records, a failed conversion leaves no trace and nothing outside the output
// folder, and an input is deleted only once converted.
#include "fuzz/fuzz_targets.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include <unistd.h>

#include "convert/bus_message.h"
#include "convert/conversion_options.h"
#include "convert/convert_file.h"
#include "convert/exit_status.h"
#include "convert/output_plugin.h"
#include "convert/output_registry.h"
#include "input/text/text_log_reader.h"
#include "input/text/text_log_reader_internal.h"
#include "output/asc/asc_lines.h"
#include "output/trace_writer.h"
#include "platform/filesystem.h"
#include "platform/stream.h"
#include "support/memory_stream.h"

// The broken promise's own text is the message.
#define REQUIRE(promise)                                                       \
  do {                                                                         \
    if (!(promise)) return fprintf(stderr, "fuzz: broken: %s\n", #promise), 1; \
  } while (0)

template <typename... Value>
static void put(std::string* out, const Value&... values) {
  (out->append(reinterpret_cast<const char*>(&values), sizeof values), ...);
}

// --- Text log reader -----------------------------------------------------------

namespace {
/// One pass of the reader: DataStart and every record's fields raw, so passes
/// compare exactly; `bytes` is empty when the log was refused.
struct Decoded {
  size_t count = 0;
  std::string bytes;
};
}  // namespace

// Opens `stream` (closed here), rewinds and reads every record against the reader's promises.
static int read_all(Stream* stream, std::string_view bytes, Decoded* out) {
  StreamPtr owned(stream);
  REQUIRE(stream != nullptr);
  std::unique_ptr<TextLogReader, void (*)(TextLogReader*)> open(text_log_open(stream),
                                                                text_log_close);
  if (open == nullptr) return 0;
  TextLogReader& reader = *open;
  put(&out->bytes, reader.DataStart);
  auto ends = [](const auto& text) { return strnlen(text, sizeof text) < sizeof text; };
  REQUIRE(ends(reader.HwRev) && ends(reader.FwRev) && ends(reader.LoggerId));
  REQUIRE(ends(reader.HeaderTimeText) && reader.ValueSeparator != '\0');
  REQUIRE(reader.DataStart <= bytes.size() && stream_tell(stream) == reader.DataStart);
  text_log_rewind(&reader);
  BusMessage record{};
  const CanTail& can = record.CAN;
  int status = 0;
  while ((status = text_log_next(&reader, &record)) == 1) {
    // Every record takes a byte at least, or the reader stopped advancing.
    REQUIRE(++out->count <= bytes.size() - reader.DataStart);
    REQUIRE(std::isfinite(record.Timestamp) && record.DataLength <= 8 && (can.IDE | can.Dir) <= 1);
    REQUIRE(record.DataBytes == can.Payload || (!record.DataBytes && record.DataLength == 0));
    put(&out->bytes, record.Timestamp, record.ID, record.DataLength, can.IDE, can.Dir,
        can.BusChannel, can.DLC, record.DataBytes == nullptr, can.Payload);
  }
  REQUIRE(status == 0);
  // The data lines cut as the reader cuts them (199 bytes, CRs dropped) split alike word-wise and
  // bytewise; those with a frame (no "#" first, as many fields as the title, and when the data
  // ended the line, as many Data bytes as its Length says up to 8) are the records, the others
  // were skipped.
  uint64_t frames = 0, lines = 0;
  const char separator = reader.ValueSeparator;
  for (size_t at = reader.DataStart;;) {
    std::string line;
    int reads = 0;
    for (; reads < 199 && at < bytes.size() && !line.ends_with('\n'); ++reads, ++at) {
      if (bytes[at] != '\r') line += bytes[at];
    }
    if (line.empty()) break;
    char fast[TEXT_LOG_LINE_SIZE + TEXT_LOG_SPLIT_SLACK], slow[sizeof fast];
    memset(fast, 'z', sizeof fast);  // what lies behind the NUL must not matter
    memcpy(fast, line.c_str(), line.size() + 1);
    memcpy(slow, fast, sizeof fast);
    char *fast_fields[TEXT_LOG_COLUMN_SLOTS], *slow_fields[TEXT_LOG_COLUMN_SLOTS];
    int count = text_log_split_fields(fast, separator, fast_fields);
    REQUIRE(count == text_log_split_fields_reference(slow, separator, slow_fields));
    for (int f = 0; f < count; ++f) REQUIRE(fast_fields[f] - fast == slow_fields[f] - slow);
    REQUIRE(memcmp(fast, slow, sizeof fast) == 0);
    ++lines;
    auto cut = [&, length = reader.length_column, data = reader.data_column] {
      unsigned char stated = 0;
      if (length < 0 || data < 0 || sscanf(fast_fields[length], "%hhu", &stated) != 1) return false;
      return std::min<size_t>((strlen(fast_fields[data]) + 1) / 2, 8) < std::min<size_t>(stated, 8);
    };
    bool ran_out = at == bytes.size() && reads < 199 && !line.ends_with('\n');
    frames += line[0] != '#' && count >= reader.title_fields && !(ran_out && cut());
  }
  REQUIRE(out->count == frames && reader.skipped_lines == lines - frames);
  return 0;
}

int fuzz_text_log_reader_one(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Decoded direct, buffered, reference;
  if (read_all(memory_stream_create(bytes), bytes, &direct) != 0) return 1;
  // A buffer size that follows the input's length puts refills everywhere: in lines, in CR LF.
  Stream* small = buffered_stream_create(memory_stream_create(bytes), true, 1 + size % 29);
  if (read_all(small, bytes, &buffered) != 0) return 1;
  REQUIRE(buffered.bytes == direct.bytes);
  // The C library's readings of numbers and times are what the fast decoders must give.
  text_log_bind_reference_decoders_for_testing(true);
  int broken = read_all(memory_stream_create(bytes), bytes, &reference);
  text_log_bind_reference_decoders_for_testing(false);
  if (broken != 0) return 1;
  REQUIRE(reference.bytes == direct.bytes);
  return 0;
}

// --- Per-file conversion -----------------------------------------------------------

namespace fs = std::filesystem;

namespace {
/// A private folder for the process, removed at its normal end.
struct Workspace {
  std::string root = (fs::temp_directory_path() / "tracewright-fuzz-XXXXXX").string();
  bool made = mkdtemp(root.data()) != nullptr;
  ~Workspace() {
    std::error_code ignored;
    if (made) fs::remove_all(root, ignored);
  }
};
}  // namespace

// Every format written twice from the same log: by the pipeline, which passes the frames on as
// they come while they come in order, and with every frame kept and sorted first. The traces,
// and whether they could be written, must not tell the two apart. In <root>/live and <root>/kept.
static int fuzz_live_and_kept_agree(const std::string& root, std::string_view bytes) {
  auto tree = [](const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
      std::ifstream in(entry.path(), std::ios::binary);
      files[entry.path().filename().string()].assign(std::istreambuf_iterator<char>(in), {});
    }
    return files;
  };
  ConversionOptions options{};
  options.buffer_size = -1;
  options.formats = FORMAT_ASC | FORMAT_BLF | FORMAT_LOG;
  FileSystemPtr input_fs(filesystem_create(root + "/in"));
  int results[2] = {};
  for (int kept = 0; kept < 2; ++kept) {
    std::string out = root + (kept != 0 ? "/kept" : "/live");
    std::error_code error;
    fs::remove_all(out, error);
    fs::create_directories(out, error);
    std::ofstream(root + "/in/log.txt", std::ios::binary) << bytes;
    FileSystemPtr output_fs(filesystem_create(out));
    std::unique_ptr<OutputRegistry, void (*)(OutputRegistry*)> registry(output_registry_create(),
                                                                        output_registry_destroy);
    OutputPluginPtr writer(
        trace_writer_create(input_fs.get(), output_fs.get(), &options, registry.get()));
    REQUIRE(writer != nullptr);
    if (kept == 0) {
      results[0] = convert_file(writer.get(), "log.txt", "log.txt") == STATUS_OK;
      continue;
    }
    // The pipeline's steps, with no way back to the first frame.
    StreamPtr stream(memory_stream_create(bytes));
    TextLogReader* reader = text_log_open(stream.get());
    if (reader == nullptr) continue;
    bool fine = writer->ops->new_file(writer.get(), "log.txt", 3, reader, false);
    text_log_rewind(reader);
    BusMessage record{};
    while (fine && text_log_next(reader, &record) == 1) {
      fine = writer->ops->handle_record(writer.get(), &record) == RECORD_TAKEN;
    }
    results[1] = writer->ops->end_file(writer.get(), "log.txt", "log.txt", 3, !fine) && fine;
    text_log_close(reader);
  }
  REQUIRE(results[0] == results[1]);
  REQUIRE(tree(root + "/live") == tree(root + "/kept"));
  std::error_code error;
  fs::remove_all(root + "/live", error);
  fs::remove_all(root + "/kept", error);
  return 0;
}

// in/ holds the one input, out/ is the output root.
int fuzz_convert_file_one(const uint8_t* data, size_t size) {
  static Workspace space;
  REQUIRE(space.made);
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto read_file = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  // The options follow the input's length, so the corpus covers them all: every kind of buffer;
  // a temporary name taken by a link to /dev/full, which a writer that wrote through it would fill.
  static const int64_t kBufferSizes[] = {-1, 0, 5, 4096};
  ConversionOptions options{};
  options.buffer_size = kBufferSizes[size % 4];
  options.delete_converted = (size / 4) % 2 == 1;
  bool taken = (size / 8) % 2 == 1;
  const std::string link = "out/sub/.log.asc." + std::to_string(getpid()) + ".tmp";
  std::error_code error;
  fs::remove_all(space.root + "/out", error);
  fs::create_directories(space.root + "/out/sub", error);
  fs::create_directories(space.root + "/in", error);
  if (taken) fs::create_symlink("/dev/full", space.root + "/" + link, error);
  REQUIRE(!error);
  std::ofstream(space.root + "/in/log.txt", std::ios::binary) << bytes;

  FileSystemPtr input_fs(filesystem_create(space.root + "/in"));
  FileSystemPtr output_fs(filesystem_create(space.root + "/out"));
  std::unique_ptr<OutputRegistry, void (*)(OutputRegistry*)> registry(output_registry_create(),
                                                                      output_registry_destroy);
  OutputPlugin* writer =
      trace_writer_create(input_fs.get(), output_fs.get(), &options, registry.get());
  REQUIRE(writer != nullptr);
  int result = convert_file(writer, "log.txt", "sub/log.txt");
  output_plugin_destroy(writer);

  // What the reader alone makes of the bytes is what the trace must hold.
  Decoded expected;
  if (read_all(memory_stream_create(bytes), bytes, &expected) != 0) return 1;
  // Apart from a taken name only a refused log fails; a log without records opens no trace.
  bool converted = !expected.bytes.empty() && !(taken && expected.count > 0);
  REQUIRE(result == (converted ? STATUS_OK : STATUS_CONVERSION_FAILED));
  bool deleted = converted && options.delete_converted;
  bool traced = converted && expected.count > 0;
  // Every path under the root, folders with a "/" and links marked: the tool never makes one.
  std::set<std::string> wanted = {"in/", "out/", "out/sub/"}, found;
  if (!deleted) wanted.insert("in/log.txt");
  if (traced) wanted.insert("out/sub/log.asc");
  if (taken) wanted.insert(link + " (link)");  // not this run's, so kept
  for (auto it = fs::recursive_directory_iterator(space.root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    std::string path = it->path().lexically_relative(space.root).string();
    found.insert(it->is_symlink() ? path + " (link)" : it->is_directory() ? path + "/" : path);
  }
  REQUIRE(found == wanted);
  REQUIRE(deleted || read_file(space.root + "/in/log.txt") == bytes);
  // The whole trace: three header lines, one per record, the footer (the lines are checked
  // elsewhere).
  std::string trace = traced ? read_file(space.root + "/out/sub/log.asc") : "";
  auto lines = static_cast<size_t>(std::count(trace.begin(), trace.end(), '\n'));
  REQUIRE(!traced || (lines == expected.count + 4 && trace.ends_with("\nEnd Triggerblock\n")));
  return fuzz_live_and_kept_agree(space.root, bytes);
}

// --- ASC line builders -----------------------------------------------------------

// The input, missing bytes 0: the frame's time and the part's first time (host doubles), the ID (4
// bytes, host order), IDE, Dir, EDL, BRS, ESI, BusChannel, DLC, DataLength % 65 and the data.
int fuzz_asc_lines_one(const uint8_t* data, size_t size) {
  uint8_t bytes[28 + CAN_PAYLOAD_CAPACITY] = {};
  memcpy(bytes, data, size < sizeof bytes ? size : sizeof bytes);
  BusMessage frame{};
  CanTail& can = frame.CAN;
  double t0 = 0;
  memcpy(&frame.Timestamp, bytes, 8);
  memcpy(&t0, bytes + 8, 8);
  memcpy(&frame.ID, bytes + 16, 4);
  uint8_t* fields[] = {&can.IDE, &can.Dir, &can.EDL, &can.BRS, &can.ESI, &can.BusChannel, &can.DLC};
  for (size_t i = 0; i < std::size(fields); ++i) *fields[i] = bytes[20 + i];
  frame.DataLength = bytes[27] % (CAN_PAYLOAD_CAPACITY + 1);
  memcpy(can.Payload, bytes + 28, CAN_PAYLOAD_CAPACITY);
  frame.DataBytes = can.Payload;
  std::string fast, reference;
  asc_writer_append_can_line(&fast, frame, t0);
  asc_writer_append_can_line_reference(&reference, frame, t0);
  if (fast == reference) return 0;
  fprintf(stderr, "fuzz: broken: fast %sis not reference %s", fast.c_str(), reference.c_str());
  return 1;
}
