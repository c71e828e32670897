// The registry of written outputs: a map from file identity to input path,
// consulted and updated around the one rename that gives an output its name.
#include "convert/output_registry.h"

#include "log/log.h"
#include "platform/filesystem.h"

#include <map>
#include <mutex>
#include <new>
#include <string>
#include <utility>

struct OutputRegistry {
  // Held from the look at the final name to the record of the renamed file:
  // two workers must not both find a name free.
  std::mutex mutex;
  std::map<std::pair<uint64_t, uint64_t>, std::string> inputs;
};

OutputRegistry* output_registry_create() { return new (std::nothrow) OutputRegistry; }

void output_registry_destroy(OutputRegistry* registry) { delete registry; }

void output_registry_report_overwrite(std::string_view input, std::string_view earlier_input) {
  LOG(LOG_ERROR, "Output of %.*s would overwrite that of %.*s", static_cast<int>(input.size()),
      input.data(), static_cast<int>(earlier_input.size()), earlier_input.data());
}

OutputCommit output_registry_commit(OutputRegistry* registry, FileSystem* fs,
                                    std::string_view temporary, std::string_view path,
                                    std::string_view input) {
  std::lock_guard<std::mutex> lock(registry->mutex);
  FileInfo written{};
  FileInfo target{};
  if (!fs_stat(fs, temporary, &written) || written.type != FILE_TYPE_FILE ||
      !fs_stat(fs, path, &target)) {
    return OUTPUT_NOT_RENAMED;
  }
  auto replaced = registry->inputs.end();
  if (target.type != FILE_TYPE_MISSING) {
    replaced = registry->inputs.find({target.device, target.inode});
    if (replaced != registry->inputs.end() && replaced->second != input) {
      output_registry_report_overwrite(input, replaced->second);
      return OUTPUT_OVERWRITES;
    }
  }
  if (!fs_rename(fs, temporary, path)) return OUTPUT_NOT_RENAMED;
  // The replaced file is gone, and the system may give its identity to
  // another file later on.
  if (replaced != registry->inputs.end()) registry->inputs.erase(replaced);
  registry->inputs[{written.device, written.inode}].assign(input);
  return OUTPUT_COMMITTED;
}
