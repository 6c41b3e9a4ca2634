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
  $GW g1.gen$GX <<'EOF'
s1 r1 1000 A C 1 0 0 0 1 0 0 0 1
EOF
  $GW g2.gen$GX <<'EOF'
s1 r1 1000 A C 0 0 1 0 1 0 0.2 0.3 0.5
EOF
  $GW g3.gen$GX <<'EOF'
s1 r1 1000 A C 0 0 0 0.2 0.3 0.5 1 1 1
EOF
  run -M --g g1.gen$GX g2.gen$GX g3.gen$GX --s s1.sample$SX s2.sample$SX s3.sample$SX --og out.gen$GX --os out.sample$SX
  expect_status 0
  expect_stdout <<EOF
varnex -M --g g1.gen$GX g2.gen$GX g3.gen$GX --s s1.sample$SX s2.sample$SX s3.sample$SX --og out.gen$GX --os out.sample$SX
Organise Samples...
Number of samples in s1.sample$SX: 3
Mismatch overlap in samples:  40 41
Mismatch overlap in samples:  31 -9
Number of samples in s2.sample$SX: 3
Mismatch overlap in samples:  -10 42
Number of samples in s3.sample$SX: 2
Number of merged samples: 4
Create ordered list of positions...
g1.gen$GX
Number of SNPs in g1.gen$GX: 1
g2.gen$GX
Number of SNPs in g2.gen$GX: 1
g3.gen$GX
Number of SNPs in g3.gen$GX: 1
Number of SNPs with mismatched alleles: 0
Open all GEN files for reading...
Merge...
0${CR}Number of mismatched overlapping loci: 0
Number of merged SNPs: 1
EOF
  expect_log <<EOF
varnex -M --g g1.gen$GX g2.gen$GX g3.gen$GX --s s1.sample$SX s2.sample$SX s3.sample$SX --og out.gen$GX --os out.sample$SX
Organise Samples...
Number of samples in s1.sample$SX: 3
Mismatch overlap in samples:  40 41
Mismatch overlap in samples:  31 -9
Number of samples in s2.sample$SX: 3
Mismatch overlap in samples:  -10 42
Number of samples in s3.sample$SX: 2
Number of merged samples: 4
Create ordered list of positions...
Number of SNPs in g1.gen$GX: 1
Number of SNPs in g2.gen$GX: 1
Number of SNPs in g3.gen$GX: 1
Number of SNPs with mismatched alleles: 0
Open all GEN files for reading...
Merge...
Number of mismatched overlapping loci: 0
Number of merged SNPs: 1
EOF
  expect_file out.gen$GX <<'EOF'
s1 r1 1000 A C 1 0 0 0 1 0 0 0 1 0.2 0.3 0.5
EOF
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
two_people() { # two_people FILE WRITER ID_A ID_B
  $2 "$1" <<EOF
ID_1 ID_2 missing
0 0 0
$3 $3 0
$4 $4 0
EOF
}

for kind in plain gzip gzdata; do
  set_variant $kind
  case_start "$kind: SNP names and every allele verdict"
  two_people s1.sample$SX $SW i1 i2
  two_people s2.sample$SX $SW i3 i4
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
  run -M --g g1.gen$GX g2.gen$GX --s s1.sample$SX s2.sample$SX
  expect_status 0
  expect_stdout <<EOF
varnex -M --g g1.gen$GX g2.gen$GX --s s1.sample$SX s2.sample$SX
Organise Samples...
Number of samples in s1.sample$SX: 2
Number of samples in s2.sample$SX: 2
Number of merged samples: 4
Create ordered list of positions...
g1.gen$GX
Number of SNPs in g1.gen$GX: 9
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
Number of SNPs with mismatched alleles: 6
Open all GEN files for reading...
Merge...
0${CR}Number of mismatched overlapping loci: 0
Number of merged SNPs: 7
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
  expect_file s1_s2.sample$GX <<'EOF'
ID_1 ID_2 missing
0 0 0
i1 i1 0
i2 i2 0
i3 i3 0
i4 i4 0
EOF
  case_end
done

# ------------------------------------------------------------- thresholds
threshold_inputs() {
  set_variant $1
  $SW s1.sample$SX <<'EOF'
ID_1 ID_2 missing
0 0 0
p1 p1 0
p2 p2 0
EOF
  $SW s2.sample$SX <<'EOF'
ID_1 ID_2 missing
0 0 0
p1 p1 0
p2 p2 0
EOF
  $SW s3.sample$SX <<'EOF'
ID_1 ID_2 missing
0 0 0
p1 p1 0
EOF
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
  run -M --g g1.gen$GX g2.gen$GX g3.gen$GX --s s1.sample$SX s2.sample$SX s3.sample$SX
  expect_status 0
  expect_stdout <<EOF
varnex -M --g g1.gen$GX g2.gen$GX g3.gen$GX --s s1.sample$SX s2.sample$SX s3.sample$SX
Organise Samples...
Number of samples in s1.sample$SX: 2
Number of samples in s2.sample$SX: 2
Number of samples in s3.sample$SX: 1
Number of merged samples: 2
Create ordered list of positions...
g1.gen$GX
Number of SNPs in g1.gen$GX: 5
g2.gen$GX
Number of SNPs in g2.gen$GX: 4
g3.gen$GX
Number of SNPs in g3.gen$GX: 2
Number of SNPs with mismatched alleles: 0
Open all GEN files for reading...
Merge...
Mismatched overlap locus. rs_id: r1 pos: 10 subject: p1_p1 file: 1 col: 0 probs: 0 0.92 0.08 probs: 0 0.95 0.05
0${CR}Mismatched overlap locus. rs_id: r4 pos: 40 subject: p1_p1 file: 1 col: 0 probs: 0 0 1 probs: 1 0 0
Mismatched overlap locus. rs_id: r4 pos: 40 subject: p1_p1 file: 2 col: 0 probs: 1 0 0 probs: -9 -9 -9
Number of mismatched overlapping loci: 3
Number of merged SNPs: 6
EOF
  expect_log <<EOF
varnex -M --g g1.gen$GX g2.gen$GX g3.gen$GX --s s1.sample$SX s2.sample$SX s3.sample$SX
Organise Samples...
Number of samples in s1.sample$SX: 2
Number of samples in s2.sample$SX: 2
Number of samples in s3.sample$SX: 1
Number of merged samples: 2
Create ordered list of positions...
Number of SNPs in g1.gen$GX: 5
Number of SNPs in g2.gen$GX: 4
Number of SNPs in g3.gen$GX: 2
Number of SNPs with mismatched alleles: 0
Open all GEN files for reading...
Merge...
Mismatched overlap locus. rs_id: r1 pos: 10 subject: p1_p1 file: 1 probs: 0 0.92 0.08 probs: 0 0.95 0.05
Mismatched overlap locus. rs_id: r4 pos: 40 subject: p1_p1 file: 1 probs: 0 0 1 probs: 1 0 0
Mismatched overlap locus. rs_id: r4 pos: 40 subject: p1_p1 file: 2 probs: 1 0 0 probs: -9 -9 -9
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
  expect_file s1_s2_s3.sample$GX <<'EOF'
ID_1 ID_2 missing
0 0 0
p1 p1 2
p2 p2 1
EOF
  case_end
done

case_start "threshold 0.9: two calls of one genotype become the hard call"
threshold_inputs plain
run -M --g g1.gen g2.gen g3.gen --s s1.sample s2.sample s3.sample --threshold 0.9 --og o.gen --os o.sample
expect_status 0
expect_log <<EOF
varnex -M --g g1.gen g2.gen g3.gen --s s1.sample s2.sample s3.sample --threshold 0.9 --og o.gen --os o.sample
Organise Samples...
Number of samples in s1.sample: 2
Number of samples in s2.sample: 2
Number of samples in s3.sample: 1
Number of merged samples: 2
Create ordered list of positions...
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
expect_file o.sample <<'EOF'
ID_1 ID_2 missing
0 0 0
p1 p1 1
p2 p2 1
EOF
case_end

case_start "threshold 0: even a first value becomes the call of genotype 1"
threshold_inputs plain
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
expect_file o.sample <<'EOF'
ID_1 ID_2 missing
0 0 0
p1 p1 0
p2 p2 1
EOF
grep -q "Number of mismatched overlapping loci: 0" varnex.log || fail "conflicts reported"
case_end

# ------------------------------------- unsorted input, repeated positions
for kind in plain gzip gzdata; do
  set_variant $kind
  case_start "$kind: unsorted inputs, repeated positions, blank lines, 0200"
  two_people s1.sample$SX $SW q1 q1b
  two_people s2.sample$SX $SW q2 q2b
  # The first file steps back at once; white-space lines are skipped anywhere.
  printf 's3 r3 300 A G 0 0 1 0 0 1\ns1 r1 100 A G 1 0 0 1 0 0\n   \t\ns2 r2 0200 A G 0 1 0 0 1 0\ns1b r1 100 A G 0.5 0.5 0 0.5 0.5 0\n\n\n' | $GW g1.gen$GX
  # The repeated 200 is read with its own alleles (not flipped like the first).
  $GW g2.gen$GX <<'EOF'
s2 r2 200 G A 0.2 0.3 0.5 0 0 1
s2 r2 200 A G 0.1 0.1 0.8 0 0 1
s4 r4 50 A G 1 0 0 1 0 0
EOF
  run -M --g g1.gen$GX g2.gen$GX --s s1.sample$SX s2.sample$SX
  expect_status 0
  expect_stdout <<EOF
varnex -M --g g1.gen$GX g2.gen$GX --s s1.sample$SX s2.sample$SX
Organise Samples...
Number of samples in s1.sample$SX: 2
Number of samples in s2.sample$SX: 2
Number of merged samples: 4
Create ordered list of positions...
g1.gen$GX
Mismatched overlap SNP snp_id: s1b s1
Number of SNPs in g1.gen$GX: 4
g2.gen$GX
Mismatched alleles: 200 G A A G reverse
Number of SNPs in g2.gen$GX: 3
Number of SNPs with mismatched alleles: 1
Open all GEN files for reading...
Merge...
0${CR}Number of mismatched overlapping loci: 0
Number of merged SNPs: 4
EOF
  expect_file g1_g2.gen$GX <<'EOF'
s4 r4 50 A G 0 0 0 0 0 0 1 0 0 1 0 0
-9 r1 100 A G 0.5 0.5 0 0.5 0.5 0 0 0 0 0 0 0
s2 r2 200 A G 0 1 0 0 1 0 0.1 0.1 0.8 0 0 1
s3 r3 300 A G 0 0 1 0 0 1 0 0 0 0 0 0
EOF
  expect_file s1_s2.sample$GX <<'EOF'
ID_1 ID_2 missing
0 0 0
q1 q1 1
q1b q1b 1
q2 q2 2
q2b q2b 2
EOF
  case_end
done

# -------------------------------------------------- lines of any length
for kind in plain gzip; do
  set_variant $kind
  case_start "$kind: GEN lines of 3,000,000 characters are whole lines"
  two_people s1.sample$SX $SW l1 l2
  two_people s2.sample$SX $SW l1 l2
  # Each probability 0.1 written with 499,998 trailing zeros.
  long=$(head -c 499998 /dev/zero | tr '\0' 0)
  { printf 'L1 rl1 5 A G'
    for i in 1 2 3 4 5 6; do printf ' 0.1%s' "$long"; done
    printf '\nL2 rl2 6 A G 1 0 0 0 1 0\n'; } | $GW g1.gen$GX
  $GW g2.gen$GX <<'EOF'
L2 rl2 6 A G 1 0 0 0 1 0
L1 rl1 5 A G 0.1 0.1 0.1 0 0 0
EOF
  run -M --g g1.gen$GX g2.gen$GX --s s1.sample$SX s2.sample$SX
  expect_status 0
  expect_file g1_g2.gen$GX <<'EOF'
L1 rl1 5 A G 0.1 0.1 0.1 0.1 0.1 0.1
L2 rl2 6 A G 1 0 0 0 1 0
EOF
  grep -q "Number of SNPs in g1.gen$GX: 2" varnex.log || fail "long line counted wrong"
  grep -q "Number of mismatched overlapping loci: 0" varnex.log || fail "conflicts reported"
  case_end
done

# ------------------------------------------------------- running counter
case_start "the running counter: every 1000 written SNPs, standard output only"
printf 'ID_1 ID_2 missing\n0 0 0\nc1 c1 0\n' > c.sample
awk 'BEGIN { for (p = 2500; p >= 1; p--) if (p != 7) printf "s%d r%d %d A G 0 1 0\n", p, p, p }' > c.gen
awk 'BEGIN { for (p = 1; p <= 2500; p++) if (p != 7) printf "s%d r%d %d A G 0 1 0\n", p, p, p }' > expected.gen
run -M --g c.gen --s c.sample --og m.gen --os m.sample
expect_status 0
expect_stdout <<EOF
varnex -M --g c.gen --s c.sample --og m.gen --os m.sample
Organise Samples...
Number of samples in c.sample: 1
Number of merged samples: 1
Create ordered list of positions...
c.gen
Number of SNPs in c.gen: 2499
Number of SNPs with mismatched alleles: 0
Open all GEN files for reading...
Merge...
0${CR}1000${CR}2000${CR}Number of mismatched overlapping loci: 0
Number of merged SNPs: 2499
EOF
expect_file m.gen < expected.gen
expect_file m.sample <<'EOF'
ID_1 ID_2 missing
0 0 0
c1 c1 0
EOF
case_end
finish
