#include "formats/text.hpp"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <string>

#include "formats/byte_blocks.hpp"

namespace varnex {

std::size_t count_fields(std::string_view text) {
  field_cursor cursor(text);
  std::string_view f;
  std::size_t n = 0;
  while (cursor.next(f)) ++n;
  return n;
}

namespace {

// The field starts of `text`, 64 bytes at a time (bytes that are not white
// space after one that is, or at the very start), counted until there are
// more than `limit`.
template <bool wide>
inline std::size_t field_starts_past(std::string_view text, std::size_t limit) {
  std::size_t starts = 0;
  std::uint64_t before = 1;  // the byte before the block is white space
  padded_block tail;
  for (std::size_t i = 0; i < text.size() && starts <= limit; i += 64) {
    const std::size_t n = text.size() - i;
    const char* block = n >= 64 ? text.data() + i : tail.fill(text.data() + i, n);
    const std::uint64_t blank = scan_block_for<class_blank, wide>(block).blank;
    starts += bit_count_for<wide>(~blank & (blank << 1 | before));
    before = blank >> 63;
  }
  return starts;
}

#if VARNEX_WIDE_BLOCKS
[[gnu::target("avx2,popcnt"), gnu::flatten]] std::size_t field_starts_past_wide(std::string_view text,
                                                                              std::size_t limit) {
  return field_starts_past<true>(text, limit);
}
#endif

}  // namespace

bool more_fields_than(std::string_view text, std::size_t limit) {
  // n fields take at least 2n - 1 bytes.
  if (text.size() < 2 * limit + 1) return false;
#if VARNEX_WIDE_BLOCKS
  if (wide_blocks) return field_starts_past_wide(text, limit) > limit;
#endif
  return field_starts_past<false>(text, limit) > limit;
}

std::size_t parse_int32_prefix(std::string_view text, std::int32_t& value) {
  // from_chars takes a '-' but no '+'.
  const char* from = text.starts_with('+') && !text.starts_with("+-") ? text.data() + 1 : text.data();
  const auto r = std::from_chars(from, text.data() + text.size(), value);
  return r.ec == std::errc() ? static_cast<std::size_t>(r.ptr - text.data()) : 0;
}

std::size_t parse_double_prefix(std::string_view field, double& value) {
  const char* begin = field.data();
  const char* end = begin + field.size();
  const char* p = begin;
  if (p != end && (*p == '+' || *p == '-')) ++p;
  const char* digits = p;
  // Scan the decimal syntax ourselves so that inf, nan and hex never pass.
  std::size_t mantissa = 0;
  while (p != end && *p >= '0' && *p <= '9') ++p, ++mantissa;
  if (p != end && *p == '.') {
    ++p;
    while (p != end && *p >= '0' && *p <= '9') ++p, ++mantissa;
  }
  if (mantissa == 0) return 0;
  if (p != end && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    if (q != end && (*q == '+' || *q == '-')) ++q;
    if (q != end && *q >= '0' && *q <= '9') {
      while (q != end && *q >= '0' && *q <= '9') ++q;
      p = q;
    }
  }
  // from_chars takes no '+'; a '-' it handles itself.
  const char* from = (*begin == '+') ? digits : begin;
  double v = 0;
  auto r = std::from_chars(from, p, v);
  if (r.ec == std::errc::result_out_of_range) {
    std::string copy(begin, p);
    v = std::strtod(copy.c_str(), nullptr);
  } else if (r.ec != std::errc() || r.ptr != p) {
    return 0;
  }
  value = v;
  return static_cast<std::size_t>(p - begin);
}

std::int32_t leading_int32(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && is_blank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Held at 2^31, which either sign takes to its bound.
  std::int64_t v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    v = std::min<std::int64_t>(v * 10 + (text[i] - '0'), std::int64_t(INT32_MAX) + 1);
  if (negative) return static_cast<std::int32_t>(std::max<std::int64_t>(-v, INT32_MIN));
  return static_cast<std::int32_t>(std::min<std::int64_t>(v, INT32_MAX));
}

}  // namespace varnex
