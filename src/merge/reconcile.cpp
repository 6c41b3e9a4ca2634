#include "merge/reconcile.hpp"

namespace varnex {

std::string_view complement_allele(std::string_view allele) {
  if (allele.size() != 1) return {};
  switch (allele[0]) {
    case 'A': return "T";
    case 'C': return "G";
    case 'G': return "C";
    case 'T': return "A";
    default: return {};
  }
}

allele_verdict compare_alleles(std::string_view a, std::string_view b, std::string_view ref_a,
                               std::string_view ref_b) {
  if (a == ref_a && b == ref_b) return allele_verdict::same;
  if (a == ref_b && b == ref_a) return allele_verdict::reverse;
  std::string_view ca = complement_allele(a), cb = complement_allele(b);
  // An empty complement matches nothing: alleles are never empty tokens.
  if (ca.empty() || cb.empty()) return allele_verdict::different;
  if (ca == ref_a && cb == ref_b) return allele_verdict::complement;
  if (cb == ref_a && ca == ref_b) return allele_verdict::reverse_complement;
  return allele_verdict::different;
}

std::string_view verdict_word(allele_verdict verdict) {
  switch (verdict) {
    case allele_verdict::same: return "same";
    case allele_verdict::reverse: return "reverse";
    case allele_verdict::complement: return "complement";
    case allele_verdict::reverse_complement: return "reverse_complement";
    default: return "different alleles";
  }
}

triple_outcome merge_triple(const double x[3], double c[3], double threshold) {
  if (x[0] == 0.0 && x[1] == 0.0 && x[2] == 0.0) return triple_outcome::kept;
  if (x[0] == c[0] && x[1] == c[1] && x[2] == c[2]) return triple_outcome::kept;
  for (int g = 0; g < 3; ++g) {
    if (x[g] >= threshold && c[g] >= threshold) {
      c[0] = c[1] = c[2] = 0.0;
      c[g] = 1.0;
      return triple_outcome::called;
    }
  }
  if (c[0] == 0.0 && c[1] == 0.0 && c[2] == 0.0) {
    c[0] = x[0];
    c[1] = x[1];
    c[2] = x[2];
    return triple_outcome::taken;
  }
  c[0] = c[1] = c[2] = conflict_value;
  return triple_outcome::conflict;
}

}  // namespace varnex
