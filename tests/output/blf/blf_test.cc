// What the BLF readers do not show: LIN object bytes, the header's dates and
// version bytes, and the times and sink failures an encoder refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "convert/bus_message.h"
#include "output/blf/blf_encoder.h"
#include "output/blf/blf_header.h"
#include "output/blf/blf_objects.h"

namespace {

std::string hex(const uint8_t* bytes, size_t n) {
  std::string text;
  for (size_t i = 0; i < n; ++i)
    text += {"0123456789ABCDEF"[bytes[i] >> 4], "0123456789ABCDEF"[bytes[i] & 15]};
  return text;
}

}  // namespace

TEST(BlfObjects, LinObjectHoldsChannelIdLengthDataAndDirection) {
  BusMessage frame{};
  frame.ID = 0x13C;  // only the low 8 bits fit
  frame.DataLength = 2;
  frame.LIN = {.Dir = 1, .BusChannel = 2, .ReceivedDataByteCount = 2, .Payload = {0xA1, 0xB2, 7}};
  uint8_t object[BLF_OBJECT_CAPACITY];
  ASSERT_EQ(blf_put_lin_object(object, frame, 0x0102030405), 56u);
  // clang-format off
  EXPECT_EQ(hex(object, 56), std::string("4C4F424A" "2000" "0100" "38000000" "0B000000")
            + "02000000" "0000" "0000" "0504030201000000"
            + "0200" "3C" "02" "A1B2000000000000" "00" "00" "00" "00" "0000" "01" "00" "00000000");
  // clang-format on
}

TEST(BlfHeader, DatesAreUtcCalendarFieldsAndOutOfRangeFails) {
  uint8_t header[BLF_FILE_HEADER_SIZE];
  auto fields = [&](int64_t start_ms, int64_t last_ms) {
    BlfHeaderFields f = {0x1234, 0x5678, 3, start_ms, last_ms};  // sizes, count, times
    return blf_put_file_header(header, f) ? hex(header + 40, 32) : std::string("failed");
  };
  // clang-format off
  // Friday 2024-03-15 12:07:09.125, then Wednesday 1969-12-31 23:59:59.999.
  EXPECT_EQ(fields(1710504429125, -1), std::string("E807" "0300" "0500" "0F00" "0C00" "0700")
            + "0900" "7D00" "B107" "0C00" "0300" "1F00" "1700" "3B00" "3B00" "E703");
  EXPECT_EQ(hex(header, 8) + "|" + hex(header + 12, 28), std::string("4C4F4747" "90000000") + "|"
            + "04000000" "3412000000000000" "7856000000000000" "03000000" "00000000");
  // Monday 1601-01-01 00:00:00.000, Friday 30827-12-31 23:59:59.999.
  EXPECT_EQ(fields(BLF_FIRST_MS, BLF_END_MS - 1), std::string("4106" "0100" "0100" "0100")
            + "0000" "0000" "0000" "0000" "6B78" "0C00" "0500" "1F00" "1700" "3B00" "3B00" "E703");
  // clang-format on
  EXPECT_EQ(fields(BLF_FIRST_MS - 1, 0), "failed");
  EXPECT_EQ(fields(0, BLF_END_MS), "failed");
}

TEST(BlfEncoder, RefusesUndatableTimesAndKeepsASinkFailure) {
  static bool sink_takes = true;
  BlfEncoder* encoder =
      blf_encoder_create([](void*, const uint8_t*, size_t) { return sink_takes; }, nullptr);
  BusMessage frame;
  bus_message_clear(&frame);
  for (double time :
       {std::nan(""), -11644473600.001, 1e9, 1e9 - 0.001, 1e9 + 584.6 * 365.25 * 86400}) {
    frame.Timestamp = time;
    EXPECT_EQ(blf_encoder_add(encoder, frame), time == 1e9 ? BLF_OK : BLF_TIME_UNPRINTABLE) << time;
  }
  sink_takes = false;
  EXPECT_EQ(blf_encoder_finish(encoder), BLF_SINK_FAILED);
  sink_takes = true;
  EXPECT_EQ(blf_encoder_add(encoder, frame), BLF_TIME_UNPRINTABLE);
  frame.Timestamp = 1e9;
  EXPECT_EQ(blf_encoder_add(encoder, frame), BLF_SINK_FAILED);
  uint8_t header[BLF_FILE_HEADER_SIZE];
  EXPECT_TRUE(blf_encoder_header(encoder, header));
  EXPECT_EQ(hex(header + 16, 20), "9000000000000000900000000000000001000000");  // one object in
  blf_encoder_destroy(encoder);
}
