// The input walk: names each top-level input's output root, then converts
// folders depth first in byte order of entry names, so the same inputs always
// convert in the same order into the same mirrored tree.
#include "convert/convert_inputs.h"

#include <map>
#include <vector>

#include "convert/conversion_options.h"
#include "convert/convert_file.h"
#include "convert/convert_jobs.h"
#include "convert/exit_status.h"
#include "convert/output_plugin.h"
#include "convert/output_registry.h"
#include "log/log.h"
#include "platform/filesystem.h"
#include "platform/path.h"
#include "platform/str.h"

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
  // Output stem in lower case -> the last log handed out with it. A log
  // whose traces may be the same files as an earlier one's (the same input
  // named twice, or names that a folder ignoring case takes for one) waits
  // until that one is done, so that several workers decide as one would.
  std::map<std::string, uint64_t> stem_jobs;
  ConvertJobs* jobs = nullptr;
  size_t workers = 0;  ///< plug-ins converting, and so the walk's own observer slot
  const WalkObserver* observer = nullptr;
  // Only tell the observer which logs the walk reaches; convert nothing.
  bool survey = false;
};
}  // namespace

static int convert_path(FileSystem* input_fs, std::string_view input_path,
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

static int walk_file(std::string_view input_path, std::string_view output_path,
                     const FileInfo& info, WalkState* state) {
  std::string_view stem;
  if (!convert_file_output_stem(input_path, output_path, &stem)) return STATUS_OK;
  const WalkObserver* observer = state->observer;
  if (state->survey) {
    if (observer != nullptr) observer->log_started(observer->arg, 0, input_path, info.size);
    return STATUS_OK;
  }
  if (!claim_output_stem(state, input_path, output_path)) {
    // Reported as the walk's own, beside the workers' logs.
    if (observer != nullptr) {
      observer->log_started(observer->arg, state->workers, input_path, info.size);
      observer->log_finished(observer->arg, state->workers, stem, STATUS_CONVERSION_FAILED);
    }
    return STATUS_CONVERSION_FAILED;
  }
  // convert_path waited for an earlier log of this stem.
  state->stem_jobs[utf8_to_lower(stem)] =
      convert_jobs_submit(state->jobs, input_path, output_path, info.size);
  return STATUS_OK;
}

static int walk_folder(FileSystem* input_fs, std::string_view input_path,
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
  if (!fs_list(input_fs, input_path, &listing)) {
    LOG(LOG_ERROR, "Could not list folder %.*s", static_cast<int>(input_path.size()),
        input_path.data());
    result = STATUS_INTERNAL_ERROR;
  }
  ancestors->push_back({info.device, info.inode});
  for (const auto& entry : listing) {
    result |= convert_path(input_fs, path_join(input_path, entry.first),
                           path_join(output_path, entry.first), state);
  }
  ancestors->pop_back();
  return result;
}

// One file or folder, whatever it is; returns its OR-ed result code.
static int convert_path(FileSystem* input_fs, std::string_view input_path,
                        std::string_view output_path, WalkState* state) {
  // A log whose traces may be those of a log in work waits for it before it
  // is looked at: under -d that log may be this one, gone once converted.
  std::string_view stem;
  if (convert_file_output_stem(input_path, output_path, &stem)) {
    auto earlier = state->stem_jobs.find(utf8_to_lower(stem));
    if (earlier != state->stem_jobs.end()) convert_jobs_wait(state->jobs, earlier->second);
  }
  FileInfo info{};
  if (!fs_stat(input_fs, input_path, &info)) {
    // The walk goes on with the other paths, but the run must not report
    // success for a path it could not look at.
    LOG(LOG_FATAL, "Error during stat of %.*s, exiting", static_cast<int>(input_path.size()),
        input_path.data());
    return STATUS_INTERNAL_ERROR;
  }
  switch (info.type) {
    case FILE_TYPE_FOLDER: return walk_folder(input_fs, input_path, output_path, info, state);
    case FILE_TYPE_FILE: return walk_file(input_path, output_path, info, state);
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

// `*ended` is set when a failed stat of a top-level input ended the walk.
static int walk_inputs(const OutputPlugin* plugin, const std::vector<std::string>& inputs,
                       WalkState* state, bool* ended) {
  int status = STATUS_OK;
  for (const std::string& name : inputs) {
    std::string output_name = name;
    if (!plugin->options->no_append_root) {
      FileInfo info{};
      if (!fs_stat(plugin->input_fs, name, &info)) {
        LOG(LOG_FATAL, "Could not query %.*s for information", static_cast<int>(name.size()),
            name.data());
        *ended = true;
        return STATUS_INTERNAL_ERROR;
      }
      if (info.type == FILE_TYPE_FOLDER) append_root_suffix(&output_name);
    }
    status |= convert_path(plugin->input_fs, name, output_name, state);
  }
  return status;
}

int convert_inputs(OutputPlugin* const* plugins, size_t count,
                   const std::vector<std::string>& inputs, const WalkObserver* observer) {
  WalkState state;
  state.observer = observer;
  state.workers = count;
  state.jobs = convert_jobs_start(plugins, count, observer);
  // Without the workers one conversion at a time still gets the run done.
  if (state.jobs == nullptr) state.jobs = convert_jobs_start(plugins, 1, observer);
  if (state.jobs == nullptr) return STATUS_INTERNAL_ERROR;
  bool ended = false;
  int status = walk_inputs(plugins[0], inputs, &state, &ended);
  int converted = convert_jobs_finish(state.jobs);
  // A failed stat of a top-level input ends the run with 129 alone.
  return ended ? STATUS_INTERNAL_ERROR : status | converted;
}

void convert_inputs_survey(OutputPlugin* plugin, const std::vector<std::string>& inputs,
                           const WalkObserver* observer) {
  WalkState state;
  state.observer = observer;
  state.survey = true;
  bool ended = false;
  (void)walk_inputs(plugin, inputs, &state, &ended);
}
