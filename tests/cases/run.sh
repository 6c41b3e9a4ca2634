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
#           (links, FIFOs, modes); what it makes counts as input
#   stdin   optional: fed to standard input (absent: /dev/null)
# Every case checks: the exit status, standard output byte for byte, nothing
# on standard error, every input unchanged (bytes, type, mode, link target),
# every out/ file byte for byte, and no other file left behind, in the
# scratch folder or in TMPDIR.
set -u
export LC_ALL=C

if [ $# -lt 2 ]; then
  echo "usage: run.sh VARNEX_BINARY PATH..." >&2
  exit 2
fi
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift
root=$(mktemp -d "${TMPDIR:-/tmp}/varnex-cases.XXXXXX")
trap 'chmod -R u+rwX "$root" 2>/dev/null; rm -rf "$root"' EXIT
mkdir "$root/bin"
ln -s "$binary" "$root/bin/varnex"
export PATH="$root/bin:$PATH"

passed=0
failed=0
problems=()

problem() { problems+=("$*"); }

# One line per entry below the current folder: path, type, mode, link target;
# and one per regular file: path and checksum.
manifest() {
  { find . -mindepth 1 -printf "%p\t%y %m %l\n"
    find . -mindepth 1 -type f -exec cksum {} + | sed -E "s/^([0-9]+ [0-9]+) (.*)\$/\\2\tsum \\1/"
  } | sort
}

show_diff() {
  diff "$1" "$2" | head -20 | sed 's/^/    /'
}

run_case() {
  local case=$1 name=$2
  local scratch="$root/case" work="$root/case/work"
  chmod -R u+rwX "$scratch" 2>/dev/null
  rm -rf "$scratch"
  mkdir -p "$work" "$scratch/tmp"
  problems=()
  if [ -d "$case/in" ]; then cp -a "$case/in/." "$work/"; fi
  if [ -f "$case/setup" ]; then
    (cd "$work" && bash "$case/setup") > "$scratch/setup.out" 2>&1 ||
      problem "setup failed: $(head -c 300 "$scratch/setup.out")"
  fi
  (cd "$work" && manifest) > "$scratch/before"

  local args=()
  mapfile -t args < "$case/args"
  local input=/dev/null
  [ -f "$case/stdin" ] && input=$case/stdin
  (cd "$work" && TMPDIR="$scratch/tmp" timeout 60 varnex "${args[@]}") \
    < "$input" > "$scratch/stdout" 2> "$scratch/stderr"
  local status=$? expected=0
  [ -f "$case/status" ] && expected=$(tr -d ' \n' < "$case/status")

  [ "$status" = "$expected" ] || problem "exit status $status, expected $expected"
  local want_stdout=/dev/null
  [ -f "$case/stdout" ] && want_stdout=$case/stdout
  if ! cmp -s "$want_stdout" "$scratch/stdout"; then
    problem "standard output differs (< expected, > actual):"$'\n'"$(show_diff "$want_stdout" "$scratch/stdout")"
  fi
  [ -s "$scratch/stderr" ] && problem "standard error: $(head -c 300 "$scratch/stderr")"

  # Expected outputs, and the folders holding them.
  local outputs=() file
  if [ -d "$case/out" ]; then
    mapfile -t outputs < <(cd "$case/out" && find . -type f | sort)
  fi
  local gzipped=()
  [ -f "$case/gzip" ] && mapfile -t gzipped < <(grep -v '^$' "$case/gzip" | sed 's|^\./||')
  : > "$scratch/expected_paths"
  for file in "${outputs[@]}"; do
    local rel=${file#./} dir
    echo "./$rel" >> "$scratch/expected_paths"
    dir=$(dirname "$rel")
    while [ "$dir" != . ]; do echo "./$dir" >> "$scratch/expected_paths"; dir=$(dirname "$dir"); done
    local actual="$work/$rel"
    if [ ! -f "$actual" ]; then
      problem "output $rel: missing"
      continue
    fi
    local is_gzip=0 g
    for g in "${gzipped[@]}"; do [ "$g" = "$rel" ] && is_gzip=1; done
    if [ $is_gzip = 1 ]; then
      if ! gzip -t "$actual" 2>/dev/null; then
        problem "output $rel: not gzip data"
        continue
      fi
      gzip -dc "$actual" > "$scratch/actual"
      actual=$scratch/actual
    fi
    if ! cmp -s "$case/out/$rel" "$actual"; then
      problem "output $rel differs (< expected, > actual):"$'\n'"$(show_diff "$case/out/$rel" "$actual")"
    fi
  done
  for g in "${gzipped[@]}"; do
    [ -f "$case/out/$g" ] || problem "gzip names $g, which out/ lacks"
  done

  # Inputs unchanged (unless an expected output replaces them), nothing else left.
  (cd "$work" && manifest) > "$scratch/after"
  sort -u -o "$scratch/expected_paths" "$scratch/expected_paths"
  local changed extra
  changed=$(comm -23 "$scratch/before" "$scratch/after" |
    cut -f1 | sort -u | comm -23 - "$scratch/expected_paths")
  [ -n "$changed" ] && problem "inputs changed or removed: $(echo $changed)"
  extra=$(comm -13 "$scratch/before" "$scratch/after" | cut -f1 | sort -u |
    comm -23 - "$scratch/expected_paths" | comm -23 - <(cut -f1 "$scratch/before" | sort -u))
  [ -n "$extra" ] && problem "files left behind: $(echo $extra)"
  [ -n "$(ls -A "$scratch/tmp")" ] && problem "files left in TMPDIR: $(ls -A "$scratch/tmp" | head -5)"

  if [ ${#problems[@]} -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL $name"
    printf '  %s\n' "${problems[@]}"
  fi
}

for path in "$@"; do
  path=$(cd "$path" && pwd) || exit 2
  while IFS= read -r args_file; do
    case_dir=$(dirname "$args_file")
    run_case "$case_dir" "$(basename "$(dirname "$case_dir")")/$(basename "$case_dir")"
  done < <(find "$path" -name args -type f | sort)
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
