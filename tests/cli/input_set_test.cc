// The input-set check from its table of cases, on a working directory that
// need not exist (/home/user).
#include "cli/input_set.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/filesystem.h"

TEST(InputPathClean, BackSlashesDoubledAndTrailingSlashes) {
  const struct {
    const char* in;
    const char* out;
  } rows[] = {
      {"/home/user/logs\\day1", "/home/user/logs/day1"}, {"\\\\server\\share", "/server/share"},
      // One pass over non-overlapping pairs.
      {"/a//b", "/a/b"}, {"/a///b", "/a//b"}, {"/a////b", "/a//b"}, {"/a/////b", "/a///b"},
      {"/media/card/LOG/", "/media/card/LOG"},
      {"/media/card/LOG//", "/media/card/LOG"},  // the pair becomes one, then it goes
      {"/home/user/./b.txt", "/home/user/./b.txt"}, {"/home/user/../x.txt", "/home/user/../x.txt"},
      {"/", ""}, {"", ""},
  };
  for (const auto& row : rows) EXPECT_EQ(input_path_clean(row.in), row.out) << row.in;
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
      {&home, {"logs\\day1"}, INPUT_SET_OK, "/home/user/logs", {"day1"}},
      {&home, {"/home/user/a.txt", "b.txt", "/home/user//c"}, INPUT_SET_OK, "/home/user",
       {"a.txt", "b.txt", "c"}},
      {&home, {"a.txt", "a.txt"}, INPUT_SET_OK, "/home/user", {"a.txt", "a.txt"}},
      {&home, {"../x.txt"}, INPUT_SET_OK, "/home/user/..", {"x.txt"}},
      {&home, {"a/.."}, INPUT_SET_OK, "/home/user/a", {".."}},
      {&home, {"..."}, INPUT_SET_OK, "/home/user", {"..."}},
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
