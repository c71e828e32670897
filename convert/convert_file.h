// The conversion of one input file: extension test, output folders, read
// buffer, reader, and the plug-in's callbacks around every decoded frame.
#ifndef TRACEWRIGHT_CONVERT_CONVERT_FILE_H_
#define TRACEWRIGHT_CONVERT_CONVERT_FILE_H_

#include <cstdint>
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

/// Hears how one conversion goes, for progress output. Any slot may be null.
struct ConvertFileListener {
  /// While the input is read, about every 64 KiB and at its end: how far into
  /// it reading got, in bytes from its start. When the reader starts over,
  /// the positions start over too.
  void (*read_to)(void* arg, int64_t position);
  /// Under delete_converted: the input was converted but could not be
  /// removed. The result stays STATUS_OK.
  void (*not_removed)(void* arg);
  void* arg;
};

/// Converts one file. `input_path` is relative to the plug-in's input_fs,
/// `output_path` to its output_fs. Returns STATUS_OK (converted, or not a
/// text log by name) or STATUS_CONVERSION_FAILED; every failure is logged.
/// `listener` may be null.
int convert_file(OutputPlugin* plugin, std::string_view input_path, std::string_view output_path,
                 const ConvertFileListener* listener = nullptr);

#endif  // TRACEWRIGHT_CONVERT_CONVERT_FILE_H_
