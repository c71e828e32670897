// The log facility: the line's context, the level letters, the 510-byte cut
// written with one write to fd 2, the threshold test of LOG that keeps a
// suppressed message's arguments unevaluated, and the local-time cache.
#include "log/log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "log/log_internal.h"
#include "support/log_capture.h"

#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

namespace {
// Each case starts from the start-up state (threshold 0, stderr sink, stale
// time cache) and gives back the threshold the test binary runs with.
class LogTest : public testing::Test {
 protected:
  void SetUp() override { log_reset_for_testing(); }
  void TearDown() override {
    log_reset_for_testing();
    log_set_output_level(saved_threshold_);
  }
  const int32_t saved_threshold_ = log_output_level;
};

// Sets the local time zone while alive.
struct ScopedTimeZone {
  explicit ScopedTimeZone(const char* zone)
      : had(getenv("TZ") != nullptr), saved(had ? getenv("TZ") : "") {
    set(zone);
  }
  ~ScopedTimeZone() { set(had ? saved.c_str() : nullptr); }
  static void set(const char* zone) {
    zone != nullptr ? setenv("TZ", zone, 1) : unsetenv("TZ");
    tzset();
  }
  bool had;
  std::string saved;
};
}  // namespace

// Runs `write` with fd 2 sent into a pipe; returns what reached fd 2.
template <typename Write>
static std::string stderr_of(int* result, Write write) {
  fflush(stderr);
  int fds[2];
  if (pipe(fds) != 0) return "<no pipe>";
  int saved = dup(2);
  dup2(fds[1], 2);
  close(fds[1]);
  *result = write();
  dup2(saved, 2);
  close(saved);
  std::string bytes;
  char chunk[1024];
  for (ssize_t n; (n = read(fds[0], chunk, sizeof chunk)) > 0;) {
    bytes.append(chunk, static_cast<size_t>(n));
  }
  close(fds[0]);
  return bytes;
}

// "MM-DD hh:mm:ss" of a broken-down time.
static std::string date_time(const struct tm& t) {
  char text[32];
  snprintf(text, sizeof text, "%02d-%02d %02d:%02d:%02d", t.tm_mon + 1, t.tm_mday, t.tm_hour,
           t.tm_min, t.tm_sec);
  return text;
}

// What follows the milliseconds: " PPPPP TTTTT L ".
static std::string ids_and_letter(char letter) {
  char text[64];
  snprintf(text, sizeof text, " %5ld %5ld %c ", static_cast<long>(getpid()),
           static_cast<long>(syscall(SYS_gettid)), letter);
  return text;
}

TEST_F(LogTest, LineCarriesLocalTimeIdsLetterTagAndMessage) {
  ScopedTimeZone zone("EAST-2");  // so that local time differs from UTC
  LogCapture capture;
  // The same clock the log reads: time() is a coarser clock that can still
  // show the previous second just after gettimeofday has moved on.
  struct timeval start, end;
  gettimeofday(&start, nullptr);
  (void)log_write(LOG_ERROR, nullptr, "Could not write %s data", "CAN");
  gettimeofday(&end, nullptr);
  struct tm before, after;
  localtime_r(&start.tv_sec, &before);
  localtime_r(&end.tv_sec, &after);
  (void)log_write(LOG_INFO, "walk", "ls: %s", "a");
  (void)log_write(LOG_WARN, "", "%s", "");  // an empty tag and message add nothing
  ASSERT_EQ(capture.lines().size(), 3u);
  const std::string& line = capture.lines()[0].line;
  ASSERT_GE(line.size(), 18u);
  const std::string stamp = line.substr(0, 14);
  EXPECT_TRUE(stamp == date_time(before) || stamp == date_time(after)) << line;
  EXPECT_TRUE(line[14] == '.' && isdigit(line[15]) && isdigit(line[16]) && isdigit(line[17]))
      << line;
  EXPECT_EQ(line.substr(18), ids_and_letter('E') + "Could not write CAN data");
  EXPECT_EQ(capture.lines()[1].line.substr(18), ids_and_letter('I') + "walk ls: a");
  EXPECT_EQ(capture.lines()[2].line.substr(18), ids_and_letter('W'));

  // Each level has its letter, any other value a question mark.
  for (int32_t level : {0, 1, 2, 3, 4, 5, 6, 7, -1}) (void)log_write(level, nullptr, "m");
  std::string letters;
  for (size_t i = 3; i < capture.lines().size(); ++i) letters += capture.lines()[i].level;
  EXPECT_EQ(letters, "?VDIWEF??");
}

TEST_F(LogTest, StderrSinkWritesLineAndNewlineInOneWriteCutAt510Bytes) {
  const size_t room = 510 - 18 - ids_and_letter('E').size();  // what the message may take
  const std::string fits = std::string(room - 1, 'y') + 'Z';
  const struct {
    std::string message;
    std::string shown;
  } rows[] = {
      {fits, fits},
      {fits + "W", fits},
      {std::string(600, 'x'), std::string(room, 'x')},
  };
  for (const auto& row : rows) {
    int written = 0;
    std::string out = stderr_of(&written, [&] {
      return log_write(LOG_ERROR, nullptr, "%s", row.message.c_str());
    });
    // The sink's result is that of its one write, which carries the newline.
    EXPECT_EQ(written, static_cast<int>(out.size()));
    EXPECT_EQ(out.substr(18), ids_and_letter('E') + row.shown + "\n");
  }
}

TEST_F(LogTest, ThresholdPassesItsOwnLevelAndAboveAndSuppressedMessagesAreNeverFormatted) {
  EXPECT_EQ(log_output_level, 0);  // before the command line sets it
  LogCapture capture;
  int evaluated = 0;
  for (int32_t threshold : {0, int{LOG_WARN}}) {
    log_set_output_level(threshold);
    for (int32_t level = LOG_VERBOSE; level <= LOG_FATAL; ++level) {
      LOG(level, "level %d", (++evaluated, level));
    }
  }
  EXPECT_EQ(capture.messages(), (std::vector<std::string>{"level 1", "level 2", "level 3",
                                                          "level 4", "level 5", "level 6",
                                                          "level 4", "level 5", "level 6"}));
  EXPECT_EQ(evaluated, 9);
}

TEST_F(LogTest, TimeCacheSharesTheFieldsOfOneSecondAndConvertsAnyOther) {
  // The zone changes under the cache: the second it holds keeps the fields
  // it was converted with, while the next second is converted afresh.
  const time_t second = 1638696956;  // 12-05 09:35:56 UTC
  struct tm first, again, next;
  ScopedTimeZone zone("UTC0");
  log_local_time_for_testing(second, &first);
  zone.set("EAST-2");  // two hours ahead of UTC
  log_local_time_for_testing(second, &again);
  log_local_time_for_testing(second + 1, &next);
  EXPECT_EQ(date_time(first), "12-05 09:35:56");
  EXPECT_EQ(first.tm_year, 121);
  EXPECT_EQ(date_time(again), "12-05 09:35:56");
  EXPECT_EQ(date_time(next), "12-05 11:35:57");
}
