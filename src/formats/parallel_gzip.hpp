// Gzip output compressed on several threads.
//
// The text is cut into blocks; workers compress the blocks while the caller
// goes on producing text, and one writer thread stores the results in order.
// Two formats:
// - `member`: one gzip member, as a one-thread compressor would write it but
//   cut into blocks of 128 KiB, each deflated (zlib level 6, window 15,
//   memory level 8) with the 32 KiB of text before it as dictionary and ended
//   with a sync flush; the CRC-32s are combined for the trailer. The header
//   carries no name, no comment and modification time 0.
// - `bgzf`: blocked gzip, every block a gzip member of its own (see bgzf.hpp).
//
// A failed write (of any block) is reported by the next `write` or by
// `finish` as run_failure("Can't write " + name); nothing is written after it.
// The destructor stops and joins every thread without finishing the data.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace varnex {

class parallel_gzip_writer {
 public:
  enum class format { member, bgzf };
  parallel_gzip_writer(int fd, const std::string& name, int threads, format f);
  ~parallel_gzip_writer();
  parallel_gzip_writer(const parallel_gzip_writer&) = delete;
  parallel_gzip_writer& operator=(const parallel_gzip_writer&) = delete;

  void write(const char* data, std::size_t n);
  // Compresses what is left, writes the end of the data and waits for it.
  void finish();

 private:
  struct state;
  std::unique_ptr<state> s_;
};

}  // namespace varnex
