// The log facility: the line's context, the level letters, the 510-byte cut
// written with one write to fd 2, the threshold test of LOG that keeps a
// suppressed message's arguments unevaluated, and the local-time cache.
#include "log/log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "log/log_internal.h"
#include "support/log_capture.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace {
// Each case starts from the start-up state (threshold 0, stderr sink, stale
// time cache) and gives back the threshold the test binary runs with.
class LogTest : public testing::Test {
 protected:
  void SetUp() override {
    saved_threshold_ = log_output_level;
    log_reset_for_testing();
  }
  void TearDown() override {
    log_reset_for_testing();
    log_set_output_level(saved_threshold_);
  }

 private:
  int32_t saved_threshold_ = 0;
};

// Sends fd 2 into a pipe while alive; `take()` restores fd 2 and returns
// everything written meanwhile.
class StderrPipe {
 public:
  StderrPipe() {
    fflush(stderr);
    if (pipe(fds_) != 0) return;
    saved_ = dup(2);
    dup2(fds_[1], 2);
    close(fds_[1]);
  }
  ~StderrPipe() { restore(); }
  std::string take() {
    restore();
    std::string bytes;
    char chunk[1024];
    ssize_t n = 0;
    while ((n = read(fds_[0], chunk, sizeof chunk)) > 0) {
      bytes.append(chunk, static_cast<size_t>(n));
    }
    return bytes;
  }

 private:
  void restore() {
    if (saved_ < 0) return;
    dup2(saved_, 2);
    close(saved_);
    saved_ = -1;
  }
  int fds_[2] = {-1, -1};
  int saved_ = -1;
};

int g_calls = 0;
int counted_argument() {
  ++g_calls;
  return 17;
}
}  // namespace

// "MM-DD hh:mm:ss.mmm" of a broken-down time.
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

TEST_F(LogTest, LineCarriesLocalTimeIdsLetterAndMessage) {
  LogCapture capture;
  time_t before = time(nullptr);
  (void)log_write(LOG_ERROR, nullptr, "Could not write %s data", "CAN");
  time_t after = time(nullptr);
  ASSERT_EQ(capture.lines().size(), 1u);
  const std::string& line = capture.lines()[0].line;
  ASSERT_GE(line.size(), 19u);
  struct tm t_before, t_after;
  localtime_r(&before, &t_before);
  localtime_r(&after, &t_after);
  std::string stamp = line.substr(0, 14);
  EXPECT_TRUE(stamp == date_time(t_before) || stamp == date_time(t_after)) << line;
  EXPECT_EQ(line[14], '.');
  for (int i = 15; i < 18; ++i) EXPECT_TRUE(isdigit(static_cast<unsigned char>(line[i]))) << line;
  EXPECT_EQ(line.substr(18), ids_and_letter('E') + "Could not write CAN data");
}

TEST_F(LogTest, TagSitsBetweenLetterAndMessage) {
  LogCapture capture;
  (void)log_write(LOG_INFO, "walk", "ls: %s", "a");
  (void)log_write(LOG_INFO, "", "no tag");
  ASSERT_EQ(capture.lines().size(), 2u);
  EXPECT_EQ(capture.lines()[0].line.substr(18), ids_and_letter('I') + "walk ls: a");
  EXPECT_EQ(capture.lines()[1].line.substr(18), ids_and_letter('I') + "no tag");
}

TEST_F(LogTest, EachLevelHasItsLetterAndOthersGetQuestionMark) {
  LogCapture capture;
  const char expected[] = "?VDIWEF??";
  const int32_t levels[] = {0, 1, 2, 3, 4, 5, 6, 7, -1};
  for (int32_t level : levels) (void)log_write(level, nullptr, "m");
  ASSERT_EQ(capture.lines().size(), 9u);
  for (size_t i = 0; i < 9; ++i) {
    EXPECT_EQ(capture.lines()[i].line.substr(18), ids_and_letter(expected[i]) + "m")
        << "level " << levels[i];
  }
}

TEST_F(LogTest, EmptyMessageLeavesTheContextAlone) {
  LogCapture capture;
  (void)log_write(LOG_WARN, nullptr, "%s", "");
  ASSERT_EQ(capture.lines().size(), 1u);
  EXPECT_EQ(capture.lines()[0].line.substr(18), ids_and_letter('W'));
}

TEST_F(LogTest, StderrSinkWritesOneLineWithNewline) {
  StderrPipe pipe;
  int written = log_write(LOG_WARN, nullptr, "Could not find input file/folder %.*s", 3, "abcdef");
  std::string out = pipe.take();
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(written, static_cast<int>(out.size()));
  EXPECT_EQ(out.substr(18), ids_and_letter('W') + "Could not find input file/folder abc\n");
}

TEST_F(LogTest, OverlongLineIsCutAt510BytesAndWrittenOnce) {
  std::string message(600, 'x');
  message += "END";
  StderrPipe pipe;
  // The sink's result is that of its single write call.
  int written = log_write(LOG_ERROR, nullptr, "%s", message.c_str());
  std::string out = pipe.take();
  EXPECT_EQ(written, 511);
  ASSERT_EQ(out.size(), 511u);
  EXPECT_EQ(out.back(), '\n');
  std::string context = out.substr(0, 18) + ids_and_letter('E');
  EXPECT_EQ(out.substr(0, context.size()), context);
  EXPECT_EQ(out.substr(context.size(), 510 - context.size()),
            std::string(510 - context.size(), 'x'));
}

TEST_F(LogTest, LineOfExactly510BytesIsNotCut) {
  LogCapture capture;
  (void)log_write(LOG_ERROR, nullptr, "probe");
  ASSERT_EQ(capture.lines().size(), 1u);
  size_t context = capture.lines()[0].line.size() - 5;
  std::string message(510 - context - 1, 'y');
  message += 'Z';
  (void)log_write(LOG_ERROR, nullptr, "%s", message.c_str());
  ASSERT_EQ(capture.lines().size(), 2u);
  EXPECT_EQ(capture.lines()[1].line.size(), 510u);
  EXPECT_EQ(capture.lines()[1].line.back(), 'Z');
  (void)log_write(LOG_ERROR, nullptr, "%sW", message.c_str());
  ASSERT_EQ(capture.lines().size(), 3u);
  EXPECT_EQ(capture.lines()[2].line.size(), 510u);
  EXPECT_EQ(capture.lines()[2].line.back(), 'Z');
}

TEST_F(LogTest, SuppressedMessageArgumentsAreNeverEvaluated) {
  LogCapture capture(LOG_ERROR);
  g_calls = 0;
  LOG(LOG_WARN, "value %d", counted_argument());
  EXPECT_EQ(g_calls, 0);
  EXPECT_TRUE(capture.lines().empty());
  log_set_output_level(LOG_WARN);
  LOG(LOG_WARN, "value %d", counted_argument());
  EXPECT_EQ(g_calls, 1);
  ASSERT_EQ(capture.lines().size(), 1u);
  EXPECT_EQ(capture.lines()[0].level, 'W');
  EXPECT_EQ(capture.lines()[0].message, "value 17");
}

TEST_F(LogTest, ThresholdZeroLetsEveryLevelThrough) {
  EXPECT_EQ(log_output_level, 0);
  LogCapture capture;
  for (int32_t level = LOG_VERBOSE; level <= LOG_FATAL; ++level) LOG(level, "level %d", level);
  EXPECT_EQ(capture.messages(), (std::vector<std::string>{"level 1", "level 2", "level 3",
                                                          "level 4", "level 5", "level 6"}));
}

TEST_F(LogTest, ThresholdPassesItsOwnLevelAndAbove) {
  LogCapture capture(LOG_ERROR);
  for (int32_t level = LOG_VERBOSE; level <= LOG_FATAL; ++level) LOG(level, "level %d", level);
  EXPECT_EQ(capture.messages(), (std::vector<std::string>{"level 5", "level 6"}));
}

TEST_F(LogTest, TimeCacheAnswersLikeLocaltimeAndRefreshesPerSecond) {
  EXPECT_EQ(log_time_guard_for_testing(), 0x40000000u);  // stale at start
  const time_t seconds[] = {1638696956, 1638696956, 1638696957, 1600000000, 1638696956};
  for (time_t second : seconds) {
    struct tm cached, direct;
    memset(&cached, 0, sizeof cached);
    log_local_time_for_testing(second, &cached);
    localtime_r(&second, &direct);
    EXPECT_EQ(date_time(cached), date_time(direct)) << second;
    EXPECT_EQ(cached.tm_year, direct.tm_year) << second;
    // No reader is left inside and the cache holds this second.
    EXPECT_EQ(log_time_guard_for_testing(), 0u) << second;
  }
}
