// Path queries and path_join, row by row with the edge cases that their
// header documents: the tables here are the ones in platform/path.h.
#include "platform/path.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {
struct PathRow {
  std::string_view input;
  std::string_view expected;
};
struct JoinRow {
  std::string_view a;
  std::string_view b;
  std::string_view expected;
};
}  // namespace

// A view result must lie inside its argument: the queries never copy.
static bool views_into(std::string_view result, std::string_view argument) {
  if (result.empty()) return true;
  return result.data() >= argument.data() &&
         result.data() + result.size() <= argument.data() + argument.size();
}

TEST(PathBasename, TableOfEdgeCases) {
  const PathRow rows[] = {
      {"a/b/f", "f"}, {"f", "f"},       {"a/b/", ""}, {"/", ""},
      {"", ""},       {"/f", "f"},      {"a//f", "f"}, {"a\\b", "a\\b"},
      {"./..", ".."}, {"dir.d/log", "log"},
  };
  for (const PathRow& row : rows) {
    std::string_view result = path_basename(row.input);
    EXPECT_EQ(result, row.expected) << "input: " << row.input;
    EXPECT_TRUE(views_into(result, row.input)) << "input: " << row.input;
  }
}

TEST(PathExtension, TableOfEdgeCases) {
  const PathRow rows[] = {
      {"log.txt", "txt"},   {"a.b.TXT", "TXT"}, {"dir.d/log", "log"}, {"log.", ""},
      {".txt", "txt"},      {"a/", ""},         {"logs/txt", "txt"},  {"TXT", "TXT"},
      {"", ""},             {"/", ""},          {"a.d/", ""},         {"a/.hidden", "hidden"},
      {"x/a.tar.gz", "gz"}, {"..", ""},
  };
  for (const PathRow& row : rows) {
    std::string_view result = path_extension(row.input);
    EXPECT_EQ(result, row.expected) << "input: " << row.input;
    EXPECT_TRUE(views_into(result, row.input)) << "input: " << row.input;
  }
}

TEST(PathStripExtension, TableOfEdgeCases) {
  const PathRow rows[] = {
      {"d/log.txt", "d/log"},
      {"d/a.b.txt", "d/a.b"},
      {"d/log.", "d/log."},
      {"d/txt", "d"},
      {"txt", ""},
      {"", ""},
      {".txt", ""},
      {"d/.txt", "d/"},
      {"a/", "a/"},
      {"logs_out/2021/00000001.TXT", "logs_out/2021/00000001"},
  };
  for (const PathRow& row : rows) {
    std::string_view result = path_strip_extension(row.input);
    EXPECT_EQ(result, row.expected) << "input: " << row.input;
    EXPECT_TRUE(views_into(result, row.input)) << "input: " << row.input;
    // Always a prefix: the stem's length is what the pipeline keeps.
    EXPECT_EQ(row.input.substr(0, result.size()), result) << "input: " << row.input;
  }
}

TEST(PathDirPrefix, TableOfEdgeCases) {
  const PathRow rows[] = {
      {"a/b/f", "a/b/"}, {"/f", "/"}, {"a/b/", "a/b/"}, {"f", ""},
      {"", ""},          {"/", "/"},  {"a//f", "a//"},
      {"logs_out/2021/00000001", "logs_out/2021/"},
  };
  for (const PathRow& row : rows) {
    std::string_view result = path_dir_prefix(row.input);
    EXPECT_EQ(result, row.expected) << "input: " << row.input;
    EXPECT_TRUE(views_into(result, row.input)) << "input: " << row.input;
  }
}

TEST(PathJoin, AddsOneSeparatorUnlessASideIsEmpty) {
  const JoinRow rows[] = {
      {"", "b", "b"},         {"a", "", "a"},   {"x/", "y", "x//y"}, {"/", "y", "//y"},
      {"a", "/b", "a//b"},    {"", "", ""},     {"a/b", "c.txt", "a/b/c.txt"},
      {"root", "..", "root/.."},
  };
  for (const JoinRow& row : rows) {
    EXPECT_EQ(path_join(row.a, row.b), row.expected) << "a: " << row.a << " b: " << row.b;
  }
}

TEST(PathQueries, ArgumentNeedsNoTerminator) {
  // The queries take a length, so bytes behind the view must not matter.
  const std::string storage = "dir/log.txt/more";
  std::string_view p(storage.data(), 11);  // "dir/log.txt"
  EXPECT_EQ(path_basename(p), "log.txt");
  EXPECT_EQ(path_extension(p), "txt");
  EXPECT_EQ(path_strip_extension(p), "dir/log");
  EXPECT_EQ(path_dir_prefix(p), "dir/");
}

TEST(PathIsAbsolute, OnlyALeadingSlashCounts) {
  EXPECT_TRUE(path_is_absolute("/"));
  EXPECT_TRUE(path_is_absolute("/a/b"));
  EXPECT_FALSE(path_is_absolute(""));
  EXPECT_FALSE(path_is_absolute("a/b"));
  EXPECT_FALSE(path_is_absolute("\\a"));
  EXPECT_FALSE(path_is_absolute("./a"));
}
