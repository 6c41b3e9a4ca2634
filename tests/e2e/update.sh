#!/usr/bin/env bash
# -U: prints a SAMPLE file, plain or gzip whatever its name, each line
# followed by an empty line; the log keeps only the command echo.
source "$(dirname "$0")/lib.sh" "$@"

SAMPLE=$'ID_1 ID_2 missing\n0 0 0\n'
PRINTED=$'ID_1 ID_2 missing\n\n0 0 0\n\n'

# prints NAME TEXT [ARGS...]: varnex -U --s NAME ARGS exits 0 and prints the
# echo then TEXT; the log holds the echo alone.
prints() {
  local name=$1 text=$2
  shift 2
  run -U --s "$name" "$@"
  expect_status 0
  printf 'varnex -U --s %s%s\n%s' "$name" "${*:+ $*}" "$text" | expect_stdout
  echo "varnex -U --s $name${*:+ $*}" | expect_log
}

case_start "plain text and gzip data, each under a plain and a gz name"
printf '%s' "$SAMPLE" | write x.sample
printf '%s' "$SAMPLE" | write plain.sample.gz
printf '%s' "$SAMPLE" | write_gz x.sample.gz
printf '%s' "$SAMPLE" | write_gz packed.sample
for name in x.sample plain.sample.gz x.sample.gz packed.sample; do
  run -U --sample "$name"
  expect_status 0
  expect_stdout <<<"varnex -U --sample $name"$'\n'"${PRINTED%$'\n'}"
  expect_log <<<"varnex -U --sample $name"
done
case_end

case_start "the update options are accepted and not read; --g is not passed"
printf '%s' "$SAMPLE" | write x.sample
run -U --g missing.gen --s x.sample --add_pheno_cov p.txt --remove_pheno_cov q.txt
expect_status 0
expect_stdout <<<"varnex -U --g missing.gen --s x.sample --add_pheno_cov p.txt --remove_pheno_cov q.txt"$'\n'"${PRINTED%$'\n'}"
expect_log <<<"varnex -U --g missing.gen --s x.sample --add_pheno_cov p.txt --remove_pheno_cov q.txt"
expect_absent p.txt
expect_absent q.txt
case_end

case_start "a last line without a line feed, a CR before the line feed, empty lines; empty files"
printf 'ID_1 ID_2\r\n\nlast' | write odd.sample
prints odd.sample $'ID_1 ID_2\r\n\n\n\nlast\n\n'
: > empty.sample
printf '' | write_gz empty.sample.gz
for name in empty.sample empty.sample.gz; do prints "$name" ""; done
case_end

case_start "a missing file, a directory, no --s"
mkdir dir.sample
for args in "--s missing.sample" "--s dir.sample" "--add_pheno_cov p.txt"; do
  # shellcheck disable=SC2086
  run -U $args
  expect_status 1
  name=${args#--s }
  [ "$name" = "$args" ] && name=""
  printf "varnex -U %s\nCan't open %s\n" "$args" "$name" | expect_stdout
  expect_log < stdout.txt
done
case_end

case_start "damaged gzip data is a read error"
seq 1 20000 | sed 's/.*/S& S& 0/' | gzip -c | head -c 20000 > cut.sample.gz
run -U --s cut.sample.gz
expect_status 1
[ "$(tail -n 1 stdout.txt)" = "Can't read cut.sample.gz" ] || fail "last line: $(tail -n 1 stdout.txt)"
printf "varnex -U --s cut.sample.gz\nCan't read cut.sample.gz\n" | expect_log
case_end

case_start "a line of 2.5 MB is printed whole"
long=$(head -c 2500000 /dev/zero | tr '\0' 'p')
printf 'ID_1 %s\nend\n' "$long" | write long.sample
printf 'ID_1 %s\nend\n' "$long" | write_gz long.sample.gz
for name in long.sample long.sample.gz; do prints "$name" "ID_1 $long"$'\n\nend\n\n'; done
case_end

case_start "standard output that cannot be written gives exit 1"
printf '%s' "$SAMPLE" | write x.sample
varnex -U --s x.sample > /dev/full 2> stderr.txt
STATUS=$?
expect_status 1
[ -s stderr.txt ] && fail "wrote to standard error"
echo "varnex -U --s x.sample" | expect_log
case_end

case_start "a real SAMPLE file, plain and gzip"
cp "$REALDATA/genotypeio_tests/test2.sample" test2.sample
gzip -c test2.sample > test2.sample.gz
for name in test2.sample test2.sample.gz; do
  # Each row followed by an empty line.
  prints "$name" "$(printf '%s\n\n' 'ID_1 ID_2 missing sex phenotype' '0 0 0 D P' 'F1042 1042 0 1 0' \
    'F1043 1043 0 1 1' 'F1044 1044 0 1 2' 'F1045 1045 0 1 -9' 'F1046 1046 0 1 -9' 'F1047 1047 0 1 -9' \
    'F1048 1048 0 1 -9' 'F1049 1049 0 1 -9' 'F1050 1050 0.1 1 -9')"$'\n\n'
done
case_end

finish
