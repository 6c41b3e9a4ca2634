#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "convert/gen_to_ped_rules.hpp"
#include "driver/log.hpp"
#include "driver/modes.hpp"
#include "formats/bgen.hpp"
#include "formats/bgen_io.hpp"
#include "temp_dir.hpp"

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

// -G from a BGEN file calls from the stored integers; every call, MAP line
// and message must be those of -G on the GEN text its reader makes, for every
// width, thresholds that the stored values hit exactly (and one step off),
// missing samples and thresholds at which they call.
TEST(BgenCalls, SameAsCallingTheGenTextOfTheFile) {
  testing::temp_dir dir;
  std::mt19937_64 random(18);
  std::uniform_real_distribution<double> uniform(0, 1);
  const std::size_t n = 23;
  std::string sample = "ID_1 ID_2 missing\n0 0 0\n";
  for (std::size_t j = 0; j < n; ++j) sample += "s" + std::to_string(j) + " x 0\n";
  testing::write_file(dir / "x.sample", sample);
  const std::string saved_log = log_file;
  log_file = dir / "x.log";
  auto run = [&](const std::string& genotype_file, double threshold) {
    gen_to_ped_args args;
    args.genotype_file = genotype_file;
    args.sample_file = dir / "x.sample";
    args.ped_file = dir / "x.ped";
    args.map_file = dir / "x.map";
    args.threshold = threshold;
    args.alleles = true;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(gen_to_ped(args), 0);
    return ::testing::internal::GetCapturedStdout() + testing::read_file(args.ped_file) +
           testing::read_file(args.map_file);
  };
  auto u32 = [](std::uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  // Bits 0: a layout-1 file, each value out of 32768 on its own.
  for (unsigned bits : {8u, 16u, 1u, 5u, 12u, 24u, 32u, 0u}) {
    bgen_options options;
    options.bits = bits ? bits : 8;
    options.compression = bits % 2 ? bgen_compression::none : bgen_compression::zlib;
    std::string layout_1 = u32(20) + u32(20) + u32(12) + u32(n) + "bgen" + u32(4);
    {
      bgen_writer writer(dir / "x.bgen", options, nullptr);
      for (int k = 0; k < 12; ++k) {
        const std::string snp_id = (k % 3 ? "1" : "snp") + std::to_string(k);
        std::string line = snp_id + " rs" + std::to_string(k) + " " + std::to_string(100 * k) + " A G";
        layout_1 += u32(n) + '\x01' + '\0' + snp_id.back() + std::string("\x01\0r\x01\0c", 6) +
                    u32(100 * k) + u32(1) + "A" + u32(1) + "G";
        for (std::size_t j = 0; j < n; ++j) {
          double t[3] = {0, 0, 0};  // all zero: missing
          if (random() % 5 == 0) t[random() % 3] = 1;
          else if (random() % 6) for (double& x : t) x = uniform(random) * uniform(random);
          for (double x : t) {
            line += " " + std::to_string(x);
            layout_1 += u32(static_cast<std::uint32_t>(x * 32768)).substr(0, 2);
          }
        }
        writer.add_line(line);
      }
      writer.close();
    }
    if (bits == 0) testing::write_file(dir / "x.bgen", layout_1);
    {
      const std::unique_ptr<line_splitter> lines = open_gen_lines(dir / "x.bgen", false);
      std::string text;
      for (std::string_view line; lines->next(line);) (text += line) += '\n';
      testing::write_file(dir / "x.gen", text);
    }
    std::vector<double> thresholds = {0, 1, 0.9, 0.5, 1e-300, -0.0, uniform(random)};
    bgen_reader reader(dir / "x.bgen");
    for (bgen_variant v; reader.next(v);) {
      char text[32];
      double t = 0;
      const std::uint32_t value = v.values[random() % v.values.size()];
      ASSERT_TRUE(parse_double(std::string_view(text, format_fraction(value, v.scale, text)), t));
      for (double d : {t, std::nextafter(t, 0.0), std::nextafter(t, 2.0)}) thresholds.push_back(d);
    }
    for (double t : thresholds)
      ASSERT_EQ(run(dir / "x.bgen", t), run(dir / "x.gen", t)) << bits << " bits, at " << t;
  }
  log_file = saved_log;
}

}  // namespace
}  // namespace varnex
