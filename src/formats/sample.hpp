// SAMPLE rows and identifier lists, as the subset mode reads them.
//
//   ID_1 ID_2 missing sex phenotype
//   0 0 0 D P
//   fam1 ind1 0 1 -9	
//
// Two header lines, then one row per individual; only ID_1 and ID_2 matter
// here, the rest of a row (tabs and trailing white space included) is copied
// as it stands. A row with fewer than two columns, a blank line for instance,
// ends the rows.
//
// An identifier list is any white-space-separated text: one token per line,
// several per line, or a mix; repeated tokens count once.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace varnex {

// The two identifiers of a SAMPLE row, as views into the row.
struct sample_row {
  std::string_view id_1;
  std::string_view id_2;
};

// False when the line has fewer than two columns (the end of the rows).
bool split_sample_row(std::string_view line, sample_row& row);

// A set of identifiers, held sorted for lookups by view.
class id_set {
 public:
  void add(std::string_view token) { tokens_.emplace_back(token); }
  // Sorts and drops repeats; call once after the last `add`.
  void seal();
  bool contains(std::string_view token) const;
  std::size_t size() const { return tokens_.size(); }
  bool empty() const { return tokens_.empty(); }

 private:
  std::vector<std::string> tokens_;
};

// Every token of the file `name`, gzip-decompressed when it is a gz name. An
// empty name gives an empty set; a file that cannot be opened throws run_failure.
id_set read_id_list(const std::string& name);

}  // namespace varnex
