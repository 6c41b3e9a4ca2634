// Scratch files and directories of the fuzz targets, under $TMPDIR (the fuzz
// script points it at a directory it removes afterwards).
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace fuzz {

inline std::vector<char> scratch_template(const char* stem) {
  const char* tmp = std::getenv("TMPDIR");
  std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + stem + ".XXXXXX";
  return std::vector<char>(path.c_str(), path.c_str() + path.size() + 1);
}

// A new empty file; aborts when none can be made.
inline std::string scratch_file(const char* stem) {
  std::vector<char> path = scratch_template(stem);
  int fd = mkstemp(path.data());
  if (fd < 0) std::abort();
  close(fd);
  return path.data();
}

// A new directory, made the working directory.
inline std::string enter_scratch_dir(const char* stem) {
  std::vector<char> path = scratch_template(stem);
  if (!mkdtemp(path.data()) || chdir(path.data()) != 0) std::abort();
  return path.data();
}

}  // namespace fuzz
