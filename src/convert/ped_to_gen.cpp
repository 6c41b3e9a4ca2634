#include "driver/log.hpp"
#include "driver/modes.hpp"

namespace varnex {

int ped_to_gen(std::string, std::string, std::string, std::string, bool, bool, bool) {
  print_out("Not built yet: -P\n");
  return 1;
}

}  // namespace varnex
