// The FileSystem wrappers and PosixFileSystem where the whole-tool runs do not go: failing
// slots, odd file types, names reported with the root in front, calls without a filesystem.
#include "platform/filesystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/stream.h"
#include "support/failing_filesystem.h"
#include "support/temp_dir.h"

using Names = std::vector<std::string>;

TEST(FileSystem, MakeDirsStatListOpenRenameAndFlushOnTheDiskAndNothingWithoutOne) {
  TempDir dir;
  dir.write("d/a.txt", "12");
  dir.write("d/sub/x", "");
  ASSERT_TRUE(symlink("a.txt", dir.file("d/alias").c_str()) == 0 &&
              symlink("nowhere", dir.file("d/dangling").c_str()) == 0 &&
              mkfifo(dir.file("d/fifo").c_str(), 0600) == 0);
  FileSystemPtr fs(filesystem_create(dir.path()));
  // In order on one disk. Each prefix starts with "/": the joined paths hold "//".
  const mode_t saved = umask(0);
  // clang-format off
  for (auto [rel, result, calls] : {
           std::tuple{"d/fifo", false, Names{"stat /d", "stat /d/fifo"}}, {"///", true, {}},
           {"new//b/", true, {"stat /new", "make_dir /new", "stat /new/b", "make_dir /new/b"}},
           {"new/b/c", true, {"stat /new", "stat /new/b", "stat /new/b/c", "make_dir /new/b/c"}},
           {"unstattable", false, {"stat /unstattable"}},
           // A refused make_dir looks again: another may have made the folder meanwhile.
           {"refused/a", false, {"stat /refused", "make_dir /refused", "stat /refused"}}}) {
    // clang-format on
    auto failing = failing_filesystem_create(fs.get());
    failing->fail_stat = {"/unstattable"};
    failing->fail_make_dir = {"/refused"};
    EXPECT_EQ(fs_make_dirs(failing.get(), rel), result) << rel;
    EXPECT_EQ(failing->calls, calls) << rel;
  }
  umask(saved);
  struct stat st;  // new folders get the bits 0700 before the umask
  EXPECT_TRUE(stat(dir.file("new/b").c_str(), &st) == 0 && (st.st_mode & 07777) == 0700);
  // A stat sets every field it answers, whatever was there before.
  FileInfo info{FILE_TYPE_FILE, 99, 0, 0, 0};
  // clang-format off
  for (auto [rel, result, type, size] : {
           std::tuple{"d/alias", true, FILE_TYPE_FILE, 2}, {"d/sub", true, FILE_TYPE_FOLDER, 0},
           {"d/fifo", true, FILE_TYPE_OTHER, 0}, {"d/dangling", true, FILE_TYPE_MISSING, 0},
           {"d/a.txt/x", false, FILE_TYPE_FILE, 99}}) {
    // clang-format on
    FileInfo out = info;
    EXPECT_TRUE(fs_stat(fs.get(), rel, &out) == result && out.type == type && out.size == size)
        << rel;
  }
  // Names reported with the root in front lose it once; a shortened name already listed keeps its
  // entry. The whole-tool runs show what the disk's own listing holds.
  auto prefixed = failing_filesystem_create(fs.get());
  prefixed->listed_extra = {dir.path() + "/" + dir.path() + "/y", dir.path() + "/sub",
                            dir.path() + "x", "other"};
  DirectoryListing listing;
  EXPECT_TRUE(fs_list(prefixed.get(), "d", &listing));
  EXPECT_EQ(listing.count(dir.path() + "/y") + listing.count("x") + listing.count("other"), 3u);
  EXPECT_TRUE(listing.size() == 6 && listing["sub"].type == FILE_TYPE_FOLDER);
  EXPECT_FALSE(fs_list(fs.get(), "d/a.txt", &listing) || fs_list(nullptr, "n", &listing));
  FileSystem base{&kFileSystemBaseOps, "R"};
  for (FileSystem* none : {static_cast<FileSystem*>(nullptr), &base}) {
    EXPECT_FALSE(fs_stat(none, "d", &info) || fs_remove(none, "d/a.txt") ||
                 fs_rename(none, "d/a.txt", "b") || fs_flush(none, "d") ||
                 fs_open(none, "d/a.txt", FS_OPEN_READ) || fs_make_dirs(none, "a"));
  }
  EXPECT_EQ(filesystem_create(dir.file("d/a.txt")), nullptr);
  // Only the read and write bits count, and neither kind of reading creates a file.
  EXPECT_FALSE(StreamPtr(fs_open(fs.get(), "d/a.txt", FS_OPEN_IGNORED_BIT)) ||
               StreamPtr(fs_open(fs.get(), "new", FS_OPEN_READ | FS_OPEN_WRITE)));
  EXPECT_NE(StreamPtr(fs_open(fs.get(), "d/a.txt", FS_OPEN_READ | FS_OPEN_WRITE)), nullptr);
  // A creating open never empties a file that is there.
  EXPECT_FALSE(StreamPtr(fs_open(fs.get(), "d/a.txt", FS_OPEN_WRITE | FS_OPEN_CREATE_NEW)));
  EXPECT_TRUE(fs_stat(fs.get(), "d/a.txt", &info) && info.size == 2 &&
              stat(dir.file("d/a.txt").c_str(), &st) == 0 &&
              info.modified / 1000000000 == st.st_mtime);
  EXPECT_TRUE(fs_rename(fs.get(), "d/a.txt", "d/b") && !fs_rename(fs.get(), "d/a.txt", "d/c"));
  EXPECT_TRUE(fs_flush(fs.get(), "d/b") && fs_flush(fs.get(), "") && !fs_flush(fs.get(), "x"));
}
