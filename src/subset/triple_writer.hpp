// The probability part of a GEN line, as the subset mode reads and writes it.
//
//   1 0 0 0.333333 0.5 0.166667 0 0
//
// Values are taken field by field: the k-th field belongs to sample k / 3
// whatever the others hold. A field that is not a number reads as 0, one that
// only starts with a number (0.5x) as that number, and a line that runs out
// of fields reads as zeros for the rest; surplus fields are ignored.
#pragma once

#include <string_view>
#include <vector>

#include "formats/streams.hpp"

namespace varnex {

// Writes the triples of the samples with keep[i] set, in sample order, each
// value in the subset style followed by a space. Fields of other samples are
// skipped without being read as numbers.
void put_kept_triples(output_file& out, std::string_view text, const std::vector<char>& keep);

// The same when every one of the n samples is kept.
void put_all_triples(output_file& out, std::string_view text, std::size_t n);

// Reads probs.size() values (zeros where the line is short).
void read_probabilities(std::string_view text, std::vector<double>& probs);

}  // namespace varnex
