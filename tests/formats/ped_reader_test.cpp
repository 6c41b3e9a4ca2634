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

// A MAP file in a scratch directory, read back with read_map_file.
struct map_fixture {
  std::string path;
  explicit map_fixture(const std::string& text) {
    char dir[] = "/tmp/ped_reader_test.XXXXXX";
    path = std::string(mkdtemp(dir)) + "/x.map";
    std::ofstream(path, std::ios::binary) << text;
  }
  ~map_fixture() {
    std::remove(path.c_str());
    ::rmdir(path.substr(0, path.rfind('/')).c_str());
  }
  std::vector<map_snp> read(std::uint64_t* stop = nullptr) {
    input_file in(path, false);
    return read_map_file(in, stop);
  }
};

TEST(ReadMapFile, FourAndSixColumnLines) {
  map_fixture f("1\trs10\t0\t12345\tA\tG\n22 rs5 0.5 100\nX rs6 0 7 C\r\n");
  std::uint64_t stop = 99;
  auto snps = f.read(&stop);
  ASSERT_EQ(snps.size(), 3u);
  EXPECT_EQ(snps[0].snp_id, "1");
  EXPECT_EQ(snps[0].rs_id, "rs10");
  EXPECT_EQ(snps[0].position, 12345);
  EXPECT_EQ(snps[0].allele_a, 'A');
  EXPECT_EQ(snps[0].allele_b, 'G');
  EXPECT_EQ(snps[1].snp_id, "22");
  EXPECT_EQ(snps[1].position, 100);
  EXPECT_EQ(snps[1].allele_a, '-');
  EXPECT_EQ(snps[1].allele_b, '-');
  // One allele only; the carriage return is not an allele.
  EXPECT_EQ(snps[2].allele_a, 'C');
  EXPECT_EQ(snps[2].allele_b, '-');
  EXPECT_EQ(stop, 0u);
}

TEST(ReadMapFile, AllelesAreTheFirstTwoCharactersOfTheRest) {
  map_fixture f("1 rs1 0 10 AG\n1 rs2 0 20 CT GA\n");
  auto snps = f.read();
  ASSERT_EQ(snps.size(), 2u);
  EXPECT_EQ(snps[0].allele_a, 'A');
  EXPECT_EQ(snps[0].allele_b, 'G');
  EXPECT_EQ(snps[1].allele_a, 'C');
  EXPECT_EQ(snps[1].allele_b, 'T');
}

TEST(ReadMapFile, RecordsRunAcrossLineEnds) {
  // The short first line takes its position from the next line; the alleles
  // come from the rest of that line.
  map_fixture f("1 rs1 0\n1000 A C\n\n2 rs2 0 2000");
  auto snps = f.read();
  ASSERT_EQ(snps.size(), 2u);
  EXPECT_EQ(snps[0].position, 1000);
  EXPECT_EQ(snps[0].allele_a, 'A');
  EXPECT_EQ(snps[0].allele_b, 'C');
  EXPECT_EQ(snps[1].rs_id, "rs2");
  EXPECT_EQ(snps[1].position, 2000);
}

TEST(ReadMapFile, StopsAtARecordThatIsNotNumeric) {
  map_fixture f("1 rs1 0 1000\n1 rs2 x 2000\n1 rs3 0 3000\n");
  std::uint64_t stop = 0;
  auto snps = f.read(&stop);
  ASSERT_EQ(snps.size(), 1u);
  EXPECT_EQ(stop, 2u);

  map_fixture g("1 rs1 0 pos\n");
  EXPECT_TRUE(g.read(&stop).empty());
  EXPECT_EQ(stop, 1u);

  // A position beyond 32 bits is not a position.
  map_fixture h("1 rs1 0 2147483648\n");
  EXPECT_TRUE(h.read(&stop).empty());
  map_fixture i("1 rs1 0 -2147483648\n");
  ASSERT_EQ(i.read().size(), 1u);
  EXPECT_EQ(i.read()[0].position, INT32_MIN);
}

TEST(ReadMapFile, EmptyAndIncompleteFiles) {
  std::uint64_t stop = 7;
  map_fixture empty("");
  EXPECT_TRUE(empty.read(&stop).empty());
  EXPECT_EQ(stop, 0u);
  map_fixture blank("\n  \n");
  EXPECT_TRUE(blank.read(&stop).empty());
  EXPECT_EQ(stop, 0u);
  map_fixture cut("1 rs1 0 10\n1 rs2\n");
  EXPECT_EQ(cut.read(&stop).size(), 1u);
  EXPECT_EQ(stop, 2u);
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
}

TEST(ReadPedLine, SexFollowsStrtol) {
  EXPECT_EQ(read_ped_line("F I 0 0 female 1").sex, 0);
  EXPECT_EQ(read_ped_line("F I 0 0 -9 1").sex, -9);
  EXPECT_EQ(read_ped_line("F I 0 0 +2x 1").sex, 2);
  EXPECT_EQ(read_ped_line("F I 0 0 99999999999 1").sex, INT32_MAX);
  EXPECT_EQ(read_ped_line("F I 0 0 -99999999999 1").sex, INT32_MIN);
}

TEST(ReadPedLine, ShortLinesAndOddAlleles) {
  ped_line short_line = read_ped_line("F I 0 0 1");
  EXPECT_EQ(short_line.fields, 5);
  EXPECT_TRUE(pairs_of(short_line).empty());

  ped_line odd = read_ped_line("F I 0 0 1 2 A G C");
  EXPECT_EQ(pairs_of(odd), std::vector<std::string>{"AG"});
  EXPECT_EQ(odd.alleles.remaining(), 1u);
}

TEST(IsBlankLine, OnlyWhiteSpace) {
  EXPECT_TRUE(is_blank_line(""));
  EXPECT_TRUE(is_blank_line(" \t\r"));
  EXPECT_FALSE(is_blank_line("  x"));
}

}  // namespace
}  // namespace varnex
