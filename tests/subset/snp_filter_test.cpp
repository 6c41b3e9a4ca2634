#include "subset/snp_filter.hpp"

#include <gtest/gtest.h>

namespace varnex {
namespace {

id_set make_set(std::initializer_list<const char*> tokens) {
  id_set set;
  for (const char* t : tokens) set.add(t);
  set.seal();
  return set;
}

TEST(SnpFilter, RangeBoundsAreInclusiveAndEndZeroOrBelowIsOpen) {
  snp_filter f;
  f.range_flag = true;
  f.start = 100;
  f.end = 200;
  EXPECT_FALSE(f.selects("s", "r", 99));
  EXPECT_TRUE(f.selects("s", "r", 100));
  EXPECT_TRUE(f.selects("s", "r", 200));
  EXPECT_FALSE(f.selects("s", "r", 201));
  f.end = 0;
  EXPECT_TRUE(f.selects("s", "r", 2147483647));
  f.end = -1;
  EXPECT_TRUE(f.selects("s", "r", 2147483647));
  f.start = 0;
  EXPECT_TRUE(f.selects("s", "r", 0));
  EXPECT_FALSE(f.selects("s", "r", -1));
}

TEST(SnpFilter, InclusionWinsOverRangeAndExclusion) {
  id_set incl = make_set({"rs1", "snp2"});
  id_set excl = make_set({"rs1", "rs3"});
  snp_filter f;
  f.inclusion = &incl;
  f.exclusion = &excl;
  f.range_flag = true;
  f.start = 100;
  f.end = 200;
  f.inclusion_flag = true;
  f.exclusion_flag = true;
  EXPECT_TRUE(f.selects("snpx", "rs1", 5));     // listed: outside range and excluded
  EXPECT_TRUE(f.selects("snp2", "rsx", 500));   // listed by snp_id
  EXPECT_FALSE(f.selects("snpx", "rs3", 150));  // in range but excluded
  EXPECT_TRUE(f.selects("snpx", "rs4", 150));   // in range
  EXPECT_FALSE(f.selects("snpx", "rs4", 250));
}

TEST(SnpFilter, ListsAlone) {
  id_set incl = make_set({"rs1"});
  id_set excl = make_set({"snp9"});
  snp_filter only_incl;
  only_incl.inclusion_flag = true;
  only_incl.inclusion = &incl;
  EXPECT_TRUE(only_incl.selects("a", "rs1", 1));
  EXPECT_TRUE(only_incl.selects("rs1", "b", 1));
  EXPECT_FALSE(only_incl.selects("a", "b", 1));
  snp_filter only_excl;
  only_excl.exclusion_flag = true;
  only_excl.exclusion = &excl;
  EXPECT_FALSE(only_excl.selects("snp9", "rs9", 1));
  EXPECT_TRUE(only_excl.selects("snp8", "rs9", 1));
  // An empty inclusion list selects nothing, even with an exclusion list.
  id_set none;
  only_excl.inclusion_flag = true;
  only_excl.inclusion = &none;
  EXPECT_FALSE(only_excl.selects("snp8", "rs8", 1));
}

TEST(TooMissing, StrictComparisonsAtThresholdAndLimit) {
  // threshold 0.9: (0.9, 0.05, 0.05) is called, (0.5, 0.3, 0.2) is missing.
  const double probs[] = {0.9, 0.05, 0.05, 0.5, 0.3, 0.2, 1, 0, 0, 0, 0, 1};
  EXPECT_TRUE(too_missing(probs, 4, 0.9, 0.2));    // 0.25 > 0.2
  EXPECT_FALSE(too_missing(probs, 4, 0.9, 0.25));  // 0.25 is not above 0.25
  EXPECT_FALSE(too_missing(probs, 0, 0.9, 0.0));   // no samples
  const double none[] = {0, 0, 0};
  EXPECT_TRUE(too_missing(none, 1, 0.9, 0.99));
  EXPECT_FALSE(too_missing(none, 1, 0.0, 0.0));    // 0 is not below 0
}

}  // namespace
}  // namespace varnex
