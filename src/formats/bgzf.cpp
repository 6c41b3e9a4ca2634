#include "formats/bgzf.hpp"

#include <libdeflate.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "formats/crew.hpp"
#include "formats/little_endian.hpp"
#include "formats/streams.hpp"

namespace varnex {

namespace {

constexpr std::size_t header_size = 18;  // with the BC extra field
constexpr std::size_t trailer_size = 8;   // CRC-32 and length
constexpr std::size_t max_block = 65536;

const unsigned char end_block[28] = {0x1f, 0x8b, 8, 4, 0, 0, 0, 0, 0, 0xff, 6, 0, 'B', 'C',
                                     2,    0,    0x1b, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// Size of the block whose header starts at p (n bytes available), or 0 when
// it is not a BGZF block header.
std::size_t block_size(const unsigned char* p, std::size_t n) {
  if (n < 12 || p[0] != 0x1f || p[1] != 0x8b || p[2] != 8 || p[3] != 4) return 0;
  std::size_t xlen = get_le16(p + 10);
  if (n < 12 + xlen) return 0;
  for (std::size_t i = 12; i + 4 <= 12 + xlen;) {
    std::size_t slen = get_le16(p + i + 2);
    if (p[i] == 'B' && p[i + 1] == 'C' && slen == 2 && i + 6 <= 12 + xlen) return get_le16(p + i + 4) + 1;
    i += 4 + slen;
  }
  return 0;
}

}  // namespace

void bgzf_put_block(void* compressor, const char* text, std::size_t n, std::vector<unsigned char>& out) {
  std::size_t start = out.size();
  out.resize(start + max_block);
  unsigned char* b = out.data() + start;
  std::memcpy(b, end_block, header_size);
  std::size_t room = max_block - header_size - trailer_size;
  std::size_t packed = libdeflate_deflate_compress(static_cast<libdeflate_compressor*>(compressor),
                                                   text, n, b + header_size, room);
  if (packed == 0) {
    // Incompressible: one stored deflate block always fits.
    b[header_size] = 1;
    put_le(b + header_size + 1, static_cast<std::uint32_t>(n), 2);
    put_le(b + header_size + 3, static_cast<std::uint32_t>(~n & 0xffff), 2);
    std::memcpy(b + header_size + 5, text, n);
    packed = n + 5;
  }
  std::size_t total = header_size + packed + trailer_size;
  put_le(b + 16, static_cast<std::uint32_t>(total - 1), 2);
  put_le(b + header_size + packed, static_cast<std::uint32_t>(libdeflate_crc32(0, text, n)), 4);
  put_le(b + header_size + packed + 4, static_cast<std::uint32_t>(n), 4);
  out.resize(start + total);
}

void bgzf_put_end(std::vector<unsigned char>& out) { out.insert(out.end(), end_block, end_block + sizeof end_block); }

bool starts_bgzf(int fd) {
  unsigned char head[64];
  ssize_t got = ::pread(fd, head, sizeof head, 0);
  return got > 0 && block_size(head, static_cast<std::size_t>(got)) != 0;
}

// ---------------------------------------------------------------- the reader

namespace {

// A run of whole blocks, inflated by one worker.
struct batch {
  std::vector<unsigned char> in;
  std::vector<std::size_t> starts;  // block starts in `in`, and its end
  std::vector<char> text;
  std::size_t served = 0;  // bytes of `text` already handed out
  bool done = false;
  bool ok = false;
};

// A batch holds at most this many blocks (512 KiB of text), so a reader
// holds about 1.5 MiB per thread.
constexpr std::size_t batch_blocks = 8;

bool inflate_batch(libdeflate_decompressor* d, batch& b) {
  std::size_t total = 0;
  for (std::size_t i = 0; i + 1 < b.starts.size(); ++i) {
    const unsigned char* p = b.in.data() + b.starts[i + 1];
    total += get_le32(p - 4);
  }
  b.text.resize(total);
  std::size_t at = 0;
  for (std::size_t i = 0; i + 1 < b.starts.size(); ++i) {
    const unsigned char* p = b.in.data() + b.starts[i];
    std::size_t size = b.starts[i + 1] - b.starts[i];
    std::size_t data = 12 + get_le16(p + 10);
    if (size < data + trailer_size) return false;
    std::uint32_t length = get_le32(p + size - 4);
    if (libdeflate_deflate_decompress(d, p + data, size - data - trailer_size, b.text.data() + at,
                                      length, nullptr) != LIBDEFLATE_SUCCESS)
      return false;
    if (static_cast<std::uint32_t>(libdeflate_crc32(0, b.text.data() + at, length)) != get_le32(p + size - 8))
      return false;
    at += length;
  }
  return true;
}

}  // namespace

// Batches live in a ring: batch k in slot k % slots. The caller cuts the file
// into batches (`cut`), workers inflate those below `cut` from `taken` on,
// and the caller serves batch `serving` once it is done.
struct bgzf_reader::state : crew {
  int fd;
  std::string name;
  std::vector<batch> slots;
  std::uint64_t cut = 0, taken = 0, serving = 0;
  libdeflate_decompressor* own = nullptr;  // one thread: inflated by the caller

  // The raw file, read ahead in large pieces.
  std::vector<unsigned char> raw = std::vector<unsigned char>(4 * max_block);
  std::size_t raw_begin = 0, raw_end = 0;
  bool raw_eof = false;
  bool blocks_over = false;  // no more BGZF blocks to cut
  bool tail = false;         // members without the BC field follow them

  batch& at(std::uint64_t k) { return slots[k % slots.size()]; }
  [[noreturn]] void fail() { throw run_failure("Can't read " + name); }

  // Makes at least n raw bytes available if the file has them.
  void fill(std::size_t n) {
    if (raw_end - raw_begin >= n || raw_eof) return;
    std::memmove(raw.data(), raw.data() + raw_begin, raw_end - raw_begin);
    raw_end -= raw_begin;
    raw_begin = 0;
    while (raw_end < n && !raw_eof) {
      ssize_t got = ::read(fd, raw.data() + raw_end, raw.size() - raw_end);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) fail();
      if (got == 0) raw_eof = true;
      raw_end += static_cast<std::size_t>(got);
    }
  }

  // Cuts the next batch of whole blocks from the file into b; false when the
  // blocks are over.
  bool cut_batch(batch& b) {
    b.in.clear();
    b.starts.assign(1, 0);
    b.served = 0;
    while (b.starts.size() <= batch_blocks) {
      fill(header_size);
      std::size_t have = raw_end - raw_begin;
      if (have == 0) {
        blocks_over = true;
        break;
      }
      const unsigned char* p = raw.data() + raw_begin;
      std::size_t size = block_size(p, have);
      if (size == 0) {
        if (have >= 3 && p[0] == 0x1f && p[1] == 0x8b && p[2] == 8) {
          tail = true;  // an ordinary gzip member follows
        } else {
          fail();  // damaged, or bytes that are not gzip
        }
        blocks_over = true;
        break;
      }
      fill(size);
      if (raw_end - raw_begin < size || size < header_size + trailer_size) fail();  // truncated
      if (get_le32(raw.data() + raw_begin + size - 4) > max_block) fail();
      b.in.insert(b.in.end(), raw.data() + raw_begin, raw.data() + raw_begin + size);
      b.starts.push_back(b.in.size());
      raw_begin += size;
    }
    return b.starts.size() > 1;
  }

  void work() {
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    // `ok` is read once `done` is seen under the lock.
    serve(
        taken, cut, [&](std::uint64_t k) { return at(k).ok = d && inflate_batch(d, at(k)); },
        [this](std::uint64_t k, bool) { at(k).done = true; });
    if (d) libdeflate_free_decompressor(d);
  }

  // Cuts batches into every free slot.
  void cut_ahead() {
    while (!blocks_over) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (cut >= serving + slots.size()) return;
      }
      batch& b = at(cut);
      if (!cut_batch(b)) return;
      if (own) {
        b.ok = inflate_batch(own, b);
        b.done = true;
        ++cut;
        return;
      }
      {
        std::lock_guard<std::mutex> lock(mutex);
        b.done = false;
        ++cut;
      }
      changed.notify_all();
    }
  }
};

bgzf_reader::bgzf_reader(int fd, const std::string& name, int threads) : s_(std::make_unique<state>()) {
  s_->fd = fd;
  s_->name = name;
  if (threads <= 1) {
    s_->slots.resize(1);
    s_->own = libdeflate_alloc_decompressor();
    if (!s_->own) throw std::bad_alloc();
    return;
  }
  s_->slots.resize(2 * static_cast<std::size_t>(threads) + 1);
  try {
    for (int i = 0; i < threads; ++i) s_->threads.emplace_back([this] { s_->work(); });
  } catch (...) {
    s_->stop();
    throw;
  }
}

bgzf_reader::~bgzf_reader() {
  s_->stop();
  if (s_->own) libdeflate_free_decompressor(s_->own);
}

std::size_t bgzf_reader::read(char* to, std::size_t n) {
  state& s = *s_;
  for (;;) {
    s.cut_ahead();
    {
      std::unique_lock<std::mutex> lock(s.mutex);
      if (s.serving == s.cut) break;  // no batch left
      s.changed.wait(lock, [&s] { return s.at(s.serving).done; });
    }
    batch& b = s.at(s.serving);
    if (!b.ok) s.fail();
    if (b.served < b.text.size()) {
      std::size_t take = std::min(n, b.text.size() - b.served);
      std::memcpy(to, b.text.data() + b.served, take);
      b.served += take;
      return take;
    }
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.serving;
  }
  return 0;
}

std::string bgzf_reader::rest() const {
  const state& s = *s_;
  return s.tail ? std::string(s.raw.begin() + s.raw_begin, s.raw.begin() + s.raw_end) : std::string();
}

}  // namespace varnex
