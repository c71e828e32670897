// A temporary folder per test, removed with everything in it afterwards.
#ifndef TRACEWRIGHT_TESTS_SUPPORT_TEMP_DIR_H_
#define TRACEWRIGHT_TESTS_SUPPORT_TEMP_DIR_H_

#include <string>

class TempDir {
 public:
  TempDir();
  ~TempDir();

  const std::string& path() const { return path_; }
  std::string file(const std::string& rel) const { return path_ + "/" + rel; }
  /// Writes `contents` to rel, creating its folders.
  void write(const std::string& rel, const std::string& contents) const;
  /// The bytes of rel, or "<missing>".
  std::string read(const std::string& rel) const;
  bool exists(const std::string& rel) const;
  /// Creates one folder at rel.
  void make_dir(const std::string& rel) const;

 private:
  std::string path_;
};

#endif  // TRACEWRIGHT_TESTS_SUPPORT_TEMP_DIR_H_
