#include "driver/log.hpp"

#include <unistd.h>

#include "driver/progress.hpp"

namespace varnex {

namespace {

bool stdout_is_terminal() {
  static const bool terminal = ::isatty(STDOUT_FILENO) == 1;
  return terminal;
}

// Set once, before the log opens, when "-" names an output.
bool& data_on_stdout() {
  static bool on = false;
  return on;
}

}  // namespace

void stdout_carries_data() { data_on_stdout() = true; }

void buffer_stdout() {
  if (!stdout_is_terminal()) std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
}

void print_out(std::string_view text) {
  if (data_on_stdout()) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    return;
  }
  if (!stdout_is_terminal()) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    return;
  }
  // The progress line may share the terminal: it makes way for this text.
  print_over_progress(text);
}

bool finish_stdout() { return std::fflush(stdout) == 0 && !std::ferror(stdout); }

bool tee::open(bool truncate) {
  close();
  log_ = std::fopen(log_file.c_str(), truncate ? "w" : "a");
  if (log_) std::setvbuf(log_, nullptr, _IOFBF, 1 << 16);
  return log_ != nullptr;
}

bool tee::open_or_report(bool truncate) {
  if (open(truncate)) return true;
  print_out("Can't open log file: " + log_file + "\n");
  return false;
}

void tee::close() {
  if (!log_) return;
  std::fflush(stdout);
  std::fclose(log_);
  log_ = nullptr;
}

void tee::to_stdout(std::string_view text) {
  if (!data_on_stdout()) print_out(text);
}

void tee::to_screen(std::string_view text) {
  if (data_on_stdout())
    to_log(text);
  else
    print_out(text);
}

void tee::to_log(std::string_view text) {
  if (log_) std::fwrite(text.data(), 1, text.size(), log_);
}

void tee::flush() {
  std::fflush(stdout);
  if (log_) std::fflush(log_);
}

int tee::fail(std::string_view message) {
  to_both(message);
  to_both("\n");
  flush();
  return 1;
}

}  // namespace varnex
