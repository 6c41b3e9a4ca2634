#include "merge/line_feed.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "driver/log.hpp"
#include "formats/streams.hpp"
#include "merge/positions.hpp"
#include "merge/samples.hpp"
#include "temp_dir.hpp"

namespace varnex {
namespace {

using testing::read_file;
using testing::temp_dir;
using testing::write_file;

// The triples of input g at position pos: 40 individuals, lines of about
// 500 bytes, so that two inputs of 6,000 lines fill more than one batch.
std::string probabilities(int g, int pos) {
  static const char* triples[] = {"1 0 0", "0 1 0", "0 0 1", "0.25 0.5 0.25", "0 0 0", "0.9 0.1 0"};
  std::string text;
  for (int s = 0; s < 40; ++s) {
    if (s) text += ' ';
    text += triples[(pos / 10 + 7 * s + g) % 6];
  }
  return text;
}

struct merge_inputs {
  temp_dir dir;
  std::vector<std::string> gen_files, sample_files;
  merge_inputs() {
    for (int g = 0; g < 2; ++g) {
      std::string gen, sample = "ID_1 ID_2 missing\n0 0 0\n";
      for (int s = 0; s < 40; ++s) sample += "f" + std::to_string(s) + " i" + std::to_string(s + 20 * g) + " 0\n";
      // Input 1 starts half-way through input 0, so half the positions are
      // shared; every 1,000th position of input 0 gets alleles that differ.
      for (int i = 0; i < 6000; ++i) {
        const int pos = 100000 + 10 * (i + 3000 * g);
        const char* alleles = g == 0 && i % 1000 == 999 ? "A C" : "A G";
        gen += "SNP rs" + std::to_string(pos) + " " + std::to_string(pos) + " " + alleles + " " +
               probabilities(g, pos) + "\n";
      }
      gen_files.push_back(dir / ("in" + std::to_string(g) + ".gen"));
      sample_files.push_back(dir / ("in" + std::to_string(g) + ".sample"));
      write_file(gen_files.back(), gen);
      write_file(sample_files.back(), sample);
    }
  }
};

// Reads every position the way the merge does, running `between` after the
// first pass; every line handed over must be the one written. Returns the
// number of positions read and, after a read error, its message and position.
std::size_t feed_all(const merge_inputs& in, const std::function<void()>& between, std::string& message,
                     std::int32_t& failed_pos) {
  tee log;
  sample_union samples;
  samples.organise(in.sample_files, log);
  position_index index;
  spill_file spill(in.dir.path());
  std::vector<std::unique_ptr<input_file>> inputs;
  for (std::uint32_t g = 0; g < 2; ++g) {
    inputs.push_back(std::make_unique<input_file>(in.gen_files[g], compression::by_content));
    line_reader reader(*inputs[g]);
    index.add_input(g, reader, false, 40, in.sample_files[g], spill, log, {[] {}, nullptr});
  }
  spill.finish();
  between();
  std::vector<position_entry> entries = index.take_sorted_entries();
  line_feed feed(entries, index, inputs, spill, {}, samples, true);
  std::size_t read = 0;
  for (std::size_t i = 0, end; i < entries.size(); i = end) {
    for (end = i; end < entries.size() && entries[end].pos == entries[i].pos;) ++end;
    if (index.bad(entries[i].slot)) continue;
    const fed_line* lines;
    try {
      lines = feed.position(i);
    } catch (const run_failure& e) {
      message = e.what();
      failed_pos = entries[i].pos;
      return read;
    }
    for (std::size_t t = 0; t < end - i; ++t) {
      const position_entry& e = entries[i + t];
      EXPECT_EQ(lines[t].probabilities, " " + probabilities(static_cast<int>(e.input), e.pos));
      EXPECT_TRUE(lines[t].split);
      EXPECT_EQ(lines[t].triples->triples(), 40u);
    }
    ++read;
  }
  return read;
}

TEST(LineFeed, EveryPositionInOrderAcrossBatchesUnlessTheInputChanged) {
  merge_inputs in;
  std::string message;
  std::int32_t failed_pos = -1;
  // 9,000 positions, 3 of them with alleles that differ (never read).
  EXPECT_EQ(feed_all(in, [] {}, message, failed_pos), 8997u);
  EXPECT_EQ(message, "");
  // A line that is no longer what the first pass saw stops the merge exactly
  // at its position; everything before it is handed over whole. Position
  // 170000 (line 4,000 of input 1) becomes 170001: same length.
  auto change = [&] {
    std::string text = read_file(in.gen_files[1]);
    const std::size_t at = text.find(" 170000 ");
    ASSERT_NE(at, std::string::npos);
    text[at + 6] = '1';
    write_file(in.gen_files[1], text);
  };
  // Positions 100000 to 169990, less the three whose alleles differ.
  EXPECT_EQ(feed_all(in, change, message, failed_pos), 7000u - 3u);
  EXPECT_EQ(message, "Can't read " + in.gen_files[1] + ": it changed during the merge");
  EXPECT_EQ(failed_pos, 170000);
}

}  // namespace
}  // namespace varnex
