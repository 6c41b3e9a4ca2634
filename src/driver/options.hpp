// The command line as data: one row per option, one per mode flag.
//
//   {opt::ped, "--ped", nullptr, "FILE",
//    {{mode::ped_to_gen, 1, role::input, true, "PED genotype file"},
//     {mode::gen_to_ped, 3, role::output, false, "PED genotype file"}}}
//
// Everything that lists options is a walk over these rows: the scan, the
// usage text, the files of a run, --help, the man page and the bash
// completion. An option belongs to the modes its uses name; every option is
// accepted whatever the mode, and a mode ignores the ones it does not use.
#pragma once

#include <string>

namespace varnex {

enum class mode { subset, ped_to_gen, gen_to_ped, merge, orient, update, any };
constexpr int mode_count = 6;  // the real modes, in usage order

enum class opt {
  genotype, sample, out_genotype, out_sample, sample_id, sample_excl, start, end, inclusion,
  exclusion, missing, threshold, ped, map, phenotype, sex, alleles, discrete_phenotype, family,
  ostrel1, strand, excl, order, add_pheno_cov, remove_pheno_cov, bgen_compression, bgen_bits,
  bgen_ids, chromosome, threads, bgzf, log, quiet, help, version, count
};
constexpr int option_count = static_cast<int>(opt::count);

// What an option's value names in a mode.
enum class role {
  input,   // a file the mode reads
  inputs,  // after -M: the list of names up to the next argument starting with "-"
  output,  // a file the mode writes
  log,     // the log file
  value,   // a number or a word
  flag,    // no value
  action,  // no value; prints its text and ends the run
};

struct option_use {
  mode in = mode::any;
  int rank = 0;           // place in the mode's usage block; 0: not listed there
  role as = role::flag;
  bool required = false;  // printed in brackets; checked before the mode runs
  const char* help = nullptr;
};

struct option_row {
  opt id;
  const char* name;
  const char* alias;     // or null
  const char* argument;  // "FILE", "INTEGER", "DOUBLE", "STRING"; "FLAG" without a value
  option_use uses[mode_count];  // unused entries have no help

  bool takes_value() const;
  // The use of this option in mode `m` (or in every mode), or null.
  const option_use* use_in(mode m) const;
};

struct mode_row {
  mode id;
  const char* flag;   // "-S"
  const char* key;    // usage key, "subset"
  const char* title;  // usage block header, "Subset"
  bool in_full_usage;
};

extern const option_row option_table[option_count];
extern const mode_row mode_table[mode_count];

const option_row& row_of(opt id);
const mode_row& row_of(mode m);
// The option row or mode row spelt exactly `arg`, or null.
const option_row* find_option(const char* arg);
const mode_row* find_mode(const char* arg);
// True when the row is used as `r` in some mode.
bool has_role(const option_row& row, role r);

extern const char* const version;

// The usage text for a key: "all", a mode's key, or nothing for any other.
std::string usage_text(const std::string& key);
// "varnex 0.6.6" and the libraries' versions, one per line.
std::string version_text();
// The generated parts of the man page (troff) and the bash completion script.
std::string man_options(mode m);
std::string man_general_options();
std::string bash_completion();

}  // namespace varnex
