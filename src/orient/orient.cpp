// Orient to strand (-O): every GEN line rewritten on the strand that the
// strand file gives for its position.
//
//   SNP_A rs1001 10250 A G 0.1 0.2 0.7 1.0 0 0
//
// With "10250 -" in the strand file this line becomes
// "SNP_A rs1001 10250 T C 0.1 0.2 0.7 1.0 0 0", and under --order
// "SNP_A rs1001 10250 C T 0.7 0.2 0.1 0 0 1.0". The probabilities are never
// read as numbers: each token is copied byte for byte (1.0 stays 1.0), so a
// single-spaced line is checked and copied in one piece, and only a swapped
// SNP or irregular white space is taken apart token by token.
#include "orient/orient.hpp"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "driver/log.hpp"
#include "driver/modes.hpp"
#include "formats/bgen_io.hpp"
#include "formats/byte_blocks.hpp"
#include "formats/streams.hpp"
#include "formats/strand.hpp"
#include "formats/text.hpp"

namespace varnex {

namespace {

// Number of tokens when `text` is exactly " t1 t2 ... tn" (one space before
// each token, no other white space, nothing after the last), else -1.
template <bool wide>
inline long single_spaced_tokens(std::string_view text) {
  const std::size_t n = text.size();
  if (n == 0) return 0;
  const char* p = text.data();
  if (p[0] != ' ' || p[n - 1] == ' ') return -1;
  std::size_t spaces = 0;
  std::uint64_t irregular = 0, was_space = 0;
  // White space other than a space, or a space after a space.
  auto add = [&](const block_masks& m, std::uint64_t space) {
    irregular |= (m.blank & ~m.space) | (space & (space << 1 | was_space));
    was_space = space >> 63;
    spaces += bit_count_for<wide>(space);
  };
  constexpr unsigned classes = class_space | class_blank;
  std::size_t i = 0;
  for (; n - i >= 64; i += 64) {
    const block_masks m = scan_block_for<classes, wide>(p + i);
    add(m, m.space);
  }
  if (i < n) {
    padded_block tail;
    const block_masks m = scan_block_for<classes, wide>(tail.fill(p + i, n - i));
    add(m, m.space & ((std::uint64_t(1) << (n - i)) - 1));
  }
  return irregular ? -1 : static_cast<long>(spaces);
}

#if VARNEX_WIDE_BLOCKS
[[gnu::target("avx2,popcnt"), gnu::flatten]] long single_spaced_tokens_wide(std::string_view text) {
  return single_spaced_tokens<true>(text);
}
#endif

long single_spaced_tokens(std::string_view text) {
#if VARNEX_WIDE_BLOCKS
  if (wide_blocks) return single_spaced_tokens_wide(text);
#endif
  return single_spaced_tokens<false>(text);
}

// Hands out the spaces of a text in order. A 64-bit mask marks the spaces of
// each 64-byte block, so finding the next one is a bit scan that does not
// wait for the previous token to be copied.
class space_scanner {
 public:
  space_scanner(const char* begin, const char* end) : block_(begin), end_(end) {
    mask_ = block_mask(block_);
  }
  // The next space; there must be one left.
  const char* next() {
    while (mask_ == 0) {
      block_ += 64;
      mask_ = block_mask(block_);
    }
    const char* space = block_ + __builtin_ctzll(mask_);
    mask_ &= mask_ - 1;
    return space;
  }

 private:
  std::uint64_t block_mask(const char* p) const {
    if (end_ - p >= 64) return scan_block<class_space>(p).space;
    const std::size_t n = static_cast<std::size_t>(end_ - p);
    padded_block tail;
    return scan_block<class_space>(tail.fill(p, n)).space & ((std::uint64_t(1) << n) - 1);
  }

  const char* block_;
  const char* end_;
  std::uint64_t mask_;
};

// Copies [from, to) to out; a short token moves as one 8-byte word when the
// source has 8 bytes before `end` (the output has the slack for it).
char* copy_token(const char* from, const char* to, const char* end, char* out) {
  std::size_t n = to - from;
  if (n <= 8 && end - from >= 8)
    std::memcpy(out, from, 8);
  else
    std::memcpy(out, from, n);
  return out + n;
}

// " t1 t2 t3 t4 t5 t6" (single-spaced, `triples` whole triples) as
// " t3 t2 t1 t6 t5 t4".
char* reverse_single_spaced_triples(std::string_view text, long triples, char* out) {
  if (triples == 0) return out;
  const char* end = text.data() + text.size();
  space_scanner spaces(text.data(), end);
  const char* s0 = spaces.next();  // the space before t1
  for (long k = 1; k <= triples; ++k) {
    const char* s1 = spaces.next();
    const char* s2 = spaces.next();
    const char* s3 = k < triples ? spaces.next() : end;
    *out++ = ' ';
    out = copy_token(s2 + 1, s3, end, out);
    out = copy_token(s1, s2 + 1, end, out);  // " t2 "
    out = copy_token(s0 + 1, s1, end, out);
    s0 = s3;
  }
  return out;
}

// Any white space: complete triples re-joined with single spaces.
char* copy_triples(std::string_view text, bool swap, char* out) {
  const char* end = text.data() + text.size();
  field_cursor cursor(text);
  std::string_view t[3];
  while (cursor.next(t[0]) && cursor.next(t[1]) && cursor.next(t[2])) {
    if (swap) std::swap(t[0], t[2]);
    for (std::string_view token : t) {
      *out++ = ' ';
      out = copy_token(token.data(), token.data() + token.size(), end, out);
    }
  }
  return out;
}

// The position of a GEN or strand line as a number, or as written when it is none.
template <class Line>
std::string position_shown(const Line& g) {
  return g.position_ok ? std::to_string(g.position) : std::string(g.position_text);
}

}  // namespace

char* orient_snp(const gen_line& g, char orientation, bool order, char* out) {
  std::string_view allele_a = g.allele_a, allele_b = g.allele_b, probabilities = g.probabilities;
  if (orientation == '-') {
    // An allele without a complement stays as it is, so that the line stays readable.
    allele_a = complement_allele(allele_a, allele_a);
    allele_b = complement_allele(allele_b, allele_b);
  }
  const bool swap = order && allele_b < allele_a;
  if (swap) std::swap(allele_a, allele_b);
  out = write_gen_head(out, g.snp_id, g.rs_id, g.position, allele_a, allele_b);

  long tokens = single_spaced_tokens(probabilities);
  if (tokens < 0) return copy_triples(probabilities, swap, out);
  // Cut one or two tokens after the last whole triple.
  std::size_t keep = probabilities.size();
  for (long extra = tokens % 3; extra > 0; --extra) keep = probabilities.rfind(' ', keep - 1);
  std::string_view whole = probabilities.substr(0, keep);
  if (swap) return reverse_single_spaced_triples(whole, tokens / 3, out);
  return copy_token(whole.data(), whole.data() + whole.size(), whole.data() + whole.size(), out);
}

int orient_to_strand(const orient_args& args) {
  // The driver has already given the output of a gzip input its ".gz"
  // (a BGEN output keeps its name).
  const bool compress_out = is_gz_name(args.out_genotype_file) || is_gz_name(args.genotype_file);

  tee log;
  if (!log.open_or_report(false)) return 1;
  log.to_both_flushed("Processing strand file...\n");
  strand_map strand;
  {
    input_file input(args.strand_file, is_gz_name(args.strand_file));
    line_reader reader(input);
    std::string_view line;
    while (reader.next(line)) {
      strand_line s = parse_strand_line(line);
      if (s.orientation) {
        strand.add(s.position, s.orientation);
        continue;
      }
      log.to_both("Unknown orientation: " + std::string(s.token) + " " + position_shown(s) + "\n");
    }
    strand.finish();
  }
  log.to_both_flushed("Processing GEN file...\n");

  // The input is opened before the output is created, so that a missing
  // GEN file leaves no empty output behind.
  std::unique_ptr<input_file> gen;
  std::unique_ptr<output_file> out;
  try {
    gen = std::make_unique<input_file>(args.genotype_file, is_gz_name(args.genotype_file),
                                       args.streams);
    // Orient has no SAMPLE file: a BGEN output has no identifier block.
    out = open_gen_output(args.out_genotype_file, compress_out, args.streams, args.bgen, nullptr);
  } catch (const run_failure& e) {
    // "Can't open" of the GEN input or of the output: the log hears it first.
    const std::string message = std::string(e.what()) + "\n";
    log.to_log(message);
    log.to_stdout(message);
    log.flush();
    return 1;
  }

  line_reader reader(*gen);
  std::string_view line;
  std::uint64_t n_in_snps = 0, n_out_snps = 0;
  while (reader.next(line)) {
    gen_line g = split_gen_line(line);
    // A line without five fields or with a position that is not an integer
    // cannot be written back as a SNP: it is reported and left out.
    bool readable = g.leading_fields == 5 && g.position_ok;
    char orientation = readable ? strand.find(g.position) : 0;
    if (!orientation) {
      std::string message = "No orientation for SNP: " + position_shown(g) + " " +
                            std::string(g.snp_id) + " " + std::string(g.rs_id) + "\n";
      log.to_log(message);
      log.to_stdout(message);
      if (readable && !args.excl) orientation = '+';
    }
    if (orientation) {
      char* start = out->reserve(orient_snp_bound(g) + 1);
      char* p = orient_snp(g, orientation, args.order, start);
      *p++ = '\n';
      out->advance(p - start);
      ++n_out_snps;
    }
    if (n_in_snps % 1000 == 0) log.to_stdout(std::to_string(n_in_snps) + "\n");
    ++n_in_snps;
  }
  out->close();
  log.to_screen("Input SNPs: " + std::to_string(n_in_snps) + " Output SNPs: " +
            std::to_string(n_out_snps) + "\n");
  if (!bgen_summary(*out).empty()) log.to_both_flushed(bgen_summary(*out));
  return 0;
}

}  // namespace varnex
