// The grid tool's command line, end to end on fixtures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>

#include "GridFiles.h"
#include "GridSources.h"
#include "ToolFixtures.h"

namespace veltrana::gridtool {
namespace {

using test::FixturePath;

struct TRun {
  int ExitStatus = -1;
  std::string Output;
  std::string Errors;
};

std::string ReadFile(const std::filesystem::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

class GridToolCommandTest : public ::testing::Test {
 protected:
  std::filesystem::path Folder;
  void SetUp() override {
    Folder = std::filesystem::temp_directory_path() /
             ("veltrana-gridtool-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(Folder);
  }
  void TearDown() override { std::filesystem::remove_all(Folder); }

  std::string Path(const std::string& Name) const { return (Folder / Name).string(); }

  // Runs the tool with Arguments (already quoted where needed).
  TRun Tool(const std::string& Arguments) const {
    const std::string Out = Path("stdout.txt");
    const std::string Err = Path("stderr.txt");
    const std::string Command =
        "'" + std::string(VELTRANA_GRIDTOOL) + "' " + Arguments + " >'" + Out + "' 2>'" + Err + "'";
    const int Status = std::system(Command.c_str());
    TRun Run;
    Run.ExitStatus = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    Run.Output = ReadFile(Out);
    Run.Errors = ReadFile(Err);
    return Run;
  }
};

std::string Quote(const std::string& Text) { return "'" + Text + "'"; }

TEST_F(GridToolCommandTest, BuildsAGridGeoidFileFromTextOrXz) {
  const TRun Run = Tool("itm " + Quote(FixturePath("itm_geoid_3x2.txt")) + " " + Quote(Path("ni.dat")) + " --datum 14");
  ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
  EXPECT_NE(Run.Output.find("3 columns x 2 rows, origin (550000, 800000), 86 bytes"), std::string::npos) << Run.Output;
  TGeoidGrid Grid;
  ASSERT_TRUE(LoadGeoidGrid(Grid, Path("ni.dat")));
  EXPECT_NEAR(GeoidNode(Grid, 2, 1).Separation, 56.375, 1e-5);  // line "6,552000,801000,56.375,14"

  if (std::system("xz --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "xz is not installed";
  std::filesystem::copy_file(FixturePath("itm_geoid_3x2.txt"), Path("ni.txt"));
  ASSERT_EQ(std::system(("xz -z " + Quote(Path("ni.txt"))).c_str()), 0);
  const TRun Compressed = Tool("itm " + Quote(Path("ni.txt.xz")) + " " + Quote(Path("ni-xz.dat")) + " --datum 14");
  ASSERT_EQ(Compressed.ExitStatus, 0) << Compressed.Errors;
  EXPECT_EQ(ReadFile(Path("ni-xz.dat")), ReadFile(Path("ni.dat")));
}

TEST_F(GridToolCommandTest, BuildsBothGreatBritainGridsFromOneModelFile) {
  // A synthetic model in the published layout and size: node i carries
  // shifts (i mod 1000) / 8 and -(i mod 500) / 4, separation 40 + (i mod 7) / 2.
  {
    std::ofstream Out(Path("gb.csv"), std::ios::binary);
    Out << GBHeaderLine << "\r\n";
    const std::int32_t Columns = PublishedGBLayout.Columns;
    const std::int32_t Count = Columns * PublishedGBLayout.Rows;
    for (std::int32_t I = 0; I < Count; ++I)
      Out << I + 1 << ',' << (I % Columns) * 1000 << ',' << (I / Columns) * 1000 << ',' << (I % 1000) / 8.0 << ','
          << -(I % 500) / 4.0 << ',' << 40 + (I % 7) / 2.0 << ',' << (I % 3 == 0 ? 15 : 1) << "\r\n";
  }
  const TRun Run = Tool("gb " + Quote(Path("gb.csv")) + " " + Quote(Path("TN.dat")) + " " + Quote(Path("GM.dat")));
  ASSERT_EQ(Run.ExitStatus, 0) << Run.Errors;
  TShiftGrid Shift;
  TGeoidGrid Geoid;
  ASSERT_TRUE(LoadShiftGrid(Shift, Path("TN.dat")));
  ASSERT_TRUE(LoadGeoidGrid(Geoid, Path("GM.dat")));
  EXPECT_EQ(std::filesystem::file_size(Path("TN.dat")), 56u + 701u * 1251u * 8u);
  EXPECT_EQ(std::filesystem::file_size(Path("GM.dat")), 56u + 701u * 1251u * 5u);
  const std::size_t I = 530 + 701 * 180;  // node (530, 180), Point_ID 126711
  EXPECT_EQ(Shift.Nodes[I].EastShift, static_cast<float>((I % 1000) / 8.0));
  EXPECT_EQ(Shift.Nodes[I].NorthShift, static_cast<float>(-static_cast<double>(I % 500) / 4.0));
  EXPECT_EQ(Geoid.Separations[I], static_cast<float>(40 + (I % 7) / 2.0));
  EXPECT_EQ(Geoid.DatumCodes[I], I % 3 == 0 ? 15 : 1);
}

TEST_F(GridToolCommandTest, ResamplesAGraticuleAndReportsTheError) {
  const std::string Source = Quote(FixturePath("graticule_4x7.gri"));
  const TRun Build = Tool("gri " + Source + " " + Quote(Path("roi.dat")) + " --datum 13");
  ASSERT_EQ(Build.ExitStatus, 0) << Build.Errors;
  const TRun Measure = Tool("gri-error " + Source + " " + Quote(Path("roi.dat")) + " --limit 0.002");
  ASSERT_EQ(Measure.ExitStatus, 0) << Measure.Errors;
  EXPECT_NE(Measure.Output.find("samples every 100.0 m"), std::string::npos) << Measure.Output;
  EXPECT_NE(Measure.Output.find("maximum 0.000"), std::string::npos) << Measure.Output;
  // A limit below the error measured fails the command.
  const TRun Strict = Tool("gri-error " + Source + " " + Quote(Path("roi.dat")) + " --limit 0.0000000001");
  EXPECT_EQ(Strict.ExitStatus, 1);
  EXPECT_NE(Strict.Errors.find("reaches the limit"), std::string::npos) << Strict.Errors;
}

TEST_F(GridToolCommandTest, ReportsBadInputAndLeavesNoFile) {
  struct TCase {
    const char* Name;
    std::string Arguments;
    int ExitStatus;
    std::string Message;  // part of the error output
  };
  const std::string Out = Quote(Path("out.dat"));
  const TCase Cases[] = {
      {"no command", "", 2, "no command"},
      {"unknown command", "convert a b", 2, "unknown command \"convert\""},
      {"gri without datum", "gri " + Quote(FixturePath("graticule_4x7.gri")) + " " + Out, 2, "--datum CODE"},
      {"datum out of range", "itm a b --datum 17", 2, "--datum 17 is not a vertical-datum code"},
      {"step not dividing", "gri-error a b --step 300", 2, "--step must divide"},
      {"missing source", "itm " + Quote(Path("none.txt")) + " " + Out, 1, "none.txt: cannot open"},
      {"missing compressed source", "itm " + Quote(Path("none.txt.xz")) + " " + Out, 1, "none.txt.xz: "},
      {"wrong datum in the source", "itm " + Quote(FixturePath("itm_geoid_3x2.txt")) + " " + Out + " --datum 13", 1,
       "itm_geoid_3x2.txt:2: flag 14 where only 0 or 13 are expected"},
      {"not a Great Britain model", "gb " + Quote(FixturePath("itm_geoid_3x2.txt")) + " " + Out + " " + Out, 1,
       "itm_geoid_3x2.txt:1: expected the header line"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    const TRun Run = Tool(C.Arguments);
    EXPECT_EQ(Run.ExitStatus, C.ExitStatus);
    EXPECT_NE(Run.Errors.find(C.Message), std::string::npos) << Run.Errors;
    EXPECT_FALSE(std::filesystem::exists(Path("out.dat")));
  }
}

}  // namespace
}  // namespace veltrana::gridtool
