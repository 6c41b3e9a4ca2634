// Field starts of a long line, found 64 bytes at a time.
//
//   0.012345 0.945678 0.041977 1 0 0 0 1 0
//
// A GEN line of a few thousand samples is mostly fields of one to eight
// characters. Walking it a character at a time costs a mispredicted branch at
// nearly every field end; instead each block of 64 bytes becomes a bit mask of
// the positions where a field begins, and skipping a field is clearing a bit.
// White space is the same as everywhere else: space, tab, LF, VT, FF, CR.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace varnex {

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
  // Bit i set: byte i of the block at offset_ is white space.
  static std::uint64_t blanks(const char* block) {
#if defined(__SSE2__)
    std::uint64_t mask = 0;
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i four = _mm_set1_epi8(4);
    for (int i = 0; i < 4; ++i) {
      __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i));
      __m128i t = _mm_sub_epi8(x, tab);  // \t..\r become 0..4
      __m128i ws = _mm_or_si128(_mm_cmpeq_epi8(x, space), _mm_cmpeq_epi8(_mm_min_epu8(t, four), t));
      mask |= static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(ws))) << (16 * i);
    }
    return mask;
#else
    std::uint64_t mask = 0;
    for (int i = 0; i < 64; ++i) {
      char c = block[i];
      if (c == ' ' || static_cast<unsigned char>(c - '\t') < 5) mask |= std::uint64_t{1} << i;
    }
    return mask;
#endif
  }

  std::uint64_t block_starts() {
    std::uint64_t ws;
    if (size_ - offset_ >= 64) {
      ws = blanks(base_ + offset_);
    } else {
      char tail[64];
      std::memset(tail, ' ', sizeof tail);
      std::memcpy(tail, base_ + offset_, size_ - offset_);
      ws = blanks(tail);
    }
    // A field begins at a non-blank byte that follows a blank one (or the
    // line's start).
    std::uint64_t starts = ~ws & ((ws << 1) | previous_blank_);
    previous_blank_ = ws >> 63;
    return starts;
  }

  const char* base_;
  std::size_t size_;
  std::size_t offset_ = 0;         // start of the next block to scan
  std::uint64_t bits_ = 0;         // field starts of the current block not yet handed out
  std::uint64_t previous_blank_ = 1;
};

}  // namespace varnex
