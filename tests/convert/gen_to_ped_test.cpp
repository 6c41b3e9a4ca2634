#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "convert/gen_to_ped_rules.hpp"

namespace varnex {
namespace {

// The first of AA, AB, BB whose probability reaches the threshold decides.
TEST(CallGenotype, FirstRuleThatHoldsDecides) {
  for (int i = 0; i < 8; ++i) {
    genotype_call c = call_genotype(i & 1, i & 2, i & 4);
    EXPECT_EQ(c, (i & 1) ? call_aa : (i & 2) ? call_ab : (i & 4) ? call_bb : call_missing);
  }
}

// Every field and threshold must give what parsing the number and comparing
// it gives, also for decimals one unit in the last place off the threshold.
TEST(ThresholdTest, SameAnswerAsComparingTheParsedNumber) {
  std::vector<std::string> fields = {
      "0", "1", "-0", "+0.5", "5.", ".5", "1e-3", "0.333333", "0.9531", "1E+2", "007", "0.9", "0.90",
      "0.9000000000000000", "0.8999999999999999", "0.89999999999999991", "0.9000000000000001",
      "0.12345678901234567890123", "123456789012345678901", "9007199254740993",
      "0.1000000000000000055511151231257827", "1e400", "1e-400", "4.9e-324", "0.3333333333333333",
      "0.33333333333333331", "0.5", "0.50000000000000001", "0.1234567", "0.12345678", "9.9999999",
      "0.0000000", "0.", "1.0", "0.8999999", "0.9000000", "1.00000000"};
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

}  // namespace
}  // namespace varnex
