// The driver: scans the command line, starts the log, checks the one mode and
// its names, fills in default output names and calls the mode.
//
//   varnex -G --g chr1.gen.gz --s chr1.sample --threshold 0.95
//
// Options are exact, case-sensitive words; a value option takes the next
// argument whatever it looks like. After "-M", "--g" and "--s" collect every
// following argument up to the next one that starts with "-" ("-" alone is
// a name).
#include "driver/varnex.hpp"

#include <sched.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <initializer_list>
#include <new>
#include <optional>
#include <utility>

#include "driver/log.hpp"
#include "driver/modes.hpp"
#include "driver/options.hpp"
#include "driver/progress.hpp"
#include "formats/bgen_io.hpp"
#include "formats/outputs.hpp"
#include "formats/streams.hpp"
#include "formats/text.hpp"

std::string log_file = "varnex.log";

namespace varnex {

namespace {

// What the scan found: the last value of each option ("" for a flag given),
// the mode flags, and the names that "--g" and "--s" collect after "-M".
struct command_line {
  std::optional<std::string> value[option_count];
  bool modes[mode_count] = {};
  std::vector<std::string> merge_files;
  int gen_count = 0, sample_count = 0;

  bool has(opt o) const { return value[static_cast<int>(o)].has_value(); }
  // How many mode flags were given; `last` is the last of them in usage order.
  int modes_named(mode& last) const {
    int named = 0;
    for (const mode_row& m : mode_table)
      if (modes[static_cast<int>(m.id)]) {
        ++named;
        last = m.id;
      }
    return named;
  }
  const std::optional<std::string>& get(opt o) const { return value[static_cast<int>(o)]; }
  std::string text(opt o) const { return get(o).value_or(std::string()); }
  std::optional<std::int32_t> int32(opt o) const {
    if (!has(o)) return std::nullopt;
    return leading_int32(*get(o));
  }
  std::optional<double> real(opt o) const {
    if (!has(o)) return std::nullopt;
    return std::strtod(get(o)->c_str(), nullptr);
  }
  // An output name left empty gets `name`.
  void default_name(opt o, const std::string& name) {
    if (text(o).empty()) value[static_cast<int>(o)] = name;
  }
  // A BGEN name keeps its ending: ".gz" changes nothing for BGEN.
  void append_gz_to(opt o) {
    std::string name = text(o);
    if (is_bgen_name(name)) return;
    append_gz(name);
    value[static_cast<int>(o)] = name;
  }
};

enum class scanned { run, refused, help, version };

// Scans argv into `c`; prints the refusal on a bad argument. "--help" and
// "--version" end the scan where they stand: what follows them is not read.
scanned scan(int argc, char** argv, command_line& c) {
  const bool* merge_seen = &c.modes[static_cast<int>(mode::merge)];
  int i = 1;
  while (i < argc) {
    if (const mode_row* m = find_mode(argv[i])) {
      c.modes[static_cast<int>(m->id)] = true;
      ++i;
      continue;
    }
    const option_row* row = find_option(argv[i]);
    if (!row) {
      print_out(std::string("Unknown parameter: ") + argv[i] + "\n");
      return scanned::refused;
    }
    if (row->id == opt::help) return scanned::help;
    if (row->id == opt::version) return scanned::version;
    const option_use* in_merge = row->use_in(mode::merge);
    if (*merge_seen && in_merge && in_merge->as == role::inputs) {
      int& count = row->id == opt::genotype ? c.gen_count : c.sample_count;
      int j = i + 1;
      // "-" alone is a name (standard input), not an option.
      for (; j < argc && (argv[j][0] != '-' || argv[j][1] == '\0'); ++j) {
        c.merge_files.emplace_back(argv[j]);
        ++count;
      }
      i = j;
      continue;
    }
    if (!row->takes_value()) {
      c.value[static_cast<int>(row->id)] = std::string();
      ++i;
      continue;
    }
    if (i + 1 >= argc) {
      print_out(std::string("Missing value for parameter: ") + argv[i] + "\n");
      return scanned::refused;
    }
    c.value[static_cast<int>(row->id)] = argv[i + 1];
    i += 2;
  }
  if (c.has(opt::log)) log_file = *c.get(opt::log);
  return scanned::run;
}

// Sets `value` to what `text` names in `names`; false when it names nothing.
template <class T, std::size_t N>
bool named(const std::pair<std::string_view, T> (&names)[N], std::string_view text, T& value) {
  for (const auto& [name, v] : names)
    if (text == name) return value = v, true;
  return false;
}

constexpr std::pair<std::string_view, bgen_compression> compression_names[] = {
    {"zlib", bgen_compression::zlib}, {"zstd", bgen_compression::zstd}, {"none", bgen_compression::none}};
constexpr std::pair<std::string_view, bgen_id_choice> id_names[] = {
    {"ID_1", bgen_id_choice::id_1}, {"ID_2", bgen_id_choice::id_2}, {"ID_1_ID_2", bgen_id_choice::id_1_id_2}};

// The BGEN options of the command line; false, with the refusal printed,
// when one of them has no meaning.
bool bgen_options_of(const command_line& c, tee& log, bgen_options& bgen) {
  const std::string compression = c.text(opt::bgen_compression);
  if (c.has(opt::bgen_compression) && !named(compression_names, compression, bgen.compression)) {
    log.fail("Unknown BGEN compression: " + compression + " (zlib, zstd or none)");
    return false;
  }
  const std::int32_t bits = c.int32(opt::bgen_bits).value_or(8);
  if (c.has(opt::bgen_bits) && (bits < 1 || bits > 32)) {
    log.fail("BGEN bits must be from 1 to 32.");
    return false;
  }
  const std::string ids = c.text(opt::bgen_ids);
  if (!ids.empty() && !named(id_names, ids, bgen.ids)) {
    log.fail("Unknown BGEN identifiers: " + ids + " (ID_1, ID_2 or ID_1_ID_2)");
    return false;
  }
  bgen.bits = static_cast<unsigned>(bits);
  bgen.compression_given = c.has(opt::bgen_compression);
  bgen.bits_given = c.has(opt::bgen_bits);
  bgen.chromosome = c.text(opt::chromosome);
  return true;
}

bool sample_subset(const command_line& c) { return c.has(opt::sample_id) || c.has(opt::sample_excl); }

// Output `o` left empty gets the name of input `from` tagged (x.bgen gives
// x.TAG.bgen), or standard output for standard input (a filter in a pipe
// writes where it reads); gzip when the GEN input is.
void derive_output(command_line& c, opt o, opt from, std::string_view tag) {
  const std::string input = c.text(from);
  c.default_name(o, is_standard_stream(input) ? input : tagged_gen_name(input, tag));
  if (is_gz_name(c.text(opt::genotype))) c.append_gz_to(o);
}

// Output names left empty become `input` with their tags, gzip when it is.
void tag_outputs(command_line& c, opt input,
                 std::initializer_list<std::pair<opt, std::string_view>> outputs) {
  const std::string name = c.text(input);
  if (name.empty()) return;
  for (const auto& [o, tag] : outputs) c.default_name(o, tagged_name(name, tag));
  if (is_gz_name(name))
    for (const auto& [o, tag] : outputs) c.append_gz_to(o);
}

// Fills in the default output names of mode `m` and applies the ".gz" rules,
// so that every name is final before the log or any output is opened. Names
// a refusal will not need are left alone.
void settle_names(command_line& c, mode m) {
  switch (m) {
    case mode::subset:
      if (c.text(opt::genotype).empty()) break;
      if (sample_subset(c) && !c.text(opt::sample).empty())
        derive_output(c, opt::out_sample, opt::sample, ".subset");
      derive_output(c, opt::out_genotype, opt::genotype, ".subset");
      break;
    case mode::ped_to_gen:
      tag_outputs(c, opt::ped, {{opt::out_genotype, ".gen"}, {opt::out_sample, ".sample"}});
      break;
    case mode::gen_to_ped:
      tag_outputs(c, opt::genotype, {{opt::ped, ".ped"}, {opt::map, ".map"}});
      break;
    case mode::merge:
      if (c.gen_count == 0 || c.gen_count != c.sample_count) break;
      c.default_name(opt::out_genotype, default_gen_output_file(c.gen_count, c.merge_files));
      c.default_name(opt::out_sample, default_gen_output_sample_file(c.gen_count, c.merge_files));
      break;
    case mode::orient:
      if (!c.text(opt::genotype).empty()) derive_output(c, opt::out_genotype, opt::genotype, ".orient");
      break;
    default:
      break;
  }
}

// Checks the mode's names; returns 0 to go on.
int check_mode(command_line& c, mode m, tee& log) {
  // A missing required name shows the mode's usage (merge counts its lists).
  if (m != mode::merge)
    for (const option_row& row : option_table) {
      const option_use* use = row.use_in(m);
      if (use && use->required && c.text(row.id).empty()) {
        usage(row_of(m).key);
        return 1;
      }
    }
  switch (m) {
    case mode::subset:
      if (!c.has(opt::start) && !c.has(opt::end) && !c.has(opt::inclusion) && !sample_subset(c) &&
          !c.has(opt::exclusion) && !c.has(opt::missing))
        return log.fail("No subset defined.");
      if (sample_subset(c) && ((c.text(opt::sample_id).empty() && c.text(opt::sample_excl).empty()) ||
                               c.text(opt::sample).empty()))
        return log.fail("Sample subsets require:\n\tsample_id_file or sample_excl_file\n\tgen_sample_file");
      // A threshold of exactly -1 reads as none given.
      if (c.has(opt::missing) && (!c.has(opt::threshold) || *c.real(opt::threshold) == -1.0)) {
        log.to_screen(
            "Subset. For missingness SNP exclusions must define calling threshold (--threshold).\n");
        return 1;
      }
      break;
    case mode::merge:
      if (c.gen_count == 0) return log.fail("No GEN files defined.");
      if (c.sample_count == 0) return log.fail("No SAMPLE files defined.");
      if (c.gen_count != c.sample_count)
        return log.fail("Different number of GEN and SAMPLE files defined.");
      break;
    default:
      break;
  }
  return 0;
}

// What the run reads and writes, for the identity checks; the log is also
// checked against every other file name of the command line, of any mode.
run_names names_of_run(const command_line& c, std::optional<mode> m) {
  run_names r;
  if (m) {
    for (const option_row& row : option_table) {
      const option_use* use = row.use_in(*m);
      if (!use || !c.has(row.id)) continue;
      if (use->as == role::input) r.inputs.push_back(*c.get(row.id));
      if (use->as == role::output) r.outputs.push_back(*c.get(row.id));
    }
    if (*m == mode::merge) r.inputs.insert(r.inputs.end(), c.merge_files.begin(), c.merge_files.end());
    // Without a sample subset there is no SAMPLE output; per-phenotype names
    // are checked by the mode once the PED is read.
    if ((*m == mode::subset && !sample_subset(c)) || (*m == mode::ped_to_gen && c.has(opt::discrete_phenotype)))
      r.outputs.erase(std::remove_if(r.outputs.begin(), r.outputs.end(),
                                     [&](const std::string& n) {
                                       return *m == mode::ped_to_gen || n == c.text(opt::out_sample);
                                     }),
                      r.outputs.end());
  }
  for (const option_row& row : option_table)
    if ((has_role(row, role::input) || has_role(row, role::inputs) || has_role(row, role::output)) &&
        c.has(row.id))
      r.others.push_back(*c.get(row.id));
  r.others.insert(r.others.end(), c.merge_files.begin(), c.merge_files.end());
  return r;
}

// A threshold given and not negative, or `fallback`.
double threshold_or(const command_line& c, double fallback) {
  std::optional<double> t = c.real(opt::threshold);
  return t && !(*t < 0.0) ? *t : fallback;
}

// A failure that ended the mode (a run_failure, memory exhausted, an
// unexpected error): reported after the mode's outputs were removed.
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

// How the mode reads and writes gzip; "--threads" below 1 was refused before.
stream_options streams_of(const command_line& c) {
  stream_options streams;
  std::optional<std::int32_t> threads = c.int32(opt::threads);
  streams.threads = threads ? std::min(*threads, 256) : default_threads();
  streams.bgzf = c.has(opt::bgzf);
  return streams;
}

int dispatch(const command_line& c, mode m, bgen_options bgen) {
  const stream_options streams = streams_of(c);
  bgen.threads = static_cast<unsigned>(streams.threads);
  switch (m) {
    case mode::subset:
      return subset({.genotype_file = c.text(opt::genotype),
                     .out_genotype_file = c.text(opt::out_genotype),
                     .sample_file = c.text(opt::sample), .out_sample_file = c.text(opt::out_sample),
                     .sample_id_file = c.get(opt::sample_id), .sample_excl_file = c.get(opt::sample_excl),
                     .inclusion_file = c.get(opt::inclusion), .exclusion_file = c.get(opt::exclusion),
                     .start = c.int32(opt::start), .end = c.int32(opt::end),
                     .missing = c.real(opt::missing), .threshold = c.real(opt::threshold),
                     .streams = streams, .bgen = bgen});
    case mode::ped_to_gen:
      return ped_to_gen({.ped_file = c.text(opt::ped), .map_file = c.text(opt::map),
                         .out_genotype_file = c.text(opt::out_genotype),
                         .out_sample_file = c.text(opt::out_sample),
                         .discrete_phenotype = c.has(opt::discrete_phenotype),
                         .family = c.has(opt::family), .ostrel1 = c.has(opt::ostrel1),
                         .streams = streams, .bgen = bgen});
    case mode::gen_to_ped: {
      const gen_to_ped_args absent;  // what an option not given leaves
      return gen_to_ped({.genotype_file = c.text(opt::genotype), .sample_file = c.text(opt::sample),
                         .ped_file = c.text(opt::ped), .map_file = c.text(opt::map),
                         .phenotype_name = c.get(opt::phenotype).value_or(absent.phenotype_name),
                         .sex_name = c.get(opt::sex).value_or(absent.sex_name),
                         .threshold = threshold_or(c, absent.threshold),
                         .alleles = c.has(opt::alleles), .streams = streams});
    }
    case mode::merge:
      return merge({.merge_files = c.merge_files, .out_genotype_file = c.text(opt::out_genotype),
                    .out_sample_file = c.text(opt::out_sample),
                    .threshold = threshold_or(c, merge_args{}.threshold), .streams = streams,
                    .bgen = bgen});
    case mode::orient:
      return orient_to_strand({.genotype_file = c.text(opt::genotype),
                               .strand_file = c.text(opt::strand),
                               .out_genotype_file = c.text(opt::out_genotype),
                               .excl = c.has(opt::excl), .order = c.has(opt::order),
                               .streams = streams, .bgen = bgen});
    default:
      return update_pheno_cov({.sample_file = c.text(opt::sample),
                               .add_pheno_cov_file = c.text(opt::add_pheno_cov),
                               .remove_pheno_cov_file = c.text(opt::remove_pheno_cov)});
  }
}

// Stem of one merged name: directory (first name only) or "_", then the base
// name up to its extension dot (the last "." before the first ".gz").
void append_stem(std::string& result, const std::string& name, const std::string& directory_of,
                 bool first) {
  const std::size_t base = own_name_start(name);
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

// The merged name of the `count` names from `first` on, in the folder of the
// first GEN name; gzip when a GEN name is.
std::string merged_name(int count, const std::vector<std::string>& merge_files, int first,
                        const char* ending) {
  std::string result;
  bool gz = false;
  for (int i = 0; i < count; ++i) {
    if (own_name_is_gz(merge_files[i])) gz = true;
    append_stem(result, merge_files[first + i], merge_files[0], i == 0);
  }
  return result + ending + (gz ? ".gz" : "");
}

}  // namespace

std::string default_gen_output_file(int count, std::vector<std::string>& merge_files) {
  return merged_name(count, merge_files, 0, ".gen");
}

std::string default_gen_output_sample_file(int count, std::vector<std::string>& merge_files) {
  return merged_name(count, merge_files, count, ".sample");
}

void usage(const std::string& key) {
  print_out(usage_text(key));
  std::fflush(stdout);
}

// ------------------------------------------------------------------- main

int varnex_main(int argc, char** argv) {
  buffer_stdout();
  if (argc <= 1) {
    usage("all");
    return 1;
  }
  command_line c;
  switch (scan(argc, argv, c)) {
    case scanned::refused:
      return 1;
    case scanned::help: {
      // The usage of the one mode named before "--help", or of them all.
      mode m;
      print_out(usage_text(c.modes_named(m) == 1 ? row_of(m).key : "all"));
      return finish_stdout() ? 0 : 1;
    }
    case scanned::version:
      print_out(version_text());
      return finish_stdout() ? 0 : 1;
    case scanned::run:
      break;
  }
  // Every name is final and checked before the log is truncated or any
  // output opened: a refused run leaves every file as it was.
  mode chosen = mode::any;
  const int modes = c.modes_named(chosen);
  std::optional<mode> one;
  if (modes == 1) one = chosen;
  if (one) settle_names(c, *one);
  const run_names names = names_of_run(c, one);
  if (std::any_of(names.outputs.begin(), names.outputs.end(), is_standard_stream)) stdout_carries_data();
  std::string refusal = log_refusal(log_file);
  if (refusal.empty()) refusal = name_clash(log_file, names);
  if (!refusal.empty()) {
    print_out(refusal + "\n");
    return 1;
  }

  tee log;
  if (!log.open_or_report(true)) return 1;
  std::string echo = argv[0];
  for (int i = 1; i < argc; ++i) {
    echo += ' ';
    echo += argv[i];
  }
  log.to_both_flushed(echo + "\n");

  if (modes == 0)
    return log.fail("No Subset (-S) or Update (-U) or Convert (-P,-G) or Merge (-M) or Orient (-O) flag defined");
  if (modes > 1) return log.fail("Can only do one of -S,-U,-P,-G,-M,-O in a single run.");
  if (c.has(opt::threads) && *c.int32(opt::threads) < 1)
    return log.fail("Number of threads must be at least 1.");
  bgen_options bgen;
  if (!bgen_options_of(c, log, bgen)) return 1;
  if (check_mode(c, chosen, log) != 0) return 1;
  log.close();
  int status;
  {
    progress_line progress(!c.has(opt::quiet));
    try {
      status = dispatch(c, chosen, bgen);
    } catch (const std::bad_alloc&) {
      status = report_failure("Not enough memory");
    } catch (const std::exception& e) {
      status = report_failure(e.what());
    }
  }
  if (!finish_stdout()) status = 1;
  return status;
}

}  // namespace varnex
