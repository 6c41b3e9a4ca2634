// Strand files and the per-SNP rewrite of the orient mode.
//
//   752566 -                                   (strand line)
//   SNP_A rs1 752566 A G 0.1 0.2 0.7 1 0 0     (GEN line)
//
// Every line is read both ways. Strand lines go into the strand map, checked
// against a plain ordered map (a later line for a position wins). GEN lines
// are rewritten by orient_snp into a buffer of exactly the size it asks for,
// so that a write past it is caught, and compared with a plain rebuild:
// alleles complemented for '-', swapped into order with every triple reversed
// under --order, tokens copied as they are, incomplete triples dropped.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/gen.hpp"
#include "formats/strand.hpp"
#include "formats/text.hpp"
#include "orient/orient.hpp"

namespace {

std::string rebuild(const varnex::gen_line& g, char orientation, bool order) {
  std::string_view probabilities = g.probabilities, a = g.allele_a, b = g.allele_b;
  if (orientation == '-') {
    a = varnex::complement_allele(a, a);
    b = varnex::complement_allele(b, b);
  }
  const bool swap = order && b < a;
  if (swap) std::swap(a, b);
  std::string text = std::string(g.snp_id) + ' ' + std::string(g.rs_id) + ' ' + std::to_string(g.position) + ' ';
  text += a;
  text += ' ';
  text += b;
  std::vector<std::string_view> tokens;
  varnex::field_cursor cursor(probabilities);
  std::string_view t;
  while (cursor.next(t)) tokens.push_back(t);
  for (std::size_t i = 0; i + 3 <= tokens.size(); i += 3) {
    for (int j = 0; j < 3; ++j) {
      text += ' ';
      text += tokens[i + (swap ? 2 - j : j)];
    }
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const bool order = data[0] & 1;
  const char orientation = (data[0] & 2) ? '-' : '+';
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  varnex::strand_map strand;
  std::map<std::int32_t, char> expected;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) nl = text.size();
    const std::string_view line = text.substr(start, nl - start);
    start = nl + 1;

    const varnex::strand_line s = varnex::parse_strand_line(line);
    if (s.position_ok) {
      std::int32_t p = 0;
      if (!varnex::parse_int32(s.position_text, p) || p != s.position) __builtin_trap();
    }
    if (s.orientation != 0) {
      if (!s.position_ok || s.orientation != s.token[0] || s.token.size() != 1 ||
          (s.orientation != '+' && s.orientation != '-'))
        __builtin_trap();
      strand.add(s.position, s.orientation);
      expected[s.position] = s.orientation;
    }

    const varnex::gen_line g = varnex::split_gen_line(line);
    if (g.leading_fields == 5) {
      const std::size_t bound = varnex::orient_snp_bound(g);
      std::unique_ptr<char[]> out(new char[bound]);
      char* end = varnex::orient_snp(g, orientation, order, out.get());
      if (end < out.get() || end > out.get() + bound) __builtin_trap();
      if (std::string_view(out.get(), end - out.get()) != rebuild(g, orientation, order))
        __builtin_trap();
    }
  }
  strand.finish();
  if (strand.size() != expected.size()) __builtin_trap();
  for (const auto& e : expected) {
    if (strand.find(e.first) != e.second) __builtin_trap();
    if (e.first != INT32_MAX && !expected.count(e.first + 1) && strand.find(e.first + 1) != 0)
      __builtin_trap();
  }
  if (expected.empty() && strand.find(0) != 0) __builtin_trap();
  return 0;
}
