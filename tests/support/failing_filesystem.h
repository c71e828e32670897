// The test filesystem: forwards to a real one, records every call, and fails
// chosen operations on chosen paths, for the failures a root-run test cannot
// cause on the disk.
#ifndef TRACEWRIGHT_TESTS_SUPPORT_FAILING_FILESYSTEM_H_
#define TRACEWRIGHT_TESTS_SUPPORT_FAILING_FILESYSTEM_H_

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/filesystem.h"

/// Paths are relative to the root, as callers pass them to fs_* (the root
/// and the one "/" that joins it are dropped).
struct FailingFileSystem : FileSystem {
  FileSystem* inner;  ///< not owned
  std::set<std::string> fail_stat;
  std::set<std::string> fail_open;
  std::set<std::string> fail_remove;
  std::set<std::string> fail_make_dir;
  std::set<std::string> fail_rename;  ///< by the target
  std::set<std::string> fail_flush;
  /// Added to every listing as they stand, as an implementation that
  /// reports names prefixed with the root would.
  std::vector<std::string> listed_extra;
  std::vector<std::string> calls;  ///< "<slot> <path>", in order
};

/// Wraps `inner` (same root). Destroy by deleting the returned object, not
/// with filesystem_destroy.
std::unique_ptr<FailingFileSystem> failing_filesystem_create(FileSystem* inner);

#endif  // TRACEWRIGHT_TESTS_SUPPORT_FAILING_FILESYSTEM_H_
