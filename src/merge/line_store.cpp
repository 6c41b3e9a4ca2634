#include "merge/line_store.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "formats/streams.hpp"

namespace varnex {

namespace {

constexpr std::size_t block = 1 << 20;

}  // namespace

bool has_gzip_content(const std::string& name) {
  int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw io_error("Can't open " + name);
  unsigned char magic[2] = {0, 0};
  ssize_t got = ::read(fd, magic, 2);
  ::close(fd);
  return got == 2 && magic[0] == 0x1f && magic[1] == 0x8b;
}

std::string_view range_reader::get(std::uint64_t offset, std::size_t length) {
  if (offset >= start_ && offset + length <= start_ + size_)
    return std::string_view(buffer_.data() + (offset - start_), length);
  // Moving forward: read ahead a whole block. Jumping: read just the line.
  bool forward = offset >= start_ && offset <= start_ + size_ + block;
  std::size_t want = forward && length < block ? block : length;
  // Never more than the file holds: with thousands of small inputs open at
  // once, a block each would take gigabytes.
  if (!sized_) {
    struct stat st;
    file_size_ = ::fstat(fd_, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : UINT64_MAX;
    sized_ = true;
  }
  if (want > length && offset < file_size_ && file_size_ - offset < want)
    want = std::max<std::size_t>(length, static_cast<std::size_t>(file_size_ - offset));
  if (buffer_.size() < want) buffer_.resize(want);
  std::size_t got = 0;
  while (got < want) {
    ssize_t n = ::pread(fd_, buffer_.data() + got, want - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw io_error("Can't read " + name_);
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  meter_read(got);
  start_ = offset;
  size_ = got;
  if (got < length) throw io_error("Can't read " + name_);
  return std::string_view(buffer_.data(), length);
}

spill_file::~spill_file() {
  if (fd_ >= 0) ::close(fd_);
}

void spill_file::create() {
  const char* dir = directory_.c_str();
#ifdef O_TMPFILE
  fd_ = ::open(dir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
  if (fd_ < 0) {
    // File systems without anonymous files: a named one, unlinked at once.
    std::string pattern = directory_ + "/.varnex-spill-XXXXXX";
    fd_ = ::mkstemp(pattern.data());
    if (fd_ >= 0) ::unlink(pattern.c_str());
  }
  if (fd_ < 0) throw io_error("Can't open " + description());
  buffer_.reserve(block);
}

std::uint64_t spill_file::append(std::string_view line) {
  if (fd_ < 0) create();
  std::uint64_t offset = size_;
  if (buffer_.size() + line.size() > block) drain();
  if (line.size() > block) {
    buffer_.assign(line.begin(), line.end());
    drain();
  } else {
    buffer_.insert(buffer_.end(), line.begin(), line.end());
  }
  size_ += line.size();
  return offset;
}

void spill_file::drain() {
  std::size_t done = 0;
  while (done < buffer_.size()) {
    ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw io_error("Can't write " + description());
    done += static_cast<std::size_t>(n);
  }
  buffer_.clear();
}

void spill_file::finish() {
  if (fd_ >= 0) drain();
  buffer_.shrink_to_fit();
}

}  // namespace varnex
