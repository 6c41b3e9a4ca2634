// Whole runs of every mode, in-process, on small fuzzed files.
//
// Input layout: byte 0 picks the mode, bytes 1-2 hold two bits per file (a
// gz name, gzip contents: the two are independent, so plain text under a gz
// name and gzip data under a plain name both occur). The rest is split at
// 0x1e: the first section holds extra arguments ("@3" stands for the name of
// file 3), the next five the contents of files f1..f5. Runs happen in a
// scratch directory and arguments with '/' are dropped, so no name leaves it.
//
// After every run: no input named on the command line has changed, and a run
// that failed left no new file behind but the log.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "driver/log.hpp"
#include "driver/options.hpp"
#include "driver/varnex.hpp"
#include "formats/streams.hpp"

#include "scratch.hpp"

namespace {

constexpr int files = 5;

const char* const base_lines[6][8] = {
    {"-S", "--g", "@1", "--s", "@2", nullptr},
    {"-P", "--ped", "@1", "--map", "@2", nullptr},
    {"-G", "--g", "@1", "--s", "@2", nullptr},
    {"-M", "--g", "@1", "@2", "--s", "@3", "@4", nullptr},
    {"-O", "--g", "@1", "--strand", "@2", nullptr},
    {"-U", "--s", "@1", nullptr},
};

// Per mode, the long names of the options whose value it reads (merge reads
// only what "--g"/"--s" collect), from the option table.
std::set<std::string> input_options_of(int mode) {
  std::set<std::string> names;
  for (const varnex::option_row& row : varnex::option_table) {
    const varnex::option_use* use = row.use_in(static_cast<varnex::mode>(mode));
    if (use && use->in != varnex::mode::any && use->as == varnex::role::input)
      names.insert(row.name);
  }
  return names;
}

const std::set<std::string> input_options[6] = {input_options_of(0), input_options_of(1),
                                                input_options_of(2), input_options_of(3),
                                                input_options_of(4), input_options_of(5)};

std::set<std::string> listing() {
  std::set<std::string> names;
  DIR* d = opendir(".");
  if (!d) std::abort();
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n != "." && n != "..") names.insert(n);
  }
  closedir(d);
  return names;
}

void empty_scratch() {
  for (const std::string& n : listing())
    if (unlink(n.c_str()) != 0) rmdir(n.c_str());
}

bool slurp(const std::string& name, std::string& out) {
  std::FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) return false;
  out.clear();
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return true;
}

void write_file(const std::string& name, const std::string& text, bool gzip) {
  if (gzip) {
    gzFile g = gzopen(name.c_str(), "wb");
    if (!g) std::abort();
    if (!text.empty()) gzwrite(g, text.data(), static_cast<unsigned>(text.size()));
    gzclose(g);
  } else {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
}

// The names the run reads: the last value of each single input option, and
// everything that "--g"/"--s" collect after "-M".
std::set<std::string> inputs_named(int mode, const std::vector<std::string>& args) {
  std::map<std::string, std::string> last;
  std::set<std::string> collected;
  bool merge_seen = false;
  for (std::size_t i = 1; i < args.size();) {
    const std::string& a = args[i];
    if (a == "-M") merge_seen = true;
    const varnex::option_row* row = varnex::find_option(a.c_str());
    const varnex::option_use* in_merge = row ? row->use_in(varnex::mode::merge) : nullptr;
    bool collects = merge_seen && in_merge && in_merge->as == varnex::role::inputs;
    if (collects) {
      std::size_t j = i + 1;
      while (j < args.size() && args[j][0] != '-') collected.insert(args[j++]);
      i = j;
    } else if (row && row->takes_value()) {
      if (i + 1 < args.size()) last[row->name] = args[i + 1];
      i += 2;
    } else {
      ++i;
    }
  }
  std::set<std::string> names = collected;
  for (const auto& kv : last)
    if (input_options[mode].count(kv.first)) names.insert(kv.second);
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_scratch_dir("varnex-fuzz-modes");
  // Standard output of the runs goes nowhere, and never fails.
  int null = open("/dev/null", O_WRONLY);
  if (null < 0 || dup2(null, STDOUT_FILENO) < 0) std::abort();
  close(null);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const int mode = data[0] % 6;
  const unsigned bits = data[1] | data[2] << 8;
  std::vector<std::string> sections(1);
  for (std::size_t i = 3; i < size; ++i) {
    if (data[i] == 0x1e) {
      sections.emplace_back();
    } else {
      sections.back() += static_cast<char>(data[i]);
    }
  }

  std::string names[files + 1];
  for (int k = 1; k <= files; ++k)
    names[k] = "f" + std::to_string(k) + ((bits >> (2 * (k - 1))) & 1 ? ".gz" : "");

  std::vector<std::string> args{"varnex"};
  auto add = [&](const std::string& token) {
    if (token.size() == 2 && token[0] == '@' && token[1] >= '1' && token[1] <= '5')
      args.push_back(names[token[1] - '0']);
    else
      args.push_back(token);
  };
  for (const char* const* p = base_lines[mode]; *p; ++p) add(*p);
  {
    const std::string& extra = sections[0];
    std::string token;
    for (std::size_t i = 0; i <= extra.size(); ++i) {
      char c = i < extra.size() ? extra[i] : ' ';
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        if (!token.empty()) add(token);
        token.clear();
      } else {
        token += c;
      }
    }
  }
  if (args.size() > 40) return 0;
  for (const std::string& a : args)
    if (a.empty() || a.find('/') != std::string::npos || a.find('\0') != std::string::npos)
      return 0;

  empty_scratch();
  std::map<std::string, std::string> written;
  for (int k = 1; k <= files && k < static_cast<int>(sections.size()); ++k) {
    write_file(names[k], sections[k], (bits >> (2 * (k - 1) + 1)) & 1);
    std::string back;
    if (!slurp(names[k], back)) std::abort();
    written[names[k]] = back;
  }
  const std::set<std::string> before = listing();

  log_file = "varnex.log";
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::clearerr(stdout);
  const int status = varnex::varnex_main(static_cast<int>(args.size()), argv.data());
  std::fflush(stdout);
  varnex::keep_outputs();

  for (const std::string& name : inputs_named(mode, args)) {
    auto it = written.find(name);
    if (it == written.end()) continue;
    std::string now;
    if (!slurp(name, now) || now != it->second) {
      std::fprintf(stderr, "input %s changed (status %d)\n", name.c_str(), status);
      __builtin_trap();
    }
  }
  if (status != 0) {
    for (const std::string& name : listing())
      if (!before.count(name) && name != log_file) {
        std::fprintf(stderr, "failed run left %s behind\n", name.c_str());
        __builtin_trap();
      }
  }
  if (status != 0 && status != 1) __builtin_trap();
  return 0;
}
