// A plug-in that records its callbacks and answers as told, so that a test
// sees the order the host keeps and how it treats each failure.
#ifndef TRACEWRIGHT_TESTS_SUPPORT_RECORDING_PLUGIN_H_
#define TRACEWRIGHT_TESTS_SUPPORT_RECORDING_PLUGIN_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "convert/output_plugin.h"

struct RecordingState {
  /// "new_file <path> <stem>", "record <ID hex>", "end_file <path> <stem>[ failed]"
  std::vector<std::string> events{};
  bool new_file_result = true, end_file_result = true;
  bool with_file_slots = true;  ///< false: new_file and end_file are empty slots
  int64_t fail_record_at = -1;  ///< handle_record fails the record with this index
  int64_t records_seen = 0;
  std::function<void()> after_first_end{};  ///< runs once, as the first file ends
};

/// Bound over the filesystems and options; `state` outlives it. Null when
/// binding fails.
OutputPlugin* recording_plugin_create(RecordingState* state, FileSystem* input_fs,
                                      FileSystem* output_fs, ConversionOptions* options);

#endif  // TRACEWRIGHT_TESTS_SUPPORT_RECORDING_PLUGIN_H_
