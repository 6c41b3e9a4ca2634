// What a file's name says, and how its data is coded.
#pragma once

#include <cstddef>
#include <string_view>

namespace varnex {

// ".gz" anywhere in the name, case-sensitive: a.gz.gen and x.gzip count.
inline bool is_gz_name(std::string_view name) { return name.find(".gz") != std::string_view::npos; }

// Where the file's own name starts: after the last "/" of its folders.
inline std::size_t own_name_start(std::string_view name) {
  return name.find_last_of('/') + 1;  // npos + 1 is 0
}

// A GEN file name that means BGEN: it ends in ".bgen" (x.gz.bgen included;
// a ".gz" changes nothing for BGEN).
inline bool is_bgen_name(std::string_view name) { return name.ends_with(".bgen"); }

// "-": standard input where an input is named, standard output where an
// output is. A file of that name is still reached as "./-".
inline bool is_standard_stream(std::string_view name) { return name == "-"; }

// How gzip data is written and read. With one thread, gzip output is the
// single-stream compressor's; with more, blocks are compressed on that many
// threads (one gzip member, or BGZF when `bgzf` is set), and BGZF inputs are
// inflated on that many threads.
struct stream_options {
  int threads = 1;
  bool bgzf = false;
};

}  // namespace varnex
