// The input-set check from its table of cases, on a working directory that
// need not exist (/home/user), plus the two checks that touch the disk.
#include "cli/input_set.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/config.h"
#include "platform/filesystem.h"
#include "support/temp_dir.h"

#include <unistd.h>

TEST(InputPathClean, BackSlashesDoubledAndTrailingSlashes) {
  const struct {
    const char* in;
    const char* out;
  } rows[] = {
      {"/home/user/logs\\day1", "/home/user/logs/day1"},
      {"\\\\server\\share", "/server/share"},
      {"/a//b", "/a/b"},
      {"/a///b", "/a//b"},  // one pass over non-overlapping pairs
      {"/a////b", "/a//b"},
      {"/a/////b", "/a///b"},
      {"/media/card/LOG/", "/media/card/LOG"},
      {"/media/card/LOG//", "/media/card/LOG"},  // the pair becomes one, then it goes
      {"/home/user/./b.txt", "/home/user/./b.txt"},
      {"/home/user/../x.txt", "/home/user/../x.txt"},
      {"/", ""},
      {"", ""},
  };
  for (const auto& row : rows) EXPECT_EQ(input_path_clean(row.in), row.out) << row.in;
}

TEST(InputPathParent, LastSlashFromTheSecondByteOn) {
  const struct {
    const char* in;
    const char* out;
  } rows[] = {
      {"/home/user/a.txt", "/home/user"},
      {"/home/user/./b.txt", "/home/user/."},
      {"/data", "/data"},  // directly below "/": its own parent
      {"//x", "/"},
      {"", ""},
      {"relative/name", "relative"},
  };
  for (const auto& row : rows) EXPECT_EQ(input_path_parent(row.in), row.out) << row.in;
}

TEST(InputSetResolve, TableOfCases) {
  // Only the root of the working directory is used, so it need not exist.
  FileSystem home{&kFileSystemBaseOps, "/home/user"};
  using Names = std::vector<std::string>;
  const std::string kUntouched = "untouched";  // a failed check leaves both outputs alone
  const struct {
    FileSystem* cwd;
    Names args;
    int result;
    std::string root;
    Names names;
  } rows[] = {
      {&home, {"LOG", "extra.TXT"}, INPUT_SET_OK, "/home/user", {"LOG", "extra.TXT"}},
      {&home, {"/media/card/LOG/"}, INPUT_SET_OK, "/media/card", {"LOG"}},
      {&home, {"/media/card/LOG"}, INPUT_SET_OK, "/media/card", {"LOG"}},
      {&home, {"logs\\day1"}, INPUT_SET_OK, "/home/user/logs", {"day1"}},
      {&home, {"logs/day1"}, INPUT_SET_OK, "/home/user/logs", {"day1"}},
      {&home, {"/home/user/a.txt", "b.txt", "/home/user//c"}, INPUT_SET_OK, "/home/user",
       {"a.txt", "b.txt", "c"}},
      {&home, {"a.txt", "a.txt"}, INPUT_SET_OK, "/home/user", {"a.txt", "a.txt"}},
      {&home, {"../x.txt"}, INPUT_SET_OK, "/home/user/..", {"x.txt"}},
      {&home, {""}, INPUT_SET_OK, "/home", {"user"}},
      {&home, {".."}, INPUT_SET_OK, "", {""}},
      {&home, {"/data"}, INPUT_SET_OK, "/data", {""}},
      // Parents are compared as text.
      {&home, {"a.txt", "./b.txt"}, INPUT_SET_NO_COMMON_ROOT, kUntouched, {}},
      {&home, {"a.txt", "sub/b.txt"}, INPUT_SET_NO_COMMON_ROOT, kUntouched, {}},
      {&home, {"a.txt", "/home/user//b.txt", "/elsewhere/c.txt"}, INPUT_SET_NO_COMMON_ROOT,
       kUntouched, {}},
      // Without a working directory only relative inputs fail.
      {nullptr, {"/data/a.txt", "b.txt"}, INPUT_SET_NO_WORKING_DIRECTORY, kUntouched, {}},
      {nullptr, {"/data/a.txt", "/data/b.txt"}, INPUT_SET_OK, "/data", {"a.txt", "b.txt"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args.front() + " ... " + row.args.back());
    std::string root = kUntouched;
    Names names;
    EXPECT_EQ(input_set_resolve(row.args, row.cwd, &root, &names), row.result);
    EXPECT_EQ(root, row.root);
    EXPECT_EQ(names, row.names);
  }
}

TEST(CheckInputSet, RelativeInputsResolveAgainstTheRealWorkingDirectory) {
  std::string cwd;
  ASSERT_TRUE(current_directory(&cwd));
  char expected[4096];
  ASSERT_NE(getcwd(expected, sizeof expected), nullptr);
  EXPECT_EQ(cwd, expected);

  ConfigPtr config(config_create());
  ASSERT_NE(config, nullptr);
  EXPECT_EQ(check_input_set({"x.txt", "sub/y"}, config.get()), INPUT_SET_NO_COMMON_ROOT);
  EXPECT_TRUE(config->inputs.empty());
  ASSERT_EQ(check_input_set({"x.txt", "y"}, config.get()), INPUT_SET_OK);
  EXPECT_EQ(config->input_root, cwd);
  EXPECT_EQ(config->inputs, (std::vector<std::string>{"x.txt", "y"}));
}

TEST(CheckOutputDirectory, OnlyAnExistingFolderPassesAndNothingIsCreated) {
  TempDir dir;
  dir.make_dir("out");
  EXPECT_EQ(check_output_directory(dir.path() + "/out"), 0);
  EXPECT_EQ(check_output_directory(dir.path() + "/out/"), 0);
  EXPECT_EQ(check_output_directory(dir.path() + "/missing"), OUTPUT_DIRECTORY_INVALID);
  EXPECT_FALSE(dir.exists("missing"));
}
