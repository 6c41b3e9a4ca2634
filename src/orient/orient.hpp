// The per-SNP work of the orient mode, apart from the files.
#pragma once

#include <cstddef>
#include <string_view>

#include "formats/gen.hpp"

namespace varnex {

// Room that `orient_snp` needs for a line: its text, and 8 bytes that it may
// overwrite beyond the text's end.
inline std::size_t orient_snp_bound(const gen_line& g) {
  return gen_head_room(g.snp_id, g.rs_id, g.allele_a, g.allele_b) + g.probabilities.size() + 8;
}

// Writes the output line of `g` without its line feed: the leading fields
// (the position as a number), then each complete probability triple, all
// separated by single spaces, with no space before or after. Orientation '-'
// complements both alleles; then under `order`, alleles out of alphabetical
// order are swapped and every triple written last value first. One or two
// tokens after the last complete triple are dropped. Tokens are copied byte
// for byte. Returns the end of the text written at `out`, which has room for
// `orient_snp_bound` bytes.
char* orient_snp(const gen_line& g, char orientation, bool order, char* out);

}  // namespace varnex
