# Merge (-M): expected files and messages written by hand from the merge rules.
. "$(dirname "$0")/lib.sh"

CR=$'\r'

# Variants of the same case: plain files; gzip files under ".gz" names; GEN
# files holding gzip data under plain names (read through zlib all the same).
# set_variant KIND sets GX/SX (name suffixes) and the writers GW/SW.
set_variant() {
  case $1 in
    plain) GX=""; SX=""; GW=write; SW=write ;;
    gzip) GX=".gz"; SX=".gz"; GW=write_gz; SW=write_gz ;;
    gzdata) GX=""; SX=""; GW=write_gz; SW=write ;;
  esac
}

# sample_text ROW...: a SAMPLE file of the three usual columns with these rows.
sample_text() { printf '%s\n' "ID_1 ID_2 missing" "0 0 0" "$@"; }
# people FILE WRITER ID...: a SAMPLE file with the row "ID ID 0" for each ID.
people() {
  local f=$1 w=$2 i; shift 2
  { sample_text; for i in "$@"; do echo "$i $i 0"; done; } | $w "$f"
}

# expect_both: the here-document is standard output; the log holds the same
# text without the line naming each GEN file as it is read, the running
# counter (numbers ending in a carriage return) and the "col: N" of conflicts.
expect_both() {
  cat > "$CASE_DIR/.out"
  expect_stdout < "$CASE_DIR/.out"
  sed -e '/^[^ ]*\.gen[^ ]*$/d' -e 's/^\([0-9]*\r\)*//' -e 's/ col: [0-9]*//' "$CASE_DIR/.out" | expect_log
}
# merge_run STATUS ARGS...: varnex ARGS exits with STATUS; standard output is
# the command echo, then the here-document (the log as in expect_both).
merge_run() {
  local status=$1; shift
  cat > "$CASE_DIR/.want"
  run "$@"
  expect_status "$status"
  { echo "varnex $*"; cat "$CASE_DIR/.want"; } | expect_both
}
# organised SAMPLE:COUNT... MERGED: the lines from "Organise Samples..." to
# the start of the list of positions, when no individual conflicts.
organised() {
  echo "Organise Samples..."
  while [ $# -gt 1 ]; do echo "Number of samples in ${1%:*}: ${1##*:}"; shift; done
  echo "Number of merged samples: $1"
  echo "Create ordered list of positions..."
}
# listed GEN:COUNT...: each GEN input named as its positions are listed (on
# standard output only), then its count of SNPs.
listed() {
  local g
  for g in "$@"; do echo "${g%:*}"; echo "Number of SNPs in ${g%:*}: ${g##*:}"; done
}
# merged ALLELES SNPS: the closing lines of a merge of fewer than 1000 SNPs
# without conflicting triples.
merged() {
  echo "Number of SNPs with mismatched alleles: $1"
  echo "Open all GEN files for reading..."
  echo "Merge..."
  echo "0${CR}Number of mismatched overlapping loci: 0"
  echo "Number of merged SNPs: $2"
}

# ---------------------------------------------------------------- samples
for kind in plain gzip; do
  set_variant $kind
  case_start "$kind: sample union, -10 marker, P and covariate of one name, (ID_1, ID_2) pairs"
  $SW s1.sample$SX <<'EOF'
ID_1 ID_2 missing age pheno
0 0 0 C P
a_b c 0.5 30 1
a b_c 0 31 -9
x y 0 40 2
EOF
  $SW s2.sample$SX <<'EOF'
ID_1	ID_2	missing	height	age
0	0	0	C	C
x	y	0.9	180	41
a b_c 0 170 -9 extra tokens
z z 0 160
EOF
  $SW s3.sample$SX <<'EOF'
ID_1 ID_2 missing pheno age
0 0 0 P P
x y 0 2 42
z z 0 -9 7

q q 0 1 1
EOF
  echo "s1 r1 1000 A C 1 0 0 0 1 0 0 0 1" | $GW g1.gen$GX
  echo "s1 r1 1000 A C 0 0 1 0 1 0 0.2 0.3 0.5" | $GW g2.gen$GX
  echo "s1 r1 1000 A C 0 0 0 0.2 0.3 0.5" | $GW g3.gen$GX
  merge_run 0 -M --g g1.gen$GX g2.gen$GX g3.gen$GX --s s1.sample$SX s2.sample$SX s3.sample$SX --og out.gen$GX --os out.sample$SX <<EOF
Organise Samples...
Number of samples in s1.sample$SX: 3
Mismatch overlap in samples:  40 41
Mismatch overlap in samples:  31 -9
Number of samples in s2.sample$SX: 3
Mismatch overlap in samples:  -10 42
Number of samples in s3.sample$SX: 2
Number of merged samples: 4
Create ordered list of positions...
$(listed g1.gen$GX:1 g2.gen$GX:1 g3.gen$GX:1)
$(merged 0 1)
EOF
  echo "s1 r1 1000 A C 1 0 0 0 1 0 0 0 1 0.2 0.3 0.5" | expect_file out.gen$GX
  expect_file out.sample$SX <<'EOF'
ID_1 ID_2 missing age height pheno age
0 0 0 C C P P
a_b c 0 -9 -9 1 30
a b_c 0 -9 170 -9 -9
x y 0 -9 180 2 -9
z z 0 -9 160 -9 7
EOF
  if [ $kind = gzip ]; then expect_gzip out.gen.gz; expect_gzip out.sample.gz; else expect_plain out.gen; expect_plain out.sample; fi
  case_end
done

# --------------------------------------------------------- allele verdicts
for kind in plain gzip gzdata; do
  set_variant $kind
  case_start "$kind: SNP names and every allele verdict"
  people s1.sample$SX $SW i1 i2
  people s2.sample$SX $SW i3 i4
  $GW g1.gen$GX <<'EOF'
id1 rs1 100 A G 1 0 0 0 1 0
id2 rs2 200 A G 1 0 0 0 1 0
id3 rs3 300 A G 1 0 0 0 1 0
id4 rs4 400 A T 1 0 0 0 1 0
id5 rs5 500 A G 1 0 0 0 1 0
id6 rs6 600 A G 1 0 0 0 1 0
id7 rs7 700 A G 1 0 0 0 1 0
id8 rs8 800 A G 1 0 0 0 1 0
id9 rs9 900 A G 1 0 0 0 1 0
EOF
  $GW g2.gen$GX <<'EOF'
id1 rs1 100 A G 0.1 0.2 0.7 0 0 1
id2 rs2 200 G A 0.1 0.2 0.7 0 0 1
id3 rs3 300 T C 0.1 0.2 0.7 0 0 1
id4 rs4 400 T A 0.1 0.2 0.7 0 0 1
id5 rs5 500 C T 0.1 0.2 0.7 0 0 1
id6 rs6 600 A C 0.1 0.2 0.7 0 0 1
xx rs7x 700 A G 0.1 0.2 0.7 0 0 1
rs8 id8 800 A G 0.1 0.2 0.7 0 0 1
id9 rs9 900 a g 0.1 0.2 0.7 0 0 1
EOF
  merge_run 0 -M --g g1.gen$GX g2.gen$GX --s s1.sample$SX s2.sample$SX <<EOF
$(organised s1.sample$SX:2 s2.sample$SX:2 4)
$(listed g1.gen$GX:9)
g2.gen$GX
Mismatched alleles: 200 G A A G reverse
Mismatched alleles: 300 T C A G complement
Mismatched alleles: 400 T A A T reverse
Mismatched alleles: 500 C T A G reverse_complement
Mismatched alleles: 600 A C A G different alleles
Mismatched overlap SNP snp_id: xx id7
Mismatched overlap SNP rs_id: rs7x rs7
Mismatched alleles: 900 a g A G different alleles
Number of SNPs in g2.gen$GX: 9
$(merged 6 7)
EOF
  expect_file g1_g2.gen$GX <<'EOF'
id1 rs1 100 A G 1 0 0 0 1 0 0.1 0.2 0.7 0 0 1
id2 rs2 200 A G 1 0 0 0 1 0 0.7 0.2 0.1 1 0 0
id3 rs3 300 A G 1 0 0 0 1 0 0.1 0.2 0.7 0 0 1
id4 rs4 400 A T 1 0 0 0 1 0 0.7 0.2 0.1 1 0 0
id5 rs5 500 A G 1 0 0 0 1 0 0.7 0.2 0.1 1 0 0
-9 -9 700 A G 1 0 0 0 1 0 0.1 0.2 0.7 0 0 1
id8 rs8 800 A G 1 0 0 0 1 0 0.1 0.2 0.7 0 0 1
EOF
  sample_text "i1 i1 0" "i2 i2 0" "i3 i3 0" "i4 i4 0" | expect_file s1_s2.sample$GX
  case_end
done

# ------------------------------------------------------------- thresholds
threshold_inputs() {
  set_variant $1
  people s1.sample$SX $SW p1 p2
  people s2.sample$SX $SW p1 p2
  people s3.sample$SX $SW p1
  $GW g1.gen$GX <<'EOF'
a1 r1 10 A G 0 0.95 0.05 1 0 0
a2 r2 20 A G 0.2 0.3 0.5 0 1 0
a3 r3 30 A G 0 0 0 0.3 0.3 0.4
a4 r4 40 A G 1 0 0 0 1 0
a5 r5 50 A G 1.000 0 0 0.3333333333 0.00001 0.6666566667
EOF
  $GW g2.gen$GX <<'EOF'
a1 r1 10 A G 0 0.92 0.08 1 0 0
a2 r2 20 A G 0.2 0.3 0.5 0 1 0
a3 r3 30 A G 0.1 0.8 0.1 0 0 0
a4 r4 40 A G 0 0 1 0 1 0
EOF
  $GW g3.gen$GX <<'EOF'
a4 r4 40 A G 1 0 0
a7 r7 70 A G 0.5 0.5 0
EOF
}

for kind in plain gzip; do
  case_start "$kind: no threshold: every difference conflicts, a third input again"
  threshold_inputs $kind
  merge_run 0 -M --g g1.gen$GX g2.gen$GX g3.gen$GX --s s1.sample$SX s2.sample$SX s3.sample$SX <<EOF
$(organised s1.sample$SX:2 s2.sample$SX:2 s3.sample$SX:1 2)
$(listed g1.gen$GX:5 g2.gen$GX:4 g3.gen$GX:2)
Number of SNPs with mismatched alleles: 0
Open all GEN files for reading...
Merge...
Mismatched overlap locus. rs_id: r1 pos: 10 subject: p1_p1 file: 1 col: 0 probs: 0 0.92 0.08 probs: 0 0.95 0.05
0${CR}Mismatched overlap locus. rs_id: r4 pos: 40 subject: p1_p1 file: 1 col: 0 probs: 0 0 1 probs: 1 0 0
Mismatched overlap locus. rs_id: r4 pos: 40 subject: p1_p1 file: 2 col: 0 probs: 1 0 0 probs: -9 -9 -9
Number of mismatched overlapping loci: 3
Number of merged SNPs: 6
EOF
  expect_file g1_g2_g3.gen$GX <<'EOF'
a1 r1 10 A G 0 0 0 1 0 0
a2 r2 20 A G 0.2 0.3 0.5 0 1 0
a3 r3 30 A G 0.1 0.8 0.1 0.3 0.3 0.4
a4 r4 40 A G 0 0 0 0 1 0
a5 r5 50 A G 1 0 0 0.333333 1e-05 0.666657
a7 r7 70 A G 0.5 0.5 0 0 0 0
EOF
  sample_text "p1 p1 2" "p2 p2 1" | expect_file s1_s2_s3.sample$GX
  case_end
done

case_start "thresholds 0.9 (two calls of one genotype become the hard call) and 0"
threshold_inputs plain
run -M --g g1.gen g2.gen g3.gen --s s1.sample s2.sample s3.sample --threshold 0.9 --og o.gen --os o.sample
expect_status 0
expect_log <<EOF
varnex -M --g g1.gen g2.gen g3.gen --s s1.sample s2.sample s3.sample --threshold 0.9 --og o.gen --os o.sample
$(organised s1.sample:2 s2.sample:2 s3.sample:1 2)
Number of SNPs in g1.gen: 5
Number of SNPs in g2.gen: 4
Number of SNPs in g3.gen: 2
Number of SNPs with mismatched alleles: 0
Open all GEN files for reading...
Merge...
Mismatched overlap locus. rs_id: r4 pos: 40 subject: p1_p1 file: 1 probs: 0 0 1 probs: 1 0 0
Mismatched overlap locus. rs_id: r4 pos: 40 subject: p1_p1 file: 2 probs: 1 0 0 probs: -9 -9 -9
Number of mismatched overlapping loci: 2
Number of merged SNPs: 6
EOF
expect_file o.gen <<'EOF'
a1 r1 10 A G 0 1 0 1 0 0
a2 r2 20 A G 0.2 0.3 0.5 0 1 0
a3 r3 30 A G 0.1 0.8 0.1 0.3 0.3 0.4
a4 r4 40 A G 0 0 0 0 1 0
a5 r5 50 A G 1 0 0 0.333333 1e-05 0.666657
a7 r7 70 A G 0.5 0.5 0 0 0 0
EOF
sample_text "p1 p1 1" "p2 p2 1" | expect_file o.sample
# Threshold 0: even a first value becomes the call of genotype 1.
run -M --g g1.gen g2.gen g3.gen --s s1.sample s2.sample s3.sample --threshold 0 --og o.gen --os o.sample
expect_status 0
expect_file o.gen <<'EOF'
a1 r1 10 A G 1 0 0 1 0 0
a2 r2 20 A G 1 0 0 1 0 0
a3 r3 30 A G 1 0 0 1 0 0
a4 r4 40 A G 1 0 0 1 0 0
a5 r5 50 A G 1 0 0 1 0 0
a7 r7 70 A G 1 0 0 0 0 0
EOF
sample_text "p1 p1 0" "p2 p2 1" | expect_file o.sample
grep -q "Number of mismatched overlapping loci: 0" varnex.log || fail "conflicts reported"
case_end

# ------------------------------------- unsorted input, repeated positions
for kind in plain gzip gzdata; do
  set_variant $kind
  case_start "$kind: unsorted inputs, repeated positions, blank lines, 0200"
  people s1.sample$SX $SW q1 q1b
  people s2.sample$SX $SW q2 q2b
  # The first file steps back at once; white-space lines are skipped anywhere.
  printf 's3 r3 300 A G 0 0 1 0 0 1\ns1 r1 100 A G 1 0 0 1 0 0\n   \t\ns2 r2 0200 A G 0 1 0 0 1 0\ns1b r1 100 A G 0.5 0.5 0 0.5 0.5 0\n\n\n' | $GW g1.gen$GX
  # The repeated 200 is read with its own alleles (not flipped like the first).
  $GW g2.gen$GX <<'EOF'
s2 r2 200 G A 0.2 0.3 0.5 0 0 1
s2 r2 200 A G 0.1 0.1 0.8 0 0 1
s4 r4 50 A G 1 0 0 1 0 0
EOF
  merge_run 0 -M --g g1.gen$GX g2.gen$GX --s s1.sample$SX s2.sample$SX <<EOF
$(organised s1.sample$SX:2 s2.sample$SX:2 4)
g1.gen$GX
Mismatched overlap SNP snp_id: s1b s1
Number of SNPs in g1.gen$GX: 4
Number of repeated positions in g1.gen$GX: 1
g2.gen$GX
Mismatched alleles: 200 G A A G reverse
Number of SNPs in g2.gen$GX: 3
Number of repeated positions in g2.gen$GX: 1
$(merged 1 4)
EOF
  expect_file g1_g2.gen$GX <<'EOF'
s4 r4 50 A G 0 0 0 0 0 0 1 0 0 1 0 0
-9 r1 100 A G 0.5 0.5 0 0.5 0.5 0 0 0 0 0 0 0
s2 r2 200 A G 0 1 0 0 1 0 0.1 0.1 0.8 0 0 1
s3 r3 300 A G 0 0 1 0 0 1 0 0 0 0 0 0
EOF
  sample_text "q1 q1 1" "q1b q1b 1" "q2 q2 2" "q2b q2b 2" | expect_file s1_s2.sample$GX
  case_end
done

# -------------------------------------------------- lines of any length
for kind in plain gzip; do
  set_variant $kind
  case_start "$kind: GEN lines of 3,000,000 characters are whole lines"
  people s1.sample$SX $SW l1 l2
  people s2.sample$SX $SW l1 l2
  # Each probability 0.1 written with 499,998 trailing zeros.
  long=$(head -c 499998 /dev/zero | tr '\0' 0)
  { printf 'L1 rl1 5 A G'
    for i in 1 2 3 4 5 6; do printf ' 0.1%s' "$long"; done
    printf '\nL2 rl2 6 A G 1 0 0 0 1 0\n'; } | $GW g1.gen$GX
  printf 'L2 rl2 6 A G 1 0 0 0 1 0\nL1 rl1 5 A G 0.1 0.1 0.1 0 0 0\n' | $GW g2.gen$GX
  run -M --g g1.gen$GX g2.gen$GX --s s1.sample$SX s2.sample$SX
  expect_status 0
  printf 'L1 rl1 5 A G 0.1 0.1 0.1 0.1 0.1 0.1\nL2 rl2 6 A G 1 0 0 0 1 0\n' | expect_file g1_g2.gen$GX
  grep -q "Number of SNPs in g1.gen$GX: 2" varnex.log || fail "long line counted wrong"
  grep -q "Number of mismatched overlapping loci: 0" varnex.log || fail "conflicts reported"
  case_end
done

# ------------------------------------------------------- running counter
case_start "the running counter: every 1000 written SNPs, standard output only"
sample_text "c1 c1 0" > c.sample
awk 'BEGIN { for (p = 2500; p >= 1; p--) if (p != 7) printf "s%d r%d %d A G 0 1 0\n", p, p, p }' > c.gen
awk 'BEGIN { for (p = 1; p <= 2500; p++) if (p != 7) printf "s%d r%d %d A G 0 1 0\n", p, p, p }' > expected.gen
merge_run 0 -M --g c.gen --s c.sample --og m.gen --os m.sample <<EOF
$(organised c.sample:1 1)
$(listed c.gen:2499)
Number of SNPs with mismatched alleles: 0
Open all GEN files for reading...
Merge...
0${CR}1000${CR}2000${CR}Number of mismatched overlapping loci: 0
Number of merged SNPs: 2499
EOF
expect_file m.gen < expected.gen
sample_text "c1 c1 0" | expect_file m.sample
case_end

# ------------------------------------------------------------ refusals
small_pair() { # small_pair GEN SAMPLE ID
  sample_text "$3 $3 0" > "$2"
  printf 'x1 r1 10 A G 1 0 0\n' > "$1"
}

# A missing input, or a damaged GEN line after a blank one: refused before
# any output is created.
for bad in gen sample "x2 r2 20 A" "x2 r2 20x A G 1 0 0" "x2 r2 2147483648 A G 1 0 0"; do
  case_start "refused before any output: $bad"
  small_pair a.gen a.sample u1
  small_pair b.gen b.sample u2
  if [ "$bad" = gen ] || [ "$bad" = sample ]; then
    rm b.$bad
    merge_run 1 -M --g a.gen b.gen --s a.sample b.sample <<<"Can't open b.$bad"
  else
    printf 'x1 r1 10 A G 1 0 0\n\n%s\nx3 r3 30 A G 1 0 0\n' "$bad" > b.gen
    merge_run 1 -M --g a.gen b.gen --s a.sample b.sample <<EOF
$(organised a.sample:1 b.sample:1 2)
$(listed a.gen:1)
b.gen
Damaged line 3 in GEN file b.gen: it needs snp_id, rs_id, a position (32-bit integer), allele A and allele B
EOF
  fi
  expect_absent a_b.gen
  expect_absent a_b.sample
  case_end
done

case_start "outputs that name an input, the log or each other are refused"
small_pair x.gen x.sample u1
cp x.gen keep.gen; cp x.sample keep.sample
expect_refused_early -M --g x.gen --s x.sample <<<"Output file x.gen is the same file as input x.gen"
expect_refused_early -M --g x.gen --s x.sample --og ./x.sample --os new.sample <<<"Output file ./x.sample is the same file as input x.sample"
expect_refused_early -M --g x.gen --s x.sample --og same.gen --os same.gen <<<"Output file same.gen is the same file as same.gen"
# Refused before the log is opened: no command echo.
run -M --g x.gen --s x.sample --og varnex.log --os new.sample
expect_status 1
echo "Log file varnex.log is the same file as varnex.log" | expect_stdout
cmp -s x.gen keep.gen || fail "x.gen changed"
cmp -s x.sample keep.sample || fail "x.sample changed"
expect_absent same.gen
expect_absent new.sample
case_end

# ------------------------------------------------------- default names
case_start "default output names next to the first GEN input"
mkdir -p data other x run.old
writer_for() { case $1 in *.gz*) write_gz "$1" ;; *) write "$1" ;; esac; }
check_names() { # check_names GEN1 GEN2 SAMPLE1 SAMPLE2 OUT_GEN OUT_SAMPLE
  printf 'x1 r1 10 A G 1 0 0\n' | writer_for "$1"
  printf 'x1 r1 10 A G 0 0 1\n' | writer_for "$2"
  sample_text "u1 u1 0" | writer_for "$3"
  sample_text "u2 u2 0" | writer_for "$4"
  run -M --g "$1" "$2" --s "$3" "$4"
  expect_status 0
  echo "x1 r1 10 A G 1 0 0 0 0 1" | expect_file "$5"
  sample_text "u1 u1 0" "u2 u2 0" | expect_file "$6"
  case $5 in *.gz) expect_gzip "$5"; expect_gzip "$6" ;; *) expect_plain "$5"; expect_plain "$6" ;; esac
}
check_names data/chr1.gen.gz data/chr2.gen.gz data/chr1.sample data/chr2.sample data/chr1_chr2.gen.gz data/chr1_chr2.sample.gz
check_names a.gen other/b.gen a.sample other/b.sample a_b.gen a_b.sample
check_names x/one.gen y.gen.gz one.sample y.sample.gz x/one_y.gen.gz x/one_y.sample.gz
check_names chr1.gz chr2.gz s1.sample s2.sample chr1.gz_chr2.gz.gen.gz s1_s2.sample.gz
check_names run.old/file run.old/more run.old/s1 run.old/s2 run.old/file_more.gen run.old/s1_s2.sample
check_names a.gen.gz b.gen.gz first.sample second.sample a_b.gen.gz first_second.sample.gz
case_end

# ----------------------------------------------------------- real files
# test2.gen (unsorted: its chromosome 1 SNP comes last) against test10.gen:
# five positions with alleles that cannot be matched (D/P, T/W, A/H, AA/A,
# CC/C) are dropped; shared positions hold identical triples.
d="$REALDATA/genotypeio_tests"
for X in "" .gz; do
  case_start "real files test2.gen$X and test10.gen$X"
  for t in 2 10; do if [ -z "$X" ]; then cp "$d/test$t.gen" t$t.gen; else gzip -c "$d/test$t.gen" > t$t.gen.gz; fi; done
  merge_run 0 -M --g t2.gen$X t10.gen$X --s "$d/test2.sample" "$d/test3.sample" --og m.gen$X --os m.sample <<EOF
$(organised "$d/test2.sample:9" "$d/test3.sample:9" 9)
$(listed t2.gen$X:11)
t10.gen$X
Mismatched alleles: 14431347 D P C G different alleles
Mismatched alleles: 14432618 T W A G different alleles
Mismatched alleles: 14433624 A H A G different alleles
Mismatched alleles: 14433659 AA A A C different alleles
Mismatched alleles: 14434713 CC C C C different alleles
Number of SNPs in t10.gen$X: 8
$(merged 5 6)
EOF
  expect_file m.gen$X <<'EOF'
1 rs1 1 A T 0.5 0.25 0.25 0.25 0.5 0.25 0.25 0.25 0.5 0.1 0.1 0.1 0.3 0.3 0.3 0.4 0.3 0.3 0.2 0.3 0.5 0 0.1 1 0.01 0.001 0.989
22 rs7510853 14432918 C C 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 0 0 0
22 rs10154488 14433591 C C 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0
22 rs915677 14433758 A G 0 0 1 0 1 0 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1
22 rs2844884 14434719 C T 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 0 1 0
23 rs12159982 14434960 C C 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0
EOF
  expect_file m.sample <<'EOF'
ID_1 ID_2 missing sex phenotype
0 0 0 D P
F1042 1042 0 1 0
F1043 1043 0 1 1
F1044 1044 0 1 2
F1045 1045 0 1 -9
F1046 1046 0 1 -9
F1047 1047 0 1 -9
F1048 1048 0 1 -9
F1049 1049 0 1 -9
F1050 1050 1 1 -9
EOF
  case_end
done

finish
