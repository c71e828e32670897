// The FileSystem wrappers and the behaviour written once on top of the slots
// (fs_make_dir, fs_make_dirs): they join the root with the relative path and
// are the only code that tests a slot.
#include "platform/filesystem.h"

#include "log/log.h"
#include "platform/path.h"
#include "platform/str.h"

#include <iterator>

static void base_release(FileSystem*) {}
static bool base_stat(FileSystem*, std::string_view, FileInfo*) { return false; }
static bool base_list(FileSystem*, std::string_view, DirectoryListing*) { return false; }
static bool base_make_dir(FileSystem*, std::string_view) { return false; }

const FileSystemOps kFileSystemBaseOps = {
    .release = base_release,
    .stat = base_stat,
    .list = base_list,
    .make_dir = base_make_dir,
    .remove = nullptr,  // the base cannot change the disk
    .open = nullptr,
    .rename = nullptr,
    .flush = nullptr,
};

void filesystem_destroy(FileSystem* fs) {
  if (fs == nullptr) return;
  if (fs->ops->release != nullptr) fs->ops->release(fs);
  delete fs;
}

bool fs_stat(FileSystem* fs, std::string_view rel, FileInfo* info) {
  if (fs == nullptr || fs->ops->stat == nullptr) return false;
  return fs->ops->stat(fs, path_join(fs->root, rel), info);
}

// Makes names relative to the root even when an implementation reports them
// prefixed with it: the root and one "/" behind it are dropped. Each name is
// looked at once; renamed entries wait in a second map so that a shortened
// name is not met (and shortened) again further on. Moving map nodes
// allocates nothing. A shortened name that is already present keeps the
// entry it has.
static void strip_root_prefix(const std::string& root, DirectoryListing* listing) {
  DirectoryListing renamed;
  for (auto it = listing->begin(); it != listing->end();) {
    if (it->first.compare(0, root.size(), root) != 0) {
      ++it;
      continue;
    }
    auto next = std::next(it);
    auto node = listing->extract(it);
    size_t drop = root.size();
    if (drop < node.key().size() && node.key()[drop] == '/') ++drop;
    node.key().erase(0, drop);
    renamed.insert(std::move(node));
    it = next;
  }
  listing->merge(renamed);
}

bool fs_list(FileSystem* fs, std::string_view rel, DirectoryListing* listing) {
  bool listed = false;
  if (fs != nullptr && fs->ops->list != nullptr) {
    listed = fs->ops->list(fs, path_join(fs->root, rel), listing);
    if (!fs->root.empty() && !listing->empty()) strip_root_prefix(fs->root, listing);
  }
  LOG(LOG_INFO, "ls: %.*s", static_cast<int>(rel.size()), rel.data());
  return listed;
}

bool fs_make_dir(FileSystem* fs, std::string_view rel) {
  if (fs == nullptr) return false;
  FileInfo info{};
  if (!fs_stat(fs, rel, &info)) return false;
  switch (info.type) {
    case FILE_TYPE_FOLDER: return true;
    case FILE_TYPE_MISSING: {
      if (fs->ops->make_dir == nullptr) return false;
      if (fs->ops->make_dir(fs, path_join(fs->root, rel))) return true;
      // Another conversion of the same run may have made it in between.
      FileInfo again{};
      return fs_stat(fs, rel, &again) && again.type == FILE_TYPE_FOLDER;
    }
    case FILE_TYPE_FILE:
    case FILE_TYPE_OTHER: return false;
  }
  return false;
}

bool fs_make_dirs(FileSystem* fs, std::string_view rel) {
  std::string prefix;
  size_t start = 0;
  while (start <= rel.size()) {
    size_t slash = rel.find('/', start);
    size_t end = slash == std::string_view::npos ? rel.size() : slash;
    if (end > start) {
      // Each prefix starts with "/", so the joined path holds a doubled
      // separator (root//a), which the platform reads as one.
      str_append_printf(&prefix, "%s%.*s", "/", static_cast<int>(end - start), rel.data() + start);
      if (!fs_make_dir(fs, prefix)) return false;
    }
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  return true;
}

bool fs_remove(FileSystem* fs, std::string_view rel) {
  if (fs == nullptr || fs->ops->remove == nullptr) return false;
  return fs->ops->remove(fs, path_join(fs->root, rel));
}

Stream* fs_open(FileSystem* fs, std::string_view rel, int32_t flags) {
  if (fs == nullptr || fs->ops->open == nullptr) return nullptr;
  return fs->ops->open(fs, path_join(fs->root, rel), flags);
}

bool fs_rename(FileSystem* fs, std::string_view from_rel, std::string_view to_rel) {
  if (fs == nullptr || fs->ops->rename == nullptr) return false;
  return fs->ops->rename(fs, path_join(fs->root, from_rel), path_join(fs->root, to_rel));
}

bool fs_flush(FileSystem* fs, std::string_view rel) {
  if (fs == nullptr || fs->ops->flush == nullptr) return false;
  return fs->ops->flush(fs, path_join(fs->root, rel));
}

void fs_absolute_path(FileSystem* fs, std::string_view rel, std::string* out) {
  if (fs == nullptr || out == nullptr || rel == "..") return;
  out->append(fs->root);
  if (!rel.empty()) {
    out->push_back('/');
    out->append(rel);
  }
}
