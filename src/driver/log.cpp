#include "driver/log.hpp"

#include <unistd.h>

#include "driver/progress.hpp"

namespace varnex {

namespace {

bool stdout_is_terminal() {
  static const bool terminal = ::isatty(STDOUT_FILENO) == 1;
  return terminal;
}

}  // namespace

void buffer_stdout() {
  if (!stdout_is_terminal()) std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
}

void print_out(std::string_view text) {
  if (!stdout_is_terminal()) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    return;
  }
  // The progress line may share the terminal: it makes way for this text.
  progress_pause pause;
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (!text.empty() && text.back() == '\n') std::fflush(stdout);
}

bool finish_stdout() { return std::fflush(stdout) == 0 && !std::ferror(stdout); }

bool tee::open(bool truncate) {
  close();
  log_ = std::fopen(log_file.c_str(), truncate ? "w" : "a");
  if (log_) std::setvbuf(log_, nullptr, _IOFBF, 1 << 16);
  return log_ != nullptr;
}

void tee::close() {
  if (!log_) return;
  std::fflush(stdout);
  std::fclose(log_);
  log_ = nullptr;
}

void tee::out(std::string_view text) { print_out(text); }

void tee::log(std::string_view text) {
  if (log_) std::fwrite(text.data(), 1, text.size(), log_);
}

void tee::flush() {
  std::fflush(stdout);
  if (log_) std::fflush(log_);
}

int tee::fail(std::string_view message) {
  note(message);
  note("\n");
  flush();
  return 1;
}

}  // namespace varnex
