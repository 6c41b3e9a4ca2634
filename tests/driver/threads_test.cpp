// --threads and --bgzf reach the outputs of every mode that writes gzip.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/varnex.hpp"
#include "temp_dir.hpp"

extern std::string log_file;

namespace varnex {
namespace {

using testing::read_file;
using testing::temp_dir;
using testing::write_file;

int run(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  const std::string saved = log_file;
  int status = varnex_main(static_cast<int>(argv.size()), argv.data());
  log_file = saved;
  return status;
}

TEST(Threads, OptionsDecideHowGzipOutputsAreWritten) {
  temp_dir dir;
  std::string text;
  for (int k = 0; text.size() < 400000; ++k)
    text += "22 rs" + std::to_string(k) + " " + std::to_string(1000 + k) + " A G 0 1 0 0.2 0.7 0.1 1 0 0\n";
  write_file(dir / "in.gen", text);
  write_file(dir / "in.strand", "");
  auto orient = [&](const std::string& out, std::vector<std::string> extra) {
    std::vector<std::string> args = {"varnex", "-O", "--g", dir / "in.gen", "--strand", dir / "in.strand",
                                     "--og", dir / out, "--log", dir / "x.log"};
    args.insert(args.end(), extra.begin(), extra.end());
    EXPECT_EQ(run(args), 0);
    return read_file(dir / out);
  };
  const std::string one = orient("one.gz", {"--threads", "1"});
  const std::string three = orient("three.gz", {"--threads", "3"});
  const std::string bgzf = orient("bgzf.gz", {"--threads", "2", "--bgzf"});
  EXPECT_NE(one, three);  // blocks end with sync flushes
  EXPECT_EQ(one.substr(0, 4), std::string("\x1f\x8b\x08\x00", 4));
  EXPECT_EQ(three.substr(0, 4), std::string("\x1f\x8b\x08\x00", 4));
  EXPECT_EQ(bgzf.substr(0, 4) + bgzf.substr(12, 2), std::string("\x1f\x8b\x08\x04", 4) + "BC");
  // -S reads the BGZF file back on several threads and writes BGZF again.
  EXPECT_EQ(run({"varnex", "-S", "--g", dir / "bgzf.gz", "--start", "0", "--og", dir / "s.gz", "--log",
                 dir / "x.log", "--bgzf", "--threads", "2"}),
            0);
  EXPECT_EQ(read_file(dir / "s.gz").substr(12, 2), "BC");
}

}  // namespace
}  // namespace varnex
