// PED to GEN (-P): turns a PED/MAP pair into a GEN/SAMPLE pair.
//
//   FAM7 12 0 0 2 1 A G	G G	0 0	1 3 ...
//
// Each SNP's alleles are discovered from the pairs in PED order (or preset by
// a six-column MAP), so a genotype's code depends on the individuals met
// before it; the codes are fixed as each line is read and held two bits each.
// PED is individual-major and GEN SNP-major: the PED file is read once, a row
// of the matrix per individual, and the GEN lines are written from the whole
// matrix at the end.
// With --discrete_phenotype every phenotype text gets its own GEN/SAMPLE pair.
#include "convert/ped_to_gen.hpp"

#include <algorithm>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "driver/log.hpp"
#include "driver/modes.hpp"
#include "formats/bgen_io.hpp"
#include "formats/failure.hpp"
#include "formats/gen.hpp"
#include "formats/ped_reader.hpp"
#include "formats/records.hpp"
#include "formats/sample.hpp"
#include "formats/streams.hpp"

namespace varnex {

char numeric_allele(char c) {
  return c >= '0' && c <= '4' ? "NACGT"[c - '0'] : c;
}

gen_alleles order_alleles(char a, char b, bool translate_by_first_seen) {
  gen_alleles g{a, b, false};
  if (b != '-' && static_cast<signed char>(b) < static_cast<signed char>(a)) g = {b, a, true};
  char decides = translate_by_first_seen ? a : g.a;
  if (decides >= '1' && decides <= '4') {
    g.a = numeric_allele(g.a);
    g.b = numeric_allele(g.b);
  }
  return g;
}

std::string group_file_name(std::string_view name, std::string_view value) {
  // out.bgen and 2 give out_2.bgen, still a BGEN name.
  return tagged_gen_name(name, "_" + std::string(value));
}

namespace {

std::string str(std::uint64_t v) { return std::to_string(v); }

// Finished outputs, renamed into place together once the whole run
// succeeded, so a failed run never leaves a SAMPLE without its GEN, or half
// of the groups. Each is finished when added, which lets its buffer go.
using finished_outputs = std::vector<std::unique_ptr<output_file>>;

void write_sample_file(const std::string& name, bool compressed, bool ostrel1,
                       const std::vector<sample>& samples, const std::vector<std::size_t>& members,
                       std::uint64_t snps, finished_outputs& done, const stream_options& streams) {
  auto file = std::make_unique<output_file>(name, compressed, streams);
  sample_writer out(*file);
  out.line("ID_1 ID_2 Missing Gender Phenotype");
  out.line(ostrel1 ? "0 0 0 1 P" : "0 0 0 D P");
  const double m = static_cast<double>(snps);
  for (std::size_t s : members) {
    const sample& r = samples[s];
    out.column().put(r.id_1);
    out.column().put(r.id_2);
    out.column().put_general6(r.missing_count / m);
    out.column().put_int(r.gender);
    out.column().put(r.phenotype);
    out.end_line();
  }
  file->finish();
  done.push_back(std::move(file));
}

// One GEN line per SNP with the genotypes of `members`, in their order. The
// matrix is read 32 SNPs at a time for all members, so each row is visited
// once per block rather than once per SNP. Returns the BGEN count lines when
// the output is BGEN.
std::string write_gen_file(const std::string& name, bool compressed,
                           const std::vector<map_snp>& snps, const genotype_matrix& genotypes,
                           const std::vector<sample>& samples,
                           const std::vector<std::size_t>& members, bool translate_by_first_seen,
                           const bgen_options& bgen, finished_outputs& done,
                           const stream_options& streams) {
  // Eight bytes per entry so that each genotype is one unaligned store; six are kept.
  static const char texts[2][4][8] = {
      {" 1 0 0 ", " 0 1 0 ", " 0 0 1 ", " 0 0 0 "},
      {" 0 0 1 ", " 0 1 0 ", " 1 0 0 ", " 0 0 0 "},
  };
  std::vector<std::string> ids;
  for (std::size_t s : members) ids.push_back(bgen_sample_id(samples[s].id_1, samples[s].id_2, bgen.ids));
  std::unique_ptr<output_file> file = open_gen_output(name, compressed, streams, bgen, &ids);
  output_file& out = *file;
  std::vector<std::uint64_t> words(members.size());
  const std::uint64_t m = snps.size();
  for (std::uint64_t block = 0; block * 32 < m; ++block) {
    for (std::size_t i = 0; i < members.size(); ++i) words[i] = genotypes.row(members[i])[block];
    const std::uint64_t last = std::min<std::uint64_t>(m, block * 32 + 32);
    for (std::uint64_t k = block * 32; k < last; ++k) {
      const map_snp& snp = snps[k];
      const gen_alleles alleles = order_alleles(snp.allele_a, snp.allele_b, translate_by_first_seen);
      put_gen_head(out, snp.chromosome, snp.rs_id, snp.position, std::string_view(&alleles.a, 1),
                   std::string_view(&alleles.b, 1));
      const auto& text = texts[alleles.flipped ? 1 : 0];
      const unsigned shift = static_cast<unsigned>(2 * (k - block * 32));
      char* p = out.reserve(members.size() * 6 + 8);
      for (std::uint64_t w : words) {
        std::memcpy(p, text[(w >> shift) & 3], 8);
        p += 6;
      }
      *p++ = '\n';
      out.advance(members.size() * 6 + 1);
    }
  }
  // The counts are complete once the file is finished.
  file->finish();
  done.push_back(std::move(file));
  return bgen_summary(*done.back());
}

[[gnu::cold, gnu::noinline]] std::string third_allele_text(char first, char second,
                                                           const std::string& snp, char a, char b) {
  std::string known(1, a);
  if (b != '-') known.append(" ").append(1, b);
  return "genotype " + std::string{first, ' ', second} + " at SNP " + snp +
         " holds a third allele (alleles so far: " + known + ")";
}

int convert(tee& log, const ped_to_gen_args& args) {
  const bool ped_gz = is_gz_name(args.ped_file);
  check_read_twice(args.ped_file);
  input_file map_input(args.map_file, is_gz_name(args.map_file));
  check_readable(args.ped_file);

  log.to_both_flushed("MAP...\n");
  std::uint64_t map_stop = 0;
  std::vector<map_snp> snps = read_map_file(map_input, &map_stop);
  const std::uint64_t m = snps.size();
  // A record that cannot be read (a position beyond 32 bits, a cut last line)
  // would silently drop every SNP after it when the PED lines agree.
  if (map_stop > 0)
    throw run_failure(at(args.map_file, map_stop) +
                      "not chromosome, SNP name, genetic distance and position");
  if (m == 0) throw run_failure("No SNPs in MAP file " + args.map_file);
  log.to_both_flushed("Number of SNPs: " + str(m) + "\n");

  log.to_both_flushed("Count Samples...\n");
  genotype_matrix genotypes((m + 31) / 32);
  std::vector<sample> samples;
  std::vector<char> allele_a(m), allele_b(m);
  for (std::uint64_t k = 0; k < m; ++k) {
    allele_a[k] = snps[k].allele_a;
    allele_b[k] = snps[k].allele_b;
  }
  std::map<std::string, std::vector<std::size_t>> phenotype_groups;
  // One reading codes the lines and counts them. The first line that cannot
  // be coded is held while the rest is only counted: the count is printed
  // first, then the memory needed, then the failure. A failing read is not
  // held; it stops the run at once, before the count.
  std::exception_ptr failure;
  bool out_of_memory = false;
  std::uint64_t n = 0;  // the last line that is not blank: blank lines after it are not individuals
  {
    input_file input(args.ped_file, ped_gz, args.streams);
    line_reader lines(input);
    std::string_view line;
    std::uint64_t blank = 0;  // the first blank line, a failure once a line follows it
    while (lines.next(line)) {
      if (is_blank_line(line)) {
        if (blank == 0) blank = lines.line_number();
        continue;
      }
      n = lines.line_number();
      if (failure) continue;
      auto fault = [&](const std::string& what) {
        return run_failure(at(args.ped_file, lines.line_number()) + what);
      };
      try {
        if (blank != 0) throw run_failure(at(args.ped_file, blank) + "empty line");
        ped_line fields = read_ped_line(line);
        if (fields.fields < 6) throw fault("fewer than six fields");

        genotype_matrix::row_writer row(genotypes.add_row());
        sample& r = samples.emplace_back();
        std::uint64_t missing = 0;
        std::uint64_t k = 0;
        char first, second;
        for (; k < m && fields.alleles.next_pair(first, second); ++k) {
          genotype_call c;
          if (__builtin_expect(!code_checked_pair(allele_a[k], allele_b[k], first, second, c), 0))
            throw fault(third_allele_text(first, second, snps[k].rs_id, allele_a[k], allele_b[k]));
          missing += c == call_missing;
          row.put(c);
        }
        std::uint64_t left = fields.alleles.remaining();
        if (k < m || left > 0)
          throw fault(str(2 * k + left) + " alleles, expected " + str(2 * m) +
                      " (two for each SNP of " + args.map_file + ")");

        if (args.family) r.id_1.append(fields.family_id).append("_");
        r.id_1.append(fields.individual_id);
        r.id_2 = r.id_1;
        r.gender = fields.sex;
        r.phenotype.assign(fields.phenotype);
        r.missing_count = static_cast<double>(missing);

        if (args.discrete_phenotype) {
          // The value becomes part of two file names: a '/' would send the
          // group elsewhere (or nowhere), a NUL would cut the name short.
          if (r.phenotype.find_first_of(std::string_view("/\0", 2)) != std::string::npos)
            throw fault("phenotype " + r.phenotype + " can't be part of an output file name");
          phenotype_groups[r.phenotype].push_back(samples.size() - 1);
        }
      } catch (const run_failure&) {
        failure = std::current_exception();
      } catch (const std::bad_alloc&) {
        failure = std::current_exception();
        out_of_memory = true;
      }
    }
  }
  log.to_both_flushed("Number of samples: " + str(n) + "\n");
  log.to_both_flushed("memory..." + str(3 * n * m) + "\n");
  if (out_of_memory) std::rethrow_exception(failure);
  log.to_both_flushed("PED...\n");
  if (failure) std::rethrow_exception(failure);

  // A SNP seen with one allele, or none, gets the same character twice.
  for (std::uint64_t k = 0; k < m; ++k) {
    snps[k].allele_a = allele_a[k];
    snps[k].allele_b = allele_b[k] == '-' ? allele_a[k] : allele_b[k];
  }
  std::vector<char>().swap(allele_a);
  std::vector<char>().swap(allele_b);

  // Without --discrete_phenotype everyone is one group, under the names given.
  const bool discrete = args.discrete_phenotype;
  auto group_name = [discrete](const std::string& base, const std::string& value) {
    return discrete ? group_file_name(base, value) : base;
  };
  if (!discrete) {
    std::vector<std::size_t>& everyone = phenotype_groups[""];
    for (std::size_t s = 0; s < samples.size(); ++s) everyone.push_back(s);
  } else {
    // The group names are known only now; all are checked before the first
    // file is created.
    run_names names;
    names.inputs = {args.ped_file, args.map_file};
    for (const auto& group : phenotype_groups)
      for (const std::string* base : {&args.out_sample_file, &args.out_genotype_file})
        names.outputs.push_back(group_file_name(*base, group.first));
    std::string clash = name_clash(log_file, names);
    if (!clash.empty()) throw run_failure(clash);
  }
  finished_outputs done;
  for (const auto& group : phenotype_groups)
    write_sample_file(group_name(args.out_sample_file, group.first), ped_gz, args.ostrel1, samples,
                      group.second, m, done, args.streams);
  log.to_both_flushed("Output...\n");
  if (discrete)
    log.to_both_flushed("Number of discrete phenotypes: " + str(phenotype_groups.size()) + "\n");
  for (const auto& group : phenotype_groups) {
    const std::string counts =
        write_gen_file(group_name(args.out_genotype_file, group.first), ped_gz, snps, genotypes,
                       samples, group.second, discrete, args.bgen, done, args.streams);
    if (!counts.empty()) log.to_both_flushed(counts);
  }
  std::vector<output_file*> all;
  for (auto& out : done) all.push_back(out.get());
  commit_outputs(all);
  return 0;
}

}  // namespace

int ped_to_gen(const ped_to_gen_args& args) {
  tee log;
  if (!log.open_or_report(false)) return 1;
  try {
    return convert(log, args);
  } catch (const std::bad_alloc&) {
    return log.fail("Not enough memory for the genotypes of " + args.ped_file);
  }
}

}  // namespace varnex
