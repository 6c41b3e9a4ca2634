// SAMPLE rows and identifier lists as the subset mode reads them.
//
//   fam1 ind1 0 1 -9	        (row: ID_1 and ID_2, the rest copied as it is)
//   ind1 ind3
//   fam2                       (identifier list: any white-space-separated text)
//
// Rows are checked against a plain split, the identifier set against a
// std::set, and the list reader over a file holding the fuzzed bytes (plain,
// and under a gz name, where anything but gzip must end in io_error).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <string_view>

#include "formats/sample.hpp"
#include "formats/streams.hpp"
#include "formats/text.hpp"
#include "scratch.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::set<std::string> tokens;
  varnex::id_set ids;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) nl = text.size();
    const std::string_view line = text.substr(start, nl - start);
    start = nl + 1;

    varnex::sample_row row;
    varnex::field_cursor cursor(line);
    std::string_view id_1, id_2;
    const bool two = cursor.next(id_1) && cursor.next(id_2);
    if (varnex::split_sample_row(line, row) != two) __builtin_trap();
    if (two && (row.id_1 != id_1 || row.id_2 != id_2)) __builtin_trap();

    varnex::field_cursor words(line);
    std::string_view w;
    while (words.next(w)) {
      tokens.emplace(w);
      ids.add(w);
    }
  }
  ids.seal();
  if (ids.size() != tokens.size()) __builtin_trap();
  for (const std::string& t : tokens)
    if (!ids.contains(t)) __builtin_trap();
  if (!tokens.count("x-absent") && ids.contains("x-absent")) __builtin_trap();

  static const std::string plain = fuzz::scratch_file("varnex-fuzz-sample");
  static const std::string gz = plain + ".gz";
  for (const std::string* name : {&plain, &gz}) {
    std::FILE* f = std::fopen(name->c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    try {
      varnex::id_set list = varnex::read_id_list(*name);
      if (name == &plain && list.size() != tokens.size()) __builtin_trap();
    } catch (const varnex::io_error&) {
      if (name == &plain) __builtin_trap();
    }
  }
  std::remove(gz.c_str());
  return 0;
}

