// The progress line of a long run, on standard error only:
//
//   varnex: 1.2 GB of 3.4 GB (35%), 48.1 MB/s, 0:45 left
//
// Shown only when standard error is a terminal and the run's inputs hold more
// than 50 MB, redrawn four times a second from what the input readers have
// counted (`read_so_far`), and erased when the run ends. Standard output and
// the log never see it: a line written to standard output on the same
// terminal first erases it, and the next redraw brings it back below.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/crew.hpp"
#include "formats/streams.hpp"

namespace varnex {

class progress_line {
 public:
  // Starts the display when `wanted` (no --quiet) and standard error is a terminal.
  explicit progress_line(bool wanted);
  ~progress_line();
  progress_line(const progress_line&) = delete;
  progress_line& operator=(const progress_line&) = delete;

 private:
  void run();
  crew crew_;  // the drawing thread, when there is one
};

// The text of the line for what has been read after `seconds`; empty while
// the run is too small to show one.
std::string progress_text(const input_meter& m, double seconds);

// Writes `text` to standard output on a terminal (flushed at a line end),
// erasing a progress line first and keeping it from being redrawn meanwhile.
void print_over_progress(std::string_view text);

}  // namespace varnex
