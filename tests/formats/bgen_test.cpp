#include "formats/bgen.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "formats/bgen_io.hpp"
#include "formats/text.hpp"
#include "temp_dir.hpp"

namespace varnex {
namespace {

using testing::error_of;
using testing::temp_dir;

// The rounding rule written out plainly: sort by fractional part, stable.
void reference_quantise(const double p[3], unsigned bits, std::uint32_t q[3]) {
  const double top = double((std::uint64_t(1) << bits) - 1);
  const double sum = p[0] + p[1] + p[2];
  double frac[3];
  std::uint64_t total = 0;
  for (int i = 0; i < 3; ++i) {
    const double x = p[i] / sum * top;
    q[i] = static_cast<std::uint32_t>(std::floor(x));
    frac[i] = x - std::floor(x);
    total += q[i];
  }
  std::vector<int> order = {0, 1, 2};
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return frac[a] > frac[b]; });
  for (std::uint64_t k = 0; k < std::uint64_t(top) - total; ++k) ++q[order[k]];
}

TEST(bgen, quantise_matches_the_plain_rule_and_stays_within_one_unit) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> uniform(0, 1);
  for (unsigned bits : {1u, 2u, 3u, 7u, 8u, 10u, 16u, 23u, 31u, 32u}) {
    const double top = double((std::uint64_t(1) << bits) - 1);
    for (int trial = 0; trial < 20000; ++trial) {
      double p[3] = {uniform(random), uniform(random), uniform(random)};
      if (trial % 4 == 0) p[trial % 3] = 0;             // one zero
      if (trial % 7 == 0) p[0] = p[1] = p[2] = 1.0 / 3;  // ties
      if (trial % 11 == 0) p[0] = 0.5, p[1] = 0, p[2] = 0.5;
      std::uint32_t q[3], expected[3];
      bool rescaled;
      ASSERT_TRUE(quantise_triple(p, bits, q, rescaled));
      reference_quantise(p, bits, expected);
      const double sum = p[0] + p[1] + p[2];
      ASSERT_EQ(std::uint64_t(q[0]) + q[1] + q[2], std::uint64_t(top)) << bits;
      for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(q[i], expected[i]) << bits << " " << p[0] << " " << p[1] << " " << p[2];
        ASSERT_LE(std::fabs(q[i] / top - p[i] / sum), 1 / top + 1e-15);
      }
      EXPECT_EQ(rescaled, std::fabs(sum - 1) > 1 / top);
    }
  }
}

// Missing triples, and the rescaling bound, which random sums never hit.
TEST(bgen, quantise_rules_for_missing_and_the_rescaling_bound) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct { double p[3]; unsigned bits; bool present; std::uint32_t q[3]; bool rescaled; } rows[] = {
      {{0, 0, 0}, 8, false, {}, false},
      {{-0.1, 0.5, 0.6}, 8, false, {}, false},
      {{nan, 0.5, 0.5}, 8, false, {}, false},
      {{inf, 0, 0}, 8, false, {}, false},
      {{0, 0, 2}, 8, true, {0, 0, 255}, true},
      {{0, 0.5, 0.5}, 8, true, {0, 128, 127}, false},
      {{1, 1, 0}, 1, true, {1, 0, 0}, false},  // off by exactly one unit: kept
  };
  for (const auto& r : rows) {
    std::uint32_t q[3] = {9, 9, 9};
    bool rescaled = false;
    EXPECT_EQ(quantise_triple(r.p, r.bits, q, rescaled), r.present) << r.p[0];
    if (!r.present) continue;
    EXPECT_EQ(std::vector<std::uint32_t>(q, q + 3), std::vector<std::uint32_t>(r.q, r.q + 3))
        << r.p[0] << " " << r.p[1] << " " << r.p[2] << " bits " << r.bits;
    EXPECT_EQ(rescaled, r.rescaled) << r.p[0];
  }
}

TEST(bgen, bit_packing_matches_bit_by_bit_packing_for_every_width) {
  std::mt19937_64 random(3);
  for (unsigned bits = 1; bits <= 32; ++bits) {
    for (std::size_t n : {std::size_t(1), std::size_t(7), std::size_t(1000)}) {
      std::vector<std::uint32_t> values(n);
      const std::uint64_t mask = (std::uint64_t(1) << bits) - 1;
      for (auto& v : values) v = static_cast<std::uint32_t>(random() & mask);
      std::vector<unsigned char> expected((n * bits + 7) / 8, 0);
      for (std::size_t i = 0; i < n; ++i)
        for (unsigned b = 0; b < bits; ++b)
          if (values[i] >> b & 1) expected[(i * bits + b) / 8] |= 1 << ((i * bits + b) % 8);
      std::vector<unsigned char> packed(expected.size(), 0xAA);
      pack_bits(values.data(), n, bits, packed.data());
      ASSERT_EQ(packed, expected) << bits << " bits, " << n;
      std::vector<std::uint32_t> back(n);
      unpack_bits(packed.data(), n, bits, back.data());
      ASSERT_EQ(back, values) << bits << " bits, " << n;
    }
  }
}

TEST(bgen, chromosome_codes) {
  for (const char* yes : {"1", "01", "001", "22", "26", "X", "Y", "XY", "MT", "M", "chr1", "chrX",
                          "chr01", "chrMT"})
    EXPECT_TRUE(is_chromosome_code(yes)) << yes;
  for (const char* no : {"", "0", "00", "27", "chr", "x", "1a", "rs1", "chr27", "---", "23a"})
    EXPECT_FALSE(is_chromosome_code(no)) << no;
}

// Random GEN lines: hard calls, uncertain triples, missing ones, unnormalised.
std::vector<std::string> random_gen_lines(std::size_t snps, std::size_t samples,
                                          std::vector<std::vector<double>>& probs) {
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> uniform(0, 1);
  std::vector<std::string> lines;
  probs.clear();
  for (std::size_t k = 0; k < snps; ++k) {
    std::string line = (k % 2 ? "chr" + std::to_string(k % 26 + 1) : "snp" + std::to_string(k)) +
                       " rs" + std::to_string(k) + " " + std::to_string(1000 + k) + " A GT";
    std::vector<double> p;
    for (std::size_t j = 0; j < samples; ++j) {
      double t[3] = {0, 0, 0};
      switch (random() % 4) {
        case 0: t[random() % 3] = 1; break;
        case 1: break;  // missing
        default:
          for (double& x : t) x = uniform(random);
      }
      for (double x : t) {
        char number[32];
        std::snprintf(number, sizeof number, " %.17g", x);
        line += number;
        p.push_back(x);
      }
    }
    lines.push_back(line);
    probs.push_back(p);
  }
  return lines;
}

TEST(bgen, gen_lines_round_trip_for_every_compression_and_width) {
  temp_dir dir;
  std::vector<std::vector<double>> probs;
  const std::vector<std::string> lines = random_gen_lines(40, 37, probs);
  for (bgen_compression compression :
       {bgen_compression::zlib, bgen_compression::zstd, bgen_compression::none}) {
    for (unsigned bits : {8u, 16u, 32u, 3u}) {
      for (unsigned threads : {1u, 3u}) {
        const std::string name = dir / "x.bgen";
        bgen_options options;
        options.compression = compression;
        options.bits = bits;
        options.threads = threads;
        std::vector<std::string> ids;
        for (int j = 0; j < 37; ++j) ids.push_back("s" + std::to_string(j));
        {
          bgen_writer writer(name, options, &ids);
          for (std::size_t k = 0; k < lines.size(); ++k) writer.add_line(lines[k]);
          writer.close();
          EXPECT_EQ(writer.variants(), 40u);
          EXPECT_EQ(writer.without_chromosome(), 20u);
        }
        bgen_line_reader reader(name);
        EXPECT_EQ(reader.samples(), 37u);
        EXPECT_EQ(reader.bgen().sample_ids(), ids);
        EXPECT_EQ(unsigned(reader.bgen().layout().compression), unsigned(compression));
        const double top = double((std::uint64_t(1) << bits) - 1);
        std::string_view line;
        std::size_t k = 0;
        for (; reader.next(line); ++k) {
          ASSERT_LT(k, lines.size());
          field_cursor read(line), written(lines[k]);
          std::string_view a, b;
          for (int f = 0; f < 5; ++f) {
            ASSERT_TRUE(read.next(a) && written.next(b));
            EXPECT_EQ(a, b);
          }
          for (std::size_t j = 0; j < 37; ++j) {
            const double* p = &probs[k][3 * j];
            const double sum = p[0] + p[1] + p[2];
            for (int i = 0; i < 3; ++i) {
              double value;
              ASSERT_TRUE(read.next(a) && parse_double(a, value));
              const double expected = sum == 0 ? 0 : p[i] / sum;
              ASSERT_LE(std::fabs(value - expected), 1 / top) << k << " " << j << " " << bits;
            }
          }
          EXPECT_FALSE(read.next(a));
        }
        EXPECT_EQ(k, lines.size());
      }
    }
  }
}

TEST(bgen, writer_refuses_lines_it_cannot_store_and_leaves_no_file) {
  temp_dir dir;
  struct row {
    const char* line;
    const char* message;
  } rows[] = {
      {"1 rs1 -5 A G 1 0 0", "o.bgen, line 2: position -5 is negative; BGEN stores positions from 0"},
      {"1 rs1 x A G 1 0 0", "o.bgen, line 2: position \"x\" is not a 32-bit integer"},
      {"1 rs1 5 A G 1 0", "o.bgen, line 2: 2 probabilities; 1 samples need 3"},
      {"1 rs1 5 A G 1 0 z", "o.bgen, line 2: probability \"z\" is not a number"},
      {"1 rs1 5 A G 1 0.5x 0", "o.bgen, line 2: probability \"0.5x\" is not a number"},
  };
  for (const row& r : rows) {
    EXPECT_EQ(error_of([&] {
                bgen_writer writer(dir / "o.bgen", bgen_options(), nullptr);
                writer.add_line("1 rs0 1 A G 0 1 0");
                writer.add_line(r.line);
                writer.close();
              }),
              dir / r.message);
    EXPECT_FALSE(testing::exists(dir / "o.bgen"));
  }
}

}  // namespace
}  // namespace varnex
