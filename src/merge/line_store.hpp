// Random access to the GEN lines recorded by the first pass.
//
// A plain input is read again with pread: whole 1 MiB blocks while the wanted
// lines move forward, the exact line when they jump about. A gzip input whose
// lines are out of position order cannot be read backward without
// decompressing it again from the start, so from its first backward step on
// its lines are copied, as read, into an anonymous spill file beside the
// output, and read back from there.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace varnex {

// True when the file starts with the gzip magic bytes (zlib then inflates it).
bool has_gzip_content(const std::string& name);

// Reads byte ranges of one open file descriptor.
class range_reader {
 public:
  range_reader(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  // The `length` bytes at `offset`; throws io_error("Can't read " + name) when
  // the file holds fewer.
  std::string_view get(std::uint64_t offset, std::size_t length);

 private:
  int fd_;
  std::string name_;
  std::vector<char> buffer_;
  std::uint64_t start_ = 0;  // file offset of buffer_[0]
  std::size_t size_ = 0;     // valid bytes in buffer_
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
  // Writes out what is buffered; the file can be read from then on.
  void finish();
  bool used() const { return fd_ >= 0; }
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
