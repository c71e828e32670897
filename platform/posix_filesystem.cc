// PosixFileSystem: the FileSystem over the C library and POSIX calls. Paths
// arrive as views without a terminator, so each operation copies its path
// into a std::string before calling the platform.
#include "platform/filesystem.h"

#include "platform/str.h"
#include "platform/stream.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

static bool posix_stat_path(const std::string& path, FileInfo* out) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) return false;
    out->type = FILE_TYPE_MISSING;
    out->size = 0;
    out->device = 0;
    out->inode = 0;
    out->modified = 0;
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
  out->modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

static void posix_release(FileSystem*) {}

static bool posix_stat(FileSystem*, std::string_view path, FileInfo* out) {
  return posix_stat_path(std::string(path), out);
}

static bool posix_list(FileSystem*, std::string_view path, DirectoryListing* out) {
  std::string folder(path);
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return false;
  bool complete = true;
  std::string entry_path;
  for (;;) {
    // readdir answers null both at the end and on an error; only errno,
    // cleared before the call, tells the two apart.
    errno = 0;
    struct dirent* entry = readdir(dir);
    if (entry == nullptr) {
      if (errno != 0) complete = false;
      break;
    }
    const char* name = entry->d_name;
    if ((name[0] == '.' && name[1] == '\0') ||
        (name[0] == '.' && name[1] == '.' && name[2] == '\0')) {
      continue;
    }
    entry_path.clear();
    str_append_printf(&entry_path, "%.*s/%s", static_cast<int>(path.size()), path.data(), name);
    FileInfo info{};
    // An entry whose status cannot be taken (a path too long, a link loop)
    // stays in the listing: the walk's own stat of it then fails and is
    // reported, where leaving it out would pass over it in silence.
    if (posix_stat_path(entry_path, &info) && info.type != FILE_TYPE_FILE &&
        info.type != FILE_TYPE_FOLDER) {
      continue;
    }
    // An entry that cannot be stored makes the listing incomplete; the walk
    // goes on with the others and reports the folder.
    try {
      out->emplace(name, info);
    } catch (const std::bad_alloc&) {
      complete = false;
    }
  }
  closedir(dir);
  return complete;
}

static bool posix_make_dir(FileSystem*, std::string_view path) {
  return mkdir(std::string(path).c_str(), 0700) == 0;
}

static bool posix_remove(FileSystem*, std::string_view path) {
  return remove(std::string(path).c_str()) == 0;
}

static Stream* posix_open(FileSystem*, std::string_view path, int32_t flags) {
  int32_t mode = 0;
  switch (flags & (FS_OPEN_READ | FS_OPEN_WRITE | FS_OPEN_CREATE_NEW)) {
    case FS_OPEN_READ: mode = STREAM_MODE_READ; break;
    case FS_OPEN_WRITE: mode = STREAM_MODE_WRITE; break;
    case FS_OPEN_WRITE | FS_OPEN_CREATE_NEW: mode = STREAM_MODE_CREATE_NEW; break;
    case FS_OPEN_READ | FS_OPEN_WRITE: mode = STREAM_MODE_READ_WRITE; break;
    default: return nullptr;
  }
  return file_stream_open(std::string(path).c_str(), mode);
}

static bool posix_rename(FileSystem*, std::string_view from, std::string_view to) {
  return rename(std::string(from).c_str(), std::string(to).c_str()) == 0;
}

// A file is flushed through a descriptor of its own: fsync reaches every
// written page of the file, whichever descriptor wrote it. Opening read-only
// works for folders too, whose entries a rename has changed.
static bool posix_flush(FileSystem*, std::string_view path) {
  int fd = open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool flushed = fsync(fd) == 0;
  return close(fd) == 0 && flushed;
}

static const FileSystemOps kPosixFileSystemOps = {
    .release = posix_release,
    .stat = posix_stat,
    .list = posix_list,
    .make_dir = posix_make_dir,
    .remove = posix_remove,
    .open = posix_open,
    .rename = posix_rename,
    .flush = posix_flush,
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
