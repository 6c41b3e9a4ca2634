#include "merge/numbers.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <random>
#include <string>

#include "formats/text.hpp"

namespace varnex {
namespace {

std::size_t fast_prefix(const std::string& field, double& value) {
  return read_probability(field.data(), field.data() + field.size(), value) - field.data();
}

void expect_same_as_general_parser(const std::string& field) {
  double slow = -123.0, fast = -123.0;
  std::size_t slow_used = parse_double_prefix(field, slow);
  std::size_t fast_used = fast_prefix(field, fast);
  ASSERT_EQ(fast_used, slow_used) << field;
  if (slow_used) {
    EXPECT_EQ(std::memcmp(&fast, &slow, sizeof fast), 0) << field << " " << fast << " " << slow;
  }
}

TEST(ReadProbability, AgreesWithTheGeneralParser) {
  for (const char* field : {"0", "1", "0.5", ".5", "5.", "-0", "-0.25", "+0.75", "1.000", "0.00001",
                            "0.333333", "0.3333333333", "1e-3", "1E5", "1e", "1e+", "2.5e-3x", "0.9abc",
                            "abc", ".", "+", "-", "+-1", "12345678901234", "123456789012345",
                            "1234567890123456", "0.12345678901234567890", "99999999999999999999999",
                            "1e400", "1e-400", "0.1.2", "0x10", "inf", "nan"})
    expect_same_as_general_parser(field);
}

TEST(ReadProbability, AgreesOnRandomDecimals) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 200000; ++i) {
    int whole = random() % 3 == 0 ? static_cast<int>(random() % 100) : 0;
    int decimals = static_cast<int>(random() % 18);
    std::string field = std::to_string(whole);
    if (decimals) {
      field += '.';
      for (int d = 0; d < decimals; ++d) field += static_cast<char>('0' + random() % 10);
    }
    expect_same_as_general_parser(field);
  }
}

TEST(ProbabilityWriter, DefaultSixDigitStyle) {
  probability_writer writer;
  auto text = [&writer](double v) {
    char buffer[32];
    return std::string(buffer, writer.put(buffer, v));
  };
  EXPECT_EQ(text(0.0), "0");
  EXPECT_EQ(text(-0.0), "-0");
  EXPECT_EQ(text(1.0), "1");
  EXPECT_EQ(text(0.5), "0.5");
  EXPECT_EQ(text(1.0 / 3), "0.333333");
  EXPECT_EQ(text(0.00001), "1e-05");
  EXPECT_EQ(text(-9.0), "-9");
  EXPECT_EQ(text(0.6666566667), "0.666657");
  EXPECT_EQ(text(123456789.0), "1.23457e+08");
  EXPECT_EQ(text(-1.23456789e-300), "-1.23457e-300");
  // Values sharing a cache slot still come out right.
  std::mt19937_64 random(11);
  for (int i = 0; i < 100000; ++i) {
    double v = std::ldexp(static_cast<double>(random() >> 11), -53) * (random() % 2 ? 1 : 1e-6);
    char expected[32];
    char* last = std::to_chars(expected, expected + 32, v, std::chars_format::general, 6).ptr;
    ASSERT_EQ(text(v), std::string(expected, last));
  }
}

}  // namespace
}  // namespace varnex
