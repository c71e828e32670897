#include "support/recording_plugin.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "convert/bus_message.h"

namespace {

struct RecordingPlugin : OutputPlugin {
  RecordingState* state;
};

RecordingState& state(OutputPlugin* p) { return *static_cast<RecordingPlugin*>(p)->state; }

std::string event(const char* name, std::string_view path, size_t stem) {
  return name + (" " + std::string(path)) + " " + std::string(path.substr(0, stem));
}

bool handle_record(OutputPlugin* plugin, const BusMessage* message) {
  char id[32];
  snprintf(id, sizeof id, "record %X", message->ID);
  state(plugin).events.push_back(id);
  return state(plugin).records_seen++ != state(plugin).fail_record_at;
}

bool new_file(OutputPlugin* plugin, std::string_view path, size_t stem, TextLogReader*) {
  state(plugin).events.push_back(event("new_file", path, stem));
  return state(plugin).new_file_result;
}

bool end_file(OutputPlugin* plugin, std::string_view path, size_t stem, bool file_failed) {
  RecordingState& recording = state(plugin);
  recording.events.push_back(event("end_file", path, stem) + (file_failed ? " failed" : ""));
  if (recording.after_first_end) std::exchange(recording.after_first_end, nullptr)();
  return recording.end_file_result;
}

const OutputPluginOps kWithFileSlots = {nullptr, nullptr, handle_record, new_file, end_file};
const OutputPluginOps kRecordsOnly = {nullptr, nullptr, handle_record, nullptr, nullptr};

}  // namespace

OutputPlugin* recording_plugin_create(RecordingState* state, FileSystem* input_fs,
                                      FileSystem* output_fs, ConversionOptions* options) {
  auto* plugin = static_cast<RecordingPlugin*>(calloc(1, sizeof(RecordingPlugin)));
  if (plugin == nullptr) return nullptr;
  plugin->ops = state->with_file_slots ? &kWithFileSlots : &kRecordsOnly;
  plugin->state = state;
  if (output_plugin_init(plugin, input_fs, output_fs, options)) return plugin;
  free(plugin);
  return nullptr;
}
