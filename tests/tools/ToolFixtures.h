// Fixture files of the grid tool tests, in the published layouts.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

namespace veltrana::gridtool::test {

inline std::string FixturePath(const std::string& Name) { return std::string(VELTRANA_TOOL_FIXTURES) + "/" + Name; }

inline std::string ReadFixture(const std::string& Name) {
  std::ifstream In(FixturePath(Name), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

}  // namespace veltrana::gridtool::test
