#include "formats/sample.hpp"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "formats/streams.hpp"
#include "temp_dir.hpp"

namespace varnex {
namespace {

TEST(SampleRow, TakesFirstTwoColumnsWhateverTheSpacing) {
  sample_row row;
  ASSERT_TRUE(split_sample_row("fam1 ind1 0 1 -9", row));
  EXPECT_EQ(row.id_1, "fam1");
  EXPECT_EQ(row.id_2, "ind1");
  ASSERT_TRUE(split_sample_row("\t fam2\t\tind2  \r", row));
  EXPECT_EQ(row.id_1, "fam2");
  EXPECT_EQ(row.id_2, "ind2");
}

TEST(SampleRow, FewerThanTwoColumnsEndsTheRows) {
  sample_row row;
  EXPECT_FALSE(split_sample_row("", row));
  EXPECT_FALSE(split_sample_row("   \t\r", row));
  EXPECT_FALSE(split_sample_row("only_one ", row));
}

TEST(IdSet, LooksUpWholeTokensOnly) {
  id_set set;
  set.add("b");
  set.add("a");
  set.add("b");
  set.add("ab");
  set.seal();
  EXPECT_EQ(set.size(), 3u);
  EXPECT_TRUE(set.contains("a"));
  EXPECT_TRUE(set.contains("ab"));
  EXPECT_TRUE(set.contains("b"));
  EXPECT_FALSE(set.contains("A"));
  EXPECT_FALSE(set.contains(""));
  EXPECT_FALSE(set.contains("abc"));
  EXPECT_FALSE(id_set().contains("a"));
}

class IdListFile : public ::testing::Test {
 protected:
  varnex::testing::temp_dir dir_;
  std::string path(const char* name) { return dir_ / name; }
};

TEST_F(IdListFile, ReadsTokensOfAnyLayoutPlainAndGzip) {
  const char text[] = "s1\ns2 s3\t s1\n\n  s4\r\ns5";
  std::string plain = path("ids.txt");
  varnex::testing::write_file(plain, text);
  std::string gz = path("ids.gz.txt");
  gzFile g = gzopen(gz.c_str(), "wb");
  gzputs(g, text);
  gzclose(g);
  for (const std::string& name : {plain, gz}) {
    id_set set = read_id_list(name);
    EXPECT_EQ(set.size(), 5u) << name;
    for (const char* id : {"s1", "s2", "s3", "s4", "s5"}) EXPECT_TRUE(set.contains(id)) << id;
  }
}

TEST_F(IdListFile, EmptyNameIsEmptyListMissingFileIsAnError) {
  EXPECT_TRUE(read_id_list("").empty());
  std::string empty = path("empty");
  varnex::testing::write_file(empty, "");
  EXPECT_TRUE(read_id_list(empty).empty());
  try {
    read_id_list(path("absent"));
    FAIL() << "no error";
  } catch (const io_error& e) {
    EXPECT_EQ(std::string(e.what()), "Can't open " + path("absent"));
  }
}

}  // namespace
}  // namespace varnex
