#include "formats/ranges.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "formats/streams.hpp"

namespace varnex {

// What a spill file holds back before it writes.
constexpr std::size_t block = 1 << 20;

std::size_t read_at(int fd, std::uint64_t offset, char* to, std::size_t n, const std::string& name) {
  std::size_t got = 0;
  while (got < n) {
    ssize_t r = ::pread(fd, to + got, n - got, static_cast<off_t>(offset + got));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) throw run_failure("Can't read " + name);
    if (r == 0) break;
    got += static_cast<std::size_t>(r);
  }
  meter_read(got);
  return got;
}

std::string_view range_reader::get(std::uint64_t offset, std::size_t length) {
  returned_ += length;
  // A range that starts where the last one ended, or a little after it (a
  // line not wanted in between), continues the run.
  const bool follows = offset >= next_ && offset - next_ <= std::max<std::uint64_t>(length, 4096);
  run_ = follows ? run_ + length : length;
  next_ = offset + length;
  if (offset >= start_ && offset + length <= start_ + size_)
    return std::string_view(buffer_.get() + (offset - start_), length);

  // Read ahead only as far as the run has come, and never beyond twice what
  // has been handed out: a run that stops wastes at most what it used.
  std::size_t want = length;
  if (follows) {
    const std::uint64_t budget = 2 * returned_ > read_ ? 2 * returned_ - read_ : 0;
    const std::uint64_t ahead = std::min<std::uint64_t>({run_, max_block_, budget});
    if (ahead > want) want = static_cast<std::size_t>(ahead);
  }
  if (!sized_) {
    struct stat st;
    file_size_ = ::fstat(fd_, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : UINT64_MAX;
    sized_ = true;
  }
  if (want > length && offset < file_size_ && file_size_ - offset < want)
    want = std::max<std::size_t>(length, static_cast<std::size_t>(file_size_ - offset));
  // Grow for a run or a long line; give the room back when reads jump again.
  const std::size_t room = (want + 4095) & ~std::size_t{4095};
  if (want > capacity_ || (!follows && capacity_ > 2 * room)) {
    buffer_.reset();
    capacity_ = size_ = 0;
    buffer_.reset(new char[room]);
    capacity_ = room;
  }
  const std::size_t got = read_at(fd_, offset, buffer_.get(), want, name_);
  read_ += got;
  start_ = offset;
  size_ = got;
  if (got < length) throw run_failure("Can't read " + name_);
  return std::string_view(buffer_.get(), length);
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
  if (fd_ < 0) throw run_failure("Can't open " + description());
  buffer_.reserve(block);
}

bool spill_file::usable() {
  if (fd_ < 0) {
    try {
      create();
    } catch (const run_failure&) {
      return false;
    }
  }
  return true;
}

std::uint64_t spill_file::append(std::string_view line) {
  if (fd_ < 0) create();
  std::uint64_t offset = size_;
  if (buffer_.size() + line.size() > block) drain();
  buffer_.insert(buffer_.end(), line.begin(), line.end());
  if (line.size() > block) drain();
  size_ += line.size();
  return offset;
}

void spill_file::drain() {
  if (!write_all(fd_, buffer_.data(), buffer_.size())) throw run_failure("Can't write " + description());
  buffer_.clear();
}

void spill_file::finish() {
  if (fd_ >= 0) drain();
  buffer_.shrink_to_fit();
}

}  // namespace varnex
