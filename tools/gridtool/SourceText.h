// Reading a published model file into memory, decompressing ".xz" files on
// the way through the system's "xz" program. No shared state.
#pragma once

#include <string>

namespace veltrana::gridtool {

// Reads the whole of FileName into Text. A name ending in ".xz" is
// decompressed by running "xz -dc -- FileName" (found on PATH) and reading
// its output; any other file is read as it is. Returns false with Error
// naming the file when it cannot be read or xz fails (exits non-zero or is
// missing); Text then holds whatever arrived before the failure.
bool ReadSourceText(const std::string& FileName, std::string& Text, std::string& Error);

}  // namespace veltrana::gridtool
