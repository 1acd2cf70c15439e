// A test fixture with a fresh temporary folder per test, removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace veltrana::testing {

class TTempFolderTest : public ::testing::Test {
 protected:
  explicit TTempFolderTest(std::string Prefix) : FPrefix(std::move(Prefix)) {}

  void SetUp() override {
    const auto* Info = ::testing::UnitTest::GetInstance()->current_test_info();
    FFolder = std::filesystem::temp_directory_path() /
              (FPrefix + Info->name() + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(FFolder);
    std::filesystem::create_directories(FFolder);
  }
  void TearDown() override { std::filesystem::remove_all(FFolder); }

  std::string Path(const std::string& Name) const { return (FFolder / Name).string(); }

  std::string WriteFile(const std::string& Name, const std::string& Text) const {
    const std::string FileName = Path(Name);
    std::ofstream(FileName, std::ios::binary) << Text;
    return FileName;
  }

  static std::string ReadFile(const std::string& FileName) {
    std::ifstream In(FileName, std::ios::binary);
    std::ostringstream Text;
    Text << In.rdbuf();
    return Text.str();
  }

  std::filesystem::path FFolder;

 private:
  std::string FPrefix;
};

}  // namespace veltrana::testing
