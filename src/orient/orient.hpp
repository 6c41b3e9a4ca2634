// The per-SNP work of the orient mode, apart from the files.
#pragma once

#include <cstddef>
#include <string_view>

namespace varnex {

// "A"<->"T", "C"<->"G"; any other allele (N, lower case, several letters)
// is its own complement, so that the line stays readable.
std::string_view complement(std::string_view allele);

// Room that `orient_snp` needs for these fields: the text, and 8 bytes that
// it may overwrite beyond the text's end.
inline std::size_t orient_snp_bound(std::string_view probabilities, std::string_view allele_a,
                                    std::string_view allele_b) {
  return allele_a.size() + 1 + allele_b.size() + probabilities.size() + 8;
}

// Writes what follows the position on an output line: the two alleles, then
// each complete probability triple, all separated by single spaces, with no
// space before or after. `probabilities` is the line after allele B (it
// starts with the separator). Orientation '-' complements both alleles; then
// under `order`, alleles out of alphabetical order are swapped and every
// triple written last value first. One or two tokens after the last complete
// triple are dropped. Tokens are copied byte for byte. Returns the end of the
// text written at `out`, which has room for `orient_snp_bound` bytes.
char* orient_snp(std::string_view probabilities, std::string_view allele_a,
                 std::string_view allele_b, char orientation, bool order, char* out);

}  // namespace varnex
