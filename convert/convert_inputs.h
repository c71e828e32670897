// The walk over the inputs: each top-level input gets its output name, and
// folders are converted recursively, depth first in byte order of names, into
// a mirrored output tree.
#ifndef TRACEWRIGHT_CONVERT_CONVERT_INPUTS_H_
#define TRACEWRIGHT_CONVERT_CONVERT_INPUTS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct OutputPlugin;

/// Told about each text log the walk reaches, for progress output. The first
/// two slots must be set, the others may be null; the views live for the
/// duration of the call. `worker` tells apart the logs in work at once: the
/// index of the plug-in converting it (see convert_inputs), or the number of
/// plug-ins for a log the walk itself turns down (its output is another
/// log's). With several workers the calls come from their threads, at the
/// same time.
struct WalkObserver {
  /// Before the log at `input_path` (relative to input_fs), `size` bytes long.
  void (*log_started)(void* arg, size_t worker, std::string_view input_path, int64_t size);
  /// After it, with its result code and its output path without extension
  /// (relative to output_fs), from which its trace files are named.
  void (*log_finished)(void* arg, size_t worker, std::string_view output_stem, int result);
  /// In between, as ConvertFileListener::read_to (convert/convert_file.h).
  void (*log_read)(void* arg, size_t worker, int64_t position);
  /// In between, as ConvertFileListener::not_removed.
  void (*log_not_removed)(void* arg, size_t worker);
  void* arg;
};

/// Converts every input (relative to input_fs) and returns the OR of their
/// results; 129 alone when the stat of a top-level input fails, which ends
/// the walk. The walk hands the text logs out in its order to `count`
/// workers, each converting with its own plug-in of `plugins` (all bound to
/// the same filesystems and options); with one, they are converted one
/// after another in the caller's thread. `observer` may be null; with
/// several workers its callbacks come from their threads.
int convert_inputs(OutputPlugin* const* plugins, size_t count,
                   const std::vector<std::string>& inputs, const WalkObserver* observer = nullptr);
/// Walks `inputs` as convert_inputs does but converts and creates nothing:
/// only the observer's log_started hears of each text log the conversion
/// would reach, in the same order. What the walk logs on the way (a missing
/// input, a folder that cannot be listed) is the caller's to silence.
void convert_inputs_survey(OutputPlugin* plugin, const std::vector<std::string>& inputs,
                           const WalkObserver* observer);

#endif  // TRACEWRIGHT_CONVERT_CONVERT_INPUTS_H_
