// PED and MAP lines, written.
//
//   0<TAB>s1<TAB>0<TAB>0<TAB>-9<TAB>-9<TAB>A A<TAB>N N
//   1<TAB>rs1<TAB>0<TAB>1000
//
// A PED line is the family index, the individual ID, two "0" parents, sex and
// phenotype, then one field per SNP holding both alleles separated by a space,
// so a reader splitting on any white space sees two columns per SNP. A missing
// call is "N N". A MAP line is chromosome, SNP name, genetic distance "0" and
// position, optionally followed by the two alleles. Every field is preceded by
// one tab and every line ends with "\n"; nothing is quoted.
//
// Alleles are texts: usually one letter, but an indel allele such as "CAA" is
// written as it stands in both files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/genotype_matrix.hpp"
#include "formats/streams.hpp"

namespace varnex {

// The two allele texts of every SNP, in SNP order. One-character alleles
// (nearly all of them) cost two bytes; longer ones are kept aside.
class snp_alleles {
 public:
  void reserve(std::size_t snps) { single_.reserve(2 * snps); }
  void add(std::string_view a, std::string_view b);
  std::size_t size() const { return single_.size() / 2; }
  std::string_view a(std::size_t k) const;
  std::string_view b(std::size_t k) const;

 private:
  friend void write_ped_line(output_file&, std::int64_t, std::string_view, std::int32_t,
                             std::string_view, const snp_alleles&, const std::uint8_t*);
  struct long_pair {
    std::size_t snp;
    std::string a, b;
  };
  const long_pair* find_long(std::size_t k) const;
  std::vector<char> single_;     // a, b per SNP; unused for a long pair
  std::vector<long_pair> long_;  // in SNP order
};

// One MAP line; with `alleles` (allele A, then allele B) two columns more.
void write_map_line(output_file& out, std::string_view chromosome, std::string_view snp_name,
                    std::int32_t position, const std::string_view* alleles = nullptr);

// One PED line; `calls` is the packed row of this individual (a
// genotype_matrix row), one call per SNP of `alleles`.
void write_ped_line(output_file& out, std::int64_t family_index, std::string_view individual_id,
                    std::int32_t sex, std::string_view phenotype, const snp_alleles& alleles,
                    const std::uint8_t* calls);

}  // namespace varnex
