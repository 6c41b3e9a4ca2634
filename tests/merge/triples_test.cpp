#include "merge/triples.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <random>
#include <string>

#include "formats/text.hpp"
#include "merge/numbers.hpp"

namespace varnex {
namespace {

// What the merge would write for a token read on its own: the token is
// canonical exactly when that is the token itself, for a value of at least 0.
bool round_trips(const std::string& token) {
  double value = 0;
  if (parse_double_prefix(token, value) != token.size() || std::signbit(value)) return false;
  static probability_writer writer;
  char buffer[32];
  return std::string(buffer, writer.put(buffer, value)) == token;
}

TEST(CanonicalProbability, EdgeCases) {
  for (const char* token : {"0", "1", "9", "0.25", "0.333", "0.5", "0.0001", "0.000123", "0.333333",
                            "999999", "100000", "10", "12.3456", "12345.6", "0.00863647", "0.963531"})
    EXPECT_TRUE(is_canonical_probability(token)) << token;
  for (const char* token : {"", "0.00001", "1e-05", "1e3", "1234567", "1000000", "0.1000", "1.0",
                            "1.000", "-0", "-0.5", "+1", "00.5", "01", ".5", "5.", "0.", "0.0",
                            "0.3333333", "123456.5", "1.2.3", "0..5", "0.5x", "0x1", " 1", "1 ",
                            "inf", "nan", "0.00010"})
    EXPECT_FALSE(is_canonical_probability(token)) << token;
}

TEST(CanonicalProbability, AgreesWithReadingAndWriting) {
  std::mt19937_64 random(3);
  const std::string alphabet = "0123456789.";
  for (int i = 0; i < 300000; ++i) {
    // Random texts of digits and dots, most of them numbers of some kind.
    std::string token;
    const int n = 1 + static_cast<int>(random() % 12);
    for (int c = 0; c < n; ++c)
      token += random() % 4 ? alphabet[random() % 10] : alphabet[random() % alphabet.size()];
    ASSERT_EQ(is_canonical_probability(token), round_trips(token)) << token;
  }
  for (int i = 0; i < 300000; ++i) {
    // The writer's own output over many magnitudes: canonical unless it has
    // an exponent (left to the numbers on purpose).
    const double v = std::ldexp(static_cast<double>(random() >> 11), -53) *
                     std::pow(10.0, static_cast<int>(random() % 14) - 7);
    char text[32];
    std::string token(text, std::to_chars(text, text + 32, v, std::chars_format::general, 6).ptr);
    const bool exponent = token.find('e') != std::string::npos;
    ASSERT_EQ(is_canonical_probability(token), !exponent) << token;
    if (!exponent) {
      ASSERT_TRUE(round_trips(token)) << token;
    }
  }
}

TEST(LineTriples, SplitsCleanLines) {
  token_verdicts verdicts;
  line_triples line;
  // Long enough for the remembered-triple path; the same line twice.
  const std::string text = " 1 0 0 0.0123 0.9811 0.0066 0 0 0 0.333 0.333 0.334 0.25 0.75 0 0 0 0\r";
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_TRUE(line.scan(text, 10, verdicts));
    ASSERT_EQ(line.triples(), 6u);
    EXPECT_EQ(line.span(0, 6), text.substr(1, text.size() - 2));
    EXPECT_EQ(line.span(1, 3), "0.0123 0.9811 0.0066 0 0 0");
    EXPECT_EQ(line.token(3, 2), "0.334");
    EXPECT_FALSE(line.missing(0));
    EXPECT_TRUE(line.missing(2));
    EXPECT_TRUE(line.missing(5));
  }
  // Fewer triples wanted than held; a partial last triple is dropped.
  ASSERT_TRUE(line.scan(text, 2, verdicts));
  EXPECT_EQ(line.triples(), 2u);
  ASSERT_TRUE(line.scan("1 0 0 0.5 0.5", 5, verdicts));
  EXPECT_EQ(line.triples(), 1u);
  ASSERT_TRUE(line.scan("", 5, verdicts));
  EXPECT_EQ(line.triples(), 0u);
}

TEST(LineTriples, RefusesWhatItCannotCopy) {
  token_verdicts verdicts;
  line_triples line;
  const std::string good = "1 0 0 0 1 0 0 0 1 0.5 0.5 0 0.25 0.25 0.5 0 0 1 ";
  for (const char* bad : {"1.0", "-0", "1e-05", ".5", "00", "0.50", "abc", "0\t1"}) {
    std::string text = good + bad + " 0 0 " + good;
    EXPECT_FALSE(line.scan(text, 100, verdicts)) << bad;
    // Beyond the wanted triples nothing is looked at.
    EXPECT_TRUE(line.scan(text, 6, verdicts)) << bad;
  }
  EXPECT_FALSE(line.scan(good + " 0  0 0", 100, verdicts));  // a double space
  // A tab after the last whole triple would hide one more triple.
  EXPECT_FALSE(line.scan(good + "0.5\t0.5\t0", 100, verdicts));
  EXPECT_FALSE(line.scan("1\t0\t0", 100, verdicts));
  EXPECT_TRUE(line.scan(good + "0 0 0", 100, verdicts));
  EXPECT_EQ(line.triples(), 7u);
}

}  // namespace
}  // namespace varnex
