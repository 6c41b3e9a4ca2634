#include "formats/parallel_gzip.hpp"

#include <libdeflate.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <system_error>
#include <vector>

#include "formats/bgzf.hpp"
#include "formats/crew.hpp"
#include "formats/little_endian.hpp"
#include "formats/streams.hpp"

namespace varnex {

namespace {

constexpr std::size_t member_block = 128 * 1024;
constexpr std::size_t dictionary_size = 32 * 1024;

// The header a one-thread run writes: no name, no comment, mtime 0, no extra
// flags, operating system unknown.
const unsigned char member_header[10] = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 0xff};

struct job {
  std::vector<char> text;
  std::size_t used = 0;
  std::vector<char> dictionary;  // member format: the text before this block
  std::vector<unsigned char> out;
  std::uint32_t crc = 0;
  bool last = false;
  bool done = false;
};

// A worker's compressor, made once per thread.
class block_deflater {
 public:
  explicit block_deflater(parallel_gzip_writer::format f) : format_(f) {
    if (f == parallel_gzip_writer::format::bgzf) {
      libdeflate_ = libdeflate_alloc_compressor(6);
      if (!libdeflate_) throw std::bad_alloc();
      return;
    }
    std::memset(&z_, 0, sizeof z_);
    if (deflateInit2(&z_, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::bad_alloc();
    z_ready_ = true;
  }
  ~block_deflater() {
    if (libdeflate_) libdeflate_free_compressor(libdeflate_);
    if (z_ready_) deflateEnd(&z_);
  }

  // Fills j.out (and j.crc); false when zlib fails.
  bool compress(job& j) {
    j.out.clear();
    if (format_ == parallel_gzip_writer::format::bgzf) {
      for (std::size_t at = 0; at < j.used; at += bgzf_block_text)
        bgzf_put_block(libdeflate_, j.text.data() + at, std::min(bgzf_block_text, j.used - at), j.out);
      if (j.last) bgzf_put_end(j.out);
      return true;
    }
    j.crc = static_cast<std::uint32_t>(libdeflate_crc32(0, j.text.data(), j.used));
    if (deflateReset(&z_) != Z_OK) return false;
    if (!j.dictionary.empty() &&
        deflateSetDictionary(&z_, reinterpret_cast<const Bytef*>(j.dictionary.data()),
                             static_cast<uInt>(j.dictionary.size())) != Z_OK)
      return false;
    j.out.resize(deflateBound(&z_, j.used) + 64);
    z_.next_in = reinterpret_cast<Bytef*>(j.text.data());
    z_.avail_in = static_cast<uInt>(j.used);
    std::size_t produced = 0;
    int flush = j.last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
      z_.next_out = j.out.data() + produced;
      z_.avail_out = static_cast<uInt>(j.out.size() - produced);
      int rc = deflate(&z_, flush);
      produced = j.out.size() - z_.avail_out;
      if (rc == Z_STREAM_END) break;
      if (rc != Z_OK && rc != Z_BUF_ERROR) return false;
      if (z_.avail_in == 0 && z_.avail_out > 0 && flush == Z_SYNC_FLUSH) break;
      j.out.resize(j.out.size() * 2);
    }
    j.out.resize(produced);
    return true;
  }

 private:
  parallel_gzip_writer::format format_;
  libdeflate_compressor* libdeflate_ = nullptr;
  z_stream z_;
  bool z_ready_ = false;
};

}  // namespace

// Jobs live in a ring of slots: job k in slot k % slots. The caller fills job
// `filling`; workers take jobs below `submitted`; the writer stores job
// `written` once it is done. A slot is reused only after its job is written,
// which bounds the memory.
struct parallel_gzip_writer::state : crew {
  int fd;
  std::string name;
  format fmt;
  std::size_t block;
  std::vector<job> slots;
  std::uint64_t filling = 0, submitted = 0, taken = 0, written = 0;
  bool failed = false;
  bool finished = false;
  std::uint32_t crc = 0;     // of the text written so far (member format)
  std::uint64_t length = 0;  // its length
  int wanted = 1;  // worker threads
  std::vector<char> next_dictionary;

  job& at(std::uint64_t k) { return slots[k % slots.size()]; }

  bool put(const unsigned char* data, std::size_t n) {
    return write_all(fd, reinterpret_cast<const char*>(data), n);
  }

  void work() {
    std::unique_ptr<block_deflater> deflater;
    try {
      deflater = std::make_unique<block_deflater>(fmt);
    } catch (...) {
    }
    serve(
        taken, submitted, [&](std::uint64_t k) { return deflater && deflater->compress(at(k)); },
        [this](std::uint64_t k, bool ok) {
          at(k).done = true;
          failed |= !ok;
        });
  }

  void store() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      changed.wait(lock, [this] { return stopping || (written < submitted && at(written).done); });
      if (stopping) return;
      job& j = at(written);
      bool first = written == 0;
      lock.unlock();
      bool ok = !first || fmt == format::bgzf || put(member_header, sizeof member_header);
      ok = ok && put(j.out.data(), j.out.size());
      if (ok && fmt == format::member) {
        crc = static_cast<std::uint32_t>(crc32_combine(crc, j.crc, static_cast<z_off_t>(j.used)));
        length += j.used;
        if (j.last) {
          unsigned char trailer[8];
          put_le(trailer, crc, 4);
          put_le(trailer + 4, static_cast<std::uint32_t>(length), 4);
          ok = put(trailer, sizeof trailer);
        }
      }
      lock.lock();
      j.done = false;
      j.used = 0;
      ++written;
      if (!ok) failed = true;
      changed.notify_all();
      if (!ok) return;  // nothing more is written after a failure
    }
  }

  void check() {
    if (failed) throw run_failure("Can't write " + name);
  }

  // Starts the threads with the first job: a small output that is one job
  // needs a single worker.
  void start(bool last) {
    int workers = last && filling == 0 ? 1 : wanted;
    try {
      for (int i = 0; i < workers; ++i) threads.emplace_back([this] { work(); });
      threads.emplace_back([this] { store(); });
    } catch (const std::system_error&) {
      std::lock_guard<std::mutex> lock(mutex);
      failed = true;  // the destructor joins the threads that did start
    }
  }

  // Hands the filled job to the workers and waits for a free slot for the
  // next one, whose dictionary is the end of this one.
  void submit(bool last) {
    if (threads.empty()) start(last);
    job& full = at(filling);
    if (fmt == format::member && !last) {
      std::size_t n = std::min(dictionary_size, full.used);
      next_dictionary.assign(full.text.data() + full.used - n, full.text.data() + full.used);
    }
    std::unique_lock<std::mutex> lock(mutex);
    check();
    full.last = last;
    submitted = ++filling;
    changed.notify_all();
    if (last) return;
    changed.wait(lock, [this] { return failed || filling < written + slots.size(); });
    check();
    if (fmt == format::member) at(filling).dictionary.swap(next_dictionary);
  }
};

parallel_gzip_writer::parallel_gzip_writer(int fd, const std::string& name, int threads, format f)
    : s_(std::make_unique<state>()) {
  if (threads < 1) threads = 1;
  s_->fd = fd;
  s_->name = name;
  s_->fmt = f;
  // A BGZF job holds several blocks so that workers seldom meet at the lock.
  s_->block = f == format::member ? member_block : 4 * bgzf_block_text;
  s_->wanted = threads;
  s_->slots.resize(2 * static_cast<std::size_t>(threads) + 2);
}

parallel_gzip_writer::~parallel_gzip_writer() { s_->stop(); }

void parallel_gzip_writer::write(const char* data, std::size_t n) {
  while (n > 0) {
    job& j = s_->at(s_->filling);
    if (j.text.size() < s_->block) j.text.resize(s_->block);
    std::size_t room = s_->block - j.used;
    std::size_t take = std::min(room, n);
    std::memcpy(j.text.data() + j.used, data, take);
    j.used += take;
    data += take;
    n -= take;
    if (j.used == s_->block) s_->submit(false);
  }
}

void parallel_gzip_writer::finish() {
  if (s_->finished) return;
  s_->finished = true;
  s_->submit(true);
  std::unique_lock<std::mutex> lock(s_->mutex);
  s_->changed.wait(lock, [this] { return s_->failed || s_->written == s_->submitted; });
  s_->check();
}

}  // namespace varnex
