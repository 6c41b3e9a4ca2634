// Plain and gzip-compressed file streams: every data file goes through an
// `input_file` (formats/input.hpp) or an `output_file` (formats/output.hpp).
#pragma once

#include "formats/failure.hpp"
#include "formats/input.hpp"
#include "formats/names.hpp"
#include "formats/output.hpp"
