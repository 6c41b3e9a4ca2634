#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/varnex.hpp"
#include "formats/streams.hpp"

namespace varnex {
namespace {

struct merged {
  std::string gen, sample;
};

// The n GEN names, then the n SAMPLE names, as the driver collects them.
merged names(std::vector<std::string> gens, std::vector<std::string> samples) {
  std::vector<std::string> list = gens;
  list.insert(list.end(), samples.begin(), samples.end());
  const std::vector<std::string> before = list;
  int n = static_cast<int>(gens.size());
  merged m{default_gen_output_file(n, list), default_gen_output_sample_file(n, list)};
  EXPECT_EQ(list, before);  // the list is left as it was
  return m;
}

TEST(MergedNames, DirectoryOfTheFirstGenName) {
  merged m = names({"data/chr1.gen.gz", "data/chr2.gen.gz"}, {"data/chr1.sample", "data/chr2.sample"});
  EXPECT_EQ(m.gen, "data/chr1_chr2.gen.gz");
  EXPECT_EQ(m.sample, "data/chr1_chr2.sample.gz");

  m = names({"a.gen", "other/b.gen"}, {"a.sample", "other/b.sample"});
  EXPECT_EQ(m.gen, "a_b.gen");
  EXPECT_EQ(m.sample, "a_b.sample");

  m = names({"x/one.gen", "y.gen.gz"}, {"one.sample", "y.sample.gz"});
  EXPECT_EQ(m.gen, "x/one_y.gen.gz");
  EXPECT_EQ(m.sample, "x/one_y.sample.gz");

  m = names({"/abs/p/q.gen", "r.gen"}, {"elsewhere/q.sample", "r.sample"});
  EXPECT_EQ(m.gen, "/abs/p/q_r.gen");
  EXPECT_EQ(m.sample, "/abs/p/q_r.sample");
}

TEST(MergedNames, ExtensionDot) {
  merged m = names({"chr1.gz", "chr2.gz"}, {"chr1.sample", "chr2.sample"});
  EXPECT_EQ(m.gen, "chr1.gz_chr2.gz.gen.gz");
  EXPECT_EQ(m.sample, "chr1_chr2.sample.gz");

  m = names({"run.old/file", "run.old/more"}, {"s1", "s2"});
  EXPECT_EQ(m.gen, "run.old/file_more.gen");
  EXPECT_EQ(m.sample, "run.old/s1_s2.sample");

  m = names({"a.gen.gz", "b.gen.gz"}, {"first.sample", "second.sample"});
  EXPECT_EQ(m.gen, "a_b.gen.gz");
  EXPECT_EQ(m.sample, "first_second.sample.gz");

  // The extension dot is the last one before the first ".gz".
  m = names({"chr1.v2.gen.gz.bak", "x.y.z"}, {"s.v1.sample.gz", "t"});
  EXPECT_EQ(m.gen, "chr1.v2_x.y.gen.gz");
  EXPECT_EQ(m.sample, "s.v1_t.sample.gz");

  m = names({".gz", "a.gzip"}, {".hidden", "b"});
  EXPECT_EQ(m.gen, ".gz_a.gzip.gen.gz");
  EXPECT_EQ(m.sample, "_b.sample.gz");
}

TEST(MergedNames, GzFlagFromTheGenNamesOnly) {
  merged m = names({"a.gen", "b.gen"}, {"a.sample.gz", "b.sample.gz"});
  EXPECT_EQ(m.gen, "a_b.gen");
  EXPECT_EQ(m.sample, "a_b.sample");

  m = names({"a.gen", "b.gen.gz", "c.gen"}, {"a.s", "b.s", "c.s"});
  EXPECT_EQ(m.gen, "a_b_c.gen.gz");
  EXPECT_EQ(m.sample, "a_b_c.sample.gz");
}

// A single pair can name its own inputs: the merge mode has to refuse that.
TEST(MergedNames, SinglePairCanEqualTheInputs) {
  merged m = names({"x.gen"}, {"x.sample"});
  EXPECT_EQ(m.gen, "x.gen");
  EXPECT_EQ(m.sample, "x.sample");
}

TEST(DefaultNames, TaggedNamesOfEachMode) {
  EXPECT_EQ(tagged_name("data/chr1.gen", ".subset"), "data/chr1.gen.subset");
  EXPECT_EQ(tagged_name("data/chr1.gen.gz", ".subset"), "data/chr1.gen.subset.gz");
  EXPECT_EQ(tagged_name("a.gz.gen", ".subset"), "a.subset.gz.gen");
  EXPECT_EQ(tagged_name("study.ped", ".gen"), "study.ped.gen");
  EXPECT_EQ(tagged_name("study.ped", ".sample"), "study.ped.sample");
  EXPECT_EQ(tagged_name("study.ped.gz", ".gen"), "study.ped.gen.gz");
  EXPECT_EQ(tagged_name("study.ped.gz", ".sample"), "study.ped.sample.gz");
  EXPECT_EQ(tagged_name("a.gen", ".ped"), "a.gen.ped");
  EXPECT_EQ(tagged_name("a.gen", ".map"), "a.gen.map");
  EXPECT_EQ(tagged_name("chr1.gen.gz", ".ped"), "chr1.gen.ped.gz");
  EXPECT_EQ(tagged_name("a.gen", ".orient"), "a.gen.orient");
  EXPECT_EQ(tagged_name("a.gen.gz", ".orient"), "a.gen.orient.gz");
}

}  // namespace
}  // namespace varnex
