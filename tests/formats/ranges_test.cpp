#include "formats/ranges.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "formats/streams.hpp"
#include "temp_dir.hpp"

namespace varnex {
namespace {

using testing::temp_dir;
using testing::write_file;

// 40,000 lines of 30 to 90 bytes, each ending in a line feed; the ranges are
// the lines without it.
struct lines_file {
  temp_dir dir;
  std::string text;
  std::vector<std::pair<std::uint64_t, std::size_t>> lines;
  int fd = -1;
  lines_file() {
    std::mt19937 random(7);
    for (int i = 0; i < 40000; ++i) {
      std::string line = "SNP" + std::to_string(i) + std::string(20 + random() % 60, 'x');
      lines.emplace_back(text.size(), line.size());
      text += line + "\n";
    }
    write_file(dir / "in.gen", text);
    fd = ::open((dir / "in.gen").c_str(), O_RDONLY);
  }
  ~lines_file() { ::close(fd); }
};

// Reads the lines in the order given; every range must be the file's bytes.
range_reader read_in_order(const lines_file& f, const std::vector<std::size_t>& order) {
  range_reader reader(f.fd, "in.gen");
  for (std::size_t i : order) {
    auto [offset, length] = f.lines[i];
    EXPECT_EQ(reader.get(offset, length), std::string_view(f.text).substr(offset, length)) << i;
  }
  return reader;
}

// Read at random offsets, a range costs about itself; in file order the reads
// grow into large blocks, never more than twice what was returned.
TEST(RangeReader, RandomOrderReadsAboutTheLinesInOrderReadsInBlocks) {
  lines_file f;
  std::vector<std::size_t> order(f.lines.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  range_reader all = read_in_order(f, order);
  EXPECT_LE(all.bytes_read(), f.text.size() + (1u << 20));
  // A range beyond the end of the file is a read error.
  EXPECT_THROW(all.get(f.text.size() - 5, 10), run_failure);

  // Every other line, as a merge skips lines.
  std::vector<std::size_t> every_other;
  for (std::size_t i = 0; i < order.size(); i += 2) every_other.push_back(i);
  range_reader forward = read_in_order(f, every_other);
  EXPECT_LE(forward.bytes_read(), 2 * forward.bytes_returned());

  std::shuffle(order.begin(), order.end(), std::mt19937(11));
  range_reader shuffled = read_in_order(f, order);
  EXPECT_EQ(shuffled.bytes_returned(), f.text.size() - f.lines.size());
  EXPECT_LE(shuffled.bytes_read(), shuffled.bytes_returned() * 11 / 10);
  // Between jumps the reader keeps about one line, not a block.
  EXPECT_LE(shuffled.buffer_capacity(), 64u << 10);

  // Runs of a few neighbouring lines at random places.
  std::vector<std::size_t> runs;
  std::mt19937 random(3);
  while (runs.size() < 40000) {
    std::size_t start = random() % (order.size() - 8), n = 1 + random() % 8;
    for (std::size_t i = start; i < start + n; ++i) runs.push_back(i);
  }
  range_reader bursts = read_in_order(f, runs);
  EXPECT_LE(bursts.bytes_read(), 2 * bursts.bytes_returned());
}

}  // namespace
}  // namespace varnex
