// The outputs of a run: their names, their identity and how they reach disk.
//
// - Names are settled before the first output opens; a tag or ".gz" goes into
//   the file's own name, never into a folder (run.gz/a.gen.gz gives
//   run.gz/a.gen.subset.gz).
// - Two names are the same file when they reach the same file, existing or
//   not: s and ./s, d/p and d/../d/p, relative and absolute, a link and its
//   target. Character devices (/dev/null, a terminal) may be named twice.
// - A regular output (or one still to be created) is written to a temporary
//   file ".NAME.varnex-XXXXXX" beside the final file (beside the link's
//   target for a link) and renamed over it only when the run commits, so a
//   failed or stopped run leaves every name as it found it. Anything else (a
//   device, a FIFO, standard output as /dev/stdout or /proc/self/fd/N) is
//   written in place and never truncated, renamed over or unlinked; so is "-",
//   standard output.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace varnex {

// `name` with `tag` inserted before the first ".gz" of its last component,
// or appended without one.
std::string tagged_name(std::string_view name, std::string_view tag);

// A GEN output name with `tag`: a BGEN name keeps ".bgen" last (x.bgen and
// ".subset" give x.subset.bgen), any other is tagged as `tagged_name` does.
std::string tagged_gen_name(std::string_view name, std::string_view tag);

// ".gz" in the last component of the name (a folder run.gz does not count).
bool own_name_is_gz(std::string_view name);

// Appends ".gz" unless the last component already holds it, or the name is
// written in place (/dev/null stays /dev/null).
void append_gz(std::string& name);

// The names a run reads and writes, for the identity checks.
struct run_names {
  std::vector<std::string> inputs;
  std::vector<std::string> outputs;
  // Further names that the log must not be (names that are not read).
  std::vector<std::string> others;
};

// The refusal for names that clash, or "" when none do: "Log file L is the
// same file as X", "Output file X is the same file as input Y", "Output file
// X is the same file as Y", or the refusal to read "-" twice. Empty names are
// skipped; "-" is standard input among the inputs, standard output among the
// outputs.
std::string name_clash(const std::string& log, const run_names& names);

// Throws run_failure unless `name` can be read twice (a regular file or a
// character device): a pipe or FIFO would hang or lose the second reading.
void check_read_twice(const std::string& name);
// "" or the refusal of a log that is a pipe or FIFO.
std::string log_refusal(const std::string& log);

// Where an output_file writes. `open_output_target` creates the temporary
// file (or opens a special file in place) and registers the temporary file
// for removal on a signal; throws run_failure("Can't open NAME").
struct output_target {
  std::string name;       // as given
  std::string final_name; // the file renamed over (a link's target)
  std::string temp_name;  // empty when written in place
  int fd = -1;
};
output_target open_output_target(const std::string& name);
// Renames the finished temporary file over the final name (fd already closed);
// throws run_failure("Can't write NAME") when that fails, after removing it.
void commit_output_target(output_target& target);
// Removes the temporary file, if any; never touches anything else.
void discard_output_target(output_target& target);

// Writes all n bytes to `fd`, again after an interrupted or short write;
// false when a write fails.
bool write_all(int fd, const char* data, std::size_t n);

// Makes SIGINT, SIGTERM, SIGHUP and SIGQUIT remove every temporary output file
// of this process before it stops; `keep_outputs` forgets them at the end.
void remove_outputs_on_signal();
void keep_outputs();

// Holds back the stopping signals while the outputs of a run are renamed into
// place, so that a run ends with all of its outputs or none.
class signals_held {
 public:
  signals_held();
  ~signals_held();
  signals_held(const signals_held&) = delete;
  signals_held& operator=(const signals_held&) = delete;
};

}  // namespace varnex
