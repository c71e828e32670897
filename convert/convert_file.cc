// The per-file pipeline: decides whether a file is a text log, prepares the
// output folder, opens the input behind a read buffer, and drives the
// plug-in's callbacks around every decoded frame. Failures are logged here
// and reported as 8; the walk goes on with the next path.
#include "convert/convert_file.h"

#include "convert/bus_message.h"
#include "convert/conversion_options.h"
#include "convert/exit_status.h"
#include "convert/output_plugin.h"
#include "input/text/text_log_reader.h"
#include "log/log.h"
#include "platform/filesystem.h"
#include "platform/path.h"
#include "platform/str.h"
#include "platform/stream.h"

#include <algorithm>

bool convert_file_output_stem(std::string_view input_path, std::string_view output_path,
                              std::string_view* stem) {
  if (utf8_to_lower(path_extension(input_path)) != "txt") return false;
  *stem = path_strip_extension(output_path);
  return true;
}

constexpr int64_t kWholeFileWindow = 64 * 1024;

// Puts a read buffer in front of the file as the options ask. Returns the
// stream the reader should read (the buffer, which then owns the file, or
// the file itself), or null when the buffer cannot be allocated; the file is
// closed in that case.
static Stream* open_reading_stream(Stream* file, int64_t buffer_size) {
  int64_t capacity = 0;
  if (buffer_size < 0) {
    // The whole file passes through a window rather than into memory at
    // once: a log may be as large as the card that held it, and a larger
    // buffer reads no faster. The window refills wherever the reader seeks.
    capacity = std::min(stream_size(file), kWholeFileWindow);
  } else {
    capacity = buffer_size;
  }
  if (capacity <= 0) return file;
  Stream* buffered = buffered_stream_create(file, true, static_cast<uint64_t>(capacity));
  if (buffered == nullptr) {
    LOG(LOG_ERROR, "Could not allocate buffer of size %zd", static_cast<ssize_t>(capacity));
    (void)stream_close(file);
  }
  return buffered;
}

static void report_read_error(std::string_view input_path) {
  LOG(LOG_ERROR, "Could not read input file %.*s", static_cast<int>(input_path.size()),
      input_path.data());
}

// A log that a logger is still writing would lose what comes after the end
// seen here, and its last line may be cut. Whether the input has the size
// and modification time it had before it was opened; false too when either
// stat failed, as nothing then shows it to be the same.
static bool input_unchanged(OutputPlugin* plugin, std::string_view input_path,
                            const FileInfo& opened) {
  FileInfo now{};
  if (opened.type == FILE_TYPE_FILE && fs_stat(plugin->input_fs, input_path, &now) &&
      now.type == FILE_TYPE_FILE && now.size == opened.size && now.modified == opened.modified) {
    return true;
  }
  LOG(LOG_ERROR, "Input file changed while it was converted: %.*s",
      static_cast<int>(input_path.size()), input_path.data());
  return false;
}

// Hands every record to the plug-in between new_file and end_file; false
// when any callback failed, or the input could not be read or changed since
// `opened` was taken.
static bool run_callbacks(OutputPlugin* plugin, TextLogReader* reader, std::string_view input_path,
                          std::string_view output_path, size_t stem_length,
                          const FileInfo& opened) {
  const OutputPluginOps* ops = plugin->ops;
  bool success = true;
  if (ops->new_file != nullptr && !ops->new_file(plugin, output_path, stem_length, reader, true)) {
    success = false;
    LOG(LOG_ERROR, "Error during new file callback");
  }
  text_log_rewind(reader);
  // Once per file, so that a plug-in cannot keep the driver going round.
  bool restart_possible = true;
  BusMessage record{};
  int next = 0;
  while (success && (next = text_log_next(reader, &record)) == 1) {
    switch (ops->handle_record(plugin, &record)) {
      case RECORD_TAKEN: break;
      case RECORD_RESTART:
        if (restart_possible) {
          restart_possible = false;
          text_log_restart(reader);
          break;
        }
        // A plug-in that asks twice has broken its word: the file fails.
        [[fallthrough]];
      case RECORD_FAILED:
        success = false;
        LOG(LOG_ERROR, "Error during handle record callback");
        break;
    }
  }
  // A read error or a change is the input's fault, not the plug-in's: the
  // plug-in drops the file, and only the input's fault is reported.
  bool read_failed = next < 0;
  if (read_failed) {
    report_read_error(input_path);
  } else if (success && !input_unchanged(plugin, input_path, opened)) {
    read_failed = true;
  }
  // Still successful with every line read: the count is then final.
  if (success && !read_failed && reader->skipped_lines > 0) {
    LOG(LOG_WARN, "Skipped %llu lines that are not frames in %.*s",
        static_cast<unsigned long long>(reader->skipped_lines), static_cast<int>(input_path.size()),
        input_path.data());
  }
  if (ops->end_file != nullptr) {
    bool ended =
        ops->end_file(plugin, input_path, output_path, stem_length, !success || read_failed);
    if (!success || !ended) {
      success = false;
      LOG(LOG_ERROR, "Error during end file callback");
    }
  }
  return success && !read_failed;
}

int convert_file_failed(std::string_view input_path) {
  LOG(LOG_ERROR, "Error during conversion of %.*s", static_cast<int>(input_path.size()),
      input_path.data());
  return STATUS_CONVERSION_FAILED;
}

// Puts the listener's watch between the file and the read buffer, where the
// reads reach the disk. Without memory for it the log converts unwatched.
static Stream* watch_reads(Stream* file, const ConvertFileListener* listener) {
  if (listener == nullptr || listener->read_to == nullptr) return file;
  Stream* watched = observed_stream_create(file, listener->read_to, listener->arg);
  return watched != nullptr ? watched : file;
}

int convert_file(OutputPlugin* plugin, std::string_view input_path, std::string_view output_path,
                 const ConvertFileListener* listener) {
  std::string_view stem;
  if (!convert_file_output_stem(input_path, output_path, &stem)) return STATUS_OK;
  size_t stem_length = stem.size();
  // A failure here shows up when the plug-in cannot open its output files,
  // with a message that names the file.
  (void)fs_make_dirs(plugin->output_fs, path_dir_prefix(stem));

  // Taken before the open, so that a change at any time after it shows.
  FileInfo opened{};
  (void)fs_stat(plugin->input_fs, input_path, &opened);
  Stream* file = fs_open(plugin->input_fs, input_path, FS_OPEN_READ | FS_OPEN_IGNORED_BIT);
  if (file == nullptr) {
    LOG(LOG_ERROR, "Could not open input file %.*s", static_cast<int>(input_path.size()),
        input_path.data());
    return convert_file_failed(input_path);
  }
  Stream* reading = open_reading_stream(watch_reads(file, listener), plugin->options->buffer_size);
  if (reading == nullptr) return convert_file_failed(input_path);

  bool read_failed = false;
  TextLogReader* reader = text_log_open(reading, &read_failed);
  if (reader == nullptr) {
    if (read_failed) {
      report_read_error(input_path);
    } else {
      LOG(LOG_ERROR, "Could not open log");
    }
    (void)stream_close(reading);
    return convert_file_failed(input_path);
  }

  bool success = run_callbacks(plugin, reader, input_path, output_path, stem_length, opened);

  // The stream is gone after stream_close whatever it answers, so a failed
  // close is reported but never retried.
  if (stream_close(reading) != 0) {
    LOG(LOG_ERROR, "Could not close input file after conversion: %.*s",
        static_cast<int>(input_path.size()), input_path.data());
    text_log_close(reader);
    return convert_file_failed(input_path);
  }
  text_log_close(reader);
  if (!success) return convert_file_failed(input_path);

  if (!plugin->options->delete_converted) return STATUS_OK;
  // Writing the traces takes time too; a log that grew meanwhile must stay.
  if (!input_unchanged(plugin, input_path, opened)) return convert_file_failed(input_path);
  if (!fs_remove(plugin->input_fs, input_path)) {
    LOG(LOG_ERROR, "Could not remove input file after conversion: %.*s",
        static_cast<int>(input_path.size()), input_path.data());
    if (listener != nullptr && listener->not_removed != nullptr) {
      listener->not_removed(listener->arg);
    }
  }
  return STATUS_OK;
}
