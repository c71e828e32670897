#include "support/recording_plugin.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "convert/bus_message.h"

namespace {
struct RecordingPlugin : OutputPlugin {
  RecordingState* state;
  OutputPluginOps table;  // kRecordingOps with the slots the state leaves out
};
}  // namespace

static RecordingState* state_of(OutputPlugin* plugin) {
  return static_cast<RecordingPlugin*>(plugin)->state;
}

static bool recording_handle_record(OutputPlugin* plugin, const BusMessage* message) {
  RecordingState* state = state_of(plugin);
  char id[32];
  snprintf(id, sizeof id, "record %X", message->ID);
  state->events.push_back(id);
  return state->records_seen++ != state->fail_record_at;
}

static bool recording_new_file(OutputPlugin* plugin, std::string_view path, size_t stem,
                               TextLogReader*) {
  RecordingState* state = state_of(plugin);
  state->events.push_back("new_file " + std::string(path) + " " +
                          std::string(path.substr(0, stem)));
  return state->new_file_result;
}

static bool recording_end_file(OutputPlugin* plugin, std::string_view path, size_t stem,
                               bool file_failed) {
  RecordingState* state = state_of(plugin);
  state->events.push_back("end_file " + std::string(path) + " " +
                          std::string(path.substr(0, stem)) + (file_failed ? " failed" : ""));
  if (state->after_first_end) std::exchange(state->after_first_end, nullptr)();
  return state->end_file_result;
}

static const OutputPluginOps kRecordingOps = {
    .destroy = nullptr,
    .init = nullptr,
    .handle_record = recording_handle_record,
    .new_file = recording_new_file,
    .end_file = recording_end_file,
};

OutputPlugin* recording_plugin_create(RecordingState* state, FileSystem* input_fs,
                                      FileSystem* output_fs, ConversionOptions* options) {
  auto* plugin = static_cast<RecordingPlugin*>(calloc(1, sizeof(RecordingPlugin)));
  if (plugin == nullptr) return nullptr;
  plugin->table = kRecordingOps;
  if (!state->with_new_file) plugin->table.new_file = nullptr;
  if (!state->with_end_file) plugin->table.end_file = nullptr;
  plugin->ops = &plugin->table;
  plugin->state = state;
  if (!output_plugin_init(plugin, input_fs, output_fs, options)) {
    free(plugin);
    return nullptr;
  }
  return plugin;
}
