#include "convert/gen_to_ped_rules.hpp"


namespace varnex {

bool snp_id_check(std::string_view s) {
  if (s.size() == 1)
    return (s[0] >= '1' && s[0] <= '9') || s[0] == 'X' || s[0] == 'Y' || s[0] == 'M';
  if (s.size() == 2)
    return (s[0] == '1' && s[1] >= '0' && s[1] <= '9') ||
           (s[0] == '2' && s[1] >= '0' && s[1] <= '4');
  return false;
}

sample_columns find_sample_columns(std::string_view header, std::string_view phenotype_name,
                                   std::string_view sex_name) {
  sample_columns c;
  field_cursor cursor(header);
  std::string_view word;
  for (std::int64_t i = 0; cursor.next(word); ++i) {
    if (word == phenotype_name)
      c.phenotype = i;
    else if (word == sex_name)
      c.sex = i;
    else if (c.sex == no_column && (word == "sex" || word == "gender"))
      c.sex = i;
  }
  return c;
}

void sample_table::add_row(std::string_view line) {
  std::int32_t sex = -9;
  std::string_view phenotype = "-9";
  field_cursor cursor(line);
  std::string_view word;
  for (std::int64_t i = 0; cursor.next(word); ++i) {
    if (i == 0)
      ids_.append(word);
    else if (i == columns_.sex)
      sex = leading_int32(word);
    else if (i == columns_.phenotype)
      phenotype = word;
  }
  phenotypes_.append(phenotype);
  id_end_.push_back(ids_.size());
  phenotype_end_.push_back(phenotypes_.size());
  sex_.push_back(sex);
}

threshold_test::threshold_test(double threshold) : threshold_(threshold) {
  double power = 1;
  for (unsigned d = 0; d <= max_digits; ++d, power *= 10) {
    // Dividing exact operands rounds correctly, so the quotient never falls
    // as the mantissa grows: the mantissas that reach form one range.
    std::uint64_t low = 0, high = max_mantissa + 1;
    while (low < high) {
      std::uint64_t mid = low + (high - low) / 2;
      if (static_cast<double>(mid) / power >= threshold)
        high = mid;
      else
        low = mid + 1;
    }
    least_[d] = low;  // max_mantissa + 1 when none reaches
  }
}

}  // namespace varnex
