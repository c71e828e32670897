// The output plug-in interface: the conversion driver knows its output only
// as a record that starts with a table of five callbacks and carries the two
// filesystems and the options every plug-in needs.
#ifndef TRACEWRIGHT_CONVERT_OUTPUT_PLUGIN_H_
#define TRACEWRIGHT_CONVERT_OUTPUT_PLUGIN_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

struct BusMessage;
struct ConversionOptions;
struct FileSystem;
struct OutputPlugin;
struct TextLogReader;

/// What handle_record made of a frame.
enum RecordResult : uint8_t {
  RECORD_TAKEN,   ///< the frame is the plug-in's; go on
  RECORD_FAILED,  ///< the file fails (the plug-in has said why)
  /// The plug-in wants every frame of the file again from the first, this
  /// one included; only answered when new_file was told a restart is possible.
  RECORD_RESTART,
};

/// The callbacks of one plug-in type, in the order the pipeline uses them.
/// `output_path` is the input file's path on the output side (relative to
/// output_fs, still with the input's extension); its first `stem_length`
/// bytes are the stem that output files are named after. No NUL follows the
/// stem: build names from the length. `input_path` is the input file's path
/// relative to input_fs, as messages name it.
struct OutputPluginOps {
  /// Releases the plug-in's own state; may be null (nothing to release).
  void (*destroy)(OutputPlugin* plugin);
  /// Runs once after binding; may be null (binding succeeds).
  bool (*init)(OutputPlugin* plugin);
  /// Takes one frame, valid only during the call. Required.
  RecordResult (*handle_record)(OutputPlugin* plugin, const BusMessage* message);
  /// Start of an input file; may be null. False fails the file. With
  /// `restart_possible` the driver can hand the file's frames over once more
  /// from the first, and will when handle_record answers RECORD_RESTART.
  bool (*new_file)(OutputPlugin* plugin, std::string_view output_path, size_t stem_length,
                   TextLogReader* reader, bool restart_possible);
  /// End of an input file, called also after a failure; may be null. With
  /// `file_failed` set the file could not be converted whole (a callback
  /// failed or the input could not be read): the plug-in drops what it has
  /// of the file and writes nothing for it, and the result says whether
  /// dropping went well. Otherwise false fails the file.
  bool (*end_file)(OutputPlugin* plugin, std::string_view input_path, std::string_view output_path,
                   size_t stem_length, bool file_failed);
};

/// The head of every plug-in record. A plug-in type allocates its whole
/// record with calloc (so it must be trivial), and output_plugin_destroy
/// frees it with free.
struct OutputPlugin {
  const OutputPluginOps* ops;
  FileSystem* input_fs;        ///< not owned
  FileSystem* output_fs;       ///< not owned
  ConversionOptions* options;  ///< not owned
};

/// Stores the filesystems and options, then runs `init` when present.
/// False, changing nothing, when any argument is null.
[[nodiscard]] bool output_plugin_init(OutputPlugin* plugin, FileSystem* input_fs,
                                      FileSystem* output_fs, ConversionOptions* options);
/// Runs `destroy` when present and frees the record; null does nothing.
void output_plugin_destroy(OutputPlugin* plugin);

struct OutputPluginDestroyer {
  void operator()(OutputPlugin* plugin) const { output_plugin_destroy(plugin); }
};
using OutputPluginPtr = std::unique_ptr<OutputPlugin, OutputPluginDestroyer>;

#endif  // TRACEWRIGHT_CONVERT_OUTPUT_PLUGIN_H_
