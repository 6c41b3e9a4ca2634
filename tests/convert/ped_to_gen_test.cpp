#include "convert/ped_to_gen.hpp"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace varnex {
namespace {

// Codes PAIRS at one SNP in PED order from the alleles AB ("-" unseen): the
// calls as digits (0 AA, 1 AB, 2 BB, 3 missing), a space, the alleles after.
std::string coded(std::string ab, std::initializer_list<const char*> pairs) {
  std::string out;
  for (const char* p : pairs) out += char('0' + code_pair(ab[0], ab[1], p[0], p[1]));
  return out + " " + ab;
}

TEST(CodePair, DiscoveryMissingAndASetSecondAllele) {
  EXPECT_EQ(coded("--", {"GG", "AG", "AA"}), "012 GA");
  EXPECT_EQ(coded("--", {"AA", "AG"}), "01 AG");
  EXPECT_EQ(coded("--", {"CT"}), "1 CT");  // a heterozygote met first: its second character is B
  // Missing looks at the first character only: "A 0" is a heterozygote whose
  // second allele is the character 0.
  EXPECT_EQ(coded("--", {"0A", "NN"}), "33 --");
  EXPECT_EQ(coded("--", {"0A", "NN", "AA", "A0"}), "3301 A0");
  // Alleles preset by the MAP.
  EXPECT_EQ(coded("CT", {"TT", "CT", "0G"}), "213 CT");
}

// Pairs that would give a SNP a third allele, from the alleles so far: once
// both are known any other character (the second one too); with one known,
// two others that differ; a missing pair never.
TEST(ThirdAllele, RefusedOnceTheAllelesAreKnown) {
  const char* refused[] = {"CT GA", "CT GG", "CT CG", "AC A0", "A- CG", "A- GC"};
  const char* taken[] = {"CT TC", "CT 0G", "CT NG", "A- CC", "A- CA", "A- A0", "-- CG", "A- GA"};
  for (const char* c : refused) EXPECT_TRUE(third_allele(c[0], c[1], c[3], c[4])) << c;
  for (const char* c : taken) EXPECT_FALSE(third_allele(c[0], c[1], c[3], c[4])) << c;
}

// The fused check and code against third_allele then code_pair, on every
// state and pair over a small alphabet (b is never known without a).
TEST(CodeCheckedPair, AgreesWithThirdAlleleThenCodePair) {
  const char chars[] = "-ACG0N";
  for (char a : std::string(chars))
    for (char b : std::string(chars)) {
      if (a == '-' && b != '-') continue;
      for (char first : std::string(chars + 1))
        for (char second : std::string(chars + 1)) {
          char a1 = a, b1 = b, a2 = a, b2 = b;
          genotype_call c1 = call_missing, c2 = call_missing;
          const bool ok1 = code_checked_pair(a1, b1, first, second, c1);
          const bool ok2 = !third_allele(a2, b2, first, second);
          if (ok2) c2 = code_pair(a2, b2, first, second);
          const std::string at{a, b, ' ', first, second};
          ASSERT_EQ(ok1, ok2) << at;
          if (ok1) EXPECT_EQ(std::string({char('0' + c1), a1, b1}), std::string({char('0' + c2), a2, b2})) << at;
          else EXPECT_EQ(std::string({a1, b1}), std::string({a, b})) << at;
        }
    }
}

// The alleles order_alleles writes, then "+" when it flipped them.
std::string ordered(char first, char second, bool groups) {
  gen_alleles g = order_alleles(first, second, groups);
  return std::string{g.a, g.b} + (g.flipped ? "+" : "");
}

TEST(OrderAlleles, AscendingWithNumericSpelling) {
  EXPECT_EQ(ordered('G', 'A', false), "AG+");
  EXPECT_EQ(ordered('1', '2', false), "AC");
  EXPECT_EQ(ordered('-', '-', false), "--");
  // A byte above 127 is a negative character and sorts first.
  EXPECT_EQ(ordered('A', '\xe9', false), "\xe9""A+");
  // '1' sorts before 'C'. The single output spells by the allele written
  // first (1 -> A, C stays as it is); the group outputs by the first seen (C).
  EXPECT_EQ(ordered('C', '1', false), "AC+");
  EXPECT_EQ(ordered('C', '1', true).substr(0, 2), "1C");
  // First seen 2 with a second allele 0: written "0 2"; spelled only for groups.
  EXPECT_EQ(ordered('2', '0', false).substr(0, 2), "02");
  EXPECT_EQ(ordered('2', '0', true).substr(0, 2), "NC");
}

}  // namespace
}  // namespace varnex
