// Process-wide diagnostics: one time-stamped line per message on standard
// error. Every part of the tool reports through LOG(), which tests the
// threshold first so that suppressed messages are never formatted.
#ifndef TRACEWRIGHT_LOG_LOG_H_
#define TRACEWRIGHT_LOG_LOG_H_

#include <cstdint>

enum LogLevel : int32_t {
  LOG_VERBOSE = 1,
  LOG_DEBUG = 2,
  LOG_INFO = 3,
  LOG_WARN = 4,
  LOG_ERROR = 5,
  LOG_FATAL = 6,
};

/// Lines of at most this many bytes (context, tag and message) are handed to
/// the sink; the sink appends the newline in the byte that follows.
constexpr int LOG_LINE_LIMIT = 510;

/// The threshold: a message of level L is written when L >= log_output_level.
/// Starts at 0 (everything passes) and is set once by the command line before
/// any conversion; the tool has one thread, so a plain global suffices.
extern int32_t log_output_level;

/// Receives one finished line [start, end); `end` may be written to (one byte
/// of room is guaranteed there). Returns what the sink reports.
using LogSink = int (*)(char* start, char* end, void* arg);

void log_set_output_level(int32_t level);

/// Replaces the sink (null restores the default, log_stderr_output).
void log_set_sink(LogSink sink, void* arg);

/// Builds one line and hands it to the sink, unconditionally: callers test the
/// level first (use LOG). `tag` may be null. Returns the sink's result.
int log_write(int32_t level, const char* tag, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

/// The default sink: stores a newline at `end` and writes the line with a
/// single write() to file descriptor 2. Failures are ignored.
int log_stderr_output(char* start, char* end, void* arg);

/// Tests the threshold before evaluating any argument of the message.
#define LOG(level, ...)                               \
  do {                                                \
    if ((level) >= log_output_level) {                \
      (void)log_write((level), nullptr, __VA_ARGS__); \
    }                                                 \
  } while (0)

#endif  // TRACEWRIGHT_LOG_LOG_H_
