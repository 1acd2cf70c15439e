// Helpers shared by the libFuzzer targets: scratch files for readers that
// take a file name, and a check that turns a broken contract into a crash
// libFuzzer records (a plain assert would vanish in a release build).
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace veltrana::fuzz {

// Reports the broken expectation and aborts, so that libFuzzer saves the input.
[[noreturn]] inline void Fail(const char* Expression, const char* File, int Line, const std::string& Detail) {
  std::fprintf(stderr, "%s:%d: fuzz check failed: %s %s\n", File, Line, Expression, Detail.c_str());
  std::abort();
}

#define VELTRANA_FUZZ_CHECK(Condition, Detail) \
  ((Condition) ? static_cast<void>(0) : ::veltrana::fuzz::Fail(#Condition, __FILE__, __LINE__, (Detail)))

// A file name in the temporary folder that belongs to this process (each
// libFuzzer worker is its own process) and to the caller's Tag.
inline std::string ScratchFileName(std::string_view Tag, std::string_view Extension = "") {
  std::error_code Error;
  std::filesystem::path Folder = std::filesystem::temp_directory_path(Error);
  if (Error) Folder = "/tmp";
  std::string Name = "veltrana-fuzz-" + std::string(Tag) + "-" + std::to_string(::getpid());
  Name += Extension;
  return (Folder / Name).string();
}

// Replaces FileName's content by Size bytes from Data; false when the file
// cannot be written (the input is then skipped, not reported).
inline bool WriteScratchFile(const std::string& FileName, const std::uint8_t* Data, std::size_t Size) {
  std::FILE* File = std::fopen(FileName.c_str(), "wb");
  if (File == nullptr) return false;
  const bool Written = Size == 0 || std::fwrite(Data, 1, Size, File) == Size;
  return std::fclose(File) == 0 && Written;
}

// Splits Data at NUL bytes into a parameter list (an empty piece is an empty
// parameter; at most MaxPieces pieces, the rest is dropped).
inline std::vector<std::string> SplitAtNul(const std::uint8_t* Data, std::size_t Size, std::size_t MaxPieces) {
  std::vector<std::string> Pieces;
  if (Size == 0) return Pieces;
  std::string Piece;
  for (std::size_t I = 0; I < Size; ++I) {
    if (Data[I] == 0) {
      if (Pieces.size() + 1 == MaxPieces) break;
      Pieces.push_back(std::move(Piece));
      Piece.clear();
    } else {
      Piece.push_back(static_cast<char>(Data[I]));
    }
  }
  Pieces.push_back(std::move(Piece));
  return Pieces;
}

}  // namespace veltrana::fuzz
