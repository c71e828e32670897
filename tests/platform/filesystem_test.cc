// The FileSystem wrappers and the behaviour written once above the slots
// (fs_make_dir, fs_make_dirs, the root stripping of fs_list), checked against
// a recording filesystem so that every full path handed to a slot is seen.
#include "platform/filesystem.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "log/log.h"
#include "platform/stream.h"
#include "support/log_capture.h"
#include "support/memory_stream.h"

namespace {
// Answers stat from `entries` (any other path is missing) and records every
// call as "<slot> <full path>".
struct RecordingFileSystem : FileSystem {
  std::vector<std::string> calls;
  std::map<std::string, FileType> entries;
  bool stat_fails = false;
  std::vector<std::string> names_to_list;
};
}  // namespace

static RecordingFileSystem* recording(FileSystem* fs) {
  return static_cast<RecordingFileSystem*>(fs);
}

static void record(FileSystem* fs, const char* slot, std::string_view path) {
  recording(fs)->calls.push_back(std::string(slot) + " " + std::string(path));
}

static void recording_release(FileSystem* fs) { record(fs, "release", ""); }

static bool recording_stat(FileSystem* fs, std::string_view path, FileInfo* out) {
  record(fs, "stat", path);
  if (recording(fs)->stat_fails) return false;
  auto it = recording(fs)->entries.find(std::string(path));
  out->type = it == recording(fs)->entries.end() ? FILE_TYPE_MISSING : it->second;
  out->size = out->type == FILE_TYPE_FILE ? 42 : 0;
  return true;
}

static void recording_list(FileSystem* fs, std::string_view path, DirectoryListing* out) {
  record(fs, "list", path);
  for (const std::string& name : recording(fs)->names_to_list) {
    out->emplace(name, FileInfo{FILE_TYPE_FILE, 1, 0, 0});
  }
}

static bool recording_make_dir(FileSystem* fs, std::string_view path) {
  record(fs, "make_dir", path);
  recording(fs)->entries[std::string(path)] = FILE_TYPE_FOLDER;
  return true;
}

static bool recording_remove(FileSystem* fs, std::string_view path) {
  record(fs, "remove", path);
  return true;
}

static Stream* recording_open(FileSystem* fs, std::string_view path, int32_t flags) {
  record(fs, ("open/" + std::to_string(flags)).c_str(), path);
  return memory_stream_create("opened");
}

static const FileSystemOps kRecordingOps = {
    .release = recording_release,
    .stat = recording_stat,
    .list = recording_list,
    .make_dir = recording_make_dir,
    .remove = recording_remove,
    .open = recording_open,
};

static const FileSystemOps kRecordingOpsWithoutMakeDir = {
    .release = recording_release,
    .stat = recording_stat,
    .list = recording_list,
    .make_dir = nullptr,  // a filesystem that cannot create folders
    .remove = recording_remove,
    .open = recording_open,
};

static void make_recording(RecordingFileSystem* fs, const char* root,
                           const FileSystemOps* ops = &kRecordingOps) {
  fs->ops = ops;
  fs->root = root;
}

static std::vector<std::string> names_of(const DirectoryListing& listing) {
  std::vector<std::string> names;
  for (const auto& entry : listing) names.push_back(entry.first);
  return names;
}

TEST(FsStat, JoinsRootAndRelativePath) {
  RecordingFileSystem fs;
  make_recording(&fs, "R");
  fs.entries["R/a.txt"] = FILE_TYPE_FILE;
  FileInfo info{};
  EXPECT_TRUE(fs_stat(&fs, "a.txt", &info));
  EXPECT_EQ(info.type, FILE_TYPE_FILE);
  EXPECT_EQ(info.size, 42);
  EXPECT_TRUE(fs_stat(&fs, "", &info));
  EXPECT_TRUE(fs_stat(&fs, "/b", &info));
  EXPECT_EQ(info.type, FILE_TYPE_MISSING);
  EXPECT_EQ(fs.calls, (std::vector<std::string>{"stat R/a.txt", "stat R", "stat R//b"}));
}

TEST(FsStat, NullOrBaseFileSystemAnswersFalseAndLeavesInfo) {
  FileInfo info{FILE_TYPE_OTHER, 7, 1, 2};
  EXPECT_FALSE(fs_stat(nullptr, "a", &info));
  FileSystem base{&kFileSystemBaseOps, "R"};
  EXPECT_FALSE(fs_stat(&base, "a", &info));
  EXPECT_EQ(info.type, FILE_TYPE_OTHER);
  EXPECT_EQ(info.size, 7);
}

TEST(FsMakeDirs, EnsuresEachPrefixOutermostFirst) {
  RecordingFileSystem fs;
  make_recording(&fs, "R");
  EXPECT_TRUE(fs_make_dirs(&fs, "a//b/"));
  // Each prefix starts with "/", so the full paths hold a doubled separator.
  EXPECT_EQ(fs.calls, (std::vector<std::string>{"stat R//a", "make_dir R//a", "stat R//a/b",
                                                "make_dir R//a/b"}));
}

TEST(FsMakeDirs, ExistingFoldersAreOnlyStatted) {
  RecordingFileSystem fs;
  make_recording(&fs, "R");
  fs.entries["R//logs_out"] = FILE_TYPE_FOLDER;
  EXPECT_TRUE(fs_make_dirs(&fs, "logs_out/2021/"));
  EXPECT_EQ(fs.calls, (std::vector<std::string>{"stat R//logs_out", "stat R//logs_out/2021",
                                                "make_dir R//logs_out/2021"}));
}

TEST(FsMakeDirs, PathWithoutComponentsTouchesNothing) {
  RecordingFileSystem fs;
  make_recording(&fs, "R");
  EXPECT_TRUE(fs_make_dirs(&fs, ""));
  EXPECT_TRUE(fs_make_dirs(&fs, "/"));
  EXPECT_TRUE(fs_make_dirs(&fs, "///"));
  EXPECT_TRUE(fs.calls.empty());
  EXPECT_TRUE(fs_make_dirs(nullptr, ""));
}

TEST(FsMakeDirs, StopsAtTheFirstFailure) {
  RecordingFileSystem fs;
  make_recording(&fs, "R");
  fs.entries["R//a"] = FILE_TYPE_FILE;
  EXPECT_FALSE(fs_make_dirs(&fs, "a/b"));
  EXPECT_EQ(fs.calls, (std::vector<std::string>{"stat R//a"}));
  EXPECT_FALSE(fs_make_dirs(nullptr, "a"));
}

TEST(FsMakeDir, ActsOnTheStattedType) {
  struct Row {
    FileType type;
    bool expected;
    bool creates;
  };
  const Row rows[] = {
      {FILE_TYPE_FOLDER, true, false},
      {FILE_TYPE_MISSING, true, true},
      {FILE_TYPE_FILE, false, false},
      {FILE_TYPE_OTHER, false, false},
  };
  for (const Row& row : rows) {
    RecordingFileSystem fs;
    make_recording(&fs, "R");
    if (row.type != FILE_TYPE_MISSING) fs.entries["R/d"] = row.type;
    EXPECT_EQ(fs_make_dir(&fs, "d"), row.expected) << "type " << row.type;
    std::vector<std::string> expected_calls{"stat R/d"};
    if (row.creates) expected_calls.push_back("make_dir R/d");
    EXPECT_EQ(fs.calls, expected_calls) << "type " << row.type;
  }
}

TEST(FsMakeDir, FailedStatOrMissingSlotAnswersFalse) {
  RecordingFileSystem failing;
  make_recording(&failing, "R");
  failing.stat_fails = true;
  EXPECT_FALSE(fs_make_dir(&failing, "d"));
  EXPECT_EQ(failing.calls, (std::vector<std::string>{"stat R/d"}));

  RecordingFileSystem no_make_dir;
  make_recording(&no_make_dir, "R", &kRecordingOpsWithoutMakeDir);
  EXPECT_FALSE(fs_make_dir(&no_make_dir, "d"));
  EXPECT_EQ(no_make_dir.calls, (std::vector<std::string>{"stat R/d"}));

  EXPECT_FALSE(fs_make_dir(nullptr, "d"));
  FileSystem base{&kFileSystemBaseOps, "R"};
  EXPECT_FALSE(fs_make_dir(&base, "d"));
}

TEST(FsList, LogsTheRelativePathEvenForANullFileSystem) {
  LogCapture capture;
  DirectoryListing listing;
  fs_list(nullptr, "some/dir", &listing);
  EXPECT_TRUE(listing.empty());
  ASSERT_EQ(capture.lines().size(), 1u);
  EXPECT_EQ(capture.lines()[0].level, 'I');
  EXPECT_EQ(capture.lines()[0].message, "ls: some/dir");
}

TEST(FsList, ListsTheJoinedPathAndLogsOnce) {
  LogCapture capture;
  RecordingFileSystem fs;
  make_recording(&fs, "/data/root");
  fs.names_to_list = {"b", "a"};
  DirectoryListing listing;
  fs_list(&fs, "", &listing);
  fs_list(&fs, "sub", &listing);
  EXPECT_EQ(fs.calls, (std::vector<std::string>{"list /data/root", "list /data/root/sub"}));
  EXPECT_EQ(names_of(listing), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(capture.messages(), (std::vector<std::string>{"ls: ", "ls: sub"}));
}

TEST(FsList, LogLineIsSuppressedBelowTheThreshold) {
  LogCapture capture(LOG_WARN);
  DirectoryListing listing;
  fs_list(nullptr, "x", &listing);
  EXPECT_TRUE(capture.lines().empty());
}

TEST(FsList, NamesPrefixedWithTheRootLoseItOnce) {
  LogCapture capture;
  RecordingFileSystem fs;
  make_recording(&fs, "r");
  // "r/r/y" must become "r/y", not "y": a shortened name that still begins
  // with the root keeps the rest.
  fs.names_to_list = {"r/r/y", "r/x", "rr", "other"};
  DirectoryListing listing;
  fs_list(&fs, "", &listing);
  EXPECT_EQ(names_of(listing), (std::vector<std::string>{"other", "r", "r/y", "x"}));
}

TEST(FsList, ShortenedNameAlreadyPresentKeepsItsEntry) {
  LogCapture capture;
  RecordingFileSystem fs;
  make_recording(&fs, "/root/");
  fs.names_to_list = {"/root/x", "/root//y"};
  DirectoryListing listing;
  listing.emplace("x", FileInfo{FILE_TYPE_FOLDER, 0, 0, 0});
  fs_list(&fs, "", &listing);
  EXPECT_EQ(names_of(listing), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(listing["x"].type, FILE_TYPE_FOLDER);
  EXPECT_EQ(listing["y"].type, FILE_TYPE_FILE);
}

TEST(FsRemove, AbsentSlotOrNullFileSystemAnswersFalse) {
  EXPECT_FALSE(fs_remove(nullptr, "a"));
  FileSystem base{&kFileSystemBaseOps, "R"};
  EXPECT_FALSE(fs_remove(&base, "a"));
  RecordingFileSystem fs;
  make_recording(&fs, "R");
  EXPECT_TRUE(fs_remove(&fs, "a/b.asc"));
  EXPECT_EQ(fs.calls, (std::vector<std::string>{"remove R/a/b.asc"}));
}

TEST(FsOpen, AbsentSlotOrNullFileSystemGivesNull) {
  EXPECT_EQ(fs_open(nullptr, "a", FS_OPEN_READ), nullptr);
  FileSystem base{&kFileSystemBaseOps, "R"};
  EXPECT_EQ(fs_open(&base, "a", FS_OPEN_READ), nullptr);
  RecordingFileSystem fs;
  make_recording(&fs, "R");
  StreamPtr stream(fs_open(&fs, "in.txt", FS_OPEN_READ | FS_OPEN_CALLER_BIT));
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(fs.calls, (std::vector<std::string>{"open/5 R/in.txt"}));
}

static bool g_released = false;
static void flag_release(FileSystem*) { g_released = true; }
static const FileSystemOps kFlagReleaseOps = {
    .release = flag_release,
    .stat = nullptr,  // only destruction is under test
    .list = nullptr,
    .make_dir = nullptr,
    .remove = nullptr,
    .open = nullptr,
};

TEST(FilesystemDestroy, RunsReleaseAndAcceptsNull) {
  filesystem_destroy(nullptr);
  g_released = false;
  filesystem_destroy(new FileSystem{&kFlagReleaseOps, "R"});
  EXPECT_TRUE(g_released);
}

TEST(FsAbsolutePath, AppendsRootSlashAndRelativePath) {
  FileSystem cwd{&kFileSystemBaseOps, "/work"};
  struct Row {
    std::string_view rel;
    std::string_view expected;
  };
  const Row rows[] = {
      {"a.txt", "/work/a.txt"},
      {"", "/work"},
      {"../b", "/work/../b"},
      {"a/..", "/work/a/.."},
      {"..", ""},  // exactly ".." appends nothing at all
      {"...", "/work/..."},
  };
  for (const Row& row : rows) {
    std::string out;
    fs_absolute_path(&cwd, row.rel, &out);
    EXPECT_EQ(out, row.expected) << "rel: " << row.rel;
  }
  std::string out = "keep:";
  fs_absolute_path(&cwd, "x", &out);
  EXPECT_EQ(out, "keep:/work/x");
  fs_absolute_path(nullptr, "y", &out);
  EXPECT_EQ(out, "keep:/work/x");
}
