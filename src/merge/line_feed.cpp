#include "merge/line_feed.hpp"

#include <fcntl.h>
#include <unistd.h>

#include "formats/gen.hpp"
#include "formats/streams.hpp"

namespace varnex {

namespace {

// Text per batch: large enough that handing batches over costs nothing,
// small enough to stay in the caches' reach.
constexpr std::size_t batch_text = 4 << 20;

}  // namespace

// The second read of one GEN input.
class line_feed::source {
 public:
  source(const std::string& name, spill_file& spill) : name_(name) {
    if (has_gzip_content(name)) {
      gz_ = std::make_unique<gz_line_reader>(name);
    } else {
      check_readable(name);
      fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd_ < 0) throw io_error("Can't open " + name);
      plain_ = std::make_unique<range_reader>(fd_, name);
    }
    if (spill.used()) spilled_ = std::make_unique<range_reader>(spill.fd(), spill.description());
  }
  ~source() {
    if (fd_ >= 0) ::close(fd_);
  }

  // What follows allele B in the line of `e`, checked to be the line the
  // first pass saw there; valid until the next call.
  std::string_view probabilities(const position_entry& e) {
    std::string_view text;
    if (e.spilled()) {
      text = spilled_->get(e.offset(), e.length);
    } else if (plain_) {
      text = plain_->get(e.offset(), e.length);
    } else {
      gz_->seek(e.offset());
      if (!gz_->next(text) || text.size() != e.length) throw io_error("Can't read " + name_);
    }
    gen_line f = split_gen_line(text);
    if (f.leading_fields < 5 || !f.position_ok || f.position != e.pos)
      throw io_error("Can't read " + name_ + ": it changed during the merge");
    return f.probabilities;
  }

 private:
  std::string name_;
  int fd_ = -1;
  std::unique_ptr<gz_line_reader> gz_;
  std::unique_ptr<range_reader> plain_;
  std::unique_ptr<range_reader> spilled_;
};

line_feed::line_feed(const std::vector<position_entry>& entries, const position_index& index,
                     const std::vector<std::string>& gen_files, spill_file& spill,
                     const sample_union& samples, bool copy_text)
    : entries_(entries), index_(index), samples_(samples), copy_text_(copy_text) {
  for (const std::string& name : gen_files) sources_.push_back(std::make_unique<source>(name, spill));
  thread_ = std::thread([this] { read_all(); });
}

line_feed::~line_feed() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void line_feed::read_all() {
  std::size_t first = 0;
  for (std::size_t n = 0; first < entries_.size(); ++n) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || n < used_ + 2; });
      if (stopping_) return;
    }
    batch& b = batches_[n % 2];
    fill(b, first);
    first = b.end;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      filled_ = n + 1;
    }
    changed_.notify_all();
  }
}

void line_feed::fill(batch& b, std::size_t first) {
  const std::size_t n = entries_.size();
  b.first = first;
  b.failed_at = SIZE_MAX;
  b.failure = nullptr;
  std::size_t end = first, bytes = 0;
  while (end < n && (end == first || bytes < batch_text)) {
    const std::int32_t pos = entries_[end].pos;
    const bool skipped = index_.bad(entries_[end].slot);
    for (; end < n && entries_[end].pos == pos; ++end)
      if (!skipped) bytes += entries_[end].length;
  }
  b.end = end;
  try {
    // Reserved whole, so the views into it stay valid while it fills.
    b.text.clear();
    b.text.reserve(bytes);
    b.lines.assign(end - first, fed_line{{}, false, nullptr});
    if (b.triples.size() < end - first) b.triples.resize(end - first);
  } catch (...) {
    b.failed_at = first;
    b.failure = std::current_exception();
    b.end = n;
    return;
  }
  for (std::size_t i = first; i < end;) {
    std::size_t group_end = i;
    while (group_end < end && entries_[group_end].pos == entries_[i].pos) ++group_end;
    if (!index_.bad(entries_[i].slot)) {
      try {
        for (std::size_t k = i; k < group_end; ++k) {
          const position_entry& e = entries_[k];
          std::string_view p = sources_[e.input]->probabilities(e);
          const char* at = b.text.data() + b.text.size();
          b.text.insert(b.text.end(), p.begin(), p.end());
          fed_line& line = b.lines[k - first];
          line.probabilities = std::string_view(at, p.size());
          line_triples& split = b.triples[k - first];
          line.triples = &split;
          line.split = copy_text_ && split.scan(line.probabilities,
                                                samples_.rows_of(e.input).size(), verdicts_);
        }
      } catch (...) {
        b.failed_at = i;
        b.failure = std::current_exception();
        b.end = n;  // nothing is read after a failure
        return;
      }
    }
    i = group_end;
  }
}

const fed_line* line_feed::position(std::size_t first) {
  while (!current_ || first >= current_->end) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (current_) {
      ++used_;
      current_ = nullptr;
      changed_.notify_all();
    }
    changed_.wait(lock, [this] { return filled_ > used_; });
    current_ = &batches_[used_ % 2];
  }
  if (first >= current_->failed_at) std::rethrow_exception(current_->failure);
  return &current_->lines[first - current_->first];
}

}  // namespace varnex
