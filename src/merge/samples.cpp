#include "merge/samples.hpp"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "formats/sample.hpp"

namespace varnex {

void sample_union::organise(const std::vector<std::string>& sample_files, tee& log) {
  const std::size_t k = sample_files.size();
  std::vector<std::vector<std::string>> names(k), types(k);
  for (std::size_t g = 0; g < k; ++g) {
    sample_reader in(sample_files[g]);
    names[g].assign(in.names().columns.begin(), in.names().columns.end());
    types[g].assign(in.types().columns.begin(), in.types().columns.end());
  }

  // Column union: names in order of first appearance, the type code of that
  // first appearance kept; a name typed "P" anywhere also gets a phenotype
  // column, and its values all go there.
  out_names_ = {"ID_1", "ID_2", "missing"};
  out_types_ = {"0", "0", "0"};
  std::vector<std::string> phenotypes;
  std::set<std::string> covariate_taken, phenotype_taken;
  for (std::size_t g = 0; g < k; ++g) {
    for (std::size_t c = 3; c < names[g].size(); ++c) {
      const std::string type = c < types[g].size() ? types[g][c] : "-9";
      if (type == "P") {
        if (phenotype_taken.insert(names[g][c]).second) phenotypes.push_back(names[g][c]);
      } else if (covariate_taken.insert(names[g][c]).second) {
        out_names_.push_back(names[g][c]);
        out_types_.push_back(type);
      }
    }
  }
  out_names_.insert(out_names_.end(), phenotypes.begin(), phenotypes.end());
  out_types_.resize(out_names_.size(), "P");
  columns_ = out_names_.size();
  // A name that is both a covariate and a phenotype goes to its phenotype column.
  std::map<std::string, std::uint32_t> column_index;
  for (std::uint32_t c = 3; c < columns_; ++c) column_index[out_names_[c]] = c;

  // Individual union.
  std::map<std::pair<std::string, std::string>, std::uint32_t> index;
  file_rows_.assign(k, {});
  for (std::size_t g = 0; g < k; ++g) {
    std::vector<std::uint32_t> column_map;
    for (std::size_t c = 3; c < names[g].size(); ++c) column_map.push_back(column_index[names[g][c]]);

    sample_reader in(sample_files[g]);
    sample_line row;
    std::vector<std::uint32_t>& rows = file_rows_[g];
    // A row without its three leading columns ends the file's rows; values
    // beyond the columns the header names have no column to go to.
    while (in.next(row, 3 + column_map.size()) && row.columns.size() >= 3) {
      auto [it, inserted] = index.try_emplace(
          {std::string(row.columns[0]), std::string(row.columns[1])},
          static_cast<std::uint32_t>(keys_.size()));
      const std::uint32_t s = it->second;
      if (inserted) {
        keys_.push_back(static_cast<std::uint32_t>(cells_.size()));
        cells_.resize(cells_.size() + columns_, "-9");
        std::copy_n(row.columns.begin(), 3, &cells_[keys_.back()]);
      }
      rows.push_back(s);
      std::string* cells = &cells_[keys_[s]];
      for (std::size_t c = 3; c < row.columns.size(); ++c) {
        const std::string_view value = row.columns[c];
        std::string& cell = cells[column_map[c - 3]];
        if (cell == "-9") {
          cell = value;
        } else if (cell != value) {
          log.to_both("Mismatch overlap in samples:  " + cell + " " + std::string(value) + "\n");
          cell = "-10";
        }
      }
    }
    log.to_both_flushed("Number of samples in " + sample_files[g] + ": " +
                        std::to_string(rows.size()) + "\n");
  }
  log.to_both_flushed("Number of merged samples: " + std::to_string(keys_.size()) + "\n");
}

std::string sample_union::key_text(std::size_t s) const {
  const std::string* row = &cells_[keys_[s]];
  return row[0] + "_" + row[1];
}

void sample_union::write(output_file& out, const std::vector<std::uint32_t>& missing_counts) const {
  sample_writer writer(out);
  for (const std::vector<std::string>* header : {&out_names_, &out_types_}) {
    for (const std::string& column : *header) writer.column().put(column);
    writer.end_line();
  }
  for (std::size_t s = 0; s < keys_.size(); ++s) {
    const std::string* row = &cells_[keys_[s]];
    for (std::size_t c = 0; c < columns_; ++c) {
      if (c == 2)
        writer.column().put_int(missing_counts[s]);
      else
        writer.column().put(row[c] == "-10" ? std::string_view("-9") : std::string_view(row[c]));
    }
    writer.end_line();
  }
}

}  // namespace varnex
