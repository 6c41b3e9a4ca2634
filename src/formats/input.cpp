#include "formats/input.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <boost/iostreams/device/file_descriptor.hpp>
#include <boost/iostreams/filter/gzip.hpp>
#include <boost/iostreams/filtering_stream.hpp>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>

#include "formats/bgzf.hpp"
#include "formats/crew.hpp"
#include "formats/streams.hpp"

namespace io = boost::iostreams;

namespace varnex {

namespace {

std::atomic<std::uint64_t> meter_bytes{0}, meter_size{0}, meter_lines{0};
std::atomic<bool> meter_unsized{false};

// Opens `name` for reading and sets `st` to what it is.
int open_input_fd(const std::string& name, struct stat& st) {
  // A copy of standard input: closing it leaves descriptor 0 alone. An empty
  // name opens nothing.
  int fd = is_standard_stream(name) ? ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0)
                                    : ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0 && (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode))) {
    ::close(fd);
    fd = -1;
  }
  if (fd < 0) throw run_failure("Can't open " + name);
  return fd;
}

}  // namespace

input_meter read_so_far() {
  return {.bytes_read = meter_bytes.load(std::memory_order_relaxed),
          .bytes_opened = meter_size.load(std::memory_order_relaxed),
          .lines = meter_lines.load(std::memory_order_relaxed),
          .sizes_known = !meter_unsized.load(std::memory_order_relaxed)};
}

void meter_read(std::uint64_t bytes) { meter_bytes.fetch_add(bytes, std::memory_order_relaxed); }

void check_readable(const std::string& name) {
  struct stat st;
  ::close(open_input_fd(name, st));
}

// ---------------------------------------------------------------- input_file

// Gzip text inflated ahead by a thread of its own into a small ring of
// blocks, so that reading costs the slower of inflating and parsing rather
// than their sum. The thread runs the same decompressor a one-thread read
// would; a failure is handed over after the text inflated before it.
class read_ahead {
 public:
  // `inflate`: the decompressor, called on the thread only.
  template <typename Inflate>
  read_ahead(std::size_t block, Inflate inflate) : blocks_(depth, std::vector<char>(block)) {
    crew_.threads.emplace_back([this, inflate] { run(inflate); });
  }

  std::size_t read(char* to, std::size_t n) {
    std::size_t copied = 0;
    while (copied < n) {
      {
        std::unique_lock<std::mutex> lock(crew_.mutex);
        if (copied > 0 && produced_ == consumed_) break;  // hand out what there is
        crew_.changed.wait(lock, [this] { return produced_ > consumed_ || done_; });
        if (produced_ == consumed_) {
          if (failure_) std::rethrow_exception(failure_);
          break;
        }
      }
      // Block `consumed_` is the caller's until it is handed back.
      const std::size_t i = consumed_ % depth;
      const std::size_t take = std::min(n - copied, sizes_[i] - at_);
      std::memcpy(to + copied, blocks_[i].data() + at_, take);
      copied += take;
      at_ += take;
      if (at_ == sizes_[i]) {
        at_ = 0;
        {
          std::lock_guard<std::mutex> lock(crew_.mutex);
          ++consumed_;
        }
        crew_.changed.notify_all();
      }
    }
    return copied;
  }

 private:
  static constexpr std::size_t depth = 3;

  template <typename Inflate>
  void run(Inflate inflate) {
    for (std::size_t n = 0;; ++n) {
      {
        std::unique_lock<std::mutex> lock(crew_.mutex);
        crew_.changed.wait(lock, [&] { return crew_.stopping || n < consumed_ + depth; });
        if (crew_.stopping) return;
      }
      std::vector<char>& b = blocks_[n % depth];
      std::size_t size = 0;
      std::exception_ptr failure;
      try {
        for (std::size_t got = 1; got && size < b.size(); size += got)
          got = inflate(b.data() + size, b.size() - size);
      } catch (...) {
        failure = std::current_exception();
      }
      const bool done = failure || size < b.size();
      {
        std::lock_guard<std::mutex> lock(crew_.mutex);
        sizes_[n % depth] = size;
        if (size > 0) produced_ = n + 1;
        done_ = done;
        failure_ = failure;
      }
      crew_.changed.notify_all();
      if (done) return;
    }
  }

  std::vector<std::vector<char>> blocks_;
  std::size_t sizes_[depth] = {};
  std::size_t at_ = 0;  // handed out of block consumed_
  std::size_t produced_ = 0, consumed_ = 0;  // blocks
  bool done_ = false;
  std::exception_ptr failure_;
  crew crew_;  // last: stopped and joined before the blocks go
};

// Plain text is read straight from the descriptor: a chain would only add a
// copy through its own buffer. A 4096-byte filter buffer makes gzip input
// about twice as slow as 256 KiB. Gzip found by content is inflated by zlib
// itself, so that the text before damage is still handed out, as the modes
// that read by content promise.
struct input_file::chain {
  int fd = -1;
  bool gzip = false;
  bool by_content = false;  // gzip found by content: inflated by zlib
  std::string pending;  // read from a pipe to look for the gzip magic
  std::size_t buffer = 0;
  int threads = 1;
  bool regular = false;  // a regular file
  std::uint64_t metered = 0;  // what the decompressor took from the file
  std::unique_ptr<bgzf_reader> blocks;
  std::unique_ptr<io::filtering_istream> stream;
  std::unique_ptr<read_ahead> ahead;  // runs the decompressor, when it has a thread
  // Gzip found by content, or after the blocks of BGZF data.
  std::unique_ptr<z_stream> z;
  std::vector<char> in;  // compressed input
  std::size_t in_begin = 0, in_end = 0;
  bool member_end = false;  // the last member ended; another may follow
  void close_decompressor() {
    ahead.reset();  // first: its thread uses the rest
    metered = 0;
    pending.clear();
    if (z) inflateEnd(z.get());
    z.reset();
    std::vector<char>().swap(in);
    blocks.reset();
    try {
      stream.reset();
    } catch (...) {
    }
  }
  ~chain() {
    close_decompressor();
    if (fd >= 0) ::close(fd);
  }
};

input_file::input_file(const std::string& name, compression policy, const stream_options& options,
                       std::size_t buffer)
    : name_(name), chain_(std::make_unique<chain>()) {
  chain& c = *chain_;
  struct stat st;
  c.fd = open_input_fd(name, st);
  // A pipe could keep a thread waiting for data after the run has stopped.
  c.regular = S_ISREG(st.st_mode);
  if (c.regular)
    meter_size.fetch_add(static_cast<std::uint64_t>(st.st_size), std::memory_order_relaxed);
  else
    meter_unsized.store(true, std::memory_order_relaxed);
  c.buffer = std::max<std::size_t>(buffer, 1024);
  c.threads = options.threads;
  c.gzip = policy == compression::gzip;
  if (policy == compression::by_content) {
    char magic[2];
    ssize_t got = ::pread(c.fd, magic, 2, 0);
    if (got < 0 && errno == ESPIPE) {
      // A pipe cannot go back: the bytes read are handed out first.
      got = 0;
      for (std::size_t r = 1; got < 2 && r;) got += r = read_raw(magic + got, 2 - got);
      c.pending.assign(magic, got);
    }
    c.gzip = c.by_content = got == 2 && magic[0] == '\x1f' && magic[1] == '\x8b';
  }
}

// From the descriptor, after the bytes already taken from a pipe to look for
// the gzip magic.
std::size_t input_file::read_raw(char* to, std::size_t n) {
  chain& c = *chain_;
  if (!c.pending.empty()) {
    const std::size_t got = std::min(n, c.pending.size());
    std::memcpy(to, c.pending.data(), got);
    c.pending.erase(0, got);
    return got;
  }
  for (;;) {
    ssize_t got = ::read(c.fd, to, n);
    if (got >= 0) {
      meter_read(static_cast<std::uint64_t>(got));
      return static_cast<std::size_t>(got);
    }
    if (errno != EINTR) throw run_failure("Can't read " + name_);
  }
}

input_file::~input_file() = default;

bool input_file::compressed() const { return chain_->gzip; }
int input_file::fd() const { return chain_->fd; }

void input_file::open_chain() {
  chain& c = *chain_;
  if (starts_bgzf(c.fd)) {
    c.blocks = std::make_unique<bgzf_reader>(c.fd, name_, c.threads);
    return;
  }
  const auto size = static_cast<std::streamsize>(c.buffer);
  c.stream = std::make_unique<io::filtering_istream>();
  c.stream->push(io::gzip_decompressor(15, size), size);
  c.stream->push(io::file_descriptor_source(c.fd, io::never_close_handle), size);
}

std::size_t input_file::read(char* buffer, std::size_t n) {
  chain& c = *chain_;
  if (!c.gzip) return read_raw(buffer, n);
  if (c.ahead) return c.ahead->read(buffer, n);
  if (!c.by_content && !c.blocks && !c.stream) open_chain();
  // BGZF has threads of its own.
  if (c.threads > 1 && c.regular && !c.blocks) {
    try {
      c.ahead = std::make_unique<read_ahead>(4 * c.buffer, [this](char* to, std::size_t size) {
        return decompress(to, size);
      });
    } catch (const std::system_error&) {
      c.threads = 1;  // no thread to be had: inflated here
    }
    if (c.ahead) return c.ahead->read(buffer, n);
  }
  return decompress(buffer, n);
}

std::size_t input_file::decompress(char* buffer, std::size_t n) {
  chain& c = *chain_;
  if (c.by_content || c.z) return inflate(buffer, n);
  std::size_t got = 0;
  if (c.blocks) {
    got = c.blocks->read(buffer, n);
  } else {
    auto& s = *c.stream;
    if (s.bad()) throw run_failure("Can't read " + name_);
    if (s.eof()) return 0;
    try {
      s.read(buffer, static_cast<std::streamsize>(n));
    } catch (...) {
      throw run_failure("Can't read " + name_);
    }
    if (s.bad()) throw run_failure("Can't read " + name_);
    got = static_cast<std::size_t>(s.gcount());
  }
  // The decompressors read ahead on their own: what they took from the file.
  const off_t at = ::lseek(c.fd, 0, SEEK_CUR);
  if (at >= 0 && static_cast<std::uint64_t>(at) > c.metered) {
    meter_read(static_cast<std::uint64_t>(at) - c.metered);
    c.metered = static_cast<std::uint64_t>(at);
  }
  // Gzip members without the BC field after the blocks: zlib reads on.
  if (got == 0 && c.blocks && !(c.pending = c.blocks->rest()).empty()) return inflate(buffer, n);
  return got;
}

// Streams text up to the damage: what was inflated is handed out before the
// damage is reported.
std::size_t input_file::inflate(char* to, std::size_t n) {
  chain& c = *chain_;
  if (!c.z) {
    c.z = std::make_unique<z_stream>();
    std::memset(c.z.get(), 0, sizeof(z_stream));
    // Gzip members only: a member followed by anything else fails.
    if (inflateInit2(c.z.get(), 15 + 16) != Z_OK) throw std::bad_alloc();
    c.in.resize(c.buffer);
    c.in_begin = c.in_end = 0;
    c.member_end = false;
  }
  z_stream& z = *c.z;
  if (n > (1u << 30)) n = 1u << 30;
  z.next_out = reinterpret_cast<Bytef*>(to);
  z.avail_out = static_cast<uInt>(n);
  while (z.avail_out == n) {
    if (c.in_begin == c.in_end) {
      c.in_begin = 0;
      c.in_end = read_raw(c.in.data(), c.in.size());
      if (c.in_end == 0) {
        if (c.member_end) break;                // the end of the last member
        throw run_failure("Can't read " + name_);  // a member cut short
      }
    }
    if (c.member_end) {
      // More data: it must be another member (inflate checks its header).
      inflateReset(&z);
      c.member_end = false;
    }
    z.next_in = reinterpret_cast<Bytef*>(c.in.data() + c.in_begin);
    z.avail_in = static_cast<uInt>(c.in_end - c.in_begin);
    int ret = ::inflate(&z, Z_NO_FLUSH);
    c.in_begin = c.in_end - z.avail_in;
    if (ret == Z_STREAM_END)
      c.member_end = true;
    else if (ret != Z_OK && ret != Z_BUF_ERROR)
      throw run_failure("Can't read " + name_);
  }
  return n - z.avail_out;
}

void input_file::restart(std::uint64_t offset) {
  chain_->close_decompressor();
  if (::lseek(chain_->fd, static_cast<off_t>(chain_->gzip ? 0 : offset), SEEK_SET) < 0)
    throw run_failure("Can't read " + name_);
}

void input_file::rest(std::size_t buffer) {
  chain_->buffer = std::max<std::size_t>(buffer, 1024);
  restart(0);
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
  std::size_t stop;  // the line feed, or the end of a last line without one
  for (;;) {
    if (const void* nl = std::memchr(buffer_.data() + scanned, '\n', end_ - scanned)) {
      stop = static_cast<const char*>(nl) - buffer_.data();
      break;
    }
    std::size_t pending = end_ - begin_;
    if (!fill()) {
      if (pending == 0) return false;
      stop = end_;
      break;
    }
    scanned = begin_ + pending;
  }
  line = std::string_view(buffer_.data() + begin_, stop - begin_);
  line_offset_ = buffer_offset_ + begin_;
  begin_ = std::min(stop + 1, end_);
  ++line_number_;
  return true;
}

void line_reader::seek(std::uint64_t offset) {
  // Inside the current buffer: nothing to read.
  if (offset >= buffer_offset_ && offset <= buffer_offset_ + end_) {
    begin_ = static_cast<std::size_t>(offset - buffer_offset_);
    return;
  }
  std::uint64_t produced = buffer_offset_ + end_;  // text read so far
  if (!input_.compressed() || offset < produced) {
    input_.restart(offset);
    produced = input_.compressed() ? 0 : offset;
  }
  // Gzip data: decompressed up to the offset, through the line buffer.
  while (produced < offset) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(offset - produced, buffer_.size()));
    const std::size_t got = input_.read(buffer_.data(), want);
    if (got == 0) throw run_failure("Can't read " + input_.name());
    produced += got;
  }
  buffer_offset_ = offset;
  begin_ = end_ = 0;
  eof_ = false;
}

}  // namespace varnex
