// Placeholder until the text log reader lands.
#include "input/text/text_log_reader.h"

TextLogReader* text_log_open(Stream*) { return nullptr; }
void text_log_rewind(TextLogReader*) {}
int text_log_next(TextLogReader*, BusMessage*) { return 0; }
void text_log_close(TextLogReader*) {}
size_t text_log_read_line(TextLogReader*, char*) { return 0; }
