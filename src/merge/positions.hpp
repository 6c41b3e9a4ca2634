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
#include <functional>
#include <string>
#include <vector>

#include "driver/log.hpp"
#include "formats/streams.hpp"
#include "merge/descriptor.hpp"
#include "formats/ranges.hpp"

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

// What the first pass found in one GEN input.
struct input_counts {
  std::uint64_t lines = 0;     // lines taken
  std::uint64_t repeated = 0;  // positions held by more than one line of the input
};

// When an input may use the index: `wait` blocks until its turn and is
// called once; `check`, called now and then before, throws when the input is
// no longer wanted (an earlier one failed). Without `check` the input takes
// its turn at once and reads nothing ahead.
struct index_turn {
  std::function<void()> wait, check;
};

class position_index {
 public:
  // Reads GEN input `input` to its end. Lines of white space only are
  // skipped; any other line without five fields and a 32-bit position, or
  // with more probabilities than 3 for each of the `rows` individuals of
  // SAMPLE file `sample_name`, stops the run (run_failure naming file and
  // line). A gzip input (`compressed`) goes to `spill` from its first
  // backward step in position order on; one that is small, or steps back
  // early, goes there whole, so that its gzip reader is not needed again.
  //
  // Nothing of the index, the spill or the log is touched before `turn.wait`
  // has returned, so the next input can be read on another thread while this
  // one is indexed, its lines waiting (leading fields only) for their turn.
  input_counts add_input(std::uint32_t input, line_reader& reader, bool compressed,
                         std::size_t rows, const std::string& sample_name, spill_file& spill,
                         tee& log, const index_turn& turn);

  std::uint64_t mismatched_alleles() const { return mismatched_alleles_; }
  // Every recorded line, sorted by position and then input; consumes the index
  // of lines (the descriptors stay).
  std::vector<position_entry> take_sorted_entries();

  descriptor describe(std::uint32_t slot) const;
  bool bad(std::uint32_t slot) const { return slots_[slot].flags & bad_flag; }

 private:
  enum : std::uint8_t { bad_flag = 1, snp_unknown = 2, rs_unknown = 4 };
  struct slot {
    std::uint64_t text;          // "snp_id rs_id allele_a allele_b" in text_
    std::uint32_t text_length;
    std::int32_t pos;
    std::uint32_t last_input;    // input of the last entry made for this slot
    std::uint32_t last_entry;
    std::uint32_t repeated_in;   // last input found to hold the position twice
    std::uint8_t flags;
  };
  // Entries [first_entry, end) not yet in the spill: their input's text now
  // stands in the spill from `base` on.
  void move_to_spill(std::size_t first_entry, std::uint64_t base);
  std::uint64_t mismatched_alleles_ = 0;
  std::string text_;
  std::vector<slot> slots_;
  std::vector<position_entry> entries_;
  // Position to slot: open addressing, one cell of 8 bytes per probe, so
  // that inputs out of order cost one cache miss per line rather than a
  // chain of nodes. A cell holds the position above the slot + 1 (0: empty).
  std::vector<std::uint64_t> cells_;
  std::size_t used_cells_ = 0;
  // Lines read but not yet indexed.
  struct pending {
    std::int32_t pos;
    std::uint32_t length;
    std::uint64_t where;
    std::uint64_t text;             // the leading fields in pending_lines::text
    std::uint32_t field_at[4];      // snp_id, rs_id, allele A, allele B in them
    std::uint32_t field_length[4];
    std::uint32_t slot;
    bool inserted;
  };
  struct pending_lines {
    std::vector<pending> lines;
    std::string text;  // their leading fields
  };
  // Indexes `waiting` and empties it.
  void index_pending(std::uint32_t input, pending_lines& waiting, input_counts& counts, tee& log);
  // Indexes a few lines, so that their cache misses overlap.
  void index_batch(std::uint32_t input, pending* lines, std::size_t n, const std::string& text,
                   input_counts& counts, tee& log);
  std::size_t cell_of(std::uint32_t key) const;
  // The slot of `position`, made `fresh` when the position is new.
  std::uint32_t slot_of(std::int32_t position, std::uint32_t fresh, bool& inserted);
};

}  // namespace varnex
