#include <gtest/gtest.h>

#include "lists.h"

namespace pulldex {
namespace {

using testing::listFromPattern;

TEST(FrameList, Gap) {
  struct Case {
    const char* pattern;
    std::int64_t position;
    std::int64_t gap;
  } cases[] = {
      {"K--K", 0, 2},     // Unlisted entries between two kept ones
      {"KCCK", 0, 2},     // Copy counts like Unlisted
      {"K-CK", 0, 2},     //
      {"KK", 0, 0},       // adjacent kept entries
      {"K--K", 3, 0},     // the last entry
      {"K--K", 4, 0},     // past the end
      {"K--K", 1000, 0},  //
      {"K-----", 0, 5},   // no kept entry follows: up to the end
      {"-K", 0, 0},       // the position itself need not be kept
      {"--K", 0, 1},      //
      {"", 0, 0},         // an empty list
  };
  for (const Case& c : cases) {
    EXPECT_EQ(listFromPattern(c.pattern).gap(c.position), c.gap) << c.pattern << " at " << c.position;
  }
}

TEST(FrameList, OtherStateValuesAreNotKept) {
  FrameList list = listFromPattern("K--K");
  list.entries[1].state = 7;
  EXPECT_EQ(list.gap(0), 2);
}

}  // namespace
}  // namespace pulldex
