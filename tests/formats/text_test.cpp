#include "formats/text.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "formats/streams.hpp"
#include "temp_dir.hpp"

namespace varnex {
namespace {

// The block count against the cursor, on random lines of
// fields, every kind of white space and other control bytes, at limits
// around the true count.
TEST(MoreFieldsThan, AgreesWithCountingFields) {
  std::mt19937 random(5);
  const std::string bytes = " \t\r\v\f\n\x01\x1f!0.5-9\x7f\x80\xff";
  for (int round = 0; round < 20000; ++round) {
    std::string line(random() % 70, ' ');
    for (char& c : line) c = bytes[random() % bytes.size()];
    const std::size_t n = count_fields(line);
    for (std::size_t limit : {n, n + 1, n > 0 ? n - 1 : 0, std::size_t{0}, n / 2})
      ASSERT_EQ(more_fields_than(line, limit), n > limit) << round << " " << limit;
  }
  // Probability texts as GEN lines hold them: single separators, and other
  // white space and bytes.
  const std::string seps[] = {" ", " ", " ", "\t", "  ", "\r", "\x01", "\x80"};
  for (int round = 0; round < 3000; ++round) {
    std::string line;
    const std::size_t fields = round % 100 == 0 ? 3000 : random() % 40;
    for (std::size_t i = 0; i < fields; ++i) {
      line += round % 3 ? seps[0] : seps[random() % 8];
      line += std::string(1 + random() % 12, "0.5e9-1"[random() % 7]);
    }
    if (random() % 4 == 0) line += seps[random() % 8];
    const std::size_t n = count_fields(line);
    for (std::size_t limit : {n, n + 1, n > 0 ? n - 1 : 0})
      ASSERT_EQ(more_fields_than(line, limit), n > limit) << round << " " << limit;
  }
}

// The reference: strtol itself, held to 32 bits.
std::int32_t strtol_int32(const std::string& text) {
  const long v = std::strtol(text.c_str(), nullptr, 10);
  return static_cast<std::int32_t>(std::min<long>(std::max<long>(v, INT32_MIN), INT32_MAX));
}

TEST(LeadingInt32, ReadsLikeStrtolHeldTo32BitsAndPrefixesLikeAStream) {
  std::mt19937 random(13);
  const std::string bytes = " \t\r+-0123456789012345678989x.e";
  for (int round = 0; round < 200000; ++round) {
    std::string text(random() % 16, ' ');
    for (char& c : text) c = bytes[random() % bytes.size()];
    // Now and then a number at or beyond the 32-bit bounds.
    if (round % 8 == 0) text += std::to_string(2147483640LL + random() % 20) + std::string(random() % 12, '9');
    ASSERT_EQ(leading_int32(text), strtol_int32(text)) << text;
    // parse_int32_prefix reads the same number where no white space leads it,
    // and none beyond 32 bits.
    char* end;
    const long v = std::strtol(text.c_str(), &end, 10);
    const bool none = text.empty() || is_blank(text[0]) || v < INT32_MIN || v > INT32_MAX;
    const std::size_t used = none ? 0 : end - text.c_str();
    std::int32_t got = 0;  // untouched without a number
    ASSERT_EQ(parse_int32_prefix(text, got), used) << text;
    ASSERT_EQ(got, used ? v : 0) << text;
  }
}

// The two number styles, written through an output_file, match what printf
// makes of the same values.
std::string printed(const char* format, double x) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, x);
  return buffer;
}

TEST(NumberStyles, Fixed4AndGeneral6MatchPrintf) {
  const double inf = std::numeric_limits<double>::infinity(), max = std::numeric_limits<double>::max();
  std::vector<double> v = {0,        1,          0.5,         1.0 / 3,     2.0 / 3,     0.123456,
                           0.99996,  0.99995,    0.99994,     0.00001,     1e-05,       0.00005,
                           0.000049, 0.00004999, 1e-7,        0.9,         0.95,        0.1,
                           2.5,      10,         123456.789,  1234567,     1e6,         999999.5,
                           1e15,     1e16 + 2,   4503599627370495.5,       1e20,        1e300,
                           -0.0,     -0.5,       -1,          -0.00001,    -0.99996,    -123.45678,
                           -1e300,   5e-324,     1e-300,      0.333333,    0.666667,    0.0625,
                           1.00005,  0.12345,    0.00015,     2147483647,  -2147483648.0,
                           inf,      -inf,       max,         -max};
  std::mt19937_64 random(20240611);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::uniform_int_distribution<int> exponent(-12, 12);
  for (int i = 0; i < 20000; ++i) v.push_back(unit(random));
  for (int i = 0; i < 5000; ++i) v.push_back(std::floor(unit(random) * 1000) / 1000);
  for (int i = 0; i < 5000; ++i) v.push_back(std::floor(unit(random) * 1000000) / 1000000);
  for (int i = 0; i < 5000; ++i) v.push_back(std::floor(unit(random) * 100000) / 100000 + 0.000005);
  for (int i = 0; i < 10000; ++i) v.push_back((unit(random) - 0.5) * std::pow(10.0, exponent(random)));
  for (bool fixed : {true, false}) {
    SCOPED_TRACE(fixed ? "fixed4" : "general6");
    const std::string text = testing::written([&](output_file& out) {
      for (double x : v) {
        (out.*(fixed ? &output_file::put_fixed4 : &output_file::put_general6))(x);
        out.put('\n');
      }
    });
    std::vector<std::string> got;
    for (std::size_t at = 0, nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
      got.push_back(text.substr(at, nl - at));
    ASSERT_EQ(got.size(), v.size());
    int mismatches = 0;
    for (std::size_t i = 0; i < v.size() && mismatches < 10; ++i) {
      std::string want = printed(!fixed ? "%g" : v[i] == std::floor(v[i]) ? "%.0f" : "%.4f", v[i]);
      if (got[i] != want) {
        ++mismatches;
        ADD_FAILURE() << printed("%.17g", v[i]) << ": wrote " << got[i] << ", printf " << want;
      }
    }
  }
}

}  // namespace
}  // namespace varnex
