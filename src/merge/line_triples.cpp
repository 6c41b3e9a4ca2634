#include "merge/line_triples.hpp"

#include <algorithm>

#include "formats/byte_blocks.hpp"
#include "formats/text.hpp"

namespace varnex {

namespace {

// The bits of `x` moved k bytes later in the line, the previous block's
// last bits coming in at the bottom.
inline std::uint64_t later(std::uint64_t x, std::uint64_t previous, int k) {
  return x << k | previous >> (64 - k);
}

// The pass over the bytes of line_triples::scan: space bits per 64 bytes
// and the spaces before each, "0 0 0" triples (in the first `wanted`) in
// `missing` (which has a spare slot at `wanted`); returns the fault bits
// (0: every token in a common form).
template <bool wide>
inline std::uint64_t scan_blocks(
    const char* begin, std::size_t length, std::size_t wanted, std::uint64_t* space_bits,
    std::uint32_t* spaces_before, std::uint8_t* missing, std::uint32_t& spaces) {
  auto count = bit_count_for<wide>;
  std::uint64_t faults = 0;
  std::uint64_t was_space = std::uint64_t(1) << 63, was_dot = 0, was_zero = 0, was_token = 0,
                was_start = 0, was_start_zero = 0, was_run2 = 0, was_run4 = 0, was_lone_zero = 0;
  // "0 0 0" triples are found in the same pass (kept only when the line
  // turns out common): marked at the space after their third token.
  std::memset(missing, 0, wanted);
  padded_block tail;
  for (std::size_t i = 0, w = 0; i <= length; i += 64, ++w) {
    const char* p = begin + i;
    std::uint64_t inside = ~std::uint64_t(0), live = ~std::uint64_t(0);
    if (length - i < 64) {
      const std::size_t rest = length - i;
      p = tail.fill(p, rest);
      inside = (std::uint64_t(1) << rest) - 1;
      live = rest == 63 ? ~std::uint64_t(0) : (std::uint64_t(1) << (rest + 1)) - 1;
    }
    constexpr unsigned classes = class_space | class_dot | class_zero | class_digit;
    const block_masks c = scan_block_for<classes, wide>(p);
    const std::uint64_t token = ~c.space;
    const std::uint64_t start = token & later(c.space, was_space, 1);
    const std::uint64_t start_zero = start & c.zero;
    const std::uint64_t second = later(start, was_start, 1);  // one past a token start
    const std::uint64_t after_zero = later(c.zero, was_zero, 1);
    // Eight non-space bytes ending here.
    const std::uint64_t run2 = token & later(token, was_token, 1);
    const std::uint64_t run4 = run2 & later(run2, was_run2, 2);
    const std::uint64_t run8 = run4 & later(run4, was_run4, 4);
    const std::uint64_t lone_zero = c.space & after_zero & second;  // after a token "0"
    // The common form, one rule per term; each marks the byte that breaks it.
    const std::uint64_t foreign_byte = ~(c.space | c.dot | c.digit);  // digits, points, spaces only
    const std::uint64_t double_space = c.space & later(c.space, was_space, 1);
    const std::uint64_t point_not_second = c.dot & ~second;
    const std::uint64_t second_not_point = second & token & ~c.dot;  // "12", "01"
    const std::uint64_t no_digit_after_point = later(c.dot, was_dot, 1) & ~c.digit;  // "5.", "1.."
    const std::uint64_t trailing_zero = c.space & after_zero & ~second;  // "0.50", "1.0"
    const std::uint64_t eight_not_after_zero = run8 & ~later(start_zero, was_start_zero, 7);
    const std::uint64_t nine_long = run8 & later(token, was_token, 8);
    const std::uint64_t four_zero_decimals =  // "0.0000": the writer would use an exponent
        later(start_zero, was_start_zero, 5) & later(c.zero, was_zero, 3) & later(c.zero, was_zero, 2) &
        after_zero & c.zero;
    const std::uint64_t bad = foreign_byte | double_space | point_not_second | second_not_point |
                              no_digit_after_point | trailing_zero | eight_not_after_zero | nine_long |
                              four_zero_decimals;
    faults |= bad & live;
    // Three tokens "0" in a row, and the token index of the last: a triple
    // when the first one's index is a multiple of three.
    std::uint64_t zeros3 =
        lone_zero & later(lone_zero, was_lone_zero, 2) & later(lone_zero, was_lone_zero, 4) & live;
    was_space = c.space, was_dot = c.dot, was_zero = c.zero, was_token = token;
    was_start = start, was_start_zero = start_zero;
    was_run2 = run2, was_run4 = run4, was_lone_zero = lone_zero;

    const std::uint64_t mask = c.space & inside;
    while (zeros3) {
      const int q = __builtin_ctzll(zeros3);
      // Token index of the first "0"; a third of these start a triple, at
      // random, so the store goes to a spare slot instead of branching.
      const std::size_t first = spaces + count(mask & ((std::uint64_t(1) << q) - 1)) - 2;
      const std::size_t j = first / 3;
      missing[first == 3 * j && j < wanted ? j : wanted] = 1;
      zeros3 &= zeros3 - 1;
    }
    space_bits[w] = mask;
    spaces_before[w] = spaces;
    spaces += static_cast<std::uint32_t>(count(mask));
  }
  return faults;
}

#if VARNEX_WIDE_BLOCKS
// Flattened: the loop and its helpers compiled for these processors.
__attribute__((target("avx2,popcnt"), flatten)) std::uint64_t scan_blocks_wide(
    const char* begin, std::size_t length, std::size_t wanted, std::uint64_t* space_bits,
    std::uint32_t* spaces_before, std::uint8_t* missing, std::uint32_t& spaces) {
  return scan_blocks<true>(begin, length, wanted, space_bits, spaces_before, missing, spaces);
}
#endif

}  // namespace

token_verdicts::token_verdicts() : tokens_(10), triples_(13) {
  for (std::uint32_t n = 0; n <= 8; ++n)
    masks_[n] = n == 8 ? ~std::uint64_t(0) : (std::uint64_t(1) << (8 * n)) - 1;
}

void token_verdicts::table::store(const std::uint64_t* masks, const char* p, std::uint32_t n,
                                  const char* end, unsigned bits) {
  if (n == 0 || n > 16) return;
  char copy[16] = {};
  std::memcpy(copy, p, static_cast<std::size_t>(end - p) >= 16 ? 16 : n);
  std::uint64_t word[2];
  load(masks, copy, n, word);
  entry& e = entries[slot(word, n)];
  e.low = word[0];
  e.high = word[1];
  e.length = n;
  e.bits = bits;
}

bool token_verdicts::canonical(const char* p, std::size_t n, const char* end) {
  if (n == 0 || n > 16) return is_canonical_probability(std::string_view(p, n));
  const std::uint32_t length = static_cast<std::uint32_t>(n);
  if (end - p >= 16 && tokens_.find(masks_, p, length)) return true;
  const bool passes = is_canonical_probability(std::string_view(p, n));
  tokens_.store(masks_, p, length, end, passes ? 1 : 0);
  return passes;
}

void line_triples::starts(std::size_t i, int n, std::uint32_t* out) const {
  if (!common_) {
    for (int k = 0; k < n; ++k) out[k] = starts_[i + static_cast<std::size_t>(k)];
    return;
  }
  int k = 0;
  if (i == 0) out[k++] = 0, ++i;
  // Token i starts after space number i (from 1).
  if (k < n && i > spaces_) {
    for (; k < n; ++k) out[k] = static_cast<std::uint32_t>(length_ + 1);
    return;
  }
  if (k == n) return;
  if (rank_ == 0 || rank_ > i || i - rank_ > 64) {
    std::size_t w = rank_ != 0 && rank_ <= i ? word_ : 0;
    while (spaces_before_[w + 1] < i) ++w;
    word_ = w;
    bits_ = space_bits_[w];
    rank_ = spaces_before_[w] + 1;
  }
  // Below rank_ < spaces_ a further space always exists.
  auto step = [this] {
    bits_ &= bits_ - 1;
    ++rank_;
    while (!bits_) bits_ = space_bits_[++word_];
  };
  while (rank_ < i) step();
  for (;;) {
    out[k++] = static_cast<std::uint32_t>(64 * word_ + static_cast<std::size_t>(__builtin_ctzll(bits_)) + 1);
    if (k == n) break;
    if (rank_ == spaces_) {
      for (; k < n; ++k) out[k] = static_cast<std::uint32_t>(length_ + 1);
      break;
    }
    step();
  }
}

bool line_triples::wide_scan = wide_blocks;

bool line_triples::scan(std::string_view text, std::size_t wanted, token_verdicts& verdicts) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  while (begin != end && is_blank(*begin)) ++begin;
  while (end != begin && is_blank(end[-1])) --end;
  const std::size_t length = static_cast<std::size_t>(end - begin);
  text_ = begin;
  length_ = length;
  common_ = false;
  triples_ = 0;
  if (length == 0 || wanted == 0) return true;
  if (length >= UINT32_MAX - 64) return false;

  // One pass, 64 bytes at a time, keeps the space bits and checks the whole
  // line for the common form of every token: one digit, or a digit, a point
  // and digits, eight characters at most and more than seven only after
  // "0.", not ending in "0", not starting "0.0000"; single spaces between.
  // Such a token is canonical, so a line made of them needs no check token
  // by token. Each rule looks back from a byte; the previous block's bits
  // carry over, and the line ends in a virtual space.
  const std::size_t words = length / 64 + 1;
  if (space_bits_.size() < words) space_bits_.resize(words);
  if (spaces_before_.size() < words + 1) spaces_before_.resize(words + 1);
  if (missing_.size() < wanted + 1) missing_.resize(wanted + 1);  // a spare slot
  std::uint32_t spaces = 0;
  auto* scan_line = scan_blocks<false>;
#if VARNEX_WIDE_BLOCKS
  if (wide_scan) scan_line = scan_blocks_wide;
#endif
  const std::uint64_t faults = scan_line(begin, length, wanted, space_bits_.data(),
                                         spaces_before_.data(), missing_.data(), spaces);
  spaces_before_[words] = spaces;
  spaces_ = spaces;

  const std::size_t tokens = std::min<std::size_t>(std::size_t(spaces) + 1, 3 * wanted);
  const std::size_t m = tokens / 3 < wanted ? tokens / 3 : wanted;
  if (!faults) {
    common_ = true;
    rank_ = 0;
    triples_ = m;
    return true;
  }

  // Token starts: 0, then one past every space, until the start after the
  // last wanted token; a sentinel one past the end when the line ends first.
  const std::size_t limit = 3 * wanted;
  if (starts_.size() < limit + 2) starts_.resize(limit + 2);
  std::uint32_t* out = starts_.data();
  std::uint32_t* const stop = out + limit + 1;
  *out++ = 0;
  for (std::size_t w = 0; w < words && out != stop; ++w)
    for (std::uint64_t bits = space_bits_[w]; bits && out != stop; bits &= bits - 1)
      *out++ = static_cast<std::uint32_t>(64 * w + static_cast<std::size_t>(__builtin_ctzll(bits)) + 1);
  if (out != stop) *out = static_cast<std::uint32_t>(length + 1);

  // A short line must not hide a further triple behind other white space
  // ("0.5\t0.5\t0" is three tokens to a reader of numbers).
  if (m < wanted)
    for (std::size_t c = starts_[3 * m]; c < length; ++c)
      if (begin[c] != ' ' && is_blank(begin[c])) return false;
  const std::uint32_t* s = starts_.data();
  // Remembered triples, sixteen bytes readable from each start, take no
  // branch; anything else is checked token by token.
  for (std::size_t j = 0; j < m; ++j) {
    const std::uint32_t* t = s + 3 * j;
    const std::uint32_t n = t[3] - 1 - t[0];
    unsigned bits;
    if (n <= 16)
      bits = t[0] + 16 <= length ? verdicts.remembered_triple(begin + t[0], n) : 0;
    else  // never "0 0 0"
      bits = t[2] + 16 <= length ? verdicts.remembered_token(begin + t[0], t[1] - 1 - t[0]) &
                                       verdicts.remembered_token(begin + t[1], t[2] - 1 - t[1]) &
                                       verdicts.remembered_token(begin + t[2], n + t[0] - t[2])
                                 : 0;
    if (!bits) {
      bool zero = true;
      for (int k = 0; k < 3; ++k) {
        const char* p = begin + t[k];
        const std::size_t tn = t[k + 1] - 1 - t[k];
        if (!verdicts.canonical(p, tn, end)) return false;
        zero &= tn == 1 && *p == '0';
      }
      bits = 1u | (zero ? 2u : 0u);
      verdicts.remember_triple(begin + t[0], n, end, bits);
    }
    missing_[j] = static_cast<std::uint8_t>(bits >> 1);
  }
  triples_ = m;
  return true;
}

}  // namespace varnex
