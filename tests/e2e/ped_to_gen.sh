# PED to GEN (-P): conversion, allele discovery, per-phenotype outputs, and
# the inputs it refuses. Expected texts are worked out by hand.
. "$(dirname "$0")/lib.sh" "$@"

lines() { printf '%s\n' "$@"; }
run_ok() { run "$@"; expect_status 0; }
# opening COMMAND SNPS SAMPLES BYTES: the messages up to "PED...".
opening() {
  lines "$1" "MAP..." "Number of SNPs: $2" "Count Samples..." "Number of samples: $3" "memory...$4" "PED..."
}
# stopped SAMPLES ARGS...: varnex ARGS exits 1; standard output holds the
# messages up to "PED..." (two SNPs, SAMPLES individuals), then the lines read.
stopped() {
  local n=$1; shift
  cat > "$CASE_DIR/.after"
  run "$@"
  expect_status 1
  { opening "varnex $*" 2 "$n" "$((6 * n))"; cat "$CASE_DIR/.after"; } | expect_stdout
}
# sample_file NAME D-OR-CODE ROW...: a SAMPLE file: the header, the type line
# ("0 0 0 D P", or the given code in place of D), then the rows.
sample_file() {
  local f=$1 code=$2; shift 2
  lines "ID_1 ID_2 Missing Gender Phenotype" "0 0 0 $code P" "$@" | expect_file "$f"
}

worked_map() { lines "1 rs1 0 1000" "1 rs2 0 2000"; }
worked_ped() { lines "F1 I1 0 0 1 2 A A G T" "F2 I2 0 0 2 1 A C 0 0"; }
worked_inputs() { worked_map > x.map; worked_ped > x.ped; }
expect_none() { local f; for f in "$@"; do expect_absent "$f"; done; }
expect_worked_outputs() {  # $1 GEN name, $2 SAMPLE name
  lines "1 rs1 1000 A C 1 0 0 0 1 0" "1 rs2 2000 G T 0 1 0 0 0 0" | expect_file "$1"
  sample_file "$2" D "I1 I1 0 1 2" "I2 I2 0.5 2 1"
}

# The same case on plain and on gzip PED and MAP: a gzip PED compresses both outputs.
for z in "" .gz; do
  kind=plain; [ -z "$z" ] || kind="gzip PED and MAP: both outputs compressed"
  case_start "worked example, $kind"
  worked_inputs
  [ -z "$z" ] || gzip x.map x.ped
  run_ok -P --ped x.ped$z --map x.map$z
  { opening "varnex -P --ped x.ped$z --map x.map$z" 2 2 12; echo "Output..."; } | expect_stdout
  expect_log < stdout.txt
  expect_worked_outputs x.ped.gen$z x.ped.sample$z
  if [ -n "$z" ]; then expect_gzip x.ped.gen.gz; expect_gzip x.ped.sample.gz; else expect_plain x.ped.gen; fi
  case_end
done

case_start "gzip PED compresses outputs named without .gz; a gz MAP name alone does not"
worked_map | write_gz m.gz
worked_ped | write_gz p.gz
run_ok -P --ped p.gz --map m.gz --og out.gen --os out.sample
expect_worked_outputs out.gen.gz out.sample.gz
expect_gzip out.gen.gz
expect_absent out.gen
worked_ped > p
run_ok -P --ped p --map m.gz --og o.gen.gz --os o.sample
expect_worked_outputs o.gen.gz o.sample
expect_plain o.gen.gz
case_end

case_start "allele discovery, numeric coding, six-column MAP, missing fractions"
lines "1 s1 0 10" "1 s2 0 20" "1 s3 0 30" "1 s4 0 40" "1 s5 0 50" "2 s6 0 60 C T" "1 s7 0 70" > d.map
write d.ped <<'EOF'
F1 I1 0 0 1 1 G G A A G G 0 0 1 1 T T A A
F2 I2 0 0 2 1 AG AG GG 00 12 CT A0
F3	I3	0	0	1	2	A A	A A	G G	N N	1 1	C C	0 0
EOF
run_ok -P --ped d.ped --map d.map
expect_file d.ped.gen <<'EOF'
1 s1 10 A G 0 0 1 0 1 0 1 0 0
1 s2 20 A G 1 0 0 0 1 0 1 0 0
1 s3 30 G G 1 0 0 1 0 0 1 0 0
1 s4 40 - - 0 0 0 0 0 0 0 0 0
1 s5 50 A C 1 0 0 0 1 0 1 0 0
2 s6 60 C T 0 0 1 0 1 0 1 0 0
1 s7 70 0 A 0 0 1 0 1 0 0 0 0
EOF
sample_file d.ped.sample D "I1 I1 0.142857 1 1" "I2 I2 0.142857 2 1" "I3 I3 0.285714 1 2"
case_end

case_start "--family and --ostrel1; phenotype and sex words kept or read by strtol"
echo "1 rs1 0 5" > f.map
lines "F7 12 0 0 2 case A A" "F8 13 0 0 female 0.731 A A" > f.ped
run_ok -P --ped f.ped --map f.map --family --ostrel1 --og f.gen --os f.sample
sample_file f.sample 1 "F7_12 F7_12 0 2 case" "F8_13 F8_13 0 0 0.731"
echo "1 rs1 5 A A 1 0 0 1 0 0" | expect_file f.gen
case_end

discrete_map() { lines "1 r1 0 100" "1 r2 0 200"; }
discrete_ped() { lines "A a 0 0 1 1 C C A G" "B b 0 0 2 2 1 1 G G" "C c 0 0 1 1 C 1 0 0" "D d 0 0 2 -9 C C A A"; }
expect_discrete_stdout() {  # $@: the command line after "varnex"
  { opening "varnex $*" 2 4 24; echo "Output..."; echo "Number of discrete phenotypes: 3"; } | expect_stdout
}
# expect_discrete_outputs GEN SAMPLE CODE: the three groups' files, named
# GEN and SAMPLE with the group in place of "%"; CODE as for sample_file.
expect_discrete_outputs() {
  local gen=$1 sample=$2 code=$3
  sample_file "${sample/\%/-9}" "$code" "d d 0 2 -9"
  sample_file "${sample/\%/1}" "$code" "a a 0 1 1" "c c 0.5 1 1"
  sample_file "${sample/\%/2}" "$code" "b b 0 2 2"
  # Mixed coding at r1 (C first, then 1): the group files keep "1 C".
  lines "1 r1 100 1 C 0 0 1" "1 r2 200 A G 1 0 0" | expect_file "${gen/\%/-9}"
  lines "1 r1 100 1 C 0 0 1 0 1 0" "1 r2 200 A G 0 1 0 0 0 0" | expect_file "${gen/\%/1}"
  lines "1 r1 100 1 C 1 0 0" "1 r2 200 A G 0 0 1" | expect_file "${gen/\%/2}"
}

case_start "discrete phenotypes: groups in byte order, names, contents; the same input as one output"
discrete_map > x.map
discrete_ped > x.ped
run_ok -P --ped x.ped --map x.map --og out.gen.gz --os out.sample --discrete_phenotype
expect_discrete_stdout -P --ped x.ped --map x.map --og out.gen.gz --os out.sample --discrete_phenotype
expect_log < stdout.txt
# A plain PED: the GEN files are plain even under their .gz names.
expect_discrete_outputs out.gen_%.gz out.sample_% D
expect_plain out.gen_1.gz
expect_none out.gen.gz out.sample
# The same input as one output: mixed coding spelled by the first written allele.
run_ok -P --ped x.ped --map x.map
lines "1 r1 100 A C 0 0 1 1 0 0 0 1 0 0 0 1" "1 r2 200 A G 0 1 0 0 0 1 0 0 0 1 0 0" | expect_file x.ped.gen
case_end

case_start "discrete phenotypes, gzip inputs: default names, compressed groups"
discrete_map | write_gz x.map.gz
discrete_ped | write_gz x.ped.gz
run_ok -P --ped x.ped.gz --map x.map.gz --discrete_phenotype --ostrel1
expect_discrete_stdout -P --ped x.ped.gz --map x.map.gz --discrete_phenotype --ostrel1
expect_discrete_outputs x.ped.gen_%.gz x.ped.sample_%.gz 1
expect_gzip x.ped.gen_-9.gz
expect_gzip x.ped.sample_2.gz
expect_none x.ped.gen.gz x.ped.sample.gz
case_end

case_start "blank lines at the end of the PED are not individuals"
worked_map > x.map
{ worked_ped; printf '\n \t\n\n'; } > x.ped
run_ok -P --ped x.ped --map x.map
expect_worked_outputs x.ped.gen x.ped.sample
case_end

# ped_fault PED-LINES COUNT MESSAGE: x.ped (printf format) against the worked
# MAP is refused with MESSAGE after "PED..."; no output.
ped_fault() {
  worked_map > x.map
  printf "$1" > x.ped
  echo "$3" | stopped "$2" -P --ped x.ped --map x.map
  expect_log < stdout.txt
  expect_none x.ped.gen x.ped.sample
}
alleles() { echo "PED file x.ped, line $1: $2 alleles, expected 4 (two for each SNP of x.map)"; }

case_start "PED lines with more or fewer pairs, an odd allele, fewer than six fields, a blank line between"
ped_fault 'F1 I1 0 0 1 2 A A G T\nF2 I2 0 0 2 1 A C 0 0 C C\n' 2 "$(alleles 2 6)"
ped_fault 'F1 I1 0 0 1 2 A A\n' 1 "$(alleles 1 2)"
ped_fault 'F1 I1 0 0 1 2 A A G T\nF2 I2 0 0 2 1 A C 0\n' 2 "$(alleles 2 3)"
ped_fault 'F1 I1 0 0 1\n' 1 "PED file x.ped, line 1: fewer than six fields"
ped_fault 'F1 I1 0 0 1 2 A A G T\n\nF2 I2 0 0 2 1 A C 0 0\n' 3 "PED file x.ped, line 2: empty line"
case_end

case_start "a MAP whose first line is a header has no SNPs"
worked_ped > x.ped
lines "chr snp cM pos" "1 rs1 0 1000" > x.map
lines "MAP..." "No SNPs in MAP file x.map: line 1 is not chromosome, SNP name, genetic distance and position" |
  expect_refused -P --ped x.ped --map x.map
case_end

case_start "a phenotype with '/' stops a discrete run before any output"
worked_map > x.map
lines "F1 I1 0 0 1 ctl A A G T" "F2 I2 0 0 2 case/1 A C 0 0" > x.ped
echo "PED file x.ped, line 2: phenotype case/1 can't be part of an output file name" |
  stopped 2 -P --ped x.ped --map x.map --discrete_phenotype
expect_log < stdout.txt
expect_none x.ped.gen_ctl x.ped.sample_ctl x.ped.gen
# Without the split the value is only a phenotype.
run_ok -P --ped x.ped --map x.map
sample_file x.ped.sample D "I1 I1 0 1 ctl" "I2 I2 0.5 2 case/1"
# A NUL byte would cut the file name short.
printf 'F1 I1 0 0 1 ctl A A G T\nF2 I2 0 0 2 c\0se A C 0 0\n' > x.ped
run -P --ped x.ped --map x.map --discrete_phenotype
expect_status 1
grep -q "PED file x.ped, line 2: phenotype c" stdout.txt || fail "no message for the NUL byte"
expect_none x.ped.gen_ctl x.ped.gen_c
case_end

case_start "inputs that cannot be opened; an output naming an input: refused before anything is written"
worked_inputs
echo "Can't open nope.ped" | expect_refused -P --ped nope.ped --map x.map
expect_log < stdout.txt
expect_absent nope.ped.gen
echo "Can't open nope/x.map" | expect_refused -P --ped x.ped --map nope/x.map
expect_none x.ped.gen x.ped.sample
echo "Output file ./x.map is the same file as input x.map" |
  expect_refused_early -P --ped x.ped --map x.map --os ./x.map
worked_map | cmp -s - x.map || fail "x.map was changed"
expect_absent x.ped.gen
echo "Output file o is the same file as o" | expect_refused_early -P --ped x.ped --map x.map --og o --os o
expect_absent o
run_ok -P --ped x.ped --map x.map --og /dev/null --os /dev/null
# A group name can land on an input too.
echo "F1 I1 0 0 1 map A A G T" > x.ped
cp x.map x_map
echo "Output file x_map is the same file as input x_map" |
  stopped 1 -P --ped x.ped --map x_map --og x --os s --discrete_phenotype
expect_absent s_map
case_end

case_start "a failed write leaves no finished-looking output"
worked_inputs
lines "Output..." "Can't write /dev/full" | stopped 2 -P --ped x.ped --map x.map --og /dev/full
expect_absent x.ped.sample
[ -c /dev/full ] || fail "/dev/full was removed"
# The group SAMPLE files are written first; the GEN files cannot be created.
discrete_map > x.map
discrete_ped > x.ped
lines "Output..." "Number of discrete phenotypes: 3" "Can't open nodir/o.gen_-9" |
  stopped 4 -P --ped x.ped --map x.map --og nodir/o.gen --discrete_phenotype
for g in -9 1 2; do expect_absent x.ped.sample_$g; done
case_end

case_start "real PED/MAP: plink toy files (missing genotype, monomorphic SNP)"
cp "$REALDATA/plink_ng_tests/toy.ped" "$REALDATA/plink_ng_tests/toy.map" .
run_ok -P --ped toy.ped --map toy.map --family
lines "1 rs0 1000 C C 0 0 0 1 0 0" "1 rs10 1001 A G 1 0 0 0 1 0" | expect_file toy.ped.gen
sample_file toy.ped.sample D "1_1000000000 1_1000000000 0.5 1 1" "1_1000000001 1_1000000001 0 1 2"
case_end

case_start "real gzip PED with numeric alleles and a six-column MAP (Haploview sample)"
cp "$REALDATA/haploview_sample/sample.ped.gz" "$REALDATA/haploview_sample/sample.bim" .
run_ok -P --ped sample.ped.gz --map sample.bim --og s.gen --os s.sample
{ opening "varnex -P --ped sample.ped.gz --map sample.bim --og s.gen --os s.sample" 20 120 7200
  echo "Output..."; } | expect_stdout
expect_gzip s.gen.gz
gzip -dc s.gen.gz | sed -n '1p;3p' | cut -d' ' -f1-17 > first.txt
lines "0 IGR1118a_1 274044 A G 0 1 0 0 1 0 0 0 1 0 0 1" "0 IGR1143a_1 286593 A T 0 1 0 0 1 0 1 0 0 1 0 0" |
  expect_file first.txt
gzip -dc s.sample.gz | head -4 > head.txt
sample_file head.txt D "430 430 0 1 0" "412 412 0.05 2 2"
[ "$(gzip -dc s.gen.gz | wc -l)" -eq 20 ] || fail "not 20 GEN lines"
[ "$(gzip -dc s.gen.gz | awk '{print NF}' | sort -u)" = "365" ] || fail "not 5 + 3 x 120 fields"
case_end

# Genotypes as a sorted pair per SNP ("N N" when missing), with the ID.
normal_genotypes() {
  awk '{ printf "%s", $2; for (i = 7; i < NF; i += 2) { a = $i; b = $(i + 1);
         if (a == "0" || a == "N") { a = "N"; b = "N" } else if (b < a) { t = a; a = b; b = t }
         printf " %s%s", a, b } print "" }' "$1"
}

case_start "round trip: -P then -G gives the genotypes back"
cp "$REALDATA/popgen_hapmap_chb/test.ped" "$REALDATA/popgen_hapmap_chb/test.map" .
cp "$REALDATA/plink_ng_tests/toy.ped" "$REALDATA/plink_ng_tests/toy.map" .
for p in test toy; do
  run_ok -P --ped $p.ped --map $p.map
  run_ok -G --g $p.ped.gen --s $p.ped.sample --sex Gender --phenotype Phenotype
  normal_genotypes $p.ped > want.txt
  normal_genotypes $p.ped.gen.ped | expect_file want.txt
done
printf '0\t1000000000\t0\t0\t1\t1\tN N\tA A\n1\t1000000001\t0\t0\t1\t2\tC C\tA G\n' | expect_file toy.ped.gen.ped
case_end

finish
