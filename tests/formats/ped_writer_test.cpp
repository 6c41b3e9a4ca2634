#include "formats/ped_writer.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace varnex {
namespace {

class PedWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = ::testing::TempDir() + "ped_writer_" + std::to_string(::getpid()) + ".txt";
  }
  void TearDown() override { std::remove(name_.c_str()); }
  std::string contents() {
    std::ifstream in(name_, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string name_;
};

// A packed row from call codes, SNP k in bits 2*(k%4) of byte k/4.
std::vector<std::uint8_t> pack(const std::vector<unsigned>& calls) {
  std::vector<std::uint8_t> row((calls.size() + 3) / 4);
  for (std::size_t k = 0; k < calls.size(); ++k) row[k / 4] |= calls[k] << (2 * (k % 4));
  return row;
}

TEST_F(PedWriter, MapLinesWithAndWithoutAlleles) {
  output_file out(name_, false);
  write_map_line(out, "22", "rs5", 100);
  write_map_line(out, "0", "snp_7", -5, "CAA", "c");
  out.close();
  EXPECT_EQ(contents(), "22\trs5\t0\t100\n0\tsnp_7\t0\t-5\tCAA\tc\n");
}

TEST_F(PedWriter, PedLineOfOneCalledSnp) {
  snp_alleles alleles;
  alleles.add("A", "G");
  auto row = pack({call_ab});
  output_file out(name_, false);
  write_ped_line(out, 0, "s1", -9, "-9", alleles, row.data());
  out.close();
  EXPECT_EQ(contents(), "0\ts1\t0\t0\t-9\t-9\tA G\n");
}

TEST_F(PedWriter, EveryCallAcrossByteBoundariesAndLongAlleles) {
  snp_alleles alleles;
  alleles.add("A", "G");    // 0
  alleles.add("C", "T");    // 1
  alleles.add("CAA", "C");  // 2: an indel
  alleles.add("d", "0");    // 3: written as they stand
  alleles.add("G", "T");    // 4: second byte
  alleles.add("A", "TT");   // 5
  auto row = pack({call_aa, call_bb, call_ab, call_ab, call_missing, call_bb});
  output_file out(name_, false);
  write_ped_line(out, 12, "ind", 2, "0.731", alleles, row.data());
  out.close();
  EXPECT_EQ(contents(), "12\tind\t0\t0\t2\t0.731\tA A\tT T\tCAA C\td 0\tN N\tTT TT\n");
}

TEST_F(PedWriter, LineWithoutSnps) {
  snp_alleles alleles;
  output_file out(name_, false);
  write_ped_line(out, 3, "", 0, "-9", alleles, nullptr);
  out.close();
  EXPECT_EQ(contents(), "3\t\t0\t0\t0\t-9\n");
}

TEST_F(PedWriter, LongRowsSpanSeveralBlocks) {
  const std::size_t m = 200003;
  snp_alleles alleles;
  std::vector<unsigned> calls(m);
  std::string expected = "0\tx\t0\t0\t1\t2";
  for (std::size_t k = 0; k < m; ++k) {
    alleles.add(k % 2 ? "C" : "G", "T");
    calls[k] = k % 4;
    const char* text[2][4] = {{"\tG G", "\tG T", "\tT T", "\tN N"},
                              {"\tC C", "\tC T", "\tT T", "\tN N"}};
    expected += text[k % 2][k % 4];
  }
  expected += '\n';
  auto row = pack(calls);
  output_file out(name_, false);
  write_ped_line(out, 0, "x", 1, "2", alleles, row.data());
  out.close();
  EXPECT_EQ(contents(), expected);
}

TEST(SnpAlleles, GivesBackShortAndLongTexts) {
  snp_alleles alleles;
  alleles.add("A", "G");
  alleles.add("AAG", "A");
  alleles.add("T", "C");
  ASSERT_EQ(alleles.size(), 3u);
  EXPECT_EQ(alleles.a(0), "A");
  EXPECT_EQ(alleles.b(0), "G");
  EXPECT_EQ(alleles.a(1), "AAG");
  EXPECT_EQ(alleles.b(1), "A");
  EXPECT_EQ(alleles.a(2), "T");
  EXPECT_EQ(alleles.b(2), "C");
}

}  // namespace
}  // namespace varnex
