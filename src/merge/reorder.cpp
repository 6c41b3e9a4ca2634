#include "merge/reorder.hpp"

#include <algorithm>

#include "formats/ranges.hpp"
#include "formats/streams.hpp"

namespace varnex {

namespace {

// The file range read at once for one run: large enough that a run costs
// little to read back, small enough to hold.
constexpr std::uint64_t run_span = 8 << 20;
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
  std::vector<std::uint64_t> next(k, 0), lines(k, 0), bytes(k, 0);
  for (const position_entry& e : entries) {
    if (!wanted(e)) continue;
    if (e.offset() < next[e.input]) unordered[e.input] = 1;
    next[e.input] = e.offset() + 1;
    ++lines[e.input];
    bytes[e.input] += e.length;
  }
  // A long line is read alone at little more than the cost of its bytes;
  // copying pays only for short ones.
  for (std::size_t g = 0; g < k; ++g)
    if (bytes[g] >= long_line * lines[g]) unordered[g] = 0;
  if (std::find(unordered.begin(), unordered.end(), 1) == unordered.end() || !spill.usable()) return runs;

  std::vector<std::size_t> order;
  std::vector<std::pair<std::uint64_t, std::size_t>> by_offset;
  std::vector<char> text;
  for (std::size_t g = 0; g < k; ++g) {
    if (!unordered[g]) continue;
    // In file order, then chunk by chunk in position order (the order of the entries).
    by_offset.clear();
    for (std::size_t i = 0; i < entries.size(); ++i)
      if (entries[i].input == g && wanted(entries[i])) by_offset.emplace_back(entries[i].offset(), i);
    std::sort(by_offset.begin(), by_offset.end());
    order.resize(by_offset.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = by_offset[i].second;
    std::vector<std::pair<std::uint64_t, std::size_t>>().swap(by_offset);
    const int fd = gzip[g] ? spill.fd() : inputs[g]->fd();
    const std::string name = gzip[g] ? spill.description() : inputs[g]->name();
    for (std::size_t c = 0; c < order.size();) {
      const std::uint64_t start = entries[order[c]].offset();
      std::size_t end = c + 1;
      while (end < order.size() &&
             entries[order[end]].offset() + entries[order[end]].length - start <= run_span)
        ++end;
      const position_entry& last = entries[order[end - 1]];
      text.resize(static_cast<std::size_t>(last.offset() + last.length - start));
      if (read_at(fd, start, text.data(), text.size(), name) != text.size())
        throw run_failure("Can't read " + name);
      std::sort(order.begin() + static_cast<std::ptrdiff_t>(c), order.begin() + static_cast<std::ptrdiff_t>(end));
      for (std::size_t j = c; j < end; ++j) {
        position_entry& e = entries[order[j]];
        const std::uint64_t at =
            spill.append(std::string_view(text.data() + (e.offset() - start), e.length));
        if (j == c) runs[g].push_back(at);
        e.where = at | position_entry::in_spill | (e.where & position_entry::flipped);
      }
      c = end;
    }
  }
  std::vector<char>().swap(text);
  spill.finish();
  return runs;
}

}  // namespace varnex
