#include "merge/reconcile.hpp"

#include <gtest/gtest.h>

#include <array>

namespace varnex {
namespace {

TEST(CompareAlleles, FirstMatchingRuleDecides) {
  using v = allele_verdict;
  struct row {
    const char *a, *b, *ref_a, *ref_b;
    allele_verdict verdict;
  };
  for (const row& r : {row{"A", "G", "A", "G", v::same}, row{"G", "A", "A", "G", v::reverse},
                       row{"T", "C", "A", "G", v::complement}, row{"C", "T", "A", "G", v::reverse_complement},
                       // Strand-symmetric pairs: the swap is tried before the complement.
                       row{"T", "A", "A", "T", v::reverse}, row{"G", "C", "C", "G", v::reverse},
                       row{"A", "C", "A", "G", v::different},
                       // Only upper-case single letters complement; longer alleles
                       // still match by equality and by swapping.
                       row{"t", "c", "A", "G", v::different}, row{"TT", "C", "AA", "G", v::different},
                       row{"C", "CAA", "CAA", "C", v::reverse}, row{"D", "P", "D", "P", v::same}})
    EXPECT_EQ(compare_alleles(r.a, r.b, r.ref_a, r.ref_b), r.verdict) << r.a << r.b << " " << r.ref_a << r.ref_b;
}

TEST(MergeTriple, RulesInOrder) {
  using o = triple_outcome;
  using t = std::array<double, 3>;
  struct row {
    t x, current;
    double threshold;  // 2.0: none given
    triple_outcome outcome;
    t after;
  };
  for (row r : {// Missing in this input: the current value stays.
                row{{0, 0, 0}, {0.1, 0.8, 0.1}, 2.0, o::kept, {0.1, 0.8, 0.1}},
                // Identical: stays, whatever the threshold.
                row{{0.1, 0.8, 0.1}, {0.1, 0.8, 0.1}, 0.0, o::kept, {0.1, 0.8, 0.1}},
                // Both call AB at 0.9: hard call; with no threshold any difference conflicts.
                row{{0, 0.95, 0.05}, {0, 0.92, 0.08}, 0.9, o::called, {0, 1, 0}},
                row{{0, 0.95, 0.05}, {0, 0.92, 0.08}, 2.0, o::conflict, {-9, -9, -9}},
                // First value taken; at threshold 0 it becomes the hard call of genotype 1.
                row{{0.2, 0.3, 0.5}, {0, 0, 0}, 2.0, o::taken, {0.2, 0.3, 0.5}},
                row{{0.2, 0.3, 0.5}, {0, 0, 0}, 0.0, o::called, {1, 0, 0}},
                // A marked conflict conflicts again with anything present.
                row{{1, 0, 0}, {-9, -9, -9}, 0.5, o::conflict, {-9, -9, -9}},
                row{{0, 0, 0}, {-9, -9, -9}, 0.5, o::kept, {-9, -9, -9}},
                // The threshold is inclusive.
                row{{0.9, 0.1, 0}, {0.95, 0.05, 0}, 0.9, o::called, {1, 0, 0}},
                row{{0.1, 0.1, 0.8}, {0, 0.05, 0.95}, 0.9, o::conflict, {-9, -9, -9}}}) {
    const t x = r.x;
    EXPECT_EQ(merge_triple(r.x.data(), r.current.data(), r.threshold), r.outcome)
        << x[0] << " " << x[1] << " " << x[2] << " at " << r.threshold;
    EXPECT_EQ(r.current, r.after) << x[0] << " " << x[1] << " " << x[2] << " at " << r.threshold;
  }
}

}  // namespace
}  // namespace varnex
