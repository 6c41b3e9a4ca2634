#include "merge/numbers.hpp"

#include <charconv>
#include <cmath>
#include <string_view>

#include "formats/text.hpp"

namespace varnex {

namespace {

// Never the bits of a value that reaches the writer: a NaN is never parsed.
constexpr std::uint64_t empty_bits = 0x7ff8dead0000beefull;

}  // namespace

const char* read_probability_slowly(const char* p, const char* end, double& value) {
  const char* field_end = p;
  while (field_end != end && !is_blank(*field_end)) ++field_end;
  return p + parse_double_prefix(std::string_view(p, field_end - p), value);
}

probability_writer::probability_writer() : cache_(std::size_t(1) << cache_bits) {
  for (entry& e : cache_) e.bits = empty_bits;
}

void probability_writer::fill(entry& e, std::uint64_t bits, double value) {
  char text[32];
  char* last = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6).ptr;
  e.bits = bits;
  e.length = static_cast<std::uint8_t>(last - text);
  std::memcpy(e.text, text, e.length);
}

}  // namespace varnex
