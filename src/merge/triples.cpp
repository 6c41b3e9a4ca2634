#include "merge/triples.hpp"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "formats/text.hpp"
#include "merge/numbers.hpp"

namespace varnex {

namespace {

// Without -mpopcnt the builtin is a library call.
inline std::size_t bit_count(std::uint64_t x) {
  x = x - ((x >> 1) & 0x5555555555555555ull);
  x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<std::size_t>((x * 0x0101010101010101ull) >> 56);
}

// Byte classes of 64 bytes, one bit per byte.
struct block_classes {
  std::uint64_t space, dot, zero, digit;
};

inline block_classes classify(const char* p) {
  block_classes c{0, 0, 0, 0};
#if defined(__SSE2__)
  const __m128i spaces = _mm_set1_epi8(' '), dots = _mm_set1_epi8('.'), zeros = _mm_set1_epi8('0');
  const __m128i below = _mm_set1_epi8('0' - 1), above = _mm_set1_epi8('9' + 1);
  for (int k = 0; k < 4; ++k) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    auto bits = [](__m128i m) {
      return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m)));
    };
    // Signed comparisons: bytes from 0x80 up are negative and no digit.
    const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(b, below), _mm_cmplt_epi8(b, above));
    c.space |= bits(_mm_cmpeq_epi8(b, spaces)) << (16 * k);
    c.dot |= bits(_mm_cmpeq_epi8(b, dots)) << (16 * k);
    c.zero |= bits(_mm_cmpeq_epi8(b, zeros)) << (16 * k);
    c.digit |= bits(digit) << (16 * k);
  }
#else
  for (int k = 0; k < 64; ++k) {
    const std::uint64_t bit = std::uint64_t(1) << k;
    const char ch = p[k];
    if (ch == ' ') c.space |= bit;
    if (ch == '.') c.dot |= bit;
    if (ch == '0') c.zero |= bit;
    if (static_cast<unsigned char>(ch - '0') < 10) c.digit |= bit;
  }
#endif
  return c;
}

// The bits of `x` moved k bytes later in the line, the previous block's
// last bits coming in at the bottom.
inline std::uint64_t later(std::uint64_t x, std::uint64_t previous, int k) {
  return x << k | previous >> (64 - k);
}

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

  // Token starts: 0, then one past every space, until the start after the
  // last wanted token; a sentinel one past the end when the line ends first.
  const std::size_t limit = 3 * wanted;
  if (starts_.size() < limit + 96) starts_.resize(limit + 96);
  std::uint32_t* const first = starts_.data();
  std::uint32_t* out = first;
  *out++ = 0;
  // The same pass checks the whole line, 64 bytes at a time, for the common
  // form of every token: one digit, or a digit, a point and digits, eight
  // characters at most and more than seven only after "0.", not ending in
  // "0", not starting "0.0000"; single spaces between. Such a token is
  // canonical, so a line made of them needs no check token by token. Each
  // rule looks back from a byte; the previous block's bits carry over, and
  // the line ends in a virtual space.
  std::uint64_t faults = 0;
  std::uint64_t was_space = std::uint64_t(1) << 63, was_dot = 0, was_zero = 0, was_token = 0,
                was_start = 0, was_start_zero = 0, was_run2 = 0, was_run4 = 0, was_lone_zero = 0;
  // "0 0 0" triples are found in the same pass (kept only when the line
  // turns out common): marked at the space after their third token.
  if (missing_.size() < wanted) missing_.resize(wanted);
  std::memset(missing_.data(), 0, wanted);
  char tail[64];
  for (std::size_t i = 0; i <= length; i += 64) {
    const char* p = begin + i;
    std::uint64_t inside = ~std::uint64_t(0), live = ~std::uint64_t(0);
    if (length - i < 64) {
      const std::size_t rest = length - i;
      std::memset(tail, ' ', sizeof tail);
      std::memcpy(tail, p, rest);
      p = tail;
      inside = (std::uint64_t(1) << rest) - 1;
      live = rest == 63 ? ~std::uint64_t(0) : (std::uint64_t(1) << (rest + 1)) - 1;
    }
    const block_classes c = classify(p);
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
    const std::uint64_t bad =
        ~(c.space | c.dot | c.digit) | (c.space & later(c.space, was_space, 1)) |
        (c.dot & ~second) | (second & token & ~c.dot) | (later(c.dot, was_dot, 1) & ~c.digit) |
        (c.space & after_zero & ~second) | (run8 & ~later(start_zero, was_start_zero, 7)) |
        (run8 & later(token, was_token, 8)) |
        (later(start_zero, was_start_zero, 5) & later(c.zero, was_zero, 3) &
         later(c.zero, was_zero, 2) & after_zero & c.zero);
    faults |= bad & live;
    std::uint64_t zeros3 =
        lone_zero & later(lone_zero, was_lone_zero, 2) & later(lone_zero, was_lone_zero, 4) & live;
    was_space = c.space, was_dot = c.dot, was_zero = c.zero, was_token = token;
    was_start = start, was_start_zero = start_zero;
    was_run2 = run2, was_run4 = run4, was_lone_zero = lone_zero;

    // The positions of the block's spaces are written eight at a time
    // whatever their number (the extra slots are overwritten later), which
    // spares a hard-to-predict branch per space.
    std::uint64_t mask = c.space & inside;
    if (static_cast<std::size_t>(out - first) > limit) continue;
    // Three tokens "0" in a row, and the token index of the last: a triple
    // when the first one's index is a multiple of three. (Past the tokens
    // wanted, none could be.)
    while (zeros3) {
      const int q = __builtin_ctzll(zeros3);
      const std::size_t third = static_cast<std::size_t>(out - first) - 1 +
                                bit_count(mask & ((std::uint64_t(1) << q) - 1));
      if ((third - 2) % 3 == 0 && (third - 2) / 3 < wanted) missing_[(third - 2) / 3] = 1;
      zeros3 &= zeros3 - 1;
    }
    if (mask) {
      const std::size_t count = bit_count(mask);
      const std::uint32_t base = static_cast<std::uint32_t>(i + 1);
      std::uint32_t* o = out;
      do {
        for (int b = 0; b < 8; ++b) {
          o[b] = base + static_cast<std::uint32_t>(__builtin_ctzll(mask | (std::uint64_t(1) << 63)));
          mask &= mask - 1;
        }
        o += 8;
      } while (mask);
      out += count;
    }
  }
  std::size_t tokens = static_cast<std::size_t>(out - first);
  if (tokens > limit)
    tokens = limit;
  else
    *out = static_cast<std::uint32_t>(length + 1);

  const std::size_t m = tokens / 3 < wanted ? tokens / 3 : wanted;
  // A short line must not hide a further triple behind other white space
  // ("0.5\t0.5\t0" is three tokens to a reader of numbers).
  if (m < wanted)
    for (std::size_t c = starts_[3 * m]; c < length; ++c)
      if (begin[c] != ' ' && is_blank(begin[c])) return false;
  const std::uint32_t* s = starts_.data();
  if (!faults) {
    common_ = true;
    triples_ = m;
    return true;
  }
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
