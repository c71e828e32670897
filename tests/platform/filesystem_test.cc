// The FileSystem wrappers and PosixFileSystem on the real disk, seen through
// the failing filesystem where the exact slot calls matter.
#include "platform/filesystem.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/stream.h"
#include "support/failing_filesystem.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

#include <sys/stat.h>
#include <unistd.h>

using Names = std::vector<std::string>;

TEST(FileSystem, NullOrBaseFileSystemRefusesEveryOperationButListingIsLogged) {
  FileSystem base{&kFileSystemBaseOps, "R"};
  LogCapture capture;
  for (FileSystem* fs : {static_cast<FileSystem*>(nullptr), &base}) {
    FileInfo info{FILE_TYPE_OTHER, 7, 1, 2};
    DirectoryListing listing;
    EXPECT_FALSE(fs_stat(fs, "a", &info) || fs_make_dirs(fs, "a") || fs_remove(fs, "a") ||
                 fs_rename(fs, "a", "b") || fs_flush(fs, "a") || fs_list(fs, "d", &listing));
    EXPECT_EQ(fs_open(fs, "a", FS_OPEN_READ), nullptr);
    EXPECT_EQ(info.size + static_cast<int64_t>(listing.size()), 7);
  }
  EXPECT_EQ(capture.messages(), (Names{"ls: d", "ls: d"}));
  EXPECT_EQ(capture.lines()[0].level, 'I');
}

TEST(FileSystem, MakeDirsEnsuresEachLevelOutermostFirstAndNeverReplacesAFile) {
  const struct {
    const char* rel;
    bool result;
    Names calls;  // each prefix starts with "/": the joined paths hold "//"
  } rows[] = {
      {"new//b/", true, {"stat /new", "make_dir /new", "stat /new/b", "make_dir /new/b"}},
      {"dir/2021", true, {"stat /dir", "stat /dir/2021", "make_dir /dir/2021"}},
      {"file/b", false, {"stat /file"}},
      {"fifo", false, {"stat /fifo"}},
      {"unstattable", false, {"stat /unstattable"}},
      {"refused/a", false, {"stat /refused", "make_dir /refused"}},
      {"///", true, {}},
  };
  for (const auto& row : rows) {
    TempDir dir;
    dir.make_dir("dir");
    dir.write("file", "x");
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    FileSystemPtr posix(filesystem_create(dir.path()));
    auto fs = failing_filesystem_create(posix.get());
    fs->fail_stat = {"/unstattable"};
    fs->fail_make_dir = {"/refused"};
    EXPECT_EQ(fs_make_dirs(fs.get(), row.rel), row.result) << row.rel;
    EXPECT_EQ(fs->calls, row.calls) << row.rel;
    EXPECT_EQ(dir.read("file"), "x");
  }
  // New folders get the bits 0700 before the umask.
  TempDir dir;
  FileSystemPtr fs(filesystem_create(dir.path()));
  const mode_t saved = umask(0);
  EXPECT_TRUE(fs_make_dirs(fs.get(), "a/b"));
  umask(saved);
  struct stat st;
  ASSERT_EQ(stat(dir.file("a/b").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
}

TEST(FileSystem, StatAndListTellTypesThroughLinksAndListOnlyFilesAndFolders) {
  TempDir dir;
  for (std::string name : {"b.txt", "a.txt", "B.txt", ".hidden"}) dir.write("d/" + name, "12");
  dir.make_dir("d/sub");
  ASSERT_EQ(mkfifo(dir.file("d/fifo").c_str(), 0600), 0);
  ASSERT_EQ(symlink("nowhere", dir.file("d/dangling").c_str()), 0);
  ASSERT_EQ(symlink("a.txt", dir.file("d/alias").c_str()), 0);
  ASSERT_EQ(symlink("..", dir.file("d/up").c_str()), 0);
  ASSERT_EQ(symlink("loop", dir.file("d/loop").c_str()), 0);  // listed for the walk to report
  FileSystemPtr fs(filesystem_create(dir.path()));
  const struct {
    const char* rel;
    bool result;
    FileType type;
    int64_t size;
  } rows[] = {
      {"d/alias", true, FILE_TYPE_FILE, 2}, {"d/dangling", true, FILE_TYPE_MISSING, 0},
      {"d/fifo", true, FILE_TYPE_OTHER, 0}, {"d/a.txt/x", false, FILE_TYPE_OTHER, 99},
  };
  for (const auto& row : rows) {
    FileInfo info{FILE_TYPE_OTHER, 99, 0, 0};
    EXPECT_EQ(fs_stat(fs.get(), row.rel, &info), row.result) << row.rel;
    EXPECT_EQ(info.type, row.type) << row.rel;
    EXPECT_EQ(info.size, row.size) << row.rel;
  }
  FileInfo link{}, target{};
  ASSERT_TRUE(fs_stat(fs.get(), "d/alias", &link) && fs_stat(fs.get(), "d/a.txt", &target));
  EXPECT_EQ(std::make_pair(link.device, link.inode), std::make_pair(target.device, target.inode));
  EXPECT_NE(target.inode, 0u);

  DirectoryListing listing;
  EXPECT_TRUE(fs_list(fs.get(), "d", &listing));
  Names names;
  for (const auto& entry : listing) names.push_back(entry.first);
  EXPECT_EQ(names, (Names{".hidden", "B.txt", "a.txt", "alias", "b.txt", "loop", "sub", "up"}));
  EXPECT_EQ(listing["up"].type + listing["alias"].size, FILE_TYPE_FOLDER + 2);
  listing.clear();

  // Names reported with the root in front lose it once, and a shortened
  // name already listed keeps its entry.
  auto prefixed = failing_filesystem_create(fs.get());
  prefixed->listed_extra = {dir.path() + "/" + dir.path() + "/y", dir.path() + "/sub",
                            dir.path() + "x", "other"};
  EXPECT_TRUE(fs_list(prefixed.get(), "d", &listing));
  EXPECT_EQ(listing.size(), 11u);
  EXPECT_EQ(listing.count(dir.path() + "/y") + listing.count("x") + listing.count("other"), 3u);
  EXPECT_EQ(listing["sub"].type, FILE_TYPE_FOLDER);
}

TEST(FileSystem, OpenRemoveRenameAndFlushOnTheDisk) {
  TempDir dir;
  dir.write("kept", "first text");
  dir.write("full/inner", "x");
  dir.make_dir("empty");
  FileSystemPtr fs(filesystem_create(dir.path()));
  for (int32_t flags : {0, FS_OPEN_IGNORED_BIT, FS_OPEN_READ, FS_OPEN_READ | FS_OPEN_WRITE}) {
    EXPECT_EQ(fs_open(fs.get(), "new", flags), nullptr) << flags;  // nothing created
  }
  const struct {
    const char* rel;
    int32_t flags;
    const char* after;
  } rows[] = {
      {"new", FS_OPEN_WRITE | FS_OPEN_IGNORED_BIT, "XY"},
      {"kept", FS_OPEN_READ | FS_OPEN_WRITE, "XYrst text"},
  };
  for (const auto& row : rows) {
    StreamPtr stream(fs_open(fs.get(), row.rel, row.flags));
    ASSERT_NE(stream, nullptr) << row.rel;
    EXPECT_EQ(stream_write(stream.get(), "XY", 2), 2);
    EXPECT_EQ(stream_close(stream.release()), 0);
    EXPECT_EQ(dir.read(row.rel), row.after);
  }
  StreamPtr reader(fs_open(fs.get(), "kept", FS_OPEN_READ | FS_OPEN_IGNORED_BIT));
  char bytes[16];
  EXPECT_EQ(stream_read(reader.get(), bytes, sizeof bytes), 10);
  EXPECT_EQ(stream_write(reader.get(), "x", 1), STREAM_NOT_SUPPORTED);

  EXPECT_TRUE(fs_remove(fs.get(), "new") && fs_remove(fs.get(), "empty"));
  EXPECT_FALSE(fs_remove(fs.get(), "full") || fs_remove(fs.get(), "missing"));
  dir.write("old", "replaced");
  EXPECT_TRUE(fs_rename(fs.get(), "kept", "old"));
  EXPECT_FALSE(fs_rename(fs.get(), "kept", "old"));
  EXPECT_EQ(dir.read("old"), "XYrst text");
  EXPECT_TRUE(fs_flush(fs.get(), "old") && fs_flush(fs.get(), ""));
  EXPECT_FALSE(fs_flush(fs.get(), "kept"));
  EXPECT_FALSE(dir.exists("new") || dir.exists("empty") || dir.exists("kept"));
  EXPECT_TRUE(dir.exists("full/inner"));
}
