// GEN to PED (-G): calls every genotype of a GEN file with a threshold and
// writes a PED file (one line per individual) and its MAP file (one per SNP).
//
//   1 rs1 1000 A G 0.95 0.05 0 0.1 0.8 0.1
//
// At threshold 0.9 this SNP gives the MAP line "1 rs1 0 1000", the call A A to
// the first individual and N N to the second, whose best probability (0.8)
// falls short; every missing call is reported with the SNP and the ID. GEN is
// SNP-major and PED individual-major, so the calls are held, packed, while the
// GEN file is read, once. Whether the first column goes to the MAP as
// chromosome depends on the whole file (every SNP must have a chromosome code
// there), so the MAP columns of every SNP are held too and the MAP is written
// at the end; the missing calls are then read back from the held calls, in
// the order in which the SNPs came.
//
// A file that does not have the same number of fields on every line, a
// probability that is not a number, or fewer SAMPLE rows than GEN samples
// stop the run with the file and line; the outputs are then removed. The
// counts and the SAMPLE file come first, so a line that cannot be called is
// reported after them, and the lines after it are still counted.

#include <charconv>
#include <cstdint>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <memory>
#include <new>
#include <stop_token>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "convert/gen_to_ped_rules.hpp"
#include "driver/log.hpp"
#include "driver/modes.hpp"
#include "formats/bgen.hpp"
#include "formats/bgen_io.hpp"
#include "formats/failure.hpp"
#include "formats/gen.hpp"
#include "formats/ped_writer.hpp"
#include "formats/sample.hpp"
#include "formats/streams.hpp"
#include "formats/text.hpp"

namespace varnex {

namespace {

// One "Missing data at locus: " line per missing call: millions of them in a
// poorly imputed file, so they are built in a block of memory (the part that
// names the SNP once per SNP) and handed to the log a block at a time.
class missing_messages {
 public:
  explicit missing_messages(tee& log) : log_(log), text_(block) {}
  ~missing_messages() { flush(); }
  // The SNP of the calls that follow.
  void snp(std::string_view rs_id, std::int32_t position) {
    locus_.assign("Missing data at locus: ").append(rs_id).append(" ");
    char number[16];
    locus_.append(number, std::to_chars(number, number + sizeof number, position).ptr);
    locus_ += ' ';
  }
  void add(std::string_view id) {
    std::size_t size = locus_.size() + id.size() + 1;
    if (text_.size() - used_ < size) {
      flush();
      if (text_.size() < size) text_.resize(size);
    }
    char* p = text_.data() + used_;
    std::memcpy(p, locus_.data(), locus_.size());
    std::memcpy(p + locus_.size(), id.data(), id.size());
    p[size - 1] = '\n';
    used_ += size;
  }
  void flush() {
    if (used_ == 0) return;
    log_.to_both(std::string_view(text_.data(), used_));
    used_ = 0;
  }

 private:
  static constexpr std::size_t block = 1 << 16;
  tee& log_;
  std::string locus_;
  std::vector<char> text_;
  std::size_t used_ = 0;
};

// The first `samples` individuals of the SAMPLE file.
sample_table read_samples(const std::string& name, const std::string& genotype_file,
                          std::uint64_t samples, const std::string& phenotype_name,
                          const std::string& sex_name) {
  sample_reader in(name);
  // The column types are not consulted.
  sample_table table(in.names().columns, phenotype_name, sex_name);
  table.reserve(samples);
  sample_line row;
  while (table.size() < samples && in.next(row)) table.add_row(row.columns);
  if (table.size() < samples)
    throw run_failure(at(name, in.line_number() + 1) + "end of file, but " + genotype_file +
                   " has " + std::to_string(samples) + " samples");
  // A BGEN file's samples are counted by its header: the rows must match.
  if (is_bgen_name(genotype_file) && in.next(row) && !row.columns.empty())
    throw run_failure("SAMPLE file " + name + " has more than " + std::to_string(samples) +
                   " rows, but BGEN file " + genotype_file + " has " + std::to_string(samples) +
                   " samples");
  return table;
}

// The SNPs of GEN text. The first line, read when opening, gives the number
// of samples. `next` reads a line (a file that cannot be read stops the run
// there), `head` splits it, `call_each` calls its samples in turn and checks
// that no field is left over.
class gen_text_snps {
 public:
  gen_text_snps(const std::string& name, const threshold_test& threshold,
                const stream_options& streams)
      : name_(name), threshold_(threshold),
        lines_(open_gen_lines(name, is_gz_name(name), streams)) {
    if (!lines_->next(line_)) return;
    first_ = true;
    fields_ = count_fields(line_);
    if (fields_ < 5)
      throw run_failure(at(name, 1) + std::to_string(fields_) + " fields; a GEN line has at least 5");
    if ((fields_ - 5) % 3 != 0)
      throw run_failure(at(name, 1) + std::to_string(fields_) +
                        " fields; a GEN line has 5, then 3 per sample");
  }
  std::uint64_t samples() const { return (fields_ - 5) / 3; }
  bool next() {
    if (first_) {
      first_ = false;
      return true;
    }
    return lines_->next(line_);
  }
  void head(gen_line& g) {
    g = split_gen_line(line_);
    if (g.leading_fields < 5) wrong_field_count();
    probabilities_ = g.probabilities;
  }
  template <class F>
  void call_each(std::uint64_t n, F&& f) {
    const char* p = probabilities_.data();
    const char* const end = p + probabilities_.size();
    const threshold_test& threshold = threshold_;  // held in a register across the calls of f
    for (std::uint64_t j = 0; j < n; ++j) {
      bool reaches[3];
      for (int i = 0; i < 3; ++i) {
        while (p != end && is_blank(*p)) ++p;
        if (p == end) wrong_field_count();
        const char* field = p;
        p = threshold.read(field, end, reaches[i]);
        if (!p) {
          std::string_view text;
          field_cursor(std::string_view(field, end - field)).next(text);
          throw run_failure(at(name_, line_number()) + "field " + std::to_string(6 + 3 * j + i) +
                            ", probability " + quoted(text) + " is not a number");
        }
      }
      f(j, call_genotype(reaches[0], reaches[1], reaches[2]));
    }
    while (p != end && is_blank(*p)) ++p;
    if (p != end) wrong_field_count();
  }
  // Reads the remaining lines, only counting them.
  void skip_rest() {
    while (lines_->next(line_)) {
    }
  }
  std::uint64_t line_number() const { return lines_->line_number(); }

 private:
  [[noreturn]] void wrong_field_count() const {
    throw run_failure(at(name_, line_number()) + std::to_string(count_fields(line_)) +
                      " fields, line 1 has " + std::to_string(fields_));
  }
  const std::string& name_;
  std::size_t fields_ = 5;
  bool first_ = false;
  const threshold_test& threshold_;
  const std::unique_ptr<line_splitter> lines_;
  std::string_view line_, probabilities_;
};

// The SNPs of a BGEN file, called as the GEN text that bgen_line_reader
// makes of them would be, but straight from the stored integers: the text of
// a stored value grows with it, so a value reaches the threshold exactly when
// it is at least the least one whose text does. A variant that cannot be read
// fails in `head`, like a line of text that cannot be called.
class bgen_snps {
 public:
  bgen_snps(const std::string& name, const threshold_test& threshold)
      : reader_(name), threshold_(threshold) {}
  std::uint64_t samples() const { return reader_.layout().samples; }
  bool next() {
    try {
      if (!reader_.next(v_)) return false;
    } catch (...) {
      failure_ = std::current_exception();
    }
    ++index_;
    return true;
  }
  void head(gen_line& g) {
    if (failure_) std::rethrow_exception(failure_);
    bgen_gen_head(v_, reader_.name(), index_, head_);
    g = split_gen_line(head_);
    if (v_.scale != scale_) {
      scale_ = v_.scale;
      least_ = threshold_.least_reaching(scale_);
    }
  }
  template <class F>
  void call_each(std::uint64_t n, F&& f) const {
    const std::uint32_t* t = v_.values.data();
    for (std::uint64_t j = 0; j < n; ++j, t += 3)
      f(j, call_genotype(t[0] >= least_, t[1] >= least_, t[2] >= least_));
  }
  // Counts the variants after a failure, which may have left the reader
  // inside a block: a reader of its own steps over every block's
  // probabilities, so only a file whose layout is damaged (a failure that
  // stops the run before anything is called) fails there.
  void skip_rest() {
    bgen_reader counter(reader_.name());
    counter.skip_probabilities();
    std::uint64_t count = 0;
    for (bgen_variant v; counter.next(v);) ++count;
    index_ = count;
  }
  std::uint64_t line_number() const { return index_; }

 private:
  bgen_reader reader_;
  const threshold_test& threshold_;
  bgen_variant v_;
  std::exception_ptr failure_;
  std::string head_;
  std::uint64_t index_ = 0;
  std::uint32_t scale_ = 0;
  std::uint64_t least_ = 0;
};

// What the one pass over the GEN file leaves: the calls and MAP columns of
// the SNPs called (every SNP, unless a line could not be called: then those
// before it and itself), and the number of lines. The MAP columns wait for
// the end because the first column of every line decides them.
struct gen_pass {
  explicit gen_pass(std::uint64_t samples) : calls(samples) {}
  genotype_matrix calls;  // a row per 32 SNPs, a word per individual
  std::string ids;        // snp_id and rs_id, each ended by a line feed (which no field holds)
  std::vector<std::int32_t> positions;
  snp_alleles alleles;
  std::uint64_t lines = 0;
  bool all_chromosomes = true;  // every first column a chromosome code
  // A line that cannot be called stops the calling but not the counting: it
  // is reported after the counts, the SAMPLE file and the missing calls
  // before it.
  std::exception_ptr failure;
  bool out_of_memory = false;
};

template <class snps>
gen_pass call_gen(snps& in, const std::string& name) {
  gen_pass pass(in.samples());
  const std::uint64_t n = in.samples();
  gen_line g;
  for (std::uint64_t k = 0; in.next(); ++k) {
    try {
      in.head(g);
      // A MAP line with position 0 would silently lose the SNP's place.
      if (!g.position_ok)
        throw run_failure(at(name, in.line_number()) + "position " +
                          quoted(g.position_text) + " is not a 32-bit integer");
      pass.all_chromosomes = pass.all_chromosomes && snp_id_check(g.snp_id);
      const unsigned shift = 2 * (k % 32);
      std::uint64_t* block = shift ? pass.calls.row(k / 32) : pass.calls.add_row();
      pass.ids.append(g.snp_id).append(1, '\n').append(g.rs_id).append(1, '\n');
      pass.positions.push_back(g.position);
      pass.alleles.add(g.allele_a, g.allele_b);
      in.call_each(n, [block, shift](std::uint64_t j, genotype_call call) {
        block[j] |= std::uint64_t(call) << shift;
      });
    } catch (const run_failure&) {
      pass.failure = std::current_exception();
    } catch (const std::bad_alloc&) {
      pass.out_of_memory = true;
    }
    if (pass.failure || pass.out_of_memory) {
      in.skip_rest();
      break;
    }
  }
  pass.lines = in.line_number();
  return pass;
}

// Writes the MAP line of every SNP called and prints a "Missing data at
// locus: " line for each of its missing calls, individuals in order. Returns
// the number of missing calls.
std::uint64_t write_map(const gen_pass& pass, const sample_table& samples, bool with_alleles,
                        output_file& map, missing_messages& missing) {
  const genotype_matrix& calls = pass.calls;
  const std::uint64_t n = calls.row_words();
  const std::uint64_t m = pass.positions.size();
  std::uint64_t count = 0;
  std::string_view ids = pass.ids;
  auto take = [&ids] {
    const std::size_t end = ids.find('\n');
    const std::string_view field = ids.substr(0, end);
    ids.remove_prefix(end + 1);
    return field;
  };
  for (std::uint64_t b = 0; 32 * b < m; ++b) {
    // Bit 2i of `any`: SNP i of the block has a missing call (code 3).
    const std::uint64_t* row = calls.row(b);
    std::uint64_t any = 0;
    for (std::uint64_t j = 0; j < n; ++j) any |= row[j] & row[j] >> 1;
    any &= 0x5555555555555555ull;
    for (std::uint64_t k = 32 * b; k < m && k < 32 * b + 32; ++k) {
      const std::string_view snp_id = take(), rs_id = take();
      const std::int32_t position = pass.positions[k];
      const std::string_view both[2] = {pass.alleles.a(k), pass.alleles.b(k)};
      write_map_line(map, map_chromosome(snp_id, pass.all_chromosomes),
                     map_snp_name(snp_id, rs_id, pass.all_chromosomes), position,
                     with_alleles ? both : nullptr);
      const unsigned shift = 2 * (k % 32);
      if (!(any >> shift & 1)) continue;
      missing.snp(rs_id, position);
      for (std::uint64_t j = 0; j < n; ++j)
        if ((row[j] >> shift & 3) == call_missing) {
          missing.add(samples.id(j));
          ++count;
        }
    }
  }
  return count;
}

void run(const gen_to_ped_args& args, tee& log, missing_messages& missing) {
  check_read_twice(args.genotype_file);
  check_readable(args.genotype_file);
  check_readable(args.sample_file);

  log.to_both_flushed("Count SNPs and samples...\n");
  const threshold_test test(args.threshold);
  gen_pass pass = [&] {
    if (is_bgen_name(args.genotype_file)) {
      bgen_snps in(args.genotype_file, test);
      return call_gen(in, args.genotype_file);
    }
    gen_text_snps in(args.genotype_file, test, args.streams);
    return call_gen(in, args.genotype_file);
  }();
  const std::uint64_t n = pass.calls.row_words();
  const std::uint64_t m = pass.lines;
  log.to_both_flushed("Number of samples: " + std::to_string(n) + "\n");
  log.to_both_flushed("Number of SNPs: " + std::to_string(m) + "\n");

  log.to_both_flushed("Sample...\n");
  const sample_table samples =
      read_samples(args.sample_file, args.genotype_file, n, args.phenotype_name, args.sex_name);

  log.to_both_flushed("Assign memory for genotypes..." + std::to_string(2 * n * m) + "\n");
  try {
    if (pass.out_of_memory) throw std::bad_alloc();
    // After a line that cannot be called: the rows the whole file needs, so
    // that a file too big for memory says so first.
    while (pass.calls.rows() < (m + 31) / 32) pass.calls.add_row();
  } catch (const std::bad_alloc&) {
    throw run_failure("Not enough memory for the genotypes of " + std::to_string(n) +
                      " samples and " + std::to_string(m) + " SNPs");
  }

  log.to_both_flushed("Gen...\n");
  const bool compressed = is_gz_name(args.genotype_file);
  output_file map(args.map_file, compressed, args.streams);
  output_file ped(args.ped_file, compressed, args.streams);
  // The PED lines need nothing of the messages: with a second thread they
  // are written while the MAP and the missing calls are, and a failure of
  // theirs is reported where it always was, after "Output...".
  std::exception_ptr ped_failure;
  auto write_ped = [&](std::stop_token stop) {
    try {
      const genotype_matrix& calls = pass.calls;
      std::vector<std::uint64_t> row(calls.rows());  // one individual's calls, gathered
      for (std::uint64_t j = 0; j < n && !stop.stop_requested(); ++j) {
        for (std::uint64_t b = 0; b < row.size(); ++b) row[b] = calls.row(b)[j];
        write_ped_line(ped, static_cast<std::int64_t>(j), samples.id(j), samples.sex(j),
                       samples.phenotype(j), pass.alleles,
                       reinterpret_cast<const std::uint8_t*>(row.data()));
      }
    } catch (...) {
      ped_failure = std::current_exception();
    }
  };
  std::jthread ped_writer;  // on a failure here, stopped and joined before the outputs go
  if (args.streams.threads > 1 && !pass.failure) {
    try {
      ped_writer = std::jthread(write_ped);
    } catch (const std::system_error&) {
      // No second thread: the PED lines come after the messages.
    }
  }

  const std::uint64_t missing_count = write_map(pass, samples, args.alleles, map, missing);
  missing.flush();
  if (pass.failure) std::rethrow_exception(pass.failure);
  log.to_both_flushed("Number of missing loci: " + std::to_string(missing_count) + "\n");

  log.to_both_flushed("Output...\n");
  if (ped_writer.joinable())
    ped_writer.join();
  else
    write_ped({});
  if (ped_failure) std::rethrow_exception(ped_failure);
  // Neither output may replace its name alone when the other fails.
  commit_outputs({&map, &ped});
}

}  // namespace

int gen_to_ped(const gen_to_ped_args& args) {
  tee log;
  if (!log.open_or_report(false)) return 1;
  missing_messages missing(log);  // what it holds comes before any failure
  run(args, log, missing);
  return 0;
}

}  // namespace varnex
