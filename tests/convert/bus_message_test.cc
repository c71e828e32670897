// Copies and time ordering of bus frames: a copy owns its payload, and the
// time order knows nothing but Timestamp.
#include "convert/bus_message.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <tuple>
#include <vector>

/// Fills the whole record with one byte value, so a test can tell which
/// fields an operation wrote.
template <typename Record>
static void smear(Record* record, uint8_t value) {
  memset(static_cast<void*>(record), value, sizeof *record);
}

template <typename Record>
static bool all_bytes_are(const Record& record, uint8_t value) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
  return std::all_of(bytes, bytes + sizeof record, [=](uint8_t b) { return b == value; });
}

// The fields a copy carries, to compare a copy with its source in one go.
static auto can_fields(const BusMessage& m) {
  const CanTail& t = m.CAN;
  return std::make_tuple(m.Timestamp, m.ID, m.DataLength, t.IDE, t.Dir, t.EDL, t.ESI, t.BRS,
                         t.Remote, t.BusChannel, t.DLC,
                         std::vector<uint8_t>(t.Payload, t.Payload + m.DataLength));
}

template <typename Record>  // a BusMessage or a LinMessage
static auto lin_fields(const Record& m) {
  const LinTail& t = m.LIN;
  return std::make_tuple(m.Timestamp, m.ID, m.DataLength, t.Dir, t.BusChannel,
                         t.ReceivedDataByteCount,
                         std::vector<uint8_t>(t.Payload, t.Payload + m.DataLength));
}

TEST(BusMessageCopy, CopiesCarryEveryFieldButKindAndPointDataBytesAtTheirOwnPayload) {
  for (uint64_t length : {64u, 0u}) {
    SCOPED_TRACE(length);
    BusMessage source{};
    source.Timestamp = 1710511629.625;
    source.ID = 0x18FEF100;
    source.Kind = CAN_RemoteFrame;
    source.CAN = CanTail{1, 2, 3, 4, 5, 6, 7, 15, {}};  // distinct, so no two fields mix
    for (uint8_t i = 0; i < 64; ++i) source.CAN.Payload[i] = static_cast<uint8_t>(i + 1);
    source.DataLength = length;
    source.DataBytes = nullptr;  // the copy reads the source's own Payload
    BusMessage can;
    smear(&can, 0xEE);
    bus_message_copy_can(&source, &can);
    EXPECT_EQ(can_fields(can), can_fields(source));
    EXPECT_EQ(can.Kind, 0xEEEEEEEEu);
    ASSERT_EQ(can.DataBytes, can.CAN.Payload);

    source.Kind = LIN_Frame;
    source.LIN = LinTail{1, 2, 7, {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7}};
    source.DataLength = length / 8;
    LinMessage lin;
    smear(&lin, 0xEE);
    bus_message_copy_lin(&source, &lin);
    EXPECT_EQ(lin_fields(lin), lin_fields(source));
    EXPECT_EQ(lin.Kind, 0xEEEEEEEEu);
    ASSERT_EQ(lin.DataBytes, lin.LIN.Payload);

    // Overwriting the source's tail leaves both copies alone.
    memset(static_cast<void*>(&source.CAN), 0, sizeof source.CAN);
    EXPECT_EQ(can.DataBytes[0], length > 0 ? 1 : 0xEE);
    EXPECT_EQ(can.DataBytes[63], length > 0 ? 64 : 0xEE);
    EXPECT_EQ(lin.DataBytes[0], length > 0 ? 0xA0 : 0xEE);
  }
}

TEST(BusMessageCopy, NullSourceOrDestinationChangesNothing) {
  BusMessage source{};
  BusMessage can;
  LinMessage lin;
  smear(&can, 0x5A);
  smear(&lin, 0x5A);
  bus_message_copy_can(nullptr, &can);
  bus_message_copy_lin(nullptr, &lin);
  bus_message_copy_can(&source, nullptr);
  bus_message_copy_lin(&source, nullptr);
  EXPECT_TRUE(all_bytes_are(can, 0x5A));
  EXPECT_TRUE(all_bytes_are(lin, 0x5A));
}

TEST(BusMessageCompareTime, OrdersByTimestampAloneWithNanComparingEqual) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double a, b;
    int expected;
  } rows[] = {
      {1.5, 2.0, -1}, {2.0, 2.0, 0}, {-0.0, 0.0, 0}, {-inf, 1.0, -1}, {1.0, inf, -1},
      {nan, 1.0, 0},  {nan, nan, 0}, {nan, inf, 0},
  };
  // The other fields differ, and must not matter.
  BusMessage a{};
  a.ID = 1;
  a.Kind = CAN_DataFrame;
  BusMessage b{};
  b.ID = 2;
  b.Kind = LIN_Frame;
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.a << " vs " << row.b);
    a.Timestamp = row.a;
    b.Timestamp = row.b;
    EXPECT_EQ(bus_message_compare_time(&a, &b), row.expected);
    EXPECT_EQ(bus_message_compare_time(&b, &a), -row.expected);
  }
}

TEST(BusMessageComparePtrs, SortArraysOfKeptRecordsAscending) {
  BusMessage can[3]{};
  LinMessage lin[3]{};
  const double times[3] = {3.0, -1.0, 2.0};
  for (int i = 0; i < 3; ++i) can[i].Timestamp = lin[i].Timestamp = times[i];
  const BusMessage* can_ptrs[3] = {&can[0], &can[1], &can[2]};
  const LinMessage* lin_ptrs[3] = {&lin[0], &lin[1], &lin[2]};
  qsort(can_ptrs, 3, sizeof can_ptrs[0], bus_message_compare_can_ptrs);
  qsort(lin_ptrs, 3, sizeof lin_ptrs[0], bus_message_compare_lin_ptrs);
  const int sorted[3] = {1, 2, 0};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(can_ptrs[i], &can[sorted[i]]) << i;
    EXPECT_EQ(lin_ptrs[i], &lin[sorted[i]]) << i;
  }
}
