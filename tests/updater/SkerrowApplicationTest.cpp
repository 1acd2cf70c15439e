#include "SkerrowApplication.h"

#include <gtest/gtest.h>

#include "../support/TempFolderTest.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "ProgramStartup.h"

namespace veltrana {
namespace {

namespace fs = std::filesystem;

TEST(SkerrowOptionTest, FindsOptionsByLetterOrLongNameInAnyCase) {
  struct TCase {
    const char* Parameter;
    bool Help;
  };
  const TCase Cases[] = {
      {"-h", true},          {"-H", true},       {"--help", true},   {"-help", true},
      {"--h", true},         {"--help=yes", true}, {"--HeLp", true},  {"-h=yes", false},
      {"---help", false},    {"--hel", false},   {"h", false},       {"help", false},
      {"-", false},          {"", false},        {"-x", false},      {"--helper", false},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Parameter);
    EXPECT_EQ(HasOption({"a.set", Case.Parameter, "b.csv"}, 'h', "help"), Case.Help);
  }
  EXPECT_TRUE(HasOption({"-P"}, 'p', "protect"));
  EXPECT_FALSE(HasOption({"-p"}, 's', "silent"));
  EXPECT_FALSE(HasOption({}, 'h', "help"));
}

TEST(SkerrowOptionTest, CollectsEveryParameterThatIsNotAnOption) {
  EXPECT_EQ(CollectArguments({"a.set", "-p", "", "-", "b.csv", "--x=1", "c.csv", "d"}),
            (std::vector<std::string>{"a.set", "", "b.csv", "c.csv", "d"}));
}

// The checks of a run, in process, each ending with its one message and
// status 0. The conversions themselves are tested end to end.
class SkerrowRunTest : public veltrana::testing::TTempFolderTest {
 protected:
  SkerrowRunTest() : TTempFolderTest("veltrana-skerrow-") {}
  static void SetUpTestSuite() { FStartup = std::make_unique<TUpdaterStartup>(); }
  static void TearDownTestSuite() { FStartup.reset(); }

  void SetUp() override {
    TTempFolderTest::SetUp();
    Input = WriteFile("points.csv", "Name,E,N,H\r\nP1,400000,100000,50\r\n");
  }

  std::string Settings(const std::string& Name, const std::string& InputKeys,
                       const std::string& OutputKeys = "") const {
    return WriteFile(Name, "<Settings><InputSettings>" + InputKeys + "</InputSettings><OutputSettings>" +
                               OutputKeys + "</OutputSettings></Settings>");
  }

  std::string BNGSettings() const {
    return Settings("bng.set",
                    "<NameRow Value=\"1\"/><FirstRow Value=\"2\"/><SRIDNumber Value=\"27700\"/>"
                    "<XColumn Value=\"2\"/><YColumn Value=\"3\"/><ZColumn Value=\"4\"/>");
  }

  // Runs the application and returns what it printed; the status must be 0.
  std::string Run(const std::vector<std::string>& Parameters) {
    std::ostringstream Console;
    Application = std::make_unique<SkerrowApplication>("/opt/veltrana/skerrow.exe", Parameters, Console);
    EXPECT_EQ(Application->Run(), 0);
    return Console.str();
  }

  static constexpr const char* Banner =
      "skerrow - Veltrana OSGM02/TN02 to OSGM15/TN15 updater utility.\nVersion " VELTRANA_TEST_VERSION "\n\n";
  static constexpr const char* Help =
      "Usage: skerrow <SettingsFileName> <InputFileName> <OutputFileName> [Options]\n"
      "\n"
      "SettingsFileName - File Name defining conversion settings in XML format.\n"
      "InputFileName - File Name identifying input text file.\n"
      "OutputFileName - File Name identifying output text file.\n"
      "\n"
      "Available Options:\n"
      "--help (-h):  This help information.\n"
      "--protect (-p):  Prevent output file from being over-written if it exists.\n"
      "--silent (-s):  Supress all command line output.\n";
  static constexpr const char* Missing = "Settings, Input and Output filenames are missing or incomplete.\n";

  std::string Input;
  std::unique_ptr<SkerrowApplication> Application;
  static std::unique_ptr<TUpdaterStartup> FStartup;
};

std::unique_ptr<TUpdaterStartup> SkerrowRunTest::FStartup;

TEST_F(SkerrowRunTest, HelpAndMissingNames) {
  EXPECT_EQ(Run({}), std::string(Banner) + Missing);
  EXPECT_EQ(Run({"--silent"}), "");
  EXPECT_EQ(Run({"a.set", "b.csv", "c.csv", "-h"}), std::string(Banner) + Help);
  EXPECT_EQ(Run({"--help", "--silent"}), Help);
  EXPECT_EQ(Run({"a.set", "b.csv", "-x"}), std::string(Banner) + Missing);
}

TEST_F(SkerrowRunTest, ReportsTheFirstProblemWithAbsoluteNames) {
  const std::string Output = Path("out.csv");
  EXPECT_EQ(Run({Path("none.set"), Input, Output}), std::string(Banner) + "Settings file not found: " + Path("none.set") + "\n");
  // Relative names are taken from the current folder.
  EXPECT_EQ(Run({"none.set", Input, Output}),
            std::string(Banner) + "Settings file not found: " + (fs::current_path() / "none.set").string() + "\n");

  const std::string NoY = Settings("noy.set", "<SRIDNumber Value=\"27700\"/><XColumn Value=\"2\"/><ZColumn Value=\"4\"/>");
  EXPECT_EQ(Run({NoY, Input, Output}), std::string(Banner) + "Invalid settings file: " + NoY + "\n");

  const std::string Geodetic = Settings("gd.set", "<SRIDNumber Value=\"4937\"/><XColumn Value=\"2\"/><YColumn Value=\"3\"/>");
  EXPECT_EQ(Run({Geodetic, Input, Output}), std::string(Banner) + "Unknown source SRID: 4937\n");

  EXPECT_EQ(Run({BNGSettings(), Path("none.csv"), Output}),
            std::string(Banner) + "Input file not found: " + Path("none.csv") + "\n");

  const std::string Existing = WriteFile("existing.csv", "keep me");
  EXPECT_EQ(Run({"-P", BNGSettings(), Input, Existing}),
            std::string(Banner) + "Output file exists: " + Existing + "\n");
  std::ifstream Kept(Existing);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(Kept), {}), "keep me");

  EXPECT_EQ(Run({BNGSettings(), Input, Path("no-folder/out.csv")}),
            std::string(Banner) + "Output file name invalid: " + Path("no-folder/out.csv") + "\n");
  EXPECT_FALSE(fs::exists(Output));
  EXPECT_EQ(Run({"-s", Path("none.set"), Input, Output}), "");
}

// The file's revisions, output SRID and names are replaced by the fixed
// 2002 -> 2015 conversion of its input SRID.
TEST_F(SkerrowRunTest, FixesTheConversionByTheInputSRID) {
  const std::string File = Settings("out4937.set",
                                    "<SRIDNumber Value=\"27700\"/><Revision Value=\"2015\"/>"
                                    "<XColumn Value=\"2\"/><YColumn Value=\"3\"/>",
                                    "<SRIDNumber Value=\"4937\"/><Revision Value=\"2002\"/>");
  Run({"-s", File, Input, Path("out.csv")});
  const TSettingsInfo& S = Application->Settings;
  EXPECT_EQ(S.InputRevision, 2002);
  EXPECT_EQ(S.OutputSRID, 27700);
  EXPECT_EQ(S.OutputRevision, 2015);
  EXPECT_EQ(S.OutputXName, "OSTN15Easting");
  EXPECT_EQ(S.OutputYName, "OSTN15Northing");
  EXPECT_EQ(S.OutputZName, "OSGM15Elevation");
  EXPECT_EQ(S.XYDecimals, 3);
  EXPECT_EQ(S.ZDecimals, 3);
  EXPECT_TRUE(S.PadDecimals);
  EXPECT_TRUE(fs::exists(Path("out.csv")));

  for (const char* SRID : {"2157", "29903"}) {
    SCOPED_TRACE(SRID);
    const std::string Irish = Settings(std::string("irish") + SRID + ".set",
                                       std::string("<SRIDNumber Value=\"") + SRID +
                                           "\"/><XColumn Value=\"2\"/><YColumn Value=\"3\"/>");
    Run({"-s", Irish, Input, Path("out.csv")});
    const TSettingsInfo& I = Application->Settings;
    EXPECT_EQ(I.OutputSRID, std::stoi(SRID));
    EXPECT_EQ(I.OutputRevision, 2015);
    // The pipeline names the plane columns after the output system.
    EXPECT_EQ(I.OutputXName, std::string(SRID) == "2157" ? "IRENET95-East" : "IG75-East");
    EXPECT_EQ(I.OutputYName, std::string(SRID) == "2157" ? "IRENET95-North" : "IG75-North");
    EXPECT_EQ(I.OutputZName, "OSGM15Elevation");
  }
}

}  // namespace
}  // namespace veltrana
