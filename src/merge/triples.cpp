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
  std::size_t i = 0;
#if defined(__SSE2__)
  // 64 bytes at a time; the positions of a block's spaces are written eight
  // at a time whatever their number (the extra slots are overwritten later),
  // which spares a hard-to-predict branch per space.
  const __m128i spaces = _mm_set1_epi8(' ');
  auto space_bits = [&](std::size_t at) {
    __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(begin + at));
    return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, spaces))));
  };
  for (; i + 64 <= length && static_cast<std::size_t>(out - first) <= limit; i += 64) {
    std::uint64_t mask = space_bits(i) | space_bits(i + 16) << 16 | space_bits(i + 32) << 32 |
                         space_bits(i + 48) << 48;
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
#endif
  for (; i < length && static_cast<std::size_t>(out - first) <= limit; ++i)
    if (begin[i] == ' ') *out++ = static_cast<std::uint32_t>(i + 1);
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
  if (missing_.size() < m) missing_.resize(m);
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
