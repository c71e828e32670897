// PosixFileSystem: the FileSystem over the C library and POSIX calls. Paths
// arrive as views without a terminator, so each operation copies its path
// into a std::string before calling the platform.
#include "platform/filesystem.h"

#include "platform/str.h"
#include "platform/stream.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <new>
#include <sys/stat.h>

static bool posix_stat_path(const std::string& path, FileInfo* out) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) return false;
    out->type = FILE_TYPE_MISSING;
    out->size = 0;
    out->device = 0;
    out->inode = 0;
    return true;
  }
  if (S_ISREG(st.st_mode)) {
    out->type = FILE_TYPE_FILE;
    out->size = static_cast<int64_t>(st.st_size);
  } else if (S_ISDIR(st.st_mode)) {
    out->type = FILE_TYPE_FOLDER;
    out->size = 0;
  } else {
    out->type = FILE_TYPE_OTHER;
    out->size = 0;
  }
  out->device = static_cast<uint64_t>(st.st_dev);
  out->inode = static_cast<uint64_t>(st.st_ino);
  return true;
}

static void posix_release(FileSystem*) {}

static bool posix_stat(FileSystem*, std::string_view path, FileInfo* out) {
  return posix_stat_path(std::string(path), out);
}

static void posix_list(FileSystem*, std::string_view path, DirectoryListing* out) {
  std::string folder(path);
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  std::string entry_path;
  while (struct dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    if ((name[0] == '.' && name[1] == '\0') ||
        (name[0] == '.' && name[1] == '.' && name[2] == '\0')) {
      continue;
    }
    entry_path.clear();
    str_append_printf(&entry_path, "%.*s/%s", static_cast<int>(path.size()),
                      path.data(), name);
    FileInfo info{};
    if (!posix_stat_path(entry_path, &info)) continue;
    if (info.type != FILE_TYPE_FILE && info.type != FILE_TYPE_FOLDER) continue;
    // A listing entry that cannot be stored is left out; the walk goes on
    // with the others rather than ending the process.
    try {
      out->emplace(name, info);
    } catch (const std::bad_alloc&) {
    }
  }
  closedir(dir);
}

static bool posix_make_dir(FileSystem*, std::string_view path) {
  return mkdir(std::string(path).c_str(), 0700) == 0;
}

static bool posix_remove(FileSystem*, std::string_view path) {
  return remove(std::string(path).c_str()) == 0;
}

static Stream* posix_open(FileSystem*, std::string_view path, int32_t flags) {
  int32_t mode = 0;
  switch (flags & (FS_OPEN_READ | FS_OPEN_WRITE)) {
    case FS_OPEN_READ: mode = STREAM_MODE_READ; break;
    case FS_OPEN_WRITE: mode = STREAM_MODE_WRITE; break;
    case FS_OPEN_READ | FS_OPEN_WRITE: mode = STREAM_MODE_READ_WRITE; break;
    default: return nullptr;
  }
  return file_stream_open(std::string(path).c_str(), mode);
}

static const FileSystemOps kPosixFileSystemOps = {
    .release = posix_release,
    .stat = posix_stat,
    .list = posix_list,
    .make_dir = posix_make_dir,
    .remove = posix_remove,
    .open = posix_open,
};

FileSystem* filesystem_create(std::string_view root) {
  if (root.empty()) return nullptr;
  auto* fs = new (std::nothrow) FileSystem{};
  if (fs == nullptr) return nullptr;
  fs->ops = &kPosixFileSystemOps;
  fs->root.assign(root);
  FileInfo info{};
  if (!posix_stat_path(fs->root, &info) || info.type != FILE_TYPE_FOLDER) {
    delete fs;
    return nullptr;
  }
  return fs;
}
