#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "driver/varnex.hpp"

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
  return varnex::varnex_main(argc, argv);
}
