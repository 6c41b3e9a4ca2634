// Strand files: which strand the alleles of each SNP position are reported on.
//
//   752566 -
//
// A position (signed 32-bit) and an orientation token, "+" or "-", per line,
// no header; further tokens on a line are ignored. Positions need not be
// sorted and may repeat: a later line for a position replaces the earlier
// one. A line whose position is not an integer or whose token is something
// else (an empty line included) is handed back to the caller to report; it
// never enters the map, in particular not as position 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace varnex {

struct strand_line {
  std::string_view position_text;  // first field, as it stands ("" when absent)
  std::string_view token;          // second field ("" when absent)
  std::int32_t position = 0;
  bool position_ok = false;
  char orientation = 0;  // '+' or '-' for an entry, 0 for a line to report
};

strand_line parse_strand_line(std::string_view line);

// Position to orientation, one entry per position: 8 bytes each once
// finished, at most about 16 while lines are added. Lines are added in file
// order; the latest line of a position wins.
class strand_map {
 public:
  void add(std::int32_t position, char orientation);
  void finish();
  // '+', '-', or 0 when the position has no entry. Only after `finish`.
  char find(std::int32_t position) const;
  // Entries held, one per position once finished.
  std::size_t size() const { return entries_.size() + recent_.size(); }
  std::size_t capacity() const { return entries_.capacity() + recent_.capacity(); }

 private:
  void fold();
  // Biased position in the high half, a '-' bit at the bottom; sorted, one
  // per position.
  std::vector<std::uint64_t> entries_;
  // Lines since the last fold, with their sequence above the '-' bit; folded
  // in when they are as many as the entries.
  std::vector<std::uint64_t> recent_;
};

}  // namespace varnex
