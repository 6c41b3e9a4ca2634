// Field splitting, number parsing and GEN leading fields on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "formats/gen.hpp"
#include "formats/text.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  varnex::field_cursor cursor(text);
  std::string_view field;
  std::size_t fields = 0;
  while (cursor.next(field)) {
    ++fields;
    std::int32_t i = 0;
    varnex::parse_int32(field, i);
    double d = 0;
    std::size_t used = varnex::parse_double_prefix(field, d);
    if (used > field.size()) __builtin_trap();
  }
  if (fields != varnex::count_fields(text)) __builtin_trap();
  varnex::gen_line g = varnex::split_gen_line(text);
  if (g.leading_fields > 5) __builtin_trap();
  varnex::samples_in_first_line(text);
  return 0;
}
