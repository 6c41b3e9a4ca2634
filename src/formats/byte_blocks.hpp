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
    if ((classes & class_space) && c == ' ') m.space |= bit;
    if ((classes & class_blank) && (c == ' ' || c - 9u < 5u)) m.blank |= bit;
    if ((classes & class_dot) && c == '.') m.dot |= bit;
    if ((classes & class_zero) && c == '0') m.zero |= bit;
    if ((classes & class_digit) && c - 48u < 10u) m.digit |= bit;
  }
  return m;
}

// Adds the classes of the `sizeof(V)` bytes at `p` to `m`: `bits` turns a
// vector of 0/-1 bytes into its mask, already moved to the bytes' place.
// Written with the compiler's vector types, so that it becomes SSE2 or AVX2
// code by the caller it is inlined into; vectors never pass by value, whose
// calling convention differs between the two. (U: V's bytes unsigned.)
template <unsigned classes, class V, class U, class Bits>
inline void add_lane(const char* p, Bits bits, block_masks& m) {
  V b;
  std::memcpy(&b, p, sizeof b);
  const V is_space = b == ' ';
  if (classes & class_space) m.space |= bits(is_space);
  if (classes & class_blank) m.blank |= bits(is_space | (V)((U)b - '\t' < 5));  // \t..\r
  if (classes & class_dot) m.dot |= bits(b == '.');
  if (classes & class_zero) m.zero |= bits(b == '0');
  // Signed: bytes from 0x80 up are negative and no digit.
  if (classes & class_digit) m.digit |= bits((b >= '0') & (b <= '9'));
}

// The masks of `classes` for the 64 bytes at `p` (the others stay 0).
template <unsigned classes>
inline block_masks scan_block(const char* p) {
#if defined(__SSE2__)
  using v16 = signed char __attribute__((vector_size(16)));
  using u16 = unsigned char __attribute__((vector_size(16)));
  block_masks m;
  for (int k = 0; k < 4; ++k)
    add_lane<classes, v16, u16>(p + 16 * k, [k](const v16& x) {
      return std::uint64_t(static_cast<std::uint16_t>(_mm_movemask_epi8(__m128i(x)))) << (16 * k);
    }, m);
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
  using v32 = signed char __attribute__((vector_size(32)));
  using u32 = unsigned char __attribute__((vector_size(32)));
  block_masks m;
  for (int k = 0; k < 2; ++k)
    add_lane<classes, v32, u32>(p + 32 * k, [k](const v32& x) __attribute__((target("avx2"))) {
      return std::uint64_t(static_cast<std::uint32_t>(_mm256_movemask_epi8(__m256i(x)))) << (32 * k);
    }, m);
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
