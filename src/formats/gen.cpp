#include "formats/gen.hpp"

namespace varnex {

gen_line split_gen_line(std::string_view text) {
  gen_line g;
  field_cursor cursor(text);
  std::string_view* slots[5] = {&g.snp_id, &g.rs_id, &g.position_text, &g.allele_a, &g.allele_b};
  for (std::string_view* slot : slots) {
    if (!cursor.next(*slot)) break;
    ++g.leading_fields;
  }
  g.position_ok = parse_int32(g.position_text, g.position);
  if (!g.position_ok) g.position = 0;
  g.probabilities = cursor.rest();
  return g;
}

void put_gen_head(output_file& out, std::string_view snp_id, std::string_view rs_id,
                  std::int32_t position, std::string_view allele_a, std::string_view allele_b) {
  out.put(snp_id);
  out.put(' ');
  out.put(rs_id);
  out.put(' ');
  out.put_int(position);
  out.put(' ');
  out.put(allele_a);
  out.put(' ');
  out.put(allele_b);
}

long samples_in_first_line(std::string_view text) {
  return (static_cast<long>(count_fields(text)) - 5) / 3;
}

}  // namespace varnex
