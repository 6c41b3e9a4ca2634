// Default names of the merged outputs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/varnex.hpp"

namespace varnex {
namespace {

std::pair<std::string, std::string> names_for(std::vector<std::string> files) {
  int n = static_cast<int>(files.size() / 2);
  std::vector<std::string> before = files;
  auto result = std::make_pair(default_gen_output_file(n, files), default_gen_output_sample_file(n, files));
  EXPECT_EQ(files, before);
  return result;
}

TEST(MergedNames, DirectoryOfFirstGenName) {
  EXPECT_EQ(names_for({"data/chr1.gen.gz", "data/chr2.gen.gz", "data/chr1.sample", "data/chr2.sample"}),
            std::make_pair(std::string("data/chr1_chr2.gen.gz"), std::string("data/chr1_chr2.sample.gz")));
  EXPECT_EQ(names_for({"a.gen", "other/b.gen", "a.sample", "other/b.sample"}),
            std::make_pair(std::string("a_b.gen"), std::string("a_b.sample")));
  EXPECT_EQ(names_for({"x/one.gen", "y.gen.gz", "one.sample", "y.sample.gz"}),
            std::make_pair(std::string("x/one_y.gen.gz"), std::string("x/one_y.sample.gz")));
}

TEST(MergedNames, ExtensionDot) {
  EXPECT_EQ(names_for({"chr1.gz", "chr2.gz", "s1", "s2"}).first, "chr1.gz_chr2.gz.gen.gz");
  EXPECT_EQ(names_for({"run.old/file", "run.old/more", "run.old/s", "t"}),
            std::make_pair(std::string("run.old/file_more.gen"), std::string("run.old/s_t.sample")));
  EXPECT_EQ(names_for({"a.gen.gz", "b.gen.gz", "first.sample", "second.sample"}),
            std::make_pair(std::string("a_b.gen.gz"), std::string("first_second.sample.gz")));
  // A sample name's own ".gz" decides its extension dot; the GEN names decide
  // the compression.
  EXPECT_EQ(names_for({"a.gen", "b.gen", "s.one.gz", "t.sample.gz"}),
            std::make_pair(std::string("a_b.gen"), std::string("s_t.sample")));
  EXPECT_EQ(names_for({"x.gen", "x.sample"}), std::make_pair(std::string("x.gen"), std::string("x.sample")));
}

}  // namespace
}  // namespace varnex
