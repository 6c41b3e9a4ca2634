#include "driver/options.hpp"

#include <libdeflate.h>
#include <zlib.h>

#include <boost/version.hpp>
#include <cstring>
#include <vector>

namespace varnex {

#ifndef VARNEX_VERSION
#define VARNEX_VERSION "0.6.6"
#endif
const char* const version = VARNEX_VERSION;

namespace {
constexpr mode S = mode::subset, P = mode::ped_to_gen, G = mode::gen_to_ped, M = mode::merge,
               O = mode::orient, U = mode::update, any = mode::any;
constexpr role in = role::input, ins = role::inputs, out = role::output, val = role::value,
               flag = role::flag;
constexpr bool req = true, opt_ = false;
// A value option of the modes that write GEN, not listed in their usage.
constexpr option_row gen_output_option(opt id, const char* name, const char* argument,
                                       const char* help, bool orient = true) {
  option_row r{id, name, nullptr, argument,
               {{S, 0, val, opt_, help}, {P, 0, val, opt_, help}, {M, 0, val, opt_, help}}};
  if (orient) r.uses[3] = {O, 0, val, opt_, help};
  return r;
}
}  // namespace

// Rows in the order of `opt`; the rank puts each option in its place in a
// mode's usage block, which differs between modes (-S lists --og before --s).
const option_row option_table[option_count] = {
    {opt::genotype, "--genotype", "--g", "FILE",
     {{S, 1, in, req, "GEN format genotype file"}, {G, 1, in, req, "GEN genotype file"},
      {M, 1, ins, req, "List of GEN files to merge"}, {O, 1, in, req, "GEN genotype file"},
      {U, 1, in, opt_, "GEN genotype file"}}},
    {opt::sample, "--sample", "--s", "FILE",
     {{S, 5, in, opt_, "GEN sample file which accompanies the genotype file"},
      {G, 2, in, req, "GEN sample file which accompanies the genotype file"},
      {M, 2, ins, req, "List of corresponding SAMPLE files to merge"},
      {U, 2, in, opt_, "List of corresponding SAMPLE files to merge"}}},
    {opt::out_genotype, "--out_genotype", "--og", "FILE",
     {{S, 2, out, opt_, "Output file, GEN subset genotype file"},
      {P, 3, out, opt_, "GEN genotype file"}, {M, 3, out, opt_, "GEN genotype file"},
      {O, 3, out, opt_, "GEN genotype file"}}},
    {opt::out_sample, "--out_sample", "--os", "FILE",
     {{S, 6, out, opt_, "Output file, sample file to accompany genotype file"},
      {P, 4, out, opt_, "GEN sample file which accompanies the genotype file"},
      {M, 4, out, opt_, "GEN sample file which accompanies the genotype file"}}},
    {opt::sample_id, "--sample_id", nullptr, "FILE",
     {{S, 3, in, opt_, "Define a subset of samples by sample_id or subject_id"}}},
    {opt::sample_excl, "--sample_excl", nullptr, "FILE",
     {{S, 4, in, opt_, "Define a subset of samples to exclude by sample_id or subject_id"}}},
    {opt::start, "--start", nullptr, "INTEGER",
     {{S, 7, val, opt_, "Define a subset of SNPs in the range start <= position <= end"}}},
    {opt::end, "--end", nullptr, "INTEGER",
     {{S, 8, val, opt_, "Define a subset of SNPs in the range start <= position <= end"}}},
    {opt::inclusion, "--inclusion", nullptr, "FILE",
     {{S, 9, in, opt_, "Define a subset of SNPs to include by rs_id or snp_id"}}},
    {opt::exclusion, "--exclusion", nullptr, "FILE",
     {{S, 10, in, opt_, "Define a subset of SNPs to exclude by rs_id or snp_id"}}},
    {opt::missing, "--missing", nullptr, "DOUBLE",
     {{S, 11, val, opt_, "Define a missingness threshold over which to exclude SNPs"}}},
    {opt::threshold, "--threshold", nullptr, "DOUBLE",
     {{S, 12, val, opt_, "Define a threshold for calling genotypes for calculating missing data."},
      {G, 7, val, opt_, "Threshold for calling genotypes from GEN probability"},
      {M, 5, val, opt_, "Threshold for merging genotypes from GEN probability"}}},
    {opt::ped, "--ped", nullptr, "FILE",
     {{P, 1, in, req, "PED genotype file"}, {G, 3, out, opt_, "PED genotype file"}}},
    {opt::map, "--map", nullptr, "FILE",
     {{P, 2, in, req, "MAP SNP file which accompanies PED file"},
      {G, 4, out, opt_, "MAP snp file which accompanies PED file"}}},
    {opt::phenotype, "--phenotype", nullptr, "STRING",
     {{G, 5, val, opt_, "Name of phenotype column in the sample file"}}},
    {opt::sex, "--sex", nullptr, "STRING",
     {{G, 6, val, opt_, "Name of sex column in the sample file"}}},
    {opt::alleles, "--alleles", nullptr, "FLAG",
     {{G, 8, flag, opt_, "If set, add two columns to MAP file with allele types"}}},
    {opt::discrete_phenotype, "--discrete_phenotype", nullptr, "FLAG",
     {{P, 5, flag, opt_, "If set, output each value of the phenotype in separate data files."}}},
    {opt::family, "--family", nullptr, "FLAG",
     {{P, 6, flag, opt_, "If set, use the family_id from the PED file as ID_1 in the SAMPLE file"}}},
    {opt::ostrel1, "--ostrel1", nullptr, "FLAG",
     {{P, 7, flag, opt_, "If set, use the OSTREL1 sample file format"}}},
    {opt::strand, "--strand", nullptr, "FILE",
     {{O, 2, in, req, "List of SNP positions and orientations (+,-)"}}},
    {opt::excl, "--excl", nullptr, "FLAG",
     {{O, 4, flag, opt_,
       "If set, then SNPs with no entry in the strand file will be excluded from the output."}}},
    {opt::order, "--order", nullptr, "FLAG",
     {{O, 5, flag, opt_,
       "If set, then alleles/probabilities will be output in alphabetical order A,C,G,T"}}},
    {opt::add_pheno_cov, "--add_pheno_cov", nullptr, "FILE",
     {{U, 3, in, opt_, "List of phenotypes to add to sample file"}}},
    {opt::remove_pheno_cov, "--remove_pheno_cov", nullptr, "FILE",
     {{U, 4, in, opt_, "List of phenotypes to remove from sample file"}}},
    // How the modes that write GEN store a ".bgen" output; no usage lines.
    gen_output_option(opt::bgen_compression, "--bgen-compression", "STRING",
                      "Compression of a .bgen GEN output: zlib, zstd or none (default: zlib)"),
    gen_output_option(opt::bgen_bits, "--bgen-bits", "INTEGER",
                      "Bits per stored probability of a .bgen GEN output, 1 to 32 (default: 8)"),
    gen_output_option(opt::bgen_ids, "--bgen-ids", "STRING",
                      "Sample identifiers stored in a .bgen GEN output: ID_1, ID_2 or ID_1_ID_2 "
                      "(default: ID_1)",
                      false),
    gen_output_option(opt::chromosome, "--chromosome", "STRING",
                      "Chromosome of every SNP of a .bgen GEN output (default: the snp_id when it is "
                      "a chromosome code)"),
    // Options of every mode. Only the log line is part of the usage text.
    {opt::threads, "--threads", nullptr, "INTEGER",
     {{any, 0, val, opt_,
       "Threads that compress gzip outputs and inflate BGZF inputs (at least 1; default: the "
       "CPUs the process may run on, at most 16)"}}},
    {opt::bgzf, "--bgzf", nullptr, "FLAG",
     {{any, 0, flag, opt_, "Write gzip outputs as BGZF (blocked gzip) instead of one gzip member"}}},
    {opt::log, "--log", nullptr, "FILE",
     {{any, 0, role::log, opt_, "Name of log file. Use with -S,-G,-P,-M"}}},
    {opt::quiet, "--quiet", nullptr, "FLAG",
     {{any, 0, flag, opt_, "Show no progress line on standard error"}}},
    {opt::help, "--help", "-h", "FLAG",
     {{any, 0, role::action, opt_,
       "Print the usage text (of the mode given before it only) to standard output and exit"}}},
    {opt::version, "--version", nullptr, "FLAG",
     {{any, 0, role::action, opt_,
       "Print the version of varnex and of the libraries it uses and exit"}}},
};

const mode_row mode_table[mode_count] = {
    {S, "-S", "subset", "Subset", true},
    {P, "-P", "ped_to_gen", "Convert PED to GEN", true},
    {G, "-G", "gen_to_ped", "Convert GEN to PED", true},
    {M, "-M", "merge", "Merge", true},
    {O, "-O", "orient", "Orient to Strand file", true},
    {U, "-U", "update", "Update GEN and SAMPLE files", false},  // only on request
};

bool option_row::takes_value() const { return std::strcmp(argument, "FLAG") != 0; }

const option_use* option_row::use_in(mode m) const {
  for (const option_use& u : uses)
    if (u.help && (u.in == m || u.in == mode::any)) return &u;
  return nullptr;
}

const option_row& row_of(opt id) { return option_table[static_cast<int>(id)]; }
const mode_row& row_of(mode m) { return mode_table[static_cast<int>(m)]; }

const option_row* find_option(const char* arg) {
  for (const option_row& row : option_table)
    if (std::strcmp(arg, row.name) == 0 || (row.alias && std::strcmp(arg, row.alias) == 0))
      return &row;
  return nullptr;
}

const mode_row* find_mode(const char* arg) {
  for (const mode_row& row : mode_table)
    if (std::strcmp(arg, row.flag) == 0) return &row;
  return nullptr;
}

namespace {

// The rows a mode lists, in the order of its usage block.
std::vector<std::pair<const option_row*, const option_use*>> listed_in(mode m) {
  std::vector<std::pair<const option_row*, const option_use*>> rows;
  for (int rank = 1;; ++rank) {
    std::size_t before = rows.size();
    for (const option_row& row : option_table)
      for (const option_use& u : row.uses)
        if (u.help && u.in == m && u.rank == rank) rows.emplace_back(&row, &u);
    if (rows.size() == before) return rows;
  }
}

// "--g,--genotype" (alias first), in brackets when required.
std::string spelling(const option_row& row, bool required) {
  std::string s = row.alias ? std::string(row.alias) + "," + row.name : row.name;
  return required ? "[" + s + "]" : s;
}

// One usage line: the spelling and argument, tabs up to column 32 (the
// line itself starts after a tab), the help text.
std::string usage_line(const std::string& spelt, const char* argument, const char* help) {
  std::string line = "\t" + spelt + " " + argument;
  std::size_t column = line.size() - 1;
  do {
    line += '\t';
    column = (column / 8 + 1) * 8;
  } while (column < 32);
  return line + help + "\n";
}

std::string block(mode m) {
  std::string text = std::string("\t") + row_of(m).flag + " " + row_of(m).title + "\n\n";
  for (const auto& [row, use] : listed_in(m))
    text += usage_line(spelling(*row, use->required), row->argument, use->help);
  return text + "\n";
}

}  // namespace

std::string usage_text(const std::string& key) {
  std::vector<mode> blocks;
  for (const mode_row& row : mode_table)
    if (key == row.key || (key == "all" && row.in_full_usage)) blocks.push_back(row.id);
  if (blocks.empty()) return {};
  std::string text = std::string("Varnex v") + version + " - Data Transformation\n" +
                     "Subsets, converts, merges and orients GEN/SAMPLE and PED/MAP genotype files.\n"
                     "\nOptions:\n";
  for (mode m : blocks) text += block(m);
  for (const option_row& row : option_table)
    if (row.uses[0].as == role::log)
      text += usage_line(row.name, row.argument, row.uses[0].help) + "\n";
  return text + "Full documentation: README.md in the Varnex source distribution.\n\n";
}

std::string version_text() {
  return std::string("varnex ") + version + "\nzlib " + zlibVersion() + "\nlibdeflate " +
         LIBDEFLATE_VERSION_STRING + "\nBoost " +
         std::to_string(BOOST_VERSION / 100000) + "." + std::to_string(BOOST_VERSION / 100 % 1000) +
         "." + std::to_string(BOOST_VERSION % 100) + "\n";
}

// ------------------------------------------------------------ man page

namespace {

// Text as troff reads it literally: backslashes escaped, no line that starts
// with a control character.
std::string troff(const std::string& text) {
  std::string s;
  for (char c : text) s += c == '\\' ? std::string("\\e") : std::string(1, c);
  if (!s.empty() && (s[0] == '.' || s[0] == '\'')) s.insert(0, "\\&");
  return s;
}

std::string troff_option(const char* name) {
  std::string s;
  for (const char* p = name; *p; ++p) s += *p == '-' ? std::string("\\-") : std::string(1, *p);
  return "\\fB" + s + "\\fR";
}

std::string man_item(const option_row& row, const option_use& use) {
  std::string head = ".TP\n";
  if (row.alias) head += troff_option(row.alias) + ", ";
  head += troff_option(row.name);
  if (row.takes_value()) head += std::string(" \\fI") + row.argument + "\\fR";
  std::string help = troff(use.help);
  if (help.back() != '.') help += '.';
  if (use.required) help += " Required.";
  return head + "\n" + help + "\n";
}

}  // namespace

std::string man_options(mode m) {
  std::string text;
  for (const auto& [row, use] : listed_in(m)) text += man_item(*row, *use);
  return text;
}

std::string man_general_options() {
  std::string text;
  for (const option_row& row : option_table)
    if (row.uses[0].in == mode::any) text += man_item(row, row.uses[0]);
  return text;
}

// ------------------------------------------------------- bash completion

bool has_role(const option_row& row, role r) {
  for (const option_use& u : row.uses)
    if (u.help && u.as == r) return true;
  return false;
}

namespace {

// The spellings of the rows that `keep` accepts, joined by `separator`.
template <class Keep>
std::string spellings(Keep keep, const char* separator) {
  std::string list;
  for (const option_row& row : option_table) {
    if (!keep(row)) continue;
    for (const char* s : {row.alias, row.name})
      if (s) list.append(list.empty() ? "" : separator).append(s);
  }
  return list;
}

}  // namespace

std::string bash_completion() {
  std::string flags, flag_alternatives;
  for (const mode_row& m : mode_table) {
    flags += std::string(flags.empty() ? "" : " ") + m.flag;
    flag_alternatives += std::string(flag_alternatives.empty() ? "" : "|") + m.flag;
  }
  auto file = [](const option_row& r) {
    return has_role(r, role::input) || has_role(r, role::output) || has_role(r, role::log);
  };
  auto value = [](const option_row& r) { return has_role(r, role::value); };
  auto list = [](const option_row& r) { return has_role(r, role::inputs); };

  std::string s =
      "# bash completion for varnex, generated from its option table.\n"
      "_varnex() {\n"
      "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
      "  local mode= i w words\n"
      "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
      "    case ${COMP_WORDS[i]} in " + flag_alternatives + ") mode=${COMP_WORDS[i]} ;; esac\n"
      "  done\n"
      "  case $prev in\n"
      "    " + spellings(file, "|") + ")\n"
      "      COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n"
      "    " + spellings(value, "|") + ")\n"
      "      COMPREPLY=(); return ;;\n"
      "  esac\n"
      "  if [[ $cur != -* ]]; then\n"
      "    # After -M, --g and --s take every name up to the next option.\n"
      "    if [[ $mode == -M ]]; then\n"
      "      for ((i = COMP_CWORD - 1; i > 0; i--)); do\n"
      "        w=${COMP_WORDS[i]}\n"
      "        [[ $w == -* ]] || continue\n"
      "        case $w in " + spellings(list, "|") +
      ") COMPREPLY=($(compgen -f -- \"$cur\")); return ;; esac\n"
      "        break\n"
      "      done\n"
      "    fi\n"
      "    COMPREPLY=(); return\n"
      "  fi\n"
      "  case $mode in\n";
  // A mode offers its own options and those of every mode; no mode, all of them.
  for (const mode_row& m : mode_table)
    s += std::string("    ") + m.flag + ") words=\"" +
         spellings([&](const option_row& r) { return r.use_in(m.id) != nullptr; }, " ") + "\" ;;\n";
  s += "    *) words=\"" + flags + " " + spellings([](const option_row&) { return true; }, " ") +
       "\" ;;\n"
       "  esac\n"
       "  COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
       "}\n"
       "complete -o filenames -F _varnex varnex\n";
  return s;
}

}  // namespace varnex
