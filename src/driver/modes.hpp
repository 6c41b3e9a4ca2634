// The mode entry points. Each opens the log for appending, runs one job and
// returns the exit status: 0 after success, 1 after any failure (its message
// already printed to standard output and the log).
#pragma once

#include <string>
#include <vector>

#include "formats/bgen_io.hpp"
#include "formats/streams.hpp"

namespace varnex {

int subset(std::string genotype_file, std::string out_genotype_file, std::string inclusion_file,
           std::string sample_id_file, std::string sample_excl_file, std::string sample_file,
           std::string out_sample_file, std::string exclusion_file, int start, int end,
           bool range_flag, bool inclusion_flag, bool sample_flag, bool exclusion_flag,
           bool missing_flag, double missing, double threshold,
           const stream_options& streams = {}, const bgen_write_options& bgen = {});

int ped_to_gen(std::string ped_file, std::string map_file, std::string out_genotype_file,
               std::string out_sample_file, bool discrete_phenotype, bool family, bool ostrel1,
               const stream_options& streams = {}, const bgen_write_options& bgen = {});

int gen_to_ped(std::string genotype_file, std::string sample_file, std::string ped_file,
               std::string map_file, std::string phenotype_name, std::string sex_name,
               double threshold, bool alleles, const stream_options& streams = {});

int merge(std::vector<std::string>& merge_files, std::string out_genotype_file,
          std::string out_sample_file, double threshold, const stream_options& streams = {},
          const bgen_write_options& bgen = {});

int orient_to_strand(std::string genotype_file, std::string strand_file,
                     std::string out_genotype_file, bool excl, bool order,
                     const stream_options& streams = {}, const bgen_write_options& bgen = {});

int update_pheno_cov(std::string sample_file, std::string add_pheno_cov_file,
                     std::string remove_pheno_cov_file, bool add, bool remove);

}  // namespace varnex
