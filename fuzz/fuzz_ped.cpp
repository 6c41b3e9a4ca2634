// PED lines: the six leading words, then alleles two at a time, coded against
// the alleles a SNP has so far. A handful of SNPs is enough to reach every
// state of the allele discovery.
//
//   FAM1 NA06985 0 0 2 1 A A	G T	0 0
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "convert/ped_to_gen.hpp"
#include "formats/ped_reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  char a[4] = {'-', '-', '-', '-'}, b[4] = {'-', '-', '-', '-'};
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) nl = text.size();
    std::string_view line = text.substr(start, nl - start);
    start = nl + 1;

    varnex::ped_line fields = varnex::read_ped_line(line);
    if (fields.fields < 0 || fields.fields > 6) __builtin_trap();
    if (fields.fields < 6 && fields.alleles.remaining() != 0) __builtin_trap();
    for (std::string_view w : {fields.family_id, fields.individual_id, fields.phenotype})
      if (!w.empty() && (w.data() < text.data() || w.data() + w.size() > text.data() + text.size()))
        __builtin_trap();
    std::uint64_t before = fields.alleles.remaining();
    std::uint64_t taken = 0;
    char first, second;
    for (std::size_t k = 0; fields.alleles.next_pair(first, second); ++k) {
      taken += 2;
      if (varnex::is_blank(first) || varnex::is_blank(second)) __builtin_trap();
      varnex::genotype_code c = varnex::code_pair(a[k % 4], b[k % 4], first, second);
      if ((first == '0' || first == 'N') != (c == varnex::code_missing)) __builtin_trap();
      if (c != varnex::code_missing && a[k % 4] == '-' && first != '-') __builtin_trap();
    }
    // Every allele is handed out, except a lone last one.
    if (before - taken != fields.alleles.remaining() || fields.alleles.remaining() > 1)
      __builtin_trap();
    varnex::is_blank_line(line);
  }
  for (int k = 0; k < 4; ++k) {
    varnex::settle_second_allele(a[k], b[k]);
    varnex::gen_alleles g = varnex::order_alleles(a[k], b[k], k % 2 == 0);
    (void)g;
  }
  return 0;
}
