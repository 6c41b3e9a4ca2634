#include "orient/orient.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace varnex {
namespace {

// What follows the position on the output line.
std::string oriented(std::string_view probabilities, std::string_view a, std::string_view b,
                     char orientation, bool order) {
  const std::string line = "S r 07 " + std::string(a) + " " + std::string(b) + std::string(probabilities);
  const gen_line g = split_gen_line(line);
  std::string out(orient_snp_bound(g), '#');
  char* end = orient_snp(g, orientation, order, out.data());
  EXPECT_LE(end - out.data(), static_cast<long>(out.size()));
  out.resize(end - out.data());
  EXPECT_EQ(out.substr(0, 6), "S r 7 ");
  return out.substr(6);
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
