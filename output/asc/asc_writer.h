// The ASC writer: the output plug-in that keeps the frames of one input file
// and, at its end, writes them sorted by time as ASC trace text: CAN frames
// to "<stem>.asc", LIN frames to "<stem>_LIN.asc".
#ifndef TRACEWRIGHT_OUTPUT_ASC_ASC_WRITER_H_
#define TRACEWRIGHT_OUTPUT_ASC_ASC_WRITER_H_

#include <cstddef>
#include <string_view>

struct BusMessage;
struct ConversionOptions;
struct FileSystem;
struct OutputPlugin;
struct TextLogReader;

/// A bound ASC writer with empty frame stores and no trace written yet, or
/// null (short memory, or a null filesystem or options). Release it with
/// output_plugin_destroy.
[[nodiscard]] OutputPlugin* asc_writer_create(FileSystem* input_fs, FileSystem* output_fs,
                                              ConversionOptions* options);

/// Keeps a copy of a CAN data or remote frame or of a LIN frame; ignores
/// other kinds. False when memory runs out (logged as "Out of memory while
/// keeping frames"), the payload is too long, or a full chunk of frames
/// cannot be spilled to its temporary file (logged with its name).
bool asc_writer_handle_record(OutputPlugin* plugin, const BusMessage* message);
/// Empties both frame stores and names their temporary files after the
/// traces of `output_path`. False when memory for the names runs out.
bool asc_writer_new_file(OutputPlugin* plugin, std::string_view output_path, size_t stem_length,
                         TextLogReader* reader);
/// Sorts and writes the CAN file, then the LIN file, for the non-empty
/// stores, and empties both. True when every part that ran succeeded; a part
/// that fails leaves no file and an earlier file of its name as it was. Each
/// file is written under a temporary name and renamed when whole; with the
/// options' delete_converted it is flushed to the disk, and its folder after
/// the rename. A part whose name reaches a file the writer wrote for another
/// input (not for `input_path`) fails, leaving that file whole. With
/// `file_failed` it empties both stores, writes nothing and returns true.
bool asc_writer_end_file(OutputPlugin* plugin, std::string_view input_path,
                         std::string_view output_path, size_t stem_length, bool file_failed);
/// Frees every kept frame and removes any temporary file (the record itself
/// is freed by output_plugin_destroy).
void asc_writer_destroy(OutputPlugin* plugin);

#endif  // TRACEWRIGHT_OUTPUT_ASC_ASC_WRITER_H_
