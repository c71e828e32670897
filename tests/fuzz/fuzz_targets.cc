// The fuzz target bodies. Each runs one generated input through real product
// code and checks what that code promises for any input at all: the read
// buffer and the hand-written fast paths (lent line bytes, word-wise field
// splitting, every column decoder, the CANFD line builder) give exactly what
// their bytewise or C library references give, only lines holding a frame
// become records, a failed conversion leaves no trace, nothing is written
// outside the output folder, and an input is deleted only once converted.
#include "fuzz/fuzz_targets.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "convert/bus_message.h"
#include "convert/conversion_options.h"
#include "convert/convert_file.h"
#include "convert/exit_status.h"
#include "convert/output_plugin.h"
#include "input/text/text_log_reader.h"
#include "input/text/text_log_reader_internal.h"
#include "output/asc/asc_lines.h"
#include "output/asc/asc_writer.h"
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
/// What one pass of the reader made of an input. `bytes` holds DataStart and
/// every record's fields raw, so passes compare exactly (NaN and -0.0 too);
/// it is empty when the log was refused.
struct Decoded {
  size_t count = 0;
  std::string bytes;
};
}  // namespace

// Splits `line` (bytes behind its NUL included) word-wise and bytewise: both
// must find the same fields and leave the same bytes.
static int check_split(const std::string& line, char separator) {
  char fast[TEXT_LOG_LINE_SIZE + TEXT_LOG_SPLIT_SLACK], reference[sizeof fast];
  memset(fast, 'z', sizeof fast);
  memcpy(fast, line.c_str(), line.size() + 1);
  memcpy(reference, fast, sizeof fast);
  char *fast_fields[TEXT_LOG_COLUMN_SLOTS], *reference_fields[TEXT_LOG_COLUMN_SLOTS];
  int count = text_log_split_fields(fast, separator, fast_fields);
  REQUIRE(count == text_log_split_fields_reference(reference, separator, reference_fields));
  for (int f = 0; f < count; ++f) REQUIRE(fast_fields[f] - fast == reference_fields[f] - reference);
  REQUIRE(memcmp(fast, reference, sizeof fast) == 0);
  return 0;
}

// Cuts the data lines from `at` on as the reader reads them (199 byte reads
// at most, carriage returns dropped, a line feed kept), checks their split,
// and counts those that hold a frame: no "#" first and, under a title of
// several fields, a separator before the line's first NUL.
static int count_frame_lines(std::string_view bytes, size_t at, const TextLogReader& reader,
                             uint64_t* frames, uint64_t* others) {
  for (;;) {
    std::string line;
    for (int reads = 0; reads < 199 && at < bytes.size() && !line.ends_with('\n'); ++reads, ++at) {
      if (bytes[at] != '\r') line += bytes[at];
    }
    if (line.empty()) return 0;
    if (check_split(line, reader.ValueSeparator) != 0) return 1;
    bool frame = line[0] != '#' && (reader.title_fields < 2 ||
                                    strchr(line.c_str(), reader.ValueSeparator) != nullptr);
    ++*(frame ? frames : others);
  }
}

// Opens `stream` (closed here), then rewinds and reads every record,
// checking each against the reader's promises.
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
  while (text_log_next(&reader, &record) == 1) {
    // Every record takes a byte at least, or the reader stopped advancing.
    REQUIRE(++out->count <= bytes.size() - reader.DataStart);
    REQUIRE(record.Kind == CAN_DataFrame && can.BusChannel == 1 && std::isfinite(record.Timestamp));
    REQUIRE(record.DataBytes == can.Payload || (!record.DataBytes && record.DataLength == 0));
    REQUIRE(record.DataLength <= 8 && (can.IDE | can.Dir) <= 1);
    REQUIRE((can.EDL | can.ESI | can.BRS | can.Remote) == 0);
    for (size_t i = 8; i < CAN_PAYLOAD_CAPACITY; ++i) REQUIRE(can.Payload[i] == 0);
    put(&out->bytes, record.Timestamp, record.ID, record.DataLength, can.IDE, can.Dir,
        can.BusChannel, can.DLC, record.DataBytes == nullptr, can.Payload);
  }
  // At the end the record stays as the last data line left it.
  unsigned char last[sizeof record];
  memcpy(last, static_cast<const void*>(&record), sizeof last);
  REQUIRE(text_log_next(&reader, &record) == 0);
  REQUIRE(memcmp(last, static_cast<const void*>(&record), sizeof last) == 0);
  uint64_t frames = 0, others = 0;
  if (count_frame_lines(bytes, reader.DataStart, reader, &frames, &others) != 0) return 1;
  REQUIRE(out->count == frames && reader.skipped_lines == others);
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
/// A private folder for the process, removed at its normal end: in/ holds
/// the one input, out/ is the output root.
struct Workspace {
  std::string root = make_root();
  FileSystem* input_fs = filesystem_create(root + "/in");
  FileSystem* output_fs = filesystem_create(root + "/out");
  ~Workspace() {
    filesystem_destroy(input_fs);
    filesystem_destroy(output_fs);
    std::error_code ignored;
    if (!root.empty()) fs::remove_all(root, ignored);
  }
  static std::string make_root() {
    std::string root = (fs::temp_directory_path() / "tracewright-fuzz-XXXXXX").string();
    std::error_code ignored;
    if (mkdtemp(root.data()) == nullptr) return "";
    fs::create_directory(root + "/in", ignored);
    return fs::create_directory(root + "/out", ignored) ? root : "";
  }
};
}  // namespace

// Every path under `root`, relative, folders with a trailing "/"; links and
// special files are marked, since the tool must never make one.
static std::set<std::string> tree_of(const std::string& root) {
  std::set<std::string> paths;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    std::string rel = it->path().lexically_relative(root).string();
    paths.insert(it->is_symlink()        ? rel + " (link)"
                 : it->is_directory()    ? rel + "/"
                 : it->is_regular_file() ? rel
                                         : rel + " (special)");
  }
  return paths;
}

static std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A whole trace: the three header lines, one CANFD line per record with
// times that start at 0 and never go back, and the footer.
static int check_trace(const std::string& text, size_t records) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  REQUIRE(text.ends_with('\n') && lines.size() == records + 4);
  REQUIRE(lines[0].starts_with("date ") && lines[1] == "base hex  timestamps absolute");
  REQUIRE(lines[2] == "Begin Triggerblock" && lines.back() == "End Triggerblock");
  double previous = 0;
  for (size_t i = 3; i < 3 + records; ++i) {
    size_t kind = lines[i].find(" CANFD   1 ");  // behind a time 11 columns wide or wider
    REQUIRE(kind != lines[i].npos && kind >= 11 && (i > 3 || lines[i].starts_with("   0.000000")));
    double relative = strtod(lines[i].c_str(), nullptr);
    REQUIRE(relative >= previous);
    previous = relative;
  }
  return 0;
}

int fuzz_convert_file_one(const uint8_t* data, size_t size) {
  static Workspace space;
  REQUIRE(!space.root.empty() && space.input_fs && space.output_fs);
  std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // The options follow the input's length, so the corpus covers them all: a buffer of
  // the whole file, none, one that rounds up, one larger than most inputs. On a "full
  // disk" the trace's name until it is whole is a link to /dev/full: every write fails.
  static const int64_t kBufferSizes[] = {-1, 0, 5, 4096};
  ConversionOptions options{};
  options.buffer_size = kBufferSizes[size % 4];
  options.delete_converted = (size / 4) % 2 == 1;
  bool full_disk = (size / 8) % 2 == 1;
  const std::string link = "out/sub/.log.asc." + std::to_string(getpid()) + ".tmp";
  std::error_code error;
  fs::remove_all(space.root + "/out", error);
  fs::create_directories(space.root + "/out/sub", error);
  if (full_disk) fs::create_symlink("/dev/full", space.root + "/" + link, error);
  REQUIRE(!error);
  std::ofstream(space.root + "/in/log.txt", std::ios::binary) << bytes;

  OutputPlugin* writer = asc_writer_create(space.input_fs, space.output_fs, &options);
  REQUIRE(writer != nullptr);
  int result = convert_file(writer, "log.txt", "sub/log.txt");
  output_plugin_destroy(writer);

  // What the reader alone makes of the bytes is what the trace must hold.
  Decoded expected;
  if (read_all(memory_stream_create(bytes), bytes, &expected) != 0) return 1;
  // Apart from the full disk only a refused log fails: the writer keeps every frame
  // the reader makes. A log without records opens no trace, so no disk fails it.
  bool converted = !expected.bytes.empty() && !(full_disk && expected.count > 0);
  REQUIRE(result == (converted ? STATUS_OK : STATUS_CONVERSION_FAILED));
  bool deleted = converted && options.delete_converted;
  bool traced = converted && expected.count > 0;
  std::set<std::string> wanted = {"in/", "out/", "out/sub/"};
  if (!deleted) wanted.insert("in/log.txt");
  if (traced) wanted.insert("out/sub/log.asc");
  if (full_disk && expected.count == 0) wanted.insert(link + " (link)");  // untouched, so kept
  std::set<std::string> found = tree_of(space.root);
  if (found != wanted) {
    for (const std::string& path : found) fprintf(stderr, "  found %s\n", path.c_str());
  }
  REQUIRE(found == wanted);
  REQUIRE(deleted || read_file(space.root + "/in/log.txt") == bytes);
  return traced ? check_trace(read_file(space.root + "/out/sub/log.asc"), expected.count) : 0;
}

// --- ASC line builders -----------------------------------------------------------

// The input, missing bytes 0: the frame's time and the part's first time (doubles as
// the host stores them), the identifier (4 bytes, host order), IDE, Dir, EDL, BRS,
// ESI, BusChannel, DLC, DataLength (modulo 65) and the data bytes.
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
