#include "driver/log.hpp"
#include "driver/modes.hpp"

namespace varnex {

int merge(std::vector<std::string>&, std::string, std::string, double) {
  print_out("Not built yet: -M\n");
  return 1;
}

}  // namespace varnex
