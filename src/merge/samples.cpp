#include "merge/samples.hpp"

#include <map>
#include <set>
#include <utility>

#include "formats/text.hpp"

namespace varnex {

namespace {

std::vector<std::string> tokens_of(std::string_view line) {
  std::vector<std::string> tokens;
  field_cursor cursor(line);
  std::string_view f;
  while (cursor.next(f)) tokens.emplace_back(f);
  return tokens;
}

}  // namespace

void sample_union::organise(const std::vector<std::string>& sample_files, tee& log) {
  const std::size_t k = sample_files.size();
  std::vector<std::vector<std::string>> names(k), types(k);
  for (std::size_t g = 0; g < k; ++g) {
    input_file in(sample_files[g], is_gz_name(sample_files[g]));
    line_reader reader(in);
    std::string_view line;
    if (reader.next(line)) names[g] = tokens_of(line);
    if (reader.next(line)) types[g] = tokens_of(line);
  }

  // Column union: names in order of first appearance, the type code of that
  // first appearance kept; a name typed "P" anywhere also gets a phenotype
  // column, and its values all go there.
  std::vector<std::string> covariates, covariate_types, phenotypes;
  std::set<std::string> covariate_taken, phenotype_taken;
  for (std::size_t g = 0; g < k; ++g) {
    for (std::size_t c = 3; c < names[g].size(); ++c) {
      const std::string type = c < types[g].size() ? types[g][c] : "-9";
      if (type == "P") {
        if (phenotype_taken.insert(names[g][c]).second) phenotypes.push_back(names[g][c]);
      } else if (covariate_taken.insert(names[g][c]).second) {
        covariates.push_back(names[g][c]);
        covariate_types.push_back(type);
      }
    }
  }
  out_names_ = {"ID_1", "ID_2", "missing"};
  out_types_ = {"0", "0", "0"};
  std::map<std::string, std::uint32_t> column_index;
  for (std::size_t i = 0; i < covariates.size(); ++i) {
    column_index[covariates[i]] = static_cast<std::uint32_t>(out_names_.size());
    out_names_.push_back(covariates[i]);
    out_types_.push_back(covariate_types[i]);
  }
  for (const std::string& name : phenotypes) {
    column_index[name] = static_cast<std::uint32_t>(out_names_.size());
    out_names_.push_back(name);
    out_types_.push_back("P");
  }
  columns_ = out_names_.size();

  // Individual union.
  std::map<std::pair<std::string, std::string>, std::uint32_t> index;
  file_rows_.assign(k, {});
  for (std::size_t g = 0; g < k; ++g) {
    std::vector<std::uint32_t> column_map;
    for (std::size_t c = 3; c < names[g].size(); ++c) column_map.push_back(column_index[names[g][c]]);

    input_file in(sample_files[g], is_gz_name(sample_files[g]));
    line_reader reader(in);
    std::string_view line;
    reader.next(line);
    reader.next(line);
    std::vector<std::uint32_t>& rows = file_rows_[g];
    while (reader.next(line)) {
      field_cursor cursor(line);
      std::string_view id_1, id_2, missing;
      // A row without three columns ends the file's rows.
      if (!cursor.next(id_1) || !cursor.next(id_2) || !cursor.next(missing)) break;
      auto [it, inserted] = index.try_emplace({std::string(id_1), std::string(id_2)},
                                              static_cast<std::uint32_t>(keys_.size()));
      const std::uint32_t s = it->second;
      if (inserted) {
        keys_.push_back(static_cast<std::uint32_t>(cells_.size()));
        cells_.resize(cells_.size() + columns_, "-9");
        std::string* row = &cells_[keys_.back()];
        row[0] = id_1;
        row[1] = id_2;
        row[2] = missing;
      }
      rows.push_back(s);
      std::string* row = &cells_[keys_[s]];
      std::string_view value;
      for (std::size_t c = 0; c < column_map.size() && cursor.next(value); ++c) {
        std::string& cell = row[column_map[c]];
        if (cell == "-9") {
          cell = value;
        } else if (cell != value) {
          std::string message = "Mismatch overlap in samples:  ";
          message += cell;
          message += ' ';
          message += value;
          message += '\n';
          log.to_both(message);
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
  auto put_line = [&out](const std::vector<std::string>& fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (i) out.put(' ');
      out.put(fields[i]);
    }
    out.put('\n');
  };
  put_line(out_names_);
  put_line(out_types_);
  for (std::size_t s = 0; s < keys_.size(); ++s) {
    const std::string* row = &cells_[keys_[s]];
    for (std::size_t c = 0; c < columns_; ++c) {
      if (c) out.put(' ');
      if (c == 2)
        out.put_int(missing_counts[s]);
      else if (row[c] == "-10")
        out.put("-9");
      else
        out.put(row[c]);
    }
    out.put('\n');
  }
}

}  // namespace varnex
