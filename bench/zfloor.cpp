// The floor of a streaming mode on one thread: zlib alone reading a file in
// 1 MiB blocks (gzip or plain, gzread decides) and counting its lines, and,
// when an output is named, writing the same bytes back (gzwrite at level 6
// when the name contains ".gz", plain write otherwise).
//
//   zfloor chr22.gen.gz out.gen.gz
//
// No varnex mode that reads and writes that much data can be faster than this.
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

[[noreturn]] void die(const std::string& what) {
  std::fprintf(stderr, "zfloor: %s\n", what.c_str());
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  int level = 6;
  int i = 1;
  if (i + 1 < argc && std::strcmp(argv[i], "--level") == 0) {
    level = std::atoi(argv[i + 1]);
    i += 2;
  }
  if (argc - i < 1 || argc - i > 2) {
    std::fputs("usage: zfloor [--level L] IN [OUT]\n", stderr);
    return 2;
  }
  const std::string in_name = argv[i];
  const std::string out_name = argc - i == 2 ? argv[i + 1] : "";

  gzFile in = gzopen(in_name.c_str(), "rb");
  if (!in) die("cannot open " + in_name);
  gzbuffer(in, 1 << 20);

  gzFile gz_out = nullptr;
  int plain_out = -1;
  if (!out_name.empty()) {
    if (out_name.find(".gz") != std::string::npos) {
      char mode[8];
      std::snprintf(mode, sizeof mode, "wb%d", level);
      gz_out = gzopen(out_name.c_str(), mode);
      if (!gz_out) die("cannot create " + out_name);
      gzbuffer(gz_out, 1 << 20);
    } else {
      plain_out = ::open(out_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      if (plain_out < 0) die("cannot create " + out_name);
    }
  }

  std::vector<char> block(1 << 20);
  unsigned long long bytes = 0, lines = 0;
  for (;;) {
    int got = gzread(in, block.data(), static_cast<unsigned>(block.size()));
    if (got < 0) die("cannot read " + in_name);
    if (got == 0) break;
    bytes += static_cast<unsigned>(got);
    for (const char* p = block.data(); (p = static_cast<const char*>(
                                            std::memchr(p, '\n', block.data() + got - p)));
         ++p)
      ++lines;
    if (gz_out && gzwrite(gz_out, block.data(), static_cast<unsigned>(got)) != got)
      die("cannot write " + out_name);
    if (plain_out >= 0) {
      for (const char* p = block.data(); p < block.data() + got;) {
        ssize_t w = ::write(plain_out, p, block.data() + got - p);
        if (w <= 0) die("cannot write " + out_name);
        p += w;
      }
    }
  }
  gzclose(in);
  if (gz_out && gzclose(gz_out) != Z_OK) die("cannot write " + out_name);
  if (plain_out >= 0 && ::close(plain_out) != 0) die("cannot write " + out_name);
  std::printf("%llu bytes, %llu lines\n", bytes, lines);
  return 0;
}
