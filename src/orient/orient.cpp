#include "driver/log.hpp"
#include "driver/modes.hpp"

namespace varnex {

int orient_to_strand(std::string, std::string, std::string, bool, bool) {
  print_out("Not built yet: -O\n");
  return 1;
}

}  // namespace varnex
