#include "convert/gen_to_ped_rules.hpp"

#include "formats/bgen_io.hpp"

namespace varnex {

bool snp_id_check(std::string_view s) {
  if (s.size() == 1)
    return (s[0] >= '1' && s[0] <= '9') || s[0] == 'X' || s[0] == 'Y' || s[0] == 'M';
  if (s.size() == 2)
    return (s[0] == '1' && s[1] >= '0' && s[1] <= '9') ||
           (s[0] == '2' && s[1] >= '0' && s[1] <= '4');
  return false;
}

sample_table::sample_table(const std::vector<std::string_view>& names,
                           std::string_view phenotype_name, std::string_view sex_name) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == phenotype_name)
      phenotype_column_ = i;
    else if (names[i] == sex_name)
      sex_column_ = i;
    else if (sex_column_ == no_column && (names[i] == "sex" || names[i] == "gender"))
      sex_column_ = i;
  }
}

void sample_table::add_row(const std::vector<std::string_view>& columns) {
  // Column 0 is the ID, never the sex or the phenotype.
  auto column = [&columns](std::int64_t i) { return i > 0 && std::size_t(i) < columns.size(); };
  texts_.append(columns.empty() ? std::string_view() : columns[0]);
  ends_.push_back(texts_.size());
  texts_.append(column(phenotype_column_) ? columns[phenotype_column_] : "-9");
  ends_.push_back(texts_.size());
  sex_.push_back(column(sex_column_) ? leading_int32(columns[sex_column_]) : -9);
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

std::uint64_t threshold_test::least_reaching(std::uint32_t scale) const {
  // The text of v / scale never falls as v grows: the values that reach form
  // one range.
  std::uint64_t low = 0, high = std::uint64_t(scale) + 1;
  while (low < high) {
    const std::uint64_t mid = low + (high - low) / 2;
    char text[32];
    std::memset(text, ' ', sizeof text);
    format_fraction(static_cast<std::uint32_t>(mid), scale, text);
    bool reaches = false;
    read(text, text + sizeof text, reaches);
    if (reaches)
      high = mid;
    else
      low = mid + 1;
  }
  return low;
}

}  // namespace varnex
