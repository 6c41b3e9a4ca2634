#include "subset/triple_writer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "formats/text.hpp"
#include "temp_dir.hpp"

namespace varnex {
namespace {

using varnex::testing::written;

std::string kept(std::string_view line, const std::vector<char>& keep) {
  return written([&](output_file& out) { put_kept_triples(out, line, keep); });
}
std::string all(std::string_view line, std::size_t n) {
  return written([&](output_file& out) { put_all_triples(out, line, n); });
}

TEST(PutKeptTriples, KeptSamplesOnlyShortLinesAsZerosNonNumbersAsZero) {
  struct kept_case {
    const char* line;
    std::vector<char> keep;
    const char* written;
  };
  for (const kept_case& c : std::vector<kept_case>{
           {" 1 0 0 0.5 0.25 0.25 0.123456 0.876544 0", {1, 0, 1}, "1 0 0 0.1235 0.8765 0 "},
           {"\t1\t\t0  0.5 1e-1 -0 .25\r", {1, 1}, "1 0 0.5000 0.1000 -0 0.2500 "},
           // Short lines read as zeros; values past the last sample are ignored.
           {" 1 0", {1, 0, 1, 1}, "1 0 0 0 0 0 0 0 0 "}, {" 1 0 0 1 1", {1, 0, 1, 1}, "1 0 0 0 0 0 0 0 0 "},
           {"", {1, 0, 1, 1}, "0 0 0 0 0 0 0 0 0 "}, {" 0 0 1 7 7 7", {1}, "0 0 1 "}, {" 0 0 1", {}, ""},
           // A non-number reads as 0 without moving the other values.
           {" abc 0.5x 1 NA 0 1", {1, 1}, "0 0.5000 1 0 0 1 "}})
    EXPECT_EQ(kept(c.line, c.keep), c.written) << c.line;
}

TEST(PutKeptTriples, LongLinesAcrossBlocks) {
  // 2000 samples of varied widths, every other one kept.
  std::mt19937 rng(5);
  const char* values[] = {"0", "1", "0.012345", "0.5", "0.99996", "0.333333333", "1.0"};
  const char* expect[] = {"0", "1", "0.0123", "0.5000", "1.0000", "0.3333", "1"};
  std::string line, expected;
  std::vector<char> keep;
  for (int i = 0; i < 2000; ++i) {
    keep.push_back(i % 2 == 0);
    for (int k = 0; k < 3; ++k) {
      int v = static_cast<int>(rng() % 7);
      line += (rng() % 5 == 0) ? "  " : " ";
      line += values[v];
      if (keep.back()) expected += std::string(expect[v]) + " ";
    }
  }
  EXPECT_EQ(kept(line, keep), expected);
}

TEST(PutAllTriples, SameAsKeepingEverySample) {
  std::mt19937 rng(9);
  const char* values[] = {"0", "1", "0.012345", "0.5", "0.99996", "1.0", "abc", "1e-3", "0.03125",
                          "0.129", "-0", "12.5"};
  const char* gaps[] = {" ", " ", " ", "  ", "\t", " \r"};
  for (int round = 0; round < 300; ++round) {
    std::size_t n = rng() % 40;
    std::size_t fields = 3 * n + rng() % 7 - std::min<std::size_t>(3 * n, rng() % 7);
    std::string line;
    for (std::size_t f = 0; f < fields; ++f) {
      line += gaps[rng() % 6];
      line += values[rng() % (rng() % 2 ? 2 : 12)];
    }
    if (rng() % 2) line += " ";
    ASSERT_EQ(all(line, n), kept(line, std::vector<char>(n, 1))) << line;
  }
  EXPECT_EQ(all(" 1 0 0 0.5 0.25 0.25 7", 2), "1 0 0 0.5000 0.2500 0.2500 ");
  EXPECT_EQ(all(" 1 0 0 1 0", 2), "1 0 0 1 0 0 ");
}

TEST(ReadProbabilities, ZerosWhereTheLineIsShort) {
  std::vector<double> probs(6, 7.0);
  read_probabilities(" 0.9 0.05\tx 1", probs);
  EXPECT_EQ(probs, (std::vector<double>{0.9, 0.05, 0, 1, 0, 0}));
}

}  // namespace
}  // namespace varnex
