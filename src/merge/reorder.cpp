#include "merge/reorder.hpp"

#include <algorithm>

namespace varnex {

namespace {

// The file range read at once for one run: large enough that a run costs
// little to read back, small enough to hold.
constexpr std::uint64_t run_span = 2 << 20;
// Lines this long on average are read one by one where they stand.
constexpr std::uint64_t long_line = 2048;

}  // namespace

std::vector<std::vector<std::uint64_t>> order_inputs(std::vector<position_entry>& entries,
                                                     const position_index& index,
                                                     const std::vector<std::unique_ptr<input_file>>& inputs,
                                                     spill_file& spill) {
  const std::size_t k = inputs.size();
  std::vector<std::vector<std::uint64_t>> runs(k);
  // A gzip input's own lines are read in order by construction; only its
  // spilled ones can stand out of order.
  std::vector<char> gzip(k), unordered(k, 0);
  for (std::size_t g = 0; g < k; ++g) gzip[g] = inputs[g]->compressed();
  auto wanted = [&](const position_entry& e) { return !index.bad(e.slot) && (!gzip[e.input] || e.spilled()); };
  std::vector<std::uint64_t> next(k, 0), lines(k, 0), bytes(k, 0), last(k, 0);
  for (const position_entry& e : entries) {
    if (!wanted(e)) continue;
    if (e.offset() < next[e.input]) unordered[e.input] = 1;
    next[e.input] = e.offset() + 1;
    last[e.input] = std::max(last[e.input], e.offset());
    ++lines[e.input];
    bytes[e.input] += e.length;
  }
  // A long line is read alone at little more than the cost of its bytes;
  // copying pays only for short ones.
  for (std::size_t g = 0; g < k; ++g)
    if (bytes[g] >= long_line * lines[g]) unordered[g] = 0;
  if (std::find(unordered.begin(), unordered.end(), 1) == unordered.end() || !spill.usable()) return runs;

  // One run per input and file range of run_span bytes: its lines are put
  // in place by counting, taken in position order (the order of the
  // entries), so that no sort is needed.
  std::vector<std::size_t> first_run(k + 1, 0);
  for (std::size_t g = 0; g < k; ++g)
    first_run[g + 1] = first_run[g] + (unordered[g] ? last[g] / run_span + 1 : 0);
  const std::size_t n_runs = first_run[k];
  std::vector<std::size_t> run_start(n_runs + 1, 0);
  std::vector<std::uint64_t> low(n_runs, UINT64_MAX), high(n_runs, 0);
  auto run_of = [&](const position_entry& e) {
    return first_run[e.input] + static_cast<std::size_t>(e.offset() / run_span);
  };
  for (const position_entry& e : entries) {
    if (!unordered[e.input] || !wanted(e)) continue;
    const std::size_t r = run_of(e);
    ++run_start[r + 1];
    low[r] = std::min(low[r], e.offset());
    high[r] = std::max(high[r], e.offset() + e.length);
  }
  for (std::size_t r = 0; r < n_runs; ++r) run_start[r + 1] += run_start[r];
  // Entry indices fit 32 bits (the index numbers its entries so).
  std::vector<std::uint32_t> order(run_start[n_runs]);
  {
    std::vector<std::size_t> fill(run_start.begin(), run_start.end() - 1);
    for (std::size_t i = 0; i < entries.size(); ++i)
      if (unordered[entries[i].input] && wanted(entries[i])) order[fill[run_of(entries[i])]++] = static_cast<std::uint32_t>(i);
  }
  std::unique_ptr<char[]> text;  // not zeroed
  std::size_t room = 0;
  for (std::size_t g = 0; g < k; ++g) {
    const int fd = gzip[g] ? spill.fd() : inputs[g]->fd();
    const std::string name = gzip[g] ? spill.description() : inputs[g]->name();
    for (std::size_t r = first_run[g]; r < first_run[g + 1]; ++r) {
      if (run_start[r] == run_start[r + 1]) continue;
      const std::uint64_t start = low[r];
      const std::size_t size = static_cast<std::size_t>(high[r] - start);
      if (size > room) {
        text.reset();
        text.reset(new char[size]);
        room = size;
      }
      if (read_at(fd, start, text.get(), size, name) != size) throw run_failure("Can't read " + name);
      for (std::size_t j = run_start[r]; j < run_start[r + 1]; ++j) {
        position_entry& e = entries[order[j]];
        const std::uint64_t at =
            spill.append(std::string_view(text.get() + (e.offset() - start), e.length));
        if (j == run_start[r]) runs[g].push_back(at);
        e.where = at | position_entry::in_spill | (e.where & position_entry::flipped);
      }
    }
  }
  text.reset();
  spill.finish();
  return runs;
}

}  // namespace varnex
