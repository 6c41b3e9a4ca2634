#include "formats/strand.hpp"

#include <algorithm>

#include "formats/text.hpp"

namespace varnex {

namespace {

constexpr std::uint32_t max_sequence = 0x7fffffffu;

std::uint64_t high_key(std::int32_t position) {
  return static_cast<std::uint64_t>(static_cast<std::uint32_t>(position) ^ 0x80000000u) << 32;
}

}  // namespace

strand_line parse_strand_line(std::string_view line) {
  strand_line s;
  field_cursor cursor(line);
  if (cursor.next(s.position_text)) cursor.next(s.token);
  s.position_ok = parse_int32(s.position_text, s.position);
  if (s.position_ok && (s.token == "+" || s.token == "-")) s.orientation = s.token[0];
  return s;
}

void strand_map::add(std::int32_t position, char orientation) {
  entries_.push_back(high_key(position) | (std::uint64_t{sequence_} << 1) |
                     (orientation == '-' ? 1u : 0u));
  // The sequence field is 31 bits; folding the entries so far keeps the
  // file order of everything added later.
  if (++sequence_ == max_sequence) compact();
}

void strand_map::compact() {
  std::sort(entries_.begin(), entries_.end());
  std::size_t kept = 0;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    bool last_of_position =
        i + 1 == entries_.size() || (entries_[i + 1] >> 32) != (entries_[i] >> 32);
    if (last_of_position) entries_[kept++] = (entries_[i] & ~std::uint64_t{0xffffffff}) | (entries_[i] & 1);
  }
  entries_.resize(kept);
  sequence_ = 1;
}

void strand_map::finish() {
  compact();
  entries_.shrink_to_fit();
}

char strand_map::find(std::int32_t position) const {
  std::uint64_t key = high_key(position);
  auto it = std::lower_bound(entries_.begin(), entries_.end(), key);
  if (it == entries_.end() || (*it >> 32) != (key >> 32)) return 0;
  return (*it & 1) ? '-' : '+';
}

}  // namespace varnex
