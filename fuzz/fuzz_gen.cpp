// GEN lines as the conversion to PED reads them: the five leading fields, then
// probabilities tested against the calling threshold by a digit-level fast
// path that must agree with parsing the field and comparing the double. Also
// the SAMPLE header lookup and rows of that conversion, and the field
// splitting and number parsing every reader shares.
//
//   SNP_A rs1001 10250 A G 1 0 0 0.25 0.75 0 0.9000001 1e-3 .5
//
// The first eight bytes are the threshold (as a double when it is finite and
// the low bits ask for it, else one of a few usual values).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/gen_to_ped_rules.hpp"
#include "formats/gen.hpp"
#include "formats/text.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  static const double usual[] = {0.9, 0.5, 0.0, 1.0, 0.95, 0.333, 2.0, 1e-300, -0.0, 0.1};
  double threshold;
  std::memcpy(&threshold, data, 8);
  if (!std::isfinite(threshold) || (data[0] & 3) != 0) threshold = usual[data[1] % 10];
  std::string_view text(reinterpret_cast<const char*>(data + 8), size - 8);
  const varnex::threshold_test test(threshold);
  varnex::samples_in_first_line(text);

  std::size_t start = 0;
  std::optional<varnex::sample_table> table;
  while (start <= text.size()) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) nl = text.size();
    const std::string_view line = text.substr(start, nl - start);
    start = nl + 1;

    const varnex::gen_line g = varnex::split_gen_line(line);
    if (g.leading_fields > 5 || (g.leading_fields < 5 && !g.probabilities.empty())) __builtin_trap();
    std::size_t fields = 0;
    varnex::field_cursor cursor(line);
    for (std::string_view field; cursor.next(field); ++fields) {
      std::int32_t i = 0;
      varnex::parse_int32(field, i);
      double d = 0;
      if (varnex::parse_double_prefix(field, d) > field.size()) __builtin_trap();
    }
    if (fields != varnex::count_fields(line)) __builtin_trap();
    if (g.position_ok) {
      std::int32_t p = 0;
      if (!varnex::parse_int32(g.position_text, p) || p != g.position) __builtin_trap();
    }
    // Every probability field: fast path against the plain rule.
    const char* p = g.probabilities.data();
    const char* const end = p + g.probabilities.size();
    for (;;) {
      while (p != end && varnex::is_blank(*p)) ++p;
      if (p == end) break;
      const char* field_end = p;
      while (field_end != end && !varnex::is_blank(*field_end)) ++field_end;
      const std::string_view field(p, field_end - p);
      double value = 0;
      const bool number = varnex::parse_double(field, value);
      bool reaches = false;
      const char* after = test.read(p, end, reaches);
      if (number != (after != nullptr)) __builtin_trap();
      if (number && (after != field_end || reaches != (value >= threshold))) __builtin_trap();
      p = field_end;
    }

    // The same line as a SAMPLE header, then as a row.
    std::vector<std::string_view> words;
    varnex::field_cursor words_of(line);
    for (std::string_view word; words_of.next(word);) words.push_back(word);
    if (!table) {
      table.emplace(words, "bmi", "-9");
    } else {
      table->add_row(words);
      const std::size_t j = table->size() - 1;
      if (table->id(j) != (words.empty() ? std::string_view() : words[0])) __builtin_trap();
    }
  }
  // strtol rules, held to 32 bits.
  std::string word(text.substr(0, 24));
  if (word.find('\0') == std::string::npos) {
    long v = std::strtol(word.c_str(), nullptr, 10);
    std::int32_t c = varnex::leading_int32(word);
    if (v >= INT32_MIN && v <= INT32_MAX && c != v) __builtin_trap();
  }
  return 0;
}
