// A frame's time as whole microseconds since 1970: the one rounding that the
// formats with absolute times share, so they agree on every frame.
#ifndef TRACEWRIGHT_OUTPUT_FRAME_TIME_H_
#define TRACEWRIGHT_OUTPUT_FRAME_TIME_H_

#include <cstdint>

/// Rounds `seconds` to the nearest microsecond, halves away from zero:
/// 2.0000005 => 2000001, -0.0000004 => 0, -0.0000015 => -2.
/// False, with `*micros` untouched, for NaN and for times whose microsecond
/// count does not fit 63 bits (beyond about 290000 years from 1970).
[[nodiscard]] bool frame_time_micros(double seconds, int64_t* micros);

#endif  // TRACEWRIGHT_OUTPUT_FRAME_TIME_H_
