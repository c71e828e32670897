// Copies and time ordering of bus frames. The copies re-point DataBytes at
// their own payload, which is why the record's copy operations are deleted.
#include "convert/bus_message.h"

#include <cstring>

void bus_message_clear(BusMessage* message) {
  memset(static_cast<void*>(message), 0, sizeof *message);
}

void bus_message_copy_can(const BusMessage* source, BusMessage* destination) {
  if (source == nullptr || destination == nullptr) return;
  destination->Timestamp = source->Timestamp;
  destination->ID = source->ID;
  destination->DataLength = source->DataLength;
  destination->CAN.IDE = source->CAN.IDE;
  destination->CAN.Dir = source->CAN.Dir;
  destination->CAN.EDL = source->CAN.EDL;
  destination->CAN.ESI = source->CAN.ESI;
  destination->CAN.BRS = source->CAN.BRS;
  destination->CAN.Remote = source->CAN.Remote;
  destination->CAN.BusChannel = source->CAN.BusChannel;
  destination->CAN.DLC = source->CAN.DLC;
  destination->DataBytes = destination->CAN.Payload;
  if (source->DataLength > 0) {
    memcpy(destination->CAN.Payload, source->CAN.Payload, source->DataLength);
  }
}

void bus_message_copy_lin(const BusMessage* source, LinMessage* destination) {
  if (source == nullptr || destination == nullptr) return;
  destination->Timestamp = source->Timestamp;
  destination->ID = source->ID;
  destination->DataLength = source->DataLength;
  destination->LIN.Dir = source->LIN.Dir;
  destination->LIN.BusChannel = source->LIN.BusChannel;
  destination->LIN.ReceivedDataByteCount = source->LIN.ReceivedDataByteCount;
  destination->DataBytes = destination->LIN.Payload;
  if (source->DataLength > 0) {
    memcpy(destination->LIN.Payload, source->LIN.Payload, source->DataLength);
  }
}

static int compare_times(double a, double b) {
  if (b > a) return -1;
  if (a > b) return 1;
  return 0;
}

int bus_message_compare_time(const BusMessage* a, const BusMessage* b) {
  return compare_times(a->Timestamp, b->Timestamp);
}

int bus_message_compare_can_ptrs(const void* a, const void* b) {
  return bus_message_compare_time(*static_cast<const BusMessage* const*>(a),
                                  *static_cast<const BusMessage* const*>(b));
}

int bus_message_compare_lin_ptrs(const void* a, const void* b) {
  return compare_times((*static_cast<const LinMessage* const*>(a))->Timestamp,
                       (*static_cast<const LinMessage* const*>(b))->Timestamp);
}
