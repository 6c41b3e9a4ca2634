// Faults found by the fuzz targets, one test each, so that the sanitizer
// build of the test suite keeps them found.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "formats/streams.hpp"
#include "temp_dir.hpp"

namespace varnex {
namespace {

// fuzz_modes: a subset run whose SAMPLE file lacks its header lines wrote an
// empty default view ({}), and memcpy from a null pointer is undefined even
// for zero bytes.
TEST(FuzzFindings, EmptyViewWithoutDataIsWrittenAsNothing) {
  testing::temp_dir dir;
  const std::string name = dir / "out";
  {
    output_file out(name, false);
    out.put(std::string_view{});
    out.put('\n');
    out.put(std::string_view{});
    out.close();
  }
  {
    output_file out(name + ".gz", true);
    out.put(std::string_view{});
    out.close();
  }
  input_file in(name, false);
  char buffer[8];
  EXPECT_EQ(in.read(buffer, sizeof buffer), 1u);
  EXPECT_EQ(buffer[0], '\n');
}

}  // namespace
}  // namespace varnex
