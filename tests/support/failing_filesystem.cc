#include "support/failing_filesystem.h"

static FailingFileSystem* self_of(FileSystem* fs) { return static_cast<FailingFileSystem*>(fs); }

// Full paths are root + "/" + relative; recover the relative part.
static std::string relative(FileSystem* fs, std::string_view path) {
  if (path.size() > fs->root.size()) return std::string(path.substr(fs->root.size() + 1));
  return std::string();
}

static bool failing_stat(FileSystem* fs, std::string_view path, FileInfo* out) {
  FailingFileSystem* self = self_of(fs);
  if (self->fail_stat.count(relative(fs, path)) != 0) return false;
  return self->inner->ops->stat(self->inner, path, out);
}

static bool failing_list(FileSystem* fs, std::string_view path, DirectoryListing* out) {
  return self_of(fs)->inner->ops->list(self_of(fs)->inner, path, out);
}

static bool failing_make_dir(FileSystem* fs, std::string_view path) {
  return self_of(fs)->inner->ops->make_dir(self_of(fs)->inner, path);
}

static bool failing_remove(FileSystem* fs, std::string_view path) {
  FailingFileSystem* self = self_of(fs);
  if (self->fail_remove.count(relative(fs, path)) != 0) return false;
  return self->inner->ops->remove(self->inner, path);
}

static Stream* failing_open(FileSystem* fs, std::string_view path, int32_t flags) {
  FailingFileSystem* self = self_of(fs);
  if (self->fail_open.count(relative(fs, path)) != 0) return nullptr;
  return self->inner->ops->open(self->inner, path, flags);
}

static const FileSystemOps kFailingFileSystemOps = {
    .release = nullptr,
    .stat = failing_stat,
    .list = failing_list,
    .make_dir = failing_make_dir,
    .remove = failing_remove,
    .open = failing_open,
    .rename = nullptr,  // the pipeline and the walk neither rename nor flush
    .flush = nullptr,
};

std::unique_ptr<FailingFileSystem> failing_filesystem_create(FileSystem* inner) {
  auto fs = std::make_unique<FailingFileSystem>();
  fs->ops = &kFailingFileSystemOps;
  fs->root = inner->root;
  fs->inner = inner;
  return fs;
}
