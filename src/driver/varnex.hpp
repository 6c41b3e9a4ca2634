// Driver entry points, usage text and the merged default names.
#pragma once

#include <string>
#include <vector>

namespace varnex {

// The whole program: scans argv, starts the log, calls one mode; returns the
// exit status.
int varnex_main(int argc, char** argv);

// Prints the usage text for "all" or a mode's key ("subset", "ped_to_gen",
// "gen_to_ped", "merge", "orient", "update"); nothing for any other key.
void usage(const std::string& key);

// Merged output names from the first `count` GEN names of `merge_files`
// (the SAMPLE names follow them): dir/a_b.gen[.gz] and dir/a_b.sample[.gz].
std::string default_gen_output_file(int count, std::vector<std::string>& merge_files);
std::string default_gen_output_sample_file(int count, std::vector<std::string>& merge_files);

}  // namespace varnex
