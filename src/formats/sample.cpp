#include "formats/sample.hpp"

#include <algorithm>

#include "formats/streams.hpp"
#include "formats/text.hpp"

namespace varnex {

bool split_sample_row(std::string_view line, sample_row& row) {
  field_cursor cursor(line);
  return cursor.next(row.id_1) && cursor.next(row.id_2);
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
