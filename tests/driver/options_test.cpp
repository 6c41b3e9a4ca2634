#include <gtest/gtest.h>

#include <set>
#include <string>

#include "driver/options.hpp"
#include "driver/progress.hpp"

namespace varnex {
namespace {

// The scan finds an option by any spelling, so no spelling may name two.
TEST(OptionTable, SpellingsAreUnique) {
  std::set<std::string> seen;
  for (const mode_row& m : mode_table) {
    EXPECT_TRUE(seen.insert(m.flag).second) << m.flag;
  }
  for (int i = 0; i < option_count; ++i) {
    const option_row& row = option_table[i];
    EXPECT_EQ(static_cast<int>(row.id), i) << row.name;  // rows in the order of `opt`
    for (const char* s : {row.name, row.alias}) {
      if (s) {
        EXPECT_TRUE(seen.insert(s).second) << s;
      }
    }
  }
}

// A mode's usage block takes its options by rank: 1, 2, ... without gaps or
// two options in one place (rank 0 is no place).
TEST(OptionTable, RanksNumberEachBlock) {
  for (const mode_row& m : mode_table) {
    std::multiset<int> ranks;
    for (const option_row& row : option_table)
      for (const option_use& u : row.uses)
        if (u.help && u.in == m.id && u.rank > 0) ranks.insert(u.rank);  // 0: not listed
    for (int r = 1; r <= static_cast<int>(ranks.size()); ++r)
      EXPECT_EQ(ranks.count(r), 1u) << m.flag << " rank " << r;
  }
}

TEST(ProgressText, KnownTotalUnknownTotalAndSmallRuns) {
  struct row {
    input_meter m;
    double seconds;
    const char* text;
  } rows[] = {
      {{0, 40'000'000, 0, true}, 1.0, ""},  // too small to show
      {{0, 65'000'000, 0, true}, 1.0, "varnex: 0.0 MB of 65.0 MB (0%), 0.0 MB/s, --:-- left"},
      {{1'200'000'000, 3'400'000'000, 9, true}, 25.0,
       "varnex: 1.2 GB of 3.4 GB (35%), 48.0 MB/s, 0:46 left"},
      {{3'400'000'000, 3'400'000'000, 9, true}, 3725.0,
       "varnex: 3.4 GB of 3.4 GB (100%), 0.9 MB/s, 0:00 left"},
      {{1'000'000'000, 1'000'000, 0, true}, 4000.0,
       "varnex: 0 lines, 1.0 GB read, 0.2 MB/s"},  // read more than the files hold
      {{60'000'000, 0, 1234567, false}, 2.0, "varnex: 1234567 lines, 60.0 MB read, 30.0 MB/s"},
      {{10'000'000, 10'000'000, 5, false}, 2.0, ""},  // a pipe, and little read
      {{50'000'000, 500'000'000, 1, true}, 10.0,
       "varnex: 50.0 MB of 500.0 MB (10%), 5.0 MB/s, 1:30 left"},
      {{50'000'000, 5'000'000'000, 1, true}, 10.0,
       "varnex: 50.0 MB of 5.0 GB (1%), 5.0 MB/s, 16:30 left"},
      {{5'000'000, 50'000'000'000, 1, true}, 10.0,
       "varnex: 5.0 MB of 50.0 GB (0%), 0.5 MB/s, 27:46:30 left"},
  };
  for (const row& r : rows) EXPECT_EQ(progress_text(r.m, r.seconds), r.text);
}

}  // namespace
}  // namespace varnex
