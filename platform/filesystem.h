// The filesystem service: the one way the converter stats, lists, creates,
// opens and removes files. A FileSystem is rooted at a folder; every public
// operation takes a path relative to that root, joins the two and hands the
// full path to one slot of the object's operation table.
#ifndef TRACEWRIGHT_PLATFORM_FILESYSTEM_H_
#define TRACEWRIGHT_PLATFORM_FILESYSTEM_H_

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

struct Stream;

enum FileType : uint32_t {
  FILE_TYPE_OTHER = 0,    ///< exists, but is neither a regular file nor a folder
  FILE_TYPE_FILE = 1,     ///< regular file
  FILE_TYPE_FOLDER = 2,   ///< folder
  FILE_TYPE_MISSING = 3,  ///< the path does not exist
};

/// The result of a stat. Callers zero it first; a failed stat leaves it as it was.
struct FileInfo {
  FileType type;
  int64_t size;      ///< the file's size for FILE_TYPE_FILE, else 0
  uint64_t device;   ///< identity of what the path leads to (links followed),
  uint64_t inode;    ///< so a walk can tell a folder it is already inside
  int64_t modified;  ///< last modification, in nanoseconds since 1970 (0 when missing)
};

/// One folder's entries by bare name, ordered by unsigned byte comparison
/// (".hidden" < "B.txt" < "a" < "a.txt" < "ab").
using DirectoryListing = std::map<std::string, FileInfo>;

/// Bits of the open flags. Callers also set FS_OPEN_IGNORED_BIT, which no
/// operation reads: the pipeline opens with 5 and the writer with 6.
/// FS_OPEN_CREATE_NEW, with FS_OPEN_WRITE alone, creates the file and fails
/// when the path exists, so that nothing already there is ever emptied.
constexpr int32_t FS_OPEN_READ = 1;
constexpr int32_t FS_OPEN_WRITE = 2;
constexpr int32_t FS_OPEN_IGNORED_BIT = 4;
constexpr int32_t FS_OPEN_CREATE_NEW = 8;

struct FileSystem;

/// Operations on full paths (bytes with a length, not terminated). A null
/// `remove`, `open`, `rename` or `flush` makes the public wrapper fail
/// (false, null).
struct FileSystemOps {
  /// Runs just before the object is freed.
  void (*release)(FileSystem* fs);
  /// True with the type (FILE_TYPE_MISSING when the path does not exist);
  /// false for any other failure, leaving `out` untouched.
  bool (*stat)(FileSystem* fs, std::string_view path, FileInfo* out);
  /// Adds the regular files and folders of one folder, and the entries whose
  /// status cannot be taken (as FILE_TYPE_OTHER, so that the caller's own
  /// stat reports them); names already present keep their entry. False when
  /// the folder could not be read whole (it cannot be opened, reading it
  /// fails, an entry cannot be stored); the entries read before stay.
  bool (*list)(FileSystem* fs, std::string_view path, DirectoryListing* out);
  /// Creates one folder (0700 before the umask); false when it exists or fails.
  bool (*make_dir)(FileSystem* fs, std::string_view path);
  /// Removes a file or an empty folder.
  bool (*remove)(FileSystem* fs, std::string_view path);
  /// Opens a stream; only FS_OPEN_READ, FS_OPEN_WRITE and FS_OPEN_CREATE_NEW
  /// count. Null on failure.
  Stream* (*open)(FileSystem* fs, std::string_view path, int32_t flags);
  /// Renames `from` onto `to` in one step: a file at `to` is replaced, and a
  /// reader of `to` sees either the old file or the new one. False on
  /// failure, with both paths as they were.
  bool (*rename)(FileSystem* fs, std::string_view from, std::string_view to);
  /// Forces what was written to a closed file, or the entries of a folder,
  /// onto the disk, so that they survive a power cut. False on failure.
  bool (*flush)(FileSystem* fs, std::string_view path);
};

/// The defaults of the base: release does nothing, stat answers false, list
/// adds nothing and answers false, make_dir answers false; remove, open,
/// rename and flush are absent.
extern const FileSystemOps kFileSystemBaseOps;

struct FileSystem {
  const FileSystemOps* ops;
  std::string root;  ///< as passed at creation, byte for byte; never empty
};

/// A POSIX filesystem rooted at `root`, or null when root is empty, missing,
/// not a folder or cannot be examined. Owned by the caller.
[[nodiscard]] FileSystem* filesystem_create(std::string_view root);
/// Runs `release` and frees the object; null does nothing.
void filesystem_destroy(FileSystem* fs);

/// False for a null fs or a failed stat (not the missing case).
bool fs_stat(FileSystem* fs, std::string_view rel, FileInfo* info);
/// Adds the entries of folder `rel` and logs "ls: <rel>" at LOG_INFO, also
/// when fs is null or the folder cannot be read. False when the folder could
/// not be read whole (null fs, absent slot, the slot's failure).
bool fs_list(FileSystem* fs, std::string_view rel, DirectoryListing* listing);
/// Ensures one folder: true when it exists or was created (also by someone
/// else at the same time); false for a file, another type, a failed stat or
/// a failed creation.
bool fs_make_dir(FileSystem* fs, std::string_view rel);
/// Ensures every folder along rel, outermost first, skipping empty
/// components; stops at the first failure. True at once for "" or "/".
bool fs_make_dirs(FileSystem* fs, std::string_view rel);
/// False for a null fs, an absent slot or a failed removal.
bool fs_remove(FileSystem* fs, std::string_view rel);
/// A stream owned by the caller, or null (null fs, absent slot, failure).
[[nodiscard]] Stream* fs_open(FileSystem* fs, std::string_view rel, int32_t flags);
/// Renames `from_rel` onto `to_rel`, replacing a file there. False for a null
/// fs, an absent slot or a failed rename (both paths unchanged then).
[[nodiscard]] bool fs_rename(FileSystem* fs, std::string_view from_rel, std::string_view to_rel);
/// Flushes the closed file or the folder `rel` to the disk ("" is the root).
/// False for a null fs, an absent slot or a failed flush.
[[nodiscard]] bool fs_flush(FileSystem* fs, std::string_view rel);
/// Appends root, then "/" when rel is not empty, then rel; a rel of exactly
/// ".." appends nothing at all, and so does a null fs or out.
void fs_absolute_path(FileSystem* fs, std::string_view rel, std::string* out);

struct FileSystemDestroyer {
  void operator()(FileSystem* fs) const { filesystem_destroy(fs); }
};
using FileSystemPtr = std::unique_ptr<FileSystem, FileSystemDestroyer>;

#endif  // TRACEWRIGHT_PLATFORM_FILESYSTEM_H_
