// Output files. Writes, flushes and the final close that fail throw
// `run_failure("Can't write " + name)`. A file is written as a temporary file
// (formats/outputs.hpp) renamed over the name only at `close()` or
// `commit()`; one destroyed before that removes its temporary file and
// nothing else, so a failed run leaves the name as it found it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "formats/names.hpp"
#include "formats/outputs.hpp"

namespace varnex {

class bgen_text_sink;

// Buffered writer: gzip output through a Boost.Iostreams chain (gzip
// compressor over a file sink) or, with several threads or BGZF, through
// `parallel_gzip_writer`; plain output straight to the file. Text is
// formatted into a large buffer and written in blocks. From the second full
// block on, blocks are written (and compressed) by a thread of the file's own
// while the next one fills; a failed write is reported at the next block or
// at `close`, never lost.
class output_file {
 public:
  output_file(const std::string& name, bool compressed, const stream_options& options = {});
  // The text goes to `sink`, line by line, instead of into a file: a GEN
  // output written as BGEN. `finish` completes the BGEN file's temporary
  // file, `commit` renames it into place.
  output_file(const std::string& name, std::unique_ptr<bgen_text_sink> sink);
  ~output_file();
  output_file(const output_file&) = delete;
  output_file& operator=(const output_file&) = delete;

  void put(char c) {
    if (used_ == buffer_.size()) drain();
    buffer_[used_++] = c;
  }
  void put(std::string_view text);
  void put_int(std::int64_t value);
  // Probability in fixed style: integral values without decimals,
  // anything else with exactly four (0.5 -> 0.5000, 1 -> 1).
  void put_fixed4(double value);
  // Default floating-point style, six significant digits (0.333333, 1e-05).
  void put_general6(double value);

  // Makes room for at least n bytes and returns where to write them; the
  // caller then calls `advance` with the number actually written.
  char* reserve(std::size_t n) {
    if (buffer_.size() - used_ < n) make_room(n);
    return buffer_.data() + used_;
  }
  void advance(std::size_t n) { used_ += n; }

  // Writes out everything and closes the file (and the gzip trailer), then
  // renames it into place: `finish` and `commit` in one.
  void close();
  // Writes out everything and closes the temporary file; the name still
  // holds what it held before.
  void finish();
  // Renames the finished file over its name.
  void commit();
  const std::string& name() const { return name_; }
  // The BGEN writer behind a BGEN output, else null.
  const bgen_text_sink* bgen() const { return sink_.get(); }
  bgen_text_sink* bgen() { return sink_.get(); }

 private:
  void drain();
  void make_room(std::size_t n);
  // Waits for the block in flight; throws run_failure if it failed.
  void settle();
  struct chain;
  struct writer;
  std::unique_ptr<writer> writer_;
  std::string name_;
  std::unique_ptr<chain> chain_;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
  bool finished_ = false;
  output_target target_;
  std::unique_ptr<bgen_text_sink> sink_;
};

// Commits finished outputs together, once every one of them is complete: a
// stopping signal waits until all are in place.
void commit_outputs(const std::vector<output_file*>& outputs);

}  // namespace varnex
