#include "driver/log.hpp"
#include "driver/modes.hpp"

namespace varnex {

int subset(std::string, std::string, std::string, std::string, std::string, std::string,
           std::string, std::string, int, int, bool, bool, bool, bool, bool, double, double) {
  print_out("Not built yet: -S\n");
  return 1;
}

}  // namespace varnex
