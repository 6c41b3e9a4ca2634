// The mode entry points. Each opens the log for appending, runs one job and
// returns the exit status: 0 after success, 1 after a failure whose message
// it printed to standard output and the log. A run_failure it throws instead
// is reported by the driver in the same words, once the mode's outputs are gone.
//
// Each takes its options as one record, filled in by the driver with the
// default output names already applied; an absent value is an empty optional.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/bgen_io.hpp"
#include "formats/streams.hpp"

namespace varnex {

struct subset_args {
  std::string genotype_file, out_genotype_file;
  std::string sample_file, out_sample_file;  // empty when not named
  // Either list makes a sample subset (an empty name selects on an empty list).
  std::optional<std::string> sample_id_file, sample_excl_file;
  std::optional<std::string> inclusion_file, exclusion_file;
  // Either bound makes a position range; a start of -1 counts as 0, an end of
  // 0 or below as no upper bound.
  std::optional<std::int32_t> start, end;
  std::optional<double> missing;    // missingness limit
  std::optional<double> threshold;  // calling threshold; set whenever `missing` is
  stream_options streams;  // threads and BGZF of gzip inputs and outputs
  bgen_options bgen;       // how a ".bgen" GEN output is written

  bool sample_subset() const { return sample_id_file || sample_excl_file; }
  bool range() const { return start || end; }
};

struct ped_to_gen_args {
  std::string ped_file, map_file, out_genotype_file, out_sample_file;
  bool discrete_phenotype = false, family = false, ostrel1 = false;
  stream_options streams;
  bgen_options bgen;
};

struct gen_to_ped_args {
  std::string genotype_file, sample_file, ped_file, map_file;
  std::string phenotype_name = "-9", sex_name = "-9";  // "-9": no such column
  double threshold = 0.9;
  bool alleles = false;
  stream_options streams;
};

struct merge_args {
  std::vector<std::string> merge_files;  // the GEN names, then as many SAMPLE names
  std::string out_genotype_file, out_sample_file;
  double threshold = 2.0;  // above any probability: overlapping triples must be equal
  stream_options streams;
  bgen_options bgen;
};

struct orient_args {
  std::string genotype_file, strand_file, out_genotype_file;
  bool excl = false, order = false;
  stream_options streams;
  bgen_options bgen;
};

struct update_args {
  std::string sample_file;
  std::string add_pheno_cov_file, remove_pheno_cov_file;  // accepted, not read
};

int subset(const subset_args& args);
int ped_to_gen(const ped_to_gen_args& args);
int gen_to_ped(const gen_to_ped_args& args);
int merge(const merge_args& args);
int orient_to_strand(const orient_args& args);
int update_pheno_cov(const update_args& args);

}  // namespace varnex
