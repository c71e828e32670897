// The log facility: formats the context (local time to the millisecond,
// process and thread ids, level letter) and the message into a stack buffer
// and emits the line with one write, so lines from several threads never mix.
#include "log/log.h"

#include "log/log_internal.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

int32_t log_output_level = 0;

static LogSink g_sink = log_stderr_output;
static void* g_sink_arg = nullptr;

// Cache of the broken-down local time of one second, so localtime_r (which
// takes a lock and may read the zone file) runs about once per second.
// Guard word: bits 0-29 count readers, bit 30 marks the cache stale, bit 31 a
// writer. It starts stale so that the first line fills the cache.
static constexpr uint32_t kStale = 0x40000000u;
static constexpr uint32_t kWriter = 0x80000000u;
static constexpr uint32_t kFlags = kStale | kWriter;
static std::atomic<uint32_t> g_time_guard{kStale};
static struct tm g_cached_tm;
static time_t g_cached_second;

static void local_time_of(time_t second, struct tm* out) {
  if ((g_time_guard.load(std::memory_order_acquire) & kFlags) == 0) {
    uint32_t before = g_time_guard.fetch_add(1, std::memory_order_acquire);
    if ((before & kFlags) == 0) {
      if (g_cached_second == second) {
        *out = g_cached_tm;
        g_time_guard.fetch_sub(1, std::memory_order_release);
        return;
      }
      g_time_guard.fetch_or(kStale, std::memory_order_acq_rel);
    }
    g_time_guard.fetch_sub(1, std::memory_order_release);
  }
  localtime_r(&second, out);
  uint32_t expected = kStale;
  if (g_time_guard.compare_exchange_strong(expected, kStale | kWriter, std::memory_order_acq_rel)) {
    g_cached_tm = *out;
    g_cached_second = second;
    g_time_guard.fetch_and(~kFlags, std::memory_order_release);
  }
}

static char level_letter(int32_t level) {
  switch (level) {
    case LOG_VERBOSE: return 'V';
    case LOG_DEBUG: return 'D';
    case LOG_INFO: return 'I';
    case LOG_WARN: return 'W';
    case LOG_ERROR: return 'E';
    case LOG_FATAL: return 'F';
    default: return '?';
  }
}

void log_set_output_level(int32_t level) { log_output_level = level; }

void log_set_sink(LogSink sink, void* arg) {
  g_sink = sink != nullptr ? sink : log_stderr_output;
  g_sink_arg = sink != nullptr ? arg : nullptr;
}

int log_write(int32_t level, const char* tag, const char* format, ...) {
  char line[LOG_LINE_LIMIT + 2];
  struct timeval now;
  gettimeofday(&now, nullptr);
  struct tm local;
  local_time_of(now.tv_sec, &local);
  long pid = static_cast<long>(getpid());
  long tid = static_cast<long>(syscall(SYS_gettid));

  int used = snprintf(line, LOG_LINE_LIMIT + 1, "%02d-%02d %02d:%02d:%02d.%03d %5ld %5ld %c ",
                      local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                      static_cast<int>(now.tv_usec / 1000), pid, tid, level_letter(level));
  if (used < 0) used = 0;
  if (used > LOG_LINE_LIMIT) used = LOG_LINE_LIMIT;
  if (tag != nullptr && tag[0] != '\0' && used < LOG_LINE_LIMIT) {
    int n = snprintf(line + used, static_cast<size_t>(LOG_LINE_LIMIT + 1 - used), "%s ", tag);
    if (n > 0) used = n > LOG_LINE_LIMIT - used ? LOG_LINE_LIMIT : used + n;
  }
  if (used < LOG_LINE_LIMIT) {
    va_list args;
    va_start(args, format);
    // vsnprintf writes at most LOG_LINE_LIMIT - used characters plus the NUL,
    // which is exactly where an over-long message is cut.
    int n = vsnprintf(line + used, static_cast<size_t>(LOG_LINE_LIMIT + 1 - used), format, args);
    va_end(args);
    if (n > 0) used = n > LOG_LINE_LIMIT - used ? LOG_LINE_LIMIT : used + n;
  }
  return g_sink(line, line + used, g_sink_arg);
}

int log_stderr_output(char* start, char* end, void*) {
  *end = '\n';
  ssize_t written = write(2, start, static_cast<size_t>(end - start) + 1);
  return static_cast<int>(written);
}

void log_reset_for_testing() {
  log_output_level = 0;
  log_set_sink(nullptr, nullptr);
  g_time_guard.store(kStale, std::memory_order_release);
}

void log_local_time_for_testing(time_t second, struct tm* out) { local_time_of(second, out); }
