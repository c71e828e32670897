#include "support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include <gtest/gtest.h>

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tracewright-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  path_ = made != nullptr ? made : "";
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  // Give back permissions a test may have taken away, so removal works.
  for (auto it = std::filesystem::recursive_directory_iterator(
           path_, std::filesystem::directory_options::skip_permission_denied, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
  }
  std::filesystem::remove_all(path_, ignored);
}

void TempDir::write(const std::string& rel, const std::string& contents) const {
  std::filesystem::path target = std::filesystem::path(path_) / rel;
  std::filesystem::create_directories(target.parent_path());
  std::ofstream out(target, std::ios::binary);
  out << contents;
}

std::string TempDir::read(const std::string& rel) const {
  std::ifstream in(std::filesystem::path(path_) / rel, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool TempDir::exists(const std::string& rel) const {
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::symlink_status(std::filesystem::path(path_) / rel, ignored));
}

void TempDir::touch(const std::string& rel) const {
  std::ofstream file(path_ + "/" + rel);
  EXPECT_TRUE(file.good()) << "could not create " << path_ << "/" << rel;
}

void TempDir::make_dir(const std::string& rel) const {
  EXPECT_EQ(mkdir((path_ + "/" + rel).c_str(), 0700), 0) << "could not create " << rel;
}
