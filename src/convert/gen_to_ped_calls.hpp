// The called genotypes of a GEN to PED run, two bits each.
//
// The GEN file arrives SNP by SNP, the PED file leaves individual by
// individual, so every call is held until the GEN file has been read. Rows are
// individuals, packed as `write_ped_line` reads them (SNP k of a row in byte
// k/4, bits 2*(k%4)), each row rounded up to 8 bytes; 2,000 individuals x
// 20,000 SNPs take 10 MB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

#include "formats/ped_writer.hpp"

namespace varnex {

class call_matrix {
 public:
  // Throws std::bad_alloc when the memory cannot be had.
  call_matrix(std::uint64_t individuals, std::uint64_t snps)
      : row_bytes_((snps + 31) / 32 * 8), data_(nullptr, &std::free) {
    std::uint64_t bytes = 0;
    if (__builtin_mul_overflow(individuals, row_bytes_, &bytes) || bytes > SIZE_MAX)
      throw std::bad_alloc();
    if (bytes == 0) return;
    // calloc: zero pages arrive from the kernel without being written first.
    data_.reset(static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(bytes), 1)));
    if (!data_) throw std::bad_alloc();
  }

  void set(std::uint64_t individual, std::uint64_t snp, unsigned call) {
    data_.get()[individual * row_bytes_ + (snp >> 2)] |=
        static_cast<std::uint8_t>(call << ((snp & 3) << 1));
  }
  // The calls of SNPs 32w to 32w + 31 at once, SNP 32w in the lowest bits:
  // filling the matrix a word at a time spares a read of scattered memory
  // for every call.
  void put_word(std::uint64_t individual, std::uint64_t w, std::uint64_t calls) {
    std::uint8_t* p = data_.get() + individual * row_bytes_ + 8 * w;
    for (int b = 0; b < 8; ++b) p[b] = static_cast<std::uint8_t>(calls >> (8 * b));
  }
  unsigned get(std::uint64_t individual, std::uint64_t snp) const {
    return packed_call(row(individual), snp);
  }
  const std::uint8_t* row(std::uint64_t individual) const {
    return data_.get() + individual * row_bytes_;
  }

 private:
  std::uint64_t row_bytes_;
  std::unique_ptr<std::uint8_t, decltype(&std::free)> data_;
};

}  // namespace varnex
