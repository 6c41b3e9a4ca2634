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
  EXPECT_EQ(testing::written([](output_file& out) {
              out.put(std::string_view{});
              out.put('\n');
              out.put(std::string_view{});
            }),
            "\n");
  testing::temp_dir dir;
  output_file gz(dir / "out.gz", true);
  gz.put(std::string_view{});
  gz.close();
}

}  // namespace
}  // namespace varnex
