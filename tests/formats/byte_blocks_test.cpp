#include "formats/byte_blocks.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "formats/text.hpp"

namespace varnex {
namespace {

bool operator==(const block_masks& a, const block_masks& b) {
  return a.space == b.space && a.blank == b.blank && a.dot == b.dot && a.zero == b.zero && a.digit == b.digit;
}

#if VARNEX_WIDE_BLOCKS
template <unsigned classes>
[[gnu::target("avx2")]] block_masks wide(const char* p) {
  return scan_block_wide<classes>(p);
}
#endif

// Every class set, in both widths, against the byte-at-a-time reference, on
// blocks of bytes near each class boundary and of any value.
template <unsigned classes>
void check_blocks(std::mt19937& random) {
  const std::string near = " \t\n\v\f\r\x08\x0e\x1f!./019:\x7f\x80\xff";
  char block[64];
  for (int round = 0; round < 3000; ++round) {
    for (char& c : block) c = round % 2 ? near[random() % near.size()] : static_cast<char>(random());
    const block_masks want = scan_block_bytewise(block, classes);
    ASSERT_TRUE(scan_block<classes>(block) == want) << classes << " " << round;
#if VARNEX_WIDE_BLOCKS
    if (wide_blocks) {
      ASSERT_TRUE(wide<classes>(block) == want) << classes << " " << round;
    }
#endif
  }
}

TEST(ScanBlock, AgreesWithTheBytewiseReference) {
  std::mt19937 random(17);
  check_blocks<class_blank>(random);
  check_blocks<class_space | class_blank>(random);
  check_blocks<class_space | class_dot | class_zero | class_digit>(random);
  check_blocks<class_space | class_blank | class_dot | class_zero | class_digit>(random);
}

TEST(FieldStarts, FindsTheSameFieldsAsTheCursor) {
  std::mt19937 rng(3);
  const char alphabet[] = " \t\r\v\f\n0.1a\x80\x01";
  for (int round = 0; round < 2000; ++round) {
    std::string line;
    std::size_t length = rng() % 300;
    for (std::size_t i = 0; i < length; ++i) line += alphabet[rng() % (sizeof alphabet - 1)];
    std::vector<std::size_t> expected, actual;
    field_cursor cursor(line);
    std::string_view f;
    while (cursor.next(f)) expected.push_back(f.data() - line.data());
    field_starts starts(line);
    const char* p;
    while (starts.next(p)) actual.push_back(p - line.data());
    ASSERT_EQ(actual, expected) << line;
  }
}

}  // namespace
}  // namespace varnex
