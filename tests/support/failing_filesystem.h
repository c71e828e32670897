// A FileSystem that forwards to a real one but fails chosen operations on
// chosen paths, for the failures a root-run test cannot cause on the disk.
#ifndef TRACEWRIGHT_TESTS_SUPPORT_FAILING_FILESYSTEM_H_
#define TRACEWRIGHT_TESTS_SUPPORT_FAILING_FILESYSTEM_H_

#include <memory>
#include <set>
#include <string>

#include "platform/filesystem.h"

/// Paths are relative to the root, as callers pass them to fs_*.
struct FailingFileSystem : FileSystem {
  FileSystem* inner;  ///< not owned
  std::set<std::string> fail_stat;
  std::set<std::string> fail_open;
  std::set<std::string> fail_remove;
};

/// Wraps `inner` (same root). Destroy by deleting the returned object, not
/// with filesystem_destroy.
std::unique_ptr<FailingFileSystem> failing_filesystem_create(FileSystem* inner);

#endif  // TRACEWRIGHT_TESTS_SUPPORT_FAILING_FILESYSTEM_H_
