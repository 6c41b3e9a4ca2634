// Byte classes of a line, 64 bytes at a time.
//
//   "0.5 1 0\t0.25"  ->  space 0b0000'0010'1000, blank 0b0000'1010'1000, ...
//
// A probability text of a GEN line is mostly fields of one to eight
// characters: walking it a character at a time costs a mispredicted branch at
// nearly every field end. Each block of 64 bytes instead becomes one bit mask
// per class asked for (bit i: byte i), and rules become bit operations on
// them. White space ("blank") is as everywhere: space, tab, LF, VT, FF, CR.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define VARNEX_WIDE_BLOCKS 1
#endif

namespace varnex {

enum byte_class : unsigned {
  class_space = 1,   // ' '
  class_blank = 2,   // ' ', '\t', '\n', '\v', '\f', '\r'
  class_dot = 4,     // '.'
  class_zero = 8,    // '0'
  class_digit = 16,  // '0' to '9'
};

struct block_masks {
  std::uint64_t space = 0, blank = 0, dot = 0, zero = 0, digit = 0;
};

// The classes of 64 bytes one byte at a time: the reference for the vector
// versions, and their stand-in where there are no vectors.
inline block_masks scan_block_bytewise(const char* p, unsigned classes) {
  block_masks m;
  for (int i = 0; i < 64; ++i) {
    const std::uint64_t bit = std::uint64_t(1) << i;
    const unsigned char c = static_cast<unsigned char>(p[i]);
    if (c == ' ') m.space |= bit;
    if (c == ' ' || c - 9u < 5u) m.blank |= bit;
    if (c == '.') m.dot |= bit;
    if (c == '0') m.zero |= bit;
    if (c - 48u < 10u) m.digit |= bit;
  }
  if (!(classes & class_space)) m.space = 0;
  if (!(classes & class_blank)) m.blank = 0;
  if (!(classes & class_dot)) m.dot = 0;
  if (!(classes & class_zero)) m.zero = 0;
  if (!(classes & class_digit)) m.digit = 0;
  return m;
}

// The masks of `classes` for the 64 bytes at `p` (the others stay 0).
template <unsigned classes>
inline block_masks scan_block(const char* p) {
#if defined(__SSE2__)
  block_masks m;
  const __m128i space = _mm_set1_epi8(' '), tab = _mm_set1_epi8('\t'), four = _mm_set1_epi8(4);
  const __m128i dot = _mm_set1_epi8('.'), zero = _mm_set1_epi8('0');
  const __m128i below = _mm_set1_epi8('0' - 1), above = _mm_set1_epi8('9' + 1);
  for (int k = 0; k < 4; ++k) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    auto bits = [k](__m128i x) {
      return static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(x))) << (16 * k);
    };
    const __m128i is_space = _mm_cmpeq_epi8(b, space);
    if (classes & class_space) m.space |= bits(is_space);
    if (classes & class_blank) {
      const __m128i t = _mm_sub_epi8(b, tab);  // \t..\r become 0..4
      m.blank |= bits(_mm_or_si128(is_space, _mm_cmpeq_epi8(_mm_min_epu8(t, four), t)));
    }
    if (classes & class_dot) m.dot |= bits(_mm_cmpeq_epi8(b, dot));
    if (classes & class_zero) m.zero |= bits(_mm_cmpeq_epi8(b, zero));
    // Signed comparisons: bytes from 0x80 up are negative and no digit.
    if (classes & class_digit)
      m.digit |= bits(_mm_and_si128(_mm_cmpgt_epi8(b, below), _mm_cmplt_epi8(b, above)));
  }
  return m;
#else
  return scan_block_bytewise(p, classes);
#endif
}

#if VARNEX_WIDE_BLOCKS
// The same with 32-byte registers, for callers compiled for processors that
// have them (target "avx2").
template <unsigned classes>
[[gnu::target("avx2")]] inline block_masks scan_block_wide(const char* p) {
  block_masks m;
  const __m256i space = _mm256_set1_epi8(' '), tab = _mm256_set1_epi8('\t'), four = _mm256_set1_epi8(4);
  const __m256i dot = _mm256_set1_epi8('.'), zero = _mm256_set1_epi8('0');
  const __m256i below = _mm256_set1_epi8('0' - 1), above = _mm256_set1_epi8('9' + 1);
  for (int k = 0; k < 2; ++k) {
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * k));
    const int shift = 32 * k;
    const __m256i is_space = _mm256_cmpeq_epi8(b, space);
    if (classes & class_space)
      m.space |= std::uint64_t(static_cast<std::uint32_t>(_mm256_movemask_epi8(is_space))) << shift;
    if (classes & class_blank) {
      const __m256i t = _mm256_sub_epi8(b, tab);
      const __m256i x = _mm256_or_si256(is_space, _mm256_cmpeq_epi8(_mm256_min_epu8(t, four), t));
      m.blank |= std::uint64_t(static_cast<std::uint32_t>(_mm256_movemask_epi8(x))) << shift;
    }
    if (classes & class_dot)
      m.dot |= std::uint64_t(static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b, dot))))
               << shift;
    if (classes & class_zero)
      m.zero |= std::uint64_t(static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b, zero))))
                << shift;
    if (classes & class_digit) {
      const __m256i x = _mm256_and_si256(_mm256_cmpgt_epi8(b, below), _mm256_cmpgt_epi8(above, b));
      m.digit |= std::uint64_t(static_cast<std::uint32_t>(_mm256_movemask_epi8(x))) << shift;
    }
  }
  return m;
}
#endif

// Room for the last bytes of a text as a whole block.
struct padded_block {
  // The `n` (< 64) bytes at `p`, padded with spaces.
  const char* fill(const char* p, std::size_t n) {
    std::memset(bytes, ' ', sizeof bytes);
    std::memcpy(bytes, p, n);
    return bytes;
  }
  char bytes[64];
};

// Set bits of a word (without -mpopcnt the builtin is a library call).
inline std::size_t bit_count(std::uint64_t x) {
  x = x - ((x >> 1) & 0x5555555555555555ull);
  x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<std::size_t>((x * 0x0101010101010101ull) >> 56);
}

// A loop over blocks written once for both kinds of processor: `wide` code
// is compiled with target "avx2,popcnt" and run where wide_blocks says so.
#if VARNEX_WIDE_BLOCKS
inline const bool wide_blocks = [] {
  __builtin_cpu_init();  // static initialisers may run before the library's own
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
}();
#else
inline const bool wide_blocks = false;
#endif

template <unsigned classes, bool wide>
inline block_masks scan_block_for(const char* p) {
#if VARNEX_WIDE_BLOCKS
  if constexpr (wide) return scan_block_wide<classes>(p);
#endif
  return scan_block<classes>(p);
}

template <bool wide>
inline std::size_t bit_count_for(std::uint64_t x) {
  if constexpr (wide) return static_cast<std::size_t>(__builtin_popcountll(x));
  return bit_count(x);
}

// The starts of the white-space-separated fields of a long line, in order:
// skipping a field is clearing a bit.
class field_starts {
 public:
  explicit field_starts(std::string_view text) : base_(text.data()), size_(text.size()) {}

  // Sets p to the first character of the next field; false when none is left.
  bool next(const char*& p) {
    if (!peek(p)) return false;
    drop();
    return true;
  }
  // The same without moving past the field.
  bool peek(const char*& p) {
    while (bits_ == 0) {
      if (offset_ >= size_) return false;
      bits_ = block_starts();
      offset_ += 64;
    }
    p = base_ + offset_ - 64 + __builtin_ctzll(bits_);
    return true;
  }
  // Moves past the field that `peek` found.
  void drop() { bits_ &= bits_ - 1; }

 private:
  std::uint64_t block_starts() {
    padded_block tail;
    const char* block = size_ - offset_ >= 64 ? base_ + offset_ : tail.fill(base_ + offset_, size_ - offset_);
    const std::uint64_t ws = scan_block<class_blank>(block).blank;
    // A field begins at a non-blank byte that follows a blank one (or the
    // line's start).
    const std::uint64_t starts = ~ws & ((ws << 1) | previous_blank_);
    previous_blank_ = ws >> 63;
    return starts;
  }

  const char* base_;
  std::size_t size_;
  std::size_t offset_ = 0;  // start of the next block to scan
  std::uint64_t bits_ = 0;  // field starts of the current block not yet handed out
  std::uint64_t previous_blank_ = 1;
};

}  // namespace varnex
