#!/usr/bin/env bash
# The driver: usage text, every refusal with its streams, the command echo and
# the life of the log. Runs that reach a mode other than -U are left to the
# modes' own scripts.
source "$(dirname "$0")/lib.sh" "$@"

TITLE=$'Varnex v0.6.6 - Data Transformation\nSubsets, converts, merges and orients GEN/SAMPLE and PED/MAP genotype files.\n\nOptions:\n'
SUBSET_BLOCK=$'\t-S Subset\n\n'\
$'\t[--g,--genotype] FILE\t\tGEN format genotype file\n'\
$'\t--og,--out_genotype FILE\tOutput file, GEN subset genotype file\n'\
$'\t--sample_id FILE\t\tDefine a subset of samples by sample_id or subject_id\n'\
$'\t--sample_excl FILE\t\tDefine a subset of samples to exclude by sample_id or subject_id\n'\
$'\t--s,--sample FILE\t\tGEN sample file which accompanies the genotype file\n'\
$'\t--os,--out_sample FILE\t\tOutput file, sample file to accompany genotype file\n'\
$'\t--start INTEGER\t\t\tDefine a subset of SNPs in the range start <= position <= end\n'\
$'\t--end INTEGER\t\t\tDefine a subset of SNPs in the range start <= position <= end\n'\
$'\t--inclusion FILE\t\tDefine a subset of SNPs to include by rs_id or snp_id\n'\
$'\t--exclusion FILE\t\tDefine a subset of SNPs to exclude by rs_id or snp_id\n'\
$'\t--missing DOUBLE\t\tDefine a missingness threshold over which to exclude SNPs\n'\
$'\t--threshold DOUBLE\t\tDefine a threshold for calling genotypes for calculating missing data.\n'\
$'\n'
PED_BLOCK=$'\t-P Convert PED to GEN\n\n'\
$'\t[--ped] FILE\t\t\tPED genotype file\n'\
$'\t[--map] FILE\t\t\tMAP SNP file which accompanies PED file\n'\
$'\t--og,--out_genotype FILE\tGEN genotype file\n'\
$'\t--os,--out_sample FILE\t\tGEN sample file which accompanies the genotype file\n'\
$'\t--discrete_phenotype FLAG\tIf set, output each value of the phenotype in separate data files.\n'\
$'\t--family FLAG\t\t\tIf set, use the family_id from the PED file as ID_1 in the SAMPLE file\n'\
$'\t--ostrel1 FLAG\t\t\tIf set, use the OSTREL1 sample file format\n'\
$'\n'
GEN_BLOCK=$'\t-G Convert GEN to PED\n\n'\
$'\t[--g,--genotype] FILE\t\tGEN genotype file\n'\
$'\t[--s,--sample] FILE\t\tGEN sample file which accompanies the genotype file\n'\
$'\t--ped FILE\t\t\tPED genotype file\n'\
$'\t--map FILE\t\t\tMAP snp file which accompanies PED file\n'\
$'\t--phenotype STRING\t\tName of phenotype column in the sample file\n'\
$'\t--sex STRING\t\t\tName of sex column in the sample file\n'\
$'\t--threshold DOUBLE\t\tThreshold for calling genotypes from GEN probability\n'\
$'\t--alleles FLAG\t\t\tIf set, add two columns to MAP file with allele types\n'\
$'\n'
MERGE_BLOCK=$'\t-M Merge\n\n'\
$'\t[--g,--genotype] FILE\t\tList of GEN files to merge\n'\
$'\t[--s,--sample] FILE\t\tList of corresponding SAMPLE files to merge\n'\
$'\t--og,--out_genotype FILE\tGEN genotype file\n'\
$'\t--os,--out_sample FILE\t\tGEN sample file which accompanies the genotype file\n'\
$'\t--threshold DOUBLE\t\tThreshold for merging genotypes from GEN probability\n'\
$'\n'
ORIENT_BLOCK=$'\t-O Orient to Strand file\n\n'\
$'\t[--g,--genotype] FILE\t\tGEN genotype file\n'\
$'\t[--strand] FILE\t\t\tList of SNP positions and orientations (+,-)\n'\
$'\t--og,--out_genotype FILE\tGEN genotype file\n'\
$'\t--excl FLAG\t\t\tIf set, then SNPs with no entry in the strand file will be excluded from the output.\n'\
$'\t--order FLAG\t\t\tIf set, then alleles/probabilities will be output in alphabetical order A,C,G,T\n'\
$'\n'
LOG_LINE=$'\t--log FILE\t\t\tName of log file. Use with -S,-G,-P,-M\n\n'
DOC=$'Full documentation: README.md in the Varnex source distribution.\n\n'

NO_MODE=$'No Subset (-S) or Update (-U) or Convert (-P,-G) or Merge (-M) or Orient (-O) flag defined\n'
TWO_MODES=$'Can only do one of -S,-U,-P,-G,-M,-O in a single run.\n'

# expect_text TEXT LABEL FILE: FILE holds exactly TEXT.
expect_text() { printf '%s' "$1" | compare_with_stdin "$3" "$2"; }

# refused ECHO MESSAGE [LOG_MESSAGE]: standard output holds the echo and the
# message, the log the echo and LOG_MESSAGE (default: the message); exit 1.
refused() {
  expect_status 1
  expect_text "$1"$'\n'"$2" "standard output" stdout.txt
  expect_text "$1"$'\n'"${3-$2}" "log" varnex.log
}

# rejects MESSAGE ARGS...: runs ARGS, refused with MESSAGE in both streams.
rejects() {
  local message=$1
  shift
  run "$@"
  refused "varnex $*" "$message"
}

# usage BLOCK ARGS...: the run exits 1 with the echo, the title, BLOCK and the
# footer on standard output; the log holds the echo alone.
# only_says TEXT ARGS...: the run exits 1 with exactly TEXT (and a line feed)
# on standard output.
only_says() {
  local text=$1
  shift
  run "$@"
  expect_status 1
  expect_text "$text"$'\n' "standard output ($*)" stdout.txt
}

# log_is TEXT [FILE]: the log (FILE, default varnex.log) holds TEXT and a line feed.
log_is() { expect_text "$1"$'\n' "log" "${2:-varnex.log}"; }

usage() {
  local block=$1
  shift
  run "$@"
  expect_status 1
  expect_text "varnex $*"$'\n'"$TITLE$block$LOG_LINE$DOC" "standard output ($*)" stdout.txt
  expect_text "varnex $*"$'\n' "log ($*)" varnex.log
}

case_start "no arguments: the whole usage text, no log"
run
expect_status 1
expect_text "$TITLE$SUBSET_BLOCK$PED_BLOCK$GEN_BLOCK$MERGE_BLOCK$ORIENT_BLOCK$LOG_LINE$DOC" \
  "standard output" stdout.txt
expect_absent varnex.log
case_end

case_start "unknown parameters and a value option as the last argument stop the scan and leave the log alone"
for arg in -s --G --gen --g=a.gen -SP -u "" --log=x.log; do
  echo "earlier run" > varnex.log
  only_says "Unknown parameter: $arg" -S --g a.gen "$arg" --start 5
  log_is "earlier run"
done
for opt in --g --genotype --s --og --out_sample --sample_id --start --end --missing --threshold \
           --ped --map --phenotype --sex --strand --add_pheno_cov --remove_pheno_cov --log; do
  echo "earlier run" > varnex.log
  only_says "Missing value for parameter: $opt" -S --g a.gen "$opt"
  log_is "earlier run"
done
case_end

case_start "an unknown parameter is reported before a bad log name"
only_says "Unknown parameter: -X" --log missing/dir/x.log -X
expect_absent missing
case_end

case_start "log cannot be opened"
only_says "Can't open log file: missing/dir/x.log" --log missing/dir/x.log -S --g a.gen
expect_absent missing
mkdir adir
only_says "Can't open log file: adir" -U --s x --log adir
case_end

case_start "no mode flag"
echo "earlier run, longer than the new log" > varnex.log
rejects "$NO_MODE" --g a.gen --s a.sample --threshold 0.5
case_end

case_start "a value that looks like an option is taken as the value"
rejects "$NO_MODE" --g -S
rm varnex.log
only_says $'varnex --log -U\n'"${NO_MODE%$'\n'}" --log -U
log_is $'varnex --log -U\n'"${NO_MODE%$'\n'}" ./-U
expect_absent varnex.log
case_end

case_start "two or more mode flags"
rejects "$TWO_MODES" -S -P
rejects "$TWO_MODES" -U --g a.gen -M -O -G
rejects "$TWO_MODES" -U -U -S
case_end

case_start "the echo keeps every argument as typed, and --log moves the log"
echoed=$'varnex --log my run.log -S --g data dir/a.gen --og  --threshold  .5\nNo subset defined.'
only_says "$echoed" --log 'my run.log' -S --g 'data dir/a.gen' --og '' --threshold ' .5'
log_is "$echoed" "my run.log"
expect_absent varnex.log
case_end

case_start "the last --log wins; a gz log name is still plain text"
run --log first.log --log run.log.gz -P --ped x.ped
expect_status 1
expect_text $'varnex --log first.log --log run.log.gz -P --ped x.ped\n'"$TITLE$PED_BLOCK$LOG_LINE$DOC" \
  "standard output" stdout.txt
log_is 'varnex --log first.log --log run.log.gz -P --ped x.ped' run.log.gz
expect_plain run.log.gz
expect_absent first.log
expect_absent varnex.log
case_end

case_start "subset refusals"
usage "$SUBSET_BLOCK" -S --start 1
rejects $'No subset defined.\n' -S --g a.gen --s a.sample --og out.gen
subsets=$'Sample subsets require:\n\tsample_id_file or sample_excl_file\n\tgen_sample_file\n'
rejects "$subsets" -S --g a.gen --sample_id ids.txt
rejects "$subsets" -S --g a.gen --sample_excl ids.txt --start 5
rejects "$subsets" -S --g a.gen --s a.sample --sample_id ''
# Refused after the echo, with the message on standard output only.
for t in "" "--threshold -1" "--threshold -1.0e0"; do
  # shellcheck disable=SC2086
  run -S --g a.gen --missing 0.1 $t
  refused "varnex -S --g a.gen --missing 0.1${t:+ $t}" \
    $'Subset. For missingness SNP exclusions must define calling threshold (--threshold).\n' ""
done
expect_absent a.gen.subset
case_end

case_start "PED to GEN, GEN to PED and orient without their required files"
# shellcheck disable=SC2086
for args in "-P" "-P --ped x.ped" "-P --map x.map" "--map x.map -P --og out.gen"; do usage "$PED_BLOCK" $args; done
# shellcheck disable=SC2086
for args in "-G" "-G --g a.gen" "-G --s a.sample --threshold 0.5"; do usage "$GEN_BLOCK" $args; done
# shellcheck disable=SC2086
for args in "-O" "-O --g a.gen" "-O --strand s.txt --og out.gen"; do usage "$ORIENT_BLOCK" $args; done
expect_absent a.gen.ped
case_end

case_start "merge refusals and the collection after -M"
rejects $'No GEN files defined.\n' -M
rejects $'No GEN files defined.\n' -M --s a.sample
rejects $'No GEN files defined.\n' --g a.gen -M --s a.sample
rejects $'No GEN files defined.\n' -M --g --s x.sample
rejects $'No SAMPLE files defined.\n' -M --g a.gen b.gen
rejects $'No SAMPLE files defined.\n' -M --g a.gen b.gen --s
rejects $'Different number of GEN and SAMPLE files defined.\n' -M --g a.gen b.gen --s a.sample
rejects $'Different number of GEN and SAMPLE files defined.\n' \
  -M --genotype a.gen --sample a.sample b.sample --threshold 0.5
# A list ends at the next argument that starts with "-", which is then
# scanned as an option.
echo "earlier run" > varnex.log
only_says "Unknown parameter: -x" -M --g a.gen -x --s a.sample
log_is "earlier run"
case_end

case_start "a rejected run after a good one keeps the good run's log"
rejects $'No subset defined.\n' -S --g a.gen
run -S --g a.gen --bogus
expect_status 1
log_is $'varnex -S --g a.gen\nNo subset defined.'
case_end

case_start "a log name that designates a file of the run is refused before the log"
printf 'SNP1 rs1 100 A G 1 0 0\n' | write a.gen
only_says "Log file a.gen is the same file as a.gen" -S --g a.gen --start 1 --log a.gen
ln -s a.gen link.log
only_says "Log file link.log is the same file as ./a.gen" -G --g ./a.gen --s a.sample --log link.log
expect_text $'SNP1 rs1 100 A G 1 0 0\n' "the input" a.gen
echo "earlier run" > varnex.log
only_says "Log file varnex.log is the same file as varnex.log" -U --s varnex.log
log_is "earlier run"
only_says "Log file b.sample is the same file as b.sample" -M --g a.gen b.gen --s a.sample b.sample --log b.sample
expect_absent b.sample
case_end

case_start "a log name equal to a default output name is refused before the log"
only_says "Log file a.gen.map is the same file as a.gen.map" -G --g a.gen --s a.sample --log a.gen.map
expect_absent a.gen.map
only_says "Log file d/x_y.sample is the same file as d/x_y.sample" -M --g d/x.gen y.gen --s x.sample y.sample --log d/x_y.sample
mkdir d
only_says 'Log file d/x_y.sample is the same file as d/x_y.sample' \
  -M --g d/x.gen y.gen --s x.sample y.sample --log d/x_y.sample
case_end

finish
