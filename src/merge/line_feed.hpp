// The second pass of a merge: the GEN lines of the coming positions, read and
// split by a thread of their own while the current position is merged and
// written.
//
// The reading thread works through the sorted entries in batches of whole
// positions (a few MiB of text each); two batches are in play, one filled
// while the other is used. Positions whose alleles were found different are
// never read. A failure to read is handed over with the position where it
// struck, so everything before it is merged and written as it would be
// without the thread.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "formats/crew.hpp"
#include "formats/ranges.hpp"
#include "formats/streams.hpp"
#include "merge/positions.hpp"
#include "merge/samples.hpp"
#include "merge/line_triples.hpp"

namespace varnex {

// One line of a position, ready to merge.
struct fed_line {
  std::string_view probabilities;  // what follows allele B, from the space after it
  bool split;                      // `triples` holds the line split (copy_text only)
  const line_triples* triples;
};

class line_feed {
 public:
  // `entries`, `index` and `inputs` (the open GEN inputs) outlive the feed. With `copy_text` each line is
  // also split into triples (line_triples::scan) for copying as text.
  // `runs`: per input, where its position-ordered runs start in the spill
  // (order_inputs).
  line_feed(const std::vector<position_entry>& entries, const position_index& index,
            const std::vector<std::unique_ptr<input_file>>& inputs, spill_file& spill,
            const std::vector<std::vector<std::uint64_t>>& runs, const sample_union& samples,
            bool copy_text);
  ~line_feed();
  line_feed(const line_feed&) = delete;
  line_feed& operator=(const line_feed&) = delete;

  // The lines of the position whose entries start at `first`, in entry
  // order; valid until the next call. Rethrows a failure of the reading
  // thread when the position is the one where it struck.
  const fed_line* position(std::size_t first);

 private:
  struct batch {
    std::size_t first = 0, end = 0;     // entries [first, end)
    std::unique_ptr<char[]> text;       // the lines the batch reads
    std::size_t capacity = 0;
    std::vector<fed_line> lines;        // per entry; empty for positions not read
    std::vector<line_triples> triples;  // pool, one per entry at most
    std::size_t failed_at = SIZE_MAX;   // first entry of the position that failed
    std::exception_ptr failure;
  };
  class source;
  // The lines one stream (a plain input, or a stretch of the spill) gives a batch.
  struct span {
    std::uint64_t start = UINT64_MAX, end = 0;  // file offsets they cover
    std::uint64_t bytes = 0;                    // their own length
    std::size_t lines = 0;
    bool ordered = true;  // each after the one before
    bool whole = false;   // read in one piece
    std::size_t at = 0;   // where in the batch's text
    std::size_t got = 0;  // bytes the file held
  };
  std::vector<span> spans_;
  std::vector<std::size_t> streams_;  // per entry of the batch filled; SIZE_MAX: a gzip reader's
  std::vector<std::vector<std::uint64_t>> runs_;
  std::vector<std::size_t> first_run_;  // per input: its first run among all
  std::size_t stream_of(const position_entry& e) const;

  void read_all();
  void fill(batch& b, std::size_t first);

  const std::vector<position_entry>& entries_;
  const position_index& index_;
  const std::vector<std::unique_ptr<input_file>>& inputs_;
  const sample_union& samples_;
  const bool copy_text_;
  spill_file& spill_;
  std::vector<std::unique_ptr<source>> sources_;
  token_verdicts verdicts_;

  batch batches_[2];
  // Batches are filled in turn: filled_ batches handed over so far, used_
  // handed back by the merge.
  std::size_t filled_ = 0, used_ = 0;
  batch* current_ = nullptr;
  crew crew_;  // last: its thread stops before the batches go
};

}  // namespace varnex
