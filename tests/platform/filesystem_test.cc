// The FileSystem wrappers and the behaviour written once above the slots
// (fs_make_dir, fs_make_dirs, the root stripping of fs_list), checked against
// a recording filesystem so that every full path handed to a slot is seen.
#include "platform/filesystem.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/log_capture.h"

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

using Calls = std::vector<std::string>;

static RecordingFileSystem* recording(FileSystem* fs, const char* slot, std::string_view path) {
  auto* self = static_cast<RecordingFileSystem*>(fs);
  self->calls.push_back(std::string(slot) + " " + std::string(path));
  return self;
}

static bool recording_stat(FileSystem* fs, std::string_view path, FileInfo* out) {
  RecordingFileSystem* self = recording(fs, "stat", path);
  if (self->stat_fails) return false;
  auto it = self->entries.find(std::string(path));
  out->type = it == self->entries.end() ? FILE_TYPE_MISSING : it->second;
  out->size = out->type == FILE_TYPE_FILE ? 42 : 0;
  return true;
}

static void recording_list(FileSystem* fs, std::string_view path, DirectoryListing* out) {
  for (const std::string& name : recording(fs, "list", path)->names_to_list) {
    out->emplace(name, FileInfo{FILE_TYPE_FILE, 1, 0, 0});
  }
}

static bool recording_make_dir(FileSystem* fs, std::string_view path) {
  recording(fs, "make_dir", path)->entries[std::string(path)] = FILE_TYPE_FOLDER;
  return true;
}

static const FileSystemOps kRecordingOps = {
    .release = nullptr,  // lives on the stack
    .stat = recording_stat,
    .list = recording_list,
    .make_dir = recording_make_dir,
    .remove = nullptr,  // removal and opening are seen on the real disk
    .open = nullptr,
};

static RecordingFileSystem make_recording(const char* root) {
  RecordingFileSystem fs;
  fs.ops = &kRecordingOps;
  fs.root = root;
  return fs;
}

static std::vector<std::string> names_of(const DirectoryListing& listing) {
  std::vector<std::string> names;
  for (const auto& entry : listing) names.push_back(entry.first);
  return names;
}

TEST(FsStat, JoinsRootAndRelativePath) {
  RecordingFileSystem fs = make_recording("R");
  fs.entries["R/a.txt"] = FILE_TYPE_FILE;
  FileInfo info{};
  EXPECT_TRUE(fs_stat(&fs, "a.txt", &info));
  EXPECT_EQ(info.type, FILE_TYPE_FILE);
  EXPECT_EQ(info.size, 42);
  EXPECT_TRUE(fs_stat(&fs, "", &info));
  EXPECT_TRUE(fs_stat(&fs, "/b", &info));
  EXPECT_EQ(info.type, FILE_TYPE_MISSING);
  EXPECT_EQ(fs.calls, (Calls{"stat R/a.txt", "stat R", "stat R//b"}));
}

TEST(FileSystemWrappers, NullOrBaseFileSystemRefusesEveryOperation) {
  FileSystem base{&kFileSystemBaseOps, "R"};
  for (FileSystem* fs : {static_cast<FileSystem*>(nullptr), &base}) {
    FileInfo info{FILE_TYPE_OTHER, 7, 1, 2};
    EXPECT_FALSE(fs_stat(fs, "a", &info));
    EXPECT_EQ(info.type, FILE_TYPE_OTHER);
    EXPECT_EQ(info.size, 7);
    EXPECT_FALSE(fs_make_dir(fs, "d"));
    EXPECT_FALSE(fs_make_dirs(fs, "a"));
    EXPECT_FALSE(fs_remove(fs, "a"));
    EXPECT_EQ(fs_open(fs, "a", FS_OPEN_READ), nullptr);
  }
  std::string out = "keep";
  fs_absolute_path(nullptr, "y", &out);
  EXPECT_EQ(out, "keep");
  filesystem_destroy(nullptr);
}

TEST(FsMakeDirs, EnsuresEachPrefixOutermostFirstAndStopsAtTheFirstFailure) {
  const struct {
    const char* existing;  // a path the filesystem already holds, or null
    FileType type;
    const char* rel;
    bool result;
    Calls calls;
  } rows[] = {
      // Each prefix starts with "/", so the full paths hold a doubled separator.
      {nullptr, FILE_TYPE_MISSING, "a//b/", true,
       {"stat R//a", "make_dir R//a", "stat R//a/b", "make_dir R//a/b"}},
      {"R//logs_out", FILE_TYPE_FOLDER, "logs_out/2021/", true,
       {"stat R//logs_out", "stat R//logs_out/2021", "make_dir R//logs_out/2021"}},
      {"R//a", FILE_TYPE_FILE, "a/b", false, {"stat R//a"}},
      {nullptr, FILE_TYPE_MISSING, "", true, {}},
      {nullptr, FILE_TYPE_MISSING, "/", true, {}},
      {nullptr, FILE_TYPE_MISSING, "///", true, {}},
  };
  for (const auto& row : rows) {
    RecordingFileSystem fs = make_recording("R");
    if (row.existing != nullptr) fs.entries[row.existing] = row.type;
    EXPECT_EQ(fs_make_dirs(&fs, row.rel), row.result) << row.rel;
    EXPECT_EQ(fs.calls, row.calls) << row.rel;
  }
}

TEST(FsMakeDir, ActsOnTheStattedType) {
  const struct {
    FileType type;
    bool stat_fails;
    bool result;
    Calls calls;
  } rows[] = {
      {FILE_TYPE_FOLDER, false, true, {"stat R/d"}},
      {FILE_TYPE_MISSING, false, true, {"stat R/d", "make_dir R/d"}},
      {FILE_TYPE_FILE, false, false, {"stat R/d"}},
      {FILE_TYPE_OTHER, false, false, {"stat R/d"}},
      {FILE_TYPE_MISSING, true, false, {"stat R/d"}},
  };
  for (const auto& row : rows) {
    RecordingFileSystem fs = make_recording("R");
    if (row.type != FILE_TYPE_MISSING) fs.entries["R/d"] = row.type;
    fs.stat_fails = row.stat_fails;
    EXPECT_EQ(fs_make_dir(&fs, "d"), row.result) << "type " << row.type;
    EXPECT_EQ(fs.calls, row.calls) << "type " << row.type;
  }
}

TEST(FsList, ListsTheJoinedPathAndLogsTheRelativeOne) {
  LogCapture capture;
  RecordingFileSystem fs = make_recording("/data/root");
  fs.names_to_list = {"b", "a"};
  DirectoryListing listing;
  fs_list(&fs, "", &listing);
  fs_list(&fs, "sub", &listing);
  fs_list(nullptr, "some/dir", &listing);
  EXPECT_EQ(fs.calls, (Calls{"list /data/root", "list /data/root/sub"}));
  EXPECT_EQ(names_of(listing), (Calls{"a", "b"}));
  EXPECT_EQ(capture.messages(), (Calls{"ls: ", "ls: sub", "ls: some/dir"}));
  EXPECT_EQ(capture.lines()[0].level, 'I');
}

TEST(FsList, NamesPrefixedWithTheRootLoseItOnce) {
  RecordingFileSystem fs = make_recording("r");
  // "r/r/y" must become "r/y", not "y": a shortened name that still begins
  // with the root keeps the rest.
  fs.names_to_list = {"r/r/y", "r/x", "rr", "other"};
  DirectoryListing listing;
  fs_list(&fs, "", &listing);
  EXPECT_EQ(names_of(listing), (Calls{"other", "r", "r/y", "x"}));

  // A shortened name that is already listed keeps its entry.
  RecordingFileSystem slash = make_recording("/root/");
  slash.names_to_list = {"/root/x", "/root//y"};
  listing.clear();
  listing.emplace("x", FileInfo{FILE_TYPE_FOLDER, 0, 0, 0});
  fs_list(&slash, "", &listing);
  EXPECT_EQ(names_of(listing), (Calls{"x", "y"}));
  EXPECT_EQ(listing["x"].type, FILE_TYPE_FOLDER);
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

TEST(FilesystemDestroy, RunsRelease) {
  filesystem_destroy(new FileSystem{&kFlagReleaseOps, "R"});
  EXPECT_TRUE(g_released);
}

TEST(FsAbsolutePath, AppendsRootSlashAndRelativePath) {
  FileSystem cwd{&kFileSystemBaseOps, "/work"};
  const struct {
    std::string_view rel;
    std::string_view expected;
  } rows[] = {
      {"a.txt", "keep:/work/a.txt"}, {"", "keep:/work"},         {"../b", "keep:/work/../b"},
      {"a/..", "keep:/work/a/.."},   {"...", "keep:/work/..."},
      {"..", "keep:"},  // exactly ".." appends nothing at all
  };
  for (const auto& row : rows) {
    std::string out = "keep:";
    fs_absolute_path(&cwd, row.rel, &out);
    EXPECT_EQ(out, row.expected) << "rel: " << row.rel;
  }
}
