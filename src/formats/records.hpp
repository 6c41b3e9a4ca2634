// Records of the PED/MAP and SAMPLE formats: one SNP of a MAP file, one
// individual of a PED or SAMPLE file. Plain values, kept in vectors in file order.
#pragma once

#include <cstdint>
#include <string>

namespace varnex {

struct map_snp {
  std::string chromosome;   // MAP column 1, written as the GEN snp_id
  std::string rs_id;        // MAP column 2, the SNP name
  std::int32_t position = 0;
  char allele_a = '-';      // '-' until seen
  char allele_b = '-';
};

struct sample {
  std::string id_1;
  std::string id_2;
  std::int32_t gender = -9;
  std::string phenotype = "-9";
  double missing_count = 0;
};

}  // namespace varnex
