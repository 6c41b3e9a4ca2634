#include "formats/sample.hpp"

#include <algorithm>

#include "formats/text.hpp"

namespace varnex {

namespace {

void split(std::string_view text, sample_line& line, std::size_t columns = SIZE_MAX) {
  line.text = text;
  line.columns.clear();
  field_cursor cursor(text);
  std::string_view column;
  while (line.columns.size() < columns && cursor.next(column)) line.columns.push_back(column);
}

}  // namespace

bool sample_reader::next(sample_line& row, std::size_t columns) {
  header(0);
  std::string_view text;
  if (!lines_.next(text)) return false;
  split(text, row, columns);
  return true;
}

const sample_line& sample_reader::header(int i) {
  if (!header_read_) {
    header_read_ = true;
    std::string_view text;
    for (int h = 0; h < 2 && lines_.next(text); ++h) header_text_[h] = text;
    for (int h = 0; h < 2; ++h) split(header_text_[h], header_[h]);
  }
  return header_[i];
}

void id_set::seal() {
  std::sort(tokens_.begin(), tokens_.end());
  tokens_.erase(std::unique(tokens_.begin(), tokens_.end()), tokens_.end());
  tokens_.shrink_to_fit();
}

bool id_set::contains(std::string_view token) const {
  auto it = std::lower_bound(tokens_.begin(), tokens_.end(), token,
                             [](const std::string& a, std::string_view b) { return a < b; });
  return it != tokens_.end() && *it == token;
}

id_set read_id_list(const std::string& name) {
  id_set set;
  if (name.empty()) return set;
  input_file input(name, is_gz_name(name));
  line_reader lines(input);
  std::string_view line, token;
  while (lines.next(line)) {
    field_cursor cursor(line);
    while (cursor.next(token)) set.add(token);
  }
  set.seal();
  return set;
}

}  // namespace varnex
