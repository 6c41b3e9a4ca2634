// The command line: the fuzzed bytes, split at NUL bytes, are the arguments.
// Runs in a scratch directory, so that whatever a mode creates stays there.
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "driver/log.hpp"
#include "driver/varnex.hpp"
#include "formats/streams.hpp"

#include "scratch.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_scratch_dir("varnex-fuzz-cli");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args{"varnex"};
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  if (!current.empty()) args.push_back(current);
  if (args.size() > 64) return 0;
  // Names stay inside the scratch directory: never let a run truncate a file
  // elsewhere (the fuzzer runs as whoever starts it).
  for (const std::string& a : args)
    if (a.find('/') != std::string::npos) return 0;
  log_file = "varnex.log";  // a global: an earlier "--log" must not carry over
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  varnex::varnex_main(static_cast<int>(args.size()), argv.data());
  varnex::keep_outputs();
  return 0;
}
