// BGEN files as GEN text.
//
// `bgen_writer` takes GEN lines and stores them as BGEN variant blocks;
// `bgen_line_reader` hands out a BGEN file's variants as GEN lines, read like
// any GEN input.
//
//   GEN:  01 RSID_2 2000 A G 0 0 0 0.0278015 0.00863647 0.963531
//   BGEN: varid "01", rsid "RSID_2", chromosome "01", position 2000, alleles A G,
//         sample 1 missing, sample 2 stored as 7 2 (of 255; 246 implied)
//   back: 01 RSID_2 2000 A G 0 0 0 0.02745 0.00784 0.96471
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "formats/bgen.hpp"
#include "formats/streams.hpp"

namespace varnex {

// Which SAMPLE identifier names a sample in the BGEN file.
enum class bgen_id_choice { id_1, id_2, id_1_id_2 };

// The identifier of one SAMPLE row: ID_1, ID_2, or both joined with "_".
std::string bgen_sample_id(std::string_view id_1, std::string_view id_2, bgen_id_choice choice);

struct bgen_options {
  bgen_compression compression = bgen_compression::zlib;
  unsigned bits = 8;
  bgen_id_choice ids = bgen_id_choice::id_1;
  std::string chromosome;  // every variant's, when not empty; else from snp_id
  unsigned threads = 1;    // encoding and compressing threads
  // Set when chosen: otherwise a BGEN input's are kept.
  bool compression_given = false, bits_given = false;
};

// Writes BGEN v1.2 (layout 2) from GEN lines. The sample count is the number
// of identifiers when there are any, else that of the first line; every line
// must then have exactly that many triples. A line that cannot be stored
// stops the run with the output's name and the line's number in the GEN text
// ("x.bgen, line 3: position -5 is negative; ..."). The file is written as the
// run's other outputs are: into a temporary file beside the name, whose
// header counts are patched at `finish`, renamed into place at `commit`, and
// removed by the destructor when not committed.
class bgen_writer {
 public:
  // `ids`: the sample identifier block, or null for none.
  bgen_writer(const std::string& name, const bgen_options& options,
              const std::vector<std::string>* ids);
  ~bgen_writer();
  bgen_writer(const bgen_writer&) = delete;
  bgen_writer& operator=(const bgen_writer&) = delete;

  // One GEN line, without its line feed.
  void add_line(std::string_view text) { queue(text, 0); }
  // A variant block made elsewhere (copied from a BGEN input or encoded by
  // the caller), written as it stands in its place among the lines.
  void add_block(std::string_view block, bool has_chromosome) { queue(block, has_chromosome ? 1 : 2); }
  // Triples rescaled in blocks given to `add_block`.
  void add_rescaled(std::uint64_t count) { rescaled_ += count; }
  // The sample count of a file without identifiers whose first variant is
  // not a GEN line.
  void set_samples(std::uint32_t samples) {
    samples_ = samples;
    samples_known_ = true;
  }
  void finish();
  void commit();
  void close() {
    finish();
    commit();
  }

  std::uint64_t variants() const { return variants_; }
  std::uint64_t rescaled() const { return rescaled_; }
  std::uint64_t without_chromosome() const { return without_chromosome_; }
  const std::string& name() const { return name_; }

 private:
  struct slot;
  // Queues a line or a block (see pending_line::block).
  void queue(std::string_view text, int block);
  void encode_batch();
  void encode_range(slot& s, std::size_t begin, std::size_t end);
  void write(const std::string& bytes);
  std::string name_;
  bgen_options options_;
  output_target target_;
  bool finished_ = false;
  bool samples_known_ = false;
  std::uint32_t samples_ = 0;
  std::uint64_t variants_ = 0;
  std::uint64_t rescaled_ = 0;
  std::uint64_t without_chromosome_ = 0;
  // Lines waiting to be encoded: their text one after the other.
  std::string pending_;
  struct pending_line {
    std::size_t begin, size;
    int block = 0;  // 0 a GEN line; 1 a block, 2 a block without chromosome
  };
  std::vector<pending_line> lines_;
  std::vector<std::unique_ptr<slot>> slots_;
};

// Hands the text written to an output_file to a bgen_writer, line by line.
class bgen_text_sink {
 public:
  explicit bgen_text_sink(std::unique_ptr<bgen_writer> writer) : writer_(std::move(writer)) {}
  void consume(const char* data, std::size_t n);
  // The last line, even without a line feed, then the writer's finish.
  void finish();
  void commit() { writer_->commit(); }
  bgen_writer& writer() { return *writer_; }
  // The count lines for the end of the run: "Number of probability triples
  // rescaled: N", and the variants left without a chromosome when there are.
  std::string summary() const;

 private:
  std::unique_ptr<bgen_writer> writer_;
  std::string partial_;
};

// The variants of a BGEN file as GEN lines: snp_id = variant id, rs_id =
// rsid, then one triple per sample (missing: 0 0 0). A stored value v of B
// bits is written as v / (2^B - 1) with two more decimals than 2^B - 1 has
// digits, trailing zeros dropped (0 and 1 as "0" and "1"), so that reading it
// back gives the stored value to far better than 1 / (2^B - 1).
class bgen_line_reader : public line_splitter {
 public:
  explicit bgen_line_reader(const std::string& name);
  std::uint32_t samples() const { return reader_.layout().samples; }
  const bgen_reader& bgen() const { return reader_; }

 private:
  std::size_t read_block(char* to, std::size_t n) override;
  void format_variant();
  bgen_reader reader_;
  bgen_variant variant_;
  std::uint64_t index_ = 0;
  std::string head_;
  std::vector<char> text_;  // the variant's GEN line: text_size_ bytes
  std::size_t text_size_ = 0;
  std::size_t at_ = 0;
  // Text of every value 0..scale for the scale last seen, when small enough.
  std::uint32_t table_scale_ = 0;
  std::vector<char> table_;  // 16 bytes per value: length, then the text
};

// The five leading fields of a variant's GEN line, each followed by a space;
// an empty one becomes "." (it would shift every later field). White space
// inside a field stops the run with the file, the variant's index and rsid.
void bgen_gen_head(const bgen_variant& v, const std::string& name, std::uint64_t index,
                   std::string& head);

// The lines of a GEN input: a BGEN file's variants as GEN text, or the text
// itself (through gzip when `compressed`).
std::unique_ptr<line_splitter> open_gen_lines(const std::string& name, bool compressed,
                                              const stream_options& streams = {});

// A GEN output: BGEN when the name ends in ".bgen" (with the sample
// identifier block when `ids` is given), else GEN text (gzip when
// `compressed`).
std::unique_ptr<output_file> open_gen_output(const std::string& name, bool compressed,
                                             const stream_options& streams,
                                             const bgen_options& options,
                                             const std::vector<std::string>* ids);
// The count lines that end a run with a BGEN output; empty for GEN text.
std::string bgen_summary(const output_file& out);

// v / scale as text with `decimals` decimals, trailing zeros dropped.
std::size_t format_fraction(std::uint32_t v, std::uint32_t scale, char* out);

}  // namespace varnex
