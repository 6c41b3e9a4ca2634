#include "formats/gen.hpp"

#include <gtest/gtest.h>

#include <string>

namespace varnex {
namespace {

TEST(GenLine, FiveLeadingFieldsAndTheRest) {
  gen_line g = split_gen_line("SNP_A rs1001 10250 A G 1 0 0 0.25 0.75 0");
  EXPECT_EQ(g.snp_id, "SNP_A");
  EXPECT_EQ(g.rs_id, "rs1001");
  EXPECT_EQ(g.position_text, "10250");
  EXPECT_EQ(g.position, 10250);
  EXPECT_TRUE(g.position_ok);
  EXPECT_EQ(g.allele_a, "A");
  EXPECT_EQ(g.allele_b, "G");
  EXPECT_EQ(g.leading_fields, 5);
  EXPECT_EQ(count_fields(g.probabilities), 6u);
  EXPECT_EQ(g.probabilities, " 1 0 0 0.25 0.75 0");
}

TEST(GenLine, TabsRunsOfSpacesAndCarriageReturn) {
  gen_line g = split_gen_line("\t22  rs5\t\t-100 CAA C 0 1 0\r");
  EXPECT_EQ(g.snp_id, "22");
  EXPECT_EQ(g.rs_id, "rs5");
  EXPECT_EQ(g.position, -100);
  EXPECT_EQ(g.allele_a, "CAA");
  EXPECT_EQ(g.allele_b, "C");
  EXPECT_EQ(count_fields(g.probabilities), 3u);

  gen_line bare = split_gen_line("s r 7 A T\r");
  EXPECT_EQ(bare.allele_b, "T");
  EXPECT_EQ(count_fields(bare.probabilities), 0u);
}

// Short lines and bad positions are read, never rejected.
TEST(GenLine, MalformedLinesReadAsEmptyFieldsAndPositionZero) {
  gen_line short_line = split_gen_line("SNP1 rs1 100");
  EXPECT_EQ(short_line.leading_fields, 3);
  EXPECT_EQ(short_line.position, 100);
  EXPECT_EQ(short_line.allele_a, "");
  EXPECT_EQ(short_line.allele_b, "");
  EXPECT_EQ(short_line.probabilities, "");

  gen_line empty = split_gen_line("");
  EXPECT_EQ(empty.leading_fields, 0);
  EXPECT_EQ(empty.snp_id, "");
  EXPECT_EQ(empty.position, 0);
  EXPECT_FALSE(empty.position_ok);

  for (const char* position : {"12abc", "1.5", "2147483648", "x", "-"}) {
    std::string text = std::string("SNP1 rs1 ") + position + " A G 1 0 0";
    gen_line g = split_gen_line(text);
    EXPECT_EQ(g.position, 0) << position;
    EXPECT_FALSE(g.position_ok) << position;
    EXPECT_EQ(g.position_text, position);
    EXPECT_EQ(g.allele_a, "A");
  }
}

TEST(GenLine, SamplesFromTheFirstLine) {
  EXPECT_EQ(samples_in_first_line("SNP1 rs1 100 A G 1 0 0 0 0.5 0.5"), 2);
  EXPECT_EQ(samples_in_first_line("SNP1\trs1  100 A G 1 0 0 0 0.5 0.5\r"), 2);
  EXPECT_EQ(samples_in_first_line("SNP1 rs1 100 A G"), 0);
  EXPECT_EQ(samples_in_first_line("SNP1 rs1 100 A G 1 0 0 0"), 1);  // truncated
  EXPECT_EQ(samples_in_first_line("SNP1 rs1 100 A"), 0);
  EXPECT_EQ(samples_in_first_line(""), -1);
}

}  // namespace
}  // namespace varnex
