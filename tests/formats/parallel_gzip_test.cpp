// Gzip output on several threads and BGZF input and output, against zlib as
// the plain reference.
#include <gtest/gtest.h>

#include <boost/iostreams/filter/gzip.hpp>
#include <boost/iostreams/filtering_stream.hpp>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "formats/streams.hpp"
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

// GEN-like lines: mostly certain calls, some decimals, a few missing.
std::string gen_text(std::size_t bytes, unsigned seed) {
  std::mt19937 rng(seed);
  const char* calls[] = {" 1 0 0", " 0 1 0", " 0 0 1", " 0 0 0"};
  std::string text;
  for (int snp = 0; text.size() < bytes; ++snp) {
    text += "22 rs" + std::to_string(10000 + snp) + " " + std::to_string(10000 + snp) + " A G";
    for (int s = 0; s < 300; ++s) {
      unsigned r = rng() % 100;
      if (r < 12) {
        unsigned a = rng() % 1000, b = rng() % (1001 - a);
        text += " 0." + std::to_string(1000 + a).substr(1) + " 0." + std::to_string(1000 + b).substr(1) +
                " 0." + std::to_string(2000 - a - b).substr(1);
      } else {
        text += calls[r < 13 ? 3 : r % 3];
      }
    }
    text += '\n';
  }
  text.resize(bytes);
  return text;
}

// Writes `text` in uneven pieces, as the modes do.
void write_text(const std::string& name, const std::string& text, const stream_options& options) {
  output_file out(name, true, options);
  std::mt19937 rng(7);
  for (std::size_t at = 0; at < text.size();) {
    std::size_t n = std::min<std::size_t>(text.size() - at, rng() % 300000);
    out.put(std::string_view(text).substr(at, n));
    at += n;
  }
  out.close();
}

std::string read_text(const std::string& name, int threads) {
  input_file in(name, true, {threads, false});
  std::string text;
  std::vector<char> chunk(100000);
  while (std::size_t n = in.read(chunk.data(), chunk.size())) text.append(chunk.data(), n);
  return text;
}

std::uint32_t le16(const std::string& s, std::size_t at) {
  return static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8;
}

// Start of every block of a BGZF file, checked for the format on the way.
std::vector<std::size_t> bgzf_blocks(const std::string& data) {
  std::vector<std::size_t> starts;
  for (std::size_t at = 0; at < data.size();) {
    EXPECT_EQ(data.substr(at, 4), std::string("\x1f\x8b\x08\x04", 4));
    EXPECT_EQ(data.substr(at + 12, 4), std::string("BC\x02\x00", 4));
    std::size_t size = le16(data, at + 16) + 1;
    std::size_t text = le16(data, at + size - 4) | le16(data, at + size - 2) << 16;
    EXPECT_LE(text, 65280u);
    starts.push_back(at);
    at += size;
  }
  return starts;
}

TEST(ParallelGzip, SameTextAsOneThreadAndSizeOfGzip6) {
  temp_dir dir;
  const std::string big = gen_text(3 << 20, 1);
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{131071}, std::size_t{131072},
                           std::size_t{131073}, big.size()}) {
    const std::string text = big.substr(0, size);
    for (int threads : {2, 5}) {
      SCOPED_TRACE(std::to_string(size) + " bytes, threads " + std::to_string(threads));
      write_text(dir / "out.gz", text, {threads, false});
      const std::string data = read_file(dir / "out.gz");
      int members = 0;
      EXPECT_EQ(gunzip_all(data, &members), text);
      EXPECT_EQ(members, 1);
      // The header a one-thread run writes: no name, no comment, mtime 0.
      EXPECT_EQ(data.substr(0, 10), std::string("\x1f\x8b\x08\0\0\0\0\0\0\xff", 10));
      if (size == big.size()) {
        EXPECT_LT(data.size(), gzip_bytes(text).size() * 1.01);
      }
      EXPECT_EQ(read_text(dir / "out.gz", threads), text);
    }
  }
}

// One thread keeps the single-stream compressor's bytes exactly.
TEST(ParallelGzip, OneThreadWritesTheStreamCompressorsBytes) {
  temp_dir dir;
  const std::string text = gen_text(1 << 20, 2);
  write_text(dir / "one.gz", text, {1, false});
  namespace io = boost::iostreams;
  io::gzip_params params(io::zlib::default_compression);
  params.mtime = 0;
  std::ostringstream expected;
  {
    io::filtering_ostream chain;
    chain.push(io::gzip_compressor(params));
    chain.push(expected);
    chain << text;
  }
  EXPECT_EQ(read_file(dir / "one.gz"), expected.str());
}

TEST(Bgzf, BlocksReadByAnyGzipReaderAndInParallel) {
  temp_dir dir;
  const std::string big = gen_text(3 << 20, 3);
  for (std::size_t size : {std::size_t{0}, std::size_t{65280}, std::size_t{65281}, big.size()}) {
    const std::string text = big.substr(0, size);
    for (int threads : {1, 3}) {
      SCOPED_TRACE(std::to_string(size) + " bytes, threads " + std::to_string(threads));
      write_text(dir / "out.gz", text, {threads, true});
      const std::string data = read_file(dir / "out.gz");
      std::vector<std::size_t> blocks = bgzf_blocks(data);
      ASSERT_FALSE(blocks.empty());
      EXPECT_EQ(data.substr(blocks.back()), std::string("\x1f\x8b\x08\x04\0\0\0\0\0\xff\x06\0BC\x02\0\x1b\0\x03\0\0\0\0\0\0\0\0\0", 28));
      EXPECT_EQ(blocks.size(), (size + 65279) / 65280 + 1);
      EXPECT_EQ(gunzip_all(data), text);
      if (size == big.size()) {
        EXPECT_LT(data.size(), gzip_bytes(text).size() * 1.06);
      }
      for (int readers : {1, 4}) {
        const std::uint64_t before = read_so_far().bytes_read;
        EXPECT_EQ(read_text(dir / "out.gz", readers), text);
        EXPECT_EQ(read_so_far().bytes_read - before, data.size());  // the progress line's count
      }
    }
  }
  // Incompressible text still fits its blocks (stored).
  std::mt19937 rng(4);
  std::string noise(200000, '\0');
  for (char& c : noise) c = static_cast<char>(rng());
  write_text(dir / "noise.gz", noise, {2, true});
  EXPECT_EQ(bgzf_blocks(read_file(dir / "noise.gz")).size(), 5u);
  EXPECT_EQ(read_text(dir / "noise.gz", 2), noise);
  // An ordinary gzip member after the blocks is read on.
  write_text(dir / "tail.gz", "more\n", {2, false});
  write_file(dir / "both.gz", read_file(dir / "noise.gz") + read_file(dir / "tail.gz"));
  EXPECT_EQ(read_text(dir / "both.gz", 3), noise + "more\n");
}

TEST(Bgzf, DamagedBlocksBadCrcsAndTruncationAreReadErrors) {
  temp_dir dir;
  const std::string text = gen_text(1 << 20, 5);
  write_text(dir / "good.gz", text, {2, true});
  const std::string good = read_file(dir / "good.gz");
  const std::vector<std::size_t> blocks = bgzf_blocks(good);
  const std::size_t third = blocks[3], fourth = blocks[4];
  std::string flipped = good, bad_crc = good;
  flipped[third + 40] ^= 0x55;
  bad_crc[fourth - 8] ^= 1;
  std::string garbage = good.substr(0, fourth) + "not gzip";
  for (const std::string& damaged : {flipped, bad_crc, good.substr(0, fourth - 3), garbage}) {
    for (int threads : {1, 3}) {
      write_file(dir / "bad.gz", damaged);
      EXPECT_EQ(error_of([&] { read_text(dir / "bad.gz", threads); }), "Can't read " + (dir / "bad.gz"));
    }
  }
}

// A write error in any block is reported, and the output is removed.
TEST(ParallelGzip, FailedWritesAreReported) {
  for (bool bgzf : {false, true}) {
    for (std::size_t size : {std::size_t{0}, std::size_t{5} << 20}) {
      std::string message = error_of([&] {
        output_file out("/dev/full", true, {3, bgzf});
        out.put(std::string(size, 'x'));
        out.close();
      });
      EXPECT_EQ(message, "Can't write /dev/full");
    }
  }
  temp_dir dir;
  const std::string text = gen_text(8 << 20, 6);
  for (bool bgzf : {false, true})
    EXPECT_EQ(error_under_size_limit(200000, [&] { write_text(dir / "limited.gz", text, {4, bgzf}); }),
              "Can't write " + (dir / "limited.gz"));
  EXPECT_FALSE(exists(dir / "limited.gz"));
  {
    output_file out(dir / "partial.gz", true, {4, true});
    out.put(text);
  }
  EXPECT_FALSE(exists(dir / "partial.gz"));
}

}  // namespace
}  // namespace varnex
