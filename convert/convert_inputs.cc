// The input walk: names each top-level input's output root, then converts
// folders depth first in byte order of entry names, so the same inputs always
// convert in the same order into the same mirrored tree.
#include "convert/convert_inputs.h"

#include <map>
#include <vector>

#include "convert/conversion_options.h"
#include "convert/convert_file.h"
#include "convert/exit_status.h"
#include "convert/output_plugin.h"
#include "convert/output_registry.h"
#include "log/log.h"
#include "platform/filesystem.h"
#include "platform/path.h"

namespace {
struct FolderIdentity {
  uint64_t device;
  uint64_t inode;
};

struct WalkState {
  // The folders on the path from the top-level input down to the folder
  // being walked, by identity, so a symbolic link back to one of them is not
  // entered again.
  std::vector<FolderIdentity> ancestors;
  // Output stem -> the input that claimed it. Names that differ only in the
  // extension's case (a.txt, a.TXT) share a stem; converting both would
  // overwrite the first trace, and with -d delete both inputs.
  std::map<std::string, std::string, std::less<>> claimed_stems;
  const WalkObserver* observer = nullptr;
  // Only tell the observer which logs the walk reaches; convert nothing.
  bool survey = false;
};
}  // namespace

static int convert_path(OutputPlugin* plugin, std::string_view input_path,
                        std::string_view output_path, WalkState* state);

// False, with the messages logged, when another input already wrote the
// output files this one would write.
static bool claim_output_stem(WalkState* state, std::string_view input_path,
                              std::string_view output_path) {
  std::string_view stem;
  if (!convert_file_output_stem(input_path, output_path, &stem)) return true;
  auto found = state->claimed_stems.find(stem);
  if (found == state->claimed_stems.end()) {
    state->claimed_stems.emplace(std::string(stem), std::string(input_path));
    return true;
  }
  // The same input named twice converts twice into the same files.
  if (found->second == input_path) return true;
  output_registry_report_overwrite(input_path, found->second);
  (void)convert_file_failed(input_path);
  return false;
}

static int walk_file(OutputPlugin* plugin, std::string_view input_path,
                     std::string_view output_path, const FileInfo& info, WalkState* state) {
  std::string_view stem;
  const WalkObserver* observer = state->observer;
  if (!convert_file_output_stem(input_path, output_path, &stem)) observer = nullptr;
  if (observer != nullptr) observer->log_started(observer->arg, input_path, info.size);
  if (state->survey) return STATUS_OK;
  int result = STATUS_CONVERSION_FAILED;
  if (claim_output_stem(state, input_path, output_path)) {
    ConvertFileListener listener{};
    if (observer != nullptr) {
      listener = {.read_to = observer->log_read,
                  .not_removed = observer->log_not_removed,
                  .arg = observer->arg};
    }
    result = convert_file(plugin, input_path, output_path, &listener);
  }
  if (observer != nullptr) observer->log_finished(observer->arg, stem, result);
  return result;
}

static int walk_folder(OutputPlugin* plugin, std::string_view input_path,
                       std::string_view output_path, const FileInfo& info, WalkState* state) {
  std::vector<FolderIdentity>* ancestors = &state->ancestors;
  for (const FolderIdentity& folder : *ancestors) {
    if (folder.device == info.device && folder.inode == info.inode) {
      LOG(LOG_WARN, "Skipping %.*s: it leads back into a folder being converted",
          static_cast<int>(input_path.size()), input_path.data());
      return STATUS_OK;
    }
  }
  DirectoryListing listing;
  int result = STATUS_OK;
  // The entries that could be read are still converted, but the run must not
  // report success for a folder whose files it could not all see.
  if (!fs_list(plugin->input_fs, input_path, &listing)) {
    LOG(LOG_ERROR, "Could not list folder %.*s", static_cast<int>(input_path.size()),
        input_path.data());
    result = STATUS_INTERNAL_ERROR;
  }
  ancestors->push_back({info.device, info.inode});
  for (const auto& entry : listing) {
    result |= convert_path(plugin, path_join(input_path, entry.first),
                           path_join(output_path, entry.first), state);
  }
  ancestors->pop_back();
  return result;
}

// One file or folder, whatever it is; returns its OR-ed result code.
static int convert_path(OutputPlugin* plugin, std::string_view input_path,
                        std::string_view output_path, WalkState* state) {
  FileInfo info{};
  if (!fs_stat(plugin->input_fs, input_path, &info)) {
    // The walk goes on with the other paths, but the run must not report
    // success for a path it could not look at.
    LOG(LOG_FATAL, "Error during stat of %.*s, exiting", static_cast<int>(input_path.size()),
        input_path.data());
    return STATUS_INTERNAL_ERROR;
  }
  switch (info.type) {
    case FILE_TYPE_FOLDER: return walk_folder(plugin, input_path, output_path, info, state);
    case FILE_TYPE_FILE: return walk_file(plugin, input_path, output_path, info, state);
    case FILE_TYPE_MISSING:
      LOG(LOG_WARN, "Could not find input file/folder %.*s", static_cast<int>(input_path.size()),
          input_path.data());
      return STATUS_NOT_FOUND;
    case FILE_TYPE_OTHER: return STATUS_INTERNAL_ERROR;
  }
  return STATUS_INTERNAL_ERROR;
}

// "_out" goes in front of the first "/" of the name, or at its end.
static void append_root_suffix(std::string* output_name) {
  size_t slash = output_name->find('/');
  if (slash == std::string::npos) {
    output_name->append("_out");
  } else {
    output_name->insert(slash, "_out");
  }
}

static int walk_inputs(OutputPlugin* plugin, const std::vector<std::string>& inputs,
                       const WalkObserver* observer, bool survey) {
  int status = STATUS_OK;
  WalkState state;
  state.observer = observer;
  state.survey = survey;
  for (const std::string& name : inputs) {
    std::string output_name = name;
    if (!plugin->options->no_append_root) {
      FileInfo info{};
      if (!fs_stat(plugin->input_fs, name, &info)) {
        LOG(LOG_FATAL, "Could not query %.*s for information", static_cast<int>(name.size()),
            name.data());
        return STATUS_INTERNAL_ERROR;
      }
      if (info.type == FILE_TYPE_FOLDER) append_root_suffix(&output_name);
    }
    status |= convert_path(plugin, name, output_name, &state);
  }
  return status;
}

int convert_inputs(OutputPlugin* plugin, const std::vector<std::string>& inputs,
                   const WalkObserver* observer) {
  return walk_inputs(plugin, inputs, observer, false);
}

void convert_inputs_survey(OutputPlugin* plugin, const std::vector<std::string>& inputs,
                           const WalkObserver* observer) {
  (void)walk_inputs(plugin, inputs, observer, true);
}
