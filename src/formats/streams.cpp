#include "formats/streams.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <boost/iostreams/device/file_descriptor.hpp>
#include <boost/iostreams/filter/gzip.hpp>
#include <boost/iostreams/filtering_stream.hpp>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "formats/bgen_io.hpp"
#include "formats/bgzf.hpp"
#include "formats/parallel_gzip.hpp"

namespace io = boost::iostreams;

namespace varnex {

namespace {

// A 4096-byte filter buffer makes gzip input about twice as slow as this.
constexpr std::streamsize chain_buffer = 256 * 1024;
// Large enough that a read or write costs little per byte, small enough that a
// mode holding several files open stays within a few MiB.
constexpr std::size_t block_size = 256 * 1024;

int open_input_fd(const std::string& name) {
  if (name.empty()) throw io_error("Can't open " + name);
  // A copy of standard input: closing it leaves descriptor 0 alone.
  int fd = is_standard_stream(name) ? ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0)
                                    : ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw io_error("Can't open " + name);
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    throw io_error("Can't open " + name);
  }
  return fd;
}

// Sink on a file descriptor that remembers a failed write. The chain swallows
// the errors of the flushes it makes while closing (the last block and the
// gzip trailer), so `output_file::close` asks the sink itself.
class fd_sink {
 public:
  typedef char char_type;
  typedef io::sink_tag category;
  fd_sink(int fd, bool* failed) : fd_(fd), failed_(failed) {}
  std::streamsize write(const char* s, std::streamsize n) {
    std::streamsize done = 0;
    while (done < n) {
      ssize_t w = ::write(fd_, s + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        *failed_ = true;
        throw std::ios_base::failure("write failed");
      }
      done += w;
    }
    return n;
  }

 private:
  int fd_;
  bool* failed_;
};

std::atomic<std::uint64_t> meter_bytes{0}, meter_size{0}, meter_lines{0};
std::atomic<bool> meter_unsized{false};

// Counts what a decompressing reader took from its file since it last looked:
// zlib and the gzip chain read ahead on their own, and seek back in merge.
void meter_offset(std::int64_t at, std::uint64_t& metered) {
  if (at < 0) return;  // a pipe
  if (static_cast<std::uint64_t>(at) > metered) meter_read(static_cast<std::uint64_t>(at) - metered);
  metered = static_cast<std::uint64_t>(at);
}

}  // namespace

input_meter read_so_far() {
  input_meter m;
  m.bytes_read = meter_bytes.load(std::memory_order_relaxed);
  m.bytes_opened = meter_size.load(std::memory_order_relaxed);
  m.lines = meter_lines.load(std::memory_order_relaxed);
  m.sizes_known = !meter_unsized.load(std::memory_order_relaxed);
  return m;
}

void meter_opened(int fd) {
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
    meter_size.fetch_add(static_cast<std::uint64_t>(st.st_size), std::memory_order_relaxed);
  else
    meter_unsized.store(true, std::memory_order_relaxed);
}

void meter_read(std::uint64_t bytes) { meter_bytes.fetch_add(bytes, std::memory_order_relaxed); }

bool is_gz_name(std::string_view name) { return name.find(".gz") != std::string_view::npos; }

void check_readable(const std::string& name) { ::close(open_input_fd(name)); }

// ---------------------------------------------------------------- input_file

// Plain files are read straight from the descriptor: the chain would only add
// a copy through its own buffer.
struct input_file::chain {
  int fd = -1;
  bool direct = false;
  std::uint64_t metered = 0;
  std::unique_ptr<bgzf_reader> blocks;
  io::filtering_istream stream;
  ~chain() {
    blocks.reset();
    try {
      stream.reset();
    } catch (...) {
    }
    if (fd >= 0) ::close(fd);
  }
};

input_file::input_file(const std::string& name, bool compressed, const stream_options& options)
    : name_(name), chain_(std::make_unique<chain>()) {
  chain_->fd = open_input_fd(name);
  meter_opened(chain_->fd);
  if (!compressed) {
    chain_->direct = true;
    return;
  }
  if (starts_bgzf(chain_->fd)) {
    chain_->blocks = std::make_unique<bgzf_reader>(chain_->fd, name, options.threads);
    return;
  }
  chain_->stream.push(io::gzip_decompressor(15, chain_buffer), chain_buffer);
  chain_->stream.push(io::file_descriptor_source(chain_->fd, io::never_close_handle),
                      chain_buffer);
}

input_file::~input_file() = default;

std::size_t input_file::read(char* buffer, std::size_t n) {
  if (chain_->direct) {
    for (;;) {
      ssize_t got = ::read(chain_->fd, buffer, n);
      if (got >= 0) {
        meter_read(static_cast<std::uint64_t>(got));
        return static_cast<std::size_t>(got);
      }
      if (errno != EINTR) throw io_error("Can't read " + name_);
    }
  }
  if (chain_->blocks) {
    std::size_t got = chain_->blocks->read(buffer, n);
    meter_offset(::lseek(chain_->fd, 0, SEEK_CUR), chain_->metered);
    return got;
  }
  auto& s = chain_->stream;
  if (s.bad()) throw io_error("Can't read " + name_);
  if (s.eof()) return 0;
  try {
    s.read(buffer, static_cast<std::streamsize>(n));
  } catch (...) {
    throw io_error("Can't read " + name_);
  }
  if (s.bad()) throw io_error("Can't read " + name_);
  meter_offset(::lseek(chain_->fd, 0, SEEK_CUR), chain_->metered);
  return static_cast<std::size_t>(s.gcount());
}

// ------------------------------------------------------------- line_splitter

line_splitter::line_splitter(std::size_t buffer) : buffer_(std::max<std::size_t>(buffer, 1)) {}

bool line_splitter::fill() {
  if (eof_) return false;
  // Keep the unfinished line at the front; grow when it fills the buffer.
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    buffer_offset_ += begin_;
    begin_ = 0;
  }
  if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
  std::size_t got = read_block(buffer_.data() + end_, buffer_.size() - end_);
  meter_lines.fetch_add(line_number_ - lines_metered_, std::memory_order_relaxed);
  lines_metered_ = line_number_;
  if (got == 0) {
    eof_ = true;
    return false;
  }
  end_ += got;
  return true;
}

bool line_splitter::next(std::string_view& line) {
  std::size_t scanned = begin_;
  for (;;) {
    const char* start = buffer_.data() + scanned;
    const void* nl = std::memchr(start, '\n', end_ - scanned);
    if (nl) {
      const char* p = static_cast<const char*>(nl);
      line = std::string_view(buffer_.data() + begin_, p - (buffer_.data() + begin_));
      line_offset_ = buffer_offset_ + begin_;
      begin_ = p + 1 - buffer_.data();
      ++line_number_;
      return true;
    }
    std::size_t pending = end_ - begin_;
    if (!fill()) {
      if (pending == 0) return false;
      line = std::string_view(buffer_.data() + begin_, end_ - begin_);
      line_offset_ = buffer_offset_ + begin_;
      begin_ = end_;
      ++line_number_;
      return true;
    }
    scanned = begin_ + pending;
  }
}

void line_splitter::restart_at(std::uint64_t offset) {
  buffer_offset_ = offset;
  begin_ = end_ = 0;
  eof_ = false;
}

// --------------------------------------------------------------- output_file

// Plain outputs are written straight to the descriptor; only gzip output
// goes through the chain.
struct output_file::chain {
  int fd = -1;
  bool direct = false;
  bool failed = false;  // set by the sink on any failed write
  std::unique_ptr<parallel_gzip_writer> parallel;
  io::filtering_ostream stream;

  void write(const std::string& name, const char* data, std::size_t n) {
    if (parallel) {
      parallel->write(data, n);
      return;
    }
    if (direct) {
      while (n > 0) {
        ssize_t w = ::write(fd, data, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) throw io_error("Can't write " + name);
        data += w;
        n -= static_cast<std::size_t>(w);
      }
      return;
    }
    try {
      stream.write(data, static_cast<std::streamsize>(n));
    } catch (...) {
      throw io_error("Can't write " + name);
    }
    if (failed) throw io_error("Can't write " + name);
  }
};

// The compression chain of a gzip output, the one place it is built: zlib's
// default level, deflate, 15 window bits, memory level 8, no name, no
// comment, modification time 0.
namespace {

void push_compressor(io::filtering_ostream& stream, int fd, bool* failed) {
  io::gzip_params params;
  params.level = io::zlib::default_compression;
  params.method = io::zlib::deflated;
  params.window_bits = 15;
  params.mem_level = 8;
  params.strategy = io::zlib::default_strategy;
  params.file_name = "";
  params.comment = "";
  params.mtime = 0;
  stream.push(io::gzip_compressor(params, chain_buffer), chain_buffer);
  stream.push(fd_sink(fd, failed), chain_buffer);
  stream.exceptions(std::ios::badbit | std::ios::failbit);
}

}  // namespace

// The thread that writes full blocks while the next one fills. One block is
// in flight at most, so the order of the blocks is kept.
struct output_file::writer {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<char> block;
  std::size_t used = 0;
  bool busy = false;     // `block` holds text not yet written
  bool stopping = false;
  bool failed = false;   // a write of this thread failed
  std::thread thread;

  writer(chain& out, const std::string& name) : thread([this, &out, &name] { run(out, name); }) {}
  ~writer() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
    }
    changed.notify_all();
    thread.join();
  }

  void run(chain& out, const std::string& name) {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      changed.wait(lock, [this] { return busy || stopping; });
      if (!busy) return;
      lock.unlock();
      bool ok = true;
      try {
        out.write(name, block.data(), used);
      } catch (...) {
        ok = false;
      }
      lock.lock();
      failed |= !ok;
      busy = false;
      changed.notify_all();
      if (!ok) return;  // nothing more is written after a failure
    }
  }

  // Waits until no block is in flight; false when a write failed.
  bool wait() {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return !busy; });
    return !failed;
  }

  // Hands over `full` (holding n bytes) and gives back an empty buffer.
  void hand_over(std::vector<char>& full, std::size_t n) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      block.swap(full);
      used = n;
      busy = true;
    }
    changed.notify_all();
    if (full.size() < block.size()) full.resize(block.size());
  }
};

output_file::output_file(const std::string& name, bool compressed, const stream_options& options)
    : name_(name), chain_(std::make_unique<chain>()), buffer_(block_size) {
  target_ = open_output_target(name);
  chain_->fd = target_.fd;
  if (!compressed) {
    chain_->direct = true;
    return;
  }
  try {
    if (options.threads > 1 || options.bgzf) {
      chain_->direct = true;
      chain_->parallel = std::make_unique<parallel_gzip_writer>(
          chain_->fd, name, options.threads,
          options.bgzf ? parallel_gzip_writer::format::bgzf : parallel_gzip_writer::format::member);
      return;
    }
    push_compressor(chain_->stream, chain_->fd, &chain_->failed);
  } catch (...) {
    ::close(chain_->fd);
    discard_output_target(target_);
    throw;
  }
}

output_file::output_file(const std::string& name, std::unique_ptr<bgen_text_sink> sink)
    : name_(name), chain_(std::make_unique<chain>()), buffer_(block_size), sink_(std::move(sink)) {
  // The BGEN writer owns its target: it discards it unless committed.
}

output_file::~output_file() {
  writer_.reset();
  chain_->parallel.reset();
  if (sink_) return;
  if (!finished_) {
    if (!chain_->direct) {
      try {
        chain_->stream.exceptions(std::ios::goodbit);
        chain_->stream.reset();
      } catch (...) {
      }
    }
    if (chain_->fd >= 0) ::close(chain_->fd);
  }
  // Not committed: only the temporary file goes.
  discard_output_target(target_);
}

void output_file::settle() {
  if (writer_ && !writer_->wait()) throw io_error("Can't write " + name_);
}

void output_file::drain() {
  if (used_ == 0) return;
  if (sink_) {
    sink_->consume(buffer_.data(), used_);
    used_ = 0;
    return;
  }
  settle();
  if (chain_->parallel) {
    // The compressing threads take the text at once: no writer thread.
    chain_->write(name_, buffer_.data(), used_);
    used_ = 0;
    return;
  }
  if (!writer_) {
    // The first block is written here: an output of one block never needs
    // the thread.
    chain_->write(name_, buffer_.data(), used_);
    used_ = 0;
    writer_ = std::make_unique<writer>(*chain_, name_);
    return;
  }
  writer_->hand_over(buffer_, used_);
  used_ = 0;
}

void output_file::make_room(std::size_t n) {
  drain();
  if (buffer_.size() < n) buffer_.resize(n);
}

void output_file::put(std::string_view text) {
  // An empty view may have no data at all ({}): nothing to copy from.
  if (text.empty()) return;
  if (buffer_.size() - used_ < text.size()) {
    drain();
    if (text.size() > buffer_.size()) {
      if (sink_) return sink_->consume(text.data(), text.size());
      settle();
      chain_->write(name_, text.data(), text.size());
      return;
    }
  }
  std::memcpy(buffer_.data() + used_, text.data(), text.size());
  used_ += text.size();
}

void output_file::put_int(std::int64_t value) {
  char* p = reserve(24);
  advance(std::to_chars(p, p + 24, value).ptr - p);
}

void output_file::put_fixed4(double value) {
  // Large magnitudes print every integer digit: up to 309 of them.
  char* p = reserve(400);
  auto r = value == std::floor(value) ? std::to_chars(p, p + 400, value, std::chars_format::fixed, 0)
                                      : std::to_chars(p, p + 400, value, std::chars_format::fixed, 4);
  advance(r.ptr - p);
}

void output_file::put_general6(double value) {
  char* p = reserve(32);
  advance(std::to_chars(p, p + 32, value, std::chars_format::general, 6).ptr - p);
}

void output_file::finish() {
  if (finished_) return;
  if (sink_) {
    drain();
    sink_->finish();
    finished_ = true;
    std::vector<char>().swap(buffer_);
    return;
  }
  settle();
  if (used_) chain_->write(name_, buffer_.data(), used_);
  used_ = 0;
  writer_.reset();
  if (chain_->parallel) {
    chain_->parallel->finish();
    chain_->parallel.reset();
  }
  if (!chain_->direct) {
    try {
      chain_->stream.flush();
      chain_->stream.reset();  // finishes the gzip stream
    } catch (...) {
      throw io_error("Can't write " + name_);
    }
    if (chain_->failed) throw io_error("Can't write " + name_);
  }
  int fd = chain_->fd;
  chain_->fd = -1;
  finished_ = true;
  std::vector<char>().swap(buffer_);  // a run may hold many finished outputs
  if (::close(fd) != 0) {
    discard_output_target(target_);
    throw io_error("Can't write " + name_);
  }
}

void output_file::commit() {
  if (!finished_) throw io_error("Can't write " + name_);
  if (sink_) return sink_->commit();
  commit_output_target(target_);
}

void output_file::close() {
  finish();
  signals_held held;
  commit();
}

void commit_outputs(const std::vector<output_file*>& outputs) {
  for (output_file* out : outputs) out->finish();
  signals_held held;
  for (output_file* out : outputs) out->commit();
}

// ------------------------------------------------------------ gz_line_reader

struct gz_line_reader::inflater {
  z_stream z;
  bool member_end = false;  // the last member ended; another may follow
  inflater() {
    std::memset(&z, 0, sizeof z);
    // Gzip members only: a member followed by anything else fails.
    if (inflateInit2(&z, 15 + 16) != Z_OK) throw std::bad_alloc();
  }
  ~inflater() { inflateEnd(&z); }
};

gz_line_reader::gz_line_reader(const std::string& name, std::size_t buffer)
    : line_splitter(buffer),
      name_(name),
      fd_(open_input_fd(name)),
      in_(std::max<std::size_t>(buffer, 8192)) {
  meter_opened(fd_);
  try {
    while (in_end_ < 2 && refill()) {
    }
    if (in_end_ >= 2 && static_cast<unsigned char>(in_[0]) == 0x1f &&
        static_cast<unsigned char>(in_[1]) == 0x8b)
      gzip_ = std::make_unique<inflater>();
  } catch (...) {
    ::close(fd_);
    throw;
  }
}

gz_line_reader::~gz_line_reader() { ::close(fd_); }

// Appends what the file gives to the input buffer; false at its end.
bool gz_line_reader::refill() {
  if (in_eof_) return false;
  if (in_begin_ == in_end_) in_begin_ = in_end_ = 0;
  for (;;) {
    ssize_t got = ::read(fd_, in_.data() + in_end_, in_.size() - in_end_);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw io_error("Can't read " + name_);
    if (got == 0) {
      in_eof_ = true;
      return false;
    }
    in_end_ += static_cast<std::size_t>(got);
    meter_read(static_cast<std::uint64_t>(got));
    return true;
  }
}

std::size_t gz_line_reader::read_block(char* to, std::size_t n) {
  std::size_t got;
  if (gzip_) {
    got = inflate_block(to, n);
  } else if (in_begin_ < in_end_) {
    got = std::min(n, in_end_ - in_begin_);
    std::memcpy(to, in_.data() + in_begin_, got);
    in_begin_ += got;
  } else {
    for (;;) {
      ssize_t r = in_eof_ ? 0 : ::read(fd_, to, n);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) throw io_error("Can't read " + name_);
      got = static_cast<std::size_t>(r);
      meter_read(got);
      break;
    }
  }
  produced_ += got;
  return got;
}

std::size_t gz_line_reader::inflate_block(char* to, std::size_t n) {
  z_stream& z = gzip_->z;
  if (n > (1u << 30)) n = 1u << 30;
  z.next_out = reinterpret_cast<Bytef*>(to);
  z.avail_out = static_cast<uInt>(n);
  while (z.avail_out == n) {
    if (in_begin_ == in_end_ && !refill()) {
      if (gzip_->member_end) break;      // the end of the last member
      throw io_error("Can't read " + name_);  // a member cut short
    }
    if (gzip_->member_end) {
      // More data: it must be another member (inflate checks its header).
      inflateReset(&z);
      gzip_->member_end = false;
    }
    z.next_in = reinterpret_cast<Bytef*>(in_.data() + in_begin_);
    z.avail_in = static_cast<uInt>(in_end_ - in_begin_);
    int ret = inflate(&z, Z_NO_FLUSH);
    in_begin_ = in_end_ - z.avail_in;
    if (ret == Z_STREAM_END)
      gzip_->member_end = true;
    else if (ret != Z_OK && ret != Z_BUF_ERROR)
      throw io_error("Can't read " + name_);
  }
  return n - z.avail_out;
}

void gz_line_reader::rewind() {
  if (::lseek(fd_, 0, SEEK_SET) != 0) throw io_error("Can't read " + name_);
  in_begin_ = in_end_ = 0;
  in_eof_ = false;
  produced_ = 0;
  inflateReset(&gzip_->z);
  gzip_->member_end = false;
}

void gz_line_reader::seek(std::uint64_t offset) {
  // Inside the current buffer: nothing to read.
  if (offset >= buffer_offset_ && offset <= buffer_offset_ + end_) {
    begin_ = static_cast<std::size_t>(offset - buffer_offset_);
    return;
  }
  if (!gzip_) {
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) throw io_error("Can't read " + name_);
    in_begin_ = in_end_ = 0;
    in_eof_ = false;
    produced_ = offset;
  } else {
    if (offset < produced_) rewind();
    std::vector<char> skipped(std::min<std::uint64_t>(offset - produced_, block_size));
    while (produced_ < offset) {
      std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(offset - produced_, skipped.size()));
      if (read_block(skipped.data(), want) == 0) throw io_error("Can't read " + name_);
    }
  }
  restart_at(offset);
}

}  // namespace varnex
