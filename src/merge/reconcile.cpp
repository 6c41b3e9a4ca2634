#include "merge/reconcile.hpp"

#include "formats/gen.hpp"

namespace varnex {

allele_verdict compare_alleles(std::string_view a, std::string_view b, std::string_view ref_a,
                               std::string_view ref_b) {
  if (a == ref_a && b == ref_b) return allele_verdict::same;
  if (a == ref_b && b == ref_a) return allele_verdict::reverse;
  // An empty complement matches nothing: alleles are never empty tokens.
  std::string_view ca = complement_allele(a, {}), cb = complement_allele(b, {});
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

}  // namespace varnex
