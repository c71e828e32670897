// The input walk: names each top-level input's output root, then converts
// folders depth first in byte order of entry names, so the same inputs always
// convert in the same order into the same mirrored tree.
#include "convert/convert_inputs.h"

#include <vector>

#include "convert/conversion_options.h"
#include "convert/convert_file.h"
#include "convert/output_plugin.h"
#include "log/log.h"
#include "platform/filesystem.h"
#include "platform/path.h"

namespace {
// The folders on the path from the top-level input down to the folder being
// walked, by identity, so a symbolic link back to one of them is not entered.
struct FolderIdentity {
  uint64_t device;
  uint64_t inode;
};
}  // namespace

static int walk(OutputPlugin* plugin, std::string_view input_path,
                std::string_view output_path, std::vector<FolderIdentity>* ancestors);

static int walk_folder(OutputPlugin* plugin, std::string_view input_path,
                       std::string_view output_path, const FileInfo& info,
                       std::vector<FolderIdentity>* ancestors) {
  for (const FolderIdentity& folder : *ancestors) {
    if (folder.device == info.device && folder.inode == info.inode) {
      LOG(LOG_WARN, "Skipping %.*s: it leads back into a folder being converted",
          static_cast<int>(input_path.size()), input_path.data());
      return STATUS_OK;
    }
  }
  DirectoryListing listing;
  fs_list(plugin->input_fs, input_path, &listing);
  ancestors->push_back({info.device, info.inode});
  int result = STATUS_OK;
  for (const auto& entry : listing) {
    result |= walk(plugin, path_join(input_path, entry.first),
                   path_join(output_path, entry.first), ancestors);
  }
  ancestors->pop_back();
  return result;
}

static int walk(OutputPlugin* plugin, std::string_view input_path,
                std::string_view output_path, std::vector<FolderIdentity>* ancestors) {
  FileInfo info{};
  if (!fs_stat(plugin->input_fs, input_path, &info)) {
    // The walk goes on with the other paths, but the run must not report
    // success for a path it could not look at.
    LOG(LOG_FATAL, "Error during stat of %.*s, exiting", static_cast<int>(input_path.size()),
        input_path.data());
    return STATUS_INTERNAL_ERROR;
  }
  switch (info.type) {
    case FILE_TYPE_FOLDER:
      return walk_folder(plugin, input_path, output_path, info, ancestors);
    case FILE_TYPE_FILE:
      return convert_file(plugin, input_path, output_path);
    case FILE_TYPE_MISSING:
      LOG(LOG_WARN, "Could not find input file/folder %.*s",
          static_cast<int>(input_path.size()), input_path.data());
      return STATUS_NOT_FOUND;
    case FILE_TYPE_OTHER:
      return STATUS_INTERNAL_ERROR;
  }
  return STATUS_INTERNAL_ERROR;
}

int convert_path(OutputPlugin* plugin, std::string_view input_path,
                 std::string_view output_path) {
  std::vector<FolderIdentity> ancestors;
  return walk(plugin, input_path, output_path, &ancestors);
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

int convert_inputs(OutputPlugin* plugin, const std::vector<std::string>& inputs) {
  int status = STATUS_OK;
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
    status |= convert_path(plugin, name, output_name);
  }
  return status;
}
