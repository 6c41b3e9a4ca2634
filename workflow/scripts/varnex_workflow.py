#!/usr/bin/env python3
"""Steps of the varnex workflow that are not varnex runs.

  plan     choose the position ranges of a subset over K parts (reads positions)
  split    cut a GEN file into K files of consecutive lines (for orient)
  range    print the --start/--end arguments of one subset part, or "skip"
  gather   check the parts' counts against the plan, then join the parts in order
  counts   turn the log of a GEN to PED or merge run into the counts of its chromosome
  summary  one TSV row per chromosome and a bar plot of the SNPs kept

A part's counts come from varnex's own log (subset, GEN to PED, merge) or its
standard output (orient prints its totals there only). Every failure exits
with status 1 and one line that names the file and what is wrong.
"""
import argparse
import array
import bisect
import gzip
import json
import os
import re
import sys

INT32_MIN, INT32_MAX = -2147483648, 2147483647
# The empty block that ends a BGZF file.
BGZF_EOF = bytes.fromhex("1f8b08040000000000ff0600424302001b0003000000000000000000")
POSITION = re.compile(rb"[+-]?[0-9]+")


class Failure(Exception):
    pass


def is_gz(name):
    # varnex decides compression by ".gz" anywhere in the name.
    return ".gz" in name


def open_in(name):
    try:
        return gzip.open(name, "rb") if is_gz(name) else open(name, "rb")
    except OSError as e:
        raise Failure(f"Can't open {name}: {e.strerror}")


def read_lines(name):
    """Yields (line, text bytes up to its end, file bytes read so far) for every line."""
    f = open_in(name)
    raw = f.fileobj if isinstance(f, gzip.GzipFile) else None
    done = 0
    try:
        with f:
            for line in f:
                done += len(line)
                yield line, done, (raw.tell() if raw else done)
    except (OSError, EOFError, gzip.BadGzipFile) as e:
        raise Failure(f"Can't read {name}: {e}")


def position(field):
    """The position as varnex reads it (a whole signed 32-bit integer), else None."""
    if not POSITION.fullmatch(field):
        return None
    value = int(field)
    return value if INT32_MIN <= value <= INT32_MAX else None


def pick_cuts(candidates, weight, total, parts):
    """Up to parts-1 increasing cut indices from `candidates`, each near an even share of `total`."""
    cuts = []
    for j in range(1, parts):
        target = total * j / parts
        k = bisect.bisect_left(candidates, target, key=lambda c: weight[c])
        if cuts:
            k = max(k, bisect.bisect_right(candidates, cuts[-1]) + 1)
        near = [c for c in candidates[max(k - 1, 0):k + 1] if not cuts or c > cuts[-1]]
        if near:
            cuts.append(min(near, key=lambda c: abs(weight[c] - target)))
    return cuts


def plan_subset(args):
    """Position ranges for `-S --start a --end b` on the whole input.

    Both bounds are inclusive; an end of 0 or below means no upper bound and a
    start of -1 means 0, so every inner range ends at 1 or above and the first
    starts at the user's start or at the smallest 32-bit integer. A cut
    between two lines is only taken where every earlier selected position is
    below every later one, so the parts in order give the lines in file order.
    """
    range_flag = args.start is not None or args.end is not None
    lo = (0 if args.start in (None, -1) else args.start) if range_flag else INT32_MIN
    hi = args.end if range_flag and args.end is not None and args.end > 0 else None
    lines = 0
    unreadable = 0          # SNP lines whose position is in no range
    pos, weight = array.array("q"), array.array("q")  # selected lines: position, bytes to their end
    for line, done, _ in read_lines(args.gen):
        fields = line.split(None, 5)
        if len(fields) < 5:
            continue  # no SNP: varnex does not count it either
        lines += 1
        p = position(fields[2])
        if p is None:
            unreadable += 1
            continue
        if range_flag and not (lo <= p and (hi is None or p <= hi)):
            continue
        pos.append(p)
        weight.append(done)
    n = len(pos)
    note = ""
    parts = args.parts
    if args.inclusion:
        parts, note = 1, "an inclusion list selects SNPs outside every range: one part"
    elif unreadable and not range_flag:
        parts, note = 1, f"{unreadable} positions are not 32-bit integers: one part"
    cuts = []
    if parts > 1 and n > 1:
        suffix_min = array.array("q", pos)
        for i in range(n - 2, -1, -1):
            suffix_min[i] = min(pos[i], suffix_min[i + 1])
        candidates, prefix_max = [], pos[0]
        for i in range(1, n):
            if prefix_max < suffix_min[i] and suffix_min[i] >= 2:
                candidates.append(i)
            prefix_max = max(prefix_max, pos[i])
        weight.insert(0, 0)  # bytes before line i: the weight of a cut before it
        cuts = pick_cuts(candidates, weight, weight[-1], parts)
        if len(cuts) < parts - 1:
            note = f"{len(cuts) + 1} of {parts} ranges could be cut (unsorted or few positions)"
    bounds = [suffix_min[c] for c in cuts] if cuts else []
    plan = {"job": "subset", "lines": lines, "selected": n, "note": note, "parts": []}
    edges = [0] + cuts + [n]
    for i in range(args.parts):
        if i > len(bounds):
            plan["parts"].append({"run": False, "snps": 0})
            continue
        part = {"run": True, "snps": edges[i + 1] - edges[i]}
        if args.inclusion or not range_flag and parts == 1:
            part["snps"] = lines  # at most every line
        if range_flag or parts > 1:
            part["start"] = lo if i == 0 else bounds[i - 1]
            end = hi if i == len(bounds) else bounds[i] - 1
            if end is not None:
                part["end"] = end
        plan["parts"].append(part)
    if note:
        print(f"{args.gen}: {note}")
    write_json(args.plan, plan)


def split(args):
    """Consecutive lines of the GEN file into K files, cut near even shares of its bytes.

    Orient treats every line on its own, so the parts in order give exactly
    the single run's output; cuts fall between lines of different positions
    where the file has them.
    """
    total = os.path.getsize(args.gen)
    k = len(args.outputs)
    outs = []
    counts = [0] * k
    first = [None] * k
    last = [None] * k
    samples = None
    try:
        outs = [gzip.open(o, "wb", compresslevel=1) if is_gz(o) else open(o, "wb")
                for o in args.outputs]
        i, previous = 0, None
        # A gzip input's share is judged by the compressed bytes read so far.
        for line, _, done in read_lines(args.gen):
            fields = line.split(None, 5)
            p = position(fields[2]) if len(fields) >= 5 else None
            if samples is None:
                samples = max((len(line.split()) - 5) // 3, 0)
            if i + 1 < k and done > total * (i + 1) / k and counts[i] and p != previous:
                i += 1
            outs[i].write(line)
            counts[i] += 1
            if p is not None:
                previous = p
                first[i] = p if first[i] is None else first[i]
                last[i] = p
        for o in outs:
            o.close()
    except OSError as e:
        raise Failure(f"Can't write part of {args.gen}: {e}")
    plan = {"job": "orient", "lines": sum(counts), "samples": samples or 0, "note": "",
            "parts": [{"run": True, "snps": c, "first": f, "last": l}
                      for c, f, l in zip(counts, first, last)]}
    write_json(args.plan, plan)


def write_json(name, value):
    with open(name, "w") as f:
        json.dump(value, f, indent=1)
        f.write("\n")


def read_json(name):
    with open(name) as f:
        return json.load(f)


def part_range(args):
    part = read_json(args.plan)["parts"][args.part]
    if not part["run"]:
        print("skip")
        return
    words = []
    if "start" in part:
        words += ["--start", str(part["start"])]
    if "end" in part:
        words += ["--end", str(part["end"])]
    print(" ".join(words))


def counts_in(name, labels):
    """The last number after each label at the start of a line of `name`."""
    found = {}
    try:
        with open(name, "r", errors="replace") as f:
            for line in f:
                for key, label in labels.items():
                    if line.startswith(label):
                        m = re.match(r"-?[0-9]+", line[len(label):])
                        if m:
                            found[key] = int(m.group(0))
    except OSError as e:
        raise Failure(f"Can't read {name}: {e.strerror}")
    missing = [labels[k] for k in labels if k not in found]
    if missing:
        raise Failure(f"{name}: no line \"{missing[0].strip()}\"")
    return found


SUBSET = {"in": "Number of input SNPs: ", "out": "Number of output SNPs: ",
          "in_samples": "Number of input samples: ", "samples": "Number of output samples: "}
ORIENT = {"in": "Input SNPs: "}
ORIENT_OUT = re.compile(r"^Input SNPs: ([0-9]+) Output SNPs: ([0-9]+)$")


def orient_counts(name):
    with open(name, "r", errors="replace") as f:
        for line in f:
            m = ORIENT_OUT.match(line.rstrip("\n"))
            if m:
                return {"in": int(m.group(1)), "out": int(m.group(2))}
    raise Failure(f"{name}: no line \"Input SNPs: ... Output SNPs: ...\"")


def check_counts(args, plan):
    """The parts' own counts against the plan: every input SNP in exactly one part."""
    runs = [i for i, p in enumerate(plan["parts"]) if p["run"]]
    if len(args.logs) != len(plan["parts"]):
        raise Failure(f"{args.plan}: {len(plan['parts'])} parts planned, {len(args.logs)} logs")
    got = {}
    for i in runs:
        part, log = plan["parts"][i], args.logs[i]
        c = counts_in(log, SUBSET) if plan["job"] == "subset" else orient_counts(log)
        got[i] = c
        # Orient reads its own part; subset reads the whole input in every part.
        expected_in = part["snps"] if plan["job"] == "orient" else plan["lines"]
        if c["in"] != expected_in:
            raise Failure(f"{log}: {c['in']} input SNPs, expected {expected_in} "
                          f"(the input changed since {args.plan} was written?)")
        if c["out"] > part["snps"]:
            raise Failure(f"{log}: {c['out']} output SNPs, more than the {part['snps']} "
                          f"SNPs of its range")
        if plan["job"] == "subset" and not args.filtered and c["out"] != part["snps"]:
            raise Failure(f"{log}: {c['out']} output SNPs, expected the {part['snps']} "
                          f"SNPs of its range")
    if plan["job"] == "orient" and sum(c["in"] for c in got.values()) != plan["lines"]:
        raise Failure(f"{args.plan}: the parts read {sum(c['in'] for c in got.values())} "
                      f"lines, the input has {plan['lines']}")
    if plan["job"] == "subset":
        samples = {c["samples"] for c in got.values()}
        if len(samples) > 1:
            raise Failure(f"{args.plan}: the parts kept different numbers of samples {sorted(samples)}")
    first = got[runs[0]]
    return {"input_snps": plan["lines"], "output_snps": sum(c["out"] for c in got.values()),
            "samples": first.get("samples", plan.get("samples", 0)), "missing_calls": None}


def concatenate(parts, out, bgzf):
    """Plain text and gzip alike: gzip members one after another are one valid gzip file."""
    gz = is_gz(out)
    written = 0
    with open(out, "wb") as o:
        for name in parts:
            with open(name, "rb") as f:
                data_end = os.fstat(f.fileno()).st_size
                if bgzf and data_end >= len(BGZF_EOF):
                    f.seek(data_end - len(BGZF_EOF))
                    if f.read() == BGZF_EOF:
                        data_end -= len(BGZF_EOF)
                    f.seek(0)
                left = data_end
                while left:
                    block = f.read(min(left, 1 << 22))
                    if not block:
                        raise Failure(f"Can't read {name}")
                    o.write(block)
                    left -= len(block)
                    written += len(block)
        # One end-of-file block at the very end; an empty gzip file still needs a member.
        if bgzf and gz:
            o.write(BGZF_EOF)
        elif gz and written == 0:
            o.write(gzip.compress(b"", mtime=0))


def gather(args):
    plan = read_json(args.plan)
    counts = check_counts(args, plan)
    runs = [i for i, p in enumerate(plan["parts"]) if p["run"]]
    if args.sample_parts:
        # Every part selects the same samples; the SAMPLE output comes from the first.
        texts = set()
        for i in runs:
            with open_in(args.sample_parts[i]) as f:
                texts.add(f.read())
        if len(texts) != 1:
            raise Failure(f"{args.plan}: the parts wrote different SAMPLE files")
        concatenate([args.sample_parts[runs[0]]], args.sample_out, args.bgzf)
    concatenate(args.parts, args.out, args.bgzf)
    write_json(args.counts, counts)


GEN_TO_PED = {"samples": "Number of samples: ", "in": "Number of SNPs: ",
              "missing": "Number of missing loci: "}
MERGE = {"out": "Number of merged SNPs: ", "samples": "Number of merged samples: "}


def log_counts(args):
    if args.job == "gen_to_ped":
        c = counts_in(args.log, GEN_TO_PED)
        counts = {"input_snps": c["in"], "output_snps": c["in"], "samples": c["samples"],
                  "missing_calls": c["missing"]}
    else:
        c = counts_in(args.log, MERGE)
        inputs = 0
        with open(args.log, errors="replace") as f:
            for line in f:
                m = re.match(r"^Number of SNPs in .*: ([0-9]+)$", line.rstrip("\n"))
                if m:
                    inputs += int(m.group(1))
        # The merged SAMPLE file's "missing" column counts, per individual, the
        # written SNPs at which it has no probability.
        missing = 0
        with open_in(args.sample) as f:
            for row in list(f)[2:]:
                fields = row.split()
                if len(fields) >= 3:
                    missing += int(fields[2])
        counts = {"input_snps": inputs, "output_snps": c["out"], "samples": c["samples"],
                  "missing_calls": missing}
    write_json(args.counts, counts)


def summary(args):
    rows = []
    for chrom, name in zip(args.chromosomes, args.counts):
        c = read_json(name)
        rows.append((chrom, c["input_snps"], c["output_snps"], c["samples"], c["missing_calls"]))
    with open(args.tsv, "w") as f:
        f.write("chromosome\tinput_snps\toutput_snps\tsamples\tmissing_calls\n")
        for row in rows:
            f.write("\t".join("NA" if v is None else str(v) for v in row) + "\n")
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    fig, ax = plt.subplots(figsize=(max(4, 0.4 * len(rows) + 2), 3.5))
    names = [r[0] for r in rows]
    ax.bar(names, [r[1] for r in rows], color="#d0d0d0", label="input SNPs")
    ax.bar(names, [r[2] for r in rows], color="#3070b0", label="SNPs kept")
    ax.set_xlabel("chromosome")
    ax.set_ylabel("SNPs")
    ax.legend(frameon=False, ncol=2, loc="lower center", bbox_to_anchor=(0.5, 1.08))
    ax.set_title(args.title, pad=28)
    fig.tight_layout()
    fig.savefig(args.png, dpi=100)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = ap.add_subparsers(dest="step", required=True)
    p = sub.add_parser("plan")
    p.add_argument("gen")
    p.add_argument("plan")
    p.add_argument("--parts", type=int, required=True)
    p.add_argument("--start", type=int)
    p.add_argument("--end", type=int)
    p.add_argument("--inclusion", action="store_true")
    p.set_defaults(run=plan_subset)
    p = sub.add_parser("split")
    p.add_argument("gen")
    p.add_argument("plan")
    p.add_argument("outputs", nargs="+")
    p.set_defaults(run=split)
    p = sub.add_parser("range")
    p.add_argument("plan")
    p.add_argument("part", type=int)
    p.set_defaults(run=part_range)
    p = sub.add_parser("gather")
    p.add_argument("--plan", required=True)
    p.add_argument("--logs", nargs="+", required=True)
    p.add_argument("--parts", nargs="+", required=True)
    p.add_argument("--out", required=True)
    p.add_argument("--counts", required=True)
    p.add_argument("--sample-parts", nargs="*", default=[])
    p.add_argument("--sample-out")
    p.add_argument("--bgzf", action="store_true")
    p.add_argument("--filtered", action="store_true",
                   help="SNP filters besides the range: a part may keep fewer SNPs")
    p.set_defaults(run=gather)
    p = sub.add_parser("counts")
    p.add_argument("job", choices=["gen_to_ped", "merge"])
    p.add_argument("log")
    p.add_argument("counts")
    p.add_argument("--sample")
    p.set_defaults(run=log_counts)
    p = sub.add_parser("summary")
    p.add_argument("--chromosomes", nargs="+", required=True)
    p.add_argument("--counts", nargs="+", required=True)
    p.add_argument("--tsv", required=True)
    p.add_argument("--png", required=True)
    p.add_argument("--title", default="")
    p.set_defaults(run=summary)
    args = ap.parse_args()
    try:
        args.run(args)
    except Failure as e:
        print(e)
        sys.exit(1)


if __name__ == "__main__":
    main()
