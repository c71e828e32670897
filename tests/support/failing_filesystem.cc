#include "support/failing_filesystem.h"

// Records the call; true when the test asked for it to fail.
static bool fails(FileSystem* fs, const char* slot, std::string_view path,
                  std::set<std::string> FailingFileSystem::*failing) {
  auto* self = static_cast<FailingFileSystem*>(fs);
  std::string rel(path.substr(std::min(path.size(), fs->root.size() + 1)));
  self->calls.push_back(slot + (" " + rel));
  return (self->*failing).count(rel) != 0;
}

static FileSystem* inner(FileSystem* fs) { return static_cast<FailingFileSystem*>(fs)->inner; }

static const FileSystemOps kFailingFileSystemOps = {
    .release = nullptr,  // the test owns the object
    .stat =
        [](FileSystem* fs, std::string_view path, FileInfo* out) {
          return !fails(fs, "stat", path, &FailingFileSystem::fail_stat) &&
                 inner(fs)->ops->stat(inner(fs), path, out);
        },
    .list =
        [](FileSystem* fs, std::string_view path, DirectoryListing* out) {
          for (const std::string& name : static_cast<FailingFileSystem*>(fs)->listed_extra) {
            out->emplace(name, FileInfo{FILE_TYPE_FILE, 1, 0, 0});
          }
          return inner(fs)->ops->list(inner(fs), path, out);
        },
    .make_dir =
        [](FileSystem* fs, std::string_view path) {
          return !fails(fs, "make_dir", path, &FailingFileSystem::fail_make_dir) &&
                 inner(fs)->ops->make_dir(inner(fs), path);
        },
    .remove =
        [](FileSystem* fs, std::string_view path) {
          return !fails(fs, "remove", path, &FailingFileSystem::fail_remove) &&
                 inner(fs)->ops->remove(inner(fs), path);
        },
    .open = [](FileSystem* fs, std::string_view path, int32_t flags) -> Stream* {
      if (fails(fs, "open", path, &FailingFileSystem::fail_open)) return nullptr;
      return inner(fs)->ops->open(inner(fs), path, flags);
    },
    .rename =
        [](FileSystem* fs, std::string_view from, std::string_view to) {
          return !fails(fs, "rename", to, &FailingFileSystem::fail_rename) &&
                 inner(fs)->ops->rename(inner(fs), from, to);
        },
    .flush =
        [](FileSystem* fs, std::string_view path) {
          return !fails(fs, "flush", path, &FailingFileSystem::fail_flush) &&
                 inner(fs)->ops->flush(inner(fs), path);
        },
};

std::unique_ptr<FailingFileSystem> failing_filesystem_create(FileSystem* inner) {
  auto fs = std::make_unique<FailingFileSystem>();
  fs->ops = &kFailingFileSystemOps;
  fs->root = inner->root;
  fs->inner = inner;
  return fs;
}
