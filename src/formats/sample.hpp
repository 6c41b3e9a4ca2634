// SAMPLE files and identifier lists.
//
//   ID_1 ID_2 missing sex phenotype
//   0 0 0 D P
//   fam1 ind1 0 1 -9	
//
// Two header lines (column names, then a type code per column: "0" for the
// three leading ones, "P" a phenotype, anything else a covariate), then one
// row per individual. Columns are split on any run of white space; a line
// keeps its text as it stands (tabs, trailing blanks) for copying. Written
// lines have single spaces between columns and end with "\n".
//
// An identifier list is any white-space-separated text: one token per line,
// several per line, or a mix; repeated tokens count once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/streams.hpp"

namespace varnex {

// One line: its text and its columns, views valid until the next read.
struct sample_line {
  std::string_view text;
  std::vector<std::string_view> columns;
};

// Reads a SAMPLE file, gzip-decompressed when its name is a gz name; opening
// and reading fail as `input_file` does. The file is opened by the
// constructor; the header lines are read at the first call that needs them,
// are empty when the file has fewer lines, and live as long as the reader.
class sample_reader {
 public:
  explicit sample_reader(const std::string& name)
      : input_(name, is_gz_name(name)), lines_(input_) {}
  // Header line 1, the column names, and line 2, their type codes.
  const sample_line& names() { return header(0); }
  const sample_line& types() { return header(1); }
  // The next line after the header lines, split into its first `columns`
  // columns at most; false at the end of the file.
  bool next(sample_line& row, std::size_t columns = SIZE_MAX);
  // 1-based number of the line last read.
  std::uint64_t line_number() const { return lines_.line_number(); }

 private:
  const sample_line& header(int i);
  input_file input_;
  line_reader lines_;
  bool header_read_ = false;
  std::string header_text_[2];
  sample_line header_[2];
};

// Writes SAMPLE lines to `out`.
class sample_writer {
 public:
  explicit sample_writer(output_file& out) : out_(out) {}
  // A whole line as it stands.
  void line(std::string_view text) {
    out_.put(text);
    end_line();
  }
  // The file, ready for the next column of the line being written.
  output_file& column() {
    if (columns_++ > 0) out_.put(' ');
    return out_;
  }
  void end_line() {
    out_.put('\n');
    columns_ = 0;
  }

 private:
  output_file& out_;
  std::size_t columns_ = 0;
};

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
