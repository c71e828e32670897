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
                 fs_rename(fs, "a", "b") || fs_flush(fs, "a") || fs_list(fs, "d", &listing) || fs_open(fs, "a", FS_OPEN_READ));
    EXPECT_EQ(info.size + static_cast<int64_t>(listing.size()), 7);
  }
  EXPECT_EQ(capture.messages(), (Names{"ls: d", "ls: d"}));
  EXPECT_EQ(capture.lines()[0].level, 'I');
}

TEST(FileSystem, MakeDirsEnsuresEachLevelOutermostFirstAndNeverReplacesAFile) {
  // Each prefix starts with "/": the joined paths hold "//".
  const struct { const char* rel; bool result; Names calls; } rows[] = {
      {"new//b/", true, {"stat /new", "make_dir /new", "stat /new/b", "make_dir /new/b"}},
      {"dir/2021", true, {"stat /dir", "stat /dir/2021", "make_dir /dir/2021"}},
      {"file/b", false, {"stat /file"}}, {"fifo", false, {"stat /fifo"}}, {"unstattable", false, {"stat /unstattable"}},
      {"refused/a", false, {"stat /refused", "make_dir /refused"}}, {"///", true, {}},
  };
  TempDir dir;
  dir.write("dir/file", "x");
  dir.make_dir("dir/dir");
  ASSERT_EQ(mkfifo(dir.file("dir/fifo").c_str(), 0600), 0);
  FileSystemPtr posix(filesystem_create(dir.file("dir")));
  for (const auto& row : rows) {
    auto fs = failing_filesystem_create(posix.get());
    fs->fail_stat = {"/unstattable"};
    fs->fail_make_dir = {"/refused"};
    EXPECT_EQ(fs_make_dirs(fs.get(), row.rel), row.result) << row.rel;
    EXPECT_EQ(fs->calls, row.calls) << row.rel;
  }
  EXPECT_EQ(dir.read("dir/file"), "x");
  // New folders get the bits 0700 before the umask.
  const mode_t saved = umask(0);
  EXPECT_TRUE(fs_make_dirs(posix.get(), "a/b"));
  umask(saved);
  struct stat st;
  EXPECT_TRUE(stat(dir.file("dir/a/b").c_str(), &st) == 0 && (st.st_mode & 07777) == 0700);
}

TEST(FileSystem, StatAndListTellTypesThroughLinksAndListOnlyFilesAndFolders) {
  TempDir dir;
  for (std::string name : {"b.txt", "a.txt", "B.txt", ".hidden"}) dir.write("d/" + name, "12");
  dir.make_dir("d/sub");
  ASSERT_EQ(mkfifo(dir.file("d/fifo").c_str(), 0600), 0);
  for (auto [target, link] : {std::pair{"nowhere", "dangling"}, {"a.txt", "alias"}, {"..", "up"}, {"loop", "loop"}}) {
    ASSERT_EQ(symlink(target, dir.file(std::string("d/") + link).c_str()), 0);
  }
  FileSystemPtr fs(filesystem_create(dir.path()));
  const struct { const char* rel; bool result; FileType type; int64_t size; } rows[] = {
      {"d/alias", true, FILE_TYPE_FILE, 2}, {"d/dangling", true, FILE_TYPE_MISSING, 0},
      {"d/fifo", true, FILE_TYPE_OTHER, 0}, {"d/a.txt/x", false, FILE_TYPE_OTHER, 99},
  };
  for (const auto& row : rows) {
    FileInfo info{FILE_TYPE_OTHER, 99, 0, 0};
    EXPECT_EQ(fs_stat(fs.get(), row.rel, &info), row.result) << row.rel;
    EXPECT_EQ(std::pair(info.type, info.size), std::pair(row.type, row.size)) << row.rel;
  }
  FileInfo link{}, target{};
  ASSERT_TRUE(fs_stat(fs.get(), "d/alias", &link) && fs_stat(fs.get(), "d/a.txt", &target));
  EXPECT_EQ(std::pair(link.device, link.inode), std::pair(target.device, target.inode));
  EXPECT_NE(target.inode, 0u);
  // The dangling link and the fifo are left out; the loop stays for the walk to report.
  DirectoryListing listing;
  EXPECT_TRUE(fs_list(fs.get(), "d", &listing));
  Names names;
  for (const auto& entry : listing) names.push_back(entry.first);
  EXPECT_EQ(names, (Names{".hidden", "B.txt", "a.txt", "alias", "b.txt", "loop", "sub", "up"}));
  EXPECT_EQ(listing["up"].type + listing["alias"].size, FILE_TYPE_FOLDER + 2);
  EXPECT_FALSE(fs_list(fs.get(), "d/a.txt", &listing));
  // Names reported with the root in front lose it once, and a shortened
  // name already listed keeps its entry.
  listing.clear();
  auto prefixed = failing_filesystem_create(fs.get());
  prefixed->listed_extra = {dir.path() + "/" + dir.path() + "/y", dir.path() + "/sub", dir.path() + "x", "other"};
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
  EXPECT_EQ(filesystem_create(dir.file("kept")), nullptr);
  for (int32_t flags : {0, FS_OPEN_IGNORED_BIT, FS_OPEN_READ, FS_OPEN_READ | FS_OPEN_WRITE}) {
    EXPECT_EQ(fs_open(fs.get(), "new", flags), nullptr) << flags;  // nothing created
  }
  for (auto [rel, flags, after] : {std::tuple{"new", FS_OPEN_WRITE | FS_OPEN_IGNORED_BIT, "XY"}, {"kept", FS_OPEN_READ | FS_OPEN_WRITE, "XYrst text"}}) {
    StreamPtr stream(fs_open(fs.get(), rel, flags));
    EXPECT_EQ(stream_write(stream.get(), "XY", 2), 2);
    EXPECT_EQ(stream_close(stream.release()), 0);
    EXPECT_EQ(dir.read(rel), after);
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
