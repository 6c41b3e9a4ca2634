#include "merge/numbers.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <random>
#include <string>
#include <cmath>

namespace varnex {
namespace {

TEST(ProbabilityWriter, DefaultSixDigitStyle) {
  probability_writer writer;
  auto text = [&writer](double v) {
    char buffer[32];
    return std::string(buffer, writer.put(buffer, v));
  };
  // Against to_chars, values sharing a cache slot and the written-at-once
  // 0 and 1 among them, signed (-9 marks a conflict).
  std::mt19937_64 random(11);
  const double special[] = {0.0, 1.0, 9.0, 1e300, 5e-324};
  for (int i = 0; i < 100000; ++i) {
    double v = i % 16 ? std::ldexp(static_cast<double>(random() >> 11), -53) * (random() % 2 ? 1 : 1e-6)
                      : special[random() % 5];
    if (random() % 4 == 0) v = -v;
    char expected[32];
    char* last = std::to_chars(expected, expected + 32, v, std::chars_format::general, 6).ptr;
    ASSERT_EQ(text(v), std::string(expected, last));
  }
}

}  // namespace
}  // namespace varnex
