// The test filesystem: forwards to a real one or keeps its files in memory, records every call,
// and fails chosen operations on chosen paths, as a root-run test cannot make the disk do.
#ifndef TRACEWRIGHT_TESTS_SUPPORT_FAILING_FILESYSTEM_H_
#define TRACEWRIGHT_TESTS_SUPPORT_FAILING_FILESYSTEM_H_

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/filesystem.h"
#include "support/memory_stream.h"

/// Paths are relative to the root, as callers pass them to fs_*.
struct FailingFileSystem : FileSystem {
  FileSystem* inner;  ///< not owned; null: only `files` exist, list and make_dir fail
  bool fold_case;     ///< names are taken in lower case, as FAT takes them
  std::set<std::string> fail_stat, fail_open, fail_remove, fail_make_dir, fail_flush;
  std::set<std::string> fail_rename;  ///< by the target
  /// Added to every listing as they stand, as an implementation reporting
  /// names prefixed with the root would.
  std::vector<std::string> listed_extra;
  /// Opened as memory streams over their records instead of on `inner`;
  /// without inner, opening any other path adds it. Stat (their inode is the
  /// record's address), remove and rename act on them; a flush of any path
  /// succeeds without inner.
  std::map<std::string, StreamRecord> files;
  std::vector<std::string> calls;  ///< "<slot> <path>", in order (list not recorded)
};

/// Wraps `inner` (same root), or stands alone under the root "mem" when it is
/// null; delete the returned object, not filesystem_destroy.
std::unique_ptr<FailingFileSystem> failing_filesystem_create(FileSystem* inner = nullptr);

#endif  // TRACEWRIGHT_TESTS_SUPPORT_FAILING_FILESYSTEM_H_
