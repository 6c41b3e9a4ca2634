#include "formats/output.hpp"

#include <unistd.h>

#include <boost/iostreams/filter/gzip.hpp>
#include <boost/iostreams/filtering_stream.hpp>
#include <charconv>
#include <cmath>
#include <cstring>

#include "formats/bgen_io.hpp"
#include "formats/crew.hpp"
#include "formats/parallel_gzip.hpp"
#include "formats/streams.hpp"

namespace io = boost::iostreams;

namespace varnex {

namespace {

// A 4096-byte filter buffer makes gzip output slower than this.
constexpr std::streamsize chain_buffer = 256 * 1024;
// Large enough that a write costs little per byte, small enough that a mode
// holding several files open stays within a few MiB.
constexpr std::size_t block_size = 256 * 1024;

// Sink on a file descriptor that remembers a failed write. The chain swallows
// the errors of the flushes it makes while closing (the last block and the
// gzip trailer), so `output_file::close` asks the sink itself.
class fd_sink {
 public:
  typedef char char_type;
  typedef io::sink_tag category;
  fd_sink(int fd, bool* failed) : fd_(fd), failed_(failed) {}
  std::streamsize write(const char* s, std::streamsize n) {
    if (!write_all(fd_, s, static_cast<std::size_t>(n))) {
      *failed_ = true;
      throw std::ios_base::failure("write failed");
    }
    return n;
  }

 private:
  int fd_;
  bool* failed_;
};

// The compression chain of a gzip output, the one place it is built. Boost's
// defaults are the output's: zlib's default level, deflate, 15 window bits,
// memory level 8, no name, no comment, modification time 0.
void push_compressor(io::filtering_ostream& stream, int fd, bool* failed) {
  stream.push(io::gzip_compressor(io::gzip_params(), chain_buffer), chain_buffer);
  stream.push(fd_sink(fd, failed), chain_buffer);
  stream.exceptions(std::ios::badbit | std::ios::failbit);
}

}  // namespace

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
    if (parallel) return parallel->write(data, n);
    if (direct) {
      if (!write_all(fd, data, n)) throw run_failure("Can't write " + name);
      return;
    }
    try {
      stream.write(data, static_cast<std::streamsize>(n));
    } catch (...) {
      throw run_failure("Can't write " + name);
    }
    if (failed) throw run_failure("Can't write " + name);
  }
};

// The thread that writes full blocks while the next one fills. One block is
// in flight at most, so the order of the blocks is kept.
struct output_file::writer : crew {
  std::vector<char> block;
  std::size_t used = 0;
  bool busy = false;     // `block` holds text not yet written
  bool failed = false;   // a write of this thread failed

  writer(chain& out, const std::string& name) {
    threads.emplace_back([this, &out, &name] { run(out, name); });
  }
  ~writer() { stop(); }

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
  if (writer_ && !writer_->wait()) throw run_failure("Can't write " + name_);
}

void output_file::drain() {
  if (used_ == 0) return;
  if (sink_) {
    sink_->consume(buffer_.data(), used_);
    used_ = 0;
    return;
  }
  settle();
  if (writer_) {
    writer_->hand_over(buffer_, used_);
  } else {
    // The first block is written here: an output of one block never needs
    // the thread. The compressing threads take the text at once: no thread.
    chain_->write(name_, buffer_.data(), used_);
    if (!chain_->parallel) writer_ = std::make_unique<writer>(*chain_, name_);
  }
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
  const int decimals = value == std::floor(value) ? 0 : 4;
  advance(std::to_chars(p, p + 400, value, std::chars_format::fixed, decimals).ptr - p);
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
      throw run_failure("Can't write " + name_);
    }
    if (chain_->failed) throw run_failure("Can't write " + name_);
  }
  int fd = chain_->fd;
  chain_->fd = -1;
  finished_ = true;
  std::vector<char>().swap(buffer_);  // a run may hold many finished outputs
  if (::close(fd) != 0) {
    discard_output_target(target_);
    throw run_failure("Can't write " + name_);
  }
}

void output_file::commit() {
  if (!finished_) throw run_failure("Can't write " + name_);
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

}  // namespace varnex
