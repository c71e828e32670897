// The log facility: a line's context, the level letters, the 510-byte cut, the threshold that
// leaves suppressed arguments unevaluated, the local-time cache. Golden cases read the sink.
#include "log/log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "log/log_internal.h"
#include "support/log_capture.h"

#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

// "MM-DD hh:mm:ss" of a second in the zone `zone`.
static std::string date_time(time_t second, const char* zone) {
  setenv("TZ", zone, 1);
  tzset();
  struct tm t;
  log_local_time_for_testing(second, &t);
  char text[32];
  strftime(text, sizeof text, "%m-%d %H:%M:%S", &t);
  return text;
}

TEST(Log, LinesCarryLocalTimeIdsLetterTagAndMessageCutAt510Bytes) {
  const char* zone = getenv("TZ");
  const std::string saved_zone = zone != nullptr ? zone : "";
  const int32_t saved_threshold = log_output_level;
  log_reset_for_testing();
  EXPECT_EQ(log_output_level, 0);         // everything passes until the command line decides
  log_set_output_level(saved_threshold);  // the capture lowers it and puts this back
  // The cache holds a second's fields even when the zone changes under it;
  // the next second is converted afresh, two hours ahead of UTC.
  EXPECT_EQ(
      (std::vector<std::string>{date_time(1638696956, "UTC0"), date_time(1638696956, "EAST-2"),
                                date_time(1638696957, "EAST-2"), date_time(1638696955, "EAST-2")}),
      (std::vector<std::string>{"12-05 09:35:56", "12-05 09:35:56", "12-05 11:35:57",
                                "12-05 11:35:55"}));
  char ids[64];  // what follows the milliseconds: " PPPPP TTTTT "
  snprintf(ids, sizeof ids, " %5ld %5ld ", static_cast<long>(getpid()),
           static_cast<long>(syscall(SYS_gettid)));
  LogCapture capture;
  // The clock the log reads; time() may still show the previous second.
  struct timeval start, end;
  gettimeofday(&start, nullptr);
  (void)log_write(LOG_ERROR, "walk", "Could not write %s data", "CAN");
  gettimeofday(&end, nullptr);
  (void)log_write(LOG_WARN, "", "%s", "");  // an empty tag and message add nothing
  const std::string& line = capture.lines[0];
  EXPECT_TRUE(line.substr(0, 14) == date_time(start.tv_sec, "EAST-2") ||
              line.substr(0, 14) == date_time(end.tv_sec, "EAST-2"))
      << line;
  const long millis = atol(line.substr(15, 3).c_str());
  EXPECT_TRUE(line[14] == '.' && (start.tv_sec != end.tv_sec ||
                                  (millis >= start.tv_usec / 1000 && millis <= end.tv_usec / 1000)))
      << line;
  EXPECT_EQ(line.substr(18), ids + std::string("E walk Could not write CAN data"));
  EXPECT_EQ(capture.lines[1].substr(18), ids + std::string("W "));
  for (int32_t level : {0, 1, 2, 3, 6, 7}) (void)log_write(level, nullptr, "m");
  std::string letters;
  for (size_t i = 2; i < capture.lines.size(); ++i) letters += capture.lines[i][18 + strlen(ids)];
  EXPECT_EQ(letters, "?VDIF?");
  // Suppressed messages are never formatted.
  int evaluated = 0;
  log_set_output_level(LOG_WARN);
  for (int32_t level = LOG_VERBOSE; level <= LOG_FATAL; ++level)
    LOG(level, "level %d", (++evaluated, level));
  EXPECT_EQ(evaluated, 3);
  EXPECT_EQ(capture.messages().back(), "level 6");
  // Lines are cut at 510 bytes, tag included, even by the tag alone.
  const std::string fits(510 - 18 - strlen(ids) - 6, 'y');
  for (const auto& [tag, message] : std::vector<std::pair<std::string, std::string>>{
           {"tag", fits}, {"tag", fits + "W"}, {"tag " + fits + "W", "m"}}) {
    (void)log_write(LOG_ERROR, tag.c_str(), "%s", message.c_str());
    EXPECT_EQ(capture.lines.back().substr(18), ids + std::string("E tag ") + fits);
  }
  zone != nullptr ? setenv("TZ", saved_zone.c_str(), 1) : unsetenv("TZ");
  tzset();
}
