// The candump line of each frame shape, the rounding of its time, and the
// times and identifiers that a line cannot carry as they are.
#include "output/candump/candump_lines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "convert/bus_message.h"

TEST(CandumpAppendLine, OneRowPerLineShape) {
  constexpr double kT = 1710504429.125;  // 2024-03-15 12:07:09.125 UTC
  constexpr CandumpLineResult kOk = CANDUMP_LINE_WRITTEN;
  const struct {
    double time;
    uint32_t id;
    uint8_t ide, dir, edl, brs, esi, remote, channel, dlc, length;
    const char* expected;  // with the bytes 00 11 22 ... as data
    CandumpLineResult result;
  } rows[] = {
      // clang-format off
      {kT, 0x123, 0, 0, 0, 0, 0, 0, 1, 8, 8, "(1710504429.125000) can0 123#0011223344556677 R\n", kOk},
      {kT, 0x1, 0, 1, 0, 0, 0, 0, 0, 0, 0, "(1710504429.125000) can0 001# T\n", kOk},
      {kT, 0x18FEF100, 1, 1, 0, 0, 0, 0, 3, 2, 2, "(1710504429.125000) can2 18FEF100#0011 T\n", kOk},
      {kT, 0x7FF, 0, 0, 0, 0, 0, 1, 1, 8, 0, "(1710504429.125000) can0 7FF#R8 R\n", kOk},
      {kT, 0x5, 1, 0, 0, 0, 0, 1, 1, 0, 0, "(1710504429.125000) can0 00000005#R R\n", kOk},
      {kT, 0x5, 0, 0, 1, 0, 0, 1, 1, 12, 0, "(1710504429.125000) can0 005#R R\n", kOk},
      {kT, 0x123, 0, 0, 1, 1, 1, 0, 1, 9, 12,
       "(1710504429.125000) can0 123##300112233445566778899AABB R\n", kOk},
      {kT, 0x123, 1, 0, 1, 0, 1, 0, 1, 0, 0, "(1710504429.125000) can0 00000123##2 R\n", kOk},
      {kT, 0x1234, 0, 0, 0, 0, 0, 0, 1, 1, 1, "(1710504429.125000) can0 00001234#00 R\n",
       CANDUMP_LINE_ID_WIDENED},
      {0.0000005, 0x1, 0, 0, 0, 0, 0, 0, 1, 0, 0, "(0.000001) can0 001# R\n", kOk},
      {1710504429.9999996, 0x1, 0, 0, 0, 0, 0, 0, 1, 0, 0, "(1710504430.000000) can0 001# R\n", kOk},
      {-0.0000004, 0x1, 0, 0, 0, 0, 0, 0, 1, 0, 0, "(0.000000) can0 001# R\n", kOk},
      {9.1e12, 0x1, 0, 0, 0, 0, 0, 0, 1, 0, 0, "(9100000000000.000000) can0 001# R\n", kOk},
      {-0.000001, 0x1, 0, 0, 0, 0, 0, 0, 1, 0, 0, "", CANDUMP_LINE_TIME_UNPRINTABLE},
      {NAN, 0x1, 0, 0, 0, 0, 0, 0, 1, 0, 0, "", CANDUMP_LINE_TIME_UNPRINTABLE},
      {9.3e12, 0x1, 0, 0, 0, 0, 0, 0, 1, 0, 0, "", CANDUMP_LINE_TIME_UNPRINTABLE},
      // clang-format on
  };
  for (const auto& row : rows) {
    BusMessage frame;
    bus_message_clear(&frame);
    frame.Timestamp = row.time;
    frame.ID = row.id;
    frame.Kind = row.remote != 0 ? CAN_RemoteFrame : CAN_DataFrame;
    frame.DataLength = row.length;
    frame.DataBytes = frame.CAN.Payload;
    CanTail& can = frame.CAN;
    can = {row.ide, row.dir, row.edl, row.esi, row.brs, row.remote, row.channel, row.dlc, {}};
    for (size_t i = 0; i < row.length; ++i) can.Payload[i] = static_cast<uint8_t>(0x11 * i);
    std::string line = "kept|";
    EXPECT_EQ(candump_append_line(&line, frame), row.result) << "row " << (&row - rows);
    EXPECT_EQ(line, std::string("kept|") + row.expected) << "row " << (&row - rows);
  }
}
