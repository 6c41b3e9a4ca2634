#include "subset/triple_writer.hpp"

#include <cstdint>
#include <cstring>

#include "formats/text.hpp"
#include "formats/byte_blocks.hpp"
#include "formats/probability_text.hpp"

namespace varnex {

namespace {

inline const char* skip_field(const char* p, const char* end) {
  while (p != end && !is_blank(*p)) ++p;
  return p;
}

// Most triples are hard calls, "1 0 0 " and the like: bytes 0, 2 and 4 are
// '0' or '1', bytes 1, 3 and 5 are spaces. Those are copied as they stand
// after one comparison of eight bytes.
inline bool is_hard_call(const char* p, const char* end) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  if (end - p < 8) return false;
  std::uint64_t word;
  std::memcpy(&word, p, 8);
  return (word & 0x0000FFFEFFFEFFFEull) == 0x0000203020302030ull;
#else
  (void)p, (void)end;
  return false;
#endif
}

// The value of a field: the number it starts with, 0 when none.
[[gnu::noinline]] double field_value(const char* p, const char* end) {
  double value = 0;
  read_probability(p, end, value);
  return value;
}

}  // namespace

void put_kept_triples(output_file& out, std::string_view text, const std::vector<char>& keep) {
  const char* const end = text.data() + text.size();
  field_starts fields(text);
  // Values are written through a local pointer into a window of the output
  // buffer; the output's own counters move once per window.
  constexpr std::size_t window = 1 << 14;
  constexpr std::ptrdiff_t sample_room = 3 * (fixed4_text_max + 1);
  char* start = out.reserve(window);
  char* o = start;
  char* limit = start + window;
  auto commit = [&] { out.advance(o - start); };
  auto reopen = [&] {
    start = o = out.reserve(window);
    limit = start + window;
  };

  const char* p;
  const std::size_t n = keep.size();
  std::size_t i = 0;
  int k = 3;  // values of sample i taken; below 3 when the line ran out
  for (; i < n; ++i) {
    if (!keep[i]) {
      for (k = 0; k < 3; ++k)
        if (!fields.next(p)) break;
      if (k < 3) break;
      continue;
    }
    if (limit - o < sample_room) {
      commit();
      reopen();
    }
    if (fields.peek(p) && is_hard_call(p, end)) {
      std::memcpy(o, p, 8);
      o += 6;
      fields.drop();
      fields.next(p);
      fields.next(p);
      continue;
    }
    for (k = 0; k < 3; ++k) {
      if (!fields.next(p)) break;
      if (fixed4_field(p, end, o)) {
        *o++ = ' ';
      } else {
        commit();
        const char* field_end = skip_field(p, end);
        out.put_fixed4(field_value(p, field_end));
        out.put(' ');
        reopen();
      }
    }
    if (k < 3) break;
  }
  commit();
  if (i == n) return;
  // The line is short: zeros for what it lacks.
  if (keep[i])
    for (; k < 3; ++k) out.put("0 ");
  for (++i; i < n; ++i)
    if (keep[i]) out.put("0 0 0 ");
}

void put_all_triples(output_file& out, std::string_view text, std::size_t n) {
  // Every field is wanted, so the fields are walked in order: after a value,
  // the next one starts behind a single space nearly always.
  const char* p = text.data();
  const char* const end = p + text.size();
  constexpr std::size_t window = 1 << 14;
  constexpr std::ptrdiff_t room = 3 * (fixed4_text_max + 1);
  char* start = out.reserve(window);
  char* o = start;
  char* limit = start + window;
  std::size_t left = 3 * n;  // values still to write
  while (p != end && is_blank(*p)) ++p;
  while (left > 0 && p != end) {
    if (limit - o < room) {
      out.advance(o - start);
      start = o = out.reserve(window);
      limit = start + window;
    }
    if (left >= 3 && is_hard_call(p, end)) {
      std::memcpy(o, p, 8);
      o += 6;
      p += 6;
      left -= 3;
    } else {
      if (const char* next = fixed4_field(p, end, o)) {
        *o++ = ' ';
        p = next;
      } else {
        out.advance(o - start);
        const char* field_end = skip_field(p, end);
        out.put_fixed4(field_value(p, field_end));
        out.put(' ');
        start = o = out.reserve(window);
        limit = start + window;
        p = field_end;
      }
      --left;
    }
    while (p != end && is_blank(*p)) ++p;
  }
  out.advance(o - start);
  // A short line: zeros for what it lacks.
  for (; left > 0; --left) out.put("0 ");
}

void read_probabilities(std::string_view text, std::vector<double>& probs) {
  field_cursor cursor(text);
  std::string_view field;
  std::size_t k = 0;
  for (; k < probs.size() && cursor.next(field); ++k) probs[k] = field_value(field.data(), field.data() + field.size());
  for (; k < probs.size(); ++k) probs[k] = 0;
}

}  // namespace varnex
