// The outputs this run has written, known by the file each name reaches
// (device and inode) rather than by the name, with the input each came from.
// On a folder that ignores letter case or normalises names, or behind a
// link, two names reach one file, and only the file can tell.
#ifndef TRACEWRIGHT_CONVERT_OUTPUT_REGISTRY_H_
#define TRACEWRIGHT_CONVERT_OUTPUT_REGISTRY_H_

#include <cstdint>
#include <string_view>

struct FileSystem;
struct OutputRegistry;

/// An empty registry owned by the caller, or null when memory is short.
[[nodiscard]] OutputRegistry* output_registry_create();
/// Frees the registry; null does nothing.
void output_registry_destroy(OutputRegistry* registry);

enum OutputCommit : uint8_t {
  OUTPUT_COMMITTED,    ///< renamed into place and recorded
  OUTPUT_OVERWRITES,   ///< the name reaches another input's output: nothing renamed
  OUTPUT_NOT_RENAMED,  ///< a path could not be examined or the rename failed
};

/// Renames the closed file `temporary` onto `path` (both in `fs`) and
/// records the file as the output of `input`, unless `path` reaches a file
/// this run wrote for another input: then nothing is renamed and "Output of
/// <input> would overwrite that of <earlier input>" is logged. An output of
/// `input` itself is replaced (an input named twice). OUTPUT_NOT_RENAMED
/// logs nothing. Whatever the answer but OUTPUT_COMMITTED, both paths are
/// as they were. The check and the record are one call, under the
/// registry's lock: writers on several threads may call it at once.
OutputCommit output_registry_commit(OutputRegistry* registry, FileSystem* fs,
                                    std::string_view temporary, std::string_view path,
                                    std::string_view input);

/// Logs that the output of `input` would overwrite that of `earlier_input`.
void output_registry_report_overwrite(std::string_view input, std::string_view earlier_input);

#endif  // TRACEWRIGHT_CONVERT_OUTPUT_REGISTRY_H_
