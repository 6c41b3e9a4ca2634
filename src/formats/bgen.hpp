// BGEN v1.2 genotype files: the binary codec.
//
// A file is a header block (variant count M, sample count N, "bgen", flags),
// an optional sample identifier block, then M variant blocks. Written here:
// layout 2, biallelic, unphased, diploid, probabilities of B bits (1 to 32)
// compressed per block with zlib, zstd or not at all. Read: layouts 1 and 2,
// every compression, B from 1 to 32, for biallelic unphased diploid data;
// anything else stops the run with the file, the variant and what is wrong.
//
// Every variant block is encoded and compressed on its own, so blocks can be
// made on several threads and written in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace varnex {

enum class bgen_compression : unsigned { none = 0, zlib = 1, zstd = 2 };

// Chromosome codes a BGEN variant takes from the GEN snp_id: 1-26 (leading
// zeros allowed), X, Y, XY, MT, M, each with or without a "chr" prefix.
bool is_chromosome_code(std::string_view text);

// The rounding of one triple to B bits. False when the triple is missing (a
// negative or non-finite value, or all three zero); otherwise `q` sums to
// 2^B - 1 exactly: each value scaled and floored, the units left over given
// to the largest fractional parts, earlier first on ties. `rescaled` is set
// when the sum differed from 1 by more than 1 / (2^B - 1).
bool quantise_triple(const double p[3], unsigned bits, std::uint32_t q[3], bool& rescaled);

// `n` values of `bits` bits each, least significant bit first, across byte
// boundaries: ceil(n * bits / 8) bytes at `out`, unused high bits zero.
void pack_bits(const std::uint32_t* values, std::size_t n, unsigned bits, unsigned char* out);
// The reverse; reads exactly ceil(n * bits / 8) bytes.
void unpack_bits(const unsigned char* in, std::size_t n, unsigned bits, std::uint32_t* values);

// The header block, with the sample identifier block when `ids` is given.
// M and N are patched later with `patch_bgen_counts` when not known yet.
std::string bgen_header(std::uint32_t variants, std::uint32_t samples, bgen_compression compression,
                        const std::vector<std::string>* ids);
// Bytes 8..15 of the file: M and N.
std::string bgen_counts(std::uint32_t variants, std::uint32_t samples);

// One variant as it goes into a layout-2 block. `probs` holds 3 values per
// sample, as read from GEN text.
struct bgen_variant_in {
  std::string_view varid, rsid, chromosome, allele_a, allele_b;
  std::uint32_t position = 0;
  const double* probs = nullptr;
  std::uint32_t samples = 0;
};

// Encodes and compresses variant blocks; one per thread (it holds scratch
// buffers and a compression context).
class bgen_encoder {
 public:
  bgen_encoder(bgen_compression compression, unsigned bits);
  ~bgen_encoder();
  bgen_encoder(const bgen_encoder&) = delete;
  bgen_encoder& operator=(const bgen_encoder&) = delete;

  // Appends the whole block to `out`; returns the number of triples whose sum
  // was rescaled. Throws std::length_error for a field too long for the format.
  std::uint64_t encode(const bgen_variant_in& v, std::string& out);
  // Bits per probability of the blocks encoded from now on.
  void set_bits(unsigned bits) { bits_ = bits; }

 private:
  bgen_compression compression_;
  unsigned bits_;
  std::vector<std::uint32_t> values_;
  std::string raw_;
  std::string packed_;
  void* zstd_ = nullptr;  // ZSTD_CCtx
  void* zlib_ = nullptr;  // z_stream
  // The zlib data of `raw_` into `packed_`; returns its size.
  std::size_t deflate_block(std::size_t values_at);
};

// Header fields as read.
struct bgen_layout {
  std::uint32_t variants = 0;
  std::uint32_t samples = 0;
  unsigned layout = 2;
  bgen_compression compression = bgen_compression::zlib;
};

// One decoded variant. Each sample has three integers that sum to `scale`
// (layout 2: 2^B - 1) or are each out of `scale` (layout 1: 32768); a missing
// sample has three zeros.
struct bgen_variant {
  std::string varid, rsid, chromosome, allele_a, allele_b;
  std::uint32_t position = 0;
  unsigned bits = 0;
  std::uint32_t scale = 0;
  std::vector<std::uint32_t> values;  // 3 per sample
};

// Sequential reader of a BGEN file. Every failure throws run_failure naming the
// file (and the variant's 1-based index and rsid once inside a block).
class bgen_reader {
 public:
  explicit bgen_reader(const std::string& name);
  ~bgen_reader();
  bgen_reader(const bgen_reader&) = delete;
  bgen_reader& operator=(const bgen_reader&) = delete;

  const bgen_layout& layout() const { return layout_; }
  // Empty when the file has no sample identifier block.
  const std::vector<std::string>& sample_ids() const { return ids_; }
  // False after the last variant, once the file is known to end there.
  bool next(bgen_variant& v);
  // From now on `next` reads the identifiers, position and alleles only and
  // steps over the probability data (left unchecked): a quick count.
  void skip_probabilities() { skip_ = true; }
  // From now on `next` also keeps the bytes of the variant's block as read,
  // for `block`: a block copied unchanged into another file.
  void keep_blocks() { keep_ = true; }
  const std::string& block() const { return block_; }
  const std::string& name() const { return name_; }

 private:
  void read_exact(void* to, std::size_t n, const char* what);
  [[noreturn]] void damaged(const std::string& what) const;
  std::string name_;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_{nullptr, std::fclose};
  std::uint64_t position_ = 0;
  std::uint64_t size_ = 0;  // of a regular file
  bool size_known_ = false;
  bgen_layout layout_;
  std::vector<std::string> ids_;
  std::uint64_t index_ = 0;  // of the variant being read, from 1
  std::string rsid_;         // of the variant being read, once known
  std::string compressed_;
  std::string raw_;
  void* zstd_ = nullptr;     // ZSTD_DCtx
  void* inflate_ = nullptr;  // libdeflate_decompressor
  bool skip_ = false;
  bool keep_ = false;
  std::string block_;
  // The zlib or zstd data of `compressed_` into `raw_`, which holds the
  // size the block gives.
  void uncompress();
};

}  // namespace varnex
