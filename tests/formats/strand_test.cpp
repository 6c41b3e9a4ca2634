#include "formats/strand.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

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

// Many lines over few positions, and a growing number of positions: the map
// folds as it reads, agrees with a plain map, and holds about one entry per
// position (two while reading).
TEST(StrandMap, FoldsRepeatedPositionsWhileReading) {
  std::mt19937 random(9);
  for (std::uint32_t positions : {1000u, 300000u}) {
    strand_map m;
    std::map<std::int32_t, char> reference;
    std::size_t most = 0;
    for (int i = 0; i < 600000; ++i) {
      const std::int32_t p = static_cast<std::int32_t>(random() % positions) * 7 - 1000000;
      const char o = random() % 2 ? '+' : '-';
      m.add(p, o);
      reference[p] = o;
      most = std::max(most, m.capacity());
    }
    m.finish();
    EXPECT_EQ(m.size(), reference.size());
    EXPECT_LE(most, 2 * reference.size() + 8192);
    for (std::int32_t p = -1000000; p < -1000000 + 7 * static_cast<std::int32_t>(positions) + 3; ++p) {
      auto it = reference.find(p);
      ASSERT_EQ(m.find(p), it == reference.end() ? 0 : it->second) << p;
    }
  }
}

}  // namespace
}  // namespace varnex
