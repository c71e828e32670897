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

static bool g_released = false;
// Touches no field: filesystem_destroy calls it on a plain FileSystem.
static void recording_release(FileSystem*) { g_released = true; }

static bool recording_stat(FileSystem* fs, std::string_view path, FileInfo* out) {
  RecordingFileSystem* self = recording(fs, "stat", path);
  if (self->stat_fails) return false;
  auto it = self->entries.find(std::string(path));
  out->type = it == self->entries.end() ? FILE_TYPE_MISSING : it->second;
  return true;
}

static bool recording_list(FileSystem* fs, std::string_view, DirectoryListing* out) {
  for (const std::string& name : static_cast<RecordingFileSystem*>(fs)->names_to_list) {
    out->emplace(name, FileInfo{FILE_TYPE_FILE, 1, 0, 0});
  }
  return true;
}

static bool recording_make_dir(FileSystem* fs, std::string_view path) {
  recording(fs, "make_dir", path)->entries[std::string(path)] = FILE_TYPE_FOLDER;
  return true;
}

static const FileSystemOps kRecordingOps = {
    .release = recording_release,
    .stat = recording_stat,
    .list = recording_list,
    .make_dir = recording_make_dir,
    .remove = nullptr,  // removal and opening are seen on the real disk
    .open = nullptr,
    .rename = nullptr,
    .flush = nullptr,
};

static RecordingFileSystem make_recording(const char* root) {
  RecordingFileSystem fs;
  fs.ops = &kRecordingOps;
  fs.root = root;
  return fs;
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
    EXPECT_FALSE(fs_rename(fs, "a", "b"));
    EXPECT_FALSE(fs_flush(fs, "a"));
  }
  // Without a list slot there is nothing to list, but the trace still shows.
  LogCapture capture;
  DirectoryListing listing;
  EXPECT_FALSE(fs_list(nullptr, "some/dir", &listing));
  EXPECT_FALSE(fs_list(&base, "", &listing));
  EXPECT_TRUE(listing.empty());
  EXPECT_EQ(capture.messages(), (Calls{"ls: some/dir", "ls: "}));
}

TEST(FilesystemDestroy, RunsTheReleaseSlotAndAcceptsNull) {
  g_released = false;
  filesystem_destroy(new FileSystem{&kRecordingOps, "R"});
  EXPECT_TRUE(g_released);
  filesystem_destroy(nullptr);
}

TEST(FsMakeDirs, EnsuresEachLevelOutermostFirstByItsStattedType) {
  const struct {
    FileType type_of_a;  // what the filesystem holds at R//a
    bool stat_fails;
    const char* rel;
    bool result;
    Calls calls;
  } rows[] = {
      // Each prefix starts with "/", so the full paths hold a doubled separator.
      {FILE_TYPE_MISSING, false, "a//b/", true,
       {"stat R//a", "make_dir R//a", "stat R//a/b", "make_dir R//a/b"}},
      {FILE_TYPE_FOLDER, false, "a/2021/", true,
       {"stat R//a", "stat R//a/2021", "make_dir R//a/2021"}},
      {FILE_TYPE_FILE, false, "a/b", false, {"stat R//a"}},
      {FILE_TYPE_OTHER, false, "a", false, {"stat R//a"}},
      {FILE_TYPE_MISSING, true, "a", false, {"stat R//a"}},
      {FILE_TYPE_MISSING, false, "", true, {}},
      {FILE_TYPE_MISSING, false, "/", true, {}},
      {FILE_TYPE_MISSING, false, "///", true, {}},
  };
  for (const auto& row : rows) {
    RecordingFileSystem fs = make_recording("R");
    if (row.type_of_a != FILE_TYPE_MISSING) fs.entries["R//a"] = row.type_of_a;
    fs.stat_fails = row.stat_fails;
    EXPECT_EQ(fs_make_dirs(&fs, row.rel), row.result) << row.rel;
    EXPECT_EQ(fs.calls, row.calls) << row.rel;
  }
}

TEST(FsList, NamesPrefixedWithTheRootLoseItOnce) {
  RecordingFileSystem fs = make_recording("r");
  // "r/r/y" must become "r/y", not "y": a shortened name that still begins
  // with the root keeps the rest.
  fs.names_to_list = {"r/r/y", "r/x", "rr", "other"};
  DirectoryListing listing;
  fs_list(&fs, "", &listing);
  EXPECT_EQ(listing.size(), 4u);
  for (const char* name : {"other", "r", "r/y", "x"}) EXPECT_EQ(listing.count(name), 1u) << name;

  // A shortened name that is already listed keeps its entry.
  RecordingFileSystem slash = make_recording("/root/");
  slash.names_to_list = {"/root/x", "/root//y"};
  listing.clear();
  listing.emplace("x", FileInfo{FILE_TYPE_FOLDER, 0, 0, 0});
  fs_list(&slash, "", &listing);
  EXPECT_EQ(listing.size(), 2u);
  EXPECT_EQ(listing["x"].type, FILE_TYPE_FOLDER);
  EXPECT_EQ(listing["y"].type, FILE_TYPE_FILE);
}
