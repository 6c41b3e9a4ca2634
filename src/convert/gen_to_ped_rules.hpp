// The rules of the GEN to PED conversion, apart from its file handling.
//
// SAMPLE header and row, with sex found by name ("gender" also counts) and a
// phenotype named on the command line:
//
//   ID_1 ID_2 missing gender bmi
//   s1 s1 0 female 27.3          ->  ID s1, sex 0 (not a number), phenotype "27.3"
//
// GEN probabilities are called with the threshold, homozygote A first:
//
//   0.5 0.5 0   at threshold 0.5  ->  A A (not A B)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/ped_writer.hpp"
#include "formats/text.hpp"

namespace varnex {

// True for the chromosome codes "1" to "24", "X", "Y" and "M", exactly.
bool snp_id_check(std::string_view snp_id);

// MAP chromosome and SNP name of a GEN SNP. When every SNP of the file has a
// chromosome code in its first column, the two columns are used as they are;
// otherwise the chromosome is "0" and the name is the rs_id if it contains
// "rs", else the snp_id.
inline std::string_view map_chromosome(std::string_view snp_id, bool all_chromosomes) {
  return all_chromosomes ? snp_id : std::string_view("0");
}
inline std::string_view map_snp_name(std::string_view snp_id, std::string_view rs_id,
                                     bool all_chromosomes) {
  if (all_chromosomes || rs_id.find("rs") != std::string_view::npos) return rs_id;
  return snp_id;
}

constexpr std::int64_t no_column = -9;

struct sample_columns {
  std::int64_t sex = no_column;
  std::int64_t phenotype = no_column;
};

// Finds the sex and phenotype columns in the SAMPLE header. A word equal to
// the phenotype name is the phenotype column, else one equal to the sex name
// the sex column (last occurrence wins for both); failing a named sex column,
// the first "sex" or "gender" column is used.
sample_columns find_sample_columns(std::string_view header, std::string_view phenotype_name,
                                   std::string_view sex_name);

// A sex word read as strtol does in base 10: its leading integer, 0 without
// one, held to the 32-bit range.
std::int32_t sex_code(std::string_view word);

// The individuals of the SAMPLE file as the PED lines need them: ID (the first
// column), sex and phenotype text (absent ones -9 and "-9").
class sample_table {
 public:
  explicit sample_table(sample_columns columns) : columns_(columns) {}
  void reserve(std::size_t rows) {
    id_end_.reserve(rows);
    phenotype_end_.reserve(rows);
    sex_.reserve(rows);
  }
  // Adds one data row; a blank line is an individual with no ID.
  void add_row(std::string_view line);
  std::size_t size() const { return sex_.size(); }
  std::string_view id(std::size_t j) const { return slice(ids_, id_end_, j); }
  std::int32_t sex(std::size_t j) const { return sex_[j]; }
  std::string_view phenotype(std::size_t j) const { return slice(phenotypes_, phenotype_end_, j); }

 private:
  static std::string_view slice(const std::string& text, const std::vector<std::size_t>& ends,
                                std::size_t j) {
    std::size_t begin = j == 0 ? 0 : ends[j - 1];
    return std::string_view(text).substr(begin, ends[j] - begin);
  }
  sample_columns columns_;
  std::string ids_, phenotypes_;
  std::vector<std::size_t> id_end_, phenotype_end_;
  std::vector<std::int32_t> sex_;
};

// The call of one genotype: the first of P(AA), P(AB), P(BB) that reaches the
// threshold decides; none reaching it is a missing call.
inline genotype_call call_genotype(double p_aa, double p_ab, double p_bb, double threshold) {
  if (p_aa >= threshold) return call_aa;
  if (p_ab >= threshold) return call_ab;
  if (p_bb >= threshold) return call_bb;
  return call_missing;
}

// Reads the probability field that starts at `p` (not blank, before `end`).
// Returns the end of the field, or nullptr when the whole field is not a
// decimal number. Plain decimals such as 0.9531 take the short path, which
// gives exactly the value of `parse_double`; anything else is handed to it.
inline const char* parse_probability(const char* p, const char* end, double& value) {
  static constexpr double powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                      1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const char* start = p;
  bool negative = false;
  if (*p == '-' || *p == '+') {
    negative = *p == '-';
    ++p;
  }
  std::uint64_t mantissa = 0;
  int digits = 0, decimals = 0;
  while (p != end && static_cast<unsigned>(*p - '0') < 10) {
    mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
    ++digits;
    ++p;
  }
  if (p != end && *p == '.') {
    ++p;
    while (p != end && static_cast<unsigned>(*p - '0') < 10) {
      mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
      ++digits;
      ++decimals;
      ++p;
    }
  }
  // Both operands exact, so the division is correctly rounded.
  if (digits > 0 && digits <= 19 && mantissa <= (std::uint64_t(1) << 53) &&
      (p == end || is_blank(*p))) {
    double v = static_cast<double>(mantissa) / powers[decimals];
    value = negative ? -v : v;
    return p;
  }
  while (p != end && !is_blank(*p)) ++p;
  return parse_double(std::string_view(start, p - start), value) ? p : nullptr;
}

}  // namespace varnex
