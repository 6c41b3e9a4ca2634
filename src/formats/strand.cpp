#include "formats/strand.hpp"

#include <algorithm>

#include "formats/text.hpp"

namespace varnex {

namespace {

// Lines gathered before the first fold.
constexpr std::size_t min_recent = 4096;
// The sequence of a recent line must fit its 31 bits.
constexpr std::size_t max_recent = std::size_t{1} << 30;

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
  if (recent_.capacity() == 0) recent_.reserve(min_recent);
  recent_.push_back(high_key(position) | (std::uint64_t{static_cast<std::uint32_t>(recent_.size())} << 1) |
                    (orientation == '-' ? 1u : 0u));
  if (recent_.size() == recent_.capacity()) fold();
}

// Sorts the recent lines, keeps the last of each position and merges them
// into the entries in place (from the back), the recent one winning.
void strand_map::fold() {
  std::sort(recent_.begin(), recent_.end());
  std::size_t kept = 0;
  for (std::size_t i = 0; i < recent_.size(); ++i)
    if (i + 1 == recent_.size() || (recent_[i + 1] >> 32) != (recent_[i] >> 32))
      recent_[kept++] = (recent_[i] & ~std::uint64_t{0xffffffff}) | (recent_[i] & 1);
  recent_.resize(kept);

  std::size_t old_size = entries_.size();
  entries_.reserve(old_size + kept);  // exactly: no doubling beyond the entries
  entries_.resize(old_size + kept);
  std::size_t i = old_size, j = kept, out = old_size + kept;
  while (j > 0) {
    const std::uint64_t r = recent_[j - 1];
    if (i > 0 && (entries_[i - 1] >> 32) > (r >> 32)) {
      entries_[--out] = entries_[--i];
    } else {
      if (i > 0 && (entries_[i - 1] >> 32) == (r >> 32)) --i;  // replaced
      entries_[--out] = r;
      --j;
    }
  }
  // Replaced entries left a gap of `out - i` below the merged part.
  if (out != i) {
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i),
                   entries_.begin() + static_cast<std::ptrdiff_t>(out));
    if (entries_.capacity() > entries_.size() + entries_.size() / 4) entries_.shrink_to_fit();
  }
  // As many recent lines as entries before the next fold: sorting stays
  // O(n log n) over the file and memory within twice the entries.
  recent_.clear();
  const std::size_t want = std::min(std::max(min_recent, entries_.size()), max_recent);
  if (recent_.capacity() != want) {
    std::vector<std::uint64_t>().swap(recent_);
    recent_.reserve(want);
  }
}

void strand_map::finish() {
  fold();
  entries_.shrink_to_fit();
  std::vector<std::uint64_t>().swap(recent_);
}

char strand_map::find(std::int32_t position) const {
  std::uint64_t key = high_key(position);
  auto it = std::lower_bound(entries_.begin(), entries_.end(), key);
  if (it == entries_.end() || (*it >> 32) != (key >> 32)) return 0;
  return (*it & 1) ? '-' : '+';
}

}  // namespace varnex
