// The position index of a merge: the first pass over every GEN input.
//
//   SNP_A rs1001 10250 A G 1 0 0 0.25 0.75 0
//
// Only the five leading fields are read here. A SNP is its position: the
// first line seen at a position becomes the reference, and every later line
// there is compared with it (names reported, alleles swapped, complemented or
// found different). For each (position, input) the index keeps where the line
// stands, so that the second pass reads exactly that line again; a repeated
// position within one input keeps its last line.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "driver/log.hpp"
#include "formats/streams.hpp"
#include "merge/descriptor.hpp"
#include "merge/line_store.hpp"

namespace varnex {

// One GEN line to read again.
struct position_entry {
  std::int32_t pos;
  std::uint32_t input;
  std::uint32_t slot;
  std::uint32_t length;   // bytes, without the line feed
  std::uint64_t where;    // offset | in_spill | flipped

  static constexpr std::uint64_t in_spill = 1ull << 63;
  static constexpr std::uint64_t flipped = 1ull << 62;
  std::uint64_t offset() const { return where & ~(in_spill | flipped); }
  bool spilled() const { return where & in_spill; }
  bool flip() const { return where & flipped; }
};

class position_index {
 public:
  // Reads GEN input `input` to its end; returns the number of lines taken.
  // Lines of white space only are skipped; any other line without five
  // fields and a 32-bit position stops the run (io_error naming file and
  // line). Once a gzip input (`compressed`) steps back in position order, its
  // lines go to `spill`.
  std::uint64_t add_input(std::uint32_t input, gz_line_reader& reader, bool compressed,
                          spill_file& spill, tee& log);

  std::uint64_t mismatched_alleles() const { return mismatched_alleles_; }
  // Every recorded line, sorted by position and then input; consumes the index
  // of lines (the descriptors stay).
  std::vector<position_entry> take_sorted_entries();

  descriptor describe(std::uint32_t slot) const;
  bool bad(std::uint32_t slot) const { return slots_[slot].flags & bad_flag; }
  std::size_t positions() const { return slots_.size(); }

 private:
  enum : std::uint8_t { bad_flag = 1, snp_unknown = 2, rs_unknown = 4 };
  struct slot {
    std::uint64_t text;          // "snp_id rs_id allele_a allele_b" in text_
    std::uint32_t text_length;
    std::int32_t pos;
    std::uint32_t last_input;    // input of the last entry made for this slot
    std::uint32_t last_entry;
    std::uint8_t flags;
  };
  std::uint64_t mismatched_alleles_ = 0;
  std::string text_;
  std::vector<slot> slots_;
  std::vector<position_entry> entries_;
  std::unordered_map<std::int32_t, std::uint32_t> slot_of_;
};

}  // namespace varnex
