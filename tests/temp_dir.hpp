// A scratch directory for one test, removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>

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

inline bool exists(const std::string& name) { return std::filesystem::exists(name); }

}  // namespace varnex::testing
