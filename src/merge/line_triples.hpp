// The probability triples of one GEN line, found without reading a number.
//
//   SNP_A rs1001 10250 A G 1 0 0 0.0123 0.9811 0.0066 0 0 0
//
// Most lines hold only short decimals that the merged output writes exactly
// as they stand, separated by single spaces. Such a line is split once on its
// spaces; an individual that only this line supplies at the position can then
// have its triple (or a whole run of neighbours) copied as text. Anything
// else (tabs, double spaces, "1.000", "-0", "1e-05", "abc") makes the line
// unfit and the caller reads it as numbers instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "formats/probability_text.hpp"
#include "merge/numbers.hpp"

namespace varnex {

// Remembers the verdicts of recent texts of up to sixteen characters, by
// their bytes: single tokens, and whole triples (three tokens split by single
// spaces). A few texts make up most of a GEN file.
class token_verdicts {
 public:
  token_verdicts();

  // Bit 1 when the triple of `n` characters at `p` is remembered as passing,
  // bit 2 when it is also "0 0 0"; 0 when it is not remembered or too long.
  // Sixteen bytes from `p` must be readable.
  unsigned remembered_triple(const char* p, std::uint32_t n) const { return triples_.find(masks_, p, n); }
  // The same for one token: 1 when remembered as passing.
  unsigned remembered_token(const char* p, std::uint32_t n) const { return tokens_.find(masks_, p, n); }

  // Any token: `p` holds `n` characters; `end` limits how far the bytes may
  // be read. Remembers the verdict of a token of up to sixteen characters.
  bool canonical(const char* p, std::size_t n, const char* end);
  void remember_triple(const char* p, std::uint32_t n, const char* end, unsigned bits) {
    triples_.store(masks_, p, n, end, bits);
  }

 private:
  struct entry {
    std::uint64_t low = 0, high = 0;  // the text's bytes, zero beyond its end
    std::uint32_t length = 0;         // 0: empty slot (never matches)
    unsigned bits = 0;
  };
  struct table {
    explicit table(int bits) : shift(64 - bits), entries(std::size_t(1) << bits) {}
    int shift;
    std::vector<entry> entries;

    static void load(const std::uint64_t* masks, const char* p, std::uint32_t n, std::uint64_t word[2]) {
      std::memcpy(word, p, 16);
      word[0] &= masks[n < 8 ? n : 8];
      word[1] &= masks[n < 8 ? 0 : n < 16 ? n - 8 : 8];
    }
    std::size_t slot(const std::uint64_t word[2], std::uint32_t n) const {
      return ((word[0] ^ (word[1] * 0xC2B2AE3D27D4EB4Full) ^ n) * 0x9E3779B97F4A7C15ull) >> shift;
    }
    unsigned find(const std::uint64_t* masks, const char* p, std::uint32_t n) const {
      std::uint64_t word[2];
      load(masks, p, n, word);
      const entry& e = entries[slot(word, n)];
      return ((e.low == word[0]) & (e.high == word[1]) & (e.length == n)) * e.bits;
    }
    void store(const std::uint64_t* masks, const char* p, std::uint32_t n, const char* end, unsigned bits);
  };
  std::uint64_t masks_[9];  // the low n bytes of a word
  table tokens_, triples_;
};

class line_triples {
 public:
  // Splits `text` (what follows allele B) into its first `wanted` triples.
  // True when every token of the triples it holds (up to `wanted`; a partial
  // last triple is dropped) passes is_canonical_probability and single
  // spaces stand between them; the accessors are valid only then.
  bool scan(std::string_view text, std::size_t wanted, token_verdicts& verdicts);

  // True when scan uses 32-byte registers (the processor has them); tests
  // turn it off to check the other way.
  static bool wide_scan;

  std::size_t triples() const { return triples_; }
  // Triples [first, last) as they stand in the line, without outer spaces.
  std::string_view span(std::size_t first, std::size_t last) const {
    std::uint32_t from, to;
    starts(3 * first, 1, &from);
    starts(3 * last, 1, &to);
    return std::string_view(text_ + from, to - 1 - from);
  }
  // Token t (from 0) of triple j.
  std::string_view token(std::size_t j, int t) const {
    std::uint32_t at[2];
    starts(3 * j + static_cast<std::size_t>(t), 2, at);
    return std::string_view(text_ + at[0], at[1] - 1 - at[0]);
  }
  // The values of triple j, read as read_probability reads them.
  void values(std::size_t j, double x[3]) const {
    std::uint32_t t[4];
    starts(3 * j, 4, t);
    for (int k = 0; k < 3; ++k) {
      const char* p = text_ + t[k];
      const std::size_t n = t[k + 1] - 1 - t[k];
      if (common_ && t[k] + 8 <= length_)
        x[k] = read_short_decimal(p, n);
      else
        read_probability(p, p + n, x[k]);
    }
  }
  // True when triple j is "0 0 0".
  bool missing(std::size_t j) const { return missing_[j] != 0; }

 private:
  // Where tokens i to i + n - 1 start; one past the end of the line for the
  // token after the last.
  void starts(std::size_t i, int n, std::uint32_t* out) const;

  const char* text_ = nullptr;
  std::size_t length_ = 0;
  // A common line keeps only its space bits, 64 bytes a word, with the
  // number of spaces before each word (one more entry: all of them); token
  // starts are found from them on demand, the search going on from the
  // token last found. Any other line lists every token start in starts_.
  bool common_ = false;
  std::size_t triples_ = 0;
  std::vector<std::uint64_t> space_bits_;
  std::vector<std::uint32_t> spaces_before_;
  std::uint32_t spaces_ = 0;
  // The search position: space number rank_ (from 1; 0: none yet) is the
  // lowest bit of bits_, the rest of word word_.
  mutable std::size_t word_ = 0;
  mutable std::uint64_t bits_ = 0;
  mutable std::size_t rank_ = 0;
  std::vector<std::uint32_t> starts_;  // token i is [starts_[i], starts_[i+1] - 1)
  std::vector<std::uint8_t> missing_;  // per triple
};

}  // namespace varnex
