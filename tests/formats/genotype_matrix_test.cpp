#include "formats/genotype_matrix.hpp"

#include <gtest/gtest.h>

#include <new>
#include <random>
#include <vector>

namespace varnex {
namespace {

// Random calls written row by row (as PED to GEN fills it) or a word of 32
// at a time (as GEN to PED does), against a plain array of calls; read back
// one by one, by row and by word, across word and byte edges.
TEST(GenotypeMatrix, AgreesWithAPlainArrayOfCalls) {
  std::mt19937_64 random(29);
  for (int round = 0; round < 300; ++round) {
    const std::uint64_t n = 1 + random() % 6, m = random() % 4 ? random() % 140 : 32 * (random() % 5);
    std::vector<genotype_call> plain(n * m);
    for (genotype_call& c : plain) c = static_cast<genotype_call>(random() % 4);
    genotype_matrix matrix(n, m);
    for (std::uint64_t s = 0; s < n; ++s) {
      if (round % 2) {
        genotype_matrix::row_writer row(matrix, s);
        for (std::uint64_t k = 0; k < m; ++k) row.put(plain[s * m + k]);
        row.finish();
        continue;
      }
      for (std::uint64_t w = 0; 32 * w < m; ++w) {
        std::uint64_t word = random() & 0xAAAAAAAAAAAAAAAAull;  // past the last SNP: anything
        for (std::uint64_t k = 32 * w; k < m && k < 32 * w + 32; ++k)
          word = (word & ~(3ull << (2 * (k % 32)))) | std::uint64_t(plain[s * m + k]) << (2 * (k % 32));
        matrix.put_word(s, w, word);
      }
    }
    for (std::uint64_t s = 0; s < n; ++s)
      for (std::uint64_t k = 0; k < m; ++k) {
        ASSERT_EQ(matrix.get(s, k), plain[s * m + k]) << round << " " << s << " " << k;
        ASSERT_EQ(packed_call(matrix.row(s), k), plain[s * m + k]);
        ASSERT_EQ((matrix.word(s, k / 32) >> (2 * (k % 32))) & 3, plain[s * m + k]);
      }
  }
  // Empty and impossible sizes.
  genotype_matrix none(0, 1000), no_snps(1000, 0);
  EXPECT_THROW(genotype_matrix(std::uint64_t(1) << 40, std::uint64_t(1) << 40), std::bad_alloc);
}

}  // namespace
}  // namespace varnex
