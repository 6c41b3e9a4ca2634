// Random access to byte ranges of a file: positioned reads of plain text, and
// an anonymous spill file for text that cannot be read back where it stands
// (gzip data, which would have to be decompressed again from its start).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace varnex {

// Up to n bytes at `offset` of the file open on `fd` into `to`; returns how
// many the file held. Throws run_failure("Can't read " + name) on a failed read.
std::size_t read_at(int fd, std::uint64_t offset, char* to, std::size_t n, const std::string& name);

// Reads byte ranges of one open file descriptor. A range that jumps costs a
// read of its own bytes; ranges that follow each other (small gaps allowed)
// read ahead in blocks that grow with the run, up to `max_block`. Whatever
// the order, the bytes read stay within twice the bytes handed out, and the
// buffer shrinks back to the range's size once a run ends.
class range_reader {
 public:
  range_reader(int fd, std::string name, std::size_t max_block = std::size_t{1} << 20)
      : fd_(fd), name_(std::move(name)), max_block_(max_block) {}
  // The `length` bytes at `offset`; throws run_failure("Can't read " + name) when
  // the file holds fewer.
  std::string_view get(std::uint64_t offset, std::size_t length);

  std::uint64_t bytes_read() const { return read_; }
  std::uint64_t bytes_returned() const { return returned_; }
  std::size_t buffer_capacity() const { return capacity_; }

 private:
  int fd_;
  std::string name_;
  std::size_t max_block_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::uint64_t start_ = 0;  // file offset of buffer_[0]
  std::size_t size_ = 0;     // valid bytes in buffer_
  std::uint64_t next_ = 0;   // end of the last range handed out
  std::uint64_t run_ = 0;    // bytes handed out by the current forward run
  std::uint64_t read_ = 0, returned_ = 0;
  std::uint64_t file_size_ = 0;
  bool sized_ = false;
};

// An unnamed temporary file in one directory, created on first use and gone
// when closed (or when the process dies).
class spill_file {
 public:
  explicit spill_file(std::string directory) : directory_(std::move(directory)) {}
  ~spill_file();
  spill_file(const spill_file&) = delete;
  spill_file& operator=(const spill_file&) = delete;

  // Appends the line; returns its offset in the file.
  std::uint64_t append(std::string_view line);
  // True when the file exists or can be made now (where `append` would
  // otherwise fail: a folder that allows no new file).
  bool usable();
  // Writes out what is buffered; the file can be read from then on.
  void finish();
  int fd() const { return fd_; }
  std::string description() const { return "temporary file in " + directory_; }

 private:
  void create();
  void drain();
  std::string directory_;
  int fd_ = -1;
  std::vector<char> buffer_;
  std::uint64_t size_ = 0;  // bytes appended
};

}  // namespace varnex
