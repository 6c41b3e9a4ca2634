// Probabilities written in the merged GEN text, fast.
//
//   SNP_A rs1001 10250 A G 1 0 0 0.0123 0.9811 0.0066
//
// The same few values recur over millions of triples: written values are the
// default six-significant-digit style, remembered per value, and a token
// already in that style can be copied instead of being read and written.
#pragma once

#include <cstdint>
#include <cmath>
#include <cstring>
#include <string_view>
#include <vector>

namespace varnex {

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
