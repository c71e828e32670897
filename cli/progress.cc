// Progress on a terminal: a status-only pre-walk gives the totals, the walk
// reports each text log it reaches and how far its reading got, and the line
// is redrawn from the counts. Drawing and erasing both start with "\r\033[K"
// (to column 0, clear to the end of the line), so a log line written after an
// erase starts on a clean line and the progress line never ends up in the
// terminal's scroll-back.
#include "cli/progress.h"

#include "convert/conversion_options.h"
#include "convert/convert_inputs.h"
#include "convert/exit_status.h"
#include "convert/output_plugin.h"
#include "log/log.h"
#include "platform/filesystem.h"
#include "platform/interrupt.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string_view>
#include <vector>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

namespace {

// A log in work, on the worker of its index.
struct LogInWork {
  std::string name;  // empty while the worker has none
  int64_t size;
  int64_t read;  // how far into it reading got
};

}  // namespace

// The whole state of the display, guarded by one lock: with several workers
// their reports and their log lines come at the same time.
struct Progress {
  std::mutex mutex;
  FileSystem* output_fs;
  uint8_t formats;  // FORMAT_* bits: the traces a log may have
  WalkObserver observer;
  int64_t total_logs;
  int64_t total_bytes;
  int64_t logs_done;  // finished, converted or not
  int64_t logs_failed;
  int64_t logs_not_removed;
  int64_t bytes_done;       // the sizes of the logs finished
  int64_t bytes_converted;  // the sizes of the logs converted
  int64_t bytes_out;
  int64_t bytes_reread;            // read before a log's reading started over, for the rate
  std::vector<LogInWork> in_work;  // one per worker, and one for the walk
  double start;                    // seconds on the monotonic clock
  double last_draw;                // when the line was last updated; < 0 before the first
  size_t drawn;                    // bytes on the line as last drawn
  bool visible;
};

static const char kClearLine[] = "\r\033[K";
// At most ten updates a second: faster changes cannot be read anyway and
// would only cost writes to the terminal.
constexpr double kMinSecondsBetweenUpdates = 0.1;
constexpr double kBytesPerMegabyte = 1e6;
constexpr int kDefaultColumns = 80;
// The counts give way before the log's name is cut shorter than this.
constexpr size_t kNameMinColumns = 16;

static double now_seconds() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

static double megabytes(int64_t bytes) { return static_cast<double>(bytes) / kBytesPerMegabyte; }

// Output to a terminal that fails cannot be reported anywhere better.
static void write_stderr(std::string_view text) {
  while (!text.empty()) {
    ssize_t n = write(2, text.data(), text.size());
    if (n <= 0) return;
    text.remove_prefix(static_cast<size_t>(n));
  }
}

static int terminal_columns() {
  struct winsize size {};
  if (ioctl(2, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return kDefaultColumns;
  return size.ws_col;
}

// The name's end, behind "...", when the whole name does not fit in `room`.
static void append_fitted_name(std::string* line, std::string_view name, size_t room) {
  constexpr std::string_view kCut = "...";
  if (name.size() <= room) {
    line->append(name);
    return;
  }
  if (room <= kCut.size()) {
    line->append(kCut.substr(0, room));
    return;
  }
  std::string_view tail = name.substr(name.size() - (room - kCut.size()));
  // Begin on a whole character: half a UTF-8 sequence would show as a stray sign.
  while (!tail.empty() && (static_cast<unsigned char>(tail.front()) & 0xC0) == 0x80) {
    tail.remove_prefix(1);
  }
  line->append(kCut);
  line->append(tail);
}

// Clears the line from its start, where every drawing leaves the cursor. A
// terminal made narrower since may have wrapped the last drawing onto rows
// below; they are cleared from a saved cursor, moving down, which never
// scrolls, so no text but the line's own is touched (clearing to the end of
// the screen instead makes some terminals keep each drawing in their history).
static void append_clear(std::string* out, size_t drawn, int columns) {
  out->append(kClearLine);
  const size_t rows_below = drawn > 0 ? (drawn - 1) / static_cast<size_t>(columns) : 0;
  if (rows_below == 0) return;
  out->append("\0337");
  for (size_t row = 0; row < rows_below; ++row) out->append("\033[B\033[K");
  out->append("\0338");
}

// A line as wide as the terminal would wrap, and a wrapped line could not be
// redrawn in place; so it keeps the last column free (a name never takes
// more columns than it has bytes). The counts shorten from the right, and
// go, before the name is cut below kNameMinColumns; the name gives way from
// its start. The cursor goes back to the line's start, which stays the start
// when a narrower terminal rewraps the line.
static void draw(Progress* p) {
  int64_t read = p->bytes_done;
  std::string names;  // of the logs in work, in the order of their workers
  for (const LogInWork& log : p->in_work) {
    if (log.name.empty()) continue;
    read += std::min(log.read, log.size);
    if (!names.empty()) names += ", ";
    names += log.name;
  }
  const double elapsed = now_seconds() - p->start;
  const double rate = elapsed > 0 ? megabytes(read + p->bytes_reread) / elapsed : 0.0;
  const int64_t logs = std::max(p->total_logs, p->logs_done);
  const double mb = megabytes(read), total_mb = megabytes(std::max(p->total_bytes, read));
  char counts[3][160];
  snprintf(counts[0], sizeof counts[0],
           "%" PRId64 " of %" PRId64 " logs, %.1f of %.1f MB, %.1f MB/s", p->logs_done, logs, mb,
           total_mb, rate);
  snprintf(counts[1], sizeof counts[1], "%" PRId64 " of %" PRId64 " logs, %.1f of %.1f MB",
           p->logs_done, logs, mb, total_mb);
  snprintf(counts[2], sizeof counts[2], "%.1f of %.1f MB", mb, total_mb);
  const int columns = terminal_columns();
  const size_t room = static_cast<size_t>(columns - 1);
  const std::string_view name = names;
  const size_t name_needs = name.empty() ? 0 : std::min(name.size(), kNameMinColumns) + 2;
  std::string line;
  append_clear(&line, p->drawn, columns);
  const size_t start = line.size();
  for (const char* form : counts) {
    if (strlen(form) + name_needs <= room) {
      line += form;
      break;
    }
  }
  size_t used = line.size() - start;
  if (!name.empty()) {
    if (used > 0) {
      line += ", ";
      used += 2;
    }
    append_fitted_name(&line, name, room - used);
  }
  p->drawn = line.size() - start;
  line += '\r';
  write_stderr(line);
  p->visible = true;
}

static void update(Progress* p) {
  double now = now_seconds();
  if (p->last_draw >= 0 && now - p->last_draw < kMinSecondsBetweenUpdates) return;
  p->last_draw = now;
  draw(p);
}

static void erase(Progress* p) {
  if (!p->visible) return;
  std::string clear;
  append_clear(&clear, p->drawn, terminal_columns());
  write_stderr(clear);
  p->drawn = 0;
  p->visible = false;
}

static int log_around_progress(char* start, char* end, void* arg) {
  Progress* p = static_cast<Progress*>(arg);
  std::lock_guard<std::mutex> lock(p->mutex);
  bool was_visible = p->visible;
  erase(p);
  int result = log_stderr_output(start, end, nullptr);
  if (was_visible) draw(p);
  return result;
}

// An update skipped for coming too soon is not made up for later: the next
// report, some 64 KiB of reading on, draws the line as it then stands, so the
// line names the log being read within about a tenth of a second.
static void on_log_started(void* arg, size_t worker, std::string_view input_path, int64_t size) {
  Progress* p = static_cast<Progress*>(arg);
  std::lock_guard<std::mutex> lock(p->mutex);
  LogInWork& log = p->in_work[worker];
  // Names come from the card: a control byte in one (a newline, an escape
  // sequence) must not move the cursor or reprogram the terminal.
  log.name.assign(input_path);
  for (char& c : log.name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  log.size = size;
  log.read = 0;
  update(p);
}

static void on_log_read(void* arg, size_t worker, int64_t position) {
  Progress* p = static_cast<Progress*>(arg);
  std::lock_guard<std::mutex> lock(p->mutex);
  LogInWork& log = p->in_work[worker];
  // A log read a second time (frames out of order) shows as read again.
  if (position < log.read) p->bytes_reread += log.read;
  log.read = position;
  update(p);
}

static void on_log_not_removed(void* arg, size_t) {
  Progress* p = static_cast<Progress*>(arg);
  std::lock_guard<std::mutex> lock(p->mutex);
  ++p->logs_not_removed;
}

static int64_t output_size(FileSystem* fs, const std::string& path) {
  FileInfo info{};
  if (!fs_stat(fs, path, &info) || info.type != FILE_TYPE_FILE) return 0;
  return info.size;
}

static void on_log_finished(void* arg, size_t worker, std::string_view output_stem, int result) {
  Progress* p = static_cast<Progress*>(arg);
  // Outside the lock: the traces are this worker's own.
  std::string stem(output_stem);
  int64_t out = 0;
  // Only the requested formats' names: a file of another name beside the
  // log is none of this run's output.
  static const struct {
    uint8_t format;
    const char* suffix;
  } kTraces[] = {
      {FORMAT_ASC, ".asc"}, {FORMAT_ASC, "_LIN.asc"}, {FORMAT_BLF, ".blf"}, {FORMAT_LOG, ".log"}};
  for (const auto& trace : kTraces) {
    if ((p->formats & trace.format) != 0) out += output_size(p->output_fs, stem + trace.suffix);
  }
  std::lock_guard<std::mutex> lock(p->mutex);
  LogInWork& log = p->in_work[worker];
  ++p->logs_done;
  p->bytes_done += log.size;
  if (result != STATUS_OK) {
    ++p->logs_failed;
  } else {
    p->bytes_converted += log.size;
  }
  p->bytes_out += out;
  // No drawing here: the next log's start follows at once and draws the
  // counts together with its name, which a drawing now would often keep
  // off the line for a tenth of a second.
  log.name.clear();
}

// The survey's observer: every text log the walk will reach adds to the totals.
static void count_log(void* arg, size_t, std::string_view, int64_t size) {
  Progress* p = static_cast<Progress*>(arg);
  ++p->total_logs;
  p->total_bytes += size;
}

static void count_nothing(void*, size_t, std::string_view, int) {}

Progress* progress_start(OutputPlugin* plugin, const std::vector<std::string>& inputs,
                         size_t workers) {
  Progress* p = new (std::nothrow) Progress{};
  if (p == nullptr) return nullptr;
  p->in_work.resize(workers + 1);
  p->output_fs = plugin->output_fs;
  p->formats = plugin->options->formats == 0 ? FORMAT_ASC : plugin->options->formats;
  p->observer = {.log_started = on_log_started,
                 .log_finished = on_log_finished,
                 .log_read = on_log_read,
                 .log_not_removed = on_log_not_removed,
                 .arg = p};
  p->start = now_seconds();
  p->last_draw = -1;
  // The walk itself reports what it meets; the count stays silent so that
  // nothing is logged twice.
  int32_t threshold = log_output_level;
  log_set_output_level(LOG_FATAL + 1);
  const WalkObserver counter = {.log_started = count_log,
                                .log_finished = count_nothing,
                                .log_read = nullptr,
                                .log_not_removed = nullptr,
                                .arg = p};
  convert_inputs_survey(plugin, inputs, &counter);
  log_set_output_level(threshold);
  log_set_sink(log_around_progress, p);
  interrupt_clear_terminal_line(true);
  return p;
}

const WalkObserver* progress_observer(Progress* progress) {
  return progress != nullptr ? &progress->observer : nullptr;
}

void progress_finish(Progress* p) {
  if (p == nullptr) return;
  erase(p);
  interrupt_clear_terminal_line(false);
  log_set_sink(nullptr, nullptr);
  int64_t converted = p->logs_done - p->logs_failed;
  const int64_t logs = std::max(p->total_logs, p->logs_done);
  const double seconds = now_seconds() - p->start;
  const double in = megabytes(p->bytes_converted), out = megabytes(p->bytes_out);
  const int64_t failed = p->logs_failed, not_removed = p->logs_not_removed;
  char summary[256];
  int n = 0;
  if (failed > 0 && not_removed > 0) {
    n = snprintf(summary, sizeof summary,
                 "Converted %" PRId64 " of %" PRId64
                 " logs (%.1f MB in, %.1f MB out) in %.1f s, %" PRId64 " failed, %" PRId64
                 " not removed\n",
                 converted, logs, in, out, seconds, failed, not_removed);
  } else if (failed > 0) {
    n = snprintf(summary, sizeof summary,
                 "Converted %" PRId64 " of %" PRId64
                 " logs (%.1f MB in, %.1f MB out) in %.1f s, %" PRId64 " failed\n",
                 converted, logs, in, out, seconds, failed);
  } else if (not_removed > 0) {
    n = snprintf(summary, sizeof summary,
                 "Converted %" PRId64 " of %" PRId64
                 " logs (%.1f MB in, %.1f MB out) in %.1f s, %" PRId64 " not removed\n",
                 converted, logs, in, out, seconds, not_removed);
  } else {
    n = snprintf(summary, sizeof summary,
                 "Converted %" PRId64 " of %" PRId64 " logs (%.1f MB in, %.1f MB out) in %.1f s\n",
                 converted, logs, in, out, seconds);
  }
  std::string line(summary, n > 0 ? std::min(static_cast<size_t>(n), sizeof summary - 1) : 0);
  write_stderr(line);
  delete p;
}
