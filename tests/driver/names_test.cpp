#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/varnex.hpp"
#include "formats/streams.hpp"

namespace varnex {
namespace {

struct names_case {
  std::vector<std::string> gens, samples;
  std::string gen, sample;  // the merged output names
};

// The n GEN names, then the n SAMPLE names, as the driver collects them; the
// list is left as it was.
void check(const names_case& c) {
  std::vector<std::string> list = c.gens;
  list.insert(list.end(), c.samples.begin(), c.samples.end());
  const std::vector<std::string> before = list;
  int n = static_cast<int>(c.gens.size());
  SCOPED_TRACE(c.gens.front());
  EXPECT_EQ(default_gen_output_file(n, list), c.gen);
  EXPECT_EQ(default_gen_output_sample_file(n, list), c.sample);
  EXPECT_EQ(list, before);
}

TEST(MergedNames, DirectoryExtensionDotAndGzFlag) {
  for (const names_case& c : std::vector<names_case>{
           // Outputs go to the directory of the first GEN name.
           {{"data/chr1.gen.gz", "data/chr2.gen.gz"}, {"data/chr1.sample", "data/chr2.sample"},
            "data/chr1_chr2.gen.gz", "data/chr1_chr2.sample.gz"},
           {{"a.gen", "other/b.gen"}, {"a.sample", "other/b.sample"}, "a_b.gen", "a_b.sample"},
           {{"x/one.gen", "y.gen.gz"}, {"one.sample", "y.sample.gz"}, "x/one_y.gen.gz", "x/one_y.sample.gz"},
           {{"/abs/p/q.gen", "r.gen"}, {"elsewhere/q.sample", "r.sample"}, "/abs/p/q_r.gen", "/abs/p/q_r.sample"},
           // The extension dot is the last one before the first ".gz".
           {{"chr1.gz", "chr2.gz"}, {"chr1.sample", "chr2.sample"}, "chr1.gz_chr2.gz.gen.gz", "chr1_chr2.sample.gz"},
           {{"run.old/file", "run.old/more"}, {"s1", "s2"}, "run.old/file_more.gen", "run.old/s1_s2.sample"},
           {{"a.gen.gz", "b.gen.gz"}, {"first.sample", "second.sample"}, "a_b.gen.gz", "first_second.sample.gz"},
           {{"chr1.v2.gen.gz.bak", "x.y.z"}, {"s.v1.sample.gz", "t"}, "chr1.v2_x.y.gen.gz", "s.v1_t.sample.gz"},
           {{".gz", "a.gzip"}, {".hidden", "b"}, ".gz_a.gzip.gen.gz", "_b.sample.gz"},
           // Compression follows the GEN names only.
           {{"a.gen", "b.gen"}, {"a.sample.gz", "b.sample.gz"}, "a_b.gen", "a_b.sample"},
           {{"a.gen", "b.gen.gz", "c.gen"}, {"a.s", "b.s", "c.s"}, "a_b_c.gen.gz", "a_b_c.sample.gz"},
           // A single pair can name its own inputs: the merge mode has to refuse that.
           {{"x.gen"}, {"x.sample"}, "x.gen", "x.sample"},
       })
    check(c);
}

}  // namespace
}  // namespace varnex
