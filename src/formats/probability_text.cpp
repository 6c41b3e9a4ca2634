#include "formats/probability_text.hpp"

#include "formats/text.hpp"

namespace varnex {

const char* read_probability_slowly(const char* p, const char* end, double& value) {
  const char* field_end = p;
  while (field_end != end && !is_blank(*field_end)) ++field_end;
  return p + parse_double_prefix(std::string_view(p, field_end - p), value);
}

}  // namespace varnex
