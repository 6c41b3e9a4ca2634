#include "formats/sample.hpp"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "formats/streams.hpp"
#include "temp_dir.hpp"

namespace varnex {
namespace {

// The first two columns whatever the spacing; fewer than two end the rows.
TEST(SampleRow, FirstTwoColumns) {
  sample_row row;
  ASSERT_TRUE(split_sample_row("fam1 ind1 0 1 -9", row));
  EXPECT_EQ(row.id_1, "fam1");
  EXPECT_EQ(row.id_2, "ind1");
  ASSERT_TRUE(split_sample_row("\t fam2\t\tind2  \r", row));
  EXPECT_EQ(row.id_1, "fam2");
  EXPECT_EQ(row.id_2, "ind2");
  for (const char* line : {"", "   \t\r", "only_one "}) EXPECT_FALSE(split_sample_row(line, row)) << line;
}

TEST(IdSet, LooksUpWholeTokensOnly) {
  id_set set;
  for (const char* id : {"b", "a", "b", "ab"}) set.add(id);
  set.seal();
  EXPECT_EQ(set.size(), 3u);
  for (const char* id : {"a", "ab", "b"}) EXPECT_TRUE(set.contains(id)) << id;
  for (const char* id : {"A", "", "abc"}) EXPECT_FALSE(set.contains(id)) << id;
  EXPECT_FALSE(id_set().contains("a"));
}

TEST(IdListFile, TokensOfAnyLayoutPlainAndGzipEmptyAndMissing) {
  varnex::testing::temp_dir dir;
  const char text[] = "s1\ns2 s3\t s1\n\n  s4\r\ns5";
  varnex::testing::write_file(dir / "ids.txt", text);
  gzFile g = gzopen((dir / "ids.gz.txt").c_str(), "wb");
  gzputs(g, text);
  gzclose(g);
  for (const std::string& name : {dir / "ids.txt", dir / "ids.gz.txt"}) {
    id_set set = read_id_list(name);
    EXPECT_EQ(set.size(), 5u) << name;
    for (const char* id : {"s1", "s2", "s3", "s4", "s5"}) EXPECT_TRUE(set.contains(id)) << id;
  }
  // No name is an empty list; a missing file is an error.
  EXPECT_TRUE(read_id_list("").empty());
  varnex::testing::write_file(dir / "empty", "");
  EXPECT_TRUE(read_id_list(dir / "empty").empty());
  try {
    read_id_list(dir / "absent");
    FAIL() << "no error";
  } catch (const io_error& e) {
    EXPECT_EQ(std::string(e.what()), "Can't open " + (dir / "absent"));
  }
}

}  // namespace
}  // namespace varnex
