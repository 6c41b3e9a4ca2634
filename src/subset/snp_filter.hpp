// Which SNP lines the subset mode keeps.
//
//   SNP_A rs1001 10250 A G 1 0 0 0.25 0.75 0 0 0 1
//
// A line is judged on its identifiers and position first; only a line that
// passes and is under a missingness limit has its probabilities read. An
// inclusion entry wins over the range and over the exclusion list; the
// exclusion list only removes what the range (or the absence of range and
// inclusion options) let through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "formats/sample.hpp"

namespace varnex {

struct snp_filter {
  bool range_flag = false;
  bool inclusion_flag = false;
  bool exclusion_flag = false;
  std::int32_t start = 0;  // inclusive
  std::int32_t end = 0;    // inclusive; 0 or below: no upper bound
  const id_set* inclusion = nullptr;
  const id_set* exclusion = nullptr;

  // `position_known` is false for a position that is not a 32-bit integer
  // (99999999999, "abc"): such a line lies in no range, it is not at 0.
  bool selects(std::string_view snp_id, std::string_view rs_id, std::int32_t position,
               bool position_known = true) const {
    bool base;
    if (range_flag)
      base = position_known && start <= position && (end <= 0 || position <= end);
    else
      base = !inclusion_flag;
    bool excluded = exclusion_flag && (exclusion->contains(rs_id) || exclusion->contains(snp_id));
    bool included = inclusion_flag && (inclusion->contains(rs_id) || inclusion->contains(snp_id));
    return (base && !excluded) || included;
  }
};

// True when the share of samples whose three probabilities all lie below
// `threshold` is above `limit`. `probs` holds 3 * n values; with no samples
// nothing is ever too missing.
inline bool too_missing(const double* probs, std::size_t n, double threshold, double limit) {
  if (n == 0) return false;
  std::size_t count = 0;
  for (std::size_t i = 0; i < n; ++i, probs += 3)
    if (threshold > probs[0] && threshold > probs[1] && threshold > probs[2]) ++count;
  return static_cast<double>(count) / static_cast<double>(n) > limit;
}

}  // namespace varnex
