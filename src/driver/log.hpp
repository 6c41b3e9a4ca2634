// The log and the progress lines of a run.
//
// Every message a mode prints goes through one `tee`: standard output first,
// then the log named by `log_file`. Each method is named for where its text
// goes. An "end of line" flush is kept where a person watches (standard output
// on a terminal); otherwise output is flushed at phase markers, count lines
// (`to_both_flushed`) and when the tee is closed, so a mode that prints one
// line per missing genotype does not spend its time flushing. Write errors on
// the log are ignored; a failed standard output is reported by
// `finish_stdout`.
//
// When standard output carries an output ("--og -"), the messages stay off it:
// the log gets what it always gets, text meant for the screen alone goes to
// the log instead (`to_screen`) or nowhere (`to_stdout`: counters, repeats of
// logged lines), and a refusal before the log is open goes to standard error.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// Name of the log, "varnex.log" unless "--log" replaces it.
extern std::string log_file;

namespace varnex {

class tee {
 public:
  tee() = default;
  ~tee() { close(); }
  tee(const tee&) = delete;
  tee& operator=(const tee&) = delete;

  // Opens `log_file` (truncating it, or appending to it).
  bool open(bool truncate);
  // open(), saying "Can't open log file: NAME" when it fails.
  bool open_or_report(bool truncate);
  void close();

  // Standard output, then the log; flushed only on a terminal.
  void to_both(std::string_view text) {
    to_stdout(text);
    to_log(text);
  }
  // Standard output, then the log, then both flushed: phase markers and counts.
  void to_both_flushed(std::string_view text) {
    to_both(text);
    flush();
  }
  // Standard output only (counters, screen forms of logged lines).
  void to_stdout(std::string_view text);
  // Standard output only, or the log when standard output carries data.
  void to_screen(std::string_view text);
  // The log only, unflushed.
  void to_log(std::string_view text);
  void flush();

  // Prints `message` and a line feed to standard output and the log; returns 1
  // so that a mode can `return t.fail(...)`.
  int fail(std::string_view message);

 private:
  std::FILE* log_ = nullptr;
};

// Gives standard output a large buffer unless it is a terminal; call before
// anything is printed.
void buffer_stdout();
// Standard output only, flushed on a terminal; standard error once
// `stdout_carries_data` was called.
void print_out(std::string_view text);
// From now on standard output is an output of the run: no message goes there.
void stdout_carries_data();
// Flushes standard output; false when it could not be written.
bool finish_stdout();

}  // namespace varnex
