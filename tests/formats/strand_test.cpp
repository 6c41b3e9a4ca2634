#include "formats/strand.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

namespace varnex {
namespace {

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
