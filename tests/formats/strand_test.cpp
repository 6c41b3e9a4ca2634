#include "formats/strand.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace varnex {
namespace {

// A position and "+" or "-" make an entry; any other token, or a position
// that is not a whole 32-bit number (never read as 0), is no entry, and the
// texts are kept for the report.
TEST(StrandLine, EntriesAndLinesToReport) {
  struct strand_case {
    const char* line;
    bool position_ok;
    std::int32_t position;
    char orientation;
    const char *position_text, *token;
  };
  for (const strand_case& c : std::vector<strand_case>{{"752566 -", true, 752566, '-', "752566", "-"},
                                                       {"\t-12\t+  extra tokens\r", true, -12, '+', "-12", "+"},
                                                       {"500 x", true, 500, 0, "500", "x"},
                                                       {"500 ++", true, 500, 0, "500", "++"},
                                                       {"500", true, 500, 0, "500", ""},
                                                       {"abc +", false, 0, 0, "abc", "+"},
                                                       {"500abc -", false, 0, 0, "500abc", "-"},
                                                       {"2147483648 +", false, 0, 0, "2147483648", "+"},
                                                       {"1.5 -", false, 0, 0, "1.5", "-"},
                                                       {"rs12 +", false, 0, 0, "rs12", "+"},
                                                       {"", false, 0, 0, "", ""}}) {
    SCOPED_TRACE(c.line);
    strand_line s = parse_strand_line(c.line);
    EXPECT_EQ(s.position_ok, c.position_ok);
    if (c.position_ok) {
      EXPECT_EQ(s.position, c.position);
    }
    EXPECT_EQ(s.orientation, c.orientation);
    EXPECT_EQ(s.position_text, c.position_text);
    EXPECT_EQ(s.token, c.token);
  }
}

TEST(StrandMap, LaterLineForAPositionWins) {
  strand_map empty;
  empty.finish();
  EXPECT_EQ(empty.find(0), 0);
  strand_map m;
  for (auto [position, orientation] : std::vector<std::pair<std::int32_t, char>>{
           {500, '+'}, {-3, '-'}, {2147483647, '-'}, {-2147483647 - 1, '+'}, {500, '-'}, {7, '-'}, {7, '+'}})
    m.add(position, orientation);
  m.finish();
  EXPECT_EQ(m.size(), 5u);
  for (auto [position, orientation] : std::vector<std::pair<std::int32_t, char>>{
           {500, '-'}, {7, '+'}, {-3, '-'}, {2147483647, '-'}, {-2147483647 - 1, '+'}, {0, 0}, {3, 0}, {501, 0}})
    EXPECT_EQ(m.find(position), orientation) << position;
}

}  // namespace
}  // namespace varnex
