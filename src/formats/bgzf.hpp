// Blocked gzip (BGZF): a series of gzip members of at most 64 KiB each, every
// one carrying its own compressed size in a "BC" extra field, ended by an
// empty 28-byte member. Any gzip reader reads it as one text; a reader that
// knows the format can find the blocks without inflating and inflate them on
// several threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace varnex {

// Text held by one block at most: leaves room for the header, the trailer and
// incompressible text in a 64 KiB block.
constexpr std::size_t bgzf_block_text = 65280;

// Appends one block holding `n` bytes of text (n <= bgzf_block_text) to
// `out`, compressed with `compressor` (a libdeflate compressor).
void bgzf_put_block(void* compressor, const char* text, std::size_t n, std::vector<unsigned char>& out);
// The end-of-file block.
void bgzf_put_end(std::vector<unsigned char>& out);

// True when the file's first gzip member carries the BC extra field. Reads
// with pread, so nothing is consumed; a pipe is never taken for BGZF.
bool starts_bgzf(int fd);

// Reads the text of a BGZF file, inflating blocks on `threads` threads
// (none of its own when threads is 1) and handing out the text in order. A
// damaged block, a bad CRC or a truncated file is run_failure("Can't read " +
// name).
class bgzf_reader {
 public:
  bgzf_reader(int fd, const std::string& name, int threads);
  ~bgzf_reader();
  bgzf_reader(const bgzf_reader&) = delete;
  bgzf_reader& operator=(const bgzf_reader&) = delete;

  // Reads up to n bytes; 0 only at the end of the text.
  std::size_t read(char* to, std::size_t n);
  // Once `read` has returned 0: the bytes taken from the file past the blocks
  // when gzip members without the BC field follow them (a plain gzip file
  // appended), for an ordinary inflater to read on; else empty.
  std::string rest() const;

 private:
  struct state;
  std::unique_ptr<state> s_;
};

}  // namespace varnex
