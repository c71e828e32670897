// Progress on a terminal: a status-only pre-walk gives the totals, the walk
// reports each text log it reaches, and the line is redrawn from the counts.
// Drawing and erasing both start with "\r\033[K" (to column 0, clear to the
// end of the line), so a log line written after an erase starts on a clean
// line and the progress line never ends up in the terminal's scroll-back.
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
#include <new>
#include <string_view>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

struct Progress {
  FileSystem* output_fs;
  WalkObserver observer;
  int64_t total_logs;
  int64_t total_bytes;
  int64_t logs_done;
  int64_t logs_failed;
  int64_t bytes_in;
  int64_t bytes_out;
  std::string current;  // the log being converted; empty between logs
  int64_t current_size;
  double start;      // seconds on the monotonic clock
  double last_draw;  // when the line was last updated; < 0 before the first
  bool visible;
};

static const char kClearLine[] = "\r\033[K";
// At most ten updates a second: faster changes cannot be read anyway and
// would only cost writes to the terminal.
constexpr double kMinSecondsBetweenUpdates = 0.1;
constexpr double kBytesPerMegabyte = 1e6;
constexpr int kDefaultColumns = 80;

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

// A line longer than the terminal would wrap, and "\r" would then return to
// its last row only; the file name gives way first, from its start.
static void draw(Progress* p) {
  double elapsed = now_seconds() - p->start;
  double rate = elapsed > 0 ? megabytes(p->bytes_in) / elapsed : 0.0;
  char counts[160];
  int n =
      snprintf(counts, sizeof counts, "%" PRId64 " of %" PRId64 " logs, %.1f of %.1f MB, %.1f MB/s",
               p->logs_done, std::max(p->total_logs, p->logs_done), megabytes(p->bytes_in),
               megabytes(std::max(p->total_bytes, p->bytes_in)), rate);
  std::string line = kClearLine;
  line.append(counts, n > 0 ? std::min(static_cast<size_t>(n), sizeof counts - 1) : 0);
  if (!p->current.empty()) {
    size_t room = static_cast<size_t>(terminal_columns() - 1);
    size_t used = line.size() - (sizeof kClearLine - 1) + 2;
    std::string_view name = p->current;
    if (used + name.size() > room) {
      size_t keep = room > used + 3 ? room - used - 3 : 0;
      line += ", ...";
      line.append(name.substr(name.size() - std::min(keep, name.size())));
    } else {
      line += ", ";
      line += name;
    }
  }
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
  write_stderr(kClearLine);
  p->visible = false;
}

static int log_around_progress(char* start, char* end, void* arg) {
  Progress* p = static_cast<Progress*>(arg);
  bool was_visible = p->visible;
  erase(p);
  int result = log_stderr_output(start, end, nullptr);
  if (was_visible) draw(p);
  return result;
}

static void on_log_started(void* arg, std::string_view input_path, int64_t size) {
  Progress* p = static_cast<Progress*>(arg);
  // Names come from the card: a control byte in one (a newline, an escape
  // sequence) must not move the cursor or reprogram the terminal.
  p->current.assign(input_path);
  for (char& c : p->current) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  p->current_size = size;
  update(p);
}

static int64_t output_size(FileSystem* fs, const std::string& path) {
  FileInfo info{};
  if (!fs_stat(fs, path, &info) || info.type != FILE_TYPE_FILE) return 0;
  return info.size;
}

static void on_log_finished(void* arg, std::string_view output_stem, int result) {
  Progress* p = static_cast<Progress*>(arg);
  ++p->logs_done;
  if (result != STATUS_OK) ++p->logs_failed;
  p->bytes_in += p->current_size;
  std::string stem(output_stem);
  p->bytes_out += output_size(p->output_fs, stem + ".asc");
  p->bytes_out += output_size(p->output_fs, stem + "_LIN.asc");
  // No drawing here: the next log's start follows at once and draws the
  // counts together with its name, which a drawing now would often keep
  // off the line for a tenth of a second.
  p->current.clear();
}

// The survey's observer: every text log the walk will reach adds to the totals.
static void count_log(void* arg, std::string_view, int64_t size) {
  Progress* p = static_cast<Progress*>(arg);
  ++p->total_logs;
  p->total_bytes += size;
}

static void count_nothing(void*, std::string_view, int) {}

Progress* progress_start(OutputPlugin* plugin, const std::vector<std::string>& inputs) {
  Progress* p = new (std::nothrow) Progress{};
  if (p == nullptr) return nullptr;
  p->output_fs = plugin->output_fs;
  p->observer = {.log_started = on_log_started, .log_finished = on_log_finished, .arg = p};
  p->start = now_seconds();
  p->last_draw = -1;
  // The walk itself reports what it meets; the count stays silent so that
  // nothing is logged twice.
  int32_t threshold = log_output_level;
  log_set_output_level(LOG_FATAL + 1);
  const WalkObserver counter = {.log_started = count_log, .log_finished = count_nothing, .arg = p};
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
  char summary[256];
  int n = p->logs_failed > 0
              ? snprintf(summary, sizeof summary,
                         "Converted %" PRId64 " of %" PRId64
                         " logs (%.1f MB in, %.1f MB out) in %.1f s, %" PRId64 " failed\n",
                         converted, logs, megabytes(p->bytes_in), megabytes(p->bytes_out), seconds,
                         p->logs_failed)
              : snprintf(summary, sizeof summary,
                         "Converted %" PRId64 " of %" PRId64
                         " logs (%.1f MB in, %.1f MB out) in %.1f s\n",
                         converted, logs, megabytes(p->bytes_in), megabytes(p->bytes_out), seconds);
  std::string line(summary, n > 0 ? std::min(static_cast<size_t>(n), sizeof summary - 1) : 0);
  write_stderr(line);
  delete p;
}
