// Field splitting and number parsing for the text formats.
//
// Fields are separated by runs of white space (space, tab, CR, LF, VT, FF),
// leading white space ignored, exactly as a C++ stream extracts words. Numbers
// are parsed with std::from_chars; nothing here allocates.
#pragma once

#include <cstdint>
#include <string_view>

namespace varnex {

inline bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Walks the white-space-separated fields of one line.
class field_cursor {
 public:
  explicit field_cursor(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}
  // False when no field is left.
  bool next(std::string_view& field) {
    while (p_ != end_ && is_blank(*p_)) ++p_;
    if (p_ == end_) return false;
    const char* start = p_;
    while (p_ != end_ && !is_blank(*p_)) ++p_;
    field = std::string_view(start, p_ - start);
    return true;
  }
  // The text not yet consumed (starting with the separator after the last field).
  std::string_view rest() const { return std::string_view(p_, end_ - p_); }

 private:
  const char* p_;
  const char* end_;
};

// Number of white-space-separated fields of a line.
std::size_t count_fields(std::string_view text);

// count_fields(text) > limit, at a small fraction of its cost on long lines:
// the fields are counted 64 bytes at a time.
bool more_fields_than(std::string_view text, std::size_t limit);

// The leading signed 32-bit decimal integer of a text the way a stream
// extracts one: optional sign, at least one digit. Returns the characters
// used, 0 when there is none or it is out of range ("+5x" 2, "+-5" 0).
std::size_t parse_int32_prefix(std::string_view text, std::int32_t& value);

// A whole field as a signed 32-bit decimal integer (optional sign). False when
// the field is not exactly that (no digits, trailing text, out of range).
inline bool parse_int32(std::string_view field, std::int32_t& value) {
  std::int32_t v;
  if (field.empty() || parse_int32_prefix(field, v) != field.size()) return false;
  value = v;
  return true;
}

// The longest leading decimal number of a field: optional sign, digits with an
// optional fraction (".5" and "5." included), optional exponent. Returns the
// number of characters used, 0 when the field does not start with a number.
// Values beyond the double range become +-infinity, values below it 0 or a
// denormal, as strtod gives them. "inf", "nan" and hexadecimal are not numbers.
std::size_t parse_double_prefix(std::string_view field, double& value);

// A whole field as a decimal number (see parse_double_prefix).
inline bool parse_double(std::string_view field, double& value) {
  return !field.empty() && parse_double_prefix(field, value) == field.size();
}

// The leading integer of a text as strtol reads it in base 10 (leading white
// space and a sign accepted, reading stops at the first character that is no
// digit, 0 without digits), held to the 32-bit range: command-line numbers
// and sex codes ("2", "female" -> 0, "1.5" -> 1, "99999999999" -> INT32_MAX).
std::int32_t leading_int32(std::string_view text);

}  // namespace varnex
