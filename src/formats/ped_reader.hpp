// Readers of the PED/MAP pair.
//
//   MAP:  1	rs3094315	0	752566          (optionally followed by two alleles: A G)
//   PED:  FAM1 NA06985 0 0 2 1 A A	G T	0 0 ...
//
// A MAP record is four words that may run across line ends (chromosome, name,
// genetic distance, position); whatever follows the position on its line may
// preset the two alleles. A PED line is six words, then single non-blank
// characters taken two at a time, so "A G", "AG" and "A\tG" are the same pair.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "formats/records.hpp"
#include "formats/streams.hpp"
#include "formats/text.hpp"

namespace varnex {

// Reads MAP records to the end of the input or to the first record whose
// distance or position is not a number. When `stopped_at_line` is given it
// receives the line where such a record starts, or 0 when the input simply
// ended.
std::vector<map_snp> read_map_file(input_file& input, std::uint64_t* stopped_at_line = nullptr);

// Hands out the alleles of one PED line two at a time.
class allele_cursor {
 public:
  allele_cursor() = default;
  explicit allele_cursor(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

  // The next pair; false when fewer than two alleles are left.
  bool next_pair(char& first, char& second) {
    const char* p = p_;
    // The usual layout, one separator before each allele ("\tA G").
    if (end_ - p >= 4 && is_blank(p[0]) && !is_blank(p[1]) && is_blank(p[2]) && !is_blank(p[3])) {
      first = p[1];
      second = p[3];
      p_ = p + 4;
      return true;
    }
    while (p != end_ && is_blank(*p)) ++p;
    if (p == end_) return false;
    const char* q = p + 1;
    while (q != end_ && is_blank(*q)) ++q;
    if (q == end_) return false;
    first = *p;
    second = *q;
    p_ = q + 1;
    return true;
  }
  // Number of alleles not yet handed out (counts a lone last one).
  std::uint64_t remaining() const;

 private:
  const char* p_ = nullptr;
  const char* end_ = nullptr;
};

struct ped_line {
  std::string_view family_id;
  std::string_view individual_id;
  std::int32_t sex = 0;  // strtol rules: the leading integer, 0 without one
  std::string_view phenotype;
  int fields = 0;  // how many of the six leading words were present
  allele_cursor alleles;
};

// Splits the six leading words of a PED line; the views point into `line`.
// A line with fewer than six words leaves the missing ones empty and has no
// alleles.
ped_line read_ped_line(std::string_view line);

// True when the line holds nothing but white space.
bool is_blank_line(std::string_view line);

}  // namespace varnex
