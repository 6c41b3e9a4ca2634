#include "formats/gen.hpp"

#include <charconv>
#include <cstring>

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

char* write_gen_head(char* out, std::string_view snp_id, std::string_view rs_id,
                     std::string_view position, std::string_view allele_a, std::string_view allele_b) {
  for (std::string_view field : {snp_id, rs_id, position, allele_a}) {
    std::memcpy(out, field.data(), field.size());
    out += field.size();
    *out++ = ' ';
  }
  std::memcpy(out, allele_b.data(), allele_b.size());
  return out + allele_b.size();
}

char* write_gen_head(char* out, std::string_view snp_id, std::string_view rs_id,
                     std::int32_t position, std::string_view allele_a, std::string_view allele_b) {
  char digits[16];
  const char* end = std::to_chars(digits, digits + sizeof digits, position).ptr;
  return write_gen_head(out, snp_id, rs_id, std::string_view(digits, end - digits), allele_a, allele_b);
}

void put_gen_head(output_file& out, std::string_view snp_id, std::string_view rs_id,
                  std::int32_t position, std::string_view allele_a, std::string_view allele_b) {
  char* start = out.reserve(gen_head_room(snp_id, rs_id, allele_a, allele_b));
  out.advance(write_gen_head(start, snp_id, rs_id, position, allele_a, allele_b) - start);
}

void put_gen_head(output_file& out, const gen_line& g) {
  if (g.position_ok) return put_gen_head(out, g.snp_id, g.rs_id, g.position, g.allele_a, g.allele_b);
  char* start = out.reserve(gen_head_room(g.snp_id, g.rs_id, g.allele_a, g.allele_b) + g.position_text.size());
  out.advance(write_gen_head(start, g.snp_id, g.rs_id, g.position_text, g.allele_a, g.allele_b) - start);
}

std::string_view complement_allele(std::string_view allele, std::string_view otherwise) {
  if (allele.size() == 1) {
    switch (allele[0]) {
      case 'A': return "T";
      case 'C': return "G";
      case 'G': return "C";
      case 'T': return "A";
      default: break;
    }
  }
  return otherwise;
}

long samples_in_first_line(std::string_view text) {
  return (static_cast<long>(count_fields(text)) - 5) / 3;
}

}  // namespace varnex
