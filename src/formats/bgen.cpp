#include "formats/bgen.hpp"

#include <libdeflate.h>
#include <sys/stat.h>
#include <zlib.h>
#include <zstd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

#include "formats/little_endian.hpp"
#include "formats/streams.hpp"

namespace varnex {

namespace {

constexpr std::uint32_t max_value(unsigned bits) {
  return static_cast<std::uint32_t>((std::uint64_t(1) << bits) - 1);
}

void put_text16(std::string& out, std::string_view text, const std::string& what) {
  if (text.size() > 0xFFFF)
    throw std::length_error(what + " is longer than 65535 bytes");
  append_le(out, static_cast<std::uint32_t>(text.size()), 2);
  out.append(text);
}

void put_text32(std::string& out, std::string_view text) {
  append_le(out, static_cast<std::uint32_t>(text.size()), 4);
  out.append(text);
}

}  // namespace

bool is_chromosome_code(std::string_view text) {
  if (text.size() > 3 && text.substr(0, 3) == "chr") text.remove_prefix(3);
  if (text == "X" || text == "Y" || text == "XY" || text == "MT" || text == "M") return true;
  if (text.empty()) return false;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + unsigned(c - '0');
    if (value > 26) return false;
  }
  return value >= 1;
}

bool quantise_triple(const double p[3], unsigned bits, std::uint32_t q[3], bool& rescaled) {
  rescaled = false;
  // NaN fails every comparison, so it is caught with the negative values.
  if (!(p[0] >= 0 && p[1] >= 0 && p[2] >= 0)) return false;
  const double sum = p[0] + p[1] + p[2];
  if (sum == 0 || !std::isfinite(sum)) return false;
  const std::uint32_t top = max_value(bits);
  const double scale = double(top);
  rescaled = std::fabs(sum - 1) > 1 / scale;
  // Hard calls, most of a typical file.
  if (sum == 1 && (p[0] == 1 || p[1] == 1 || p[2] == 1)) {
    for (int i = 0; i < 3; ++i) q[i] = p[i] == 1 ? top : 0;
    return true;
  }
  double frac[3];
  std::uint64_t total = 0;
  for (int i = 0; i < 3; ++i) {
    const double x = p[i] / sum * scale;
    const double f = std::floor(x);
    q[i] = static_cast<std::uint32_t>(f);
    frac[i] = x - f;
    total += q[i];
  }
  // The units short of 2^B - 1 (0 to 2, at most 3 through rounding) go to the
  // largest fractional parts; a stable order keeps the earlier one on ties.
  std::uint64_t left = top - total;
  if (left > 0) {
    int order[3] = {0, 1, 2};
    if (frac[order[1]] > frac[order[0]]) std::swap(order[0], order[1]);
    if (frac[order[2]] > frac[order[1]]) {
      std::swap(order[1], order[2]);
      if (frac[order[1]] > frac[order[0]]) std::swap(order[0], order[1]);
    }
    for (std::uint64_t k = 0; k < left && k < 3; ++k) ++q[order[k]];
  }
  return true;
}

void pack_bits(const std::uint32_t* values, std::size_t n, unsigned bits, unsigned char* out) {
  if (bits == 8) {
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(values[i]);
    return;
  }
  if (bits % 8 == 0) {
    const unsigned width = bits / 8;
    for (std::size_t i = 0; i < n; ++i) put_le(out + i * width, values[i], int(width));
    return;
  }
  // A 64-bit accumulator, emptied 32 bits at a time.
  std::uint64_t acc = 0;
  unsigned used = 0;
  unsigned char* p = out;
  for (std::size_t i = 0; i < n; ++i) {
    acc |= std::uint64_t(values[i]) << used;
    used += bits;
    if (used >= 32) {
      put_le(p, static_cast<std::uint32_t>(acc), 4);
      p += 4;
      acc >>= 32;
      used -= 32;
    }
  }
  while (used > 0) {
    *p++ = static_cast<unsigned char>(acc);
    acc >>= 8;
    used = used > 8 ? used - 8 : 0;
  }
}

void unpack_bits(const unsigned char* in, std::size_t n, unsigned bits, std::uint32_t* values) {
  if (bits == 8) {
    for (std::size_t i = 0; i < n; ++i) values[i] = in[i];
    return;
  }
  if (bits == 16) {
    for (std::size_t i = 0; i < n; ++i) values[i] = get_le16(in + 2 * i);
    return;
  }
  if (bits == 32) {
    for (std::size_t i = 0; i < n; ++i) values[i] = get_le32(in + 4 * i);
    return;
  }
  const std::size_t size = (n * bits + 7) / 8;
  const std::uint64_t mask = max_value(bits);
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t bit = i * bits;
    const std::size_t byte = bit / 8;
    std::uint64_t word = 0;
    if (byte + 8 <= size) {
      for (int b = 7; b >= 0; --b) word = word << 8 | in[byte + b];
    } else {
      for (std::size_t b = size; b-- > byte;) word = word << 8 | in[b];
    }
    values[i] = static_cast<std::uint32_t>((word >> (bit % 8)) & mask);
  }
}

std::string bgen_counts(std::uint32_t variants, std::uint32_t samples) {
  std::string out;
  append_le(out, variants, 4);
  append_le(out, samples, 4);
  return out;
}

std::string bgen_header(std::uint32_t variants, std::uint32_t samples, bgen_compression compression,
                        const std::vector<std::string>* ids) {
  std::string id_block;
  if (ids) {
    std::uint64_t length = 8;
    for (const std::string& id : *ids) length += 2 + id.size();
    if (length > 0xFFFFFFFFu) throw std::length_error("sample identifiers take more than 4 GB");
    append_le(id_block, static_cast<std::uint32_t>(length), 4);
    append_le(id_block, static_cast<std::uint32_t>(ids->size()), 4);
    for (const std::string& id : *ids) put_text16(id_block, id, "sample identifier " + id);
  }
  constexpr std::uint32_t header_length = 20;
  std::string out;
  append_le(out, static_cast<std::uint32_t>(header_length + id_block.size()), 4);
  append_le(out, header_length, 4);
  out += bgen_counts(variants, samples) + "bgen";
  append_le(out, static_cast<std::uint32_t>(compression) | 2u << 2 | (ids ? 1u << 31 : 0u), 4);
  return out + id_block;
}

bgen_encoder::bgen_encoder(bgen_compression compression, unsigned bits)
    : compression_(compression), bits_(bits) {
  if (compression_ == bgen_compression::zstd && !(zstd_ = ZSTD_createCCtx())) throw std::bad_alloc();
  if (compression_ == bgen_compression::zlib) {
    auto* z = new z_stream{};
    // Run-length and Huffman-only coding never search the hash table; memLevel
    // 8 keeps a block's values in one deflate block up to 16,384 bytes.
    if (deflateInit2(z, 6, Z_DEFLATED, 15, 8, Z_RLE) != Z_OK) {
      delete z;
      throw std::bad_alloc();
    }
    zlib_ = z;
  }
}

bgen_encoder::~bgen_encoder() {
  ZSTD_freeCCtx(static_cast<ZSTD_CCtx*>(zstd_));
  if (auto* z = static_cast<z_stream*>(zlib_)) {
    deflateEnd(z);
    delete z;
  }
}

// One zlib stream in two parts, each with Huffman codes of its own. The
// sample count, ploidy bytes and the two bytes after them are long runs of 2
// broken by the missing samples: run-length coded. The probabilities are
// hard calls (0 and 2^B - 1 bytes) mixed with near-random bytes, where string
// matches rarely pay for themselves: Huffman coding alone, which at 8 bits
// gives about 5% less than a general deflate of the whole block, and is faster.
std::size_t bgen_encoder::deflate_block(std::size_t values_at) {
  auto* z = static_cast<z_stream*>(zlib_);
  if (deflateReset(z) != Z_OK || deflateParams(z, 6, Z_RLE) != Z_OK)
    throw std::runtime_error("zlib compression failed");
  const uLong bound = deflateBound(z, static_cast<uLong>(raw_.size())) + 16;
  if (bound > 0xFFFFFFFFu) throw std::length_error("a variant block is longer than 4 GB");
  packed_.resize(bound);
  z->next_out = reinterpret_cast<Bytef*>(packed_.data());
  z->avail_out = static_cast<uInt>(packed_.size());
  z->next_in = reinterpret_cast<Bytef*>(raw_.data());
  z->avail_in = static_cast<uInt>(values_at);
  if (deflate(z, Z_BLOCK) != Z_OK || deflateParams(z, 6, Z_HUFFMAN_ONLY) != Z_OK)
    throw std::runtime_error("zlib compression failed");
  z->avail_in = static_cast<uInt>(raw_.size() - values_at);
  if (deflate(z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("zlib compression failed");
  return packed_.size() - z->avail_out;
}

std::uint64_t bgen_encoder::encode(const bgen_variant_in& v, std::string& out) {
  put_text16(out, v.varid, "variant id");
  put_text16(out, v.rsid, "rsid");
  put_text16(out, v.chromosome, "chromosome");
  append_le(out, v.position, 4);
  append_le(out, 2, 2);
  put_text32(out, v.allele_a);
  put_text32(out, v.allele_b);

  const std::size_t n = v.samples;
  const std::size_t packed_size = (2 * n * bits_ + 7) / 8;
  raw_.clear();
  append_le(raw_, v.samples, 4);
  append_le(raw_, 2, 2);
  raw_ += '\2';
  raw_ += '\2';
  const std::size_t ploidy_at = raw_.size();
  raw_.resize(ploidy_at + n + 2 + packed_size);
  char* ploidy = raw_.data() + ploidy_at;
  values_.resize(2 * n);
  std::uint64_t rescaled_count = 0;
  for (std::size_t j = 0; j < n; ++j) {
    std::uint32_t q[3];
    bool rescaled;
    if (quantise_triple(v.probs + 3 * j, bits_, q, rescaled)) {
      ploidy[j] = 2;
      values_[2 * j] = q[0];
      values_[2 * j + 1] = q[1];
      rescaled_count += rescaled;
    } else {
      ploidy[j] = char(0x82);
      values_[2 * j] = values_[2 * j + 1] = 0;
    }
  }
  ploidy[n] = 0;  // unphased
  ploidy[n + 1] = static_cast<char>(bits_);
  pack_bits(values_.data(), 2 * n,  bits_, reinterpret_cast<unsigned char*>(ploidy + n + 2));

  if (raw_.size() > 0xFFFFFFFFu) throw std::length_error("a variant block is longer than 4 GB");
  if (compression_ == bgen_compression::none) {
    append_le(out, static_cast<std::uint32_t>(raw_.size()), 4);
    out += raw_;
    return rescaled_count;
  }
  std::size_t size;
  if (compression_ == bgen_compression::zlib) {
    size = deflate_block(ploidy_at + n + 2);
  } else {
    const std::size_t bound = ZSTD_compressBound(raw_.size());
    packed_.resize(bound);
    size = ZSTD_compressCCtx(static_cast<ZSTD_CCtx*>(zstd_), packed_.data(), bound, raw_.data(),
                             raw_.size(), ZSTD_CLEVEL_DEFAULT);
    if (ZSTD_isError(size)) throw std::runtime_error("zstd compression failed");
  }
  if (size + 4 > 0xFFFFFFFFu) throw std::length_error("a variant block is longer than 4 GB");
  append_le(out, static_cast<std::uint32_t>(size + 4), 4);
  append_le(out, static_cast<std::uint32_t>(raw_.size()), 4);
  out.append(packed_.data(), size);
  return rescaled_count;
}

// ---------------------------------------------------------------- reading

bgen_reader::bgen_reader(const std::string& name) : name_(name) {
  file_.reset(std::fopen(name.c_str(), "rb"));
  struct stat st;
  if (!file_ || ::fstat(fileno(file_.get()), &st) != 0 || S_ISDIR(st.st_mode))
    throw run_failure("Can't open " + name);
  std::setvbuf(file_.get(), nullptr, _IOFBF, 1 << 20);
  size_known_ = S_ISREG(st.st_mode);
  if (size_known_) size_ = static_cast<std::uint64_t>(st.st_size);

  unsigned char head[20];
  read_exact(head, 20, "the header block");
  const std::uint32_t offset = get_le32(head), header_length = get_le32(head + 4);
  layout_.variants = get_le32(head + 8);
  layout_.samples = get_le32(head + 12);
  if (std::memcmp(head + 16, "bgen", 4) != 0 && std::memcmp(head + 16, "\0\0\0\0", 4) != 0)
    damaged("not a BGEN file (no \"bgen\" magic number)");
  if (header_length < 20)
    damaged("header length " + std::to_string(header_length) + " is less than 20");
  std::string skip(header_length - 16, '\0');  // free data, then the flags
  read_exact(skip.data(), skip.size(), "the header block");
  const std::uint32_t flags = get_le32(reinterpret_cast<const unsigned char*>(skip.data()) + skip.size() - 4);
  const unsigned compression = flags & 3;
  layout_.layout = (flags >> 2) & 0xF;
  if (layout_.layout != 1 && layout_.layout != 2)
    damaged("layout " + std::to_string(layout_.layout) + " is not supported (1 and 2 are)");
  if (compression == 3 || (compression == 2 && layout_.layout == 1))
    damaged("compression " + std::to_string(compression) + " is not valid with layout " +
            std::to_string(layout_.layout));
  layout_.compression = static_cast<bgen_compression>(compression);

  std::uint64_t end_of_blocks = 4 + std::uint64_t(header_length);
  if ((flags >> 31) & 1) {  // sample identifiers
    unsigned char ids_head[8];
    read_exact(ids_head, 8, "the sample identifier block");
    const std::uint32_t length = get_le32(ids_head);
    if (get_le32(ids_head + 4) != layout_.samples)
      damaged("the sample identifier block counts " + std::to_string(get_le32(ids_head + 4)) +
              " samples, the header " + std::to_string(layout_.samples));
    if (size_known_ && length > size_)
      damaged("the sample identifier block runs past the end of the file");
    std::string block(length < 8 ? 0 : length - 8, '\0');
    read_exact(block.data(), block.size(), "the sample identifier block");
    std::size_t at = 0;
    ids_.reserve(layout_.samples);
    for (std::uint32_t j = 0; j < layout_.samples; ++j) {
      const auto* p = reinterpret_cast<const unsigned char*>(block.data() + at);
      const std::size_t l = block.size() - at < 2 ? 0 : get_le16(p);
      if (block.size() - at < 2 + l) damaged("the sample identifier block is shorter than its identifiers");
      ids_.emplace_back(block.data() + at + 2, l);
      at += 2 + l;
    }
    if (at != block.size() || length < 8)
      damaged("the sample identifier block length " + std::to_string(length) +
              " disagrees with its identifiers");
    end_of_blocks += length;
  }
  if (offset + std::uint64_t(4) < end_of_blocks)
    damaged("the first variant offset " + std::to_string(offset) +
            " lies inside the header");
  skip.assign(offset + 4 - end_of_blocks, '\0');
  read_exact(skip.data(), skip.size(), "the space before the first variant");
  if (layout_.compression == bgen_compression::zstd && !(zstd_ = ZSTD_createDCtx())) throw std::bad_alloc();
  if (layout_.compression == bgen_compression::zlib && !(inflate_ = libdeflate_alloc_decompressor()))
    throw std::bad_alloc();
}

bgen_reader::~bgen_reader() {
  ZSTD_freeDCtx(static_cast<ZSTD_DCtx*>(zstd_));
  if (inflate_) libdeflate_free_decompressor(static_cast<libdeflate_decompressor*>(inflate_));
}

void bgen_reader::uncompress() {
  const std::size_t size = raw_.size();
  std::size_t out = 0;
  if (layout_.compression == bgen_compression::zstd) {
    out = ZSTD_decompressDCtx(static_cast<ZSTD_DCtx*>(zstd_), raw_.data(), size, compressed_.data(),
                              compressed_.size());
    if (ZSTD_isError(out))
      damaged("the probability data is not valid zstd data of " + std::to_string(size) + " bytes");
  } else {
    std::size_t in = 0;
    const libdeflate_result r = libdeflate_zlib_decompress_ex(
        static_cast<libdeflate_decompressor*>(inflate_), compressed_.data(), compressed_.size(),
        raw_.data(), size, &in, &out);
    if (r == LIBDEFLATE_INSUFFICIENT_SPACE)
      damaged("the probability data is more than " + std::to_string(size) +
              " bytes once uncompressed, the block says " + std::to_string(size));
    if (r != LIBDEFLATE_SUCCESS || in != compressed_.size())
      damaged("the probability data is not valid zlib data of " + std::to_string(size) + " bytes");
  }
  if (out != size)
    damaged("the probability data is " + std::to_string(out) +
            " bytes once uncompressed, the block says " + std::to_string(size));
}

void bgen_reader::damaged(const std::string& what) const {
  std::string where = name_;
  if (index_ > 0) {
    where += ", variant " + std::to_string(index_);
    if (!rsid_.empty()) where += " (rsid " + rsid_ + ")";
  }
  throw run_failure(where + ": " + what);
}

void bgen_reader::read_exact(void* to, std::size_t n, const char* what) {
  if (n == 0) return;
  const std::size_t got = std::fread(to, 1, n, file_.get());
  if (std::ferror(file_.get())) throw run_failure("Can't read " + name_);
  position_ += got;
  if (got != n) damaged(std::string("truncated: ") + what + " runs past the end of the file");
  if (keep_ && index_ > 0) block_.append(static_cast<const char*>(to), n);
}

bool bgen_reader::next(bgen_variant& v) {
  rsid_.clear();
  if (index_ == layout_.variants) {
    if (std::fgetc(file_.get()) != EOF)
      throw run_failure(name_ + ": data after the last of the " + std::to_string(layout_.variants) +
                        " variants that the header counts");
    if (std::ferror(file_.get())) throw run_failure("Can't read " + name_);
    return false;
  }
  ++index_;
  block_.clear();
  if (std::feof(file_.get()) || (size_known_ && position_ == size_))
    throw run_failure(name_ + ": the file ends after " + std::to_string(index_ - 1) +
                      " variants, the header counts " + std::to_string(layout_.variants));
  auto fits = [&](std::uint64_t n, const char* what) {
    if (size_known_ && n > size_ - position_)
      damaged(std::string("truncated: ") + what + " of " + std::to_string(n) +
              " bytes runs past the end of the file");
  };
  unsigned char b[8];
  auto text16 = [&](std::string& to, const char* what) {
    read_exact(b, 2, what);
    to.resize(get_le16(b));
    read_exact(to.data(), to.size(), what);
  };
  auto text32 = [&](std::string& to, const char* what) {
    read_exact(b, 4, what);
    fits(get_le32(b), what);
    to.resize(get_le32(b));
    read_exact(to.data(), to.size(), what);
  };
  const std::uint32_t n = layout_.samples;
  if (layout_.layout == 1) {
    read_exact(b, 4, "the sample count");
    if (get_le32(b) != n)
      damaged("the block counts " + std::to_string(get_le32(b)) + " samples, the header " +
              std::to_string(n));
  }
  text16(v.varid, "the variant id");
  text16(v.rsid, "the rsid");
  rsid_ = v.rsid;
  text16(v.chromosome, "the chromosome");
  read_exact(b, 4, "the position");
  v.position = get_le32(b);
  std::uint32_t alleles = 2;
  if (layout_.layout == 2) {
    read_exact(b, 2, "the allele count");
    alleles = get_le16(b);
    if (alleles != 2)
      damaged("the variant has " + std::to_string(alleles) +
              " alleles; only biallelic variants can be read");
  }
  text32(v.allele_a, "allele A");
  text32(v.allele_b, "allele B");
  // The probability data as stored; uncompressed layout 1 gives no length.
  std::uint64_t stored = 6 * std::uint64_t(n);
  if (layout_.layout == 2 || layout_.compression != bgen_compression::none) {
    read_exact(b, 4, "the probability data length");
    stored = get_le32(b);
  }
  fits(stored, "the probability data");
  if (skip_) {
    if (size_known_) {
      if (stored > 0 && std::fseek(file_.get(), static_cast<long>(stored), SEEK_CUR) != 0)
        throw run_failure("Can't read " + name_);
      position_ += stored;
    } else {
      compressed_.resize(stored);
      read_exact(compressed_.data(), stored, "the probability data");
    }
    v.values.clear();
    return true;
  }

  // The values are sized once the data for them has been read, so that a
  // damaged sample count costs no more memory than the file holds.
  // The smallest and largest layout-2 data N diploid samples can have:
  const std::uint64_t least = 10 + std::uint64_t(n) + (2 * std::uint64_t(n) + 7) / 8;
  const std::uint64_t most = 10 + std::uint64_t(n) * 9;
  if (layout_.compression == bgen_compression::none) {
    raw_.resize(stored);
    read_exact(raw_.data(), stored, "the probability data");
  } else {
    std::uint64_t size = 6 * std::uint64_t(n);  // layout 1: two bytes a value
    if (layout_.layout == 2) {
      if (stored < 4)
        damaged("the probability data length " + std::to_string(stored) + " is less than 4");
      read_exact(b, 4, "the uncompressed length");
      size = get_le32(b);
      if (size < least || size > most)
        damaged("the uncompressed length " + std::to_string(size) + " does not fit " +
                std::to_string(n) + " diploid samples");
      stored -= 4;
    }
    compressed_.resize(stored);
    read_exact(compressed_.data(), stored, "the probability data");
    raw_.resize(size);
    uncompress();
  }
  if (layout_.layout == 1) {
    const auto* p = reinterpret_cast<const unsigned char*>(raw_.data());
    v.values.resize(3 * std::size_t(n));
    for (std::size_t i = 0; i < 3 * std::size_t(n); ++i) {
      v.values[i] = get_le16(p + 2 * i);
      if (v.values[i] > 32768)
        damaged("a probability of sample " + std::to_string(i / 3 + 1) + " is more than 1");
    }
    v.bits = 16;
    v.scale = 32768;
    return true;
  }

  if (raw_.size() < least)
    damaged("the probability data is " + std::to_string(raw_.size()) + " bytes, too short for " +
            std::to_string(n) + " samples");
  const auto* p = reinterpret_cast<const unsigned char*>(raw_.data());
  if (get_le32(p) != n)
    damaged("the probability data counts " + std::to_string(get_le32(p)) +
            " samples, the header " + std::to_string(n));
  if (get_le16(p + 4) != 2)
    damaged("the probability data has " + std::to_string(get_le16(p + 4)) +
            " alleles; only biallelic variants can be read");
  if (p[6] != 2 || p[7] != 2)
    damaged("ploidy from " + std::to_string(p[6]) + " to " + std::to_string(p[7]) +
            "; only diploid data can be read");
  const unsigned char* ploidy = p + 8;
  for (std::uint32_t j = 0; j < n; ++j)
    if ((ploidy[j] & 0x3F) != 2)
      damaged("sample " + std::to_string(j + 1) + " has ploidy " +
              std::to_string(ploidy[j] & 0x3F) + "; only diploid data can be read");
  if (ploidy[n] != 0) damaged("phased data cannot be read; only unphased data can");
  const unsigned bits = ploidy[n + 1];
  if (bits < 1 || bits > 32)
    damaged("bits per probability " + std::to_string(bits) + " is not between 1 and 32");
  const std::uint64_t expected = 10 + std::uint64_t(n) + (2 * std::uint64_t(n) * bits + 7) / 8;
  if (raw_.size() != expected)
    damaged("the probability data is " + std::to_string(raw_.size()) + " bytes, " +
            std::to_string(n) + " samples of " + std::to_string(bits) + " bits need " +
            std::to_string(expected));
  const std::uint32_t top = max_value(bits);
  // Unpacked into the upper two thirds, then spread into triples in place.
  v.values.resize(3 * std::size_t(n));
  std::uint32_t* values = v.values.data();
  unpack_bits(ploidy + n + 2, 2 * std::size_t(n), bits, values + n);
  for (std::uint32_t j = 0; j < n; ++j) {
    const std::uint32_t a = values[n + 2 * std::size_t(j)];
    const std::uint32_t ab = values[n + 2 * std::size_t(j) + 1];
    if (ploidy[j] & 0x80) {
      values[3 * std::size_t(j)] = values[3 * std::size_t(j) + 1] = values[3 * std::size_t(j) + 2] = 0;
      continue;
    }
    if (std::uint64_t(a) + ab > top)
      damaged("the probabilities of sample " + std::to_string(j + 1) + " sum to more than 1");
    values[3 * std::size_t(j)] = a;
    values[3 * std::size_t(j) + 1] = ab;
    values[3 * std::size_t(j) + 2] = top - a - ab;
  }
  v.bits = bits;
  v.scale = top;
  return true;
}

}  // namespace varnex
