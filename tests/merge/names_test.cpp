// Default names of the merged outputs (the end-to-end merge script checks the
// common ones on real files).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/varnex.hpp"

namespace varnex {
namespace {

TEST(MergedNames, DirectoryOfFirstGenNameExtensionDot) {
  struct row {
    std::vector<std::string> files;
    const char *gen, *sample;
  };
  for (const row& r : {row{{"run.old/file", "run.old/more", "run.old/s", "t"}, "run.old/file_more.gen",
                           "run.old/s_t.sample"},
                       // A sample name's own ".gz" decides its extension dot; the
                       // GEN names decide the compression.
                       row{{"a.gen", "b.gen", "s.one.gz", "t.sample.gz"}, "a_b.gen", "s_t.sample"},
                       row{{"x.gen", "x.sample"}, "x.gen", "x.sample"}}) {
    std::vector<std::string> files = r.files;
    const int n = static_cast<int>(files.size() / 2);
    EXPECT_EQ(default_gen_output_file(n, files), r.gen);
    EXPECT_EQ(default_gen_output_sample_file(n, files), r.sample);
    EXPECT_EQ(files, r.files);
  }
}

}  // namespace
}  // namespace varnex
