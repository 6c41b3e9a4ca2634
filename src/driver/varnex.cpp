// The driver: scans the command line, starts the log, checks the one mode and
// its names, fills in default output names and calls the mode.
//
//   varnex -G --g chr1.gen.gz --s chr1.sample --threshold 0.95
//
// Options are exact, case-sensitive words; a value option takes the next
// argument whatever it looks like. After "-M", "--g" and "--s" collect every
// following argument up to the next one that starts with "-".
#include "driver/varnex.hpp"

#include <sched.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "driver/log.hpp"
#include "driver/modes.hpp"
#include "formats/streams.hpp"
#include "formats/text.hpp"

std::string log_file = "varnex.log";

namespace varnex {

namespace {

constexpr const char* version = "0.6.6";

// Everything the command line can set.
struct options {
  std::string genotype_file, sample_file, out_genotype_file, out_sample_file;
  std::string sample_id_file, sample_excl_file, inclusion_file, exclusion_file;
  std::string ped_file, map_file, strand_file;
  std::string phenotype_name = "-9", sex_name = "-9";
  std::string add_pheno_cov_file, remove_pheno_cov_file;
  int start = -1, end = -1;
  double threshold = -1.0, missing = 1.0;
  bool range_flag = false, inclusion_flag = false, sample_flag = false;
  bool exclusion_flag = false, missing_flag = false;
  bool alleles = false, discrete_phenotype = false, family = false, ostrel1 = false;
  bool excl = false, order = false;
  bool subset_mode = false, ped_mode = false, gen_mode = false;
  bool merge_mode = false, orient_mode = false, update_mode = false;
  std::vector<std::string> merge_files;
  int gen_count = 0, sample_count = 0;
  int threads = 0;
  bool threads_flag = false, bgzf = false;
};

enum class kind { text, int32, real, flag, collect };

// One row per option: its names, what it takes and what it sets.
struct option_row {
  const char* name;
  const char* alias;
  kind what;
  std::string options::*text;
  int options::*number;
  double options::*real;
  bool options::*flag;     // set by the option (the value options' flags too)
  int options::*counter;   // merge collection count
};

const option_row option_table[] = {
    {"--genotype", "--g", kind::collect, &options::genotype_file, nullptr, nullptr, nullptr, &options::gen_count},
    {"--sample", "--s", kind::collect, &options::sample_file, nullptr, nullptr, nullptr, &options::sample_count},
    {"--out_genotype", "--og", kind::text, &options::out_genotype_file, nullptr, nullptr, nullptr, nullptr},
    {"--out_sample", "--os", kind::text, &options::out_sample_file, nullptr, nullptr, nullptr, nullptr},
    {"--sample_id", nullptr, kind::text, &options::sample_id_file, nullptr, nullptr, &options::sample_flag, nullptr},
    {"--sample_excl", nullptr, kind::text, &options::sample_excl_file, nullptr, nullptr, &options::sample_flag, nullptr},
    {"--start", nullptr, kind::int32, nullptr, &options::start, nullptr, &options::range_flag, nullptr},
    {"--end", nullptr, kind::int32, nullptr, &options::end, nullptr, &options::range_flag, nullptr},
    {"--inclusion", nullptr, kind::text, &options::inclusion_file, nullptr, nullptr, &options::inclusion_flag, nullptr},
    {"--exclusion", nullptr, kind::text, &options::exclusion_file, nullptr, nullptr, &options::exclusion_flag, nullptr},
    {"--missing", nullptr, kind::real, nullptr, nullptr, &options::missing, &options::missing_flag, nullptr},
    {"--threshold", nullptr, kind::real, nullptr, nullptr, &options::threshold, nullptr, nullptr},
    {"--ped", nullptr, kind::text, &options::ped_file, nullptr, nullptr, nullptr, nullptr},
    {"--map", nullptr, kind::text, &options::map_file, nullptr, nullptr, nullptr, nullptr},
    {"--phenotype", nullptr, kind::text, &options::phenotype_name, nullptr, nullptr, nullptr, nullptr},
    {"--sex", nullptr, kind::text, &options::sex_name, nullptr, nullptr, nullptr, nullptr},
    {"--alleles", nullptr, kind::flag, nullptr, nullptr, nullptr, &options::alleles, nullptr},
    {"--discrete_phenotype", nullptr, kind::flag, nullptr, nullptr, nullptr, &options::discrete_phenotype, nullptr},
    {"--family", nullptr, kind::flag, nullptr, nullptr, nullptr, &options::family, nullptr},
    {"--ostrel1", nullptr, kind::flag, nullptr, nullptr, nullptr, &options::ostrel1, nullptr},
    {"--strand", nullptr, kind::text, &options::strand_file, nullptr, nullptr, nullptr, nullptr},
    {"--excl", nullptr, kind::flag, nullptr, nullptr, nullptr, &options::excl, nullptr},
    {"--order", nullptr, kind::flag, nullptr, nullptr, nullptr, &options::order, nullptr},
    {"--add_pheno_cov", nullptr, kind::text, &options::add_pheno_cov_file, nullptr, nullptr, nullptr, nullptr},
    {"--remove_pheno_cov", nullptr, kind::text, &options::remove_pheno_cov_file, nullptr, nullptr, nullptr, nullptr},
    {"--threads", nullptr, kind::int32, nullptr, &options::threads, nullptr, &options::threads_flag, nullptr},
    {"--bgzf", nullptr, kind::flag, nullptr, nullptr, nullptr, &options::bgzf, nullptr},
    {"--log", nullptr, kind::text, nullptr, nullptr, nullptr, nullptr, nullptr},
    {"-S", nullptr, kind::flag, nullptr, nullptr, nullptr, &options::subset_mode, nullptr},
    {"-P", nullptr, kind::flag, nullptr, nullptr, nullptr, &options::ped_mode, nullptr},
    {"-G", nullptr, kind::flag, nullptr, nullptr, nullptr, &options::gen_mode, nullptr},
    {"-M", nullptr, kind::flag, nullptr, nullptr, nullptr, &options::merge_mode, nullptr},
    {"-O", nullptr, kind::flag, nullptr, nullptr, nullptr, &options::orient_mode, nullptr},
    {"-U", nullptr, kind::flag, nullptr, nullptr, nullptr, &options::update_mode, nullptr},
};

const option_row* find_option(const char* arg) {
  for (const option_row& row : option_table)
    if (std::strcmp(arg, row.name) == 0 || (row.alias && std::strcmp(arg, row.alias) == 0))
      return &row;
  return nullptr;
}

// Scans argv into `o`; prints the refusal and returns false on a bad argument.
bool scan(int argc, char** argv, options& o) {
  int i = 1;
  while (i < argc) {
    const option_row* row = find_option(argv[i]);
    if (!row) {
      print_out(std::string("Unknown parameter: ") + argv[i] + "\n");
      return false;
    }
    if (row->what == kind::collect && o.merge_mode) {
      int j = i + 1;
      for (; j < argc && argv[j][0] != '-'; ++j) {
        o.merge_files.emplace_back(argv[j]);
        ++(o.*(row->counter));
      }
      i = j;
      continue;
    }
    if (row->what == kind::flag) {
      o.*(row->flag) = true;
      ++i;
      continue;
    }
    if (i + 1 >= argc) {
      print_out(std::string("Missing value for parameter: ") + argv[i] + "\n");
      return false;
    }
    const char* value = argv[i + 1];
    switch (row->what) {
      case kind::int32: o.*(row->number) = option_int32(value); break;
      case kind::real: o.*(row->real) = option_double(value); break;
      default:
        if (row->text)
          o.*(row->text) = value;
        else
          log_file = value;  // "--log"
    }
    if (row->flag) o.*(row->flag) = true;
    i += 2;
  }
  return true;
}

int mode_count(const options& o) {
  return o.subset_mode + o.ped_mode + o.gen_mode + o.merge_mode + o.orient_mode + o.update_mode;
}

// Fills in the default output names of the one mode asked for and applies
// the ".gz" rules, so that every name is final before the log or any output
// is opened. Names a refusal will not need are left alone.
void settle_names(options& o) {
  if (mode_count(o) != 1) return;
  if (o.subset_mode && !o.genotype_file.empty()) {
    const bool sample_output = o.sample_flag && !o.sample_file.empty();
    if (sample_output && o.out_sample_file.empty())
      o.out_sample_file = tagged_name(o.sample_file, ".subset");
    if (o.out_genotype_file.empty()) o.out_genotype_file = tagged_name(o.genotype_file, ".subset");
    if (is_gz_name(o.genotype_file)) {
      append_gz(o.out_genotype_file);
      if (sample_output) append_gz(o.out_sample_file);
    }
  } else if (o.ped_mode && !o.ped_file.empty()) {
    if (o.out_genotype_file.empty()) o.out_genotype_file = tagged_name(o.ped_file, ".gen");
    if (o.out_sample_file.empty()) o.out_sample_file = tagged_name(o.ped_file, ".sample");
    if (is_gz_name(o.ped_file)) {
      append_gz(o.out_genotype_file);
      append_gz(o.out_sample_file);
    }
  } else if (o.gen_mode && !o.genotype_file.empty()) {
    if (o.ped_file.empty()) o.ped_file = tagged_name(o.genotype_file, ".ped");
    if (o.map_file.empty()) o.map_file = tagged_name(o.genotype_file, ".map");
    if (is_gz_name(o.genotype_file)) {
      append_gz(o.ped_file);
      append_gz(o.map_file);
    }
  } else if (o.merge_mode && o.gen_count > 0 && o.gen_count == o.sample_count) {
    if (o.out_genotype_file.empty())
      o.out_genotype_file = default_gen_output_file(o.gen_count, o.merge_files);
    if (o.out_sample_file.empty())
      o.out_sample_file = default_gen_output_sample_file(o.gen_count, o.merge_files);
  } else if (o.orient_mode && !o.genotype_file.empty()) {
    if (o.out_genotype_file.empty()) o.out_genotype_file = tagged_name(o.genotype_file, ".orient");
    // A gzip input gives a gzip output under a gz name.
    if (is_gz_name(o.genotype_file)) append_gz(o.out_genotype_file);
  }
}

// Checks the mode's names; returns 0 to go on.
int check_mode(options& o, tee& log) {
  if (o.subset_mode) {
    if (o.genotype_file.empty()) {
      usage("subset");
      return 1;
    }
    if (!o.range_flag && !o.inclusion_flag && !o.sample_flag && !o.exclusion_flag && !o.missing_flag)
      return log.fail("No subset defined.");
    if (o.sample_flag && ((o.sample_id_file.empty() && o.sample_excl_file.empty()) || o.sample_file.empty()))
      return log.fail("Sample subsets require:\n\tsample_id_file or sample_excl_file\n\tgen_sample_file");
    if (o.missing_flag && o.threshold == -1.0) {
      print_out("Subset. For missingness SNP exclusions must define calling threshold (--threshold).\n");
      return 1;
    }
  } else if (o.ped_mode) {
    if (o.ped_file.empty() || o.map_file.empty()) {
      usage("ped_to_gen");
      return 1;
    }
  } else if (o.gen_mode) {
    if (o.genotype_file.empty() || o.sample_file.empty()) {
      usage("gen_to_ped");
      return 1;
    }
    if (o.threshold < 0.0) o.threshold = 0.9;
  } else if (o.merge_mode) {
    if (o.gen_count == 0) return log.fail("No GEN files defined.");
    if (o.sample_count == 0) return log.fail("No SAMPLE files defined.");
    if (o.gen_count != o.sample_count) return log.fail("Different number of GEN and SAMPLE files defined.");
    if (o.threshold < 0.0) o.threshold = 2.0;
  } else if (o.orient_mode) {
    if (o.genotype_file.empty() || o.strand_file.empty()) {
      usage("orient");
      return 1;
    }
  }
  return 0;
}

// What the run reads and writes, for the identity checks; the log is also
// checked against every other name of the command line.
run_names names_of_run(const options& o) {
  run_names r;
  if (mode_count(o) == 1) {
    if (o.subset_mode) {
      r.inputs = {o.genotype_file, o.sample_file, o.sample_id_file, o.sample_excl_file,
                  o.inclusion_file, o.exclusion_file};
      r.outputs = {o.out_genotype_file};
      if (o.sample_flag) r.outputs.push_back(o.out_sample_file);
    } else if (o.ped_mode) {
      r.inputs = {o.ped_file, o.map_file};
      // Per-phenotype names are checked by the mode once the PED is read.
      if (!o.discrete_phenotype) r.outputs = {o.out_genotype_file, o.out_sample_file};
    } else if (o.gen_mode) {
      r.inputs = {o.genotype_file, o.sample_file};
      r.outputs = {o.ped_file, o.map_file};
    } else if (o.merge_mode) {
      r.inputs = o.merge_files;
      r.outputs = {o.out_genotype_file, o.out_sample_file};
    } else if (o.orient_mode) {
      r.inputs = {o.genotype_file, o.strand_file};
      r.outputs = {o.out_genotype_file};
    } else {
      r.inputs = {o.sample_file};
    }
  }
  r.others = {o.genotype_file,  o.sample_file,      o.out_genotype_file, o.out_sample_file,
              o.sample_id_file, o.sample_excl_file, o.inclusion_file,    o.exclusion_file,
              o.ped_file,       o.map_file,         o.strand_file,       o.add_pheno_cov_file,
              o.remove_pheno_cov_file};
  r.others.insert(r.others.end(), o.merge_files.begin(), o.merge_files.end());
  return r;
}

// A failure that escaped the mode (memory exhausted, an unexpected error):
// reported like the modes' own, after the mode's outputs were removed.
int report_failure(const std::string& message) {
  tee log;
  log.open(false);
  return log.fail(message);
}

// The CPUs this process may run on (a cluster job's allocation), at most 16.
int default_threads() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return std::clamp(CPU_COUNT(&set), 1, 16);
}

int dispatch(options& o) {
  stream_options streams;
  streams.threads = o.threads_flag ? std::min(o.threads, 256) : default_threads();
  streams.bgzf = o.bgzf;
  if (o.subset_mode)
    return subset(o.genotype_file, o.out_genotype_file, o.inclusion_file, o.sample_id_file,
                  o.sample_excl_file, o.sample_file, o.out_sample_file, o.exclusion_file, o.start,
                  o.end, o.range_flag, o.inclusion_flag, o.sample_flag, o.exclusion_flag,
                  o.missing_flag, o.missing, o.threshold, streams);
  if (o.ped_mode)
    return ped_to_gen(o.ped_file, o.map_file, o.out_genotype_file, o.out_sample_file,
                      o.discrete_phenotype, o.family, o.ostrel1, streams);
  if (o.gen_mode)
    return gen_to_ped(o.genotype_file, o.sample_file, o.ped_file, o.map_file, o.phenotype_name,
                      o.sex_name, o.threshold, o.alleles, streams);
  if (o.merge_mode) return merge(o.merge_files, o.out_genotype_file, o.out_sample_file, o.threshold, streams);
  if (o.orient_mode)
    return orient_to_strand(o.genotype_file, o.strand_file, o.out_genotype_file, o.excl, o.order, streams);
  return update_pheno_cov(o.sample_file, o.add_pheno_cov_file, o.remove_pheno_cov_file, true, true);
}

// Stem of one merged name: directory (first name only) or "_", then the base
// name up to its extension dot (the last "." before the first ".gz").
void append_stem(std::string& result, const std::string& name, const std::string& directory_of,
                 bool first) {
  std::size_t slash = name.rfind('/');
  std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  // Only the file's own name counts: a ".gz" or a dot in a folder is no extension.
  std::size_t gz = name.find(".gz", base);
  std::size_t dot = gz == std::string::npos ? name.rfind('.')
                    : gz == base            ? std::string::npos
                                            : name.rfind('.', gz - 1);
  if (first) {
    std::size_t dir_slash = directory_of.rfind('/');
    if (dir_slash != std::string::npos) result += directory_of.substr(0, dir_slash + 1);
  } else {
    result += '_';
  }
  if (dot == std::string::npos || dot < base)
    result += name.substr(base);
  else
    result += name.substr(base, dot - base);
}

}  // namespace

std::string default_gen_output_file(int count, std::vector<std::string>& merge_files) {
  std::string result;
  bool gz = false;
  for (int i = 0; i < count; ++i) {
    const std::string& name = merge_files[i];
    if (own_name_is_gz(name)) gz = true;
    append_stem(result, name, name, i == 0);
  }
  result += ".gen";
  if (gz) result += ".gz";
  return result;
}

std::string default_gen_output_sample_file(int count, std::vector<std::string>& merge_files) {
  std::string result;
  bool gz = false;
  for (int i = 0; i < count; ++i) {
    if (own_name_is_gz(merge_files[i])) gz = true;
    append_stem(result, merge_files[count + i], merge_files[0], i == 0);
  }
  result += ".sample";
  if (gz) result += ".gz";
  return result;
}

// ------------------------------------------------------------------- usage

namespace {

void end_of_line(std::string_view text) {
  print_out(text);
  std::fflush(stdout);
}

void block(const char* header, std::initializer_list<const char*> lines) {
  print_out("\t");
  print_out(header);
  for (const char* line : lines) {
    print_out("\t");
    print_out(line);
  }
  end_of_line("\n");
}

}  // namespace

void usage_title() {
  print_out(std::string("Varnex v") + version + " - Data Transformation\n");
  print_out("Subsets, converts, merges and orients GEN/SAMPLE and PED/MAP genotype files.\n");
  print_out("\nOptions:\n");
}

void subset_usage() {
  block("-S Subset\n\n",
        {"[--g,--genotype] FILE\t\tGEN format genotype file\n",
         "--og,--out_genotype FILE\tOutput file, GEN subset genotype file\n",
         "--sample_id FILE\t\tDefine a subset of samples by sample_id or subject_id\n",
         "--sample_excl FILE\t\tDefine a subset of samples to exclude by sample_id or subject_id\n",
         "--s,--sample FILE\t\tGEN sample file which accompanies the genotype file\n",
         "--os,--out_sample FILE\t\tOutput file, sample file to accompany genotype file\n",
         "--start INTEGER\t\t\tDefine a subset of SNPs in the range start <= position <= end\n",
         "--end INTEGER\t\t\tDefine a subset of SNPs in the range start <= position <= end\n",
         "--inclusion FILE\t\tDefine a subset of SNPs to include by rs_id or snp_id\n",
         "--exclusion FILE\t\tDefine a subset of SNPs to exclude by rs_id or snp_id\n",
         "--missing DOUBLE\t\tDefine a missingness threshold over which to exclude SNPs\n",
         "--threshold DOUBLE\t\tDefine a threshold for calling genotypes for calculating missing data.\n"});
}

void ped_to_gen_usage() {
  block("-P Convert PED to GEN\n\n",
        {"[--ped] FILE\t\t\tPED genotype file\n",
         "[--map] FILE\t\t\tMAP SNP file which accompanies PED file\n",
         "--og,--out_genotype FILE\tGEN genotype file\n",
         "--os,--out_sample FILE\t\tGEN sample file which accompanies the genotype file\n",
         "--discrete_phenotype FLAG\tIf set, output each value of the phenotype in separate data files.\n",
         "--family FLAG\t\t\tIf set, use the family_id from the PED file as ID_1 in the SAMPLE file\n",
         "--ostrel1 FLAG\t\t\tIf set, use the OSTREL1 sample file format\n"});
}

void gen_to_ped_usage() {
  block("-G Convert GEN to PED\n\n",
        {"[--g,--genotype] FILE\t\tGEN genotype file\n",
         "[--s,--sample] FILE\t\tGEN sample file which accompanies the genotype file\n",
         "--ped FILE\t\t\tPED genotype file\n",
         "--map FILE\t\t\tMAP snp file which accompanies PED file\n",
         "--phenotype STRING\t\tName of phenotype column in the sample file\n",
         "--sex STRING\t\t\tName of sex column in the sample file\n",
         "--threshold DOUBLE\t\tThreshold for calling genotypes from GEN probability\n",
         "--alleles FLAG\t\t\tIf set, add two columns to MAP file with allele types\n"});
}

void merge_usage() {
  block("-M Merge\n\n",
        {"[--g,--genotype] FILE\t\tList of GEN files to merge\n",
         "[--s,--sample] FILE\t\tList of corresponding SAMPLE files to merge\n",
         "--og,--out_genotype FILE\tGEN genotype file\n",
         "--os,--out_sample FILE\t\tGEN sample file which accompanies the genotype file\n",
         "--threshold DOUBLE\t\tThreshold for merging genotypes from GEN probability\n"});
}

void orient_usage() {
  block("-O Orient to Strand file\n\n",
        {"[--g,--genotype] FILE\t\tGEN genotype file\n",
         "[--strand] FILE\t\t\tList of SNP positions and orientations (+,-)\n",
         "--og,--out_genotype FILE\tGEN genotype file\n",
         "--excl FLAG\t\t\tIf set, then SNPs with no entry in the strand file will be excluded from the output.\n",
         "--order FLAG\t\t\tIf set, then alleles/probabilities will be output in alphabetical order A,C,G,T\n"});
}

void update_usage() {
  block("-U Update GEN and SAMPLE files\n\n",
        {"--g,--genotype FILE\t\tGEN genotype file\n",
         "--s,--sample FILE\t\tList of corresponding SAMPLE files to merge\n",
         "--add_pheno_cov FILE\t\tList of phenotypes to add to sample file\n",
         "--remove_pheno_cov FILE\t\tList of phenotypes to remove from sample file\n"});
}

void log_usage() {
  print_out("\t--log FILE\t\t\tName of log file. Use with -S,-G,-P,-M\n");
  end_of_line("\n");
}

void usage_doc() { end_of_line("Full documentation: README.md in the Varnex source distribution.\n\n"); }

void usage(const std::string& key) {
  void (*const blocks[])() = {subset_usage, ped_to_gen_usage, gen_to_ped_usage, merge_usage,
                              orient_usage, update_usage};
  const char* keys[] = {"subset", "ped_to_gen", "gen_to_ped", "merge", "orient", "update"};
  bool all = key == "all";
  int chosen = -1;
  for (int k = 0; k < 6; ++k)
    if (key == keys[k]) chosen = k;
  if (!all && chosen < 0) return;
  usage_title();
  if (all) {
    for (int k = 0; k < 5; ++k) blocks[k]();  // the update block only on request
  } else {
    blocks[chosen]();
  }
  log_usage();
  usage_doc();
}

// ------------------------------------------------------------------- main

int varnex_main(int argc, char** argv) {
  buffer_stdout();
  if (argc <= 1) {
    usage("all");
    return 1;
  }
  options o;
  if (!scan(argc, argv, o)) return 1;
  // Every name is final and checked before the log is truncated or any
  // output opened: a refused run leaves every file as it was.
  settle_names(o);
  std::string refusal = log_refusal(log_file);
  if (refusal.empty()) refusal = name_clash(log_file, names_of_run(o));
  if (!refusal.empty()) {
    print_out(refusal + "\n");
    return 1;
  }

  tee log;
  if (!log.open(true)) {
    print_out("Can't open log file: " + log_file + "\n");
    return 1;
  }
  std::string echo = argv[0];
  for (int i = 1; i < argc; ++i) {
    echo += ' ';
    echo += argv[i];
  }
  log.say(echo + "\n");

  int modes = mode_count(o);
  if (modes == 0)
    return log.fail("No Subset (-S) or Update (-U) or Convert (-P,-G) or Merge (-M) or Orient (-O) flag defined");
  if (modes > 1) return log.fail("Can only do one of -S,-U,-P,-G,-M,-O in a single run.");
  if (o.threads_flag && o.threads < 1) return log.fail("Number of threads must be at least 1.");
  if (check_mode(o, log) != 0) return 1;
  log.close();
  int status;
  try {
    status = dispatch(o);
  } catch (const std::bad_alloc&) {
    status = report_failure("Not enough memory");
  } catch (const std::exception& e) {
    status = report_failure(e.what());
  }
  if (!finish_stdout()) status = 1;
  return status;
}

}  // namespace varnex
