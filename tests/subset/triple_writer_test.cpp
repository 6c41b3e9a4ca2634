#include "subset/triple_writer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "formats/text.hpp"
#include "temp_dir.hpp"

namespace varnex {
namespace {

using varnex::testing::written;

// The plain reading: field k belongs to sample k / 3, each field parsed on
// its own (0 when it is not a number, or missing), kept values written with
// put_fixed4 and a space.
std::string plainly(std::string_view line, const std::vector<char>& keep, std::vector<double>& values) {
  values.clear();
  return written([&](output_file& out) {
    field_cursor cursor(line);
    std::string_view field;
    for (char k : keep)
      for (int v = 0; v < 3; ++v) {
        double x = 0;
        if (cursor.next(field)) parse_double_prefix(field, x);
        values.push_back(x);
        if (k) {
          out.put_fixed4(x);
          out.put(' ');
        }
      }
  });
}

// Random lines of values near the four-decimal rounding points, hard calls,
// non-numbers and any white space, some of them long enough to cross many
// 64-byte blocks, some short or long by a few fields.
TEST(PutTriples, AgreeWithReadingEachFieldPlainly) {
  std::mt19937 random(9);
  const char* values[] = {"0", "1", "0.012345", "0.5", "0.99996", "1.0", "abc", "1e-3", "0.03125", "0.129",
                          "-0", "12.5", ".25", "0.5x", "0.333333333", "0.00005", "999.99995", "+1", ""};
  const char* gaps[] = {" ", " ", " ", "  ", "\t", " \r"};
  std::vector<double> want, got;
  for (int round = 0; round < 600; ++round) {
    const std::size_t n = round % 30 == 0 ? 700 : random() % 40;
    const std::size_t fields = 3 * n + random() % 7 - std::min<std::size_t>(3 * n, random() % 7);
    std::string line;
    for (std::size_t f = 0; f < fields; ++f) {
      line += gaps[random() % (round % 2 ? 6 : 1)];
      if (random() % 4 == 0) {
        line += std::to_string(random() % 2) + "." + std::to_string(random() % 1000000);
        continue;
      }
      const char* v = values[random() % (random() % 2 ? 2 : 18)];
      line += v;
    }
    if (random() % 2) line += gaps[random() % 6];
    std::vector<char> keep(n, 1);
    ASSERT_EQ(written([&](output_file& out) { put_all_triples(out, line, n); }), plainly(line, keep, want))
        << line;
    for (char& k : keep) k = random() % 2;
    ASSERT_EQ(written([&](output_file& out) { put_kept_triples(out, line, keep); }), plainly(line, keep, want))
        << line;
    got.assign(3 * n, 7.0);
    read_probabilities(line, got);
    ASSERT_EQ(got, want) << line;
  }
}

}  // namespace
}  // namespace varnex
