// The reference record of one SNP position of a merge.
#pragma once

#include <cstdint>
#include <string_view>

namespace varnex {

// The first GEN line seen at a position (first input pair in list order,
// first such line in that file), with snp_id or rs_id read as "-9" once the
// inputs disagree on it. A view: valid until the index grows.
struct descriptor {
  std::string_view snp_id;
  std::string_view rs_id;
  std::int32_t pos = 0;
  std::string_view allele_a;
  std::string_view allele_b;
};

}  // namespace varnex
