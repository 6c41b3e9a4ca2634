// The individuals of a merge: the union of several SAMPLE files.
//
//   ID_1 ID_2 missing age case
//   0 0 0 C P
//   fam1 ind1 0.02 54 1
//
// One person is one pair (ID_1, ID_2), compared as a pair: "a_b"/"c" and
// "a"/"b_c" are two people even though messages print both as "a_b_c".
// Columns are matched by name; covariates (any code but "P") come first in the
// merged header, phenotypes after them. Two inputs that disagree on a value
// leave "-10" in the cell, written out as "-9".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/log.hpp"
#include "formats/streams.hpp"

namespace varnex {

class sample_union {
 public:
  // Reads every SAMPLE file (headers first, then rows), printing the per-file
  // counts, the value conflicts and the merged count.
  void organise(const std::vector<std::string>& sample_files, tee& log);

  std::size_t size() const { return keys_.size(); }
  // Merged index of each row of input pair g, in file order: the j-th triple
  // of a line of GEN input g belongs to individual rows_of(g)[j].
  const std::vector<std::uint32_t>& rows_of(std::size_t g) const { return file_rows_[g]; }
  // ID_1 + "_" + ID_2, for messages.
  std::string key_text(std::size_t s) const;
  const std::string& id_1(std::size_t s) const { return cells_[keys_[s]]; }
  const std::string& id_2(std::size_t s) const { return cells_[keys_[s] + 1]; }

  // The merged SAMPLE file, with `missing_counts[s]` in the "missing" column.
  void write(output_file& out, const std::vector<std::uint32_t>& missing_counts) const;

 private:
  std::vector<std::string> out_names_, out_types_;
  std::size_t columns_ = 0;
  std::vector<std::string> cells_;          // columns_ per merged individual
  std::vector<std::uint32_t> keys_;         // merged index -> first cell
  std::vector<std::vector<std::uint32_t>> file_rows_;  // per input: row -> merged index
};

}  // namespace varnex
