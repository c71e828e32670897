// Path queries, row by row with the edge cases their header documents.
#include "platform/path.h"

#include <gtest/gtest.h>

TEST(PathExtension, DotlessNameIsItsOwnExtension) {
  EXPECT_EQ(path_extension("logs/txt"), "txt");
  EXPECT_EQ(path_extension("log."), "");
  EXPECT_EQ(path_extension(".txt"), "txt");
}
