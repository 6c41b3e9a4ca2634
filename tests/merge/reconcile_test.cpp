#include "merge/reconcile.hpp"

#include <gtest/gtest.h>

namespace varnex {
namespace {

TEST(CompareAlleles, FirstMatchingRuleDecides) {
  EXPECT_EQ(compare_alleles("A", "G", "A", "G"), allele_verdict::same);
  EXPECT_EQ(compare_alleles("G", "A", "A", "G"), allele_verdict::reverse);
  EXPECT_EQ(compare_alleles("T", "C", "A", "G"), allele_verdict::complement);
  EXPECT_EQ(compare_alleles("C", "T", "A", "G"), allele_verdict::reverse_complement);
  // Strand-symmetric pairs: the swap is tried before the complement.
  EXPECT_EQ(compare_alleles("T", "A", "A", "T"), allele_verdict::reverse);
  EXPECT_EQ(compare_alleles("G", "C", "C", "G"), allele_verdict::reverse);
  EXPECT_EQ(compare_alleles("A", "C", "A", "G"), allele_verdict::different);
}

TEST(CompareAlleles, OnlyUpperCaseSingleLettersComplement) {
  EXPECT_EQ(compare_alleles("t", "c", "A", "G"), allele_verdict::different);
  EXPECT_EQ(compare_alleles("TT", "C", "AA", "G"), allele_verdict::different);
  // Multi-letter alleles still match by equality and by swapping.
  EXPECT_EQ(compare_alleles("C", "CAA", "CAA", "C"), allele_verdict::reverse);
  EXPECT_EQ(compare_alleles("D", "P", "D", "P"), allele_verdict::same);
  EXPECT_EQ(complement_allele("N"), "");
  EXPECT_EQ(complement_allele("A"), "T");
  EXPECT_EQ(complement_allele("G"), "C");
}

TEST(CompareAlleles, WordsAndFlips) {
  EXPECT_EQ(verdict_word(allele_verdict::reverse_complement), "reverse_complement");
  EXPECT_EQ(verdict_word(allele_verdict::different), "different alleles");
  EXPECT_TRUE(verdict_flips(allele_verdict::reverse));
  EXPECT_TRUE(verdict_flips(allele_verdict::reverse_complement));
  EXPECT_FALSE(verdict_flips(allele_verdict::complement));
  EXPECT_FALSE(verdict_flips(allele_verdict::different));
}

struct triple {
  double v[3];
};

triple merged(triple x, triple c, double threshold, triple_outcome expected) {
  EXPECT_EQ(merge_triple(x.v, c.v, threshold), expected);
  return c;
}

void expect_triple(const triple& t, double a, double b, double c) {
  EXPECT_EQ(t.v[0], a);
  EXPECT_EQ(t.v[1], b);
  EXPECT_EQ(t.v[2], c);
}

TEST(MergeTriple, RulesInOrder) {
  // Missing in this input: the current value stays.
  expect_triple(merged({0, 0, 0}, {0.1, 0.8, 0.1}, 2.0, triple_outcome::kept), 0.1, 0.8, 0.1);
  // Identical: stays, whatever the threshold.
  expect_triple(merged({0.1, 0.8, 0.1}, {0.1, 0.8, 0.1}, 0.0, triple_outcome::kept), 0.1, 0.8, 0.1);
  // Both call AB at 0.9: hard call.
  expect_triple(merged({0, 0.95, 0.05}, {0, 0.92, 0.08}, 0.9, triple_outcome::called), 0, 1, 0);
  // No threshold given (2.0): any difference is a conflict.
  expect_triple(merged({0, 0.95, 0.05}, {0, 0.92, 0.08}, 2.0, triple_outcome::conflict), -9, -9, -9);
  // First value taken.
  expect_triple(merged({0.2, 0.3, 0.5}, {0, 0, 0}, 2.0, triple_outcome::taken), 0.2, 0.3, 0.5);
  // Threshold 0: even the first value becomes the hard call of genotype 1.
  expect_triple(merged({0.2, 0.3, 0.5}, {0, 0, 0}, 0.0, triple_outcome::called), 1, 0, 0);
  // A marked conflict conflicts again with anything present.
  expect_triple(merged({1, 0, 0}, {-9, -9, -9}, 0.5, triple_outcome::conflict), -9, -9, -9);
  expect_triple(merged({0, 0, 0}, {-9, -9, -9}, 0.5, triple_outcome::kept), -9, -9, -9);
}

TEST(MergeTriple, ThresholdIsInclusive) {
  expect_triple(merged({0.9, 0.1, 0}, {0.95, 0.05, 0}, 0.9, triple_outcome::called), 1, 0, 0);
  expect_triple(merged({0.1, 0.1, 0.8}, {0, 0.05, 0.95}, 0.9, triple_outcome::conflict), -9, -9, -9);
}

}  // namespace
}  // namespace varnex
