// PosixFileSystem on the real disk, one temporary folder per test: stat
// types through links and FIFOs, listing order and filtering, folder
// creation and its permission bits, the open flags and removal.
#include "platform/filesystem.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/stream.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {
class PosixFileSystemTest : public testing::Test {
 protected:
  void SetUp() override {
    fs_.reset(filesystem_create(dir_.path()));
    ASSERT_NE(fs_, nullptr);
  }

  TempDir dir_;
  FileSystemPtr fs_;
};
}  // namespace

TEST_F(PosixFileSystemTest, StatReportsTypesThroughLinksAndFifos) {
  dir_.write("x.txt", "0123456789");
  ASSERT_EQ(symlink("x.txt", dir_.file("link").c_str()), 0);
  ASSERT_EQ(symlink("gone", dir_.file("dangling").c_str()), 0);
  ASSERT_EQ(mkfifo(dir_.file("fifo").c_str(), 0600), 0);
  const struct {
    const char* rel;
    bool result;
    FileType type;
    int64_t size;
  } rows[] = {
      {"x.txt", true, FILE_TYPE_FILE, 10},
      {"", true, FILE_TYPE_FOLDER, 0},  // the root itself
      {"link", true, FILE_TYPE_FILE, 10},
      {"dangling", true, FILE_TYPE_MISSING, 0},
      {"nothing-here", true, FILE_TYPE_MISSING, 0},
      {"fifo", true, FILE_TYPE_OTHER, 0},
      // Not the does-not-exist case: a failure, and the info stays as it was.
      {"x.txt/y", false, FILE_TYPE_OTHER, 99},
  };
  for (const auto& row : rows) {
    FileInfo info{FILE_TYPE_OTHER, 99, 0, 0};
    EXPECT_EQ(fs_stat(fs_.get(), row.rel, &info), row.result) << row.rel;
    EXPECT_EQ(info.type, row.type) << row.rel;
    EXPECT_EQ(info.size, row.size) << row.rel;
  }
  // The walk tells folders apart by device and inode; a link shares its target's.
  FileInfo link{}, target{};
  ASSERT_TRUE(fs_stat(fs_.get(), "link", &link) && fs_stat(fs_.get(), "x.txt", &target));
  EXPECT_EQ(std::make_pair(link.device, link.inode), std::make_pair(target.device, target.inode));
  EXPECT_NE(target.inode, 0u);
}

TEST_F(PosixFileSystemTest, ListingIsByteOrderedFollowsLinksAndHoldsOnlyFilesAndFolders) {
  for (std::string name : {"b.txt", "a.txt", "B.txt", ".hidden"}) dir_.write("d/" + name, "12");
  dir_.make_dir("d/sub");
  ASSERT_EQ(mkfifo(dir_.file("d/fifo").c_str(), 0600), 0);
  ASSERT_EQ(symlink("nowhere", dir_.file("d/dangling").c_str()), 0);
  ASSERT_EQ(symlink("a.txt", dir_.file("d/alias").c_str()), 0);
  ASSERT_EQ(symlink("..", dir_.file("d/up").c_str()), 0);
  // Its status cannot be taken, so it is listed for the walk to report.
  ASSERT_EQ(symlink("loop", dir_.file("d/loop").c_str()), 0);

  LogCapture capture;
  DirectoryListing listing;
  EXPECT_TRUE(fs_list(fs_.get(), "d", &listing));
  std::vector<std::string> names;
  for (const auto& entry : listing) names.push_back(entry.first);
  EXPECT_EQ(names, (std::vector<std::string>{".hidden", "B.txt", "a.txt", "alias", "b.txt",
                                             "loop", "sub", "up"}));
  EXPECT_EQ(listing["alias"].type, FILE_TYPE_FILE);
  EXPECT_EQ(listing["alias"].size, 2);
  EXPECT_EQ(listing["sub"].type, FILE_TYPE_FOLDER);
  EXPECT_EQ(listing["up"].type, FILE_TYPE_FOLDER);

  listing.clear();
  EXPECT_FALSE(fs_list(fs_.get(), "no/such", &listing));
  EXPECT_TRUE(listing.empty());
  EXPECT_EQ(capture.messages(), (std::vector<std::string>{"ls: d", "ls: no/such"}));
  EXPECT_EQ(capture.lines()[0].level, 'I');
}

TEST_F(PosixFileSystemTest, RenameReplacesAFileAndFlushNeedsAnExistingPath) {
  dir_.write("new", "1");
  dir_.write("old", "2");
  EXPECT_TRUE(fs_rename(fs_.get(), "new", "old"));
  EXPECT_EQ(dir_.read("old"), "1");
  EXPECT_FALSE(dir_.exists("new"));
  EXPECT_FALSE(fs_rename(fs_.get(), "new", "old"));
  EXPECT_TRUE(fs_flush(fs_.get(), "old"));
  EXPECT_TRUE(fs_flush(fs_.get(), ""));
  EXPECT_FALSE(fs_flush(fs_.get(), "new"));
}

TEST_F(PosixFileSystemTest, MakeDirAndMakeDirsCreateOwnerOnlyFoldersButNeverReplaceAFile) {
  dir_.make_dir("sub");
  dir_.write("file", "x");
  dir_.write("x/f", "x");
  EXPECT_TRUE(fs_make_dir(fs_.get(), "sub"));
  EXPECT_FALSE(fs_make_dir(fs_.get(), "file"));
  EXPECT_FALSE(fs_make_dir(fs_.get(), "a/b"));  // one level only
  EXPECT_FALSE(dir_.exists("a"));
  // New folders get the bits 0700 before the umask.
  const mode_t saved = umask(0);
  EXPECT_TRUE(fs_make_dir(fs_.get(), "new"));
  umask(saved);
  struct stat st;
  ASSERT_EQ(stat(dir_.file("new").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0700u);

  EXPECT_TRUE(fs_make_dirs(fs_.get(), "a//b/"));
  EXPECT_TRUE(fs_make_dirs(fs_.get(), "a/b/c/d"));
  EXPECT_TRUE(dir_.exists("a/b/c/d"));
  EXPECT_FALSE(fs_make_dirs(fs_.get(), "file/b"));
  EXPECT_FALSE(fs_make_dirs(fs_.get(), "x/f/g/h"));
  EXPECT_EQ(dir_.read("file"), "x");
  EXPECT_EQ(dir_.read("x/f"), "x");
}

TEST_F(PosixFileSystemTest, OpenFlagsDecideCreationTruncationAndAccess) {
  // Without the write bit, or with the read bit too, no file is created.
  for (int32_t flags : {0, FS_OPEN_CALLER_BIT, FS_OPEN_READ | FS_OPEN_CALLER_BIT,
                        FS_OPEN_READ | FS_OPEN_WRITE}) {
    EXPECT_EQ(fs_open(fs_.get(), "new.asc", flags), nullptr) << flags;
  }
  EXPECT_FALSE(dir_.exists("new.asc"));

  dir_.write("old.asc", "first text");
  dir_.write("kept.asc", "first text");
  const struct {
    const char* rel;
    int32_t flags;
    const char* after;
  } rows[] = {
      {"new.asc", FS_OPEN_WRITE | FS_OPEN_CALLER_BIT, "XY"},  // created
      {"old.asc", FS_OPEN_WRITE | FS_OPEN_CALLER_BIT, "XY"},  // truncated
      {"kept.asc", FS_OPEN_READ | FS_OPEN_WRITE, "XYrst text"},
  };
  for (const auto& row : rows) {
    StreamPtr stream(fs_open(fs_.get(), row.rel, row.flags));
    ASSERT_NE(stream, nullptr) << row.rel;
    EXPECT_EQ(stream_write(stream.get(), "XY", 2), 2);
    EXPECT_EQ(stream_close(stream.release()), 0);
    EXPECT_EQ(dir_.read(row.rel), row.after);
  }

  StreamPtr reader(fs_open(fs_.get(), "kept.asc", FS_OPEN_READ | FS_OPEN_CALLER_BIT));
  ASSERT_NE(reader, nullptr);
  char bytes[16];
  EXPECT_EQ(stream_read(reader.get(), bytes, sizeof bytes), 10);
  EXPECT_EQ(stream_write(reader.get(), "x", 1), STREAM_NOT_SUPPORTED);
}

TEST_F(PosixFileSystemTest, RemoveDeletesFilesAndEmptyFoldersOnly) {
  dir_.write("f", "x");
  dir_.write("full/inner", "x");
  dir_.make_dir("empty");
  EXPECT_FALSE(fs_remove(fs_.get(), "missing"));
  EXPECT_TRUE(fs_remove(fs_.get(), "f"));
  EXPECT_FALSE(fs_remove(fs_.get(), "full"));
  EXPECT_TRUE(fs_remove(fs_.get(), "empty"));
  EXPECT_FALSE(dir_.exists("f"));
  EXPECT_TRUE(dir_.exists("full/inner"));
  EXPECT_FALSE(dir_.exists("empty"));
}

TEST(FilesystemCreate, OnlyAnExistingFolderMakesAFileSystemAndItsRootIsKept) {
  TempDir dir;
  dir.write("f", "abc");
  for (const std::string& path : {dir.file("f"), dir.file("missing"), std::string()}) {
    EXPECT_EQ(filesystem_create(path), nullptr) << path;
  }

  FileSystemPtr fs(filesystem_create(dir.path() + "/"));
  ASSERT_NE(fs, nullptr);
  EXPECT_EQ(fs->root, dir.path() + "/");  // as given: the joined paths hold "//"
}
