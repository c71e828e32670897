// A fresh folder under $TMPDIR (or /tmp) for one test, removed with all its
// contents when the object goes out of scope.
#ifndef TRACEWRIGHT_TESTS_SUPPORT_SCOPED_TEMP_DIR_H_
#define TRACEWRIGHT_TESTS_SUPPORT_SCOPED_TEMP_DIR_H_

#include <string>
#include <string_view>

class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  /// The folder's absolute path, without a trailing "/"; empty when it could
  /// not be created.
  const std::string& path() const { return path_; }
  /// path() + "/" + rel.
  std::string file(std::string_view rel) const;
  /// Writes `contents` to file(rel), replacing it; false on failure.
  bool write_file(std::string_view rel, std::string_view contents) const;
  /// The contents of file(rel), or "<missing>" when it cannot be read.
  std::string read_file(std::string_view rel) const;

 private:
  std::string path_;
};

#endif  // TRACEWRIGHT_TESTS_SUPPORT_SCOPED_TEMP_DIR_H_
