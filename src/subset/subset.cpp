// Subset mode: keeps chosen samples and SNPs of a GEN/SAMPLE pair.
//
//   SNP_A rs1001 10250 A G 1 0 0 0.333333 0.5 0.166667
//
// Kept lines are rewritten, not copied: single spaces, a space after every
// field (the last probability too), and each kept probability in the fixed
// four-decimal style (0.333333 -> 0.3333, 1 -> 1). The GEN file is streamed
// once; its first line gives the sample count and is then the first SNP. A
// line that is not kept is never parsed beyond its five leading fields.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "driver/log.hpp"
#include "driver/modes.hpp"
#include "formats/bgen_io.hpp"
#include "formats/gen.hpp"
#include "formats/sample.hpp"
#include "formats/streams.hpp"
#include "formats/text.hpp"
#include "subset/snp_filter.hpp"
#include "subset/triple_writer.hpp"

namespace varnex {

namespace {

// The triples of the kept samples copied as they stand, each value followed
// by a space, when BGEN is read or written: a BGEN input's values already
// have the digits its bits need, and a BGEN output stores as many as its bits
// hold; four decimals would lose them (1/65535 is 0.0000153).
void copy_kept_triples(output_file& out, std::string_view text, const std::vector<char>& keep) {
  field_cursor cursor(text);
  std::string_view field;
  for (std::size_t i = 0; i < keep.size(); ++i)
    for (int v = 0; v < 3; ++v) {
      if (!cursor.next(field)) return;
      if (!keep[i]) continue;
      out.put(field);
      out.put(' ');
    }
}

// Copies the SAMPLE header and the selected rows to `out`, marks the
// selected rows' triples in `keep` and adds their BGEN identifiers to `ids`;
// returns the number of rows selected and sets `rows_read`.
long select_samples(tee& log, sample_reader& in, output_file& out, const id_set& id_list,
                    const id_set& excl_list, std::vector<char>& keep, bgen_id_choice choice,
                    std::vector<std::string>& ids, long& rows_read) {
  sample_writer writer(out);
  writer.line(in.names().text);
  writer.line(in.types().text);
  long selected_rows = 0;
  const bool by_id = !id_list.empty();
  sample_line row;
  // A row without both identifiers ends the rows.
  for (rows_read = 0; in.next(row, 2) && row.columns.size() == 2; ++rows_read) {
    const std::string_view id_1 = row.columns[0], id_2 = row.columns[1];
    bool selected;
    if (by_id) {
      log.to_log("sample_file: " + std::string(id_2) + "\n");
      selected = id_list.contains(id_2) || id_list.contains(id_1);
    } else {
      selected = !excl_list.contains(id_2) && !excl_list.contains(id_1);
    }
    if (!selected) continue;
    // Rows beyond the GEN file's samples are copied but have no triple.
    if (static_cast<std::size_t>(rows_read) < keep.size()) keep[rows_read] = 1;
    writer.line(row.text);
    ids.push_back(bgen_sample_id(id_1, id_2, choice));
    ++selected_rows;
    if (by_id)
      log.to_log(std::string(id_2) + " " + std::to_string(rows_read) + " " + std::string(row.text) +
                 "\n");
  }
  return selected_rows;
}

// BGEN to BGEN, variant by variant, without GEN text: a block is copied
// unchanged when every sample is kept and it would be written the same way
// (layout 2, the output's compression and bits, no --chromosome). Otherwise
// the kept samples are stored again from the values read, in the variant's
// own bits unless --bgen-bits says otherwise; the variant's chromosome is
// kept unless --chromosome replaces it, and its identifiers stay as they are
// (an empty one stays empty). Adds to the counts of SNPs read and written.
void bgen_to_bgen(bgen_reader& in, bgen_writer& out, const bgen_options& options,
                  const std::vector<char>& keep, const snp_filter& filter, const subset_args& args,
                  std::uint64_t& n_in_snps, std::uint64_t& n_out_snps) {
  const bool keep_all = std::find(keep.begin(), keep.end(), 0) == keep.end();
  const bool same_compression = in.layout().compression == options.compression;
  const std::size_t n = keep.size();
  in.keep_blocks();
  bgen_encoder encoder(options.compression, options.bits);
  std::vector<double> probs(3 * n), kept;
  std::string block;
  bgen_variant v;
  auto shown = [](const std::string& id) { return id.empty() ? std::string_view(".") : std::string_view(id); };
  while (in.next(v)) {
    ++n_in_snps;
    const bool position_ok = v.position <= 0x7FFFFFFFu;
    if (!filter.selects(shown(v.varid), shown(v.rsid),
                        position_ok ? static_cast<std::int32_t>(v.position) : 0, position_ok))
      continue;
    for (std::size_t i = 0; i < 3 * n; ++i) probs[i] = double(v.values[i]) / v.scale;
    if (args.missing && too_missing(probs.data(), n, *args.threshold, *args.missing)) continue;
    ++n_out_snps;
    const unsigned bits = options.bits_given ? options.bits : v.bits;
    const std::string_view chromosome = options.chromosome.empty() ? std::string_view(v.chromosome)
                                                                   : std::string_view(options.chromosome);
    if (keep_all && in.layout().layout == 2 && same_compression && bits == v.bits &&
        options.chromosome.empty()) {
      out.add_block(in.block(), !chromosome.empty());
      continue;
    }
    kept.clear();
    for (std::size_t j = 0; j < n; ++j)
      if (keep[j]) kept.insert(kept.end(), &probs[3 * j], &probs[3 * j] + 3);
    const bgen_variant_in w{.varid = v.varid, .rsid = v.rsid, .chromosome = chromosome,
                            .allele_a = v.allele_a, .allele_b = v.allele_b, .position = v.position,
                            .probs = kept.data(),
                            .samples = static_cast<std::uint32_t>(kept.size() / 3)};
    block.clear();
    encoder.set_bits(bits);
    out.add_rescaled(encoder.encode(w, block));
    out.add_block(block, !chromosome.empty());
  }
}

}  // namespace

int subset(const subset_args& args) {
  const bool gz_input = is_gz_name(args.genotype_file);
  tee log;
  if (!log.open_or_report(false)) return 1;
  log.to_both_flushed("Output files: " + args.out_genotype_file + " " + args.out_sample_file + "\n");

  // Every input is opened, and the lists read, before anything is created:
  // a misspelt name stops the run instead of silently selecting nothing
  // (or everything). The GEN file is read once, so it may be a pipe.
  // A BGEN input is read as the GEN text of its variants.
  // BGEN to BGEN goes block by block, without GEN text.
  const bool bgen_out = is_bgen_name(args.out_genotype_file);
  std::unique_ptr<bgen_reader> bgen_blocks;
  std::unique_ptr<line_splitter> gen_lines;
  if (bgen_out && is_bgen_name(args.genotype_file))
    bgen_blocks = std::make_unique<bgen_reader>(args.genotype_file);
  else
    gen_lines = open_gen_lines(args.genotype_file, gz_input, args.streams);
  const auto* bgen_lines = dynamic_cast<const bgen_line_reader*>(gen_lines.get());
  const bgen_reader* bgen_in = bgen_blocks ? bgen_blocks.get() : bgen_lines ? &bgen_lines->bgen() : nullptr;
  std::unique_ptr<sample_reader> sample_in;
  if (args.sample_subset())
    sample_in = std::make_unique<sample_reader>(args.sample_file);
  else if (!args.sample_file.empty())
    check_readable(args.sample_file);
  const id_set id_list = read_id_list(args.sample_id_file.value_or(""));
  const id_set excl_list = read_id_list(args.sample_excl_file.value_or(""));
  const id_set incl_snps = read_id_list(args.inclusion_file.value_or(""));
  const id_set excl_snps = read_id_list(args.exclusion_file.value_or(""));

  // The first line gives the sample count and is then the first SNP.
  std::string_view line;
  bool have_line = gen_lines && gen_lines->next(line);
  const long n_samples = bgen_in ? static_cast<long>(bgen_in->layout().samples)
                                 : samples_in_first_line(have_line ? line : std::string_view());
  log.to_both_flushed("Number of input samples: " + std::to_string(n_samples) + "\n");
  const std::size_t n = n_samples > 0 ? static_cast<std::size_t>(n_samples) : 0;

  // keep[i]: sample i's triple goes to the GEN output. Both outputs are
  // renamed into place together, so that a failed run leaves neither.
  std::vector<char> keep(n, args.sample_subset() ? 0 : 1);
  long n_out_samples = n_samples;
  std::unique_ptr<output_file> sample_out;
  std::vector<std::string> ids;
  long rows_read = -1;  // of a SAMPLE file read, which a BGEN input must match
  if (args.sample_subset()) {
    log.to_both_flushed("Samples...\n");
    log.to_log("Number of samples in subset file: " + std::to_string(id_list.size()) + "\n");
    log.flush();
    sample_out = std::make_unique<output_file>(args.out_sample_file, gz_input, args.streams);
    n_out_samples = select_samples(log, *sample_in, *sample_out, id_list, excl_list, keep,
                                   args.bgen.ids, ids, rows_read);
    sample_in.reset();
  } else if (!args.sample_file.empty() && (bgen_in || bgen_out)) {
    // Every row's BGEN identifier.
    sample_reader in(args.sample_file);
    sample_line row;
    while (in.next(row, 2) && row.columns.size() == 2)
      ids.push_back(bgen_sample_id(row.columns[0], row.columns[1], args.bgen.ids));
    rows_read = static_cast<long>(ids.size());
  }
  if (bgen_in && rows_read >= 0 && rows_read != n_samples)
    return log.fail("SAMPLE file " + args.sample_file + " has " + std::to_string(rows_read) +
                    " rows, but BGEN file " + args.genotype_file + " has " +
                    std::to_string(n_samples) + " samples");
  log.to_both_flushed("Number of output samples: " + std::to_string(n_out_samples) + "\n");

  const snp_filter filter{.range_flag = args.range(),
                          .inclusion_flag = args.inclusion_file.has_value(),
                          .exclusion_flag = args.exclusion_file.has_value(),
                          .start = args.start.value_or(-1) == -1 ? 0 : *args.start,
                          .end = args.end.value_or(-1),
                          .inclusion = &incl_snps,
                          .exclusion = &excl_snps};
  if (filter.range_flag) log.to_both_flushed("positions...\n");
  if (filter.inclusion_flag) log.to_both_flushed("Snp_id...\n");
  if (filter.exclusion_flag) log.to_both_flushed("Exclusion...\n");
  log.to_both_flushed("Gen...\n");

  const bool keep_all = std::find(keep.begin(), keep.end(), 0) == keep.end();
  // BGEN to BGEN keeps the input's compression, bits and (without a SAMPLE
  // file) sample identifiers unless told otherwise.
  bgen_options written = args.bgen;
  if (bgen_blocks && !args.bgen.compression_given) written.compression = bgen_in->layout().compression;
  const std::vector<std::string>* written_ids = args.sample_file.empty() ? nullptr : &ids;
  if (bgen_blocks && !written_ids && !bgen_in->sample_ids().empty())
    written_ids = &bgen_in->sample_ids();
  const std::unique_ptr<output_file> gen_file =
      open_gen_output(args.out_genotype_file, gz_input, args.streams, written, written_ids);
  output_file& gen_out = *gen_file;
  std::vector<double> probs(args.missing ? 3 * n : 0);
  std::uint64_t n_in_snps = 0, n_out_snps = 0;
  if (bgen_blocks) {
    bgen_writer& writer = gen_out.bgen()->writer();
    if (!written_ids) writer.set_samples(static_cast<std::uint32_t>(n_out_samples));
    bgen_to_bgen(*bgen_blocks, writer, written, keep, filter, args, n_in_snps, n_out_snps);
  }
  for (; have_line; have_line = gen_lines->next(line)) {
    gen_line g = split_gen_line(line);
    // A line without its five leading fields (a blank line) is no SNP.
    if (g.leading_fields < 5) continue;
    ++n_in_snps;
    if (!filter.selects(g.snp_id, g.rs_id, g.position, g.position_ok)) continue;
    if (args.missing) {
      read_probabilities(g.probabilities, probs);
      if (too_missing(probs.data(), n, *args.threshold, *args.missing)) continue;
    }
    put_gen_head(gen_out, g);
    gen_out.put(' ');
    if (bgen_in || bgen_out)
      copy_kept_triples(gen_out, g.probabilities, keep);
    else if (keep_all)
      put_all_triples(gen_out, g.probabilities, n);
    else
      put_kept_triples(gen_out, g.probabilities, keep);
    gen_out.put('\n');
    ++n_out_snps;
  }
  std::vector<output_file*> outputs = {&gen_out};
  if (sample_out) outputs.push_back(sample_out.get());
  commit_outputs(outputs);
  log.to_both_flushed("Number of input SNPs: " + std::to_string(n_in_snps) + "\n");
  log.to_both_flushed("Number of output SNPs: " + std::to_string(n_out_snps) + "\n");
  if (!bgen_summary(gen_out).empty()) log.to_both_flushed(bgen_summary(gen_out));
  return 0;
}

}  // namespace varnex
