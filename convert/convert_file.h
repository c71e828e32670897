// The conversion of one input file: extension test, output folders, read
// buffer, reader, and the plug-in's callbacks around every decoded frame.
#ifndef TRACEWRIGHT_CONVERT_CONVERT_FILE_H_
#define TRACEWRIGHT_CONVERT_CONVERT_FILE_H_

#include <string_view>

#include "convert/exit_status.h"

struct OutputPlugin;

/// True when `input_path` names a text log (extension "txt" in any letter
/// case); `*stem` is then the output path without its extension, the name
/// every output file of that input is derived from.
bool convert_file_output_stem(std::string_view input_path, std::string_view output_path,
                              std::string_view* stem);

/// Logs that `input_path` failed to convert and returns
/// STATUS_CONVERSION_FAILED.
int convert_file_failed(std::string_view input_path);

/// Converts one file. `input_path` is relative to the plug-in's input_fs,
/// `output_path` to its output_fs. Returns STATUS_OK (converted, or not a
/// text log by name) or STATUS_CONVERSION_FAILED; every failure is logged.
int convert_file(OutputPlugin* plugin, std::string_view input_path, std::string_view output_path);

#endif  // TRACEWRIGHT_CONVERT_CONVERT_FILE_H_
