// How a run stops: one exception for every failure that ends a mode (a file
// that cannot be opened, read or written, input that cannot be converted, an
// output that would overwrite an input), carrying the message as the user
// sees it. The mode catches it, prints the message and returns 1.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace varnex {

class run_failure : public std::runtime_error {
 public:
  explicit run_failure(const std::string& message) : std::runtime_error(message) {}
};

// "FILE, line N: ", the start of every message about one line of an input.
inline std::string at(std::string_view file, std::uint64_t line) {
  return std::string(file) + ", line " + std::to_string(line) + ": ";
}

// A field as a message quotes it: in double quotes, cut after 40 characters.
inline std::string quoted(std::string_view field) {
  constexpr std::size_t longest = 40;
  if (field.size() > longest) return "\"" + std::string(field.substr(0, longest)) + "...\"";
  return "\"" + std::string(field) + "\"";
}

}  // namespace varnex
