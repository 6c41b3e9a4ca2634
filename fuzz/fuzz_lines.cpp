// The line readers over a file holding the fuzzed bytes: as plain text, as a
// gz name (the chain must stop with run_failure on anything that is not gzip)
// and through the zlib reader, whose lines must agree with the plain reader.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "formats/streams.hpp"

#include "scratch.hpp"

namespace {

std::string scratch_file() {
  static std::string name = fuzz::scratch_file("varnex-fuzz-lines");
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string name = scratch_file();
  {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  std::vector<std::string> plain;
  {
    varnex::input_file in(name, false);
    varnex::line_reader reader(in);
    std::string_view line;
    while (reader.next(line)) plain.emplace_back(line);
  }
  try {
    varnex::input_file in(name, true);
    varnex::line_reader reader(in);
    std::string_view line;
    while (reader.next(line)) {
    }
  } catch (const varnex::run_failure&) {
  }
  try {
    varnex::input_file in(name, varnex::compression::by_content);
    varnex::line_reader reader(in);
    std::string_view line;
    std::size_t n = 0;
    bool gzip = size >= 2 && data[0] == 0x1f && data[1] == 0x8b;
    while (reader.next(line)) {
      if (!gzip && (n >= plain.size() || plain[n] != line)) __builtin_trap();
      ++n;
    }
    if (!gzip && n != plain.size()) __builtin_trap();
  } catch (const varnex::run_failure&) {
  }
  return 0;
}
