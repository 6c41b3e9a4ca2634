// GEN genotype lines.
//
//   SNP_A rs1001 10250 A G 1 0 0 0.25 0.75 0 0 0 1
//
// Five leading fields (snp_id, rs_id, position, allele A, allele B), then a
// P(AA) P(AB) P(BB) triple per sample in SAMPLE row order. Fields are split on
// any run of white space, so tabs, double spaces and a CR before the line feed
// are harmless. Nothing here checks the number of triples against a SAMPLE
// file or says what a short or long line means.
#pragma once

#include <cstdint>
#include <string_view>

#include "formats/streams.hpp"
#include "formats/text.hpp"

namespace varnex {

// The five leading fields of one line, as views into the line.
struct gen_line {
  std::string_view snp_id;
  std::string_view rs_id;
  std::string_view position_text;
  std::string_view allele_a;
  std::string_view allele_b;
  std::int32_t position = 0;    // 0 when position_text is not a 32-bit integer
  bool position_ok = false;
  int leading_fields = 0;       // how many of the five were present
  std::string_view probabilities;  // everything after allele B
};

// Splits the leading fields of `text`. A line with fewer than five fields
// leaves the missing ones empty; it is never rejected here.
gen_line split_gen_line(std::string_view text);

// The five leading fields separated by single spaces, with no space after
// allele B: the layout every written GEN line starts with. `out` has room for
// gen_head_room bytes.
char* write_gen_head(char* out, std::string_view snp_id, std::string_view rs_id,
                     std::string_view position, std::string_view allele_a, std::string_view allele_b);
inline std::size_t gen_head_room(std::string_view snp_id, std::string_view rs_id,
                                 std::string_view allele_a, std::string_view allele_b) {
  return snp_id.size() + rs_id.size() + allele_a.size() + allele_b.size() + 16;
}
// The same with a position as a number, and into an output file.
char* write_gen_head(char* out, std::string_view snp_id, std::string_view rs_id,
                     std::int32_t position, std::string_view allele_a, std::string_view allele_b);
void put_gen_head(output_file& out, std::string_view snp_id, std::string_view rs_id,
                  std::int32_t position, std::string_view allele_a, std::string_view allele_b);
// A line's own fields, its position as a number (a text that is not one as
// it stands).
void put_gen_head(output_file& out, const gen_line& g);

// The allele on the other strand: "A" <-> "T", "C" <-> "G"; `otherwise` for
// any other allele (N, lower case, several letters), which has none.
std::string_view complement_allele(std::string_view allele, std::string_view otherwise);

// Number of samples implied by a first GEN line: (fields - 5) / 3, truncated
// toward zero, so an empty line gives -1.
long samples_in_first_line(std::string_view text);

}  // namespace varnex
