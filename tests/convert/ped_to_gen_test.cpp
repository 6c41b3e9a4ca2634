#include "convert/ped_to_gen.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varnex {
namespace {

// Codes a column of pairs at one SNP, in PED order.
std::vector<genotype_code> code_all(char& a, char& b, const std::vector<std::string>& pairs) {
  std::vector<genotype_code> codes;
  for (const std::string& p : pairs) codes.push_back(code_pair(a, b, p[0], p[1]));
  return codes;
}

TEST(CodePair, DiscoveryOrders) {
  char a = '-', b = '-';
  EXPECT_EQ(code_all(a, b, {"GG", "AG", "AA"}),
            (std::vector<genotype_code>{code_hom_a, code_het, code_hom_b}));
  EXPECT_EQ(a, 'G');
  EXPECT_EQ(b, 'A');

  a = b = '-';
  EXPECT_EQ(code_all(a, b, {"AA", "AG"}), (std::vector<genotype_code>{code_hom_a, code_het}));
  EXPECT_EQ(b, 'G');

  // A heterozygote met first: the second character becomes B.
  a = b = '-';
  code_all(a, b, {"CT"});
  EXPECT_EQ(a, 'C');
  EXPECT_EQ(b, 'T');
}

TEST(CodePair, MissingLooksAtTheFirstCharacterOnly) {
  char a = '-', b = '-';
  EXPECT_EQ(code_pair(a, b, '0', 'A'), code_missing);
  EXPECT_EQ(code_pair(a, b, 'N', 'N'), code_missing);
  EXPECT_EQ(a, '-');
  // "A 0" is a heterozygote whose second allele is the character 0.
  EXPECT_EQ(code_pair(a, b, 'A', 'A'), code_hom_a);
  EXPECT_EQ(code_pair(a, b, 'A', '0'), code_het);
  EXPECT_EQ(b, '0');
}

TEST(CodePair, HomozygoteReplacesASetSecondAllele) {
  char a = 'C', b = 'T';  // preset by the MAP
  EXPECT_EQ(code_pair(a, b, 'T', 'T'), code_hom_b);
  EXPECT_EQ(code_pair(a, b, 'G', 'A'), code_het);  // never changes a set B
  EXPECT_EQ(b, 'T');
  EXPECT_EQ(code_pair(a, b, 'G', 'G'), code_hom_b);
  EXPECT_EQ(b, 'G');
}

TEST(OrderAlleles, AscendingWithNumericSpelling) {
  gen_alleles g = order_alleles('G', 'A', false);
  EXPECT_EQ(g.a, 'A');
  EXPECT_EQ(g.b, 'G');
  EXPECT_TRUE(g.flipped);
  g = order_alleles('1', '2', false);
  EXPECT_EQ(std::string({g.a, g.b}), "AC");
  EXPECT_FALSE(g.flipped);
  g = order_alleles('-', '-', false);
  EXPECT_EQ(std::string({g.a, g.b}), "--");
  EXPECT_FALSE(g.flipped);
  // A byte above 127 is a negative character and sorts first.
  g = order_alleles('A', '\xe9', false);
  EXPECT_TRUE(g.flipped);
}

TEST(OrderAlleles, MixedCodingTranslationDecision) {
  // '1' sorts before 'C'. The single output spells by the allele written
  // first (1 -> A, C stays as it is); the group outputs by the first seen (C).
  gen_alleles single = order_alleles('C', '1', false);
  EXPECT_EQ(std::string({single.a, single.b}), "AC");
  EXPECT_TRUE(single.flipped);
  gen_alleles group = order_alleles('C', '1', true);
  EXPECT_EQ(std::string({group.a, group.b}), "1C");
  // First seen 2 with a second allele 0: written "0 2"; spelled only for groups.
  EXPECT_EQ(std::string({order_alleles('2', '0', false).a, order_alleles('2', '0', false).b}), "02");
  EXPECT_EQ(std::string({order_alleles('2', '0', true).a, order_alleles('2', '0', true).b}), "NC");
}

TEST(NumericAllele, TableAndOtherCharacters) {
  EXPECT_EQ(std::string({numeric_allele('1'), numeric_allele('2'), numeric_allele('3'),
                         numeric_allele('4'), numeric_allele('0'), numeric_allele('-')}),
            "ACGTN-");
  EXPECT_EQ(numeric_allele('5'), '5');
  EXPECT_EQ(numeric_allele('A'), 'A');
}

TEST(SettleSecondAllele, OnlyWhenUnseen) {
  char b = '-';
  settle_second_allele('G', b);
  EXPECT_EQ(b, 'G');
  b = 'T';
  settle_second_allele('G', b);
  EXPECT_EQ(b, 'T');
}

TEST(GroupFileName, BeforeTheFirstGzOrAtTheEnd) {
  EXPECT_EQ(group_file_name("out.gen", "2"), "out.gen_2");
  EXPECT_EQ(group_file_name("out.gen.gz", "2"), "out.gen_2.gz");
  EXPECT_EQ(group_file_name("out.sample", "-9"), "out.sample_-9");
  EXPECT_EQ(group_file_name("a.gz.x.gz", "case"), "a_case.gz.x.gz");
  EXPECT_EQ(group_file_name("dir.gzip/out", "1.0"), "dir_1.0.gzip/out");
  EXPECT_EQ(group_file_name("out.GZ", "1"), "out.GZ_1");
}

TEST(PackedGenotypes, RowsRoundTripAcrossWordAndByteEdges) {
  // 70 SNPs: two whole words and a partial one of six codes (two bytes).
  const std::uint64_t n = 5, m = 70;
  packed_genotypes g(n, m);
  EXPECT_EQ(g.row_bytes(), 18u);
  EXPECT_EQ(g.bytes(), 90u);
  auto code_of = [](std::uint64_t s, std::uint64_t k) {
    return static_cast<genotype_code>((s * 7 + k * 3 + k / 5) % 4);
  };
  for (std::uint64_t s = 0; s < n; ++s) {
    packed_genotypes::row_writer row(g, s);
    for (std::uint64_t k = 0; k < m; ++k) row.put(code_of(s, k));
    row.finish();
  }
  for (std::uint64_t s = 0; s < n; ++s)
    for (std::uint64_t k = 0; k < m; ++k) ASSERT_EQ(g.get(s, k), code_of(s, k)) << s << " " << k;
  EXPECT_EQ(g.word(1, 0) & 3, code_of(1, 0));
  EXPECT_EQ((g.word(4, 2) >> 10) & 3, code_of(4, 69));
}

TEST(PackedGenotypes, ExactMultiplesAndSingleSnp) {
  for (std::uint64_t m : {1u, 4u, 32u, 64u}) {
    packed_genotypes g(3, m);
    for (std::uint64_t s = 0; s < 3; ++s) {
      packed_genotypes::row_writer row(g, s);
      for (std::uint64_t k = 0; k < m; ++k) row.put(static_cast<genotype_code>((s + k) % 4));
      row.finish();
    }
    for (std::uint64_t s = 0; s < 3; ++s)
      for (std::uint64_t k = 0; k < m; ++k) ASSERT_EQ(g.get(s, k), (s + k) % 4) << m;
  }
}

}  // namespace
}  // namespace varnex
