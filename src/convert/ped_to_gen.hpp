// Pieces of the PED to GEN conversion: allele discovery and calls, the order
// and spelling of a SNP's two alleles, and the names of the
// per-phenotype outputs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/genotype_matrix.hpp"

namespace varnex {

// The call of the pair (first, second) of one individual at a SNP whose
// alleles so far are `a` and `b` ('-' while unseen), updating them; AA is
// `a` twice. Only the first character marks a missing genotype. The first usable individual fixes `a`;
// any homozygote other than `a` replaces `b`; a heterozygote sets `b` only
// while it is unset.
inline genotype_call code_pair(char& a, char& b, char first, char second) {
  if (first == '0' || first == 'N') return call_missing;
  if (a == '-') a = first;
  // Table lookups rather than branches on the genotype, which is as good as
  // random: case = homozygote * 2 + (first differs from a).
  const unsigned other = first != a;
  const unsigned kind = (static_cast<unsigned>(first == second) << 1) | other;
  char het_b = b;
  if (het_b == '-') het_b = other ? first : second;
  // The four candidates for b, one byte each, picked by shifting.
  const std::uint32_t new_b = static_cast<unsigned char>(het_b) * 0x0101u |
                              static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16 |
                              static_cast<std::uint32_t>(static_cast<unsigned char>(first)) << 24;
  b = static_cast<char>(new_b >> (8 * kind));
  // call_ab, call_ab, call_aa, call_bb, two bits each.
  return static_cast<genotype_call>((0x85u >> (2 * kind)) & 3);
}

// True when the pair (first, second) would give a SNP whose alleles so far
// are `a` and `b` ('-' while unseen) a third allele: once both are known, any
// other character; with only `a` known, two characters that both differ from
// it and from each other. A missing pair (first character 0 or N) never does.
// Checked before code_pair, which would otherwise recode the SNP silently.
inline bool third_allele(char a, char b, char first, char second) {
  const bool missing = (first == '0') | (first == 'N');
  const bool out_first = (first != a) & (first != b);
  const bool out_second = (second != a) & (second != b);
  const bool both_known = b != '-';
  return !missing & (a != '-') &
         (both_known ? (out_first | out_second) : (out_first & out_second & (first != second)));
}

// third_allele then code_pair in one: false (alleles untouched) when the pair
// holds a third allele. Once a SNP's two alleles are known, as for nearly
// every pair, a pair is valid iff each character is one of them, and neither
// allele changes; that case takes a few comparisons, without the tables.
inline bool code_checked_pair(char& a, char& b, char first, char second, genotype_call& code) {
  if (__builtin_expect(b != '-', 1)) {  // b is never known without a
    if (first == '0' || first == 'N') {
      code = call_missing;
      return true;
    }
    const bool first_a = first == a, second_a = second == a;
    if (__builtin_expect(!((first_a | (first == b)) & (second_a | (second == b))), 0)) return false;
    // AA, AB or BA, BB; with a == b (a MAP may say so) only AA gets here.
    code = static_cast<genotype_call>(2 - first_a - second_a);
    return true;
  }
  if (third_allele(a, b, first, second)) return false;
  code = code_pair(a, b, first, second);
  return true;
}

// 1, 2, 3, 4 to A, C, G, T, 0 to N; every other character unchanged.
char numeric_allele(char c);

// The two alleles as a GEN line writes them.
struct gen_alleles {
  char a;
  char b;
  bool flipped;  // written in the reverse of the discovered order
};

// Orders a SNP's alleles `a` and `b` (`a` again for a SNP seen with one) by signed
// character value and spells numerically coded ones as letters. The spelling
// is decided by the first written allele, or, with `translate_by_first_seen`
// (the per-phenotype outputs), by the first-seen allele `a`.
gen_alleles order_alleles(char a, char b, bool translate_by_first_seen);

// `name` with "_" and the phenotype value inserted before its first ".gz", or
// appended: out.gen.gz and 2 give out.gen_2.gz.
std::string group_file_name(std::string_view name, std::string_view value);

}  // namespace varnex
