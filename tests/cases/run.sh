#!/usr/bin/env bash
# Runs end-to-end cases kept as data:
#   bash run.sh VARNEX_BINARY PATH...
# Each PATH is a case folder or a folder of case folders (searched to any
# depth; a case folder is one holding `args`). A case folder holds
#   args    the arguments, one per line, taken literally (no shell quoting)
#   in/     input files, copied into a fresh scratch folder where varnex runs
#   stdout  the expected standard output (absent: none)
#   out/    every file the run leaves besides the inputs, as plain text
#   status  the expected exit status (absent: 0)
#   gzip    names of outputs that must be gzip data, one per line; they are
#           compared with out/ decompressed
#   setup   optional: shell lines run in the scratch folder before the run
#           (links, FIFOs, empty folders); what it makes counts as input
#   stdin   optional: fed to standard input (absent: /dev/null)
# Every case checks: the exit status, standard output byte for byte, nothing
# on standard error, every input untouched (type, mode, size, times, link
# target), every out/ file byte for byte, and no other file left behind, in
# the scratch folder or in TMPDIR.
set -u
shopt -s nullglob dotglob globstar
export LC_ALL=C

if [ $# -lt 2 ]; then
  echo "usage: run.sh VARNEX_BINARY PATH..." >&2
  exit 2
fi
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift
start=$PWD
root=$(mktemp -d "${TMPDIR:-/tmp}/varnex-cases.XXXXXX")
trap 'chmod -R u+rwX "$root" 2>/dev/null; rm -rf "$root"' EXIT
mkdir "$root/bin"
ln -s "$binary" "$root/bin/varnex"
export PATH="$root/bin:$PATH"

passed=0
failed=0
count=0
problems=()
problem() { problems+=("$*"); }

# Fills the associative array named $1 with path -> "type mode size times
# link" for every entry below the current folder. Any write to an input
# changes its times; folders are compared by type and mode alone.
declare -A before after
entries() {
  local -n table=$1
  local path info
  table=()
  while IFS=$'\t' read -r path info; do
    [ "${info:0:1}" = d ] && info=${info:0:5}
    table[$path]=$info
  done < <(find . -mindepth 1 -printf '%P\t%y %m %s %T@ %C@ %l\n')
}

# compare EXPECTED ACTUAL LABEL
compare() {
  cmp -s "$1" "$2" ||
    problem "$3 differs (< expected, > actual):"$'\n'"$(diff "$1" "$2" | head -20 | sed 's/^/    /')"
}

run_case() {
  local case=$1 name=$2
  count=$((count + 1))
  local scratch="$root/$count"
  local work="$scratch/work"
  mkdir -p "$work" "$scratch/tmp"
  problems=()
  [ -d "$case/in" ] && cp -a "$case/in/." "$work/"
  cd "$work" || exit 2
  if [ -f "$case/setup" ]; then
    bash "$case/setup" > "$scratch/setup.out" 2>&1 || problem "setup failed: $(< "$scratch/setup.out")"
  fi
  entries before

  local args=() input=/dev/null status expected=0
  mapfile -t args < "$case/args"
  [ -f "$case/stdin" ] && input=$case/stdin
  # A run that hangs (a thread waiting for work that never comes) fails.
  TMPDIR="$scratch/tmp" timeout "${VARNEX_CASE_TIMEOUT:-120}" varnex "${args[@]}" < "$input" > "$scratch/stdout" 2> "$scratch/stderr"
  status=$?
  entries after
  cd "$root" || exit 2

  [ -f "$case/status" ] && read -r expected < "$case/status"
  [ "$status" = "$expected" ] || problem "exit status $status, expected $expected"
  if [ -f "$case/stdout" ]; then
    compare "$case/stdout" "$scratch/stdout" "standard output"
  elif [ -s "$scratch/stdout" ]; then
    problem "unexpected standard output: $(head -c 300 "$scratch/stdout")"
  fi
  [ -s "$scratch/stderr" ] && problem "standard error: $(head -c 300 "$scratch/stderr")"

  # Expected outputs (with the folders holding them).
  local -A expected_paths=() gzipped=()
  local line rel dir file
  if [ -f "$case/gzip" ]; then
    while IFS= read -r line; do [ -n "$line" ] && gzipped[${line#./}]=1; done < "$case/gzip"
  fi
  for file in "$case"/out/**; do
    [ -f "$file" ] || continue
    rel=${file#"$case"/out/}
    expected_paths[$rel]=1
    dir=$rel
    while [[ $dir == */* ]]; do dir=${dir%/*}; expected_paths[$dir]=1; done
    if [ -z "${after[$rel]:-}" ] || [ "${after[$rel]:0:1}" != f ]; then
      problem "output $rel: missing"
    elif [ -n "${gzipped[$rel]:-}" ]; then
      if gzip -dc < "$work/$rel" > "$scratch/unzipped" 2>/dev/null; then
        compare "$file" "$scratch/unzipped" "output $rel (decompressed)"
      else
        problem "output $rel: not gzip data"
      fi
    else
      compare "$file" "$work/$rel" "output $rel"
    fi
  done
  for rel in "${!gzipped[@]}"; do
    [ -n "${expected_paths[$rel]:-}" ] || problem "gzip names $rel, which out/ lacks"
  done

  # Inputs untouched (unless an expected output replaces them), nothing else left.
  local changed=() left=() path
  for path in "${!before[@]}"; do
    [ -n "${expected_paths[$path]:-}" ] && continue
    [ "${after[$path]:-gone}" = "${before[$path]}" ] || changed+=("$path")
  done
  for path in "${!after[@]}"; do
    [ -z "${before[$path]:-}" ] && [ -z "${expected_paths[$path]:-}" ] && left+=("$path")
  done
  [ ${#changed[@]} -gt 0 ] && problem "inputs changed or removed: ${changed[*]}"
  [ ${#left[@]} -gt 0 ] && problem "files left behind: ${left[*]}"
  local temps=("$scratch"/tmp/*)
  [ ${#temps[@]} -gt 0 ] && problem "files left in TMPDIR: ${temps[*]##*/}"

  if [ ${#problems[@]} -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL $name"
    printf '  %s\n' "${problems[@]}"
  fi
}

for path in "$@"; do
  path=$(cd "$start" && cd "$path" && pwd) || exit 2
  for args_file in "$path"/**/args; do
    case_dir=${args_file%/args}
    [[ $case_dir == */in || $case_dir == */in/* || $case_dir == */out || $case_dir == */out/* ]] && continue
    run_case "$case_dir" "${case_dir#"${path%/*}"/}"
  done
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
