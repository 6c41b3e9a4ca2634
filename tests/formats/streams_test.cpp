#include "formats/streams.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "temp_dir.hpp"

namespace varnex {
namespace {

using testing::error_of;
using testing::exists;
using testing::error_under_size_limit;
using testing::gunzip_all;
using testing::gzip_bytes;
using testing::read_file;
using testing::temp_dir;
using testing::write_file;

using lines = std::vector<std::string>;

template <typename Reader>
lines all_lines(Reader& reader) {
  lines out;
  std::string_view line;
  while (reader.next(line)) out.emplace_back(line);
  return out;
}
lines chain_lines(const std::string& name, bool compressed) {
  input_file in(name, compressed);
  line_reader reader(in);
  return all_lines(reader);
}
lines gz_lines(const std::string& name) {
  input_file in(name, compression::by_content);
  line_reader reader(in);
  return all_lines(reader);
}

// Lines of every length around the 1 MiB block size, and lines of several
// megabytes, plain and through the gzip chain.
TEST(LineReader, LongLinesAcrossBlocks) {
  temp_dir dir;
  const std::size_t mib = 1 << 20;
  std::vector<std::size_t> sizes = {mib - 2, 1, mib - 1, 0, mib, mib + 1, 7, 2 * mib + 3,
                                    5 * mib / 2, 3, 6 * mib + 11};
  std::string text;
  lines expected;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    std::string line(sizes[i], static_cast<char>('a' + i));
    if (!line.empty()) line.front() = '<', line.back() = '>';
    expected.push_back(line);
    text += line + "\n";
  }
  text += "tail without newline";
  expected.push_back("tail without newline");
  write_file(dir / "long.gen", text);
  write_file(dir / "long.gen.gz", gzip_bytes(text));
  EXPECT_TRUE(chain_lines(dir / "long.gen", false) == expected);
  EXPECT_TRUE(chain_lines(dir / "long.gen.gz", true) == expected);
  EXPECT_TRUE(gz_lines(dir / "long.gen.gz") == expected);
  EXPECT_TRUE(gz_lines(dir / "long.gen") == expected);
}

TEST(LineReader, GzipThroughTheChainMultiMember) {
  temp_dir dir;
  write_file(dir / "a.gen.gz", gzip_bytes("SNP1 rs1 100 A G 1 0 0\nSNP2 rs2 200 C T 0 1 0\n"));
  EXPECT_EQ(chain_lines(dir / "a.gen.gz", true), (lines{"SNP1 rs1 100 A G 1 0 0", "SNP2 rs2 200 C T 0 1 0"}));
  // Without decompression the chain hands out the raw bytes.
  EXPECT_NE(chain_lines(dir / "a.gen.gz", false).front().substr(0, 2), "SN");
  write_file(dir / "m.gz", gzip_bytes("one\ntwo\n") + gzip_bytes("three\n") + gzip_bytes("four"));
  EXPECT_EQ(chain_lines(dir / "m.gz", true), (lines{"one", "two", "three", "four"}));
  EXPECT_EQ(gz_lines(dir / "m.gz"), (lines{"one", "two", "three", "four"}));
}

// Gzip input read by one thread, or inflated ahead by a thread of its own,
// chosen by name (the chain) or by content (zlib), through reads and buffers
// of random sizes: the whole text; for damaged data (cut, overwritten,
// followed by text, plain text, empty) the same failure, and before a cut
// only true text; a reader stopped early or sent back to the start stops its
// thread.
TEST(InputFile, InflatingAheadReadsAsOneThread) {
  temp_dir dir;
  std::mt19937 rng(14);
  auto below = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
  std::string text;
  while (text.size() < (2 << 20)) {
    for (std::size_t i = below(3000); i > 0; --i) text += below(6) ? char('0' + below(3)) : ' ';
    text += '\n';
  }
  const std::string gz = gzip_bytes(text.substr(0, 70000)) + gzip_bytes(text.substr(70000));
  struct outcome {
    std::string error, text;
  };
  auto read_all = [&](const std::string& name, compression policy, int threads) {
    outcome o;
    o.error = error_of([&] {
      stream_options options;
      options.threads = threads;
      input_file in(name, policy, options, 1024 + below(64 << 10));
      std::vector<char> buffer(1 << 20);
      for (std::size_t n; (n = in.read(buffer.data(), 1 + below(buffer.size()))) > 0;)
        o.text.append(buffer.data(), n);
    });
    return o;
  };
  const std::string name = dir / "in.gen.gz";
  for (int trial = 0; trial < 16; ++trial) {
    std::string damaged = gz;
    if (trial == 1) damaged.resize(below(gz.size()));
    if (trial == 2) damaged += "trailing text\n";
    if (trial == 3) damaged = text;
    if (trial == 4) damaged.clear();
    if (trial > 4 && trial % 2) damaged.resize(below(gz.size()));
    if (trial > 4 && trial % 2 == 0)
      for (std::size_t at = 10 + below(gz.size() - 40), i = 0; i < 16; ++i) damaged[at + i] = char(rng());
    SCOPED_TRACE(trial);
    write_file(name, damaged);
    for (compression policy : {compression::gzip, compression::by_content}) {
      const outcome one = read_all(name, policy, 1), ahead = read_all(name, policy, 2);
      EXPECT_EQ(ahead.error, one.error);
      const bool whole = trial == 0 || (trial == 3 && policy == compression::by_content);
      const bool empty = trial == 4 && policy == compression::by_content;  // plain, empty
      EXPECT_EQ(one.error, whole || empty ? "" : "Can't read " + name);
      if (whole) {
        EXPECT_TRUE(ahead.text == text);
      } else if (trial == 1 || trial == 2 || (trial > 4 && trial % 2)) {
        // Before a cut (or trailing text) only true text.
        EXPECT_TRUE(text.compare(0, ahead.text.size(), ahead.text) == 0);
      }
    }
  }

  // Left after a few lines, or sent back to the start while the thread waits.
  write_file(name, gz);
  stream_options two;
  two.threads = 2;
  for (int i = 0; i < 20; ++i) {
    input_file in(name, i % 2 ? compression::gzip : compression::by_content, two, 4096);
    line_reader lines(in, 1 + below(1 << 16));
    std::string_view line;
    for (std::size_t n = below(50); n > 0 && lines.next(line);) --n;
    if (i % 4 < 2) continue;
    in.rest(1024 + below(1 << 16));
    std::string again(text.size() + 1, '\0');
    std::size_t got = 0;
    for (std::size_t n; (n = in.read(again.data() + got, again.size() - got)) > 0;) got += n;
    EXPECT_TRUE(again.substr(0, got) == text);
  }
}

// Every write to /dev/full fails: small outputs (still in the buffers at
// close), large ones, plain and compressed.
TEST(OutputFile, FailedWritesAreReported) {
  for (bool compressed : {false, true}) {
    for (std::size_t size : {std::size_t{0}, std::size_t{10}, std::size_t{5} << 20}) {
      SCOPED_TRACE(std::to_string(compressed) + " " + std::to_string(size));
      std::string message = error_of([&] {
        output_file out("/dev/full", compressed);
        std::string chunk(1000, 'x');
        for (std::size_t done = 0; done < size; done += chunk.size()) out.put(chunk);
        out.close();
      });
      if (size == 0 && !compressed)
        EXPECT_EQ(message, "");  // nothing to write, nothing fails
      else
        EXPECT_EQ(message, "Can't write /dev/full");
    }
  }
}

// Blocks after the first are written by the file's own thread: they must
// arrive in order, and a failure there must still be reported.
TEST(OutputFile, ManyBlocksInOrderAndLateFailures) {
  temp_dir dir;
  std::string expected;
  for (bool compressed : {false, true}) {
    const std::string name = dir / (compressed ? "many.gz" : "many");
    output_file out(name, compressed);
    expected.clear();
    for (int i = 0; i < 400000; ++i) {
      std::string line = std::to_string(i) + "\n";
      expected += line;
      out.put(line);
    }
    out.close();
    EXPECT_EQ(compressed ? gunzip_all(read_file(name)) : read_file(name), expected);
  }

  // Past 1 MiB every write fails: the first block goes through, a later one fails.
  std::string message = error_under_size_limit(1 << 20, [&] {
    output_file out(dir / "limited", false);
    for (int i = 0; i < 400000; ++i) out.put(std::to_string(i) + "\n");
    out.close();
  });
  EXPECT_EQ(message, "Can't write " + (dir / "limited"));
  EXPECT_FALSE(exists(dir / "limited"));
}

TEST(OutputFile, RemovedWhenNotClosed) {
  temp_dir dir;
  {
    output_file out(dir / "partial.gen", false);
    out.put("half a line");
  }
  EXPECT_FALSE(exists(dir / "partial.gen"));
  {
    output_file out(dir / "partial.gen.gz", true);
    out.put(std::string(3 << 20, 'y'));
  }
  EXPECT_FALSE(exists(dir / "partial.gen.gz"));
  try {
    output_file out(dir / "thrown", false);
    out.put("x");
    throw run_failure("Can't read input");
  } catch (const run_failure&) {
  }
  EXPECT_FALSE(exists(dir / "thrown"));
}

}  // namespace
}  // namespace varnex
