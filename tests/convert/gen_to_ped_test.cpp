#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "convert/gen_to_ped_calls.hpp"
#include "convert/gen_to_ped_rules.hpp"

namespace varnex {
namespace {

TEST(SnpIdCheck, AcceptsExactlyTheChromosomeCodes) {
  int accepted = 0;
  for (int i = 0; i < 100; ++i) accepted += snp_id_check(std::to_string(i));
  EXPECT_EQ(accepted, 24);
  EXPECT_TRUE(snp_id_check("1"));
  EXPECT_TRUE(snp_id_check("24"));
  EXPECT_TRUE(snp_id_check("X"));
  EXPECT_TRUE(snp_id_check("Y"));
  EXPECT_TRUE(snp_id_check("M"));
  for (const char* no : {"0", "25", "01", "chr1", "x", "MT", "XY", "", "1 ", "---", "22:1"})
    EXPECT_FALSE(snp_id_check(no)) << no;
}

TEST(MapColumns, ChromosomeRuleAndNameChoice) {
  EXPECT_EQ(map_chromosome("2", true), "2");
  EXPECT_EQ(map_snp_name("2", "snp_7", true), "snp_7");
  EXPECT_EQ(map_chromosome("2", false), "0");
  EXPECT_EQ(map_snp_name("chr2", "rs123", false), "rs123");
  EXPECT_EQ(map_snp_name("X:100_A_G", "snp_7", false), "X:100_A_G");
  EXPECT_EQ(map_snp_name("01", "RSID_2", false), "01");  // "rs" is case-sensitive
  EXPECT_EQ(map_snp_name("a", "xrsy", false), "xrsy");   // anywhere in the name
}

TEST(SampleColumns, HeaderLookupOrder) {
  auto c = find_sample_columns("ID_1 ID_2 missing sex bmi", "bmi", "-9");
  EXPECT_EQ(c.sex, 3);
  EXPECT_EQ(c.phenotype, 4);
  c = find_sample_columns("ID_1 ID_2 missing gender sex", "-9", "-9");
  EXPECT_EQ(c.sex, 3);
  EXPECT_EQ(c.phenotype, no_column);
  c = find_sample_columns("ID_1 ID_2 missing sex mysex", "-9", "mysex");
  EXPECT_EQ(c.sex, 4);
  c = find_sample_columns("ID_1 ID_2 missing mysex sex", "-9", "mysex");
  EXPECT_EQ(c.sex, 3);
  c = find_sample_columns("ID_1 ID_2 missing sex gender", "sex", "-9");
  EXPECT_EQ(c.phenotype, 3);
  EXPECT_EQ(c.sex, 4);
  c = find_sample_columns("ID_1\tID_2 missing p p Sex GENDER", "p", "-9");
  EXPECT_EQ(c.phenotype, 4);  // last occurrence
  EXPECT_EQ(c.sex, no_column);
  c = find_sample_columns("ID_1 ID_2 missing -9", "-9", "-9");
  EXPECT_EQ(c.phenotype, 3);
}

TEST(SexCode, StrtolRules) {
  EXPECT_EQ(sex_code("2"), 2);
  EXPECT_EQ(sex_code("0"), 0);
  EXPECT_EQ(sex_code("-9"), -9);
  EXPECT_EQ(sex_code("female"), 0);
  EXPECT_EQ(sex_code("NA"), 0);
  EXPECT_EQ(sex_code("1.5"), 1);
  EXPECT_EQ(sex_code("+2x"), 2);
  EXPECT_EQ(sex_code("99999999999"), 2147483647);
  EXPECT_EQ(sex_code("-99999999999"), -2147483647 - 1);
}

TEST(SampleTable, RowsTakeTheirColumnsAndBlankRowsCount) {
  sample_table t(find_sample_columns("ID_1 ID_2 missing sex bmi", "bmi", "-9"));
  t.add_row("fam1 ind1 0 2 27.3");
  t.add_row("");
  t.add_row("fam3 ind3 0 male");
  t.add_row("fam4");
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t.id(0), "fam1");
  EXPECT_EQ(t.sex(0), 2);
  EXPECT_EQ(t.phenotype(0), "27.3");
  EXPECT_EQ(t.id(1), "");
  EXPECT_EQ(t.sex(1), -9);
  EXPECT_EQ(t.phenotype(1), "-9");
  EXPECT_EQ(t.id(2), "fam3");
  EXPECT_EQ(t.sex(2), 0);
  EXPECT_EQ(t.phenotype(2), "-9");
  EXPECT_EQ(t.id(3), "fam4");
}

TEST(SampleTable, FirstColumnIsNeverSexOrPhenotype) {
  sample_table t(find_sample_columns("sex ID_2 pheno", "sex", "ID_2"));
  t.add_row("7 3 x");
  EXPECT_EQ(t.id(0), "7");
  EXPECT_EQ(t.sex(0), 3);
  EXPECT_EQ(t.phenotype(0), "-9");
}

// The call of one triple of fields, as the conversion makes it.
genotype_call call_of(const std::string& triple, double threshold) {
  threshold_test test(threshold);
  const char* p = triple.data();
  const char* end = p + triple.size();
  bool reaches[3];
  for (bool& r : reaches) {
    while (is_blank(*p)) ++p;
    p = test.read(p, end, r);
    EXPECT_TRUE(p) << triple;
    if (!p) return call_missing;
  }
  return call_genotype(reaches[0], reaches[1], reaches[2]);
}

TEST(CallGenotype, FirstRuleThatHoldsDecides) {
  EXPECT_EQ(call_of("0.9 0.1 0", 0.9), call_aa);  // inclusive
  EXPECT_EQ(call_of("0.89 0.11 0", 0.9), call_missing);
  EXPECT_EQ(call_of("0.5 0.5 0", 0.5), call_aa);
  EXPECT_EQ(call_of("0.2 0.5 0.5", 0.5), call_ab);
  EXPECT_EQ(call_of("0 0.1 0.95", 0.9), call_bb);
  EXPECT_EQ(call_of("1 1 1", 0), call_aa);  // no need to sum to 1
  EXPECT_EQ(call_of("0 0 0", 0.9), call_missing);
  EXPECT_EQ(call_of("0 0 0", 0), call_aa);
  EXPECT_EQ(call_of("1 1 1", std::nan("")), call_missing);
  EXPECT_EQ(call_of("-0 -1e-3 1e-1", 0), call_aa);
  EXPECT_EQ(call_of("-0.5 -1e-3 9e-1", 0.9), call_bb);
  for (int i = 0; i < 8; ++i) {
    genotype_call c = call_genotype(i & 1, i & 2, i & 4);
    EXPECT_EQ(c, (i & 1) ? call_aa : (i & 2) ? call_ab : (i & 4) ? call_bb : call_missing);
  }
}

TEST(ThresholdTest, StopsAtTheFieldEnd) {
  threshold_test test(0.5);
  std::string line = "0.25 1\t.5\r";
  const char* p = line.data();
  const char* end = p + line.size();
  bool r;
  p = test.read(p, end, r);
  ASSERT_TRUE(p);
  EXPECT_FALSE(r);
  EXPECT_EQ(*p, ' ');
  p = test.read(p + 1, end, r);
  EXPECT_TRUE(r);
  EXPECT_EQ(*p, '\t');
  p = test.read(p + 1, end, r);
  EXPECT_TRUE(r);
  EXPECT_EQ(*p, '\r');
}

TEST(ThresholdTest, RejectsWhatIsNotANumber) {
  threshold_test test(0.9);
  for (std::string no : {"abc", "0.5x", "nan", "NaN", "inf", "-inf", ".", "-", "+", "1e", "0x1",
                         "1,5", "--1", "+-1", "1.2.3", "NA", "e5", "0.12345678901234567890x",
                         "0.x", "0.5/", "0.9999999:", "0.1234567a", "1.2345678.", "5x"}) {
    bool r;
    EXPECT_FALSE(test.read(no.data(), no.data() + no.size(), r)) << no;
    std::string line = no + " 0.25 0.5 0.125";
    EXPECT_FALSE(test.read(line.data(), line.data() + line.size(), r)) << no;
  }
}

// Every field and threshold must give what parsing the number and comparing
// it gives, also for decimals one unit in the last place off the threshold.
TEST(ThresholdTest, SameAnswerAsComparingTheParsedNumber) {
  std::vector<std::string> fields = {"0",   "1",        "-0",        "+0.5",   "5.",   ".5",
                                     "1e-3", "0.333333", "0.9531",   "1E+2",   "007",
                                     "0.9", "0.90", "0.9000000000000000", "0.8999999999999999",
                                     "0.89999999999999991", "0.9000000000000001",
                                     "0.12345678901234567890123", "123456789012345678901",
                                     "9007199254740993", "0.1000000000000000055511151231257827",
                                     "1e400", "1e-400", "4.9e-324", "0.3333333333333333",
                                     "0.33333333333333331", "0.5", "0.50000000000000001"};
  std::mt19937_64 random(4);
  for (int i = 0; i < 5000; ++i) {
    std::string f = std::to_string(random() % 1000000000000000000ull);
    f.insert(random() % (f.size() + 1), ".");
    if (random() % 5 == 0) f = "-" + f;
    fields.push_back(f);
    fields.push_back("0." + std::to_string(random() % 100000));
    std::string digits = std::to_string(random() % 100000000);
    fields.push_back(std::to_string(random() % 10) + "." + digits.substr(0, random() % 9));
  }
  for (const char* f : {"0.1234567", "0.12345678", "9.9999999", "0.0000000", "0.", "1.0", "0.9",
                        "0.8999999", "0.9000000", "1.00000000"})
    fields.push_back(f);
  const double thresholds[] = {0.9, 0.5, 0.1, 1.0 / 3, 0, 1, 0.95, std::nextafter(0.9, 1.0),
                               std::nextafter(0.9, 0.0), 1e-300, 2, std::nan("")};
  for (double t : thresholds) {
    threshold_test test(t);
    for (const std::string& f : fields) {
      double value = 0;
      ASSERT_TRUE(parse_double(f, value)) << f;
      bool r = false;
      const char* end = test.read(f.data(), f.data() + f.size(), r);
      ASSERT_EQ(end, f.data() + f.size()) << f;
      ASSERT_EQ(r, value >= t) << f << " against " << t;
      // Inside a line, where eight bytes at a time may be looked at.
      std::string line = f + "\t0.25 0.5 0.125";
      r = !r;
      end = test.read(line.data(), line.data() + line.size(), r);
      ASSERT_EQ(end, line.data() + f.size()) << f;
      ASSERT_EQ(r, value >= t) << f << " against " << t;
    }
  }
}

TEST(CallMatrix, PackedCallsStayApart) {
  const std::uint64_t n = 5, m = 13;  // rows end inside a byte
  call_matrix calls(n, m);
  for (std::uint64_t j = 0; j < n; ++j)
    for (std::uint64_t k = 0; k < m; ++k) EXPECT_EQ(calls.get(j, k), 0u);
  for (std::uint64_t k = 0; k < m; ++k)
    for (std::uint64_t j = 0; j < n; ++j) calls.set(j, k, (j * 7 + k * 3) % 4);
  for (std::uint64_t j = 0; j < n; ++j)
    for (std::uint64_t k = 0; k < m; ++k) EXPECT_EQ(calls.get(j, k), (j * 7 + k * 3) % 4);
  EXPECT_EQ(calls.row(1) - calls.row(0), 8);  // rows are whole words
}

TEST(CallMatrix, WordsHoldThirtyTwoSnps) {
  const std::uint64_t n = 3, m = 70;
  call_matrix calls(n, m);
  for (std::uint64_t j = 0; j < n; ++j)
    for (std::uint64_t w = 0; w * 32 < m; ++w) {
      std::uint64_t word = 0;
      for (std::uint64_t k = w * 32; k < m && k < w * 32 + 32; ++k)
        word |= std::uint64_t((j + k * k) % 4) << (2 * (k % 32));
      calls.put_word(j, w, word);
    }
  for (std::uint64_t j = 0; j < n; ++j)
    for (std::uint64_t k = 0; k < m; ++k) EXPECT_EQ(calls.get(j, k), (j + k * k) % 4) << k;
  EXPECT_EQ(calls.row(1) - calls.row(0), 24);
}

TEST(CallMatrix, EmptyAndImpossibleSizes) {
  call_matrix none(0, 1000);
  call_matrix no_snps(1000, 0);
  EXPECT_THROW(call_matrix(std::uint64_t(1) << 40, std::uint64_t(1) << 40), std::bad_alloc);
}

}  // namespace
}  // namespace varnex
