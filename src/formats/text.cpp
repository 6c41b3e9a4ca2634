#include "formats/text.hpp"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#endif

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

// An upper bound on the fields of `text`: every field but one at the very
// start follows a white-space byte, and white space is at most 0x20, so the
// bytes of 0x20 or less before the last, plus one for a field at the start.
// Bytes of 0x80 and up are counted too (signed compare), which only loosens
// the bound. A GEN probability text with one space between fields gets
// exactly its field count.
//
// The bytes below 0x21 (signed) of [p, end), four vectors of V at a time, in
// byte counters (0 - matches) summed by `sum` before any can wrap: 63 rounds
// add at most 252 to each. p is left where fewer than sizeof(V) bytes remain.
// Written with the compiler's vector types, so that it becomes SSE2 or AVX2
// code by the caller it is inlined into; vectors never pass by value, whose
// calling convention differs between the two. (U: V's bytes unsigned, which
// wrap.)
template <class V, class U, class Sum>
inline std::size_t low_bytes(const char*& p, const char* end, Sum sum) {
  constexpr std::ptrdiff_t w = sizeof(V);
  U b[4];
  auto low = [&b](const char* q, int i) {
    V bytes;
    std::memcpy(&bytes, q, sizeof bytes);
    b[i] = U(bytes < 0x21);
  };
  std::size_t n = 0;
  while (end - p >= w) {
    U counts = {};
    for (int round = 0; round < 63 && end - p >= 4 * w; ++round, p += 4 * w) {
      for (int i = 0; i < 4; ++i) low(p + i * w, i);
      counts -= (b[0] + b[1]) + (b[2] + b[3]);
    }
    if (end - p < 4 * w)
      for (; end - p >= w; p += w) {
        low(p, 0);
        counts -= b[0];
      }
    n += sum(counts);
  }
  return n;
}

#if defined(__GNUC__) && defined(__x86_64__)
#define VARNEX_BOUND_AVX2 1
using bytes32 = signed char __attribute__((vector_size(32)));
using ubytes32 = unsigned char __attribute__((vector_size(32)));
[[gnu::target("avx2")]] std::size_t low_bytes_avx2(const char*& p, const char* end) {
  return low_bytes<bytes32, ubytes32>(p, end, [](const ubytes32& counts) __attribute__((target("avx2"))) {
    const __m256i sums = _mm256_sad_epu8(__m256i(counts), _mm256_setzero_si256());
    return static_cast<std::size_t>(_mm256_extract_epi64(sums, 0) + _mm256_extract_epi64(sums, 1) +
                                    _mm256_extract_epi64(sums, 2) + _mm256_extract_epi64(sums, 3));
  });
}
#endif

std::size_t field_bound(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size() - 1;  // the last byte starts no later field
  std::size_t n = !is_blank(text[0]);
#if defined(VARNEX_BOUND_AVX2)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) n += low_bytes_avx2(p, end);
#endif
#if defined(__SSE2__)
  using bytes16 = signed char __attribute__((vector_size(16)));
  using ubytes16 = unsigned char __attribute__((vector_size(16)));
  n += low_bytes<bytes16, ubytes16>(p, end, [](const ubytes16& counts) {
    const __m128i sums = _mm_sad_epu8(__m128i(counts), _mm_setzero_si128());
    return static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
           static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  });
#endif
  for (; p < end; ++p) n += static_cast<unsigned char>(*p) <= 0x20 || static_cast<unsigned char>(*p) >= 0x80;
  return n;
}

}  // namespace

bool more_fields_than(std::string_view text, std::size_t limit) {
  // n fields take at least 2n - 1 bytes.
  if (text.size() < 2 * limit + 1) return false;
  // Nearly every line passes on the bound, one cheap pass instead of the count.
  if (field_bound(text) <= limit) return false;
  // The field starts, 64 bytes at a time: bytes that are not white space
  // after one that is, or at the very start.
  std::size_t starts = 0;
  std::uint64_t before = 1;  // the byte before the block is white space
  padded_block tail;
  for (std::size_t i = 0; i < text.size() && starts <= limit; i += 64) {
    const std::size_t n = text.size() - i;
    const char* block = n >= 64 ? text.data() + i : tail.fill(text.data() + i, n);
    const std::uint64_t blank = scan_block<class_blank>(block).blank;
    starts += bit_count(~blank & (blank << 1 | before));
    before = blank >> 63;
  }
  return starts > limit;
}

bool parse_int32(std::string_view field, std::int32_t& value) {
  const char* first = field.data();
  const char* last = first + field.size();
  if (first != last && *first == '+') {
    ++first;
    if (first != last && (*first == '-' || *first == '+')) return false;
  }
  std::int32_t v = 0;
  auto r = std::from_chars(first, last, v);
  if (r.ec != std::errc() || r.ptr != last) return false;
  value = v;
  return true;
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
