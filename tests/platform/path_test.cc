// The path queries with the edge cases their header documents, answered with
// views into the argument, and path_join.
#include "platform/path.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

TEST(PathQueries, EdgeRowsAnsweredWithViewsIntoTheArgument) {
  const std::string_view cut =
      std::string_view("dir/log.txt/more").substr(0, 11);  // bytes behind the view must not matter
  using Query = std::string_view (*)(std::string_view);
  const Query base = path_basename, ext = path_extension, strip = path_strip_extension,
              dir = path_dir_prefix;
  const struct {
    Query query;
    std::string_view input, expected;
  } rows[] = {
      // clang-format off
      {base, "a//f", "f"}, {base, "a/b/", ""}, {base, "f", "f"}, {base, cut, "log.txt"},
      {ext, "a.b.TXT", "TXT"}, {ext, "dir.d/log", "log"}, {ext, "log.", ""}, {ext, ".txt", "txt"},
      {ext, "a.d/", ""}, {ext, cut, "txt"},
      {strip, "d/a.b.txt", "d/a.b"}, {strip, "d/log.", "d/log."}, {strip, "d/txt", "d"},
      {strip, "txt", ""}, {strip, "d/.txt", "d/"}, {strip, "a/", "a/"}, {strip, cut, "dir/log"},
      {dir, "a//f", "a//"}, {dir, "/f", "/"}, {dir, "f", ""}, {dir, cut, "dir/"},
      {base, "", ""}, {ext, "", ""}, {strip, "", ""}, {dir, "", ""},
      // clang-format on
  };
  for (const auto& row : rows) {
    std::string_view result = row.query(row.input);
    EXPECT_EQ(result, row.expected) << "row " << (&row - rows);
    EXPECT_TRUE(result.empty() ||
                (result.data() >= row.input.data() && result.end() <= row.input.end()))
        << "row " << (&row - rows) << " copies";
  }
  EXPECT_TRUE(path_is_absolute("/") && !path_is_absolute("") && !path_is_absolute("a/b"));
  EXPECT_EQ(path_join("", "b") + "|" + path_join("a", "") + "|" + path_join("x/", "y"), "b|a|x//y");
}
