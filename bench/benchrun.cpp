// Times shell commands side by side and prints wall time (minimum and
// median), CPU time, peak resident memory and the ratio to a baseline.
//
//   benchrun -n 5 zfloor 'zfloor in.gen.gz out.gen.gz'
//                 subset 'varnex -S --g in.gen.gz --start 1 --og out.gen.gz'
//
// Repetitions go round robin (every command once, then again), so a machine
// shared with other work slows all commands alike. Each command runs under
// /bin/sh -c with its standard output and error kept in a scratch file that
// is shown when the command fails. Peak memory comes from wait4: the largest
// resident set of the shell and every process it waited for.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

struct command {
  std::string label, text, output;
  std::vector<double> wall, cpu;
  long peak_kib = 0;
  int failed_status = 0;
};

double now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Runs one command; returns false when it did not exit with status 0.
bool run_once(command& c, bool record) {
  double start = now();
  pid_t pid = fork();
  if (pid < 0) {
    std::perror("benchrun: fork");
    std::exit(2);
  }
  if (pid == 0) {
    int fd = ::open(c.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
      ::close(fd);
    }
    int null = ::open("/dev/null", O_RDONLY);
    if (null >= 0) dup2(null, 0);
    execl("/bin/sh", "sh", "-c", c.text.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) < 0) {
    std::perror("benchrun: wait4");
    std::exit(2);
  }
  double wall = now() - start;
  bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!ok) c.failed_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (record) {
    c.wall.push_back(wall);
    c.cpu.push_back(seconds(usage.ru_utime) + seconds(usage.ru_stime));
    c.peak_kib = std::max(c.peak_kib, usage.ru_maxrss);
  }
  return ok;
}

[[noreturn]] void usage() {
  std::fputs(
      "usage: benchrun [-n REPS] [-w WARMUP] [-b BASELINE_LABEL] LABEL CMD [LABEL CMD ...]\n"
      "  REPS timed runs of each command (default 3), after WARMUP untimed ones (0);\n"
      "  ratios are to the first command unless -b names another label.\n",
      stderr);
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  int reps = 3, warmup = 0;
  std::string baseline;
  int i = 1;
  for (; i + 1 < argc && argv[i][0] == '-'; i += 2) {
    if (std::strcmp(argv[i], "-n") == 0) reps = std::max(1, std::atoi(argv[i + 1]));
    else if (std::strcmp(argv[i], "-w") == 0) warmup = std::max(0, std::atoi(argv[i + 1]));
    else if (std::strcmp(argv[i], "-b") == 0) baseline = argv[i + 1];
    else usage();
  }
  if (i >= argc || (argc - i) % 2 != 0) usage();

  const char* tmp = std::getenv("TMPDIR");
  std::string dir = tmp && *tmp ? tmp : "/tmp";
  std::vector<command> commands;
  for (; i < argc; i += 2) {
    command c;
    c.label = argv[i];
    c.text = argv[i + 1];
    c.output = dir + "/benchrun." + std::to_string(getpid()) + "." +
               std::to_string(commands.size()) + ".out";
    commands.push_back(c);
  }
  std::size_t base = 0;
  if (!baseline.empty()) {
    auto it = std::find_if(commands.begin(), commands.end(),
                           [&](const command& c) { return c.label == baseline; });
    if (it == commands.end()) usage();
    base = static_cast<std::size_t>(it - commands.begin());
  }

  bool any_failed = false;
  for (int r = 0; r < warmup + reps; ++r) {
    for (command& c : commands) {
      if (c.failed_status) continue;
      if (!run_once(c, r >= warmup)) {
        any_failed = true;
        std::printf("FAILED (status %d): %s\n", c.failed_status, c.label.c_str());
        std::fflush(stdout);
        std::string tail = "tail -n 20 '" + c.output + "'";
        if (std::system(tail.c_str()) != 0) {
        }
      }
    }
  }

  std::size_t width = 7;
  for (const command& c : commands) width = std::max(width, c.label.size());
  std::printf("%-*s %5s %9s %9s %9s %9s %8s %8s\n", static_cast<int>(width), "command", "runs",
              "min s", "median s", "cpu s", "peak MiB", "min x", "med x");
  const command& b = commands[base];
  double base_min = b.wall.empty() ? 0 : *std::min_element(b.wall.begin(), b.wall.end());
  double base_med = b.wall.empty() ? 0 : median(b.wall);
  for (const command& c : commands) {
    if (c.failed_status || c.wall.empty()) {
      std::printf("%-*s failed with status %d\n", static_cast<int>(width), c.label.c_str(),
                  c.failed_status);
      continue;
    }
    double mn = *std::min_element(c.wall.begin(), c.wall.end());
    double md = median(c.wall);
    std::printf("%-*s %5zu %9.3f %9.3f %9.3f %9.1f", static_cast<int>(width), c.label.c_str(),
                c.wall.size(), mn, md, median(c.cpu), static_cast<double>(c.peak_kib) / 1024.0);
    if (base_min > 0 && !b.failed_status)
      std::printf(" %8.2f %8.2f\n", mn / base_min, md / base_med);
    else
      std::printf(" %8s %8s\n", "-", "-");
  }
  for (const command& c : commands)
    if (!c.failed_status) ::unlink(c.output.c_str());
  return any_failed ? 1 : 0;
}
