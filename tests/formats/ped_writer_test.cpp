#include "formats/ped_writer.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace varnex {
namespace {

// What WRITE puts into a fresh output file.
template <class Write>
std::string written(Write write) {
  const std::string name = ::testing::TempDir() + "ped_writer_" + std::to_string(::getpid()) + ".txt";
  {
    output_file out(name, false);
    write(out);
    out.close();
  }
  std::ifstream in(name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  std::remove(name.c_str());
  return s.str();
}

// A packed row from call codes, SNP k in bits 2*(k%4) of byte k/4.
std::vector<std::uint8_t> pack(const std::vector<unsigned>& calls) {
  std::vector<std::uint8_t> row((calls.size() + 3) / 4);
  for (std::size_t k = 0; k < calls.size(); ++k) row[k / 4] |= calls[k] << (2 * (k % 4));
  return row;
}

TEST(PedWriter, MapLinesWithAndWithoutAlleles) {
  EXPECT_EQ(written([](output_file& out) {
              write_map_line(out, "22", "rs5", 100);
              write_map_line(out, "0", "snp_7", -5, "CAA", "c");
            }),
            "22\trs5\t0\t100\n0\tsnp_7\t0\t-5\tCAA\tc\n");
}

TEST(PedWriter, PedLinesOfNoneOneAndManySnps) {
  snp_alleles none;
  EXPECT_EQ(written([&](output_file& out) { write_ped_line(out, 3, "", 0, "-9", none, nullptr); }),
            "3\t\t0\t0\t0\t-9\n");
  snp_alleles one;
  one.add("A", "G");
  auto row = pack({call_ab});
  EXPECT_EQ(written([&](output_file& out) { write_ped_line(out, 0, "s1", -9, "-9", one, row.data()); }),
            "0\ts1\t0\t0\t-9\t-9\tA G\n");
  // Every call, across a byte boundary, with long alleles and others as they stand.
  snp_alleles six;
  const char* pairs[][2] = {{"A", "G"}, {"C", "T"}, {"CAA", "C"}, {"d", "0"}, {"G", "T"}, {"A", "TT"}};
  for (const auto& ab : pairs) six.add(ab[0], ab[1]);
  row = pack({call_aa, call_bb, call_ab, call_ab, call_missing, call_bb});
  EXPECT_EQ(written([&](output_file& out) { write_ped_line(out, 12, "ind", 2, "0.731", six, row.data()); }),
            "12\tind\t0\t0\t2\t0.731\tA A\tT T\tCAA C\td 0\tN N\tTT TT\n");
}

TEST(PedWriter, LongRowsSpanSeveralBlocks) {
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
  EXPECT_EQ(written([&](output_file& out) { write_ped_line(out, 0, "x", 1, "2", alleles, row.data()); }),
            expected);
}

TEST(SnpAlleles, GivesBackShortAndLongTexts) {
  const char* pairs[][2] = {{"A", "G"}, {"AAG", "A"}, {"T", "C"}};
  snp_alleles alleles;
  for (const auto& ab : pairs) alleles.add(ab[0], ab[1]);
  ASSERT_EQ(alleles.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(alleles.a(k), pairs[k][0]);
    EXPECT_EQ(alleles.b(k), pairs[k][1]);
  }
}

}  // namespace
}  // namespace varnex
