#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "driver/varnex.hpp"
#include "formats/streams.hpp"

int main(int argc, char** argv) {
  // A standard stream closed by the caller would hand its descriptor to the
  // first file opened (the log, an output), and the lines meant for it would
  // land there. Fill the gap: standard output with a descriptor that refuses
  // writes, so that its loss is still reported by the exit status.
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    int null = ::open("/dev/null", fd == 2 ? O_WRONLY : O_RDONLY);
    if (null >= 0 && null != fd) {
      ::dup2(null, fd);
      ::close(null);
    }
  }
  // A reader that goes away (varnex ... | head) must not kill the run halfway
  // through an output file: the failed write to standard output is reported
  // by the exit status instead, after the outputs are complete.
  std::signal(SIGPIPE, SIG_IGN);
  // Merge keeps every GEN input open at once: allow as many files as the
  // system lets this process have, not just the usual soft limit of 1024.
  struct rlimit files;
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
  }
  // Interrupted, a run leaves none of its outputs behind.
  varnex::remove_outputs_on_signal();
  int status = varnex::varnex_main(argc, argv);
  varnex::keep_outputs();
  return status;
}
