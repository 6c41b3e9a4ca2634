#include "merge/line_feed.hpp"

#include <algorithm>
#include <cstring>

#include "formats/gen.hpp"

namespace varnex {

namespace {

// Text per batch: large enough that handing batches over costs nothing,
// small enough to stay in the caches' reach.
constexpr std::size_t batch_text = 4 << 20;

}  // namespace

// The second read of one GEN input. Its gzip reader is opened when first
// needed and closed after the last line it gives: the rest is in the spill.
class line_feed::source {
 public:
  // `gz_lines`: lines read through the gzip reader; `block`: the largest
  // read of a range reader; `gz_block`, `chain`: the line buffer and the
  // decompression buffers of the gzip reader. All smaller when many inputs
  // share the memory.
  source(input_file& input, spill_file& spill, std::uint64_t gz_lines, std::size_t block,
         std::size_t gz_block, std::size_t chain)
      : input_(input), spill_(spill), gz_lines_(gz_lines), block_(block), gz_block_(gz_block) {
    if (!input.compressed())
      plain_ = std::make_unique<range_reader>(input.fd(), input.name(), block_);
    else
      input.rest(chain);
  }

  // What follows allele B in the line of `e`, checked to be the line the
  // first pass saw there; valid until the next call.
  std::string_view probabilities(const position_entry& e) {
    std::string_view text;
    if (e.spilled()) {
      if (!spilled_) spilled_ = std::make_unique<range_reader>(spill_.fd(), spill_.description(), block_);
      text = spilled_->get(e.offset(), e.length);
    } else if (plain_) {
      text = plain_->get(e.offset(), e.length);
    } else {
      if (!gz_) gz_ = std::make_unique<line_reader>(input_, gz_block_);
      gz_->seek(e.offset());
      if (!gz_->next(text) || text.size() != e.length) missing_bytes();
      if (--gz_lines_ == 0) {
        // The line goes on living in the batch; the reader is done.
        gz_text_.assign(text.begin(), text.end());
        gz_.reset();
        input_.rest(0);
        text = gz_text_;
      }
    }
    return check(e, text);
  }

  bool plain() const { return plain_ != nullptr; }
  void missing_bytes() const { throw run_failure("Can't read " + input_.name()); }

  std::string_view check(const position_entry& e, std::string_view text) const {
    gen_line f = split_gen_line(text);
    if (f.leading_fields < 5 || !f.position_ok || f.position != e.pos)
      throw run_failure("Can't read " + input_.name() + ": it changed during the merge");
    return f.probabilities;
  }

 private:
  input_file& input_;
  std::unique_ptr<line_reader> gz_;
  std::unique_ptr<range_reader> plain_;
  std::unique_ptr<range_reader> spilled_;
  spill_file& spill_;
  std::uint64_t gz_lines_;
  std::size_t block_, gz_block_;
  std::string gz_text_;
};

line_feed::line_feed(const std::vector<position_entry>& entries, const position_index& index,
                     const std::vector<std::unique_ptr<input_file>>& inputs, spill_file& spill,
                     const std::vector<std::vector<std::uint64_t>>& runs,
                     const sample_union& samples, bool copy_text)
    : entries_(entries), index_(index), inputs_(inputs), samples_(samples), copy_text_(copy_text),
      spill_(spill) {
  std::vector<std::uint64_t> gz_lines(inputs.size(), 0);
  for (const position_entry& e : entries)
    if (!e.spilled() && !index.bad(e.slot)) ++gz_lines[e.input];
  // Inputs share about 4 MiB of read-ahead and 1.5 MiB of gzip buffers, so
  // that an idle input keeps under 64 KiB when there are many (zlib's state
  // takes 40 KiB); a few inputs get the sizes that read fastest.
  const std::size_t k = std::max<std::size_t>(inputs.size(), 1);
  const std::size_t block = std::clamp<std::size_t>((4u << 20) / k, 32u << 10, 1u << 20);
  const std::size_t gz_block = std::clamp<std::size_t>((1u << 20) / k, 8u << 10, 256u << 10);
  const std::size_t chain = std::clamp<std::size_t>((512u << 10) / k, 4u << 10, 256u << 10);
  for (std::size_t g = 0; g < inputs.size(); ++g)
    sources_.push_back(std::make_unique<source>(*inputs[g], spill, gz_lines[g], block, gz_block, chain));
  // Streams: each plain input, then each run in the spill, then each input's
  // spilled lines outside any run.
  first_run_.assign(inputs.size() + 1, 0);
  for (std::size_t g = 0; g < inputs.size(); ++g)
    first_run_[g + 1] = first_run_[g] + (g < runs.size() ? runs[g].size() : 0);
  runs_ = runs;
  runs_.resize(inputs.size());
  spans_.resize(inputs.size() + first_run_.back() + inputs.size());
  crew_.threads.emplace_back([this] { read_all(); });
}

line_feed::~line_feed() = default;

std::size_t line_feed::stream_of(const position_entry& e) const {
  if (!e.spilled()) return sources_[e.input]->plain() ? e.input : SIZE_MAX;
  const std::vector<std::uint64_t>& starts = runs_[e.input];
  const auto run = std::upper_bound(starts.begin(), starts.end(), e.offset());
  if (run == starts.begin()) return sources_.size() + first_run_.back() + e.input;
  return sources_.size() + first_run_[e.input] + static_cast<std::size_t>(run - starts.begin()) - 1;
}

void line_feed::read_all() {
  std::size_t first = 0;
  for (std::size_t n = 0; first < entries_.size(); ++n) {
    {
      std::unique_lock<std::mutex> lock(crew_.mutex);
      crew_.changed.wait(lock, [&] { return crew_.stopping || n < used_ + 2; });
      if (crew_.stopping) return;
    }
    batch& b = batches_[n % 2];
    fill(b, first);
    first = b.end;
    {
      std::lock_guard<std::mutex> lock(crew_.mutex);
      filled_ = n + 1;
    }
    crew_.changed.notify_all();
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

  // The lines a plain input or a run of the spill gives this batch usually
  // follow each other: they are then read in one piece straight into the batch.
  for (span& s : spans_) s = span{};
  streams_.assign(end - first, SIZE_MAX);
  for (std::size_t k = first; k < end; ++k) {
    const position_entry& e = entries_[k];
    if (index_.bad(e.slot)) continue;
    const std::size_t id = stream_of(e);
    streams_[k - first] = id;
    if (id == SIZE_MAX) continue;
    span& s = spans_[id];
    if (s.lines && e.offset() < s.end) s.ordered = false;
    s.start = std::min(s.start, e.offset());
    s.end = std::max(s.end, e.offset() + e.length);
    s.bytes += e.length;
    ++s.lines;
  }
  // Room for the pieces, and for the other lines one by one.
  std::size_t room = bytes;
  for (span& s : spans_) {
    s.whole = s.lines && s.ordered && s.end - s.start <= 2 * s.bytes + (64 << 10);
    if (s.whole) room += s.end - s.start - s.bytes;
  }
  try {
    if (b.capacity < room) {
      // With room to spare, so that batches a little larger than the last
      // do not each take (and fault in) fresh memory.
      b.text.reset();
      b.capacity = room + room / 4;
      b.text.reset(new char[b.capacity]);  // not zeroed
    }
    b.lines.assign(end - first, fed_line{{}, false, nullptr});
    if (b.triples.size() < end - first) b.triples.resize(end - first);
  } catch (...) {
    b.failed_at = first;
    b.failure = std::current_exception();
    b.end = n;
    return;
  }
  std::size_t used = 0;
  for (std::size_t g = 0; g < spans_.size(); ++g) {
    span& s = spans_[g];
    if (!s.whole) continue;
    s.at = used;
    used += s.end - s.start;
    const bool plain = g < sources_.size();  // else a run of the spill
    try {
      s.got = read_at(plain ? inputs_[g]->fd() : spill_.fd(), s.start, b.text.get() + s.at,
                      s.end - s.start, plain ? inputs_[g]->name() : spill_.description());
    } catch (...) {
      s.got = 0;  // reported at the first line it should have given
    }
  }

  for (std::size_t i = first; i < end;) {
    std::size_t group_end = i;
    while (group_end < end && entries_[group_end].pos == entries_[i].pos) ++group_end;
    if (!index_.bad(entries_[i].slot)) {
      try {
        for (std::size_t k = i; k < group_end; ++k) {
          const position_entry& e = entries_[k];
          source& from = *sources_[e.input];
          const std::size_t id = streams_[k - first];
          fed_line& line = b.lines[k - first];
          if (id != SIZE_MAX && spans_[id].whole) {
            const span& s = spans_[id];
            if (e.offset() + e.length > s.start + s.got) {
              if (id < sources_.size()) from.missing_bytes();
              throw run_failure("Can't read " + spill_.description());
            }
            line.probabilities =
                from.check(e, std::string_view(b.text.get() + s.at + (e.offset() - s.start), e.length));
          } else {
            std::string_view p = from.probabilities(e);
            std::memcpy(b.text.get() + used, p.data(), p.size());
            line.probabilities = std::string_view(b.text.get() + used, p.size());
            used += p.size();
          }
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
    std::unique_lock<std::mutex> lock(crew_.mutex);
    if (current_) {
      ++used_;
      current_ = nullptr;
      crew_.changed.notify_all();
    }
    crew_.changed.wait(lock, [this] { return filled_ > used_; });
    current_ = &batches_[used_ % 2];
  }
  if (first >= current_->failed_at) std::rethrow_exception(current_->failure);
  return &current_->lines[first - current_->first];
}

}  // namespace varnex
