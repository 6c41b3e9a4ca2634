#include "formats/ped_writer.hpp"

#include <algorithm>

namespace varnex {

namespace {

// Allele written first and second for each call, as an index into {a, b, N}.
constexpr unsigned char first_of[4] = {0, 0, 1, 2};
constexpr unsigned char second_of[4] = {0, 1, 1, 2};

constexpr std::size_t snps_per_block = 1 << 16;

// SNPs [from, to) whose alleles are single characters: four bytes each.
void write_single_run(output_file& out, const char* pairs, const std::uint8_t* calls,
                      std::size_t from, std::size_t to) {
  while (from < to) {
    std::size_t count = std::min(snps_per_block, to - from);
    char* p = out.reserve(4 * count);
    for (std::size_t k = from; k < from + count; ++k, p += 4) {
      unsigned c = packed_call(calls, k);
      const char v[3] = {pairs[2 * k], pairs[2 * k + 1], 'N'};
      p[0] = '\t';
      p[1] = v[first_of[c]];
      p[2] = ' ';
      p[3] = v[second_of[c]];
    }
    out.advance(4 * count);
    from += count;
  }
}

}  // namespace

void snp_alleles::add(std::string_view a, std::string_view b) {
  const bool single = a.size() == 1 && b.size() == 1;
  if (!single) long_.push_back({size(), std::string(a), std::string(b)});
  single_.push_back(single ? a[0] : '\0');
  single_.push_back(single ? b[0] : '\0');
}

const snp_alleles::long_pair* snp_alleles::find_long(std::size_t k) const {
  auto it = std::lower_bound(long_.begin(), long_.end(), k,
                             [](const long_pair& p, std::size_t snp) { return p.snp < snp; });
  return it != long_.end() && it->snp == k ? &*it : nullptr;
}

std::string_view snp_alleles::a(std::size_t k) const {
  const long_pair* p = find_long(k);
  return p ? std::string_view(p->a) : std::string_view(&single_[2 * k], 1);
}

std::string_view snp_alleles::b(std::size_t k) const {
  const long_pair* p = find_long(k);
  return p ? std::string_view(p->b) : std::string_view(&single_[2 * k + 1], 1);
}

void write_map_line(output_file& out, std::string_view chromosome, std::string_view snp_name,
                    std::int32_t position, const std::string_view* alleles) {
  out.put(chromosome);
  out.put('\t');
  out.put(snp_name);
  out.put("\t0\t");
  out.put_int(position);
  for (int i = 0; alleles && i < 2; ++i) {
    out.put('\t');
    out.put(alleles[i]);
  }
  out.put('\n');
}

void write_ped_line(output_file& out, std::int64_t family_index, std::string_view individual_id,
                    std::int32_t sex, std::string_view phenotype, const snp_alleles& alleles,
                    const std::uint8_t* calls) {
  out.put_int(family_index);
  out.put('\t');
  out.put(individual_id);
  out.put("\t0\t0\t");
  out.put_int(sex);
  out.put('\t');
  out.put(phenotype);
  const char* pairs = alleles.single_.data();
  std::size_t k = 0;
  for (const snp_alleles::long_pair& p : alleles.long_) {
    write_single_run(out, pairs, calls, k, p.snp);
    unsigned c = packed_call(calls, p.snp);
    const std::string_view v[3] = {p.a, p.b, "N"};
    out.put('\t');
    out.put(v[first_of[c]]);
    out.put(' ');
    out.put(v[second_of[c]]);
    k = p.snp + 1;
  }
  write_single_run(out, pairs, calls, k, alleles.size());
  out.put('\n');
}

}  // namespace varnex
