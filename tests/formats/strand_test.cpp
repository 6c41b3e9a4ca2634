#include "formats/strand.hpp"

#include <gtest/gtest.h>

namespace varnex {
namespace {

TEST(StrandLine, ReadsPositionAndToken) {
  strand_line s = parse_strand_line("752566 -");
  EXPECT_TRUE(s.position_ok);
  EXPECT_EQ(s.position, 752566);
  EXPECT_EQ(s.orientation, '-');

  s = parse_strand_line("\t-12\t+  extra tokens\r");
  EXPECT_EQ(s.position, -12);
  EXPECT_EQ(s.orientation, '+');
}

TEST(StrandLine, OtherTokensAndUnreadablePositionsAreNoEntry) {
  strand_line s = parse_strand_line("500 x");
  EXPECT_TRUE(s.position_ok);
  EXPECT_EQ(s.orientation, 0);
  EXPECT_EQ(s.token, "x");

  s = parse_strand_line("500 ++");
  EXPECT_EQ(s.orientation, 0);

  s = parse_strand_line("500");
  EXPECT_EQ(s.orientation, 0);
  EXPECT_EQ(s.token, "");

  // Never position 0: the text is kept for the report.
  for (const char* text : {"abc +", "500abc -", "2147483648 +", "1.5 -"}) {
    s = parse_strand_line(text);
    EXPECT_FALSE(s.position_ok) << text;
    EXPECT_EQ(s.orientation, 0) << text;
  }
  s = parse_strand_line("rs12 +");
  EXPECT_EQ(s.position_text, "rs12");
  EXPECT_EQ(s.token, "+");

  s = parse_strand_line("");
  EXPECT_FALSE(s.position_ok);
  EXPECT_EQ(s.position_text, "");
  EXPECT_EQ(s.token, "");
}

TEST(StrandMap, LaterLineForAPositionWins) {
  strand_map m;
  m.add(500, '+');
  m.add(-3, '-');
  m.add(2147483647, '-');
  m.add(-2147483647 - 1, '+');
  m.add(500, '-');
  m.add(7, '-');
  m.add(7, '+');
  m.finish();
  EXPECT_EQ(m.size(), 5u);
  EXPECT_EQ(m.find(500), '-');
  EXPECT_EQ(m.find(7), '+');
  EXPECT_EQ(m.find(-3), '-');
  EXPECT_EQ(m.find(2147483647), '-');
  EXPECT_EQ(m.find(-2147483647 - 1), '+');
  EXPECT_EQ(m.find(0), 0);
  EXPECT_EQ(m.find(3), 0);
  EXPECT_EQ(m.find(501), 0);
}

TEST(StrandMap, EmptyMapFindsNothing) {
  strand_map m;
  m.finish();
  EXPECT_EQ(m.find(0), 0);
}

}  // namespace
}  // namespace varnex
