#!/usr/bin/env bash
# The Snakemake workflow on a generated study of 3 chromosomes:
#   1. a local run (--cores 2) of subset, orient, GEN to PED and merge, each
#      output compared with a single varnex run over the whole input, and the
#      summaries checked;
#   2. a dry run with the SLURM profile that must plan the expected jobs;
#   3. a damaged part input: the workflow stops with varnex's message and no
#      gathered output;
#   4. the plan of ranges and the gather step alone, on edge positions and
#      BGZF parts.
# Run by CTest as: bash workflow.sh <varnex binary> <source root>
set -u
VARNEX=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
ROOT=$(cd "$2" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
# Debian's snakemake runs on Debian's python3, whatever python3 comes first on PATH.
SNAKEMAKE=/usr/bin/snakemake
[ -x "$SNAKEMAKE" ] || SNAKEMAKE=$(command -v snakemake) || { echo "snakemake not installed: skipped"; exit 77; }
PY=$(sed -n '1s/^#! *//p' "$SNAKEMAKE")
[ -x "${PY%% *}" ] || PY=python3
SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/varnex-workflow.XXXXXX")
trap 'rm -rf "$SCRATCH"' EXIT
passed=0
failed=0
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
ok() { passed=$((passed + 1)); }
# smk [TARGET...] OPTIONS...: the last --config names the binary under test.
smk() { "$SNAKEMAKE" "$@" -s "$ROOT/workflow/Snakefile" --configfile config.yaml --config "varnex=$VARNEX"; }
same() {  # same TEXT_A TEXT_B what: compare two files after decompression
  if cmp -s <(zcat -f "$1") <(zcat -f "$2"); then ok; else fail "$3 differs from the single run"; diff <(zcat -f "$1") <(zcat -f "$2") | head -5; fi
}

cd "$SCRATCH" || exit 2
mkdir -p data/other
# Chromosome 1 gzip, 2 plain with positions -5, 0 and 1 and repeats, 3 gzip
# with a position that is not a number; a second study for the merge.
"$PY" - <<'EOF'
import gzip, random
r = random.Random(16)
triples = ["1 0 0", "0 1 0", "0 0 1", "0.5 0.25 0.25", "0 0 0", "0.93 0.07 0", "0.02 0.9 0.08"]
def write(name, text):
    data = text.encode()
    if name.endswith(".gz"):
        with open(name, "wb") as f:
            f.write(gzip.compress(data, mtime=0))
    else:
        open(name, "wb").write(data)
def study(prefix, ids, chrom, name, positions):
    lines = []
    for p in positions:
        a, b = r.sample("ACGT", 2)
        lines.append(f"{chrom} rs{chrom}_{p} {p} {a} {b} " + " ".join(r.choice(triples) for _ in ids))
    write(name, "\n".join(lines) + "\n")
    write(name.replace(".gen.gz", ".sample").replace(".gen", ".sample"),
          "ID_1 ID_2 missing sex pheno\n0 0 0 D P\n" +
          "".join(f"f{i} {prefix}{i} 0 {1 + i % 2} {r.choice('01')}\n" for i in ids))
    return lines
for chrom, name in (("1", "data/chr1.gen.gz"), ("2", "data/chr2.gen"), ("3", "data/chr3.gen.gz")):
    positions = sorted(r.sample(range(1000, 90000), 40) * 1 + [5000, 5000, 20000])
    if chrom == "2":
        positions = [-5, 0, 1] + positions
    lines = study("s", range(1, 7), chrom, name, positions)
    if chrom == "3":
        lines.insert(20, "3 rs3_x abc A G " + " ".join(["1 0 0"] * 6))
        write(name, "\n".join(lines) + "\n")
    strand = [f"{p} {r.choice('+-')}" for p in positions if r.random() < 0.9] + ["77 x"]
    write(f"data/chr{chrom}.strand", "\n".join(strand) + "\n")
    study("t", range(4, 10), chrom, f"data/other/chr{chrom}.gen.gz",
          sorted(r.sample(positions, 25) + r.sample(range(1000, 90000), 10)))
write("data/keep.txt", "s2 s3\ns5\n")
write("data/drop.txt", "rs1_5000\nrs2_1\n")
EOF
cat > config.yaml <<'EOF'
varnex: varnex
datasets:
  kept:
    job: subset
    files:
      1: {gen: data/chr1.gen.gz, sample: data/chr1.sample}
      2: {gen: data/chr2.gen, sample: data/chr2.sample}
      3: {gen: data/chr3.gen.gz, sample: data/chr3.sample}
    options: {sample_id: data/keep.txt}
    parts: 3
    output: out/kept
  ranged:
    job: subset
    chromosomes: [1, 2]
    gen: data/chr{chrom}.gen.gz
    options: {start: 2000, end: 80000, exclusion: data/drop.txt, missing: 0.5, threshold: 0.9}
    part_size_mb: 0.0001
    max_parts: 2
    output: out/ranged
  oriented:
    job: orient
    files:
      1: {gen: data/chr1.gen.gz}
      2: {gen: data/chr2.gen}
      3: {gen: data/chr3.gen.gz}
    strand: data/chr{chrom}.strand
    options: {order: true}
    parts: 3
    threads: 2
    output: out/oriented
  called:
    job: gen_to_ped
    chromosomes: [1, 2]
    gen: data/chr{chrom}.gen.gz
    sample: data/chr{chrom}.sample
    options: {threshold: 0.9, sex: sex, alleles: true}
    output: out/called
  merged:
    job: merge
    chromosomes: [1, 2]
    studies:
      - {gen: "data/chr{chrom}.gen.gz", sample: "data/chr{chrom}.sample"}
      - {gen: "data/other/chr{chrom}.gen.gz", sample: "data/other/chr{chrom}.sample"}
    options: {threshold: 0.9}
    gzip: true
    output: out/merged
EOF
# chr2 of "ranged" is plain; give it a gzip copy so the pattern holds.
gzip -c data/chr2.gen > data/chr2.gen.gz

# ---- 1. local run ----
if smk --cores 2 > run.txt 2>&1; then ok; else fail "local run failed"; tail -30 run.txt; fi
mkdir single && cd single || exit 2
v() { "$VARNEX" "$@" > /dev/null; }
for c in 1 2 3; do
  gz=.gz; [ $c = 2 ] && gz=
  v -S --g ../data/chr$c.gen$gz --s ../data/chr$c.sample --sample_id ../data/keep.txt --og kept$c.gen$gz --os kept$c.sample$gz
  same ../out/kept/$c.gen$gz kept$c.gen$gz "kept $c.gen"
  same ../out/kept/$c.sample$gz kept$c.sample$gz "kept $c.sample"
  v -O --g ../data/chr$c.gen$gz --strand ../data/chr$c.strand --order --og oriented$c.gen$gz
  same ../out/oriented/$c.gen$gz oriented$c.gen$gz "oriented $c.gen"
done
# GEN to PED and merge stop at chromosome 3's unreadable position.
for c in 1 2; do
  v -M --g ../data/chr$c.gen.gz ../data/other/chr$c.gen.gz --s ../data/chr$c.sample ../data/other/chr$c.sample \
    --threshold 0.9 --og merged$c.gen.gz --os merged$c.sample.gz
  same ../out/merged/$c.gen.gz merged$c.gen.gz "merged $c.gen"
  same ../out/merged/$c.sample.gz merged$c.sample.gz "merged $c.sample"
  v -S --g ../data/chr$c.gen.gz --start 2000 --end 80000 --exclusion ../data/drop.txt --missing 0.5 --threshold 0.9 --og ranged$c.gen.gz
  same ../out/ranged/$c.gen.gz ranged$c.gen.gz "ranged $c.gen"
  v -G --g ../data/chr$c.gen.gz --s ../data/chr$c.sample --threshold 0.9 --sex sex --alleles --ped called$c.ped.gz --map called$c.map.gz
  same ../out/called/$c.ped.gz called$c.ped.gz "called $c.ped"
  same ../out/called/$c.map.gz called$c.map.gz "called $c.map"
done
cd .. || exit 2
# Gathered gzip files are whole gzip streams; chromosome 3's unreadable
# position kept the subset in one part, and the parts are gone.
for f in out/kept/1.gen.gz out/oriented/3.gen.gz; do gzip -t "$f" && ok || fail "$f is not valid gzip"; done
grep -q '"note": "1 positions are not 32-bit integers: one part"' out/kept/logs/3.gen.gz.plan.json && ok || fail "chromosome 3 not kept in one part"
[ -z "$(find out -path '*/parts/*' -type f)" ] && ok || fail "part files left behind: $(find out -path '*/parts/*' -type f | head -3)"

# The summaries, against expected/<dataset>.tsv.
for d in kept ranged oriented called merged; do
  diff "$HERE/expected/$d.tsv" "out/$d/summary.tsv" && ok || fail "summary of $d"
  [ "$(head -c 8 "out/$d/summary.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] && ok || fail "summary.png of $d is no PNG"
done

# ---- 2. dry run on SLURM: every job planned, --threads from the rule's threads ----
mkdir dry && cd dry || exit 2
cp -r ../data ../config.yaml .
# A dry run caps threads at --cores (1 by default); a SLURM run does not.
smk -n -p --cores 4 --profile "$ROOT/workflow/profiles/slurm" > plan.txt 2>&1 || fail "dry run failed: $(tail -5 plan.txt)"
awk '/^Job stats:/ {n++} n == 1 && $2 ~ /^[0-9]+$/ {print $1, $2} n == 1 && $1 == "total" {exit}' plan.txt > jobs.txt
# kept: 3 chromosomes in 3 parts; ranged: 2 in 2 (by size); oriented: 3 in 3.
diff "$HERE/expected/jobs.txt" jobs.txt && ok || fail "the dry run planned other jobs"
grep -q -- '-O --g .*--threads 2' plan.txt && ok || fail "no --threads in the planned varnex commands"
cd .. || exit 2

# ---- 3. a damaged part input stops the workflow, with varnex's message ----
mkdir broken && cd broken || exit 2
cp -r ../data . && cp ../config.yaml .
smk out/oriented/logs/1.gen.gz.plan.json --cores 1 > split.txt 2>&1 || fail "split failed: $(tail -5 split.txt)"
printf 'not gzip data\n' > out/oriented/parts/1/inputs.gz/part1.gen.gz
if smk out/oriented/1.gen.gz --cores 2 > run.txt 2>&1; then fail "a damaged part did not stop the workflow"; else ok; fi
grep -q "^Can't read out/oriented/parts/1/inputs.gz/part1.gen.gz" run.txt && ok || fail "varnex's message not shown: $(tail -20 run.txt)"
[ ! -e out/oriented/1.gen.gz ] && ok || fail "a gathered output from incomplete parts"
cd .. || exit 2

# ---- 4. the ranges alone: each SNP in one part, the parts in file order ----
# Unsorted stretches, repeated positions, the bounds -1, 0, 1 and 2, and
# positions at both ends of the 32-bit range; every plan's parts, run as
# `-S --start a --end b` and joined, must equal the single run.
mkdir ranges && cd ranges || exit 2
H="$ROOT/workflow/scripts/varnex_workflow.py"
"$PY" - <<'EOF'
shapes = {
    "sorted": [-2147483648, -7, -1, 0, 1, 2, 2, 3, 10, 10, 11, 2147483647],
    "unsorted": [10, 30, 20, 40, 40, 35, 50, 60, 5, 70, 80, 90],
    "few": [7, 7, 7],
    "crossed": [10, 40, 15, 20, 50, 45, 60, 70, 65, 80, 90, 85],
}
for name, positions in shapes.items():
    with open(f"{name}.gen", "w") as f:
        f.write("".join(f"1 r{i} {p} A G {i % 2} 0 {1 - i % 2}\n" for i, p in enumerate(positions)))
EOF
: > none.txt  # an exclusion that excludes nothing: a subset needs some option
for shape in sorted unsorted few crossed; do
  for range in "" "--start 2" "--start -1 --end 40" "--end 10"; do
    "$PY" "$H" plan $shape.gen plan.json --parts 4 $range > /dev/null || fail "plan $shape $range"
    "$VARNEX" -S --g $shape.gen $range --exclusion none.txt --og whole.gen > /dev/null
    : > joined.gen
    for i in 0 1 2 3; do
      r=$("$PY" "$H" range plan.json $i)
      [ "$r" = skip ] && continue
      "$VARNEX" -S --g $shape.gen $r --exclusion none.txt --og part.gen > /dev/null && cat part.gen >> joined.gen
    done
    cmp -s whole.gen joined.gen && ok || fail "ranges of $shape.gen ($range) differ from the whole: $(tr -d ' \n' < plan.json)"
  done
done
# BGZF parts: only the last end-of-file block stays.
"$PY" - <<'EOF'
import gzip, json, struct, zlib
def bgzf(data):
    c = zlib.compressobj(6, zlib.DEFLATED, -15)
    body = c.compress(data) + c.flush()
    head = b"\x1f\x8b\x08\x04\0\0\0\0\0\xff\x06\0BC\x02\0" + struct.pack("<H", len(body) + 25)
    return head + body + struct.pack("<II", zlib.crc32(data), len(data))
eof = bgzf(b"")
for i, text in enumerate([b"a 1\n", b"", b"b 2\nc 3\n"]):
    open(f"p{i}.gen.gz", "wb").write((bgzf(text) if text else b"") + eof)
    n = text.count(b"\n")
    open(f"p{i}.out", "w").write(f"Input SNPs: {n} Output SNPs: {n}\n")
json.dump({"job": "orient", "lines": 3, "parts": [{"run": True, "snps": n} for n in (1, 0, 2)]},
          open("bgzf.json", "w"))
EOF
"$PY" "$H" gather --plan bgzf.json --logs p0.out p1.out p2.out --parts p0.gen.gz p1.gen.gz p2.gen.gz \
  --out all.gen.gz --counts all.json --bgzf || fail "gather of BGZF parts"
[ "$(zcat all.gen.gz)" = "$(printf 'a 1\nb 2\nc 3')" ] && ok || fail "BGZF parts joined wrongly"
[ "$(tail -c 28 all.gen.gz | od -An -tx1 | tr -d ' \n')" = 1f8b08040000000000ff0600424302001b0003000000000000000000 ] \
  && [ "$(grep -c 'BC' all.gen.gz)" -ge 1 ] && [ "$(stat -c %s all.gen.gz)" = $(( $(stat -c %s p0.gen.gz) + $(stat -c %s p2.gen.gz) - 28 )) ] \
  && ok || fail "the joined BGZF file does not end in exactly one end-of-file block"
printf 'Input SNPs: 1 Output SNPs: 1\n' > p2.out
"$PY" "$H" gather --plan bgzf.json --logs p0.out p1.out p2.out --parts p0.gen.gz p1.gen.gz p2.gen.gz \
  --out short.gen.gz --counts short.json > msg.txt
[ $? = 1 ] && [ ! -e short.gen.gz ] && grep -q "^p2.out: 1 input SNPs, expected 2" msg.txt && ok || fail "a part that read too few SNPs was gathered: $(cat msg.txt)"
cd .. || exit 2

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
