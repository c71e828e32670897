// The input-set check from its table of cases, on a working directory that
// need not exist (/home/user).
#include "cli/input_set.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/filesystem.h"

TEST(InputSet, CleaningAndResolvingTable) {
  // clang-format off
  for (auto [in, out] : {std::pair{"\\\\server\\share", "/server/share"}, {"/a///b", "/a//b"},
                         {"/a////b", "/a//b"}, {"/a/////b", "/a///b"}, {"/m/LOG//", "/m/LOG"},
                         {"/h/./../x", "/x"}, {"/", ""}, {"/a/b/../..", ""}, {"/../x/.", "/x"},
                         {"/a//b/../c", "/a/c"}, {"/a\\.\\b\\", "/a/b"}, {"a/../b", "a/../b"}}) {
    // clang-format on
    EXPECT_EQ(input_path_clean(in), out) << in;
  }
  FileSystem home{&kFileSystemBaseOps, "/home/user"};  // only its root is used
  using Names = std::vector<std::string>;
  const std::string kUntouched = "untouched";  // a failed check leaves both outputs alone
  const int kNoRoot = INPUT_SET_NO_COMMON_ROOT;
  const struct {
    FileSystem* cwd;
    Names args;
    int result;
    std::string root;
    Names names;
  } rows[] = {
      // clang-format off
      {&home, {"/media/card/LOG/"}, INPUT_SET_OK, "/media/card", {"LOG"}},
      {&home, {"logs\\day1"}, INPUT_SET_OK, "/home/user/logs", {"day1"}},
      {&home, {"/home/user/a.txt", "b.txt", "/home/user//c"}, INPUT_SET_OK, "/home/user",
       {"a.txt", "b.txt", "c"}},
      {&home, {"../x.txt"}, INPUT_SET_OK, "/home", {"x.txt"}},
      {&home, {""}, INPUT_SET_OK, "/home", {"user"}},
      {&home, {"."}, INPUT_SET_OK, "/home", {"user"}},
      {&home, {"..", "../"}, INPUT_SET_OK, "/home", {"", ""}},
      {&home, {"a.txt", "./b.txt", "../user/c"}, INPUT_SET_OK, "/home/user", {"a.txt", "b.txt", "c"}},
      {&home, {"/data"}, INPUT_SET_OK, "/data", {""}},
      {&home, {"a.txt", "sub/b.txt"}, kNoRoot, kUntouched, {}},
      {&home, {"a.txt", "/home/user//b.txt", "/elsewhere/c.txt"}, kNoRoot, kUntouched, {}},
      {&home, {}, kNoRoot, kUntouched, {}},
      // Only relative inputs need the working directory.
      {nullptr, {"/data/a.txt", "b.txt"}, INPUT_SET_NO_WORKING_DIRECTORY, kUntouched, {}},
      {nullptr, {"/data/a.txt", "/data/b.txt"}, INPUT_SET_OK, "/data", {"a.txt", "b.txt"}},
      // clang-format on
  };
  for (const auto& row : rows) {
    std::string root = kUntouched;
    Names names;
    EXPECT_EQ(input_set_resolve(row.args, row.cwd, &root, &names), row.result)
        << "row " << (&row - rows);
    EXPECT_EQ(std::pair(root, names), std::pair(row.root, row.names)) << "row " << (&row - rows);
  }
}
