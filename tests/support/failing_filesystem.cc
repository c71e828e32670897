#include "support/failing_filesystem.h"

#include "platform/stream.h"

// Records the call; true when the test asked for it to fail.
static bool fails(FileSystem* fs, const char* slot, std::string_view path,
                  const std::set<std::string>& failing) {
  std::string rel(path.substr(std::min(path.size(), fs->root.size() + 1)));
  static_cast<FailingFileSystem*>(fs)->calls.push_back(slot + (" " + rel));
  return failing.count(rel) != 0;
}

static FileSystem* inner(FileSystem* fs) { return static_cast<FailingFileSystem*>(fs)->inner; }

static bool failing_stat(FileSystem* fs, std::string_view path, FileInfo* out) {
  if (fails(fs, "stat", path, static_cast<FailingFileSystem*>(fs)->fail_stat)) return false;
  return inner(fs)->ops->stat(inner(fs), path, out);
}

static bool failing_list(FileSystem* fs, std::string_view path, DirectoryListing* out) {
  for (const std::string& name : static_cast<FailingFileSystem*>(fs)->listed_extra) {
    out->emplace(name, FileInfo{FILE_TYPE_FILE, 1, 0, 0});
  }
  return inner(fs)->ops->list(inner(fs), path, out);
}

static bool failing_make_dir(FileSystem* fs, std::string_view path) {
  if (fails(fs, "make_dir", path, static_cast<FailingFileSystem*>(fs)->fail_make_dir)) {
    return false;
  }
  return inner(fs)->ops->make_dir(inner(fs), path);
}

static bool failing_remove(FileSystem* fs, std::string_view path) {
  if (fails(fs, "remove", path, static_cast<FailingFileSystem*>(fs)->fail_remove)) return false;
  return inner(fs)->ops->remove(inner(fs), path);
}

static Stream* failing_open(FileSystem* fs, std::string_view path, int32_t flags) {
  if (fails(fs, "open", path, static_cast<FailingFileSystem*>(fs)->fail_open)) return nullptr;
  return inner(fs)->ops->open(inner(fs), path, flags);
}

static bool failing_rename(FileSystem* fs, std::string_view from, std::string_view to) {
  if (fails(fs, "rename", to, static_cast<FailingFileSystem*>(fs)->fail_rename)) return false;
  return inner(fs)->ops->rename(inner(fs), from, to);
}

static bool failing_flush(FileSystem* fs, std::string_view path) {
  if (fails(fs, "flush", path, static_cast<FailingFileSystem*>(fs)->fail_flush)) return false;
  return inner(fs)->ops->flush(inner(fs), path);
}

static const FileSystemOps kFailingFileSystemOps = {
    .release = nullptr,  // the test owns the object
    .stat = failing_stat,
    .list = failing_list,
    .make_dir = failing_make_dir,
    .remove = failing_remove,
    .open = failing_open,
    .rename = failing_rename,
    .flush = failing_flush,
};

std::unique_ptr<FailingFileSystem> failing_filesystem_create(FileSystem* inner) {
  auto fs = std::make_unique<FailingFileSystem>();
  fs->ops = &kFailingFileSystemOps;
  fs->root = inner->root;
  fs->inner = inner;
  return fs;
}
