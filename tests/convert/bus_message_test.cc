// Copies and time ordering of bus frames: a copy owns its payload, and the
// time order knows nothing but Timestamp.
#include "convert/bus_message.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

/// Fills the whole record with one byte value, so a test can tell which
/// fields an operation wrote.
template <typename Record>
static void smear(Record* record, uint8_t value) {
  memset(static_cast<void*>(record), value, sizeof *record);
}

TEST(BusMessageCopyCan, NoDataStillPointsDataBytesAtTheCopysPayload) {
  BusMessage source{};
  source.Kind = CAN_DataFrame;
  source.Timestamp = 12.5;
  source.ID = 0x7FF;
  BusMessage copy;
  smear(&copy, 0xEE);
  bus_message_copy_can(&source, &copy);
  EXPECT_EQ(copy.DataLength, 0u);
  EXPECT_EQ(copy.DataBytes, copy.CAN.Payload);
  EXPECT_EQ(copy.Timestamp, 12.5);
  EXPECT_EQ(copy.ID, 0x7FFu);
}

TEST(BusMessageCopyCan, CarriesHeadAndTailButNotKind) {
  BusMessage source{};
  source.Timestamp = 1710511629.625;
  source.ID = 0x18FEF100;
  source.Kind = CAN_RemoteFrame;
  source.CAN.IDE = 1;
  source.CAN.Dir = 1;
  source.CAN.EDL = 1;
  source.CAN.ESI = 1;
  source.CAN.BRS = 1;
  source.CAN.Remote = 1;
  source.CAN.BusChannel = 3;
  source.CAN.DLC = 15;
  for (uint8_t i = 0; i < 64; ++i) source.CAN.Payload[i] = static_cast<uint8_t>(i + 1);
  source.DataLength = 64;
  source.DataBytes = source.CAN.Payload;

  BusMessage copy{};
  bus_message_copy_can(&source, &copy);
  EXPECT_EQ(copy.Kind, BUS_MESSAGE_EMPTY);
  EXPECT_EQ(copy.Timestamp, source.Timestamp);
  EXPECT_EQ(copy.ID, source.ID);
  EXPECT_EQ(copy.DataLength, 64u);
  EXPECT_EQ(copy.DataBytes, copy.CAN.Payload);
  EXPECT_EQ(copy.CAN.IDE, 1);
  EXPECT_EQ(copy.CAN.Dir, 1);
  EXPECT_EQ(copy.CAN.EDL, 1);
  EXPECT_EQ(copy.CAN.ESI, 1);
  EXPECT_EQ(copy.CAN.BRS, 1);
  EXPECT_EQ(copy.CAN.Remote, 1);
  EXPECT_EQ(copy.CAN.BusChannel, 3);
  EXPECT_EQ(copy.CAN.DLC, 15);
  EXPECT_EQ(memcmp(copy.CAN.Payload, source.CAN.Payload, 64), 0);
}

TEST(BusMessageCopyCan, CopyKeepsItsBytesWhenTheSourceIsOverwritten) {
  BusMessage source{};
  source.Kind = CAN_DataFrame;
  const uint8_t bytes[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
  memcpy(source.CAN.Payload, bytes, 8);
  source.DataLength = 8;
  source.DataBytes = source.CAN.Payload;

  BusMessage copy{};
  bus_message_copy_can(&source, &copy);
  memset(source.CAN.Payload, 0, sizeof source.CAN.Payload);
  source.DataLength = 1;

  EXPECT_NE(copy.DataBytes, source.DataBytes);
  EXPECT_EQ(copy.DataLength, 8u);
  EXPECT_EQ(memcmp(copy.DataBytes, bytes, 8), 0);
}

TEST(BusMessageCopyCan, PayloadComesFromTheSourcesOwnPayloadNotItsDataBytes) {
  BusMessage source{};
  source.CAN.Payload[0] = 0xAB;
  source.CAN.Payload[1] = 0xCD;
  source.DataLength = 2;
  source.DataBytes = nullptr;
  BusMessage copy{};
  bus_message_copy_can(&source, &copy);
  EXPECT_EQ(copy.CAN.Payload[0], 0xAB);
  EXPECT_EQ(copy.CAN.Payload[1], 0xCD);
  EXPECT_EQ(copy.DataBytes, copy.CAN.Payload);
}

TEST(BusMessageCopyLin, CarriesHeadAndLinTailButNotKind) {
  BusMessage source{};
  source.Timestamp = 3.25;
  source.ID = 0x3C;
  source.Kind = LIN_Frame;
  source.LIN.Dir = 1;
  source.LIN.BusChannel = 2;
  source.LIN.ReceivedDataByteCount = 7;
  for (uint8_t i = 0; i < 8; ++i) source.LIN.Payload[i] = static_cast<uint8_t>(0xA0 + i);
  source.DataLength = 8;
  source.DataBytes = source.LIN.Payload;

  LinMessage copy;
  smear(&copy, 0xEE);
  bus_message_copy_lin(&source, &copy);
  EXPECT_EQ(copy.Kind, 0xEEEEEEEEu);  // untouched
  EXPECT_EQ(copy.Timestamp, 3.25);
  EXPECT_EQ(copy.ID, 0x3Cu);
  EXPECT_EQ(copy.DataLength, 8u);
  EXPECT_EQ(copy.DataBytes, copy.LIN.Payload);
  EXPECT_EQ(copy.LIN.Dir, 1);
  EXPECT_EQ(copy.LIN.BusChannel, 2);
  EXPECT_EQ(copy.LIN.ReceivedDataByteCount, 7);
  EXPECT_EQ(memcmp(copy.LIN.Payload, source.LIN.Payload, 8), 0);

  source.LIN.Payload[0] = 0;
  EXPECT_EQ(copy.DataBytes[0], 0xA0);
}

TEST(BusMessageCopyLin, NoDataStillPointsDataBytesAtTheCopysPayload) {
  BusMessage source{};
  source.Kind = LIN_Frame;
  LinMessage copy;
  smear(&copy, 0xEE);
  bus_message_copy_lin(&source, &copy);
  EXPECT_EQ(copy.DataLength, 0u);
  EXPECT_EQ(copy.DataBytes, copy.LIN.Payload);
  EXPECT_EQ(copy.LIN.Payload[0], 0xEE);  // nothing copied
}

TEST(BusMessageCopy, NullSourceOrDestinationChangesNothing) {
  BusMessage source{};
  source.Timestamp = 1.0;
  source.DataLength = 1;
  BusMessage can;
  smear(&can, 0x5A);
  LinMessage lin;
  smear(&lin, 0x5A);

  bus_message_copy_can(nullptr, &can);
  bus_message_copy_lin(nullptr, &lin);
  bus_message_copy_can(&source, nullptr);
  bus_message_copy_lin(&source, nullptr);

  BusMessage can_before;
  smear(&can_before, 0x5A);
  LinMessage lin_before;
  smear(&lin_before, 0x5A);
  EXPECT_EQ(memcmp(static_cast<void*>(&can), static_cast<void*>(&can_before), sizeof can), 0);
  EXPECT_EQ(memcmp(static_cast<void*>(&lin), static_cast<void*>(&lin_before), sizeof lin), 0);
  EXPECT_EQ(source.Timestamp, 1.0);
  EXPECT_EQ(source.DataLength, 1u);
}

TEST(BusMessageCompareTime, OrdersByTimestampAloneWithNanComparingEqual) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Row {
    double a, b;
    int expected;
  };
  const Row rows[] = {
      {1.5, 2.0, -1}, {2.0, 1.5, 1},  {2.0, 2.0, 0},  {-0.0, 0.0, 0},   {-inf, 1.0, -1},
      {inf, 1.0, 1},  {nan, 1.0, 0},  {1.0, nan, 0},  {nan, nan, 0},    {nan, inf, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.a << " vs " << row.b);
    BusMessage a{};
    a.Timestamp = row.a;
    BusMessage b{};
    b.Timestamp = row.b;
    EXPECT_EQ(bus_message_compare_time(&a, &b), row.expected);
  }
}

TEST(BusMessageCompareTime, EqualTimesCompareEqualWhateverTheOtherFields) {
  BusMessage a{};
  a.Timestamp = 7.0;
  a.ID = 1;
  a.Kind = CAN_DataFrame;
  BusMessage b{};
  b.Timestamp = 7.0;
  b.ID = 2;
  b.Kind = LIN_Frame;
  EXPECT_EQ(bus_message_compare_time(&a, &b), 0);
  EXPECT_EQ(bus_message_compare_time(&b, &a), 0);
}

TEST(BusMessageComparePtrs, SortArraysOfKeptRecordsAscending) {
  BusMessage can[3]{};
  can[0].Timestamp = 3.0;
  can[1].Timestamp = 1.0;
  can[2].Timestamp = 2.0;
  const BusMessage* can_ptrs[3] = {&can[0], &can[1], &can[2]};
  EXPECT_EQ(bus_message_compare_can_ptrs(&can_ptrs[0], &can_ptrs[1]), 1);
  EXPECT_EQ(bus_message_compare_can_ptrs(&can_ptrs[1], &can_ptrs[0]), -1);
  qsort(can_ptrs, 3, sizeof can_ptrs[0], bus_message_compare_can_ptrs);
  EXPECT_EQ(can_ptrs[0], &can[1]);
  EXPECT_EQ(can_ptrs[1], &can[2]);
  EXPECT_EQ(can_ptrs[2], &can[0]);

  LinMessage lin[3]{};
  lin[0].Timestamp = 0.5;
  lin[1].Timestamp = -1.0;
  lin[2].Timestamp = 0.5;
  const LinMessage* lin_ptrs[3] = {&lin[0], &lin[1], &lin[2]};
  EXPECT_EQ(bus_message_compare_lin_ptrs(&lin_ptrs[0], &lin_ptrs[2]), 0);
  qsort(lin_ptrs, 3, sizeof lin_ptrs[0], bus_message_compare_lin_ptrs);
  EXPECT_EQ(lin_ptrs[0], &lin[1]);
  EXPECT_EQ(lin_ptrs[1]->Timestamp, 0.5);
  EXPECT_EQ(lin_ptrs[2]->Timestamp, 0.5);
}
