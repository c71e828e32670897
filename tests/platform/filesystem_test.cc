// The FileSystem wrappers and PosixFileSystem on the real disk, seen through
// the failing filesystem where the exact slot calls matter.
#include "platform/filesystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/stream.h"
#include "support/failing_filesystem.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

using Names = std::vector<std::string>;

TEST(FileSystem, MakeDirsEnsuresEachLevelOutermostFirstAndNeverReplacesAFile) {
  TempDir dir;
  dir.write("root/file", "x");
  dir.make_dir("root/dir");
  ASSERT_EQ(mkfifo(dir.file("root/fifo").c_str(), 0600), 0);
  FileSystemPtr posix(filesystem_create(dir.file("root")));
  FileSystem base{&kFileSystemBaseOps, "R"};
  // Each prefix starts with "/": the joined paths hold "//".
  const struct {
    FileSystem* fs;
    const char* rel;
    bool result;
    Names calls;
  } rows[] = {
      {posix.get(),
       "new//b/",
       true,
       {"stat /new", "make_dir /new", "stat /new/b", "make_dir /new/b"}},
      {posix.get(), "dir/2021", true, {"stat /dir", "stat /dir/2021", "make_dir /dir/2021"}},
      {posix.get(), "file/b", false, {"stat /file"}},
      {posix.get(), "fifo", false, {"stat /fifo"}},
      {posix.get(), "unstattable", false, {"stat /unstattable"}},
      {posix.get(), "refused/a", false, {"stat /refused", "make_dir /refused"}},
      {posix.get(), "///", true, {}},
      {&base, "a", false, {"stat /a"}},
  };
  for (const auto& row : rows) {
    auto fs = failing_filesystem_create(row.fs);
    fs->fail_stat = {"/unstattable"};
    fs->fail_make_dir = {"/refused"};
    EXPECT_EQ(fs_make_dirs(fs.get(), row.rel), row.result) << row.rel;
    EXPECT_EQ(fs->calls, row.calls) << row.rel;
  }
  EXPECT_EQ(dir.read("root/file"), "x");
  // New folders get the bits 0700 before the umask.
  const mode_t saved = umask(0);
  EXPECT_TRUE(fs_make_dirs(posix.get(), "a/b"));
  umask(saved);
  struct stat st;
  EXPECT_TRUE(stat(dir.file("root/a/b").c_str(), &st) == 0 && (st.st_mode & 07777) == 0700);
}

TEST(FileSystem, StatAndListTellTypesThroughLinksListOnlyFilesAndFoldersAndLogTheListing) {
  TempDir dir;
  for (std::string name : {"b.txt", "a.txt", "B.txt", ".hidden", "sub/x"})
    dir.write("d/" + name, "12");
  ASSERT_EQ(mkfifo(dir.file("d/fifo").c_str(), 0600), 0);
  for (auto [target, link] :
       {std::pair{"nowhere", "dangling"}, {"a.txt", "alias"}, {"..", "up"}, {"loop", "loop"}}) {
    ASSERT_EQ(symlink(target, dir.file(std::string("d/") + link).c_str()), 0);
  }
  FileSystemPtr fs(filesystem_create(dir.path()));
  for (auto [rel, result, type, size] : {std::tuple{"d/alias", true, FILE_TYPE_FILE, 2},
                                         {"d/dangling", true, FILE_TYPE_MISSING, 0},
                                         {"d/fifo", true, FILE_TYPE_OTHER, 0},
                                         {"d/a.txt/x", false, FILE_TYPE_OTHER, 99}}) {
    FileInfo info{FILE_TYPE_OTHER, 99, 0, 0};
    EXPECT_EQ(fs_stat(fs.get(), rel, &info), result) << rel;
    EXPECT_EQ(std::pair(info.type, info.size), std::pair(type, int64_t{size})) << rel;
  }
  FileInfo link{}, target{};
  ASSERT_TRUE(fs_stat(fs.get(), "d/alias", &link) && fs_stat(fs.get(), "d/a.txt", &target));
  EXPECT_TRUE(link.device == target.device && link.inode == target.inode && target.inode != 0);
  LogCapture capture;
  // The dangling link and the fifo are left out; the loop stays for the walk to report.
  DirectoryListing listing;
  EXPECT_TRUE(fs_list(fs.get(), "d", &listing));
  Names names;
  for (const auto& entry : listing) names.push_back(entry.first);
  EXPECT_EQ(names, (Names{".hidden", "B.txt", "a.txt", "alias", "b.txt", "loop", "sub", "up"}));
  EXPECT_EQ(listing["up"].type + listing["alias"].size, FILE_TYPE_FOLDER + 2);
  EXPECT_FALSE(fs_list(fs.get(), "d/a.txt", &listing) || fs_list(nullptr, "n", &listing));
  EXPECT_EQ(capture.messages(), (Names{"ls: d", "ls: d/a.txt", "ls: n"}));
  EXPECT_EQ(capture.lines()[0].level, 'I');
  // Names reported with the root in front lose it once; a shortened name already listed keeps its
  // entry.
  listing.clear();
  auto prefixed = failing_filesystem_create(fs.get());
  prefixed->listed_extra = {dir.path() + "/" + dir.path() + "/y", dir.path() + "/sub",
                            dir.path() + "x", "other"};
  EXPECT_TRUE(fs_list(prefixed.get(), "d", &listing));
  EXPECT_EQ(listing.size(), 11u);
  EXPECT_EQ(listing.count(dir.path() + "/y") + listing.count("x") + listing.count("other"), 3u);
  EXPECT_EQ(listing["sub"].type, FILE_TYPE_FOLDER);
}

TEST(FileSystem, OpenRemoveRenameAndFlushOnTheDiskAndNothingWithoutOne) {
  TempDir dir;
  dir.write("kept", "first text");
  dir.write("full/inner", "x");
  FileSystemPtr fs(filesystem_create(dir.path()));
  FileSystem base{&kFileSystemBaseOps, "R"};
  for (FileSystem* none : {static_cast<FileSystem*>(nullptr), &base}) {
    FileInfo info{};
    EXPECT_FALSE(fs_stat(none, "kept", &info) || fs_remove(none, "kept") ||
                 fs_rename(none, "kept", "b") || fs_flush(none, "kept") ||
                 fs_open(none, "kept", FS_OPEN_READ) || fs_make_dirs(none, "a"));
  }
  EXPECT_EQ(filesystem_create(dir.file("kept")), nullptr);
  for (int32_t flags : {0, FS_OPEN_IGNORED_BIT, FS_OPEN_READ, FS_OPEN_READ | FS_OPEN_WRITE}) {
    EXPECT_EQ(fs_open(fs.get(), "new", flags), nullptr) << flags;  // nothing created
  }
  StreamPtr both(fs_open(fs.get(), "kept", FS_OPEN_READ | FS_OPEN_WRITE));
  EXPECT_EQ(stream_write(both.get(), "XY", 2), 2);
  EXPECT_EQ(stream_close(both.release()), 0);
  EXPECT_TRUE(fs_remove(fs.get(), "full/inner") && !dir.exists("full/inner"));
  EXPECT_FALSE(fs_remove(fs.get(), "missing"));
  dir.write("old", "replaced");
  EXPECT_TRUE(fs_rename(fs.get(), "kept", "old"));
  EXPECT_FALSE(fs_rename(fs.get(), "kept", "old"));
  EXPECT_EQ(dir.read("old"), "XYrst text");
  EXPECT_TRUE(fs_flush(fs.get(), "old") && fs_flush(fs.get(), ""));
  EXPECT_FALSE(fs_flush(fs.get(), "kept"));
}
