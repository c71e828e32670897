// A plug-in that records the order of its callbacks and answers with
// configurable results; slots can be left empty to test the host's rules.
#ifndef TRACEWRIGHT_TESTS_SUPPORT_RECORDING_PLUGIN_H_
#define TRACEWRIGHT_TESTS_SUPPORT_RECORDING_PLUGIN_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "convert/output_plugin.h"

struct RecordingState {
  /// "new_file <path> <stem>", "record <ID hex>", "end_file <path> <stem>"
  /// (followed by " failed" when the pipeline drops the file).
  std::vector<std::string> events;
  bool new_file_result = true;
  bool end_file_result = true;
  /// handle_record answers false for the record with this index (0-based).
  int64_t fail_record_at = -1;
  int64_t records_seen = 0;
  bool with_new_file = true;
  bool with_end_file = true;
  /// Runs once, when the first file ends (to change the disk mid-walk).
  std::function<void()> after_first_end;
};

/// A bound plug-in over the given filesystems and options that reports into
/// `state` (owned by the caller, outliving the plug-in). Release with
/// output_plugin_destroy.
OutputPlugin* recording_plugin_create(RecordingState* state, FileSystem* input_fs,
                                      FileSystem* output_fs, ConversionOptions* options);

#endif  // TRACEWRIGHT_TESTS_SUPPORT_RECORDING_PLUGIN_H_
