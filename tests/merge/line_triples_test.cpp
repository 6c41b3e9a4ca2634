#include "merge/line_triples.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "formats/text.hpp"
#include "formats/probability_text.hpp"
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

// The line as a reader of single-space-separated tokens sees it.
TEST(LineTriples, AgreesWithTokenByTokenReading) {
  std::mt19937_64 random(11);
  const std::vector<std::string> tokens = {
      "0", "1", "0", "0", "5", "0.5", "0.25", "0.0123", "0.9811", "0.000123", "0.333333",
      "0.123456", "1.5", "9.99999", "0.0001", "0.00001", "1.0", "-0", "1e-3", ".5", "5.", "00.5",
      "0.5x", "10", "123456", "12.3456", "0.0000", "0.1000", "0.1234567", "01", "0.", "1.2.3"};
  token_verdicts verdicts;
  line_triples line;
  const bool wide = line_triples::wide_scan;
  for (int round = 0; round < 20000; ++round) {
    // Both ways of classifying bytes, where the processor has the wide one.
    line_triples::wide_scan = wide && round % 2 == 0;
    // Common tokens only (the first fifteen), or any of them with now and
    // then a tab, a double space or a carriage return.
    const std::size_t count = random() % 60;
    const bool odd = random() % 3 == 0;
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
      if (i) {
        const unsigned r = static_cast<unsigned>(random() % 400);
        text += odd && r == 0 ? "\t" : odd && r == 1 ? "  " : " ";
      }
      text += tokens[odd ? random() % tokens.size() : random() % 15];
    }
    if (random() % 5 == 0) text += "\r";
    const std::size_t wanted = random() % 25;

    std::string trimmed = text;
    while (!trimmed.empty() && is_blank(trimmed.back())) trimmed.pop_back();
    std::vector<std::string> split;  // a double space gives an empty token
    std::istringstream words(trimmed);
    for (std::string word; std::getline(words, word, ' ');) split.push_back(word);
    const std::size_t m = std::min(split.size() / 3, wanted);
    bool fit = true;
    for (std::size_t i = 0; i < 3 * m; ++i) fit &= is_canonical_probability(split[i]);
    if (m < wanted) {
      std::string rest;
      for (std::size_t i = 3 * m; i < split.size(); ++i) rest += split[i];
      fit &= rest.find('\t') == std::string::npos && rest.find('\r') == std::string::npos;
    }
    ASSERT_EQ(line.scan(text, wanted, verdicts), fit) << text << " / " << wanted;
    if (!fit) continue;
    ASSERT_EQ(line.triples(), m) << text;
    for (std::size_t j = 0; j < m; ++j) {
      EXPECT_EQ(line.missing(j), split[3 * j] == "0" && split[3 * j + 1] == "0" && split[3 * j + 2] == "0");
      double x[3];
      line.values(j, x);
      for (int t = 0; t < 3; ++t) {
        const std::string& token = split[3 * j + static_cast<std::size_t>(t)];
        double expected = -1;
        read_probability(token.data(), token.data() + token.size(), expected);
        EXPECT_EQ(line.token(j, t), token);
        EXPECT_EQ(x[t], expected) << token;
      }
    }
    // Tokens found in any order, as the runs of a merge ask for them.
    for (int probe = 0; probe < 8 && m; ++probe) {
      const std::size_t j = random() % m;
      const int t = static_cast<int>(random() % 3);
      EXPECT_EQ(line.token(j, t), split[3 * j + static_cast<std::size_t>(t)]);
    }
    std::string joined;
    for (std::size_t i = 0; i < 3 * m; ++i) joined += (i ? " " : "") + split[i];
    if (m) {
      EXPECT_EQ(line.span(0, m), joined);
    }
  }
  line_triples::wide_scan = wide;
}

}  // namespace
}  // namespace varnex
