// The bus frame record: a decoder clears it before it fills in each frame.
#include "convert/bus_message.h"

#include <cstring>

void bus_message_clear(BusMessage* message) {
  memset(static_cast<void*>(message), 0, sizeof *message);
}
