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
#include <cstring>
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

// The individuals of the SAMPLE file as the PED lines need them: ID (the first
// column), sex and phenotype text (absent ones -9 and "-9").
class sample_table {
 public:
  // Finds the sex and phenotype columns among the column names. A name equal
  // to the phenotype name is the phenotype column, else one equal to the sex
  // name the sex column (last occurrence wins for both); failing a named sex
  // column, the first "sex" or "gender" column is used.
  sample_table(const std::vector<std::string_view>& names, std::string_view phenotype_name,
               std::string_view sex_name);
  void reserve(std::size_t rows) {
    ends_.reserve(2 * rows);
    sex_.reserve(rows);
  }
  // Adds one data row, given as its columns; a blank line is an individual
  // with no ID.
  void add_row(const std::vector<std::string_view>& columns);
  std::size_t size() const { return sex_.size(); }
  std::string_view id(std::size_t j) const { return text(2 * j); }
  std::int32_t sex(std::size_t j) const { return sex_[j]; }
  std::string_view phenotype(std::size_t j) const { return text(2 * j + 1); }

 private:
  std::string_view text(std::size_t k) const {
    std::size_t begin = k == 0 ? 0 : ends_[k - 1];
    return std::string_view(texts_).substr(begin, ends_[k] - begin);
  }
  static constexpr std::int64_t no_column = -9;
  std::int64_t sex_column_ = no_column, phenotype_column_ = no_column;
  std::string texts_;              // ID and phenotype of each row, in turn
  std::vector<std::size_t> ends_;  // where each text ends
  std::vector<std::int32_t> sex_;
};

// The call of one genotype from whether P(AA), P(AB) and P(BB) reach the
// threshold: the first that does decides; none is a missing call.
inline genotype_call call_genotype(bool aa, bool ab, bool bb) {
  static constexpr genotype_call calls[8] = {call_missing, call_aa, call_ab, call_aa,
                                             call_bb,      call_aa, call_ab, call_aa};
  return calls[unsigned(aa) | unsigned(ab) << 1 | unsigned(bb) << 2];
}

// Reads probability fields and tells whether each reaches the threshold,
// exactly as `parse_double` and a >= comparison would. A plain decimal such
// as 0.9531 is compared as its digits, 9531 against the least four-decimal
// mantissa whose double reaches the threshold (found once, by the same
// division), so the millions of fields of a GEN file need no floating point;
// anything else (signs, exponents, long digit strings) goes the general way.
class threshold_test {
 public:
  explicit threshold_test(double threshold);

  // The least stored value of a BGEN variant with this scale (2^B - 1, or
  // 32768) whose GEN text (the BGEN reader's) reaches the threshold; scale + 1
  // when none does.
  std::uint64_t least_reaching(std::uint32_t scale) const;

  // Reads the field that starts at `p` (not blank, before `end`). Returns the
  // end of the field, or nullptr when the whole field is not a decimal number.
  const char* read(const char* p, const char* end, bool& reaches) const {
    // A lone digit ("0", "1") is the commonest field of all.
    if (static_cast<unsigned>(*p - '0') < 10 && (p + 1 == end || is_blank(p[1]))) {
      reaches = static_cast<unsigned>(*p - '0') >= least_[0];
      return p + 1;
    }
    // One digit, a point and up to seven decimals ("0.9531"), with room to
    // look at eight bytes at once: no loop, no branch per character.
    if (end - p >= 10 && p[1] == '.' && static_cast<unsigned>(*p - '0') < 10) {
      std::uint64_t w;
      std::memcpy(&w, p + 2, 8);
      unsigned decimals = count_digits(w);
      if (decimals < 8) {  // p[2 + decimals] is inside the line
        if (!is_blank(p[2 + decimals])) return read_general(p, end, reaches);
        std::uint64_t mantissa = static_cast<unsigned>(*p - '0') * power_of_ten(decimals);
        if (decimals > 0) mantissa += digits_value(w << (8 * (8 - decimals)));
        reaches = mantissa >= least_[decimals];
        return p + 2 + decimals;
      }
    }
    return read_general(p, end, reaches);
  }

 private:
  static constexpr std::uint64_t ones = 0x0101010101010101ull;
  // Number of leading digit characters among the eight bytes (in memory order).
  static unsigned count_digits(std::uint64_t w) {
    std::uint64_t other = ((w & (0xF0 * ones)) ^ (0x30 * ones)) |
                          (((w + 0x06 * ones) & (0xF0 * ones)) ^ (0x30 * ones));
    return other ? static_cast<unsigned>(__builtin_ctzll(other)) / 8 : 8;
  }
  // The number written by eight digit characters, the first in the lowest
  // byte; zero bytes count as leading zeros.
  static std::uint64_t digits_value(std::uint64_t w) {
    w = (w & (0x0F * ones)) * 10 + ((w >> 8) & (0x0F * ones));  // pairs, in every other byte
    constexpr std::uint64_t pair_mask = 0x000000FF000000FFull;
    return ((w & pair_mask) * (100 + (1000000ull << 32)) +
            ((w >> 16) & pair_mask) * (1 + (10000ull << 32))) >> 32;
  }
  static std::uint64_t power_of_ten(unsigned n) {
    static constexpr std::uint64_t powers[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};
    return powers[n];
  }

  const char* read_general(const char* p, const char* end, bool& reaches) const {
    const char* start = p;
    if (*p == '+') ++p;
    std::uint64_t mantissa = 0;
    unsigned digits = 0, decimals = 0;
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
    if (digits > 0 && digits <= max_digits && mantissa <= max_mantissa &&
        (p == end || is_blank(*p))) {
      reaches = mantissa >= least_[decimals];
      return p;
    }
    while (p != end && !is_blank(*p)) ++p;
    double value;
    if (!parse_double(std::string_view(start, p - start), value)) return nullptr;
    reaches = value >= threshold_;
    return p;
  }

  static constexpr unsigned max_digits = 19;
  static constexpr std::uint64_t max_mantissa = std::uint64_t(1) << 53;  // exact as a double
  double threshold_;
  std::uint64_t least_[max_digits + 1];  // per number of decimals
};

}  // namespace varnex
