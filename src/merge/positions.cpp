#include "merge/positions.hpp"

#include <algorithm>
#include <limits>

#include "formats/gen.hpp"
#include "formats/text.hpp"
#include "merge/reconcile.hpp"

namespace varnex {

descriptor position_index::describe(std::uint32_t s) const {
  const slot& sl = slots_[s];
  field_cursor cursor(std::string_view(text_.data() + sl.text, sl.text_length));
  descriptor d;
  cursor.next(d.snp_id);
  cursor.next(d.rs_id);
  cursor.next(d.allele_a);
  cursor.next(d.allele_b);
  d.pos = sl.pos;
  if (sl.flags & snp_unknown) d.snp_id = "-9";
  if (sl.flags & rs_unknown) d.rs_id = "-9";
  return d;
}

namespace {

// A gzip input's text is kept while it is no longer than this: the whole of
// a small input, or the start of one that steps back early, then goes to the
// spill in one piece.
constexpr std::size_t head_limit = 1 << 20;

// Lines indexed at once; and the room of the lines an input reads before
// its turn (their leading fields and places: about 100 bytes a line).
constexpr std::size_t batch_lines = 64;
constexpr std::size_t read_ahead_limit = 16 << 20;

}  // namespace

std::size_t position_index::cell_of(std::uint32_t key) const {
  return cells_.empty() ? 0 : (key * 0x9E3779B97F4A7C15ull >> 20) & (cells_.size() - 1);
}

std::uint32_t position_index::slot_of(std::int32_t position, std::uint32_t fresh, bool& inserted) {
  if (2 * (used_cells_ + 1) > cells_.size()) {
    std::vector<std::uint64_t> old;
    old.swap(cells_);
    cells_.assign(std::max<std::size_t>(1024, 2 * old.size()), 0);
    const std::size_t mask = cells_.size() - 1;
    for (std::uint64_t c : old) {
      if (!c) continue;
      std::size_t i = cell_of(static_cast<std::uint32_t>(c >> 32));
      while (cells_[i]) i = (i + 1) & mask;
      cells_[i] = c;
    }
  }
  const std::size_t mask = cells_.size() - 1;
  const std::uint32_t key = static_cast<std::uint32_t>(position);
  std::size_t i = cell_of(key);
  for (;; i = (i + 1) & mask) {
    const std::uint64_t c = cells_[i];
    if (!c) break;
    if (static_cast<std::uint32_t>(c >> 32) == key) {
      inserted = false;
      return static_cast<std::uint32_t>(c) - 1;
    }
  }
  cells_[i] = (std::uint64_t{key} << 32) | (std::uint64_t{fresh} + 1);
  ++used_cells_;
  inserted = true;
  return fresh;
}

void position_index::move_to_spill(std::size_t first_entry, std::uint64_t base) {
  for (std::size_t i = first_entry; i < entries_.size(); ++i) {
    position_entry& e = entries_[i];
    if (!e.spilled())
      e.where = (base + e.offset()) | position_entry::in_spill | (e.where & position_entry::flipped);
  }
}

input_counts position_index::add_input(std::uint32_t input, line_reader& reader,
                                       bool compressed, std::size_t rows,
                                       const std::string& sample_name, spill_file& spill,
                                       tee& log, const index_turn& gate) {
  input_counts counts;
  std::int32_t previous = std::numeric_limits<std::int32_t>::min();
  bool spilling = false;
  // The text so far, line for line, so that offsets in it are offsets in the input.
  std::string head;
  bool keeping = compressed;
  bool my_turn = false;
  std::size_t first_entry = 0;
  auto turn = [&] {
    if (my_turn) return;
    gate.wait();
    my_turn = true;
    first_entry = entries_.size();
  };
  const std::size_t max_probabilities = 3 * rows;
  std::string_view line;
  std::string failure;
  pending_lines waiting;
  if (!gate.check) turn();  // no reading ahead
  for (;;) {
    try {
      if (!reader.next(line)) break;
    } catch (...) {
      // A failure to read: what was read before it counts as a bad line's would.
      turn();
      index_pending(input, waiting, counts, log);
      throw;
    }
    if (!my_turn && waiting.lines.size() % batch_lines == 0) gate.check();
    if (keeping) {
      if (head.size() + line.size() + 1 <= head_limit) {
        head.append(line);
        head += '\n';
      } else {
        keeping = false;
        std::string().swap(head);
      }
    }
    gen_line f = split_gen_line(line);
    if (f.leading_fields == 0) continue;
    // Probabilities beyond the individuals of the SAMPLE file mean the two
    // files are not a pair.
    if (f.leading_fields < 5 || !f.position_ok)
      failure = "it needs snp_id, rs_id, a position (32-bit integer), allele A and allele B";
    else if (more_fields_than(f.probabilities, max_probabilities))
      failure = std::to_string(count_fields(f.probabilities)) +
                " probabilities, more than 3 for each of the " + std::to_string(rows) +
                " individuals in SAMPLE file " + sample_name;
    else if (line.size() > std::numeric_limits<std::uint32_t>::max())
      failure = "too long";
    if (!failure.empty()) {
      failure = at(reader.name(), reader.line_number()) + failure;
      break;
    }

    std::uint64_t where = reader.offset();
    if (compressed && f.position < previous && !spilling) {
      spilling = true;
      // The lines read so far take their places first.
      turn();
      index_pending(input, waiting, counts, log);
      if (keeping) {
        // Everything so far, this line included, in one piece.
        const std::uint64_t base = spill.append(head);
        move_to_spill(first_entry, base);
        where = (base + where) | position_entry::in_spill;
        keeping = false;
        std::string().swap(head);
      } else {
        where = spill.append(line) | position_entry::in_spill;
      }
    } else if (spilling) {
      where = spill.append(line) | position_entry::in_spill;
    }
    previous = f.position;

    pending p;
    p.pos = f.position;
    p.length = static_cast<std::uint32_t>(line.size());
    p.where = where;
    // The leading fields in one piece, position and blanks included.
    const char* const lead = f.snp_id.data();
    p.text = waiting.text.size();
    waiting.text.append(lead, static_cast<std::size_t>(f.allele_b.data() + f.allele_b.size() - lead));
    const std::string_view fields[4] = {f.snp_id, f.rs_id, f.allele_a, f.allele_b};
    for (int i = 0; i < 4; ++i) {
      p.field_at[i] = static_cast<std::uint32_t>(fields[i].data() - lead);
      p.field_length[i] = static_cast<std::uint32_t>(fields[i].size());
    }
    waiting.lines.push_back(p);
    // Before its turn an input reads ahead until its waiting lines fill
    // their room; after, they are indexed a few at a time.
    const std::size_t held = waiting.lines.size() * sizeof(pending) + waiting.text.size();
    if (my_turn ? waiting.lines.size() == batch_lines || waiting.text.size() > (1u << 20)
                : held > read_ahead_limit) {
      turn();
      index_pending(input, waiting, counts, log);
    }
  }
  // What was read before a bad line counts (and reports) as it would alone.
  turn();
  index_pending(input, waiting, counts, log);
  if (!failure.empty()) throw run_failure(failure);
  // A small gzip input in order: into the spill as well, if one can be made.
  if (keeping && entries_.size() > first_entry && spill.usable())
    move_to_spill(first_entry, spill.append(head));
  return counts;
}

void position_index::index_pending(std::uint32_t input, pending_lines& waiting,
                                   input_counts& counts, tee& log) {
  for (std::size_t i = 0; i < waiting.lines.size(); i += batch_lines)
    index_batch(input, waiting.lines.data() + i, std::min(batch_lines, waiting.lines.size() - i),
                waiting.text, counts, log);
  waiting.lines.clear();
  waiting.text.clear();
}

void position_index::index_batch(std::uint32_t input, pending* lines, std::size_t n,
                                 const std::string& pending_text, input_counts& counts, tee& log) {
  pending* const end = lines + n;
  // Lines out of position order cost a cache miss at each step from the
  // position to its slot to its text: each step is taken for all the
  // lines of the batch before the next, so that the misses overlap.
  if (!cells_.empty())
    for (const pending* p = lines; p != end; ++p)
      __builtin_prefetch(cells_.data() + cell_of(static_cast<std::uint32_t>(p->pos)));
  for (pending* p = lines; p != end; ++p) {
    bool inserted = false;
    p->slot = slot_of(p->pos, static_cast<std::uint32_t>(slots_.size()), inserted);
    p->inserted = inserted;
    if (inserted) {
      slot sl{};
      sl.text = text_.size();
      sl.pos = p->pos;
      sl.last_input = sl.repeated_in = std::numeric_limits<std::uint32_t>::max();
      for (int i = 0; i < 4; ++i) {
        if (i) text_ += ' ';
        text_.append(pending_text, p->text + p->field_at[i], p->field_length[i]);
      }
      sl.text_length = static_cast<std::uint32_t>(text_.size() - sl.text);
      slots_.push_back(sl);
    } else {
      __builtin_prefetch(slots_.data() + p->slot);
    }
  }
  for (const pending* p = lines; p != end; ++p)
    if (!p->inserted) __builtin_prefetch(text_.data() + slots_[p->slot].text);

  std::string message;
  auto mismatched_name = [&](const char* field, std::string_view seen, std::string_view held) {
    message.assign("Mismatched overlap SNP ").append(field).append(": ").append(seen);
    log.to_both(message.append(" ").append(held).append("\n"));
  };
  for (const pending* q = lines; q != end; ++q) {
    const pending& p = *q;
    slot& sl = slots_[p.slot];
    std::uint64_t where = p.where;
    if (!p.inserted) {
      std::string_view f[4];
      for (int i = 0; i < 4; ++i)
        f[i] = std::string_view(pending_text.data() + p.text + p.field_at[i], p.field_length[i]);
      const std::string_view snp_id = f[0], rs_id = f[1], allele_a = f[2], allele_b = f[3];
      descriptor d = describe(p.slot);
      if (d.snp_id != snp_id && d.rs_id != snp_id) {
        mismatched_name("snp_id", snp_id, d.snp_id);
        sl.flags |= snp_unknown;
        d.snp_id = "-9";
      }
      if (d.rs_id != rs_id && d.snp_id != rs_id) {
        mismatched_name("rs_id", rs_id, d.rs_id);
        sl.flags |= rs_unknown;
      }
      if (allele_a != d.allele_a || allele_b != d.allele_b) {
        allele_verdict verdict = compare_alleles(allele_a, allele_b, d.allele_a, d.allele_b);
        message = "Mismatched alleles: ";
        message.append(std::to_string(p.pos)).append(" ");
        message.append(allele_a).append(" ").append(allele_b).append(" ");
        message.append(d.allele_a).append(" ").append(d.allele_b).append(" ");
        message.append(verdict_word(verdict)).append("\n");
        log.to_both(message);
        ++mismatched_alleles_;
        if (verdict_flips(verdict)) where |= position_entry::flipped;
        if (verdict == allele_verdict::different) sl.flags |= bad_flag;
      }
    }

    // The flip travels with the line it was found on: a repeated position
    // uses its last line, read the way that line's own alleles say.
    if (sl.last_input == input) {
      if (sl.repeated_in != input) {
        sl.repeated_in = input;
        ++counts.repeated;
      }
      position_entry& e = entries_[sl.last_entry];
      e.where = where;
      e.length = p.length;
    } else {
      sl.last_input = input;
      sl.last_entry = static_cast<std::uint32_t>(entries_.size());
      entries_.push_back({p.pos, input, p.slot, p.length, where});
    }
    ++counts.lines;
  }
}

std::vector<position_entry> position_index::take_sorted_entries() {
  std::vector<position_entry> entries;
  entries.swap(entries_);
  std::vector<std::uint64_t>().swap(cells_);
  used_cells_ = 0;
  // Slots (and their text) renumbered in position order, so that the merge,
  // which walks the positions in order, reads them front to back.
  {
    std::vector<std::uint32_t> order(slots_.size()), renamed(slots_.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return slots_[a].pos < slots_[b].pos; });
    std::vector<slot> slots(slots_.size());
    std::string text;
    text.reserve(text_.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) {
      const slot& old = slots_[order[i]];
      renamed[order[i]] = i;
      slots[i] = old;
      slots[i].text = text.size();
      text.append(text_, old.text, old.text_length);
    }
    for (position_entry& e : entries) e.slot = renamed[e.slot];
    slots_.swap(slots);
    text_.swap(text);
  }
  std::sort(entries.begin(), entries.end(), [](const position_entry& a, const position_entry& b) {
    return a.pos != b.pos ? a.pos < b.pos : a.input < b.input;
  });
  return entries;
}

}  // namespace varnex
