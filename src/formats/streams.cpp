#include "formats/streams.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <boost/iostreams/device/file_descriptor.hpp>
#include <boost/iostreams/filter/gzip.hpp>
#include <boost/iostreams/filtering_stream.hpp>
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
  int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
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

// Every regular file an output_file created in this run, for the signal
// handler: a run stopped by Ctrl-C or kill must not leave half a file that
// looks finished. Nodes are only ever pushed at the head, so the handler
// always sees a whole list.
struct output_node {
  char* name;
  output_node* next;
};
output_node* volatile run_outputs = nullptr;

void register_output(const std::string& name) {
  output_node* node = new output_node{::strdup(name.c_str()), run_outputs};
  if (!node->name) {
    delete node;
    return;
  }
  run_outputs = node;
}

extern "C" void remove_outputs_and_stop(int sig) {
  for (output_node* n = run_outputs; n; n = n->next) ::unlink(n->name);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

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

void remove_outputs_on_signal() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = remove_outputs_and_stop;
  sigfillset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    // A signal the caller chose to ignore (nohup, a background job) stays ignored.
    struct sigaction current;
    if (::sigaction(sig, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    ::sigaction(sig, &action, nullptr);
  }
}

void keep_outputs() {
  output_node* n = run_outputs;
  run_outputs = nullptr;
  while (n) {
    output_node* next = n->next;
    std::free(n->name);
    delete n;
    n = next;
  }
}

bool is_gz_name(std::string_view name) { return name.find(".gz") != std::string_view::npos; }

std::string tagged_name(std::string_view name, std::string_view tag) {
  std::string result(name);
  std::size_t p = name.find(".gz");
  if (p == std::string_view::npos)
    result.append(tag);
  else
    result.insert(p, tag);
  return result;
}

bool same_file(const std::string& a, const std::string& b) {
  if (a == b) return true;
  struct stat sa, sb;
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

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

line_splitter::line_splitter() : buffer_(block_size) {}

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
  if (name.empty()) throw io_error("Can't open " + name);
  struct stat st;
  bool existed = ::stat(name.c_str(), &st) == 0;
  if (existed && S_ISDIR(st.st_mode)) throw io_error("Can't open " + name);
  int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) throw io_error("Can't open " + name);
  chain_->fd = fd;
  struct stat now;
  // Only a regular file is ever removed after a failure (never /dev/stdout).
  created_regular_ = ::fstat(fd, &now) == 0 && S_ISREG(now.st_mode);
  if (created_regular_) register_output(name);
  if (!compressed) {
    chain_->direct = true;
    return;
  }
  if (options.threads > 1 || options.bgzf) {
    chain_->direct = true;
    try {
      chain_->parallel = std::make_unique<parallel_gzip_writer>(
          fd, name, options.threads,
          options.bgzf ? parallel_gzip_writer::format::bgzf : parallel_gzip_writer::format::member);
    } catch (...) {
      ::close(fd);
      if (created_regular_) ::unlink(name.c_str());
      throw;
    }
    return;
  }
  io::gzip_params params;  // zlib default level, deflate, 15 bits, level 8
  params.level = io::zlib::default_compression;
  params.method = io::zlib::deflated;
  params.window_bits = 15;
  params.mem_level = 8;
  params.strategy = io::zlib::default_strategy;
  params.file_name = "";
  params.comment = "";
  params.mtime = 0;
  chain_->stream.push(io::gzip_compressor(params, chain_buffer), chain_buffer);
  chain_->stream.push(fd_sink(fd, &chain_->failed), chain_buffer);
  chain_->stream.exceptions(std::ios::badbit | std::ios::failbit);
}

output_file::~output_file() {
  writer_.reset();
  chain_->parallel.reset();
  if (closed_) return;
  if (!chain_->direct) {
    try {
      chain_->stream.exceptions(std::ios::goodbit);
      chain_->stream.reset();
    } catch (...) {
    }
  }
  ::close(chain_->fd);
  if (created_regular_) ::unlink(name_.c_str());
}

void output_file::settle() {
  if (writer_ && !writer_->wait()) throw io_error("Can't write " + name_);
}

void output_file::drain() {
  if (used_ == 0) return;
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

void output_file::close() {
  if (closed_) return;
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
  if (::close(fd) != 0) {
    if (created_regular_) ::unlink(name_.c_str());
    closed_ = true;
    throw io_error("Can't write " + name_);
  }
  closed_ = true;
}

// ------------------------------------------------------------ gz_line_reader

gz_line_reader::gz_line_reader(const std::string& name) : name_(name) {
  int fd = open_input_fd(name);
  meter_opened(fd);
  gzFile f = gzdopen(fd, "rb");
  if (!f) {
    ::close(fd);
    throw io_error("Can't open " + name);
  }
  gzbuffer(f, 256 * 1024);
  file_ = f;
}

gz_line_reader::~gz_line_reader() {
  if (file_) gzclose(static_cast<gzFile>(file_));
}

std::size_t gz_line_reader::read_block(char* to, std::size_t n) {
  if (n > (1u << 30)) n = 1u << 30;
  int got = gzread(static_cast<gzFile>(file_), to, static_cast<unsigned>(n));
  if (got < 0) throw io_error("Can't read " + name_);
  meter_offset(gzoffset(static_cast<gzFile>(file_)), metered_);
  if (got == 0) {
    int err = 0;
    gzerror(static_cast<gzFile>(file_), &err);
    // A truncated gzip member reads as Z_BUF_ERROR at the end.
    if (err != Z_OK && err != Z_STREAM_END) throw io_error("Can't read " + name_);
  }
  return static_cast<std::size_t>(got);
}

void gz_line_reader::seek(std::uint64_t offset) {
  // Inside the current buffer: no need to touch zlib.
  if (offset >= buffer_offset_ && offset <= buffer_offset_ + end_) {
    begin_ = static_cast<std::size_t>(offset - buffer_offset_);
    return;
  }
  if (gzseek(static_cast<gzFile>(file_), static_cast<z_off_t>(offset), SEEK_SET) < 0)
    throw io_error("Can't read " + name_);
  restart_at(offset);
}

}  // namespace varnex
