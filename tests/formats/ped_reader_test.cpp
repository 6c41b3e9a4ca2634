#include "formats/ped_reader.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace varnex {
namespace {

// The SNPs read_map_file finds in TEXT, one "chromosome name position A B;"
// each, and the line it stopped at.
std::string read_map(const std::string& text, std::uint64_t& stop) {
  char dir[] = "/tmp/ped_reader_test.XXXXXX";
  const std::string path = std::string(mkdtemp(dir)) + "/x.map";
  std::ofstream(path, std::ios::binary) << text;
  std::string out;
  {
    input_file in(path, false);
    stop = 99;
    for (const map_snp& s : read_map_file(in, &stop))
      out += s.snp_id + " " + s.rs_id + " " + std::to_string(s.position) + " " + s.allele_a + " " +
             s.allele_b + ";";
  }
  std::remove(path.c_str());
  ::rmdir(dir);
  return out;
}

TEST(ReadMapFile, RecordsAllelesAndWhereItStops) {
  const struct { const char *text, *snps; std::uint64_t stop; } cases[] = {  // stop 0: read to the end
      // Four and six columns; one allele only; the carriage return is not an allele.
      {"1\trs10\t0\t12345\tA\tG\n22 rs5 0.5 100\nX rs6 0 7 C\r\n",
       "1 rs10 12345 A G;22 rs5 100 - -;X rs6 7 C -;", 0},
      // Alleles are the first two characters of the rest.
      {"1 rs1 0 10 AG\n1 rs2 0 20 CT GA\n", "1 rs1 10 A G;1 rs2 20 C T;", 0},
      // A short line takes its position from the next line, the alleles from its rest.
      {"1 rs1 0\n1000 A C\n\n2 rs2 0 2000", "1 rs1 1000 A C;2 rs2 2000 - -;", 0},
      // A record that is not numeric stops the reading at its line.
      {"1 rs1 0 1000\n1 rs2 x 2000\n1 rs3 0 3000\n", "1 rs1 1000 - -;", 2},
      {"1 rs1 0 pos\n", "", 1},
      // A position beyond 32 bits is not a position.
      {"1 rs1 0 2147483648\n", "", 1},
      {"1 rs1 0 -2147483648\n", "1 rs1 -2147483648 - -;", 0},
      // Empty, blank and incomplete files.
      {"", "", 0},
      {"\n  \n", "", 0},
      {"1 rs1 0 10\n1 rs2\n", "1 rs1 10 - -;", 2},
  };
  for (const auto& c : cases) {
    std::uint64_t stop;
    EXPECT_EQ(read_map(c.text, stop), c.snps) << c.text;
    EXPECT_EQ(stop, c.stop) << c.text;
  }
}

std::vector<std::string> pairs_of(ped_line& line) {
  std::vector<std::string> out;
  char a, b;
  while (line.alleles.next_pair(a, b)) out.push_back(std::string{a, b});
  return out;
}

TEST(ReadPedLine, SixFieldsThenPairs) {
  for (const char* text : {"F1 I1 0 0 2 1.5 A A A G", "F1\tI1\t0\t0\t2\t1.5\tAA\tAG\r",
                           "  F1 I1 0 0 2 1.5 A  A\tA G  "}) {
    ped_line line = read_ped_line(text);
    EXPECT_EQ(line.fields, 6);
    EXPECT_EQ(line.family_id, "F1");
    EXPECT_EQ(line.individual_id, "I1");
    EXPECT_EQ(line.sex, 2);
    EXPECT_EQ(line.phenotype, "1.5");
    EXPECT_EQ(pairs_of(line), (std::vector<std::string>{"AA", "AG"})) << text;
    EXPECT_EQ(line.alleles.remaining(), 0u);
  }
  // Sex follows strtol.
  const std::pair<const char*, std::int32_t> sexes[] = {
      {"female", 0}, {"-9", -9}, {"+2x", 2}, {"99999999999", INT32_MAX}, {"-99999999999", INT32_MIN}};
  for (const auto& s : sexes)
    EXPECT_EQ(read_ped_line(std::string("F I 0 0 ") + s.first + " 1").sex, s.second) << s.first;
}

TEST(ReadPedLine, ShortLinesOddAllelesAndBlankLines) {
  ped_line short_line = read_ped_line("F I 0 0 1");
  EXPECT_EQ(short_line.fields, 5);
  EXPECT_TRUE(pairs_of(short_line).empty());
  ped_line odd = read_ped_line("F I 0 0 1 2 A G C");
  EXPECT_EQ(pairs_of(odd), std::vector<std::string>{"AG"});
  EXPECT_EQ(odd.alleles.remaining(), 1u);
  EXPECT_TRUE(is_blank_line(""));
  EXPECT_TRUE(is_blank_line(" \t\r"));
  EXPECT_FALSE(is_blank_line("  x"));
}

}  // namespace
}  // namespace varnex
