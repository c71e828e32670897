// The ASC writer's hand-written frame lines against its stb_sprintf
// reference: times as conversions produce them, times next to and exactly on
// a rounding half, every magnitude, NaN, infinities and negative values, and
// every field of a frame at random. Each line must come out byte for byte the
// same.
#include "output/asc/asc_writer_internal.h"

#include <gtest/gtest.h>

#include <stb_sprintf.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "convert/bus_message.h"
#include "support/differential.h"

namespace {

double from_bits(uint64_t bits) {
  double value = 0;
  memcpy(&value, &bits, sizeof value);
  return value;
}

/// Relative times of the kinds a conversion meets, and hostile ones.
class Times {
 public:
  explicit Times(uint64_t seed) : rng_(seed) {}

  double next(size_t i) {
    switch (i % 7) {
      case 0: {  // a logger's millisecond times in 2024, minus the file's first
        uint64_t first = 1710547080 + below(86400);
        double t0 = static_cast<double>(first) + static_cast<double>(below(1000)) * 0.001;
        double t = static_cast<double>(first + below(86400)) +
                   static_cast<double>(below(1000)) * 0.001;
        return t >= t0 ? t - t0 : 0.0;
      }
      case 1:  // anywhere up to and past the fast path's limit
        return std::ldexp(static_cast<double>(rng_() >> 11), -53) * 0x1p25;
      case 2:  // any magnitude
        return std::ldexp(1.0 + std::ldexp(static_cast<double>(rng_() >> 11), -53),
                          static_cast<int>(below(121)) - 60);
      case 3:  // any bit pattern: negative, subnormal, infinite, NaN
        return from_bits(rng_());
      case 4: {  // a few ulps from a half of the sixth decimal
        double half = (static_cast<double>(below(uint64_t{1} << 44)) + 0.5) / 1e6;
        for (uint64_t k = below(4); k > 0; --k) {
          half = std::nextafter(half, below(2) == 0 ? 0.0 : INFINITY);
        }
        return half;
      }
      case 5:  // exactly on a half: the odd multiples of 1/128
        return static_cast<double>(2 * below(uint64_t{1} << 30) + 1) / 128;
      case 6: {  // microsecond grids seen through a large first time
        double t0 = 1e9 + static_cast<double>(below(1000000)) / 1e6;
        return t0 + static_cast<double>(below(uint64_t{1} << 36)) / 1e6 - t0;
      }
    }
    return 0;
  }

  uint64_t below(uint64_t n) { return rng_() % n; }
  uint64_t bits() { return rng_(); }

 private:
  std::mt19937_64 rng_;
};

std::string fast_seconds(double seconds, int width, bool* fast) {
  char text[64];
  char* end = asc_writer_format_seconds(text, seconds, width);
  *fast = end != nullptr;
  return end != nullptr ? std::string(text, static_cast<size_t>(end - text)) : "";
}

std::string stb_seconds(double seconds, int width) {
  char text[512];
  int length = stbsp_snprintf(text, sizeof text, "% *.6f", width, seconds);
  return std::string(text, static_cast<size_t>(length));
}

}  // namespace

TEST(AscWriterFormatSeconds, MatchesStbSprintfWhereverItAnswers) {
  const double fixed[] = {
      0.0, 0.125, 2.5, 1.0 / 128, 3.0 / 128, 0.0000005, 0.0000015, 0.9999995, 9.9999995,
      99999.9999995, 1e6, 16777215.999999, 16777216.0, 0x1p-20, 0x1p-21, 1e-7, 86400.001,
      0.1 + 0.2, 1710547080.125 - 1710547080.0, -0.0, -1.0, INFINITY, NAN,
  };
  for (double value : fixed) {
    for (int width : {11, 12}) {
      bool fast = false;
      std::string text = fast_seconds(value, width, &fast);
      if (fast) {
        EXPECT_EQ(text, stb_seconds(value, width)) << value;
      }
    }
  }

  Times times(21);
  size_t count = differential_count(1500000);
  size_t logger_times = 0;
  size_t logger_fast = 0;
  for (size_t i = 0; i < count; ++i) {
    double value = times.next(i);
    int width = i % 2 == 0 ? 11 : 12;
    bool fast = false;
    std::string text = fast_seconds(value, width, &fast);
    if (i % 7 == 0) {
      ++logger_times;
      logger_fast += fast ? 1 : 0;
    }
    if (fast) {
      ASSERT_EQ(text, stb_seconds(value, width)) << "%a: " << value;
    }
  }
  // The fast path must carry the times that conversions produce, or this
  // test would prove nothing.
  EXPECT_GT(logger_fast, logger_times * 99 / 100);
}

TEST(AscWriterAppendCanLine, MatchesTheStbSprintfLineForAnyFrame) {
  Times times(22);
  size_t count = differential_count(400000);
  for (size_t i = 0; i < count; ++i) {
    BusMessage frame{};
    bus_message_clear(&frame);
    double t0 = 1710547080.0 + static_cast<double>(times.below(1000)) * 0.001;
    frame.Timestamp = t0 + times.next(i);
    uint64_t bits = times.bits();
    // Mostly standard and extended identifiers; any value now and then.
    switch (bits % 4) {
      case 0: frame.ID = static_cast<uint32_t>(times.bits() & 0x7FF); break;
      case 1: frame.ID = static_cast<uint32_t>(times.bits() & 0x1FFFFFFF); break;
      default: frame.ID = static_cast<uint32_t>(times.bits() >> (bits % 33)); break;
    }
    uint64_t fields = times.bits();
    frame.CAN.IDE = (fields & 1) != 0 ? static_cast<uint8_t>(fields >> 8) : 0;
    frame.CAN.Dir = (fields & 2) != 0 ? static_cast<uint8_t>(fields >> 16) : 0;
    frame.CAN.EDL = (fields & 4) != 0 ? static_cast<uint8_t>(fields >> 24) : 0;
    frame.CAN.BRS = (fields & 8) != 0 ? static_cast<uint8_t>(fields >> 32) : 0;
    frame.CAN.ESI = (fields & 16) != 0 ? static_cast<uint8_t>(fields >> 40) : 0;
    frame.CAN.BusChannel = static_cast<uint8_t>(fields >> 48);
    frame.CAN.DLC = static_cast<uint8_t>(fields >> 56);
    frame.DataLength = times.below(4) == 0 ? times.below(CAN_PAYLOAD_CAPACITY + 1) : 8;
    for (uint64_t b = 0; b < frame.DataLength; ++b) {
      frame.CAN.Payload[b] = static_cast<uint8_t>(times.bits());
    }
    frame.DataBytes = frame.CAN.Payload;

    std::string fast;
    std::string reference;
    asc_writer_append_can_line(&fast, frame, t0);
    asc_writer_append_can_line_reference(&reference, frame, t0);
    ASSERT_EQ(fast, reference) << "frame " << i;
  }
}

TEST(AscWriterAppendLinLine, MatchesTheStbSprintfLineForAnyFrame) {
  Times times(23);
  size_t count = differential_count(200000);
  for (size_t i = 0; i < count; ++i) {
    LinMessage frame{};
    double t0 = 1710547080.0 + static_cast<double>(times.below(1000)) * 0.001;
    frame.Timestamp = t0 + times.next(i);
    uint64_t fields = times.bits();
    frame.ID = static_cast<uint32_t>((fields & 1) != 0 ? fields >> 32 : fields >> 58);
    frame.LIN.Dir = (fields & 2) != 0 ? static_cast<uint8_t>(fields >> 8) : 0;
    frame.LIN.BusChannel = static_cast<uint8_t>(fields >> 16);
    frame.DataLength = times.below(LIN_PAYLOAD_CAPACITY + 1);
    for (uint64_t b = 0; b < frame.DataLength; ++b) {
      frame.LIN.Payload[b] = static_cast<uint8_t>(times.bits());
    }
    frame.DataBytes = frame.LIN.Payload;

    std::string fast;
    std::string reference;
    asc_writer_append_lin_line(&fast, frame, t0);
    asc_writer_append_lin_line_reference(&reference, frame, t0);
    ASSERT_EQ(fast, reference) << "frame " << i;
  }
}
