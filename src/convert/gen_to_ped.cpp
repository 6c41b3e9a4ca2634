#include "driver/log.hpp"
#include "driver/modes.hpp"

namespace varnex {

int gen_to_ped(std::string, std::string, std::string, std::string, std::string, std::string,
               double, bool) {
  print_out("Not built yet: -G\n");
  return 1;
}

}  // namespace varnex
