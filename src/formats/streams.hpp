// Plain and gzip-compressed file streams: every data file goes through an
// `input_file` (formats/input.hpp) or an `output_file` (formats/output.hpp).
#pragma once

#include <stdexcept>
#include <string>

#include "formats/input.hpp"
#include "formats/names.hpp"
#include "formats/output.hpp"

namespace varnex {

// A failure that ends the mode; the message is printed as it stands.
class io_error : public std::runtime_error {
 public:
  explicit io_error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace varnex
