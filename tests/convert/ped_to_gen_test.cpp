#include "convert/ped_to_gen.hpp"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace varnex {
namespace {

// Codes PAIRS at one SNP in PED order from the alleles AB ("-" unseen): the
// codes as digits (0 missing, 1 AA, 2 AB, 3 BB), a space, the alleles after.
std::string coded(std::string ab, std::initializer_list<const char*> pairs) {
  std::string out;
  for (const char* p : pairs) out += char('0' + code_pair(ab[0], ab[1], p[0], p[1]));
  return out + " " + ab;
}

TEST(CodePair, DiscoveryMissingAndASetSecondAllele) {
  EXPECT_EQ(coded("--", {"GG", "AG", "AA"}), "123 GA");
  EXPECT_EQ(coded("--", {"AA", "AG"}), "12 AG");
  EXPECT_EQ(coded("--", {"CT"}), "2 CT");  // a heterozygote met first: its second character is B
  // Missing looks at the first character only: "A 0" is a heterozygote whose
  // second allele is the character 0.
  EXPECT_EQ(coded("--", {"0A", "NN"}), "00 --");
  EXPECT_EQ(coded("--", {"0A", "NN", "AA", "A0"}), "0012 A0");
  // Alleles preset by the MAP.
  EXPECT_EQ(coded("CT", {"TT", "CT", "0G"}), "320 CT");
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
          genotype_code c1 = code_missing, c2 = code_missing;
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

// Rows round-trip across word and byte edges: 70 SNPs are two whole words and
// a partial one of six codes (two bytes); also exact multiples and one SNP.
TEST(PackedGenotypes, RowsRoundTripAcrossWordAndByteEdges) {
  const std::uint64_t n = 5;
  auto code_of = [](std::uint64_t s, std::uint64_t k) {
    return static_cast<genotype_code>((s * 7 + k * 3 + k / 5) % 4);
  };
  for (std::uint64_t m : {70u, 1u, 4u, 32u, 64u}) {
    packed_genotypes g(n, m);
    for (std::uint64_t s = 0; s < n; ++s) {
      packed_genotypes::row_writer row(g, s);
      for (std::uint64_t k = 0; k < m; ++k) row.put(code_of(s, k));
      row.finish();
    }
    for (std::uint64_t s = 0; s < n; ++s)
      for (std::uint64_t k = 0; k < m; ++k)
        ASSERT_EQ(g.get(s, k), code_of(s, k)) << m << " " << s << " " << k;
    if (m != 70) continue;
    EXPECT_EQ(g.row_bytes(), 18u);
    EXPECT_EQ(g.bytes(), 90u);
    EXPECT_EQ(g.word(1, 0) & 3, code_of(1, 0));
    EXPECT_EQ((g.word(4, 2) >> 10) & 3, code_of(4, 69));
  }
}

}  // namespace
}  // namespace varnex
