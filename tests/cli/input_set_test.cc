// The input-set check from its table of cases, on a working directory that
// need not exist (/home/user), plus the two checks that touch the disk.
#include "cli/input_set.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/config.h"
#include "cli/run_tool.h"
#include "platform/filesystem.h"

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
      {"/home/user", "/home"},
      {"/data", "/data"},  // directly below "/": its own parent
      {"//x", "/"},
      {"", ""},
      {"relative/name", "relative"},
  };
  for (const auto& row : rows) EXPECT_EQ(input_path_parent(row.in), row.out) << row.in;
}

// A FileSystem record rooted at a working directory that exists only as
// text; the check uses nothing but its root.
class InputSetResolve : public ::testing::Test {
 protected:
  int resolve(const std::vector<std::string>& arguments) {
    return input_set_resolve(arguments, &home_, &root_, &names_);
  }
  FileSystem home_{&kFileSystemBaseOps, "/home/user"};
  std::string root_ = "untouched";
  std::vector<std::string> names_;
};

TEST_F(InputSetResolve, RelativeInputsShareTheWorkingDirectory) {
  ASSERT_EQ(resolve({"LOG", "extra.TXT"}), INPUT_SET_OK);
  EXPECT_EQ(root_, "/home/user");
  EXPECT_EQ(names_, (std::vector<std::string>{"LOG", "extra.TXT"}));
}

TEST_F(InputSetResolve, TrailingSlashIsDropped) {
  ASSERT_EQ(resolve({"/media/card/LOG/"}), INPUT_SET_OK);
  EXPECT_EQ(root_, "/media/card");
  EXPECT_EQ(names_, std::vector<std::string>{"LOG"});

  std::string root;
  std::vector<std::string> names;
  ASSERT_EQ(input_set_resolve({"/media/card/LOG"}, &home_, &root, &names), INPUT_SET_OK);
  EXPECT_EQ(root, root_);
  EXPECT_EQ(names, names_);
}

TEST_F(InputSetResolve, BackSlashesAreSeparators) {
  ASSERT_EQ(resolve({"logs\\day1"}), INPUT_SET_OK);
  EXPECT_EQ(root_, "/home/user/logs");
  EXPECT_EQ(names_, std::vector<std::string>{"day1"});

  std::string root;
  std::vector<std::string> names;
  ASSERT_EQ(input_set_resolve({"logs/day1"}, &home_, &root, &names), INPUT_SET_OK);
  EXPECT_EQ(root, root_);
  EXPECT_EQ(names, names_);
}

TEST_F(InputSetResolve, ParentsAreComparedAsText) {
  EXPECT_EQ(resolve({"a.txt", "./b.txt"}), INPUT_SET_NO_COMMON_ROOT);
  EXPECT_EQ(resolve({"a.txt", "sub/b.txt"}), INPUT_SET_NO_COMMON_ROOT);
  EXPECT_EQ(resolve({"a.txt", "/home/user//b.txt", "/elsewhere/c.txt"}), INPUT_SET_NO_COMMON_ROOT);
  // A failed check leaves the outputs alone.
  EXPECT_EQ(root_, "untouched");
  EXPECT_TRUE(names_.empty());
}

TEST_F(InputSetResolve, AbsoluteAndRelativeInputsMayMeet) {
  ASSERT_EQ(resolve({"/home/user/a.txt", "b.txt", "/home/user//c"}), INPUT_SET_OK);
  EXPECT_EQ(root_, "/home/user");
  EXPECT_EQ(names_, (std::vector<std::string>{"a.txt", "b.txt", "c"}));
}

TEST_F(InputSetResolve, SameFileTwiceIsKeptTwice) {
  ASSERT_EQ(resolve({"a.txt", "a.txt"}), INPUT_SET_OK);
  EXPECT_EQ(names_, (std::vector<std::string>{"a.txt", "a.txt"}));
}

TEST_F(InputSetResolve, DotDotComponentsStayInTheRoot) {
  ASSERT_EQ(resolve({"../x.txt"}), INPUT_SET_OK);
  EXPECT_EQ(root_, "/home/user/..");
  EXPECT_EQ(names_, std::vector<std::string>{"x.txt"});
}

TEST_F(InputSetResolve, EmptyArgumentIsTheWorkingDirectory) {
  ASSERT_EQ(resolve({""}), INPUT_SET_OK);
  EXPECT_EQ(root_, "/home");
  EXPECT_EQ(names_, std::vector<std::string>{"user"});
}

TEST_F(InputSetResolve, LoneDotDotGivesAnEmptyRoot) {
  ASSERT_EQ(resolve({".."}), INPUT_SET_OK);
  EXPECT_EQ(root_, "");
  EXPECT_EQ(names_, std::vector<std::string>{""});
}

TEST_F(InputSetResolve, EntryBelowSlashIsItsOwnRoot) {
  ASSERT_EQ(resolve({"/data"}), INPUT_SET_OK);
  EXPECT_EQ(root_, "/data");
  EXPECT_EQ(names_, std::vector<std::string>{""});
}

TEST_F(InputSetResolve, NamesAreAppendedToWhatIsThere) {
  names_ = {"earlier"};
  ASSERT_EQ(resolve({"a.txt"}), INPUT_SET_OK);
  EXPECT_EQ(names_, (std::vector<std::string>{"earlier", "a.txt"}));
}

TEST(InputSetResolveWithoutWorkingDirectory, OnlyRelativeInputsFail) {
  std::string root = "untouched";
  std::vector<std::string> names;
  EXPECT_EQ(input_set_resolve({"/data/a.txt", "b.txt"}, nullptr, &root, &names),
            INPUT_SET_NO_WORKING_DIRECTORY);
  EXPECT_EQ(root, "untouched");
  EXPECT_TRUE(names.empty());

  ASSERT_EQ(input_set_resolve({"/data/a.txt", "/data/b.txt"}, nullptr, &root, &names),
            INPUT_SET_OK);
  EXPECT_EQ(root, "/data");
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST(CheckInputSet, RelativeInputsResolveAgainstTheRealWorkingDirectory) {
  std::string cwd;
  ASSERT_TRUE(current_directory(&cwd));
  char expected[4096];
  ASSERT_NE(getcwd(expected, sizeof expected), nullptr);
  EXPECT_EQ(cwd, expected);

  ConfigPtr config(config_create());
  ASSERT_NE(config, nullptr);
  ASSERT_EQ(check_input_set({"x.txt", "y"}, config.get()), INPUT_SET_OK);
  EXPECT_EQ(config->input_root, cwd);
  EXPECT_EQ(config->inputs, (std::vector<std::string>{"x.txt", "y"}));

  ConfigPtr other(config_create());
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(check_input_set({"x.txt", "sub/y"}, other.get()), INPUT_SET_NO_COMMON_ROOT);
  EXPECT_EQ(other->input_root, "");
  EXPECT_TRUE(other->inputs.empty());
}

TEST(CheckOutputDirectory, OnlyAnExistingFolderPasses) {
  TempDir dir;
  dir.make_dir("out");
  dir.touch("file");
  EXPECT_EQ(check_output_directory(dir.path() + "/out"), 0);
  EXPECT_EQ(check_output_directory(dir.path() + "/out/"), 0);
  EXPECT_EQ(check_output_directory(dir.path() + "/file"), OUTPUT_DIRECTORY_INVALID);
  EXPECT_EQ(check_output_directory(dir.path() + "/missing"), OUTPUT_DIRECTORY_INVALID);
  EXPECT_EQ(check_output_directory(""), OUTPUT_DIRECTORY_INVALID);
  // Nothing is created on the way.
  EXPECT_NE(access((dir.path() + "/missing").c_str(), F_OK), 0);
}
