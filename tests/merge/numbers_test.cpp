#include "merge/numbers.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <random>
#include <string>
#include <utility>

#include "formats/text.hpp"

namespace varnex {
namespace {

TEST(ReadProbability, AgreesWithTheGeneralParser) {
  auto check = [](const std::string& field) {
    double slow = -123.0, fast = -123.0;
    const std::size_t slow_used = parse_double_prefix(field, slow);
    const char* end = read_probability(field.data(), field.data() + field.size(), fast);
    ASSERT_EQ(static_cast<std::size_t>(end - field.data()), slow_used) << field;
    if (slow_used) {
      EXPECT_EQ(std::memcmp(&fast, &slow, sizeof fast), 0) << field << " " << fast << " " << slow;
    }
  };
  for (const char* field : {"0", "1", "0.5", ".5", "5.", "-0", "-0.25", "+0.75", "1.000", "0.00001",
                            "0.333333", "0.3333333333", "1e-3", "1E5", "1e", "1e+", "2.5e-3x", "0.9abc",
                            "abc", ".", "+", "-", "+-1", "12345678901234", "123456789012345",
                            "1234567890123456", "0.12345678901234567890", "99999999999999999999999",
                            "1e400", "1e-400", "0.1.2", "0x10", "inf", "nan"})
    check(field);
  // Random decimals: mostly below 1, up to 17 decimals.
  std::mt19937_64 random(7);
  for (int i = 0; i < 200000; ++i) {
    std::string field = std::to_string(random() % 3 == 0 ? static_cast<int>(random() % 100) : 0);
    const int decimals = static_cast<int>(random() % 18);
    if (decimals) field += '.';
    for (int d = 0; d < decimals; ++d) field += static_cast<char>('0' + random() % 10);
    check(field);
  }
}

TEST(ProbabilityWriter, DefaultSixDigitStyle) {
  probability_writer writer;
  auto text = [&writer](double v) {
    char buffer[32];
    return std::string(buffer, writer.put(buffer, v));
  };
  for (auto [value, expected] : std::initializer_list<std::pair<double, const char*>>{
           {0.0, "0"}, {-0.0, "-0"}, {1.0, "1"}, {0.5, "0.5"}, {1.0 / 3, "0.333333"}, {0.00001, "1e-05"},
           {-9.0, "-9"}, {0.6666566667, "0.666657"}, {123456789.0, "1.23457e+08"},
           {-1.23456789e-300, "-1.23457e-300"}})
    EXPECT_EQ(text(value), expected);
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
