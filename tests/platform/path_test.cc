// Path queries and path_join, row by row with the edge cases that their
// header documents: the tables here are the ones in platform/path.h.
#include "platform/path.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

using PathQuery = std::string_view (*)(std::string_view);

TEST(PathQueries, TableOfEdgeCasesAnsweredWithViewsIntoTheArgument) {
  // The queries take a length, so bytes behind the view must not matter.
  const std::string_view cut = std::string_view("dir/log.txt/more").substr(0, 11);
  const struct {
    PathQuery query;
    std::string_view input;
    std::string_view expected;
  } rows[] = {
      {path_basename, "a/b/f", "f"},     {path_basename, "f", "f"},
      {path_basename, "a/b/", ""},       {path_basename, "/", ""},
      {path_basename, "", ""},           {path_basename, "/f", "f"},
      {path_basename, "a//f", "f"},      {path_basename, "a\\b", "a\\b"},
      {path_basename, "./..", ".."},     {path_basename, "dir.d/log", "log"},

      {path_extension, "log.txt", "txt"},     {path_extension, "a.b.TXT", "TXT"},
      {path_extension, "dir.d/log", "log"},   {path_extension, "log.", ""},
      {path_extension, ".txt", "txt"},        {path_extension, "a/", ""},
      {path_extension, "logs/txt", "txt"},    {path_extension, "TXT", "TXT"},
      {path_extension, "", ""},               {path_extension, "/", ""},
      {path_extension, "a.d/", ""},           {path_extension, "a/.hidden", "hidden"},
      {path_extension, "x/a.tar.gz", "gz"},   {path_extension, "..", ""},

      {path_strip_extension, "d/log.txt", "d/log"},  {path_strip_extension, "d/a.b.txt", "d/a.b"},
      {path_strip_extension, "d/log.", "d/log."},    {path_strip_extension, "d/txt", "d"},
      {path_strip_extension, "txt", ""},             {path_strip_extension, "", ""},
      {path_strip_extension, ".txt", ""},            {path_strip_extension, "d/.txt", "d/"},
      {path_strip_extension, "a/", "a/"},
      {path_strip_extension, "logs_out/2021/00000001.TXT", "logs_out/2021/00000001"},

      {path_dir_prefix, "a/b/f", "a/b/"},  {path_dir_prefix, "/f", "/"},
      {path_dir_prefix, "a/b/", "a/b/"},   {path_dir_prefix, "f", ""},
      {path_dir_prefix, "", ""},           {path_dir_prefix, "/", "/"},
      {path_dir_prefix, "a//f", "a//"},
      {path_dir_prefix, "logs_out/2021/00000001", "logs_out/2021/"},

      {path_basename, cut, "log.txt"},       {path_extension, cut, "txt"},
      {path_strip_extension, cut, "dir/log"}, {path_dir_prefix, cut, "dir/"},
  };
  for (const auto& row : rows) {
    std::string_view result = row.query(row.input);
    SCOPED_TRACE(testing::Message() << "row " << (&row - rows) << ", input " << row.input);
    EXPECT_EQ(result, row.expected);
    // The queries never copy: a non-empty result lies inside the argument.
    EXPECT_TRUE(result.empty() || (result.data() >= row.input.data() &&
                                   result.data() + result.size() <=
                                       row.input.data() + row.input.size()));
  }
}

TEST(PathJoin, AddsOneSeparatorUnlessASideIsEmpty) {
  const struct {
    std::string_view a, b, expected;
  } rows[] = {
      {"", "b", "b"},      {"a", "", "a"}, {"x/", "y", "x//y"}, {"/", "y", "//y"},
      {"a", "/b", "a//b"}, {"", "", ""},   {"a/b", "c.txt", "a/b/c.txt"},
      {"root", "..", "root/.."},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(path_join(row.a, row.b), row.expected) << "a: " << row.a << " b: " << row.b;
  }
}

TEST(PathIsAbsolute, OnlyALeadingSlashCounts) {
  for (std::string_view p : {"/", "/a/b"}) EXPECT_TRUE(path_is_absolute(p)) << p;
  for (std::string_view p : {"", "a/b", "\\a", "./a"}) EXPECT_FALSE(path_is_absolute(p)) << p;
}
