#include "driver/progress.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>

namespace varnex {

namespace {

constexpr std::uint64_t worth_showing = 50'000'000;  // bytes

// The terminal is shared with standard output: the line is drawn and erased
// under this lock, and `drawn` says whether it is on the screen now.
std::mutex screen;
bool drawn = false;
std::atomic<bool> showing{false};

// A terminal that went away leaves nothing to show the line on: not an error.
void to_stderr(const std::string& text) { write_all(STDERR_FILENO, text.data(), text.size()); }

void erase_line() {
  if (drawn) to_stderr("\r\033[K");
  drawn = false;
}

std::string size_text(double bytes) {
  char text[32];
  if (bytes < 1e9)
    std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
  else
    std::snprintf(text, sizeof text, "%.1f GB", bytes / 1e9);
  return text;
}

std::string time_text(double seconds) {
  if (!(seconds < 360000.0)) return "--:--";
  long s = static_cast<long>(seconds + 0.5);
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

}  // namespace

std::string progress_text(const input_meter& m, double seconds) {
  if (m.bytes_opened < worth_showing && m.bytes_read < worth_showing) return {};
  const double rate = seconds > 0 ? static_cast<double>(m.bytes_read) / seconds : 0.0;
  // A file without a size (a pipe), or one read twice, leaves no total to
  // measure against: the lines then show how far the run is.
  if (!m.sizes_known || m.bytes_read > m.bytes_opened) {
    char lines[32];
    std::snprintf(lines, sizeof lines, "%" PRIu64, m.lines);
    return "varnex: " + std::string(lines) + " lines, " + size_text(m.bytes_read) + " read, " +
           size_text(rate) + "/s";
  }
  const double total = static_cast<double>(m.bytes_opened);
  const double left = static_cast<double>(m.bytes_opened - m.bytes_read);
  char percent[16];
  std::snprintf(percent, sizeof percent, "%d%%",
                static_cast<int>(100.0 * static_cast<double>(m.bytes_read) / total));
  return "varnex: " + size_text(static_cast<double>(m.bytes_read)) + " of " + size_text(total) +
         " (" + percent + "), " + size_text(rate) + "/s, " +
         time_text(rate > 0 ? left / rate : 1e99) + " left";
}

progress_line::progress_line(bool wanted) {
  if (!wanted || ::isatty(STDERR_FILENO) != 1) return;
  showing = true;
  crew_.threads.emplace_back([this] { run(); });
}

progress_line::~progress_line() {
  if (crew_.threads.empty()) return;
  crew_.stop();
  std::lock_guard<std::mutex> lock(screen);
  erase_line();
  showing = false;
}

void progress_line::run() {
  const auto start = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> lock(crew_.mutex);
  while (!crew_.changed.wait_for(lock, std::chrono::milliseconds(250),
                                 [this] { return crew_.stopping; })) {
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::string text = progress_text(read_so_far(), elapsed.count());
    if (text.empty()) continue;
    // One row only: a wrapped line could not be erased by a carriage return.
    struct winsize size;
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 &&
        text.size() >= size.ws_col)
      text.resize(size.ws_col - 1);
    std::lock_guard<std::mutex> draw(screen);
    to_stderr("\r" + text + "\033[K");
    drawn = true;
  }
}

void print_over_progress(std::string_view text) {
  std::unique_lock<std::mutex> lock(screen, std::defer_lock);
  if (showing) {
    lock.lock();
    erase_line();
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (!text.empty() && text.back() == '\n') std::fflush(stdout);
}

}  // namespace varnex
