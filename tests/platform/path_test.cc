// The path queries row by row with the edge cases their header documents,
// and path_join.
#include "platform/path.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

TEST(PathQueries, EdgeRowsAnsweredWithViewsIntoTheArgument) {
  // Bytes behind the view must not matter.
  const std::string_view cut = std::string_view("dir/log.txt/more").substr(0, 11);
  const struct {
    std::string_view (*query)(std::string_view);
    std::string_view input, expected;
  } rows[] = {
      {path_basename, "a//f", "f"},  {path_basename, "a/b/", ""},   {path_basename, "f", "f"},
      {path_basename, "", ""},       {path_basename, cut, "log.txt"},
      {path_extension, "a.b.TXT", "TXT"}, {path_extension, "dir.d/log", "log"},
      {path_extension, "log.", ""},       {path_extension, ".txt", "txt"},
      {path_extension, "a.d/", ""},       {path_extension, "", ""}, {path_extension, cut, "txt"},
      {path_strip_extension, "d/a.b.txt", "d/a.b"}, {path_strip_extension, "d/log.", "d/log."},
      {path_strip_extension, "d/txt", "d"},         {path_strip_extension, "txt", ""},
      {path_strip_extension, "d/.txt", "d/"},       {path_strip_extension, "a/", "a/"},
      {path_strip_extension, "", ""},               {path_strip_extension, cut, "dir/log"},
      {path_dir_prefix, "a//f", "a//"}, {path_dir_prefix, "/f", "/"}, {path_dir_prefix, "f", ""},
      {path_dir_prefix, "", ""},        {path_dir_prefix, cut, "dir/"},
  };
  for (const auto& row : rows) {
    std::string_view result = row.query(row.input);
    EXPECT_EQ(result, row.expected) << "row " << (&row - rows);
    EXPECT_TRUE(result.empty() || (result.data() >= row.input.data() &&
                                   result.end() <= row.input.end()))
        << "row " << (&row - rows) << " copies";
  }
  for (std::string_view p : {"/", "/a/b"}) EXPECT_TRUE(path_is_absolute(p)) << p;
  for (std::string_view p : {"", "a/b", "\\a"}) EXPECT_FALSE(path_is_absolute(p)) << p;
}

TEST(PathJoin, AddsOneSeparatorUnlessASideIsEmpty) {
  const struct {
    std::string_view a, b, expected;
  } rows[] = {
      {"", "b", "b"}, {"a", "", "a"}, {"x/", "y", "x//y"}, {"a", "/b", "a//b"}, {"", "", ""},
  };
  for (const auto& row : rows) EXPECT_EQ(path_join(row.a, row.b), row.expected) << row.a;
}
