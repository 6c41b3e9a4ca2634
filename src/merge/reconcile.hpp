// The two judgements of a merge, kept apart from the file handling so that
// they can be checked on their own.
//
//   SNP_A rs1001 10250 A G ...   (first input: the reference)
//   SNP_A rs1001 10250 C T ...   (second input: the other strand, reversed)
//
// Alleles of a later line are matched against the reference by swapping and
// by complementing A<->T and C<->G; only single upper-case letters complement.
// Probability triples of one individual from two inputs agree when they are
// equal, when one is missing, or when both give one genotype at least the
// threshold.
#pragma once

#include <string_view>

namespace varnex {

enum class allele_verdict { same, reverse, complement, reverse_complement, different };

// The first rule that holds, in the order of the enum: a strand-symmetric
// pair (A/T against T/A) is therefore a reversal, never a complement.
allele_verdict compare_alleles(std::string_view a, std::string_view b, std::string_view ref_a,
                               std::string_view ref_b);

// The word that ends a "Mismatched alleles: " message ("reverse", ...).
std::string_view verdict_word(allele_verdict verdict);

// True when the line's probabilities must have P(AA) and P(BB) exchanged.
inline bool verdict_flips(allele_verdict verdict) {
  return verdict == allele_verdict::reverse || verdict == allele_verdict::reverse_complement;
}

enum class triple_outcome { kept, called, taken, conflict };

// The marker value of a conflicting triple: it is written as "0 0 0".
constexpr double conflict_value = -9.0;

// Merges the triple `x` of one input into the current triple `c` of the same
// individual at the same position. A conflict leaves -9 -9 -9 in `c`; the
// caller reports it.
inline triple_outcome merge_triple(const double x[3], double c[3], double threshold) {
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
