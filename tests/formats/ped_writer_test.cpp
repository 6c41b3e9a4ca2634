#include "formats/ped_writer.hpp"
#include "temp_dir.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace varnex {
namespace {

using varnex::testing::written;

// A packed row from call codes, SNP k in bits 2*(k%4) of byte k/4.
std::vector<std::uint8_t> pack(const std::vector<unsigned>& calls) {
  std::vector<std::uint8_t> row((calls.size() + 3) / 4);
  for (std::size_t k = 0; k < calls.size(); ++k) row[k / 4] |= calls[k] << (2 * (k % 4));
  return row;
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

}  // namespace
}  // namespace varnex
