// Deterministic workload generator for timing runs.
//
//   gen_workload gen --samples 2000 --snps 40000 --uncertain 0.2 chr22.gen.gz
//
// Every value is a pure function of (seed, position, sample index), so a GEN
// file and a PED file made with the same options describe the same genotypes,
// and files made with overlapping position or sample ranges agree where they
// overlap (merge inputs). Alleles and allele frequencies depend on the
// position only; the seed decides genotypes and which SNPs are written with
// their alleles swapped. An output whose name contains ".gz" is compressed.
#include <zlib.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct params {
  std::string kind, out;
  long samples = 1000;
  long snps = 10000;
  double uncertain = 0.1;
  double missing = 0.01;
  double swap = 0.0;
  double cover = 1.0;
  std::uint64_t seed = 1;
  long pos_start = 10000;
  long pos_step = 100;
  long sample_offset = 0;
  long every = 10;
  int level = 6;
  std::string chrom = "22";
  std::string id_prefix = "S";
};

std::uint64_t mix(std::uint64_t x) {
  x += 0x9e3779b97f4a7c15ull;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}
std::uint64_t hash3(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
  return mix(a ^ mix(b ^ mix(c)));
}
// Uniform in [0, 1) from the top 53 bits.
double unit(std::uint64_t h) { return static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0); }

// Buffered writer: plain write or zlib gzwrite, chosen by the name.
class writer {
 public:
  writer(const std::string& name, int level) : buffer_(4 << 20) {
    if (name.find(".gz") != std::string::npos) {
      char mode[8];
      std::snprintf(mode, sizeof mode, "wb%d", level);
      gz_ = gzopen(name.c_str(), mode);
      if (!gz_) die("cannot create " + name);
      gzbuffer(gz_, 1 << 20);
    } else {
      plain_ = std::fopen(name.c_str(), "wb");
      if (!plain_) die("cannot create " + name);
    }
  }
  ~writer() { finish(); }
  void put(std::string_view s) {
    if (used_ + s.size() > buffer_.size()) drain();
    if (s.size() > buffer_.size()) buffer_.resize(s.size());
    std::memcpy(buffer_.data() + used_, s.data(), s.size());
    used_ += s.size();
  }
  void put(char c) {
    if (used_ == buffer_.size()) drain();
    buffer_[used_++] = c;
  }
  void put_int(long v) {
    char tmp[24];
    put(std::string_view(tmp, std::to_chars(tmp, tmp + 24, v).ptr - tmp));
  }
  void finish() {
    drain();
    if (gz_ && gzclose(gz_) != Z_OK) die("write failed");
    if (plain_ && std::fclose(plain_) != 0) die("write failed");
    gz_ = nullptr;
    plain_ = nullptr;
  }
  [[noreturn]] static void die(const std::string& what) {
    std::fprintf(stderr, "gen_workload: %s\n", what.c_str());
    std::exit(2);
  }

 private:
  void drain() {
    if (used_ == 0) return;
    if (gz_) {
      if (gzwrite(gz_, buffer_.data(), static_cast<unsigned>(used_)) != static_cast<int>(used_))
        die("write failed");
    } else if (std::fwrite(buffer_.data(), 1, used_, plain_) != used_) {
      die("write failed");
    }
    used_ = 0;
  }
  std::vector<char> buffer_;
  std::size_t used_ = 0;
  gzFile gz_ = nullptr;
  std::FILE* plain_ = nullptr;
};

const char* const allele_pairs[12][2] = {{"A", "C"}, {"A", "G"}, {"A", "T"}, {"C", "A"},
                                         {"C", "G"}, {"C", "T"}, {"G", "A"}, {"G", "C"},
                                         {"G", "T"}, {"T", "A"}, {"T", "C"}, {"T", "G"}};

struct snp_info {
  long position;
  const char* a;
  const char* b;
  double freq_b;  // frequency of allele B
  bool swapped;   // written as B A with reversed triples
};

snp_info snp_at(const params& p, long k) {
  snp_info s;
  s.position = p.pos_start + k * p.pos_step;
  std::uint64_t h = hash3(0x5eed, static_cast<std::uint64_t>(s.position), 1);
  s.a = allele_pairs[h % 12][0];
  s.b = allele_pairs[h % 12][1];
  s.freq_b = 0.05 + 0.45 * unit(mix(h));
  s.swapped = unit(hash3(p.seed, static_cast<std::uint64_t>(s.position), 2)) < p.swap;
  if (s.swapped) std::swap(s.a, s.b);
  return s;
}

// One genotype: kind 0 hard call, 1 uncertain, 2 missing; `g` counts copies of
// the (unswapped) B allele; `milli` the three probabilities in thousandths.
struct genotype {
  int kind;
  int g;
  int milli[3];
};

genotype genotype_at(const params& p, const snp_info& s, long sample) {
  std::uint64_t h = hash3(p.seed, static_cast<std::uint64_t>(s.position),
                          static_cast<std::uint64_t>(sample + p.sample_offset) + 3);
  genotype r{};
  double u = unit(h);
  std::uint64_t h2 = mix(h);
  double v = unit(h2);
  double q = s.freq_b;
  r.g = v < (1 - q) * (1 - q) ? 0 : v < 1 - q * q ? 1 : 2;
  if (u < p.missing) {
    r.kind = 2;
  } else if (u < p.missing + p.uncertain) {
    r.kind = 1;
    std::uint64_t h3 = mix(h2);
    int top = 340 + static_cast<int>(h3 % 650);
    int second = static_cast<int>((h3 >> 20) % static_cast<std::uint64_t>(1000 - top + 1));
    int third = 1000 - top - second;
    r.milli[r.g] = top;
    r.milli[(r.g + 1) % 3] = second;
    r.milli[(r.g + 2) % 3] = third;
  } else {
    r.kind = 0;
  }
  if (s.swapped && r.kind != 2) {
    r.g = 2 - r.g;
    std::swap(r.milli[0], r.milli[2]);
  }
  return r;
}

void put_milli(writer& w, int m) {
  char t[5] = {'0', '.', '0', '0', '0'};
  if (m >= 1000) {
    w.put("1.000");
    return;
  }
  t[2] = static_cast<char>('0' + m / 100);
  t[3] = static_cast<char>('0' + m / 10 % 10);
  t[4] = static_cast<char>('0' + m % 10);
  w.put(std::string_view(t, 5));
}

void sample_id(writer& w, const params& p, long j) {
  w.put(p.id_prefix);
  w.put_int(j + p.sample_offset + 1);
}

void make_gen(const params& p, writer& w) {
  static const char* const hard[3] = {" 1 0 0", " 0 1 0", " 0 0 1"};
  for (long k = 0; k < p.snps; ++k) {
    snp_info s = snp_at(p, k);
    w.put(p.chrom);
    w.put(" rs");
    w.put_int(s.position);
    w.put(' ');
    w.put_int(s.position);
    w.put(' ');
    w.put(s.a);
    w.put(' ');
    w.put(s.b);
    for (long j = 0; j < p.samples; ++j) {
      genotype g = genotype_at(p, s, j);
      if (g.kind == 0) {
        w.put(hard[g.g]);
      } else if (g.kind == 2) {
        w.put(" 0 0 0");
      } else {
        for (int i = 0; i < 3; ++i) {
          w.put(' ');
          put_milli(w, g.milli[i]);
        }
      }
    }
    w.put('\n');
  }
}

void make_sample(const params& p, writer& w) {
  w.put("ID_1 ID_2 missing sex phenotype\n0 0 0 D P\n");
  for (long j = 0; j < p.samples; ++j) {
    std::uint64_t h = hash3(p.seed, static_cast<std::uint64_t>(j + p.sample_offset), 4);
    sample_id(w, p, j);
    w.put(' ');
    sample_id(w, p, j);
    w.put(" 0 ");
    w.put(h % 2 ? "1" : "2");
    w.put(' ');
    static const char* const pheno[4] = {"0", "1", "1", "-9"};
    w.put(pheno[(h >> 8) % 4]);
    w.put('\n');
  }
}

void make_ped(const params& p, writer& w) {
  std::vector<snp_info> snps;
  snps.reserve(static_cast<std::size_t>(p.snps));
  for (long k = 0; k < p.snps; ++k) snps.push_back(snp_at(p, k));
  for (long j = 0; j < p.samples; ++j) {
    std::uint64_t h = hash3(p.seed, static_cast<std::uint64_t>(j + p.sample_offset), 4);
    sample_id(w, p, j);
    w.put('\t');
    sample_id(w, p, j);
    w.put("\t0\t0\t");
    w.put(h % 2 ? "1" : "2");
    w.put('\t');
    static const char* const pheno[4] = {"0", "1", "1", "-9"};
    w.put(pheno[(h >> 8) % 4]);
    for (const snp_info& s : snps) {
      genotype g = genotype_at(p, s, j);
      w.put('\t');
      if (g.kind == 2) {
        w.put("0 0");
        continue;
      }
      // The most likely genotype (for an uncertain triple: the largest value).
      int call = g.g;
      if (g.kind == 1) {
        call = 0;
        for (int i = 1; i < 3; ++i)
          if (g.milli[i] > g.milli[call]) call = i;
      }
      w.put(call == 2 ? s.b : s.a);
      w.put(' ');
      w.put(call == 0 ? s.a : s.b);
    }
    w.put('\n');
  }
}

void make_map(const params& p, writer& w) {
  for (long k = 0; k < p.snps; ++k) {
    snp_info s = snp_at(p, k);
    w.put(p.chrom);
    w.put("\trs");
    w.put_int(s.position);
    w.put("\t0\t");
    w.put_int(s.position);
    w.put('\n');
  }
}

void make_strand(const params& p, writer& w) {
  for (long k = 0; k < p.snps; ++k) {
    snp_info s = snp_at(p, k);
    std::uint64_t h = hash3(p.seed, static_cast<std::uint64_t>(s.position), 5);
    if (unit(h) >= p.cover) continue;
    w.put_int(s.position);
    w.put(mix(h) % 2 ? " +\n" : " -\n");
  }
}

void make_sample_list(const params& p, writer& w) {
  for (long j = 0; j < p.samples; j += p.every) {
    sample_id(w, p, j);
    w.put('\n');
  }
}

void make_snp_list(const params& p, writer& w) {
  for (long k = 0; k < p.snps; k += p.every) {
    w.put("rs");
    w.put_int(snp_at(p, k).position);
    w.put('\n');
  }
}

[[noreturn]] void usage() {
  std::fputs(
      "usage: gen_workload KIND [options] OUT\n"
      "KIND: gen sample ped map strand sample-list snp-list\n"
      "  --samples N --snps M       size (default 1000 x 10000)\n"
      "  --uncertain F --missing F  share of uncertain / missing genotypes (0.1, 0.01)\n"
      "  --swap F                   share of SNPs written with swapped alleles (0)\n"
      "  --cover F                  strand: share of SNPs with an entry (1)\n"
      "  --every K                  lists: every K-th sample or SNP (10)\n"
      "  --seed S --pos-start P --pos-step D --sample-offset I --id-prefix X --chrom C\n"
      "  --level L                  gzip level when OUT contains \".gz\" (6)\n",
      stderr);
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  params p;
  if (argc < 3) usage();
  p.kind = argv[1];
  int i = 2;
  for (; i + 1 < argc; i += 2) {
    std::string o = argv[i];
    const char* v = argv[i + 1];
    if (o == "--samples") p.samples = std::atol(v);
    else if (o == "--snps") p.snps = std::atol(v);
    else if (o == "--uncertain") p.uncertain = std::atof(v);
    else if (o == "--missing") p.missing = std::atof(v);
    else if (o == "--swap") p.swap = std::atof(v);
    else if (o == "--cover") p.cover = std::atof(v);
    else if (o == "--every") p.every = std::max(1L, std::atol(v));
    else if (o == "--seed") p.seed = std::strtoull(v, nullptr, 10);
    else if (o == "--pos-start") p.pos_start = std::atol(v);
    else if (o == "--pos-step") p.pos_step = std::atol(v);
    else if (o == "--sample-offset") p.sample_offset = std::atol(v);
    else if (o == "--id-prefix") p.id_prefix = v;
    else if (o == "--chrom") p.chrom = v;
    else if (o == "--level") p.level = std::atoi(v);
    else usage();
  }
  if (i != argc - 1) usage();
  p.out = argv[i];
  if (p.pos_start + (p.snps - 1) * p.pos_step > 2147483647L) writer::die("positions beyond 32 bits");

  writer w(p.out, p.level);
  if (p.kind == "gen") make_gen(p, w);
  else if (p.kind == "sample") make_sample(p, w);
  else if (p.kind == "ped") make_ped(p, w);
  else if (p.kind == "map") make_map(p, w);
  else if (p.kind == "strand") make_strand(p, w);
  else if (p.kind == "sample-list") make_sample_list(p, w);
  else if (p.kind == "snp-list") make_snp_list(p, w);
  else usage();
  w.finish();
  return 0;
}
