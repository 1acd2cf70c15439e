// Runs the built skerrow (beside this test program, with the grid files) on
// small fixture files and compares its output files byte for byte. The
// expected coordinates come from this process's own registry: the library's
// ConvertCoordinates from the 2002 to the 2015 system, which performs the
// steps the pipeline performs per record, read with the same grid files.
#include <gtest/gtest.h>

#include "../support/TempFolderTest.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "CoordinateSystems.h"
#include "CoordinateText.h"
#include "NumberText.h"
#include "ProgramStartup.h"
#include "VerticalDatums.h"

namespace veltrana {
namespace {

namespace fs = std::filesystem;

struct TRunResult {
  int Status = -1;
  std::string Out;
  std::string Err;
};

class SkerrowEndToEndTest : public veltrana::testing::TTempFolderTest {
 protected:
  SkerrowEndToEndTest() : TTempFolderTest("veltrana-e2e-") {}
  static void SetUpTestSuite() {
    FStartup = std::make_unique<TUpdaterStartup>();
    // skerrow runs with LC_ALL=C, so its numbers use ".".
    SetNumberFormat(TNumberFormat{});
  }
  static void TearDownTestSuite() { FStartup.reset(); }



  static std::string Example(const std::string& Name) {
    return (fs::path(VELTRANA_SOURCE_DIR) / "examples" / Name).string();
  }

  // A settings document: InputSettings and OutputSettings elements.
  std::string Settings(const std::string& Name, const std::string& Input, const std::string& Output = "") const {
    return WriteFile(Name, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Settings><InputSettings>" + Input +
                               "</InputSettings><OutputSettings>" + Output + "</OutputSettings></Settings>\n");
  }

  static std::string Quoted(const std::string& Text) {
    std::string Out = "'";
    for (char C : Text) Out += C == '\'' ? std::string("'\\''") : std::string(1, C);
    return Out + "'";
  }

  // Runs skerrow with Parameters in the folder Folder (default: the test's
  // own folder).
  TRunResult Run(const std::vector<std::string>& Parameters, const std::string& Folder = "") const {
    const std::string Program = (fs::read_symlink("/proc/self/exe").parent_path() / "skerrow").string();
    std::string Command = "cd " + Quoted(Folder.empty() ? FFolder.string() : Folder) + " && LC_ALL=C " + Quoted(Program);
    for (const std::string& Parameter : Parameters) Command += " " + Quoted(Parameter);
    Command += " >" + Quoted(Path("stdout.txt")) + " 2>" + Quoted(Path("stderr.txt"));
    TRunResult Result;
    const int Status = std::system(Command.c_str());
    Result.Status = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    Result.Out = ReadFile(Path("stdout.txt"));
    Result.Err = ReadFile(Path("stderr.txt"));
    return Result;
  }

  // The 2015 point of a 2002 point of SRID (with the preferred datum), as
  // the output file writes it: the three numbers and the datum field.
  static std::vector<std::string> Reference(std::int32_t SRID, TVerticalDatumCode Preferred,
                                            const TCoordinates& Point, TCoordinates* Result = nullptr) {
    const int Source = CoordinateSystems.FindBySRID(SRID, 2002);
    const int Target = CoordinateSystems.FindBySRID(SRID, 2015);
    CoordinateSystems.Items(Source)->PreferredVerticalDatum = Preferred;
    CoordinateSystems.Items(Target)->PreferredVerticalDatum = Preferred;
    TCoordinates Output;
    ConvertCoordinates(Source, Target, Point, Output);
    if (Result != nullptr) *Result = Output;
    return {FormatNumber(3, true, Output.X), FormatNumber(3, true, Output.Y), FormatNumber(3, true, Output.Z),
            VerticalDatumAbbreviation(CoordinateSystems.Items(Target)->LastVerticalDatum)};
  }

  static std::string Join(const std::vector<std::string>& Fields, std::size_t Count, char Delimiter = ',',
                          char Quote = '\0') {
    std::string Out;
    for (std::size_t I = 0; I < Count && I < Fields.size(); ++I) {
      Out += Delimiter;
      if (Quote != '\0') Out += Quote;
      Out += Fields[I];
      if (Quote != '\0') Out += Quote;
    }
    return Out;
  }

  static constexpr const char* Banner =
      "skerrow - Veltrana OSGM02/TN02 to OSGM15/TN15 updater utility.\nVersion " VELTRANA_TEST_VERSION "\n\n";

  static std::unique_ptr<TUpdaterStartup> FStartup;
};

std::unique_ptr<TUpdaterStartup> SkerrowEndToEndTest::FStartup;

struct TExamplePoint {
  const char* Name;
  TCoordinates Point;  // British National Grid 2002 easting, northing, height (m)
};
// The records of examples/bng2002-points.csv.
const TExamplePoint ExamplePoints[] = {
    {"Ben Nevis", {216666, 771288, 1344}},
    {"Trafalgar Square", {530034, 180381, 14}},
    {"Cardiff Castle", {318100, 176400, 12}},
    {"Edinburgh Castle", {325170, 673470, 130}},
    {"Snowdon", {260980, 354380, 1085}},
};

// The example file: header, every record repeated as read, CR LF line ends,
// the 2015 coordinates with three decimals and the datum; the console shows
// the banner, the messages and the four progress stages.
TEST_F(SkerrowEndToEndTest, UpdatesTheExampleFile) {
  const std::string Output = Path("bng2015.csv");
  const TRunResult R = Run({Example("bng2002-points.set"), Example("bng2002-points.csv"), Output});
  EXPECT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Err, "");

  std::string Expected = "Name,Easting,Northing,Height,OSTN15Easting,OSTN15Northing,OSGM15Elevation,Datum\r\n";
  for (const TExamplePoint& P : ExamplePoints) {
    TCoordinates New;
    const std::vector<std::string> Fields = Reference(27700, vdMalinHead, P.Point, &New);
    // Physical sanity of the reference: the 2015 models move a point on the
    // British mainland by centimetres, never metres; heights stay on ODN.
    EXPECT_NEAR(New.X, P.Point.X, 0.5) << P.Name;
    EXPECT_NEAR(New.Y, P.Point.Y, 0.5) << P.Name;
    EXPECT_NEAR(New.Z, P.Point.Z, 0.5) << P.Name;
    EXPECT_EQ(Fields[3], "ODN") << P.Name;
    Expected += std::string(P.Name) + "," + FormatNumber(3, true, P.Point.X) + "," + FormatNumber(3, true, P.Point.Y) +
                "," + FormatNumber(3, true, P.Point.Z) + Join(Fields, 4) + "\r\n";
  }
  EXPECT_EQ(ReadFile(Output), Expected);

  const std::regex Console(std::string(Banner) +
                           "Opening file: " + Example("bng2002-points.csv") + "\n"
                           "Loading Data\\.+\nLoading Finished\n"
                           "Parsing Data\\.+\nParsing Finished\n"
                           "Transforming Data\\.+\nTransforming Finished\n"
                           "Writing output to: " + Output + "\n"
                           "Saveing Data\\.+\nSaveing Finished\n");
  EXPECT_TRUE(std::regex_match(R.Out, Console)) << R.Out;
}

// Quoting, no header, no height column: the layouts of the output line.
TEST_F(SkerrowEndToEndTest, WritesTheLayoutTheSettingsAskFor) {
  const std::string Input = WriteFile("points.txt", "Name;E;N;H\nBen \"N\";216666;771288;1344\n");
  const std::vector<std::string> Ben = Reference(27700, vdMalinHead, {216666, 771288, 1344});
  const std::vector<std::string> BenNoZ = Reference(27700, vdMalinHead, {216666, 771288, 0});
  const std::string Common = "<FieldTerminator Value=\";\"/><NameRow Value=\"1\"/><FirstRow Value=\"2\"/>"
                             "<SRIDNumber Value=\"27700\"/><XColumn Value=\"2\"/><YColumn Value=\"3\"/>";
  struct TCase {
    const char* Name;
    std::string Input;
    std::string Output;
    std::string Expected;
  };
  const TCase Cases[] = {
      {"quoted fields, input and added",
       Common + "<ZColumn Value=\"4\"/><TextDelimiter Value=\"&quot;\"/>", "<IncludeDatum Value=\"True\"/>",
       "\"Name\";\"E\";\"N\";\"H\";\"OSTN15Easting\";\"OSTN15Northing\";\"OSGM15Elevation\";\"Datum\"\r\n"
       "\"Ben \"\"N\"\"\";\"216666\";\"771288\";\"1344\"" + Join(Ben, 4, ';', '"') + "\r\n"},
      {"no header line", Common + "<ZColumn Value=\"4\"/>", "<NameRow Value=\"0\"/>",
       "Ben \"N\";216666;771288;1344" + Join(Ben, 3, ';') + "\r\n"},
      {"no height field: no height column", Common, "<IncludeDatum Value=\"True\"/>",
       "Name;E;N;H;OSTN15Easting;OSTN15Northing;Datum\r\n"
       "Ben \"N\";216666;771288;1344;" + BenNoZ[0] + ";" + BenNoZ[1] + ";" + BenNoZ[3] + "\r\n"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const std::string Output = Path("out.txt");
    const TRunResult R = Run({"--silent", Settings("case.set", Case.Input, Case.Output), Input, Output});
    EXPECT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Out, "");
    EXPECT_EQ(ReadFile(Output), Case.Expected);
  }
}

// Irish Transverse Mercator and Irish Grid heights on the Belfast geoid for a
// point in Belfast; a point the Northern Ireland grid does not cover (Dublin)
// is a failed point: null coordinates and an empty datum.
TEST_F(SkerrowEndToEndTest, UpdatesIrishFilesOnThePreferredDatum) {
  struct TCase {
    std::int32_t SRID;
    const char* XName;
    const char* YName;
    TCoordinates Belfast;
    TCoordinates Dublin;
  };
  const TCase Cases[] = {
      {2157, "IRENET95-East", "IRENET95-North", {733600, 874400, 50}, {715800, 734700, 20}},
      {29903, "IG75-East", "IG75-North", {333600, 374300, 50}, {315800, 234700, 20}},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.SRID);
    auto Record = [](const char* Name, const TCoordinates& P) {
      return std::string(Name) + "," + FormatNumber(0, false, P.X) + "," + FormatNumber(0, false, P.Y) + "," +
             FormatNumber(0, false, P.Z);
    };
    const std::string Input = WriteFile("irish.csv", "Name,E,N,H\r\n" + Record("Belfast", Case.Belfast) + "\r\n" +
                                                         Record("Dublin", Case.Dublin) + "\r\n");
    const std::string Output = Path("out.csv");
    const std::string File =
        Settings("irish.set",
                 "<NameRow Value=\"1\"/><FirstRow Value=\"2\"/><SRIDNumber Value=\"" + std::to_string(Case.SRID) +
                     "\"/><XColumn Value=\"2\"/><YColumn Value=\"3\"/><ZColumn Value=\"4\"/>",
                 "<PreferredDatum Value=\"14\"/><IncludeDatum Value=\"True\"/>");
    const TRunResult R = Run({"-s", File, Input, Output});
    EXPECT_EQ(R.Status, 0) << R.Err;
    TCoordinates New;
    const std::vector<std::string> Belfast = Reference(Case.SRID, vdBelfast, Case.Belfast, &New);
    EXPECT_EQ(Belfast[3], "BEL");
    EXPECT_NEAR(New.Z, Case.Belfast.Z, 0.5);
    EXPECT_EQ(ReadFile(Output), std::string("Name,E,N,H,") + Case.XName + "," + Case.YName + ",OSGM15Elevation,Datum\r\n" +
                                    Record("Belfast", Case.Belfast) + Join(Belfast, 4) + "\r\n" +
                                    Record("Dublin", Case.Dublin) + ",0.000,0.000,0.000,\r\n");

    // Without the key the systems keep their starting datum, Malin Head.
    const std::string NoDatum =
        Settings("nodatum.set",
                 "<NameRow Value=\"1\"/><FirstRow Value=\"2\"/><SRIDNumber Value=\"" + std::to_string(Case.SRID) +
                     "\"/><XColumn Value=\"2\"/><YColumn Value=\"3\"/><ZColumn Value=\"4\"/>",
                 "<IncludeDatum Value=\"True\"/>");
    EXPECT_EQ(Run({"-s", NoDatum, Input, Output}).Status, 0);
    const std::string Text = ReadFile(Output);
    EXPECT_NE(Text.find(Record("Belfast", Case.Belfast) + Join(Reference(Case.SRID, vdMalinHead, Case.Belfast), 4) + "\r\n"),
              std::string::npos)
        << Text;
  }
}

TEST_F(SkerrowEndToEndTest, ProtectSilentAndHelp) {
  const std::string Set = Example("bng2002-points.set");
  const std::string Csv = Example("bng2002-points.csv");
  const std::string Existing = WriteFile("existing.csv", "old");

  TRunResult R = Run({Set, Csv, Existing, "--protect"});
  EXPECT_EQ(R.Status, 0);
  EXPECT_EQ(R.Out, std::string(Banner) + "Output file exists: " + Existing + "\n");
  EXPECT_EQ(ReadFile(Existing), "old");

  R = Run({"-s", Set, Csv, Existing});
  EXPECT_EQ(R.Status, 0);
  EXPECT_EQ(R.Out, "");
  EXPECT_EQ(ReadFile(Existing).rfind("Name,Easting,Northing,Height,OSTN15Easting", 0), 0u);

  R = Run({"-h", Set, Csv, Path("never.csv")});
  EXPECT_EQ(R.Status, 0);
  EXPECT_EQ(R.Out.rfind(std::string(Banner) + "Usage: skerrow <SettingsFileName> <InputFileName> <OutputFileName> [Options]\n", 0), 0u)
      << R.Out;
  EXPECT_NE(R.Out.find("--silent (-s):  Supress all command line output.\n"), std::string::npos);
  EXPECT_FALSE(fs::exists(Path("never.csv")));
}

// Every handled problem is one message and status 0; relative names are
// reported as absolute names.
TEST_F(SkerrowEndToEndTest, ReportsMissingAndInvalidFiles) {
  const std::string Csv = Example("bng2002-points.csv");
  const std::string NoY = Settings("noy.set", "<SRIDNumber Value=\"27700\"/><XColumn Value=\"2\"/>");
  const std::string Geodetic = Settings("gd.set", "<SRIDNumber Value=\"4937\"/><XColumn Value=\"2\"/><YColumn Value=\"3\"/>");
  const std::string Set = Example("bng2002-points.set");
  struct TCase {
    const char* Name;
    std::vector<std::string> Parameters;
    std::string Message;
  };
  const TCase Cases[] = {
      {"no parameters", {}, "Settings, Input and Output filenames are missing or incomplete."},
      {"two names and an unknown option", {Set, Csv, "-x"}, "Settings, Input and Output filenames are missing or incomplete."},
      {"settings file, relative name", {"none.set", Csv, "out.csv"}, "Settings file not found: " + Path("none.set")},
      {"no YColumn", {NoY, Csv, "out.csv"}, "Invalid settings file: " + NoY},
      {"geodetic input", {Geodetic, Csv, "out.csv"}, "Unknown source SRID: 4937"},
      {"input file", {Set, "none.csv", "out.csv"}, "Input file not found: " + Path("none.csv")},
      {"output folder", {Set, Csv, "no-folder/out.csv"}, "Output file name invalid: " + Path("no-folder/out.csv")},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const TRunResult R = Run(Case.Parameters);
    EXPECT_EQ(R.Status, 0);
    EXPECT_EQ(R.Out, std::string(Banner) + Case.Message + "\n");
    EXPECT_EQ(R.Err, "");
    EXPECT_FALSE(fs::exists(Path("out.csv")));
  }
  EXPECT_EQ(Run({"--silent"}).Out, "");
}

// A layout that leaves no record prints its message after the parsing line
// and leaves no output file (the probe removed the old one). The one read of
// the small file reaches 99 percent at once: 19 dots.
TEST_F(SkerrowEndToEndTest, EmptyInputLeavesNoOutput) {
  const std::string Output = WriteFile("out.csv", "old");
  const std::string Input = WriteFile("empty.csv", "\r\n\r\n");
  const TRunResult R = Run({Example("bng2002-points.set"), Input, Output});
  EXPECT_EQ(R.Status, 0);
  EXPECT_EQ(R.Out, std::string(Banner) + "Opening file: " + Input + "\nLoading Data." + std::string(19, '.') +
                       "\nLoading Finished\nParsing Data.\nParsing Finished\nNo readable data found in file: " + Input + "\n");
  EXPECT_FALSE(fs::exists(Output));
}

// Errors nothing handles end the program with one line on standard error
// and a non-zero status.
TEST_F(SkerrowEndToEndTest, UnhandledErrorsEndAbnormally) {
  const std::string Csv = Example("bng2002-points.csv");
  const std::string NotXML = WriteFile("broken.set", "<Settings><InputSettings>");
  TRunResult R = Run({NotXML, Csv, Path("out.csv")});
  EXPECT_NE(R.Status, 0);
  EXPECT_EQ(R.Err.rfind("skerrow: ", 0), 0u) << R.Err;
  EXPECT_NE(R.Err.find(NotXML), std::string::npos) << R.Err;
  EXPECT_EQ(std::count(R.Err.begin(), R.Err.end(), '\n'), 1);

  const std::string BadBreaks = Settings("fixed.set",
                                         "<Format Value=\"Fixed\"/><FieldBreaks Value=\"1, x\"/><SRIDNumber Value=\"27700\"/>"
                                         "<XColumn Value=\"2\"/><YColumn Value=\"3\"/>");
  R = Run({"-s", BadBreaks, Csv, Path("out.csv")});
  EXPECT_NE(R.Status, 0);
  EXPECT_EQ(R.Err.rfind("skerrow: ", 0), 0u) << R.Err;
  EXPECT_FALSE(fs::exists(Path("out.csv")));
}

}  // namespace
}  // namespace veltrana
