// Update mode: prints a SAMPLE file, plain or gzip whatever its name, each
// line followed by an empty line, however long the line:
//
//   F1042 1042 0 1 0      is printed as      F1042 1042 0 1 0\n\n
//
// The column updates it is named for are not performed; its two file options
// are accepted and not read.
#include <cstdio>
#include <string>

#include "driver/log.hpp"
#include "driver/modes.hpp"
#include "formats/streams.hpp"

namespace varnex {

int update_pheno_cov(const update_args& args) {
  input_file input(args.sample_file, compression::by_content);
  line_reader reader(input);
  std::string_view line;
  // A standard output that fails (disk full) ends the run; main reports it.
  while (reader.next(line) && !std::ferror(stdout)) {
    print_out(line);
    print_out("\n\n");
  }
  return 0;
}

}  // namespace varnex
