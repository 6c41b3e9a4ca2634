// Merge mode (-M): several GEN/SAMPLE pairs into one.
//
//   varnex -M --g a.gen b.gen.gz --s a.sample b.sample
//   a.gen:     SNP_A rs1001 10250 A G 1 0 0 0 1 0
//   b.gen.gz:  SNP_A rs1001 10250 C T 0 0 1 0.5 0.5 0
//
// Individuals are matched by (ID_1, ID_2), SNPs by position alone; here the
// second line is the first on the other strand and reversed, so its P(AA) and
// P(BB) are exchanged before the triples are merged. No GEN input is ever held
// in memory: a first pass indexes where each line stands, a second reads the
// lines again position by position, in ascending order.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "driver/log.hpp"
#include "driver/modes.hpp"
#include "formats/bgen_io.hpp"
#include "formats/gen.hpp"
#include "formats/streams.hpp"
#include "formats/text.hpp"
#include "merge/line_feed.hpp"
#include "formats/probability_text.hpp"
#include "merge/numbers.hpp"
#include "merge/positions.hpp"
#include "merge/reconcile.hpp"
#include "merge/reorder.hpp"
#include "merge/samples.hpp"
#include "merge/line_triples.hpp"

namespace varnex {

namespace {

std::string directory_of(const std::string& name) {
  std::size_t slash = name.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return name.substr(0, slash);
}

// Runs index(g, turn) for inputs g = 0 .. k - 1, with `two_threads` on two
// threads, the even inputs on this one: input g + 1 is read while input g is
// indexed (the first pass is bound by one thread's gzip inflation), and waits
// for g to finish before it touches the index or says anything. The first
// failure in input order is rethrown; later inputs are left unread.
template <class Index>
void index_in_turns(std::size_t k, bool two_threads, Index& index) {
  struct abandoned {};
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t done = 0;  // inputs indexed
  std::atomic<bool> failed = false;
  std::exception_ptr failure;
  auto lane = [&](std::size_t first) {
    for (std::size_t g = first; g < k; g += 2) {
      bool waited = false;
      const index_turn turn{[&] {
                              std::unique_lock<std::mutex> lock(mutex);
                              changed.wait(lock, [&] { return done == g || failed; });
                              waited = true;
                              if (failed) throw abandoned{};
                            },
                            [&] {
                              if (failed) throw abandoned{};
                            }};
      try {
        index(g, turn);
        std::lock_guard<std::mutex> lock(mutex);
        ++done;
      } catch (const abandoned&) {
        return;
      } catch (...) {
        // A failure met before the turn comes after every earlier input's.
        try {
          if (!waited) turn.wait();
        } catch (const abandoned&) {
          return;
        }
        std::lock_guard<std::mutex> lock(mutex);
        failure = std::current_exception();
        failed = true;
      }
      changed.notify_all();
      if (failed) return;
    }
  };
  {
    std::thread second;
    try {
      if (two_threads && k > 1) second = std::thread(lane, 1);
    } catch (const std::system_error&) {
    }
    if (!second.joinable()) {
      // One thread: each input in turn on this one.
      const index_turn at_once{[] {}, nullptr};
      for (std::size_t g = 0; g < k; ++g) index(g, at_once);
      return;
    }
    lane(0);
    second.join();
  }
  if (failure) std::rethrow_exception(failure);
}

// Phase 4: the merged triples of the current position and what they add up to.
struct merge_run {
  const sample_union& samples;
  double threshold;
  tee& log;
  std::vector<double> probs;            // 3 per merged individual
  // An individual whose lines so far all gave one triple text (besides
  // "0 0 0") has that text's value; it stays text until a line differs, and
  // is then read into `probs` (still 0 0 0 until then).
  std::vector<std::string_view> texts;  // per merged individual
  std::vector<std::uint8_t> by_text;    // 1: the value is texts[s]
  std::vector<std::uint32_t> missing;   // per merged individual
  std::int64_t mismatch_loci = 0;
  probability_writer writer;

  std::string text(double v) {
    char buffer[32];
    return std::string(buffer, writer.put(buffer, v));
  }

  // Reads the triples of one line into the merged triples. A field that
  // starts with a number but goes on with other text gives that number and
  // ends the line after it, as reading with a stream would.
  void merge_line(const position_entry& e, std::string_view probabilities, const descriptor& d) {
    const std::vector<std::uint32_t>& rows = samples.rows_of(e.input);
    const char* p = probabilities.data();
    const char* const end = p + probabilities.size();
    bool last = false;
    double x[3];
    for (std::size_t j = 0; j < rows.size() && !last; ++j) {
      for (int t = 0; t < 3; ++t) {
        while (p != end && is_blank(*p)) ++p;
        const char* q = read_probability(p, end, x[t]);
        if (q == p) return;
        p = q;
        if (p != end && !is_blank(*p)) {
          if (t < 2) return;
          last = true;
        }
      }
      if (e.flip()) std::swap(x[0], x[2]);
      merge_numbers(e, rows[j], j, x, d);
    }
  }

  // The triple x of column j of the line of `e` into the value of merged
  // individual s.
  void merge_numbers(const position_entry& e, std::uint32_t s, std::size_t j, const double x[3],
                     const descriptor& d) {
    double* c = &probs[3 * static_cast<std::size_t>(s)];
    if (by_text[s]) {
      std::string_view t = texts[s];
      const char* p = t.data();
      const char* const end = p + t.size();
      for (int k = 0; k < 3; ++k) {
        p = read_probability(p, end, c[k]);
        if (p != end) ++p;
      }
      by_text[s] = 0;
    }
    double before[3] = {c[0], c[1], c[2]};
    if (merge_triple(x, c, threshold) == triple_outcome::conflict)
      report_conflict(d, s, e.input, j, x, before);
  }

  void report_conflict(const descriptor& d, std::uint32_t s, std::uint32_t input, std::size_t j,
                       const double x[3], const double c[3]) {
    std::string head = "Mismatched overlap locus. rs_id: ";
    head.append(d.rs_id).append(" pos: ").append(std::to_string(d.pos));
    head.append(" subject: ").append(samples.key_text(s));
    head.append(" file: ").append(std::to_string(input));
    std::string tail = " probs: ";
    tail.append(text(x[0])).append(" ").append(text(x[1]));
    tail.append(" ").append(text(x[2])).append(" probs: ");
    tail.append(text(c[0])).append(" ").append(text(c[1]));
    tail.append(" ").append(text(c[2])).append("\n");
    // The column goes to the screen only.
    log.to_stdout(head + " col: " + std::to_string(j) + tail);
    log.to_log(head + tail);
    ++mismatch_loci;
  }

  // The shared individuals of a line already split into triples: the only
  // ones that need their values as numbers.
  void merge_columns(const position_entry& e, const line_triples& line,
                     const std::vector<std::uint32_t>& columns, const descriptor& d) {
    const std::vector<std::uint32_t>& rows = samples.rows_of(e.input);
    double x[3];
    for (std::uint32_t j : columns) {
      if (j >= line.triples()) break;
      const std::uint32_t s = rows[j];
      if (!e.flip()) {
        // Canonical text: "0 0 0" changes nothing, the first other text is
        // taken as it stands and the same text again keeps it (the numbers
        // would do the same, and print that very text).
        if (line.missing(j)) continue;
        std::string_view t = line.span(j, j + 1);
        const double* c = &probs[3 * static_cast<std::size_t>(s)];
        if (by_text[s] ? texts[s] == t : c[0] == 0.0 && c[1] == 0.0 && c[2] == 0.0) {
          texts[s] = t;
          by_text[s] = 1;
          continue;
        }
      }
      line.values(j, x);
      if (e.flip()) std::swap(x[0], x[2]);
      merge_numbers(e, s, j, x, d);
    }
  }

  // A space and `t` as it stands.
  [[gnu::always_inline]] static void put_spaced(output_file& out, std::string_view t) {
    char* p = out.reserve(t.size() + 1);
    *p = ' ';
    std::memcpy(p + 1, t.data(), t.size());
    out.advance(t.size() + 1);
  }

  // Individuals [first, first + n) that no line supplies.
  void write_absent(output_file& out, std::size_t first, std::size_t n) {
    static constexpr char zeros[] = " 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0";
    constexpr std::size_t per_copy = (sizeof zeros - 1) / 6;
    for (std::size_t s = first; s < first + n; ++s) ++missing[s];
    while (n) {
      const std::size_t now = n < per_copy ? n : per_copy;
      out.put(std::string_view(zeros, 6 * now));
      n -= now;
    }
  }

  // Individuals [first, first + n) from the merged values, which are reset
  // to 0 for the next position.
  void write_numbers(output_file& out, std::size_t first, std::size_t n) {
    for (std::size_t s = first; s < first + n; ++s) {
      if (by_text[s]) {
        // Never "0 0 0", so never missing.
        put_spaced(out, texts[s]);
        by_text[s] = 0;
        continue;
      }
      double* c = &probs[3 * s];
      if (!(c[0] > 0.0) && !(c[1] > 0.0) && !(c[2] > 0.0)) ++missing[s];
      char* p = out.reserve(3 * 17);
      char* start = p;
      if (c[0] == conflict_value && c[1] == conflict_value && c[2] == conflict_value) {
        std::memcpy(p, " 0 0 0", 6);
        p += 6;
      } else {
        for (int i = 0; i < 3; ++i) {
          *p++ = ' ';
          p = writer.put(p, c[i]);
        }
      }
      out.advance(static_cast<std::size_t>(p - start));
      c[0] = c[1] = c[2] = 0.0;
    }
  }

  // Individuals [first, first + n), supplied by triples [column, column + n)
  // of a split line alone: its text is what the numbers would print.
  void write_copied(output_file& out, const line_triples& line, bool flip, std::size_t column,
                    std::size_t first, std::size_t n) {
    const std::size_t held = line.triples() > column ? std::min(n, line.triples() - column) : 0;
    if (held) {
      if (!flip)
        put_spaced(out, line.span(column, column + held));
      else
        for (std::size_t j = column; j < column + held; ++j)
          for (int t = 2; t >= 0; --t) put_spaced(out, line.token(j, t));
      for (std::size_t i = 0; i < held; ++i) missing[first + i] += line.missing(column + i);
    }
    if (held < n) write_absent(out, first + held, n - held);
  }
};

// Where the merged individuals of a position get their triples from, for one
// set of inputs holding the position. Runs cover the individuals in merged
// order: nobody supplies them, one line alone supplies them (neighbouring
// columns for neighbouring individuals), or several lines do and their
// values are merged as numbers.
struct layout {
  enum kind : std::uint8_t { absent, copied, merged };
  struct run {
    kind what;
    std::uint32_t line;    // index among the lines of the position (copied)
    std::uint32_t column;  // first triple in that line (copied)
    std::uint32_t first;   // first merged individual
    std::uint32_t count;
  };
  std::vector<run> runs;
  // Per line: the columns of individuals that other lines supply too.
  std::vector<std::vector<std::uint32_t>> shared_columns;

  // Built anew for each set, reusing the room of the one it replaces.
  void build(const sample_union& samples, const std::vector<std::uint32_t>& inputs) {
    const std::size_t n = samples.size();
    supplies.assign(n, 0);
    owner_line.resize(n);
    owner_column.resize(n);
    for (std::uint32_t t = 0; t < inputs.size(); ++t) {
      const std::vector<std::uint32_t>& rows = samples.rows_of(inputs[t]);
      for (std::uint32_t j = 0; j < rows.size(); ++j)
        if (supplies[rows[j]]++ == 0) owner_line[rows[j]] = t, owner_column[rows[j]] = j;
    }
    if (shared_columns.size() < inputs.size()) shared_columns.resize(inputs.size());
    for (std::uint32_t t = 0; t < inputs.size(); ++t) {
      shared_columns[t].clear();
      const std::vector<std::uint32_t>& rows = samples.rows_of(inputs[t]);
      for (std::uint32_t j = 0; j < rows.size(); ++j)
        if (supplies[rows[j]] > 1) shared_columns[t].push_back(j);
    }
    runs.clear();
    for (std::uint32_t s = 0; s < n; ++s) {
      const kind what = supplies[s] == 0 ? absent : supplies[s] == 1 ? copied : merged;
      if (!runs.empty()) {
        run& r = runs.back();
        if (r.what == what && (what != copied || (r.line == owner_line[s] && r.column + r.count == owner_column[s]))) {
          ++r.count;
          continue;
        }
      }
      runs.push_back({what, owner_line[s], owner_column[s], s, 1});
    }
  }

 private:
  std::vector<std::uint32_t> supplies, owner_line, owner_column;
};

// The layouts of the last few sets of inputs met: positions usually come in
// long stretches held by one set, and a set seen once is cheap to lay out
// again, so memory does not grow with the number of distinct sets.
class layout_cache {
 public:
  const layout& get(const sample_union& samples, const std::vector<std::uint32_t>& inputs) {
    ++clock_;
    slot* oldest = &slots_[0];
    for (slot& s : slots_) {
      if (s.used && s.inputs == inputs) {
        s.used = clock_;
        return s.value;
      }
      if (s.used < oldest->used) oldest = &s;
    }
    oldest->used = 0;  // half built if building fails
    oldest->inputs = inputs;
    oldest->value.build(samples, inputs);
    oldest->used = clock_;
    return oldest->value;
  }

 private:
  struct slot {
    std::vector<std::uint32_t> inputs;
    layout value;
    std::uint64_t used = 0;  // clock_ at the last use; 0: empty
  };
  slot slots_[8];
  std::uint64_t clock_ = 0;
};

}  // namespace

int merge(const merge_args& args) {
  tee log;
  if (!log.open_or_report(false)) return 1;
  const std::size_t k = args.merge_files.size() / 2;
  const auto middle = args.merge_files.begin() + k;
  const std::vector<std::string> gen_files(args.merge_files.begin(), middle);
  const std::vector<std::string> sample_files(middle, middle + k);
  // The SAMPLE files are read twice too.
  for (const std::string& name : args.merge_files) check_read_twice(name);
  // Each GEN input is opened once, read by content (gzip or plain).
  std::vector<std::unique_ptr<input_file>> gen_inputs;
  for (const std::string& name : gen_files)
    gen_inputs.push_back(
        std::make_unique<input_file>(name, compression::by_content, args.streams));
  for (const std::string& name : sample_files) check_readable(name);

  log.to_both_flushed("Organise Samples...\n");
  sample_union samples;
  samples.organise(sample_files, log);

  log.to_both_flushed("Create ordered list of positions...\n");
  position_index index;
  spill_file spill(directory_of(args.out_genotype_file));
  auto index_input = [&](std::size_t g, const index_turn& turn) {
    bool named = false;
    const index_turn gate{[&] {
                            turn.wait();
                            named = true;
                            log.to_stdout(gen_files[g] + "\n");
                            std::fflush(stdout);
                          },
                          // Only inflating is worth a thread: a plain input waits for its turn.
                          gen_inputs[g]->compressed() ? turn.check : nullptr};
    input_counts counts;
    try {
      line_reader reader(*gen_inputs[g]);
      counts = index.add_input(static_cast<std::uint32_t>(g), reader, gen_inputs[g]->compressed(),
                               samples.rows_of(g).size(), sample_files[g], spill, log, gate);
    } catch (...) {
      // Every failure comes in its turn, after the input's name.
      if (!named) gate.wait();
      throw;
    }
    gen_inputs[g]->rest(0);
    log.to_both_flushed("Number of SNPs in " + gen_files[g] + ": " + std::to_string(counts.lines) + "\n");
    // The later line of a repeated position is the one merged.
    if (counts.repeated > 0)
      log.to_both_flushed("Number of repeated positions in " + gen_files[g] + ": " +
                          std::to_string(counts.repeated) + "\n");
  };
  index_in_turns(k, args.streams.threads > 1, index_input);
  log.to_both_flushed("Number of SNPs with mismatched alleles: " +
                      std::to_string(index.mismatched_alleles()) + "\n");
  spill.finish();
  std::vector<position_entry> entries = index.take_sorted_entries();
  const std::vector<std::vector<std::uint64_t>> runs = order_inputs(entries, index, gen_inputs, spill);

  log.to_both_flushed("Open all GEN files for reading...\n");
  // With a threshold above 0 an individual that one line alone supplies
  // gets that line's triple unchanged, so a split line can be copied.
  const bool copy_text = args.threshold > 0.0;
  line_feed feed(entries, index, gen_inputs, spill, runs, samples, copy_text);

  log.to_both_flushed("Merge...\n");
  std::vector<std::string> ids;
  for (std::size_t s = 0; s < samples.size(); ++s)
    ids.push_back(bgen_sample_id(samples.id_1(s), samples.id_2(s), args.bgen.ids));
  const std::unique_ptr<output_file> gen_file =
      open_gen_output(args.out_genotype_file, is_gz_name(args.out_genotype_file), args.streams,
                      args.bgen, &ids);
  output_file& gen_out = *gen_file;
  output_file sample_out(args.out_sample_file, is_gz_name(args.out_sample_file), args.streams);
  merge_run run{samples, args.threshold, log, {}, {}, {}, {}, 0, {}};
  run.probs.assign(3 * samples.size(), 0.0);
  run.texts.assign(samples.size(), std::string_view());
  run.by_text.assign(samples.size(), 0);
  run.missing.assign(samples.size(), 0);
  layout_cache layouts;
  std::vector<std::uint32_t> inputs, current_inputs;
  const layout* current = nullptr;
  std::uint64_t written = 0;
  for (std::size_t i = 0; i < entries.size();) {
    std::size_t end = i;
    while (end < entries.size() && entries[end].pos == entries[i].pos) ++end;
    if (!index.bad(entries[i].slot)) {
      const descriptor d = index.describe(entries[i].slot);
      inputs.clear();
      for (std::size_t e = i; e < end; ++e) inputs.push_back(entries[e].input);
      if (!current || inputs != current_inputs) {
        current = &layouts.get(samples, inputs);
        current_inputs = inputs;
      }
      const fed_line* lines = feed.position(i);
      for (std::size_t t = 0; t < end - i; ++t) {
        const position_entry& e = entries[i + t];
        if (lines[t].split)
          run.merge_columns(e, *lines[t].triples, current->shared_columns[t], d);
        else
          run.merge_line(e, lines[t].probabilities, d);
      }
      put_gen_head(gen_out, d.snp_id, d.rs_id, d.pos, d.allele_a, d.allele_b);
      for (const layout::run& r : current->runs) {
        if (r.what == layout::absent) {
          run.write_absent(gen_out, r.first, r.count);
        } else if (r.what == layout::copied && lines[r.line].split) {
          run.write_copied(gen_out, *lines[r.line].triples, entries[i + r.line].flip(), r.column,
                           r.first, r.count);
        } else {
          run.write_numbers(gen_out, r.first, r.count);
        }
      }
      gen_out.put('\n');
      if (written % 1000 == 0) {
        log.to_stdout(std::to_string(written) + "\r");
        std::fflush(stdout);
      }
      ++written;
    }
    i = end;
  }
  gen_out.finish();
  log.to_both_flushed("Number of mismatched overlapping loci: " +
                      std::to_string(run.mismatch_loci) + "\n");
  log.to_both_flushed("Number of merged SNPs: " + std::to_string(written) + "\n");

  samples.write(sample_out, run.missing);
  // A merged GEN file without its SAMPLE file is no result.
  commit_outputs({&gen_out, &sample_out});
  if (!bgen_summary(gen_out).empty()) log.to_both_flushed(bgen_summary(gen_out));
  return 0;
}

}  // namespace varnex
