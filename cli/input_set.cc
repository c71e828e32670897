// The input-set and output-directory checks. Inputs are compared purely as
// text after a light cleaning, never resolved on the disk: the walk later
// works with names relative to the one parent they share.
#include "cli/input_set.h"

#include "cli/config.h"
#include "platform/filesystem.h"
#include "platform/path.h"

#include <algorithm>

#include <unistd.h>

static void drop_trailing_separators(std::string* path) {
  while (!path->empty() && path->back() == '/') path->pop_back();
}

// "." and ".." go as the shell's own `cd` takes them, by the text alone: an
// input named "." or ".." then has the name of the folder it stands for,
// which its output is named after. Links are not followed, and ".." at "/"
// stays there. A relative path is left alone.
static std::string resolve_dots(std::string_view path) {
  if (path.empty() || path.front() != '/') return std::string(path);
  std::string resolved;  // each kept name with the "/" before it
  for (size_t begin = 0; begin < path.size();) {
    size_t end = std::min(path.find('/', begin + 1), path.size());
    std::string_view name = path.substr(begin + 1, end - begin - 1);
    if (name == "..") {
      drop_trailing_separators(&resolved);
      resolved.resize(resolved.empty() ? 0 : resolved.rfind('/'));
      drop_trailing_separators(&resolved);
    } else if (name != ".") {
      resolved.append(path.substr(begin, end - begin));
    }
    begin = end;
  }
  return resolved;
}

std::string input_path_clean(std::string_view path) {
  std::string slashed(path);
  for (char& c : slashed) {
    if (c == '\\') c = '/';
  }
  // One pass over non-overlapping pairs only: "///" keeps a doubled
  // separator, which the platform reads as one anyway.
  std::string cleaned;
  cleaned.reserve(slashed.size());
  for (size_t i = 0; i < slashed.size(); ++i) {
    cleaned.push_back(slashed[i]);
    if (slashed[i] == '/' && i + 1 < slashed.size() && slashed[i + 1] == '/') ++i;
  }
  cleaned = resolve_dots(cleaned);
  if (!cleaned.empty() && cleaned.back() == '/') cleaned.pop_back();
  return cleaned;
}

std::string_view input_path_parent(std::string_view path) {
  // The search stops before index 0, so a path directly below "/" is its own
  // parent instead of having an empty one.
  for (size_t i = path.size(); i > 1; --i) {
    if (path[i - 1] == '/') return path.substr(0, i - 1);
  }
  return path;
}

int input_set_resolve(const std::vector<std::string>& arguments, FileSystem* working_directory,
                      std::string* root, std::vector<std::string>* names) {
  std::vector<std::string> cleaned;
  cleaned.reserve(arguments.size());
  for (const std::string& argument : arguments) {
    std::string absolute;
    if (path_is_absolute(argument)) {
      absolute = argument;
    } else if (working_directory == nullptr) {
      return INPUT_SET_NO_WORKING_DIRECTORY;
    } else {
      // Joined by hand: fs_absolute_path drops a name of exactly "..",
      // which here is the parent of the working directory.
      absolute = working_directory->root;
      if (!argument.empty()) absolute.append("/").append(argument);
    }
    cleaned.push_back(input_path_clean(absolute));
  }
  if (cleaned.empty()) return INPUT_SET_NO_COMMON_ROOT;
  std::string_view parent = input_path_parent(cleaned.front());
  for (const std::string& path : cleaned) {
    if (input_path_parent(path) != parent) return INPUT_SET_NO_COMMON_ROOT;
  }
  std::string common(parent);
  for (const std::string& path : cleaned) {
    size_t skip = std::min(common.size() + 1, path.size());
    names->push_back(path.substr(skip));
  }
  *root = std::move(common);
  return INPUT_SET_OK;
}

int check_input_set(const std::vector<std::string>& arguments, ConverterConfig* config) {
  // The working directory is wrapped in a FileSystem only to reuse its
  // joining rule; an unreadable one is reported by input_set_resolve, and
  // only when a relative argument actually needs it.
  FileSystemPtr working_directory;
  std::string cwd;
  if (current_directory(&cwd)) working_directory.reset(filesystem_create(cwd));
  return input_set_resolve(arguments, working_directory.get(), &config->input_root,
                           &config->inputs);
}

int check_output_directory(std::string_view output_directory) {
  FileSystemPtr folder(filesystem_create(output_directory));
  return folder == nullptr ? OUTPUT_DIRECTORY_INVALID : 0;
}

bool current_directory(std::string* out) {
  char buffer[2048];
  if (getcwd(buffer, sizeof buffer) == nullptr) return false;
  out->append(buffer);
  return true;
}
