# Project-wide warning policy: every warning is an error.
add_library(veltrana_warnings INTERFACE)
target_compile_options(veltrana_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual -Werror
  # GCC 12 reports impossible overlaps inside std::string at -O3 (its bug
  # 105651); the warning carries no information about our code there.
  $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)
