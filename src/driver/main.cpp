#include "driver/varnex.hpp"

int main(int argc, char** argv) { return varnex::varnex_main(argc, argv); }
