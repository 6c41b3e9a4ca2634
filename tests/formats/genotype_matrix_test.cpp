#include "formats/genotype_matrix.hpp"

#include <gtest/gtest.h>

#include <new>
#include <random>
#include <vector>

namespace varnex {

namespace {

// Random calls written call by call (as PED to GEN fills a row) or a word at
// a time (as GEN to PED does), against a plain array of calls; read back by
// word and as bytes, across word, byte and chunk edges (chunks of a few
// words hold a row or two, or less than one).
TEST(GenotypeMatrix, AgreesWithAPlainArrayOfCalls) {
  std::mt19937_64 random(29);
  for (int round = 0; round < 300; ++round) {
    const std::uint64_t rows = random() % 9;
    const std::uint64_t calls = random() % 4 ? random() % 140 : 32 * (random() % 5);
    std::vector<genotype_call> plain(rows * calls);
    for (genotype_call& c : plain) c = static_cast<genotype_call>(random() % 4);
    genotype_matrix matrix((calls + 31) / 32, 8 * (1 + random() % 20));
    for (std::uint64_t r = 0; r < rows; ++r) {
      if (round % 2) {
        genotype_matrix::row_writer row(matrix.add_row());
        for (std::uint64_t k = 0; k < calls; ++k) row.put(plain[r * calls + k]);
        continue;
      }
      std::uint64_t* words = matrix.add_row();
      for (std::uint64_t k = 0; k < calls; ++k) words[k / 32] |= std::uint64_t(plain[r * calls + k]) << (2 * (k % 32));
    }
    ASSERT_EQ(matrix.rows(), rows);
    for (std::uint64_t r = 0; r < rows; ++r) {
      const std::uint64_t* words = matrix.row(r);
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(words);
      for (std::uint64_t k = 0; k < calls; ++k) {
        ASSERT_EQ(packed_call(bytes, k), plain[r * calls + k]) << round << " " << r << " " << k;
        ASSERT_EQ((words[k / 32] >> (2 * (k % 32))) & 3, plain[r * calls + k]);
      }
      for (std::uint64_t k = calls; k % 32; ++k) ASSERT_EQ(packed_call(bytes, k), call_aa);
    }
  }
  genotype_matrix no_calls(0);
  no_calls.add_row();
  EXPECT_THROW(genotype_matrix(std::uint64_t(1) << 62).add_row(), std::bad_alloc);
}

}  // namespace
}  // namespace varnex
