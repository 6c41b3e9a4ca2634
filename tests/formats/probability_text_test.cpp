#include "formats/probability_text.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "formats/text.hpp"
#include "temp_dir.hpp"

namespace varnex {
namespace {

using varnex::testing::written;

// The fast reader against parse_double_prefix: same end, same bits. Texts of
// digits with points, signs, exponents and stray letters, and decimals of up
// to 17 digits, where the one-division path ends.
TEST(ReadProbability, AgreesWithTheGeneralParser) {
  std::mt19937_64 random(7);
  const std::string alphabet = "0123456789000111..+-eEx";
  for (int i = 0; i < 400000; ++i) {
    std::string field;
    if (i % 2) {
      field = std::to_string(random() % 3 == 0 ? static_cast<int>(random() % 100) : 0);
      const int decimals = static_cast<int>(random() % 18);
      if (decimals) field += '.';
      for (int d = 0; d < decimals; ++d) field += static_cast<char>('0' + random() % 10);
    } else {
      field.resize(random() % 22);
      for (char& c : field) c = alphabet[random() % alphabet.size()];
    }
    double slow = -123.0, fast = -123.0;
    const std::size_t slow_used = parse_double_prefix(field, slow);
    const char* end = read_probability(field.data(), field.data() + field.size(), fast);
    ASSERT_EQ(static_cast<std::size_t>(end - field.data()), slow_used) << field;
    ASSERT_EQ(std::memcmp(&fast, &slow, sizeof fast), 0) << field << " " << fast << " " << slow;
  }
}

// The word-at-a-time reader of the common forms "d" and "d.ddd".
TEST(ReadShortDecimal, ReadsLikeTheGeneralReader) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 200000; ++i) {
    std::string token(1, static_cast<char>('0' + random() % 10));
    const int decimals = static_cast<int>(random() % 7);
    if (decimals) token += '.';
    for (int c = 0; c < decimals; ++c) token += static_cast<char>('0' + random() % 10);
    const std::string padded = token + "        ";
    double fast = read_short_decimal(padded.data(), token.size()), slow = -1;
    read_probability(token.data(), token.data() + token.size(), slow);
    ASSERT_EQ(std::memcmp(&fast, &slow, sizeof fast), 0) << token;
  }
}

// What fixed4_field writes for a whole field; false when it leaves the field
// to the caller. Followed by more of the line (the word-at-a-time path reads
// ahead), the field gives the same.
bool fast(const std::string& f, std::string& result) {
  char buffer[fixed4_text_max];
  char* o = buffer;
  const char* const f_end = f.data() + f.size();
  const bool done = !f.empty() && fixed4_field(f.data(), f_end, o) == f_end;
  result.assign(buffer, done ? o - buffer : 0);
  const std::string line = f + " 0.25 1 0";
  char* o2 = buffer;
  const char* end = fixed4_field(line.data(), line.data() + line.size(), o2);
  EXPECT_EQ(end, done ? line.data() + f.size() : nullptr) << f;
  if (done) {
    EXPECT_EQ(std::string(buffer, o2 - buffer), result) << f;
  }
  return done;
}

TEST(Fixed4FromText, AgreesWithFormattingTheDouble) {
  std::mt19937_64 rng(7);
  std::vector<std::string> fields;
  for (int i = 0; i < 200000; ++i) {
    std::string f;
    int whole = static_cast<int>(rng() % 4), frac = static_cast<int>(rng() % 13);
    for (int d = 0; d < whole; ++d) f += static_cast<char>('0' + rng() % 10);
    if (frac > 0 || rng() % 2) f += '.';
    // Mostly digits near the rounding points: runs of 9s, 0s and 5s.
    for (int d = 0; d < frac; ++d) {
      int kind = static_cast<int>(rng() % 4);
      f += kind == 0 ? '9' : kind == 1 ? '0' : kind == 2 ? '5' : static_cast<char>('0' + rng() % 10);
    }
    fields.push_back(f.empty() || f == "." ? "0" : f);
  }
  // The reference: each field parsed as a double, then put_fixed4.
  const std::string slow = written([&](output_file& out) {
    for (const std::string& f : fields) {
      double v = 0;
      parse_double_prefix(f, v);
      out.put_fixed4(v);
      out.put('\n');
    }
  });
  std::size_t at = 0, handled = 0;
  for (const std::string& f : fields) {
    const std::size_t nl = slow.find('\n', at);
    const std::string want = slow.substr(at, nl - at);
    at = nl + 1;
    std::string got;
    if (!fast(f, got)) continue;
    ++handled;
    ASSERT_EQ(got, want) << f;
  }
  EXPECT_GT(handled, fields.size() / 2);
}

}  // namespace
}  // namespace varnex
