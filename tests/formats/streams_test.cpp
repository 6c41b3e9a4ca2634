#include "formats/streams.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <csignal>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "temp_dir.hpp"

namespace varnex {
namespace {

using testing::exists;
using testing::read_file;
using testing::temp_dir;
using testing::write_file;

// One gzip member holding `text`, made by zlib directly.
std::string gzip_bytes(const std::string& text) {
  z_stream s{};
  EXPECT_EQ(deflateInit2(&s, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&s, text.size()) + 64, '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  s.avail_in = static_cast<uInt>(text.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

std::string gunzip_bytes(const std::string& data) {
  z_stream s{};
  EXPECT_EQ(inflateInit2(&s, 15 + 32), Z_OK);
  std::string out;
  char chunk[65536];
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  s.avail_in = static_cast<uInt>(data.size());
  int r;
  do {
    s.next_out = reinterpret_cast<Bytef*>(chunk);
    s.avail_out = sizeof chunk;
    r = inflate(&s, Z_NO_FLUSH);
    out.append(chunk, sizeof chunk - s.avail_out);
  } while (r == Z_OK);
  EXPECT_EQ(r, Z_STREAM_END);
  inflateEnd(&s);
  return out;
}

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
  gz_line_reader reader(name);
  return all_lines(reader);
}

// The message of the io_error that `f` throws ("" when it throws none).
template <typename F>
std::string error_of(F f) {
  try {
    f();
  } catch (const io_error& e) {
    return e.what();
  }
  return "";
}

TEST(GzName, SubstringAnywhereCaseSensitive) {
  for (const char* name : {"chr1.gen.gz", "a.gz.gen", "x.gzip", "out.gz.tmp", ".gz", "dir.gz/plain.gen"})
    EXPECT_TRUE(is_gz_name(name)) << name;
  for (const char* name : {"a.GZ", "a.Gz", "agz", "a.g.z", "a.tgz", ""}) EXPECT_FALSE(is_gz_name(name)) << name;
}

TEST(TaggedName, TagGoesBeforeFirstGz) {
  for (auto [name, tag, tagged] : std::vector<std::tuple<const char*, const char*, const char*>>{
           {"data/chr1.gen", ".subset", "data/chr1.gen.subset"}, {"data/chr1.gen.gz", ".subset", "data/chr1.gen.subset.gz"},
           {"a.gz.gen", ".subset", "a.subset.gz.gen"}, {"study.ped", ".gen", "study.ped.gen"},
           {"study.ped.gz", ".sample", "study.ped.sample.gz"}, {"a.gen", ".ped", "a.gen.ped"},
           {"a.gen.gz", ".orient", "a.gen.orient.gz"}, {"x.gz.gz", ".map", "x.map.gz.gz"},
           {"a.GZ", ".ped", "a.GZ.ped"}, {"", ".ped", ".ped"}})
    EXPECT_EQ(tagged_name(name, tag), tagged) << name;
}

TEST(SameFile, NamesLinksAndMissingFiles) {
  temp_dir dir;
  write_file(dir / "a", "x");
  write_file(dir / "b", "x");
  ASSERT_EQ(::symlink((dir / "a").c_str(), (dir / "link").c_str()), 0);
  EXPECT_TRUE(same_file(dir / "a", dir / "a"));
  EXPECT_TRUE(same_file(dir / "a", dir.path() + "/./a"));
  EXPECT_TRUE(same_file(dir / "link", dir / "a"));
  EXPECT_FALSE(same_file(dir / "a", dir / "b"));
  EXPECT_FALSE(same_file(dir / "a", dir / "missing"));
  EXPECT_TRUE(same_file(dir / "missing", dir / "missing"));
}

TEST(LineReader, LineEndsEmptyLinesAndCounts) {
  temp_dir dir;
  for (auto [text, expected] : std::vector<std::pair<std::string, lines>>{
           {"first\r\n\nthird  \nlast", {"first\r", "", "third  ", "last"}},
           {"one\n", {"one"}}, {"\n", {""}}, {"", {}}}) {
    write_file(dir / "a", text);
    EXPECT_EQ(chain_lines(dir / "a", false), expected) << text;
  }
  write_file(dir / "empty.gz", gzip_bytes(""));
  EXPECT_EQ(chain_lines(dir / "empty.gz", true), lines{});

  write_file(dir / "a", "x\ny\nz");
  input_file in(dir / "a", false);
  line_reader reader(in);
  std::string_view line;
  ASSERT_TRUE(reader.next(line));
  EXPECT_EQ(reader.line_number(), 1u);
  ASSERT_TRUE(reader.next(line));
  ASSERT_TRUE(reader.next(line));
  EXPECT_EQ(line, "z");
  EXPECT_EQ(reader.line_number(), 3u);
  EXPECT_FALSE(reader.next(line));
  EXPECT_FALSE(reader.next(line));
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

TEST(LineReader, DamagedInputIsAReadError) {
  temp_dir dir;
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "SNP" + std::to_string(i) + " rs 1 A G 0.25 0.5 0.25\n";
  std::string gz = gzip_bytes(text);
  write_file(dir / "half.gz", gz.substr(0, gz.size() / 2));
  write_file(dir / "notrailer.gz", gz.substr(0, gz.size() - 8));
  write_file(dir / "plain.gz", text);
  std::string corrupt = gz;
  for (std::size_t i = gz.size() / 3; i < gz.size() / 3 + 64; ++i) corrupt[i] = '\x55';
  write_file(dir / "corrupt.gz", corrupt);
  write_file(dir / "zero.gz", "");  // no gzip header at all
  for (const char* name : {"half.gz", "notrailer.gz", "plain.gz", "corrupt.gz", "zero.gz"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(error_of([&] { chain_lines(dir / name, true); }), "Can't read " + (dir / name));
  }
  for (const char* name : {"half.gz", "notrailer.gz", "corrupt.gz"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(error_of([&] { gz_lines(dir / name); }), "Can't read " + (dir / name));
  }
}

// Every way of opening a file names it in "Can't open NAME": a missing file,
// a directory, an empty name; an existing file passes check_readable.
TEST(Opening, MissingFilesDirectoriesAndEmptyNames) {
  temp_dir dir;
  write_file(dir / "a", "");
  EXPECT_EQ(error_of([&] { check_readable(dir / "a"); }), "");
  for (const std::string& name : {dir / "missing", dir.path(), std::string()}) {
    SCOPED_TRACE(name);
    const std::string message = "Can't open " + name;
    EXPECT_EQ(error_of([&] { check_readable(name); }), message);
    for (bool compressed : {false, true})
      EXPECT_EQ(error_of([&] { input_file f(name, compressed); }), message);
    EXPECT_EQ(error_of([&] { gz_line_reader r(name); }), message);
    if (!name.empty() && name != dir.path()) continue;  // output_file would create "missing"
    EXPECT_EQ(error_of([&] { output_file o(name, name == dir.path()); }), message);
  }
  EXPECT_EQ(error_of([&] { output_file o(dir / "no/such/dir", false); }),
            "Can't open " + (dir / "no/such/dir"));
}

TEST(OutputFile, PlainGzipReserveAndTruncate) {
  temp_dir dir;
  {
    output_file out(dir / "a.txt", false);
    out.put("SNP1 rs1 ");
    out.put_int(-2147483648LL);
    out.put(' ');
    out.put_int(12);
    out.put('\n');
    out.close();
  }
  EXPECT_EQ(read_file(dir / "a.txt"), "SNP1 rs1 -2147483648 12\n");

  std::string big;
  for (int i = 0; i < 300000; ++i) big += "line " + std::to_string(i) + "\n";
  {
    output_file out(dir / "b.gz", true);
    out.put(big.substr(0, 1000));
    out.put(big.substr(1000));  // larger than the buffer: written through
    out.close();
    out.close();  // a second close does nothing
  }
  std::string bytes = read_file(dir / "b.gz");
  ASSERT_GE(bytes.size(), 10u);
  EXPECT_EQ(bytes.substr(0, 2), "\x1f\x8b");
  EXPECT_EQ(gunzip_bytes(bytes), big);
  EXPECT_EQ(gz_lines(dir / "b.gz").size(), 300000u);

  // A gz name alone does not compress: the caller decides. An existing file
  // is truncated.
  write_file(dir / "c.gz", "a much longer earlier content\n");
  {
    output_file out(dir / "c.gz", false);
    out.put("plain\n");
    out.close();
  }
  EXPECT_EQ(read_file(dir / "c.gz"), "plain\n");

  output_file out(dir / "r", false);
  for (int i = 0; i < 100000; ++i) {
    char* p = out.reserve(20);
    std::memcpy(p, "0123456789", 10);
    out.advance(10);
  }
  char* p = out.reserve(3 << 20);  // more than the buffer holds
  std::memset(p, 'x', 3 << 20);
  out.advance(3 << 20);
  out.close();
  std::string got = read_file(dir / "r");
  ASSERT_EQ(got.size(), 1000000u + (3u << 20));
  EXPECT_EQ(got.substr(999990, 12), "0123456789xx");
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
    EXPECT_EQ(compressed ? gunzip_bytes(read_file(name)) : read_file(name), expected);
  }

  // A file size limit makes every write past 1 MiB fail (EFBIG once
  // SIGXFSZ is ignored): the first block goes through, a later one fails.
  struct rlimit before;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = before;
  small.rlim_cur = 1 << 20;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string message = error_of([&] {
    output_file out(dir / "limited", false);
    for (int i = 0; i < 400000; ++i) out.put(std::to_string(i) + "\n");
    out.close();
  });
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, old_handler);
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
    throw io_error("Can't read input");
  } catch (const io_error&) {
  }
  EXPECT_FALSE(exists(dir / "thrown"));
}

TEST(GzLineReader, PlainAndGzipWhateverTheName) {
  temp_dir dir;
  const std::string text = "ID_1 ID_2 missing\n0 0 0\nS1 S1 0\r\nS2 S2 0";
  const lines expected = {"ID_1 ID_2 missing", "0 0 0", "S1 S1 0\r", "S2 S2 0"};
  write_file(dir / "plain.sample", text);
  write_file(dir / "plain.sample.gz", text);
  write_file(dir / "packed.sample", gzip_bytes(text));
  write_file(dir / "packed.sample.gz", gzip_bytes(text));
  for (const char* name : {"plain.sample", "plain.sample.gz", "packed.sample", "packed.sample.gz"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(gz_lines(dir / name), expected);
  }
  write_file(dir / "empty", "");
  EXPECT_EQ(gz_lines(dir / "empty"), lines{});
}

// Offsets are positions in the uncompressed text; seeking to one makes the
// next line the one that started there, backwards and forwards, inside the
// current buffer and far outside it.
TEST(GzLineReader, OffsetsAndSeek) {
  temp_dir dir;
  std::string text;
  std::vector<std::uint64_t> starts;
  lines expected;
  for (int i = 0; i < 200000; ++i) {
    starts.push_back(text.size());
    std::string line = "SNP" + std::to_string(i) + " rs" + std::to_string(i * 7) + " " +
                       std::to_string(1000 + i) + " A G 1 0 0";
    expected.push_back(line);
    text += line + "\n";
  }
  write_file(dir / "p.gen", text);
  write_file(dir / "z.gen.gz", gzip_bytes(text));
  for (const char* name : {"p.gen", "z.gen.gz"}) {
    SCOPED_TRACE(name);
    gz_line_reader reader(dir / name);
    std::string_view line;
    for (int i = 0; i < 200000; ++i) {
      ASSERT_TRUE(reader.next(line));
      ASSERT_EQ(reader.offset(), starts[i]);
    }
    EXPECT_FALSE(reader.next(line));
    for (int target : {5, 199999, 100000, 0, 150000, 150001, 3, 199998}) {
      reader.seek(starts[target]);
      ASSERT_TRUE(reader.next(line));
      EXPECT_EQ(line, expected[target]);
      EXPECT_EQ(reader.offset(), starts[target]);
      if (target == 199999) {
        EXPECT_FALSE(reader.next(line));
      } else {
        ASSERT_TRUE(reader.next(line));
        EXPECT_EQ(line, expected[target + 1]);
      }
    }
    reader.seek(text.size());
    EXPECT_FALSE(reader.next(line));
  }
}

}  // namespace
}  // namespace varnex
