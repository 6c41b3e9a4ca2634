#include "formats/bgen_io.hpp"

#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <thread>

#include "formats/failure.hpp"
#include "formats/gen.hpp"
#include "formats/text.hpp"

namespace varnex {

namespace {

// Reads the next probability of a GEN line into `value`; false at the end of
// the line. Plain decimals of up to 15 digits are done by hand: the digits as
// an integer divided by a power of ten is the correctly rounded value, as
// from_chars would give it.
bool next_probability(const char*& p, const char* end, double& value) {
  while (p != end && is_blank(*p)) ++p;
  if (p == end) return false;
  const char* field = p;
  auto digit = [](char c) { return static_cast<unsigned char>(c - '0') < 10; };
  if (digit(*p)) {
    std::uint64_t mantissa = std::uint64_t(*p++ - '0');
    int decimals = 0, digits = 1;
    if (p != end && *p == '.') {
      ++p;
      while (p != end && digit(*p) && digits < 15) {
        mantissa = mantissa * 10 + std::uint64_t(*p++ - '0');
        ++decimals;
        ++digits;
      }
    }
    if (p == end || is_blank(*p)) {
      static const double powers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6, 1e7,
                                      1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
      value = double(mantissa) / powers[decimals];
      return true;
    }
    p = field;
  }
  while (p != end && !is_blank(*p)) ++p;
  const std::string_view text(field, p - field);
  if (!parse_double(text, value))
    throw std::runtime_error("probability " + quoted(text) + " is not a number");
  return true;
}

}  // namespace

std::string bgen_sample_id(std::string_view id_1, std::string_view id_2, bgen_id_choice choice) {
  switch (choice) {
    case bgen_id_choice::id_1: return std::string(id_1);
    case bgen_id_choice::id_2: return std::string(id_2);
    default: return std::string(id_1) + "_" + std::string(id_2);
  }
}

// One encoding thread's encoder, output and counts.
struct bgen_writer::slot {
  explicit slot(const bgen_options& o) : encoder(o.compression, o.bits) {}
  bgen_encoder encoder;
  std::vector<double> probs;
  std::string out;
  std::uint64_t rescaled = 0;
  std::uint64_t without_chromosome = 0;
  std::size_t failed_at = SIZE_MAX;  // index in lines_ of the first failure
  std::string failure;
};

bgen_writer::bgen_writer(const std::string& name, const bgen_options& options,
                         const std::vector<std::string>* ids)
    : name_(name), options_(options) {
  if (name == "-")
    throw run_failure(
        "A BGEN output cannot go to standard output: its header is completed at the end");
  if (options_.threads < 1) options_.threads = 1;
  std::string header;
  try {
    header = bgen_header(0, ids ? static_cast<std::uint32_t>(ids->size()) : 0, options_.compression,
                         ids);
  } catch (const std::length_error& e) {
    throw run_failure(name + ": " + e.what());
  }
  if (ids) {
    if (ids->size() > 0xFFFFFFFFu) throw run_failure(name + ": more than 4294967295 samples");
    set_samples(static_cast<std::uint32_t>(ids->size()));
  }
  target_ = open_output_target(name);
  for (unsigned t = 0; t < options_.threads; ++t) slots_.push_back(std::make_unique<slot>(options_));
  write(header);
}

bgen_writer::~bgen_writer() {
  if (target_.fd >= 0) ::close(target_.fd);
  // Not committed: only the temporary file goes.
  discard_output_target(target_);
}

void bgen_writer::write(const std::string& bytes) {
  if (!write_all(target_.fd, bytes.data(), bytes.size())) throw run_failure("Can't write " + name_);
}

void bgen_writer::queue(std::string_view text, int block) {
  lines_.push_back({pending_.size(), text.size(), block});
  pending_.append(text);
  // Large enough batches that every thread has a good share.
  if (pending_.size() >= (std::size_t(4) << 20) * options_.threads ||
      lines_.size() >= 4096 * std::size_t(options_.threads))
    encode_batch();
}

void bgen_writer::encode_range(slot& s, std::size_t begin, std::size_t end) {
  s.out.clear();
  for (std::size_t i = begin; i < end; ++i) {
    const std::string_view text(pending_.data() + lines_[i].begin, lines_[i].size);
    if (lines_[i].block) {
      s.out += text;
      s.without_chromosome += lines_[i].block == 2;
      continue;
    }
    try {
      const gen_line g = split_gen_line(text);
      if (g.leading_fields < 5)
        throw std::runtime_error(std::to_string(g.leading_fields) + " fields; a GEN line has at least 5");
      if (!g.position_ok)
        throw std::runtime_error("position " + quoted(g.position_text) + " is not a 32-bit integer");
      if (g.position < 0)
        throw std::runtime_error("position " + std::string(g.position_text) +
                                 " is negative; BGEN stores positions from 0");
      s.probs.clear();
      const char* p = g.probabilities.data();
      const char* const stop = p + g.probabilities.size();
      double value;
      while (next_probability(p, stop, value)) s.probs.push_back(value);
      if (s.probs.size() != 3 * std::size_t(samples_))
        throw std::runtime_error(std::to_string(s.probs.size()) + " probabilities; " +
                                 std::to_string(samples_) + " samples need " +
                                 std::to_string(3 * std::size_t(samples_)));
      std::string_view chromosome = options_.chromosome;
      if (chromosome.empty() && is_chromosome_code(g.snp_id)) chromosome = g.snp_id;
      s.without_chromosome += chromosome.empty();
      const bgen_variant_in v{.varid = g.snp_id, .rsid = g.rs_id, .chromosome = chromosome,
                              .allele_a = g.allele_a, .allele_b = g.allele_b,
                              .position = static_cast<std::uint32_t>(g.position),
                              .probs = s.probs.data(), .samples = samples_};
      s.rescaled += s.encoder.encode(v, s.out);
    } catch (const std::exception& e) {  // a line that cannot become a variant block
      s.failed_at = i;
      s.failure = e.what();
      return;
    }
  }
}

void bgen_writer::encode_batch() {
  if (lines_.empty()) return;
  if (!samples_known_) {
    // No identifiers: the first line decides the sample count.
    const gen_line g = split_gen_line(std::string_view(pending_.data(), lines_[0].size));
    const std::size_t fields = count_fields(g.probabilities);
    if (fields / 3 > 0xFFFFFFFFu) throw run_failure(name_ + ": more than 4294967295 samples");
    set_samples(static_cast<std::uint32_t>(fields / 3));
  }
  const std::size_t count = lines_.size();
  const std::size_t used = std::min<std::size_t>(slots_.size(), count);
  const std::size_t share = (count + used - 1) / used;
  std::vector<std::thread> workers;
  for (std::size_t t = 1; t < used; ++t)
    workers.emplace_back([this, t, share, count] {
      encode_range(*slots_[t], t * share, std::min(count, (t + 1) * share));
    });
  encode_range(*slots_[0], 0, std::min(count, share));
  for (std::thread& w : workers) w.join();

  for (std::size_t t = 0; t < used; ++t)
    if (const slot& s = *slots_[t]; s.failed_at != SIZE_MAX)
      throw run_failure(at(name_, variants_ + s.failed_at + 1) + s.failure);
  for (std::size_t t = 0; t < used; ++t) {
    slot& s = *slots_[t];
    write(s.out);
    rescaled_ += s.rescaled;
    without_chromosome_ += s.without_chromosome;
    s.rescaled = s.without_chromosome = 0;
  }
  variants_ += count;
  if (variants_ > 0xFFFFFFFFu) throw run_failure(name_ + ": more than 4294967295 variants");
  pending_.clear();
  lines_.clear();
}

void bgen_writer::finish() {
  if (finished_) return;
  encode_batch();
  const std::string counts = bgen_counts(static_cast<std::uint32_t>(variants_), samples_);
  if (::pwrite(target_.fd, counts.data(), counts.size(), 8) != static_cast<ssize_t>(counts.size()))
    throw run_failure("Can't write " + name_);
  const int fd = target_.fd;
  target_.fd = -1;
  if (::close(fd) != 0) throw run_failure("Can't write " + name_);
  finished_ = true;
}

void bgen_writer::commit() {
  if (!finished_) throw run_failure("Can't write " + name_);
  commit_output_target(target_);
}

void bgen_text_sink::consume(const char* data, std::size_t n) {
  const char* const end = data + n;
  while (data != end) {
    const char* feed = static_cast<const char*>(std::memchr(data, '\n', end - data));
    if (!feed) {
      partial_.append(data, end);
      return;
    }
    if (partial_.empty()) {
      writer_->add_line(std::string_view(data, feed - data));
    } else {
      partial_.append(data, feed);
      writer_->add_line(partial_);
      partial_.clear();
    }
    data = feed + 1;
  }
}

void bgen_text_sink::finish() {
  if (!partial_.empty()) writer_->add_line(partial_);
  partial_.clear();
  writer_->finish();
}

std::string bgen_text_sink::summary() const {
  std::string text =
      "Number of probability triples rescaled: " + std::to_string(writer_->rescaled()) + "\n";
  if (writer_->without_chromosome() > 0)
    text += "Number of SNPs without a chromosome: " +
            std::to_string(writer_->without_chromosome()) + " (set one with --chromosome)\n";
  return text;
}

// ---------------------------------------------------------------- reading

std::size_t format_fraction(std::uint32_t v, std::uint32_t scale, char* out) {
  if (v == 0) {
    *out = '0';
    return 1;
  }
  // Two more decimals than the scale has digits.
  std::uint32_t decimals = 3;
  for (std::uint64_t rest = scale; rest >= 10; rest /= 10) ++decimals;
  unsigned __int128 power = 1;
  for (std::uint32_t i = 0; i < decimals; ++i) power *= 10;
  // Rounded to the nearest: (2 v 10^d + scale) / (2 scale).
  std::uint64_t r = static_cast<std::uint64_t>((2 * (unsigned __int128)v * power + scale) /
                                               (2 * (unsigned __int128)scale));
  if (r >= power) {
    *out = '1';
    return 1;
  }
  out[0] = '0';
  out[1] = '.';
  for (std::uint32_t i = decimals; i > 0; --i) {
    out[1 + i] = char('0' + r % 10);
    r /= 10;
  }
  std::size_t size = 2 + decimals;
  while (out[size - 1] == '0') --size;
  return size;
}

bgen_line_reader::bgen_line_reader(const std::string& name) : reader_(name) {}

std::size_t bgen_line_reader::read_block(char* to, std::size_t n) {
  while (at_ == text_size_) {
    if (!reader_.next(variant_)) return 0;
    ++index_;
    format_variant();
    at_ = 0;
  }
  const std::size_t size = std::min(n, text_size_ - at_);
  std::memcpy(to, text_.data() + at_, size);
  at_ += size;
  return size;
}

void bgen_gen_head(const bgen_variant& v, const std::string& name, std::uint64_t index,
                   std::string& head) {
  auto field = [&](const std::string& value, const char* what) {
    for (char c : value)
      if (is_blank(c))
        throw run_failure(name + ", variant " + std::to_string(index) + " (rsid " + v.rsid +
                          "): " + what + " " + quoted(value) +
                          " has white space, which GEN text cannot hold");
    // An empty field would shift every later field of the line.
    return value.empty() ? std::string_view(".") : std::string_view(value);
  };
  const std::string_view varid = field(v.varid, "the variant id"), rsid = field(v.rsid, "the rsid"),
                         a = field(v.allele_a, "allele A"), b = field(v.allele_b, "allele B");
  head.resize(gen_head_room(varid, rsid, a, b));
  char* end = write_gen_head(head.data(), varid, rsid, std::to_string(v.position), a, b);
  *end++ = ' ';
  head.resize(end - head.data());
}

void bgen_line_reader::format_variant() {
  const bgen_variant& v = variant_;
  bgen_gen_head(v, reader_.name(), index_, head_);
  const std::size_t n = v.values.size();
  if (v.scale <= 65535 && table_scale_ != v.scale) {
    table_.assign(16 * (std::size_t(v.scale) + 1), 0);
    for (std::uint32_t i = 0; i <= v.scale; ++i)
      table_[16 * i] = static_cast<char>(format_fraction(i, v.scale, table_.data() + 16 * i + 1));
    table_scale_ = v.scale;
  }
  // Grown, never filled again: the buffer is reused from variant to variant.
  const std::size_t start = head_.size();
  if (text_.size() < start + n * 16 + 1) text_.resize(start + n * 16 + 1);
  std::memcpy(text_.data(), head_.data(), start);
  char* out = text_.data() + start;
  if (v.scale <= 65535) {
    // Hard calls, most of a typical file, as one 6-byte piece each, chosen
    // without a branch on which genotype it is.
    static const char hard[5][8] = {"", "1 0 0 ", "0 1 0 ", "", "0 0 1 "};
    for (std::size_t i = 0; i < n; i += 3) {
      const std::uint32_t* t = v.values.data() + i;
      const unsigned key = unsigned(t[0] == v.scale) | unsigned(t[1] == v.scale) << 1 |
                           unsigned(t[2] == v.scale) << 2;
      if (key != 0) {
        std::memcpy(out, hard[key], 8);
        out += 6;
        continue;
      }
      for (int k = 0; k < 3; ++k) {
        const char* entry = table_.data() + 16 * std::size_t(t[k]);
        std::memcpy(out, entry + 1, 15);
        out += entry[0];
        *out++ = ' ';
      }
    }
  } else {
    for (std::size_t i = 0; i < n; ++i) {
      out += format_fraction(v.values[i], v.scale, out);
      *out++ = ' ';
    }
  }
  // The line ends without a space after its last field.
  text_size_ = n > 0 ? static_cast<std::size_t>(out - 1 - text_.data()) : start - 1;
  text_[text_size_++] = '\n';
}

namespace {

// A line_reader that owns its file.
struct owned_input {
  input_file input;
};
struct text_lines : owned_input, line_reader {
  text_lines(const std::string& name, bool compressed, const stream_options& streams)
      : owned_input{input_file(name, compressed, streams)}, line_reader(input) {}
};

}  // namespace

std::unique_ptr<line_splitter> open_gen_lines(const std::string& name, bool compressed,
                                              const stream_options& streams) {
  if (is_bgen_name(name)) return std::make_unique<bgen_line_reader>(name);
  return std::make_unique<text_lines>(name, compressed, streams);
}

std::unique_ptr<output_file> open_gen_output(const std::string& name, bool compressed,
                                             const stream_options& streams,
                                             const bgen_options& options,
                                             const std::vector<std::string>* ids) {
  if (!is_bgen_name(name)) return std::make_unique<output_file>(name, compressed, streams);
  return std::make_unique<output_file>(
      name, std::make_unique<bgen_text_sink>(std::make_unique<bgen_writer>(name, options, ids)));
}

std::string bgen_summary(const output_file& out) {
  return out.bgen() ? out.bgen()->summary() : std::string();
}

}  // namespace varnex
