// Called genotypes, two bits each, held for a whole file.
//
//   individual 0:  AA AB -- BB ...  ->  bits 0b11'11'01'00 ... (SNP 0 lowest)
//
// A GEN file arrives SNP by SNP and a PED file leaves individual by
// individual (and the other way round), so every call is held until the input
// has been read. Rows are individuals, SNP k of a row in byte k/4, bits
// 2*(k%4), each row rounded up to whole 8-byte words of 32 SNPs; 2,000
// individuals x 20,000 SNPs take 10 MB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace varnex {

enum genotype_call : unsigned { call_aa = 0, call_ab = 1, call_bb = 2, call_missing = 3 };

// Call k of a packed row.
inline genotype_call packed_call(const std::uint8_t* row, std::size_t k) {
  return static_cast<genotype_call>((row[k >> 2] >> ((k & 3) << 1)) & 3u);
}

class genotype_matrix {
 public:
  // Throws std::bad_alloc when the memory cannot be had.
  genotype_matrix(std::uint64_t individuals, std::uint64_t snps)
      : row_bytes_((snps + 31) / 32 * 8), data_(nullptr, &std::free) {
    std::uint64_t bytes = 0;
    if (__builtin_mul_overflow(individuals, row_bytes_, &bytes) || bytes > SIZE_MAX)
      throw std::bad_alloc();
    if (bytes == 0) return;
    // calloc: zero pages arrive from the kernel without being written first.
    data_.reset(static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(bytes), 1)));
    if (!data_) throw std::bad_alloc();
  }

  // The calls of SNPs 32w to 32w + 31 at once, SNP 32w in the lowest bits:
  // filling or reading the matrix a word at a time spares a trip to
  // scattered memory for every call. Bits beyond the last SNP are meaningless.
  void put_word(std::uint64_t individual, std::uint64_t w, std::uint64_t calls) {
    std::uint8_t* p = data_.get() + individual * row_bytes_ + 8 * w;
    for (int b = 0; b < 8; ++b) p[b] = static_cast<std::uint8_t>(calls >> (8 * b));
  }
  std::uint64_t word(std::uint64_t individual, std::uint64_t w) const {
    const std::uint8_t* p = row(individual) + 8 * w;
    std::uint64_t calls = 0;
    for (int b = 0; b < 8; ++b) calls |= std::uint64_t(p[b]) << (8 * b);
    return calls;
  }
  const std::uint8_t* row(std::uint64_t individual) const { return data_.get() + individual * row_bytes_; }
  genotype_call get(std::uint64_t individual, std::uint64_t snp) const {
    return packed_call(row(individual), snp);
  }

  // Appends the calls of one row, SNP by SNP.
  class row_writer {
   public:
    row_writer(genotype_matrix& m, std::uint64_t individual) : m_(m), individual_(individual) {}
    void put(genotype_call c) {
      calls_ |= static_cast<std::uint64_t>(c) << shift_;
      shift_ += 2;
      if (shift_ == 64) {
        m_.put_word(individual_, w_++, calls_);
        calls_ = 0;
        shift_ = 0;
      }
    }
    // Stores the last, partly filled word; call once after the last SNP.
    void finish() {
      if (shift_ > 0) m_.put_word(individual_, w_, calls_);
    }

   private:
    genotype_matrix& m_;
    std::uint64_t individual_, w_ = 0, calls_ = 0;
    unsigned shift_ = 0;
  };

 private:
  std::uint64_t row_bytes_;
  std::unique_ptr<std::uint8_t, decltype(&std::free)> data_;
};

}  // namespace varnex
