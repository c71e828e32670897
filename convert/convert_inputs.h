// The walk over the inputs: each top-level input gets its output name, and
// folders are converted recursively, depth first in byte order of names, into
// a mirrored output tree.
#ifndef TRACEWRIGHT_CONVERT_CONVERT_INPUTS_H_
#define TRACEWRIGHT_CONVERT_CONVERT_INPUTS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct OutputPlugin;

/// Told about each text log the walk reaches, for progress output. The first
/// two slots must be set, the others may be null; the views live for the
/// duration of the call.
struct WalkObserver {
  /// Before the log at `input_path` (relative to input_fs), `size` bytes long.
  void (*log_started)(void* arg, std::string_view input_path, int64_t size);
  /// After it, with its result code and its output path without extension
  /// (relative to output_fs), from which its trace files are named.
  void (*log_finished)(void* arg, std::string_view output_stem, int result);
  /// In between, as ConvertFileListener::read_to (convert/convert_file.h).
  void (*log_read)(void* arg, int64_t position);
  /// In between, as ConvertFileListener::not_removed.
  void (*log_not_removed)(void* arg);
  void* arg;
};

/// Converts every input (relative to input_fs) in order and returns the OR of
/// their results; 129 at once when the stat of a top-level input fails.
/// `observer` may be null.
int convert_inputs(OutputPlugin* plugin, const std::vector<std::string>& inputs,
                   const WalkObserver* observer = nullptr);
/// Walks `inputs` as convert_inputs does but converts and creates nothing:
/// only the observer's log_started hears of each text log the conversion
/// would reach, in the same order. What the walk logs on the way (a missing
/// input, a folder that cannot be listed) is the caller's to silence.
void convert_inputs_survey(OutputPlugin* plugin, const std::vector<std::string>& inputs,
                           const WalkObserver* observer);

#endif  // TRACEWRIGHT_CONVERT_CONVERT_INPUTS_H_
