// Writes the man page and the bash completion script from the option table:
//
//   varnex_docs varnex.1.in varnex.1 varnex.bash-completion
//
// The man page template holds the hand-written text; each "@OPTIONS -X@" line
// becomes the options of mode -X, "@GENERAL OPTIONS@" those of every mode and
// "@VERSION@" the version.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "driver/options.hpp"

namespace {

bool write(const char* name, const std::string& text) {
  std::ofstream out(name, std::ios::binary);
  out << text;
  out.close();
  if (!out) std::cerr << "varnex_docs: can't write " << name << "\n";
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: varnex_docs TEMPLATE MAN_PAGE COMPLETION\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::cerr << "varnex_docs: can't read " << argv[1] << "\n";
    return 1;
  }
  std::string page, line;
  while (std::getline(in, line)) {
    if (line == "@GENERAL OPTIONS@") {
      page += varnex::man_general_options();
      continue;
    }
    const varnex::mode_row* m = line.size() > 10 && line.compare(0, 9, "@OPTIONS ") == 0
                                    ? varnex::find_mode(line.substr(9, line.size() - 10).c_str())
                                    : nullptr;
    if (m) {
      page += varnex::man_options(m->id);
      continue;
    }
    for (std::size_t at; (at = line.find("@VERSION@")) != std::string::npos;)
      line.replace(at, 9, varnex::version);
    page += line + "\n";
  }
  return write(argv[2], page) && write(argv[3], varnex::bash_completion()) ? 0 : 1;
}
