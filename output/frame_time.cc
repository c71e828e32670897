// Frame times in whole microseconds.
#include "output/frame_time.h"

#include <cmath>

bool frame_time_micros(double seconds, int64_t* micros) {
  // Inside this bound llround's result fits; a NaN fails both tests.
  constexpr double kLimit = 9.2e18;
  double scaled = seconds * 1e6;
  if (!(scaled > -kLimit && scaled < kLimit)) return false;
  // The product is rounded once more than the time itself; a logger's times
  // carry milliseconds, which lie far from a half microsecond, so that
  // rounding never decides the result.
  *micros = std::llround(scaled);
  return true;
}
