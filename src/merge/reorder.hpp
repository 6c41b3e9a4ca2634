// Inputs out of position order, put in order for the second pass.
//
// The second pass wants each input's lines in position order. An input whose
// short lines stand in another order would cost one small read per line, so its
// lines are first copied into the spill file in runs: the input is read once
// front to back in chunks of a few MiB, and each chunk's wanted lines are
// written out sorted by position. Each run is then read front to back, in
// large blocks, as the positions go by.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "formats/ranges.hpp"
#include "formats/streams.hpp"
#include "merge/positions.hpp"

namespace varnex {

// Moves the lines of every input read out of order (for a gzip input, its
// lines already in the spill) into position-ordered runs of `spill`, updating
// `entries` (sorted by position). Returns, per input, the spill offsets where
// its runs start, ascending; none when the input needed nothing, or when no
// spill file can be made (the lines are then read one by one).
std::vector<std::vector<std::uint64_t>> order_inputs(std::vector<position_entry>& entries,
                                                     const position_index& index,
                                                     const std::vector<std::unique_ptr<input_file>>& inputs,
                                                     spill_file& spill);

}  // namespace varnex
