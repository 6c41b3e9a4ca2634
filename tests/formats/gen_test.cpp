#include "formats/gen.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "temp_dir.hpp"

namespace varnex {
namespace {

using varnex::testing::written;

// Every one-byte allele and a few longer ones: only A, C, G and T have a
// complement; the rest get the caller's fallback.
TEST(ComplementAllele, OnlyTheFourBasesHaveOne) {
  const std::string bases = "ACGT", complements = "TGCA";
  for (int c = 0; c < 256; ++c) {
    const std::string allele(1, static_cast<char>(c));
    const std::size_t at = bases.find(allele);
    const std::string want = at == std::string::npos ? "x" : std::string(1, complements[at]);
    EXPECT_EQ(complement_allele(allele, "x"), want) << c;
  }
  for (const char* allele : {"", "AT", "CAA", "a"}) EXPECT_EQ(complement_allele(allele, allele), allele);
}

// Random leading fields, read back from a line and written again, against
// joining them by hand: the position as a number, or as it stands when it
// is not a 32-bit integer.
TEST(PutGenHead, SingleSpacedFieldsPositionAsANumber) {
  std::mt19937 random(21);
  const std::string alphabet = "AC_rs0123456789-+.x";
  auto word = [&](std::size_t most) {
    std::string w(1 + random() % most, ' ');
    for (char& c : w) c = alphabet[random() % alphabet.size()];
    return w;
  };
  std::string expected;
  const std::string text = written([&](output_file& out) {
    for (int round = 0; round < 20000; ++round) {
      const std::string ids[2] = {word(40), word(12)}, alleles[2] = {word(3), word(60)};
      std::string position = random() % 2 ? std::to_string(static_cast<std::int32_t>(random())) : word(12);
      if (random() % 4 == 0) position = "+00" + position;
      const std::string line = ids[0] + "\t" + ids[1] + "  " + position + " " + alleles[0] + " " + alleles[1] + " 1 0 0";
      const gen_line g = split_gen_line(line);
      put_gen_head(out, g);
      out.put('\n');
      expected += ids[0] + " " + ids[1] + " " + (g.position_ok ? std::to_string(g.position) : position) + " " +
                  alleles[0] + " " + alleles[1] + "\n";
    }
  });
  EXPECT_EQ(text, expected);
}

}  // namespace
}  // namespace varnex
