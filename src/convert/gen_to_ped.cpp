// GEN to PED (-G): calls every genotype of a GEN file with a threshold and
// writes a PED file (one line per individual) and its MAP file (one per SNP).
//
//   1 rs1 1000 A G 0.95 0.05 0 0.1 0.8 0.1
//
// At threshold 0.9 this SNP gives the MAP line "1 rs1 0 1000", the call A A to
// the first individual and N N to the second, whose best probability (0.8)
// falls short; every missing call is reported with the SNP and the ID. Whether
// the first column goes to the MAP as chromosome depends on the whole file
// (every SNP must have a chromosome code there), so the counting pass looks at
// the first word of each line; the calling pass can then write the MAP as it
// goes. GEN is SNP-major and PED individual-major, so the calls are held,
// packed, until the GEN file has been read.
//
// A file that does not have the same number of fields on every line, a
// probability that is not a number, or fewer SAMPLE rows than GEN samples
// stop the run with the file and line; the outputs are then removed.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>
#include <string_view>
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
  // The SNP of the calls that follow.
  void snp(std::string_view rs_id, std::int32_t position) {
    locus_ = "Missing data at locus: ";
    locus_ += rs_id;
    locus_ += ' ';
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

struct gen_shape {
  std::uint64_t snps = 0;
  std::uint64_t samples = 0;
  std::size_t fields = 0;       // of every line, as the first line has them
  bool all_chromosomes = true;  // every first column a chromosome code
};

// The counting pass: lines, the fields of the first line, and the chromosome
// codes of the first column.
gen_shape count_gen(const std::string& name, const stream_options& streams) {
  gen_shape shape;
  if (is_bgen_name(name)) {
    // The header has the samples; the variant id (the GEN snp_id) the
    // chromosome test. The probabilities are read by the calling pass.
    bgen_reader reader(name);
    reader.skip_probabilities();
    shape.samples = reader.layout().samples;
    shape.fields = 5 + 3 * shape.samples;
    bgen_variant v;
    while (reader.next(v)) {
      ++shape.snps;
      shape.all_chromosomes = shape.all_chromosomes && snp_id_check(v.varid);
    }
    return shape;
  }
  const std::unique_ptr<line_splitter> lines = open_gen_lines(name, is_gz_name(name), streams);
  std::string_view line;
  while (lines->next(line)) {
    if (shape.snps == 0) {
      shape.fields = count_fields(line);
      if (shape.fields < 5)
        throw run_failure(at(name, 1) + std::to_string(shape.fields) +
                          " fields; a GEN line has at least 5");
      if ((shape.fields - 5) % 3 != 0)
        throw run_failure(at(name, 1) + std::to_string(shape.fields) +
                          " fields; a GEN line has 5, then 3 per sample");
      shape.samples = (shape.fields - 5) / 3;
    }
    ++shape.snps;
    if (shape.all_chromosomes) {
      field_cursor cursor(line);
      std::string_view snp_id;
      shape.all_chromosomes = cursor.next(snp_id) && snp_id_check(snp_id);
    }
  }
  return shape;
}

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

[[noreturn]] void wrong_field_count(const std::string& name, std::uint64_t line_number,
                                    std::string_view line, std::size_t expected) {
  throw run_failure(at(name, line_number) + std::to_string(count_fields(line)) +
                    " fields, line 1 has " + std::to_string(expected));
}

// The SNPs of GEN text for the calling pass: `next` splits a line,
// `call_each` calls its samples in turn and checks that no field is left over.
class gen_text_snps {
 public:
  gen_text_snps(const std::string& name, const gen_shape& shape, const threshold_test& threshold,
                const stream_options& streams)
      : name_(name), fields_(shape.fields), threshold_(threshold),
        lines_(open_gen_lines(name, is_gz_name(name), streams)) {}
  bool next(gen_line& g) {
    if (!lines_->next(line_)) return false;
    g = split_gen_line(line_);
    if (g.leading_fields < 5) wrong_field_count(name_, line_number(), line_, fields_);
    probabilities_ = g.probabilities;
    return true;
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
        if (p == end) wrong_field_count(name_, line_number(), line_, fields_);
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
    if (p != end) wrong_field_count(name_, line_number(), line_, fields_);
  }
  std::uint64_t line_number() const { return lines_->line_number(); }

 private:
  const std::string& name_;
  std::size_t fields_;
  const threshold_test& threshold_;
  const std::unique_ptr<line_splitter> lines_;
  std::string_view line_, probabilities_;
};

// The SNPs of a BGEN file, called as the GEN text that bgen_line_reader
// makes of them would be, but straight from the stored integers: the text of
// a stored value grows with it, so a value reaches the threshold exactly when
// it is at least the least one whose text does.
class bgen_snps {
 public:
  bgen_snps(const std::string& name, const gen_shape& shape, const threshold_test& threshold)
      : reader_(name), threshold_(threshold) {
    if (reader_.layout().samples != shape.samples)
      throw run_failure(name + ": " + std::to_string(reader_.layout().samples) + " samples, " +
                        std::to_string(shape.samples) +
                        " when counted; the file changed while being read");
  }
  bool next(gen_line& g) {
    if (!reader_.next(v_)) return false;
    bgen_gen_head(v_, reader_.name(), ++index_, head_);
    g = split_gen_line(head_);
    if (v_.scale != scale_) {
      scale_ = v_.scale;
      least_ = threshold_.least_reaching(scale_);
    }
    return true;
  }
  template <class F>
  void call_each(std::uint64_t n, F&& f) const {
    const std::uint32_t* t = v_.values.data();
    for (std::uint64_t j = 0; j < n; ++j, t += 3)
      f(j, call_genotype(t[0] >= least_, t[1] >= least_, t[2] >= least_));
  }
  std::uint64_t line_number() const { return index_; }

 private:
  bgen_reader reader_;
  const threshold_test& threshold_;
  bgen_variant v_;
  std::string head_;
  std::uint64_t index_ = 0;
  std::uint32_t scale_ = 0;
  std::uint64_t least_ = 0;
};

// The calling pass: every SNP's MAP line and allele texts, every individual's
// call. Returns the number of missing calls.
template <class snps>
std::uint64_t call_gen(snps& in, const std::string& name, const gen_shape& shape,
                       const sample_table& samples, bool with_alleles, output_file& map,
                       snp_alleles& alleles, genotype_matrix& calls, missing_messages& missing) {
  const std::uint64_t n = shape.samples;
  std::uint64_t missing_count = 0;
  std::uint64_t k = 0;
  gen_line g;
  while (in.next(g)) {
    if (k == shape.snps)
      throw run_failure(at(name, in.line_number()) +
                        "more lines than counted before; the file changed while being read");
    // A MAP line with position 0 would silently lose the SNP's place.
    if (!g.position_ok)
      throw run_failure(at(name, in.line_number()) + "position " + quoted(g.position_text) +
                        " is not a 32-bit integer");
    std::string_view chromosome = map_chromosome(g.snp_id, shape.all_chromosomes);
    std::string_view snp_name = map_snp_name(g.snp_id, g.rs_id, shape.all_chromosomes);
    const std::string_view both[2] = {g.allele_a, g.allele_b};
    write_map_line(map, chromosome, snp_name, g.position, with_alleles ? both : nullptr);
    alleles.add(g.allele_a, g.allele_b);

    const unsigned shift = 2 * (k % 32);
    std::uint64_t* block = calls.row(k / 32);  // the calls of 32 SNPs, a word per individual
    const std::uint64_t missing_before = missing_count;
    in.call_each(n, [&](std::uint64_t j, genotype_call call) {
      block[j] |= std::uint64_t(call) << shift;
      if (call == call_missing) {
        if (missing_count == missing_before) missing.snp(g.rs_id, g.position);
        ++missing_count;
        missing.add(samples.id(j));
      }
    });
    ++k;
  }
  if (k != shape.snps)
    throw run_failure(
        at(name, in.line_number() + 1) +
        "end of file before the lines counted before; the file changed while being read");
  return missing_count;
}

void run(const std::string& genotype_file, const std::string& sample_file,
         const std::string& ped_file, const std::string& map_file,
         const std::string& phenotype_name, const std::string& sex_name, double threshold,
         bool with_alleles, tee& log, missing_messages& missing, const stream_options& streams) {
  check_read_twice(genotype_file);
  check_readable(genotype_file);
  check_readable(sample_file);

  log.to_both_flushed("Count SNPs and samples...\n");
  const gen_shape shape = count_gen(genotype_file, streams);
  const std::uint64_t n = shape.samples;
  const std::uint64_t m = shape.snps;
  log.to_both_flushed("Number of samples: " + std::to_string(n) + "\n");
  log.to_both_flushed("Number of SNPs: " + std::to_string(m) + "\n");

  log.to_both_flushed("Sample...\n");
  const sample_table samples =
      read_samples(sample_file, genotype_file, n, phenotype_name, sex_name);

  log.to_both_flushed("Assign memory for genotypes..." + std::to_string(2 * n * m) + "\n");
  genotype_matrix calls(n);
  try {
    for (std::uint64_t b = 0; b < (m + 31) / 32; ++b) calls.add_row();
  } catch (const std::bad_alloc&) {
    throw run_failure("Not enough memory for the genotypes of " + std::to_string(n) +
                      " samples and " + std::to_string(m) + " SNPs");
  }

  log.to_both_flushed("Gen...\n");
  const bool compressed = is_gz_name(genotype_file);
  output_file map(map_file, compressed, streams);
  output_file ped(ped_file, compressed, streams);
  snp_alleles alleles;
  alleles.reserve(m);
  const threshold_test test(threshold);
  std::uint64_t missing_count;
  if (is_bgen_name(genotype_file)) {
    bgen_snps in(genotype_file, shape, test);
    missing_count = call_gen(in, genotype_file, shape, samples, with_alleles, map, alleles, calls,
                             missing);
  } else {
    gen_text_snps in(genotype_file, shape, test, streams);
    missing_count = call_gen(in, genotype_file, shape, samples, with_alleles, map, alleles, calls,
                             missing);
  }
  missing.flush();
  log.to_both_flushed("Number of missing loci: " + std::to_string(missing_count) + "\n");

  log.to_both_flushed("Output...\n");
  std::vector<std::uint64_t> row(calls.rows());  // one individual's calls, gathered
  for (std::uint64_t j = 0; j < n; ++j) {
    for (std::uint64_t b = 0; b < row.size(); ++b) row[b] = calls.row(b)[j];
    write_ped_line(ped, static_cast<std::int64_t>(j), samples.id(j), samples.sex(j),
                   samples.phenotype(j), alleles, reinterpret_cast<const std::uint8_t*>(row.data()));
  }
  // Neither output may replace its name alone when the other fails.
  commit_outputs({&map, &ped});
}

}  // namespace

int gen_to_ped(const gen_to_ped_args& args) {
  tee log;
  if (!log.open_or_report(false)) return 1;
  missing_messages missing(log);
  try {
    run(args.genotype_file, args.sample_file, args.ped_file, args.map_file, args.phenotype_name,
        args.sex_name, args.threshold, args.alleles, log, missing, args.streams);
  } catch (const run_failure& e) {
    missing.flush();
    return log.fail(e.what());
  }
  return 0;
}

}  // namespace varnex
