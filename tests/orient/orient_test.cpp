#include "orient/orient.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace varnex {
namespace {

std::string oriented(std::string_view probabilities, std::string_view a, std::string_view b,
                     char orientation, bool order) {
  std::string out(orient_snp_bound(probabilities, a, b), '#');
  char* end = orient_snp(probabilities, a, b, orientation, order, out.data());
  EXPECT_LE(end - out.data(), static_cast<long>(out.size()));
  out.resize(end - out.data());
  return out;
}

TEST(Complement, FourLettersOnly) {
  for (auto [in, out] : std::vector<std::pair<const char*, const char*>>{{"A", "T"}, {"C", "G"}, {"G", "C"}, {"T", "A"}})
    EXPECT_EQ(complement(in), out);
  for (const char* other : {"N", "a", "t", "AG", "CAA", "-", "0", "D", ""}) EXPECT_EQ(complement(other), other);
}

TEST(OrientSnp, ComplementThenOrder) {
  EXPECT_EQ(oriented(" 0.1 0.2 0.7 1 0 0", "A", "G", '-', false), "T C 0.1 0.2 0.7 1 0 0");
  EXPECT_EQ(oriented(" 0.1 0.2 0.7 1 0 0", "A", "G", '-', true), "C T 0.7 0.2 0.1 0 0 1");
  EXPECT_EQ(oriented(" 0.1 0.2 0.7", "G", "A", '+', false), "G A 0.1 0.2 0.7");
  EXPECT_EQ(oriented(" 0.1 0.2 0.7", "G", "A", '+', true), "A G 0.7 0.2 0.1");
  // Complemented C/A is G/T: already in order, so not swapped.
  EXPECT_EQ(oriented(" 0.1 0.2 0.7", "C", "A", '-', true), "G T 0.1 0.2 0.7");
  EXPECT_EQ(oriented(" 0.1 0.2 0.7", "C", "C", '-', true), "G G 0.1 0.2 0.7");
}

TEST(OrientSnp, OrderComparesWholeAllelesBytewise) {
  EXPECT_EQ(oriented(" 1 2 3", "AA", "A", '+', true), "A AA 3 2 1");
  EXPECT_EQ(oriented(" 1 2 3", "A", "AA", '+', true), "A AA 1 2 3");
  EXPECT_EQ(oriented(" 1 2 3", "a", "T", '+', true), "T a 3 2 1");
  // Not complemented (not one of the four letters), but still ordered.
  EXPECT_EQ(oriented(" 1 2 3", "N", "A", '-', true), "N T 1 2 3");
  EXPECT_EQ(oriented(" 1 2 3", "CAA", "C", '-', false), "CAA G 1 2 3");
  EXPECT_EQ(oriented(" 1 2 3", "CAA", "C", '-', true), "CAA G 1 2 3");
}

TEST(OrientSnp, TokensCopiedVerbatimAndIncompleteTripleDropped) {
  EXPECT_EQ(oriented(" 1.0 0.000 1e-4 .5 -0 +1", "A", "C", '+', false),
            "A C 1.0 0.000 1e-4 .5 -0 +1");
  EXPECT_EQ(oriented(" 1.0 0.000 1e-4 .5 -0 +1", "C", "A", '+', true),
            "A C 1e-4 0.000 1.0 +1 -0 .5");
  for (bool order : {false, true}) {
    EXPECT_EQ(oriented(" 1 0 0 0 1", "A", "C", '+', order), "A C 1 0 0");
    EXPECT_EQ(oriented(" 1 0 0 0", "A", "C", '+', order), "A C 1 0 0");
    EXPECT_EQ(oriented(" 1 0", "A", "C", '+', order), "A C");
    EXPECT_EQ(oriented(" 1", "A", "C", '+', order), "A C");
    EXPECT_EQ(oriented("", "A", "C", '+', order), "A C");
  }
  EXPECT_EQ(oriented(" 1 0 0 0 1", "C", "A", '+', true), "A C 0 0 1");
  EXPECT_EQ(oriented(" 1 0", "C", "A", '+', true), "A C");
  EXPECT_EQ(oriented(" 1", "C", "A", '+', true), "A C");
  EXPECT_EQ(oriented("", "C", "A", '+', true), "A C");
}

TEST(OrientSnp, AnyWhiteSpaceBecomesSingleSpaces) {
  for (const char* text : {"\t1 2\t3  4 5 6\r", "  1 2 3 4 5 6", " 1 2 3 4 5 6 ", " 1 2 3 4 5 6\t",
                           " 1 2 3 4\v5\f6 7", "\t\t1\t2\t3\t4\t5\t6\t7 8"}) {
    EXPECT_EQ(oriented(text, "A", "C", '+', false), "A C 1 2 3 4 5 6") << text;
    EXPECT_EQ(oriented(text, "C", "A", '+', true), "A C 3 2 1 6 5 4") << text;
  }
  EXPECT_EQ(oriented(" ", "A", "C", '+', true), "A C");
  EXPECT_EQ(oriented("\r", "A", "C", '+', true), "A C");
}

// Token lengths from 1 to 13 bytes, so that tokens straddle every block
// boundary of the scan; then any other white space at places all along it.
TEST(OrientSnp, LongLinesSingleSpacedAndIrregular) {
  std::string in, swapped;
  for (int k = 0; k < 1000; ++k) {
    std::string t1 = std::to_string(k % 10), t2 = "0." + std::to_string(k * 7), t3 = std::string(k % 13 + 1, 'x');
    in += " " + t1 + " " + t2 + " " + t3;
    swapped += " " + t3 + " " + t2 + " " + t1;
  }
  EXPECT_EQ(oriented(in + " 9", "T", "G", '+', false), "T G" + in);
  EXPECT_EQ(oriented(in + " 9 8", "T", "G", '+', true), "G T" + swapped);
  for (std::size_t at = 1; at < in.size(); at += 37) {
    std::size_t space = in.find(' ', at);
    if (space == std::string::npos) break;
    for (const char* odd : {"\t", "  ", " \r", "\v", "\f ", "\n"}) {
      std::string text = in;
      text.replace(space, 1, odd);
      EXPECT_EQ(oriented(text, "T", "G", '+', false), "T G" + in) << at << " " << int(odd[0]);
      EXPECT_EQ(oriented(text, "T", "G", '+', true), "G T" + swapped) << at << " " << int(odd[0]);
    }
  }
  EXPECT_EQ(oriented(in + "\r", "T", "G", '+', false), "T G" + in);
  EXPECT_EQ(oriented(in + " ", "T", "G", '+', true), "G T" + swapped);
}

}  // namespace
}  // namespace varnex
