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
    ASSERT_FALSE(dir_.path().empty());
    fs_.reset(filesystem_create(dir_.path()));
    ASSERT_NE(fs_, nullptr);
  }
  bool exists(const std::string& rel) const { return dir_.exists(rel); }
  bool is_folder(const std::string& rel) const {
    struct stat st;
    return stat(dir_.file(rel).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  TempDir dir_;
  FileSystemPtr fs_;
};
}  // namespace

static std::vector<std::string> names_of(const DirectoryListing& listing) {
  std::vector<std::string> names;
  for (const auto& entry : listing) names.push_back(entry.first);
  return names;
}

TEST_F(PosixFileSystemTest, StatOfMissingPathIsMissingNotFailure) {
  FileInfo info{FILE_TYPE_FILE, 9, 9, 9};
  EXPECT_TRUE(fs_stat(fs_.get(), "nothing-here", &info));
  EXPECT_EQ(info.type, FILE_TYPE_MISSING);
  EXPECT_EQ(info.size, 0);
}

TEST_F(PosixFileSystemTest, StatBelowAFileFailsAndLeavesInfo) {
  dir_.write("x.txt", "abc");
  FileInfo info{FILE_TYPE_OTHER, 5, 0, 0};
  EXPECT_FALSE(fs_stat(fs_.get(), "x.txt/y", &info));
  EXPECT_EQ(info.type, FILE_TYPE_OTHER);
  EXPECT_EQ(info.size, 5);
}

TEST_F(PosixFileSystemTest, StatReportsTypeAndSize) {
  dir_.write("f.txt", "0123456789");
  ASSERT_EQ(mkdir(dir_.file("sub").c_str(), 0755), 0);
  FileInfo file{};
  ASSERT_TRUE(fs_stat(fs_.get(), "f.txt", &file));
  EXPECT_EQ(file.type, FILE_TYPE_FILE);
  EXPECT_EQ(file.size, 10);
  FileInfo folder{};
  ASSERT_TRUE(fs_stat(fs_.get(), "sub", &folder));
  EXPECT_EQ(folder.type, FILE_TYPE_FOLDER);
  EXPECT_EQ(folder.size, 0);
  FileInfo root{};
  ASSERT_TRUE(fs_stat(fs_.get(), "", &root));  // the root itself
  EXPECT_EQ(root.type, FILE_TYPE_FOLDER);
  EXPECT_NE(root.inode, folder.inode);
}

TEST_F(PosixFileSystemTest, StatFollowsLinksAndReportsFifoAsOther) {
  dir_.write("target", "1234567");
  ASSERT_EQ(symlink("target", dir_.file("link").c_str()), 0);
  ASSERT_EQ(symlink("gone", dir_.file("dangling").c_str()), 0);
  ASSERT_EQ(mkfifo(dir_.file("fifo").c_str(), 0600), 0);

  FileInfo link{}, target{};
  ASSERT_TRUE(fs_stat(fs_.get(), "link", &link));
  ASSERT_TRUE(fs_stat(fs_.get(), "target", &target));
  EXPECT_EQ(link.type, FILE_TYPE_FILE);
  EXPECT_EQ(link.size, 7);
  // The link leads to the very same file.
  EXPECT_EQ(link.device, target.device);
  EXPECT_EQ(link.inode, target.inode);

  FileInfo dangling{};
  ASSERT_TRUE(fs_stat(fs_.get(), "dangling", &dangling));
  EXPECT_EQ(dangling.type, FILE_TYPE_MISSING);

  FileInfo fifo{FILE_TYPE_FILE, 3, 0, 0};
  ASSERT_TRUE(fs_stat(fs_.get(), "fifo", &fifo));
  EXPECT_EQ(fifo.type, FILE_TYPE_OTHER);
  EXPECT_EQ(fifo.size, 0);
}

TEST_F(PosixFileSystemTest, ListingIsByteOrderedAndHoldsOnlyFilesAndFolders) {
  ASSERT_EQ(mkdir(dir_.file("d").c_str(), 0755), 0);
  for (const char* name : {"b.txt", "a.txt", "B.txt", ".hidden"}) {
    dir_.write(std::string("d/") + name, "12");
  }
  ASSERT_EQ(mkdir(dir_.file("d/sub").c_str(), 0755), 0);
  ASSERT_EQ(mkfifo(dir_.file("d/fifo").c_str(), 0600), 0);
  ASSERT_EQ(symlink("nowhere", dir_.file("d/dangling").c_str()), 0);

  LogCapture capture;
  DirectoryListing listing;
  fs_list(fs_.get(), "d", &listing);
  EXPECT_EQ(names_of(listing),
            (std::vector<std::string>{".hidden", "B.txt", "a.txt", "b.txt", "sub"}));
  EXPECT_EQ(listing["a.txt"].type, FILE_TYPE_FILE);
  EXPECT_EQ(listing["a.txt"].size, 2);
  EXPECT_EQ(listing["sub"].type, FILE_TYPE_FOLDER);
  EXPECT_EQ(capture.messages(), (std::vector<std::string>{"ls: d"}));
}

TEST_F(PosixFileSystemTest, ListingFollowsLinksToFilesAndFolders) {
  ASSERT_EQ(mkdir(dir_.file("d").c_str(), 0755), 0);
  dir_.write("d/real", "abc");
  ASSERT_EQ(symlink("real", dir_.file("d/alias").c_str()), 0);
  ASSERT_EQ(symlink("..", dir_.file("d/up").c_str()), 0);
  LogCapture capture;
  DirectoryListing listing;
  fs_list(fs_.get(), "d", &listing);
  EXPECT_EQ(names_of(listing), (std::vector<std::string>{"alias", "real", "up"}));
  EXPECT_EQ(listing["alias"].size, 3);
  EXPECT_EQ(listing["up"].type, FILE_TYPE_FOLDER);
}

TEST_F(PosixFileSystemTest, ListingOfMissingFolderIsEmptyButLogged) {
  LogCapture capture;
  DirectoryListing listing;
  fs_list(fs_.get(), "no/such", &listing);
  EXPECT_TRUE(listing.empty());
  EXPECT_EQ(capture.messages(), (std::vector<std::string>{"ls: no/such"}));
}

TEST_F(PosixFileSystemTest, ListingOnlyAddsToWhatIsThere) {
  ASSERT_EQ(mkdir(dir_.file("d").c_str(), 0755), 0);
  dir_.write("d/a.txt", "abc");
  dir_.write("d/c.txt", "abc");
  LogCapture capture;
  DirectoryListing listing;
  listing.emplace("a.txt", FileInfo{FILE_TYPE_OTHER, 0, 0, 0});
  listing.emplace("b.txt", FileInfo{FILE_TYPE_FILE, 1, 0, 0});
  fs_list(fs_.get(), "d", &listing);
  EXPECT_EQ(names_of(listing), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
  EXPECT_EQ(listing["a.txt"].type, FILE_TYPE_OTHER);
}

TEST_F(PosixFileSystemTest, MakeDirOnExistingPaths) {
  ASSERT_EQ(mkdir(dir_.file("sub").c_str(), 0755), 0);
  dir_.write("file", "x");
  EXPECT_TRUE(fs_make_dir(fs_.get(), "sub"));
  EXPECT_FALSE(fs_make_dir(fs_.get(), "file"));
  EXPECT_EQ(dir_.read("file"), "x");
  EXPECT_TRUE(fs_make_dir(fs_.get(), "new"));
  EXPECT_TRUE(is_folder("new"));
  EXPECT_FALSE(fs_make_dir(fs_.get(), "a/b"));  // parent missing: one level only
  EXPECT_FALSE(exists("a"));
}

TEST_F(PosixFileSystemTest, MakeDirsCreatesEveryLevel) {
  EXPECT_TRUE(fs_make_dirs(fs_.get(), "a//b/"));
  EXPECT_TRUE(is_folder("a"));
  EXPECT_TRUE(is_folder("a/b"));
  EXPECT_TRUE(fs_make_dirs(fs_.get(), "a/b/c/d"));
  EXPECT_TRUE(is_folder("a/b/c/d"));
  EXPECT_TRUE(fs_make_dirs(fs_.get(), ""));
  EXPECT_TRUE(fs_make_dirs(fs_.get(), "/"));
}

TEST_F(PosixFileSystemTest, MakeDirsStopsAtAFile) {
  dir_.write("a", "file");
  EXPECT_FALSE(fs_make_dirs(fs_.get(), "a/b"));
  EXPECT_EQ(dir_.read("a"), "file");
  // Deeper down: the levels before the file are ensured, none after it.
  ASSERT_EQ(mkdir(dir_.file("x").c_str(), 0755), 0);
  dir_.write("x/f", "file");
  EXPECT_FALSE(fs_make_dirs(fs_.get(), "x/f/g/h"));
  EXPECT_EQ(dir_.read("x/f"), "file");
}

TEST_F(PosixFileSystemTest, NewFoldersGetOwnerOnlyBitsBeforeTheUmask) {
  mode_t saved = umask(0);
  bool made = fs_make_dir(fs_.get(), "private");
  umask(saved);
  ASSERT_TRUE(made);
  struct stat st;
  ASSERT_EQ(stat(dir_.file("private").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
}

TEST_F(PosixFileSystemTest, OpenWithoutReadOrWriteBitGivesNullAndCreatesNothing) {
  EXPECT_EQ(fs_open(fs_.get(), "new.asc", 0), nullptr);
  EXPECT_EQ(fs_open(fs_.get(), "new.asc", FS_OPEN_CALLER_BIT), nullptr);
  EXPECT_FALSE(exists("new.asc"));
}

TEST_F(PosixFileSystemTest, OpenForWritingCreatesOrTruncates) {
  StreamPtr created(fs_open(fs_.get(), "out.asc", FS_OPEN_WRITE | FS_OPEN_CALLER_BIT));
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(stream_write(created.get(), "first text", 10), 10);
  EXPECT_EQ(stream_close(created.release()), 0);
  EXPECT_EQ(dir_.read("out.asc"), "first text");

  StreamPtr truncated(fs_open(fs_.get(), "out.asc", 6));
  ASSERT_NE(truncated, nullptr);
  EXPECT_EQ(stream_write(truncated.get(), "2nd", 3), 3);
  EXPECT_EQ(stream_close(truncated.release()), 0);
  EXPECT_EQ(dir_.read("out.asc"), "2nd");
}

TEST_F(PosixFileSystemTest, OpenForReadingReadsAndNeverCreates) {
  dir_.write("in.txt", "data");
  StreamPtr stream(fs_open(fs_.get(), "in.txt", FS_OPEN_READ | FS_OPEN_CALLER_BIT));
  ASSERT_NE(stream, nullptr);
  char bytes[8];
  EXPECT_EQ(stream_read(stream.get(), bytes, 8), 4);
  EXPECT_EQ(std::string(bytes, 4), "data");
  EXPECT_EQ(stream_write(stream.get(), "x", 1), STREAM_NOT_SUPPORTED);
  EXPECT_EQ(fs_open(fs_.get(), "absent.txt", 5), nullptr);
  EXPECT_FALSE(exists("absent.txt"));
}

TEST_F(PosixFileSystemTest, OpenWithBothBitsUpdatesAnExistingFile) {
  dir_.write("f", "abcdef");
  StreamPtr stream(fs_open(fs_.get(), "f", FS_OPEN_READ | FS_OPEN_WRITE));
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream_write(stream.get(), "XY", 2), 2);
  EXPECT_EQ(stream_close(stream.release()), 0);
  EXPECT_EQ(dir_.read("f"), "XYcdef");
  EXPECT_EQ(fs_open(fs_.get(), "g", FS_OPEN_READ | FS_OPEN_WRITE), nullptr);
  EXPECT_FALSE(exists("g"));
}

TEST_F(PosixFileSystemTest, RemoveDeletesFilesAndEmptyFoldersOnly) {
  dir_.write("f", "x");
  ASSERT_EQ(mkdir(dir_.file("full").c_str(), 0755), 0);
  dir_.write("full/inner", "x");
  ASSERT_EQ(mkdir(dir_.file("empty").c_str(), 0755), 0);
  EXPECT_FALSE(fs_remove(fs_.get(), "missing"));
  EXPECT_TRUE(fs_remove(fs_.get(), "f"));
  EXPECT_FALSE(exists("f"));
  EXPECT_FALSE(fs_remove(fs_.get(), "full"));
  EXPECT_TRUE(exists("full/inner"));
  EXPECT_TRUE(fs_remove(fs_.get(), "empty"));
  EXPECT_FALSE(exists("empty"));
}

TEST(FilesystemCreate, OnlyAnExistingFolderMakesAFileSystem) {
  TempDir dir;
  dir.write("file", "x");
  EXPECT_EQ(filesystem_create(dir.file("file")), nullptr);
  EXPECT_EQ(filesystem_create(dir.file("missing")), nullptr);
  EXPECT_EQ(filesystem_create(""), nullptr);
  EXPECT_EQ(filesystem_create(dir.file("file/below")), nullptr);
  ASSERT_EQ(symlink(".", dir.file("self").c_str()), 0);
  FileSystemPtr via_link(filesystem_create(dir.file("self")));
  EXPECT_NE(via_link, nullptr);
}

TEST(FilesystemCreate, KeepsTheRootByteForByte) {
  TempDir dir;
  std::string root = dir.path() + "/";
  FileSystemPtr fs(filesystem_create(root));
  ASSERT_NE(fs, nullptr);
  EXPECT_EQ(fs->root, root);
  // The trailing "/" stays, so joined paths hold "//", which still works.
  dir.write("f", "abc");
  FileInfo info{};
  ASSERT_TRUE(fs_stat(fs.get(), "f", &info));
  EXPECT_EQ(info.type, FILE_TYPE_FILE);
  EXPECT_EQ(info.size, 3);
}
