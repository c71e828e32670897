// The walk over the inputs: each top-level input gets its output name, and
// folders are converted recursively, depth first in byte order of names, into
// a mirrored output tree.
#ifndef TRACEWRIGHT_CONVERT_CONVERT_INPUTS_H_
#define TRACEWRIGHT_CONVERT_CONVERT_INPUTS_H_

#include <string>
#include <string_view>
#include <vector>

struct OutputPlugin;

/// Converts every input (relative to input_fs) in order and returns the OR of
/// their results; 129 at once when the stat of a top-level input fails.
int convert_inputs(OutputPlugin* plugin, const std::vector<std::string>& inputs);

/// Converts one file or folder; returns its OR-ed result code.
int convert_path(OutputPlugin* plugin, std::string_view input_path,
                 std::string_view output_path);

#endif  // TRACEWRIGHT_CONVERT_CONVERT_INPUTS_H_
