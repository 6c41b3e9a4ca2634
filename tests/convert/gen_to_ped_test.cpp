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

TEST(CallGenotype, FirstRuleThatHoldsDecides) {
  EXPECT_EQ(call_genotype(0.9, 0.1, 0, 0.9), call_aa);  // inclusive
  EXPECT_EQ(call_genotype(0.89, 0.11, 0, 0.9), call_missing);
  EXPECT_EQ(call_genotype(0.5, 0.5, 0, 0.5), call_aa);
  EXPECT_EQ(call_genotype(0.2, 0.5, 0.5, 0.5), call_ab);
  EXPECT_EQ(call_genotype(0, 0.1, 0.95, 0.9), call_bb);
  EXPECT_EQ(call_genotype(1, 1, 1, 0), call_aa);  // no need to sum to 1
  EXPECT_EQ(call_genotype(0, 0, 0, 0.9), call_missing);
  EXPECT_EQ(call_genotype(1, 1, 1, std::nan("")), call_missing);
}

double parsed(const std::string& field, bool* ok = nullptr) {
  double v = -12345;
  const char* end = parse_probability(field.data(), field.data() + field.size(), v);
  if (ok) *ok = end != nullptr;
  if (end) {
    EXPECT_EQ(end, field.data() + field.size()) << field;
  }
  return v;
}

TEST(ParseProbability, StopsAtTheFieldEnd) {
  std::string line = "0.25 1\t.5\r";
  const char* p = line.data();
  const char* end = p + line.size();
  double v;
  p = parse_probability(p, end, v);
  ASSERT_TRUE(p);
  EXPECT_EQ(v, 0.25);
  EXPECT_EQ(*p, ' ');
  p = parse_probability(p + 1, end, v);
  EXPECT_EQ(v, 1.0);
  p = parse_probability(p + 1, end, v);
  EXPECT_EQ(v, 0.5);
  EXPECT_EQ(*p, '\r');
}

TEST(ParseProbability, RejectsWhatIsNotANumber) {
  for (const char* no : {"abc", "0.5x", "nan", "NaN", "inf", "-inf", ".", "-", "+", "1e", "0x1",
                         "1,5", "--1", "+-1", "1.2.3", "NA", "e5"}) {
    bool ok = true;
    parsed(no, &ok);
    EXPECT_FALSE(ok) << no;
  }
}

TEST(ParseProbability, SameValueAsTheGeneralParser) {
  std::vector<std::string> fields = {"0",   "1",        "-0",        "+0.5",   "5.",   ".5",
                                     "1e-3", "0.333333", "0.9531",   "1E+2",   "007",
                                     "0.12345678901234567890123", "123456789012345678901",
                                     "9007199254740993", "0.1000000000000000055511151231257827",
                                     "1e400", "1e-400", "4.9e-324"};
  std::mt19937_64 random(4);
  for (int i = 0; i < 20000; ++i) {
    std::string f = std::to_string(random() % 1000000000000000000ull);
    std::size_t point = random() % (f.size() + 1);
    f.insert(point, ".");
    if (random() % 3 == 0) f = "-" + f;
    fields.push_back(f);
  }
  for (const std::string& f : fields) {
    double expected = 0;
    ASSERT_TRUE(parse_double(f, expected)) << f;
    bool ok = false;
    double v = parsed(f, &ok);
    ASSERT_TRUE(ok) << f;
    EXPECT_EQ(std::memcmp(&v, &expected, sizeof v), 0) << f << " " << v << " " << expected;
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
  EXPECT_EQ(calls.row(1) - calls.row(0), 4);  // (13 + 3) / 4 bytes per individual
}

TEST(CallMatrix, EmptyAndImpossibleSizes) {
  call_matrix none(0, 1000);
  call_matrix no_snps(1000, 0);
  EXPECT_THROW(call_matrix(std::uint64_t(1) << 40, std::uint64_t(1) << 40), std::bad_alloc);
}

}  // namespace
}  // namespace varnex
