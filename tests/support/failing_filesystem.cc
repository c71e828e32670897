#include "support/failing_filesystem.h"

#include <algorithm>
#include <cctype>

static FailingFileSystem* self(FileSystem* fs) { return static_cast<FailingFileSystem*>(fs); }
static FileSystem* inner(FileSystem* fs) { return self(fs)->inner; }

static std::string relative(FileSystem* fs, std::string_view path) {
  std::string name(path.substr(std::min(path.size(), fs->root.size() + 1)));
  if (self(fs)->fold_case) std::transform(name.begin(), name.end(), name.begin(), ::tolower);
  return name;
}

// Records the call; true when the test asked for it to fail.
static bool fails(FileSystem* fs, const char* slot, std::string_view path,
                  std::set<std::string> FailingFileSystem::*failing) {
  self(fs)->calls.push_back(slot + (" " + relative(fs, path)));
  return (self(fs)->*failing).count(relative(fs, path)) != 0;
}

static const FileSystemOps kFailingFileSystemOps = {
    .release = nullptr,  // the test owns the object
    .stat =
        [](FileSystem* fs, std::string_view path, FileInfo* out) {
          if (fails(fs, "stat", path, &FailingFileSystem::fail_stat)) return false;
          auto found = self(fs)->files.find(relative(fs, path));
          if (found == self(fs)->files.end() && inner(fs))
            return inner(fs)->ops->stat(inner(fs), path, out);
          bool missing = found == self(fs)->files.end();
          *out = {missing ? FILE_TYPE_MISSING : FILE_TYPE_FILE,
                  missing ? 0 : static_cast<int64_t>(found->second.bytes.size()), 0,
                  missing ? 0 : reinterpret_cast<uint64_t>(&found->second), 0};
          return true;
        },
    .list =
        [](FileSystem* fs, std::string_view path, DirectoryListing* out) {
          for (const std::string& name : self(fs)->listed_extra) {
            out->emplace(name, FileInfo{FILE_TYPE_FILE, 1, 0, 0, 0});
          }
          return inner(fs) && inner(fs)->ops->list(inner(fs), path, out);
        },
    .make_dir =
        [](FileSystem* fs, std::string_view path) {
          return !fails(fs, "make_dir", path, &FailingFileSystem::fail_make_dir) && inner(fs) &&
                 inner(fs)->ops->make_dir(inner(fs), path);
        },
    .remove =
        [](FileSystem* fs, std::string_view path) {
          if (fails(fs, "remove", path, &FailingFileSystem::fail_remove)) return false;
          if (self(fs)->files.erase(relative(fs, path)) == 1) return true;
          return inner(fs) && inner(fs)->ops->remove(inner(fs), path);
        },
    .open = [](FileSystem* fs, std::string_view path, int32_t flags) -> Stream* {
      if (fails(fs, "open", path, &FailingFileSystem::fail_open)) return nullptr;
      std::string name = relative(fs, path);
      if (!inner(fs) || self(fs)->files.count(name)) {
        return memory_stream_create(&self(fs)->files[name]);
      }
      return inner(fs)->ops->open(inner(fs), path, flags);
    },
    .rename =
        [](FileSystem* fs, std::string_view from, std::string_view to) {
          if (fails(fs, "rename", to, &FailingFileSystem::fail_rename)) return false;
          auto moved = self(fs)->files.extract(relative(fs, from));
          if (moved.empty()) return inner(fs) && inner(fs)->ops->rename(inner(fs), from, to);
          self(fs)->files.erase(moved.key() = relative(fs, to));
          self(fs)->files.insert(std::move(moved));
          return true;
        },
    .flush =
        [](FileSystem* fs, std::string_view path) {
          return !fails(fs, "flush", path, &FailingFileSystem::fail_flush) &&
                 (!inner(fs) || inner(fs)->ops->flush(inner(fs), path));
        },
};

std::unique_ptr<FailingFileSystem> failing_filesystem_create(FileSystem* inner) {
  auto fs = std::make_unique<FailingFileSystem>();
  fs->ops = &kFailingFileSystemOps;
  fs->root = inner ? inner->root : "mem";
  fs->inner = inner;
  return fs;
}
