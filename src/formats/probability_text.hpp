// Probability fields of GEN text read fast.
//
//   0.0123 -> 0.0123 (a double)    0.333333 -> "0.3333" (the subset style)
//
// Almost every value of a GEN file is a plain decimal such as 0, 1 or
// 0.012345. Those are read with one exact division, or rewritten in four
// decimals on their digits, with the very result that the general parser
// and formatter give; anything else (a sign, an exponent, many digits, text
// that is not a number) takes the general way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace varnex {

// The general case of read_probability.
const char* read_probability_slowly(const char* p, const char* end, double& value);

// Reads the number that starts at `p` (no leading white space) the way
// parse_double_prefix does; returns the end of the number, `p` (with `value`
// untouched) when there is none: "0.5x" reads 0.5, "abc" nothing.
inline const char* read_probability(const char* p, const char* end, double& value) {
  static constexpr double powers_of_ten[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const char* q = p;
  if (q == end || *q == '-' || *q == '+') return read_probability_slowly(p, end, value);
  std::uint64_t mantissa = 0;
  int digits = 0, decimals = 0;
  while (q != end && static_cast<unsigned char>(*q - '0') < 10) mantissa = mantissa * 10 + (*q++ - '0'), ++digits;
  if (q != end && *q == '.') {
    ++q;
    while (q != end && static_cast<unsigned char>(*q - '0') < 10)
      mantissa = mantissa * 10 + (*q++ - '0'), ++digits, ++decimals;
  }
  // Up to 15 digits the mantissa and the power of ten are exact doubles, so
  // one division gives the correctly rounded value.
  if (digits == 0 || digits > 15 || (q != end && (*q == 'e' || *q == 'E')))
    return read_probability_slowly(p, end, value);
  value = decimals ? static_cast<double>(mantissa) / powers_of_ten[decimals]
                   : static_cast<double>(mantissa);
  return q;
}

// Reads a token of one of the common forms "d" or "d.ddd" (n characters,
// at most eight; eight bytes readable from `p`) with the same result as
// read_probability: the digits as one integer, the point's byte taken as a
// 0 digit and its weight taken off again, then one exact division.
inline double read_short_decimal(const char* p, std::size_t n) {
  static constexpr std::uint64_t point_weight[] = {0, 0, 0, 90, 900, 9000, 90000, 900000, 9000000};
  static constexpr double scale[] = {1, 1, 1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  // Little-endian: the first character is the lowest byte. The point is the
  // second; bytes past the token leave at the top, zeros come in as
  // leading digits.
  w &= ~std::uint64_t(0xFF00);
  w <<= 8 * (8 - n);
  w = ((w & 0x0F0F0F0F0F0F0F0Full) * 2561) >> 8;
  w = ((w & 0x00FF00FF00FF00FFull) * 6553601) >> 16;
  w = ((w & 0x0000FFFF0000FFFFull) * 42949672960001ull) >> 32;
  const std::uint64_t first = static_cast<unsigned char>(p[0] - '0');
  return static_cast<double>(w - first * point_weight[n]) / scale[n];
}

// The four-decimal subset style of a field ("0.333333" -> "0.3333",
// "1.000" -> "1", ".5" -> "0.5000", "0.99996" -> "1.0000"), the text that
// formatting its double with put_fixed4 gives.
// Room needed at `out`: the longest text, "1000.0000". A shorter value may
// write past its end within this room.
constexpr int fixed4_text_max = 9;

// Writes the subset style of the field starting at `p` (a non-blank
// character before `end`) at `out`, sets `out` past what it wrote and returns
// the end of the field; returns nullptr, with nothing written, when the field
// is not one it can do exactly.
//
// Exactness: the field is at most 3 integer and 12 fraction digits, so its
// double lies within 2^-44 of the decimal, while a non-integral decimal is at
// least 1e-12 away from an integer and, unless it is an exact tie, from every
// point where rounding to four decimals changes.
inline const char* fixed4_field(const char* p, const char* const end, char*& out) {
  auto digit = [](char c) { return static_cast<unsigned char>(c - '0') < 10; };
  auto blank = [](char c) { return c == ' ' || static_cast<unsigned char>(c - '\t') < 5; };
  // Hard calls first: a lone digit.
  if (digit(p[0]) && (p + 1 == end || blank(p[1]))) {
    *out++ = p[0];
    return p + 1;
  }
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  // Then the usual uncertain value, one digit, a point and up to seven
  // decimals, taken eight bytes at a time (byte i holds decimal i + 1).
  if (end - p >= 10 && digit(p[0]) && p[1] == '.') {
    std::uint64_t word;
    std::memcpy(&word, p + 2, 8);
    const std::uint64_t values = word ^ 0x3030303030303030ull;  // digits become 0..9
    const std::uint64_t not_digit =
        (((values & 0x7F7F7F7F7F7F7F7Full) + 0x7676767676767676ull) | values) &
        0x8080808080808080ull;
    const std::uint64_t spaces = word ^ 0x2020202020202020ull;  // spaces become 0
    const std::uint64_t not_space =
        (((spaces & 0x7F7F7F7F7F7F7F7Full) + 0x7F7F7F7F7F7F7F7Full) | spaces) &
        0x8080808080808080ull;
    // The high bit of the first byte after the decimals; found without a
    // load, as is whether that byte is the usual single space.
    const std::uint64_t first = not_digit & (0 - not_digit);
    const int n_frac = first ? __builtin_ctzll(first) >> 3 : 8;
    if (n_frac > 0 && n_frac < 8 && ((first & ~not_space) != 0 || blank(p[2 + n_frac]))) {
      const std::uint64_t frac = values & ((first >> 7) - 1);
      if (frac == 0) {
        *out++ = p[0];
        return p + 2 + n_frac;
      }
      const std::uint64_t fifth = frac >> 32 & 0xFF;
      const bool tail = (frac >> 40) != 0;
      if (fifth == 5 && !tail) return nullptr;  // an exact tie depends on the binary value
      // The first four decimals stay digits; rounding up (as likely as not,
      // so without a branch) adds one to the last of them and carries over
      // the nines before it, into the whole digit when all four are nines.
      const std::uint64_t up = fifth >= 5;
      const std::uint32_t reversed = __builtin_bswap32(static_cast<std::uint32_t>(frac));
      const std::uint32_t nines = reversed ^ 0x09090909u;
      const std::uint32_t not_nine = (((nines & 0x7F7F7F7Fu) + 0x7F7F7F7Fu) | nines) & 0x80808080u;
      const std::uint64_t unit = not_nine ? std::uint64_t{not_nine & (0u - not_nine)} >> 7
                                          : std::uint64_t{1} << 32;
      const std::uint64_t bumped = (reversed & ~(unit - 1)) + unit;
      const std::uint64_t rounded = up ? bumped : reversed;
      std::uint32_t whole = static_cast<std::uint32_t>(p[0] - '0') + static_cast<std::uint32_t>(rounded >> 32);
      const std::uint64_t four = __builtin_bswap32(static_cast<std::uint32_t>(rounded)) | 0x30303030u;
      char* o = out;
      if (whole == 10) {
        *o++ = '1';
        whole = 0;
      }
      const std::uint64_t text = ('0' + whole) | std::uint64_t{'.'} << 8 | four << 16;
      std::memcpy(o, &text, 8);  // the caller leaves room for a whole value and more
      o += 2;
      out = o + 4;
      return p + 2 + n_frac;
    }
  }
#endif
  std::uint32_t whole = 0;
  const char* const digits = p;
  while (p != end && digit(*p)) whole = whole * 10 + (*p++ - '0');
  const long n_whole = p - digits;
  if (n_whole > 3) return nullptr;
  const char* frac = p;
  const char* frac_end = p;
  if (p != end && *p == '.') {
    frac = ++p;
    while (p != end && digit(*p)) ++p;
    frac_end = p;
  }
  if (p != end && !blank(*p)) return nullptr;
  const long n_frac = frac_end - frac;
  if (n_whole + n_frac == 0 || n_frac > 12) return nullptr;

  // First four decimals, then how the rest compares with one half of the
  // fourth decimal's unit.
  std::uint32_t four = 0;
  bool nonzero = false;
  for (long i = 0; i < 4; ++i) {
    char d = i < n_frac ? frac[i] : '0';
    four = four * 10 + (d - '0');
    nonzero |= d != '0';
  }
  bool up = false;
  if (n_frac > 4) {
    bool tail = false;
    for (long i = 5; i < n_frac; ++i) tail |= frac[i] != '0';
    nonzero |= frac[4] != '0' || tail;
    if (frac[4] == '5' && !tail) return nullptr;  // an exact tie depends on the binary value
    up = frac[4] >= '5';
  }

  char* o = out;
  if (!nonzero) {
    // Integral: no decimals and no point.
    if (whole >= 100) *o++ = static_cast<char>('0' + whole / 100);
    if (whole >= 10) *o++ = static_cast<char>('0' + whole / 10 % 10);
    *o++ = static_cast<char>('0' + whole % 10);
    out = o;
    return p;
  }
  if (up && ++four == 10000) {
    four = 0;
    ++whole;
  }
  if (whole >= 1000) *o++ = static_cast<char>('0' + whole / 1000);
  if (whole >= 100) *o++ = static_cast<char>('0' + whole / 100 % 10);
  if (whole >= 10) *o++ = static_cast<char>('0' + whole / 10 % 10);
  *o++ = static_cast<char>('0' + whole % 10);
  *o++ = '.';
  o[0] = static_cast<char>('0' + four / 1000);
  o[1] = static_cast<char>('0' + four / 100 % 10);
  o[2] = static_cast<char>('0' + four / 10 % 10);
  o[3] = static_cast<char>('0' + four % 10);
  out = o + 4;
  return p;
}

}  // namespace varnex
