// Called genotypes, two bits each, held for a whole file.
//
//   individual 0:  AA AB -- BB ...  ->  word 0b...11'11'01'00 (SNP 0 lowest)
//
// A GEN file arrives SNP by SNP and a PED file leaves individual by
// individual (and the other way round), so every call is held until the input
// has been read. The calls are kept in 64-bit words of 32, the first in the
// lowest bits; read as bytes, call k of a word run is in byte k/4, bits
// 2*(k%4). The matrix is a list of rows of one fixed number of words, added as
// the input is read, so it is sized by the input itself rather than by a
// counting pass: PED to GEN adds a row per individual (all its SNPs), GEN to
// PED a row per 32 SNPs (one word per individual). 2,000 individuals x
// 20,000 SNPs take 10 MB.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

namespace varnex {

static_assert(std::endian::native == std::endian::little,
              "calls are read byte by byte from their words");

enum genotype_call : unsigned { call_aa = 0, call_ab = 1, call_bb = 2, call_missing = 3 };

// Call k of a packed run of words, read as bytes.
inline genotype_call packed_call(const std::uint8_t* calls, std::size_t k) {
  return static_cast<genotype_call>((calls[k >> 2] >> ((k & 3) << 1)) & 3u);
}

class genotype_matrix {
 public:
  explicit genotype_matrix(std::uint64_t row_words, std::uint64_t chunk_bytes = 8 << 20)
      : row_words_(row_words) {
    const std::uint64_t per_chunk = chunk_bytes / 8 / (row_words ? row_words : 1);
    chunk_rows_ = per_chunk ? per_chunk : 1;
  }

  // A new last row, every word 0. Rows come in chunks of about 8 MiB from
  // calloc, whose zero pages arrive from the kernel without being written
  // first, and no row ever moves. Throws std::bad_alloc.
  std::uint64_t* add_row() {
    if (rows_ % chunk_rows_ == 0) {
      std::uint64_t words = 0;
      if (__builtin_mul_overflow(chunk_rows_, row_words_, &words) || words > SIZE_MAX / 8)
        throw std::bad_alloc();
      chunks_.emplace_back(static_cast<std::uint64_t*>(std::calloc(words ? words : 1, 8)), &std::free);
      if (!chunks_.back()) {
        chunks_.pop_back();
        throw std::bad_alloc();
      }
    }
    return row(rows_++);
  }
  std::uint64_t rows() const { return rows_; }
  std::uint64_t row_words() const { return row_words_; }
  std::uint64_t* row(std::uint64_t r) {
    return chunks_[r / chunk_rows_].get() + (r % chunk_rows_) * row_words_;
  }
  const std::uint64_t* row(std::uint64_t r) const {
    return chunks_[r / chunk_rows_].get() + (r % chunk_rows_) * row_words_;
  }

  // Fills a row call by call, 32 to a word.
  class row_writer {
   public:
    explicit row_writer(std::uint64_t* row) : word_(row) {}
    void put(genotype_call c) {
      *word_ |= static_cast<std::uint64_t>(c) << shift_;
      shift_ += 2;
      if (shift_ == 64) {
        ++word_;
        shift_ = 0;
      }
    }

   private:
    std::uint64_t* word_;
    unsigned shift_ = 0;
  };

 private:
  std::uint64_t row_words_, chunk_rows_, rows_ = 0;
  std::vector<std::unique_ptr<std::uint64_t, decltype(&std::free)>> chunks_;
};

}  // namespace varnex
