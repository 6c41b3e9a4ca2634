#include "merge/numbers.hpp"

#include <charconv>

namespace varnex {

namespace {

// Never the bits of a value that reaches the writer: a NaN is never parsed.
constexpr std::uint64_t empty_bits = 0x7ff8dead0000beefull;

}  // namespace

bool is_canonical_probability(std::string_view token) {
  const char* p = token.data();
  const std::size_t n = token.size();
  auto digit = [](char c) { return static_cast<unsigned char>(c - '0') < 10; };
  if (n == 0) return false;
  if (p[0] == '0') {
    if (n == 1) return true;
    // 0.000d at the smallest: below 1e-4 the writer switches to an exponent.
    if (p[1] != '.') return false;
    std::size_t i = 2;
    while (i < n && p[i] == '0') ++i;
    if (i - 2 > 3 || i == n || n - i > 6) return false;
    for (; i < n; ++i)
      if (!digit(p[i])) return false;
    return p[n - 1] != '0';
  }
  if (!digit(p[0])) return false;
  std::size_t i = 1;
  while (i < n && digit(p[i])) ++i;
  // Integers up to 999999; from 1e6 on the writer uses an exponent.
  if (i == n) return n <= 6;
  if (p[i] != '.' || i + 1 == n || n - 1 > 6) return false;
  for (++i; i < n; ++i)
    if (!digit(p[i])) return false;
  return p[n - 1] != '0';
}

probability_writer::probability_writer() : cache_(std::size_t(1) << cache_bits) {
  for (entry& e : cache_) e.bits = empty_bits;
}

void probability_writer::fill(entry& e, std::uint64_t bits, double value) {
  char text[32];
  char* last = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6).ptr;
  e.bits = bits;
  e.length = static_cast<std::uint8_t>(last - text);
  std::memcpy(e.text, text, e.length);
}

}  // namespace varnex
