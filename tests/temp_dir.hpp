// A scratch directory for one test, removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <csignal>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "formats/streams.hpp"

namespace varnex::testing {

class temp_dir {
 public:
  temp_dir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/varnex-test.XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~temp_dir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;

  // Full name of a file inside the directory.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline void write_file(const std::string& name, const std::string& bytes) {
  std::ofstream out(name, std::ios::binary);
  out << bytes;
}

inline std::string read_file(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What WRITE puts into a fresh plain output file.
template <typename Write>
std::string written(Write write) {
  temp_dir dir;
  const std::string name = dir / "out";
  {
    output_file out(name, false);
    write(out);
    out.close();
  }
  return read_file(name);
}

// The message of the run_failure that `f` throws ("" when it throws none).
template <typename F>
std::string error_of(F f) {
  try {
    f();
  } catch (const run_failure& e) {
    return e.what();
  }
  return "";
}

// One gzip member holding `text`, made by zlib directly.
inline std::string gzip_bytes(const std::string& text) {
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

// Inflates every gzip member of `data`; `members` counts them. Empty with a
// test failure when the data is damaged.
inline std::string gunzip_all(const std::string& data, int* members = nullptr) {
  z_stream s{};
  EXPECT_EQ(inflateInit2(&s, 15 + 16), Z_OK);
  std::string out;
  std::vector<char> chunk(1 << 16);
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  s.avail_in = static_cast<uInt>(data.size());
  int count = 0;
  for (;;) {
    s.next_out = reinterpret_cast<Bytef*>(chunk.data());
    s.avail_out = static_cast<uInt>(chunk.size());
    int r = inflate(&s, Z_NO_FLUSH);
    out.append(chunk.data(), chunk.size() - s.avail_out);
    if (r == Z_STREAM_END) {
      ++count;
      if (s.avail_in == 0) break;
      inflateReset(&s);
    } else if (r != Z_OK) {
      ADD_FAILURE() << "damaged gzip data";
      break;
    }
  }
  inflateEnd(&s);
  if (members) *members = count;
  return out;
}

// The message of the run_failure that `f` throws while files may grow to at most
// `bytes` (writes past it fail with EFBIG, SIGXFSZ ignored).
template <typename F>
std::string error_under_size_limit(rlim_t bytes, F f) {
  struct rlimit before;
  EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = before;
  small.rlim_cur = bytes;
  EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string message = error_of(f);
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, old_handler);
  return message;
}

inline bool exists(const std::string& name) { return std::filesystem::exists(name); }

}  // namespace varnex::testing
