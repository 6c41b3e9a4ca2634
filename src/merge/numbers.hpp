// Probabilities in and out of the merged GEN text, fast.
//
//   SNP_A rs1001 10250 A G 1 0 0 0.0123 0.9811 0.0066
//
// Almost every probability is a short decimal ("1", "0.9811"), and the same
// few values recur over millions of triples. Short decimals are read with one
// exact division; everything else falls back to the general parser. Written
// values are the default six-significant-digit style, remembered per value.
#pragma once

#include <cstdint>
#include <cmath>
#include <cstring>
#include <string_view>
#include <vector>

namespace varnex {

// The general case of read_probability.
const char* read_probability_slowly(const char* p, const char* end, double& value);

// Reads the number that starts at `p` (no leading white space) the way
// parse_double_prefix does; returns the end of the number, `p` when there is
// none.
inline const char* read_probability(const char* p, const char* end, double& value) {
  static constexpr double powers_of_ten[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const char* q = p;
  if (q == end || *q == '-' || *q == '+') return read_probability_slowly(p, end, value);
  std::uint64_t mantissa = 0;
  int digits = 0, decimals = 0;
  while (q != end && static_cast<unsigned char>(*q - '0') < 10) mantissa = mantissa * 10 + (*q++ - '0'), ++digits;
  if (q != end && *q == '.') {
    ++q;
    while (q != end && static_cast<unsigned char>(*q - '0') < 10)
      mantissa = mantissa * 10 + (*q++ - '0'), ++digits, ++decimals;
  }
  // Up to 15 digits the mantissa and the power of ten are exact doubles, so
  // one division gives the correctly rounded value.
  if (digits == 0 || digits > 15 || (q != end && (*q == 'e' || *q == 'E')))
    return read_probability_slowly(p, end, value);
  value = decimals ? static_cast<double>(mantissa) / powers_of_ten[decimals]
                   : static_cast<double>(mantissa);
  return q;
}

// Reads a token of one of the common forms "d" or "d.ddd" (n characters,
// at most eight; eight bytes readable from `p`) with the same result as
// read_probability: the digits as one integer, the point's byte taken as a
// 0 digit and its weight taken off again, then one exact division.
inline double read_short_decimal(const char* p, std::size_t n) {
  static constexpr std::uint64_t point_weight[] = {0, 0, 0, 90, 900, 9000, 90000, 900000, 9000000};
  static constexpr double scale[] = {1, 1, 1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  // Little-endian: the first character is the lowest byte. The point is the
  // second; bytes past the token leave at the top, zeros come in as
  // leading digits.
  w &= ~std::uint64_t(0xFF00);
  w <<= 8 * (8 - n);
  w = ((w & 0x0F0F0F0F0F0F0F0Full) * 2561) >> 8;
  w = ((w & 0x00FF00FF00FF00FFull) * 6553601) >> 16;
  w = ((w & 0x0000FFFF0000FFFFull) * 42949672960001ull) >> 32;
  const std::uint64_t first = static_cast<unsigned char>(p[0] - '0');
  return static_cast<double>(w - first * point_weight[n]) / scale[n];
}

// True when `token` reads as a number of at least 0 that probability_writer
// writes back as exactly `token`, without an exponent: "0", "1", "0.25",
// "0.0001", "999999", "12.3456" (at most six significant digits, no leading
// or trailing zeros that the writer would drop). Such a token can be copied
// to the output instead of being read and written. False for anything else,
// including numbers the writer would change ("1.0", ".5", "5.", "00.5",
// "0.00001") and signed or exponent forms ("-0", "+1", "1e3").
bool is_canonical_probability(std::string_view token);

// Writes `value` in the default floating-point style ("1", "0.333333",
// "1e-05"); at most 16 characters.
class probability_writer {
 public:
  probability_writer();
  char* put(char* p, double value) {
    if (value == 0.0 && !std::signbit(value)) {
      *p = '0';
      return p + 1;
    }
    if (value == 1.0) {
      *p = '1';
      return p + 1;
    }
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    std::size_t i = (bits * 0x9E3779B97F4A7C15ull) >> (64 - cache_bits);
    entry& e = cache_[i];
    if (e.bits != bits) fill(e, bits, value);
    std::memcpy(p, e.text, sizeof e.text);
    return p + e.length;
  }

 private:
  static constexpr int cache_bits = 14;
  struct entry {
    std::uint64_t bits;
    char text[16];
    std::uint8_t length;
  };
  static void fill(entry& e, std::uint64_t bits, double value);
  std::vector<entry> cache_;
};

}  // namespace varnex
