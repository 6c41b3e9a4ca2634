// MAP files: four words per record that may run across line ends, then
// whatever is left of the line may preset the two alleles.
//
//   1	rs3094315	0	752566	A G
//
// The reader runs over a file holding the fuzzed bytes, plain and through the
// gzip chain (which must end with io_error on anything that is not gzip).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/ped_reader.hpp"
#include "formats/streams.hpp"

#include "scratch.hpp"

namespace {

std::string scratch_file() {
  static std::string name = fuzz::scratch_file("varnex-fuzz-map");
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string name = scratch_file();
  {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  for (bool compressed : {false, true}) {
    try {
      varnex::input_file in(name, compressed);
      std::uint64_t stopped = 0;
      std::vector<varnex::map_snp> snps = varnex::read_map_file(in, &stopped);
      for (const varnex::map_snp& s : snps) {
        // Words never hold white space, and a record always has its two names.
        if (s.snp_id.empty() || s.rs_id.empty()) __builtin_trap();
        if (s.snp_id.find_first_of(" \t\n\r\v\f") != std::string::npos) __builtin_trap();
        if (varnex::is_blank(s.allele_a) || varnex::is_blank(s.allele_b)) __builtin_trap();
      }
      if (!compressed && stopped > 0 && stopped > static_cast<std::uint64_t>(size) + 1)
        __builtin_trap();
    } catch (const varnex::io_error&) {
      if (!compressed) __builtin_trap();  // a plain readable file never fails
    }
  }
  return 0;
}
