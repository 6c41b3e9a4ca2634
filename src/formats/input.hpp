// Input files: opened once, read front to back in large blocks, split into
// lines, and read again from a given offset.
//
// Compression is an explicit policy: by name (the caller says, usually from
// `is_gz_name`), or by content (the gzip magic bytes), where a mode reads
// gzip and plain text alike. Gzip data chosen by name is decompressed by a
// Boost.Iostreams chain, BGZF data by `bgzf_reader` on the run's threads;
// gzip data found by content by zlib, up to the first damage. With more than
// one thread, gzip data other than BGZF in a regular file is inflated ahead
// by a thread of the file's own, into a ring of a few blocks (each four
// decompression buffers); a failure reaches the caller after the text
// inflated before it, as without the thread.
//
// Contract:
// - Constructors throw `run_failure("Can't open " + name)` when the file cannot
//   be opened (missing, a directory, no permission).
// - Reads that fail (I/O error, damaged or truncated gzip data, and for
//   gzip chosen by name also plain text or an empty file) throw
//   `run_failure("Can't read " + name)`. Gzip data is a sequence of whole
//   members: anything after a member that is not another member is damage.
// - Line views point into the reader's own buffer and are valid until the
//   next call on that reader. The line feed is removed; a carriage return
//   before it is kept. A last line without a line feed is still a line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "formats/names.hpp"

namespace varnex {

// Throws run_failure("Can't open " + name) unless `name` can be read as a file.
void check_readable(const std::string& name);

// What the input files of this run have read so far:
// bytes taken from the files (compressed bytes for gzip data), the sizes of
// the files opened (`sizes_known` false once one of them has none, as a pipe)
// and the lines handed out. Readers update it once per block; a file read
// twice counts twice.
struct input_meter {
  std::uint64_t bytes_read = 0, bytes_opened = 0, lines = 0;
  bool sizes_known = true;
};
input_meter read_so_far();
// For readers of their own (positioned reads).
void meter_read(std::uint64_t bytes);

enum class compression { plain, gzip, by_content };

// One open input file and its decompressor.
class input_file {
 public:
  // `compressed`: the policy by name, gzip or plain.
  input_file(const std::string& name, bool compressed, const stream_options& options = {})
      : input_file(name, compressed ? compression::gzip : compression::plain, options) {}
  // `buffer`: the size of each decompression buffer (gzip data only).
  input_file(const std::string& name, compression policy, const stream_options& options = {},
             std::size_t buffer = 256 * 1024);
  ~input_file();
  input_file(const input_file&) = delete;
  input_file& operator=(const input_file&) = delete;

  // Reads up to n bytes; returns 0 only at the end of the data.
  std::size_t read(char* buffer, std::size_t n);
  // Plain text: the next read starts at `offset`. Gzip data: the next read
  // starts again from the first byte.
  void restart(std::uint64_t offset);
  // Frees the decompressor until the next read, which restarts from the
  // first byte with decompression buffers of `buffer` bytes; the file stays
  // open.
  void rest(std::size_t buffer);

  const std::string& name() const { return name_; }
  bool compressed() const;
  // The open file, for positioned reads of plain text.
  int fd() const;

 private:
  struct chain;
  void open_chain();
  std::size_t decompress(char* to, std::size_t n);
  std::size_t inflate(char* to, std::size_t n);
  std::size_t read_raw(char* to, std::size_t n);
  std::string name_;
  std::unique_ptr<chain> chain_;
};

// Splits blocks of text into lines. `line_reader` and the BGEN reader differ
// only in where the blocks come from.
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
  std::vector<char> buffer_;
  std::size_t begin_ = 0;            // start of unread data
  std::size_t end_ = 0;              // end of valid data
  std::uint64_t buffer_offset_ = 0;  // text offset of buffer_[0]
  bool eof_ = false;

 private:
  bool fill();
  std::uint64_t line_offset_ = 0;
  std::uint64_t line_number_ = 0;
  std::uint64_t lines_metered_ = 0;
};

// Hands out the lines of an input_file as views into one reused buffer,
// which grows to hold a longer line.
class line_reader : public line_splitter {
 public:
  explicit line_reader(input_file& input, std::size_t buffer = 256 * 1024)
      : line_splitter(buffer), input_(input) {}
  // Positions the reader so that the next line starts at text offset
  // `offset`. Inside the current buffer this costs nothing; elsewhere gzip
  // data is decompressed up to the offset, from the start of the file when
  // seeking backwards.
  void seek(std::uint64_t offset);
  const std::string& name() const { return input_.name(); }

 private:
  std::size_t read_block(char* to, std::size_t n) override { return input_.read(to, n); }
  input_file& input_;
};

}  // namespace varnex
