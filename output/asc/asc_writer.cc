// Placeholder until the ASC writer lands.
#include "output/asc/asc_writer.h"

OutputPlugin* asc_writer_create(FileSystem*, FileSystem*, ConversionOptions*) { return nullptr; }
bool asc_writer_handle_record(OutputPlugin*, const BusMessage*) { return false; }
bool asc_writer_new_file(OutputPlugin*, std::string_view, size_t, TextLogReader*) { return true; }
bool asc_writer_end_file(OutputPlugin*, std::string_view, size_t) { return false; }
void asc_writer_destroy(OutputPlugin*) {}
