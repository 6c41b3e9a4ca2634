// Plain and gzip-compressed file streams.
//
// Every data file goes through one of these classes. Compression is decided by
// the caller (usually `is_gz_name`), never by sniffing the contents, except for
// `gz_line_reader`, which reads gzip and plain text alike.
//
// Contract:
// - Constructors open the file and throw `io_error("Can't open " + name)` when
//   it cannot be opened (missing, a directory, no permission).
// - Reads that fail (I/O error, damaged or truncated gzip data, and through a
//   decompressing chain also plain text or an empty file) throw
//   `io_error("Can't read " + name)`; writes, flushes and the final close that
//   fail throw `io_error("Can't write " + name)`.
// - Line views handed out by the readers point into the reader's own buffer
//   and are valid until the next call on that reader. The line feed is
//   removed; a carriage return before it is kept. A last line without a line
//   feed is still a line.
// - An `output_file` writes through an output target (formats/outputs.hpp): a
//   temporary file renamed over the name only at `close()` or `commit()`; one
//   destroyed before that removes its temporary file and nothing else, so a
//   failed run leaves the name as it found it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "formats/failure.hpp"
#include "formats/outputs.hpp"

namespace varnex {

class bgen_text_sink;

// ".gz" anywhere in the name, case-sensitive: a.gz.gen and x.gzip count.
bool is_gz_name(std::string_view name);

// "-": standard input where an input is named, standard output where an
// output is. A file of that name is still reached as "./-".
inline bool is_standard_stream(std::string_view name) { return name == "-"; }

// Throws io_error("Can't open " + name) unless `name` can be read as a file.
void check_readable(const std::string& name);

// What the input files of this run have read so far, for the progress line:
// bytes taken from the files (compressed bytes for gzip data), the sizes of
// the files opened (`sizes_known` false once one of them has none, as a pipe)
// and the lines handed out. Readers update it once per block; a file read
// twice counts twice.
struct input_meter {
  std::uint64_t bytes_read = 0, bytes_opened = 0, lines = 0;
  bool sizes_known = true;
};
input_meter read_so_far();
// For readers of their own (positioned reads of a file opened on `fd`).
void meter_opened(int fd);
void meter_read(std::uint64_t bytes);

// How gzip data is written and read. With one thread, gzip output is the
// single-stream compressor's; with more, blocks are compressed on that many
// threads (one gzip member, or BGZF when `bgzf` is set), and BGZF inputs are
// inflated on that many threads.
struct stream_options {
  int threads = 1;
  bool bgzf = false;
};

// Sequential reader in large blocks: gzip data through a Boost.Iostreams chain
// (gzip decompressor over a file source), BGZF data by `bgzf_reader`; plain
// text straight from the file.
class input_file {
 public:
  input_file(const std::string& name, bool compressed, const stream_options& options = {});
  ~input_file();
  input_file(const input_file&) = delete;
  input_file& operator=(const input_file&) = delete;

  // Reads up to n bytes; returns 0 only at the end of the data.
  std::size_t read(char* buffer, std::size_t n);
  const std::string& name() const { return name_; }

 private:
  struct chain;
  std::string name_;
  std::unique_ptr<chain> chain_;
};

// Splits blocks of text into lines. The two readers below differ only in
// where the blocks come from.
class line_splitter {
 public:
  virtual ~line_splitter() = default;
  // False at the end of the input.
  bool next(std::string_view& line);
  // 1-based number of the line last returned.
  std::uint64_t line_number() const { return line_number_; }
  // Position of the line last returned in the (uncompressed) text.
  std::uint64_t offset() const { return line_offset_; }

 protected:
  explicit line_splitter(std::size_t buffer = 256 * 1024);
  // Reads up to n bytes into `to`; 0 only at the end of the data.
  virtual std::size_t read_block(char* to, std::size_t n) = 0;
  // Forgets the buffered text: the next block read starts at `offset`.
  void restart_at(std::uint64_t offset);
  std::vector<char> buffer_;
  std::size_t begin_ = 0;            // start of unread data
  std::size_t end_ = 0;              // end of valid data
  std::uint64_t buffer_offset_ = 0;  // text offset of buffer_[0]

 private:
  bool fill();
  bool eof_ = false;
  std::uint64_t line_offset_ = 0;
  std::uint64_t line_number_ = 0;
  std::uint64_t lines_metered_ = 0;
};

// Hands out the lines of an input_file as views into one reused buffer.
class line_reader : public line_splitter {
 public:
  explicit line_reader(input_file& input) : input_(input) {}

 private:
  std::size_t read_block(char* to, std::size_t n) override { return input_.read(to, n); }
  input_file& input_;
};

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
  // Probability in the subset style: integral values without decimals,
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

 private:
  void drain();
  void make_room(std::size_t n);
  // Waits for the block in flight; throws io_error if it failed.
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

// Reader of gzip or plain text, whatever the name (gzip when the data starts
// with the gzip magic). Lines are whole, however long; `offset()` is the
// position of the line last returned in the uncompressed text, and `seek`
// moves to such a position. Gzip data is a sequence of whole members:
// anything after a member that is not another member is damage.
class gz_line_reader : public line_splitter {
 public:
  // `buffer`: the size of the line buffer and of zlib's input buffer (its
  // output buffer is twice that); lines longer than the buffer still fit.
  explicit gz_line_reader(const std::string& name, std::size_t buffer = 256 * 1024);
  ~gz_line_reader() override;
  gz_line_reader(const gz_line_reader&) = delete;
  gz_line_reader& operator=(const gz_line_reader&) = delete;

  // Positions the reader so that the next line starts at `offset`. Inside the
  // current buffer this costs nothing; elsewhere gzip data is decompressed up
  // to the offset, from the start of the file when seeking backwards.
  void seek(std::uint64_t offset);
  const std::string& name() const { return name_; }

 private:
  std::size_t read_block(char* to, std::size_t n) override;
  std::size_t inflate_block(char* to, std::size_t n);
  bool refill();
  void rewind();
  struct inflater;
  std::string name_;
  int fd_ = -1;
  std::vector<char> in_;          // compressed input, or plain text read ahead
  std::size_t in_begin_ = 0, in_end_ = 0;
  bool in_eof_ = false;
  std::uint64_t produced_ = 0;    // text offset of the next byte read_block gives
  std::unique_ptr<inflater> gzip_;  // null for plain text
};

}  // namespace varnex
