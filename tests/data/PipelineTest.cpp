#include "Pipeline.h"

#include <gtest/gtest.h>

#include "../support/TempFolderTest.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "CoordinateText.h"
#include "NumberText.h"
#include "ProgramStartup.h"

namespace veltrana {
namespace {

namespace fs = std::filesystem;

// Runs the pipeline on ETRS89 systems, which need no grid file; the national
// systems are exercised end to end by the updater's tests.
class PipelineTest : public veltrana::testing::TTempFolderTest {
 protected:
  PipelineTest() : TTempFolderTest("veltrana-pipeline-") {}
  static void SetUpTestSuite() { FStartup = std::make_unique<TUpdaterStartup>(); }
  static void TearDownTestSuite() { FStartup.reset(); }

  void TearDown() override {
    SetNumberFormat(TNumberFormat{});
    TTempFolderTest::TearDown();
  }


  // Comma-delimited, names on line 0, records from line 1, three padded
  // decimals, a header line; columns 0-based.
  static TSettingsInfo Settings(std::int32_t InputSRID, std::int32_t OutputSRID, std::int32_t XColumn,
                                std::int32_t YColumn, std::int32_t ZColumn) {
    TSettingsInfo S;
    S.NameRow = 0;
    S.FirstRow = 1;
    S.LastRow = -1;
    S.FieldTerminator = ',';
    S.OutputNameRow = true;
    S.InputSRID = InputSRID;
    S.OutputSRID = OutputSRID;
    S.XColumn = XColumn;
    S.YColumn = YColumn;
    S.ZColumn = ZColumn;
    S.XYDecimals = 3;
    S.ZDecimals = 3;
    S.PadDecimals = true;
    return S;
  }

  // Converts Text (saved as InputName) and returns the output file's bytes;
  // the console text goes to Console.
  std::string Convert(TSettingsInfo& S, const std::string& Text, const std::string& InputName = "points.txt",
                      bool Verbose = false) {
    const std::string Output = Path("out.txt");
    Console.str("");
    ConvertFile(S, WriteFile(InputName, Text), Output, Verbose, Console);
    return ReadFile(Output);
  }

  // The point as ConvertCoordinates gives it: the pipeline performs the
  // same steps per record.
  static TCoordinates Reference(std::int32_t InputSRID, std::int32_t OutputSRID, const TCoordinates& Point) {
    TCoordinates Result;
    ConvertCoordinates(CoordinateSystems.FindBySRID(InputSRID, 0), CoordinateSystems.FindBySRID(OutputSRID, 0),
                       Point, Result);
    return Result;
  }

  static std::string Number(double Value) { return FormatNumber(3, true, Value); }

  std::ostringstream Console;
  static std::unique_ptr<TUpdaterStartup> FStartup;
};

std::unique_ptr<TUpdaterStartup> PipelineTest::FStartup;

// Geodetic to Cartesian: every input field is repeated, the output names are
// built from the system, the Cartesian Z is written although the input has
// no height field, and the ETRS89 datum field is empty. Reference: on the
// equator at the prime meridian, X = a + h = 6378137 + 10 m.
TEST_F(PipelineTest, RepeatsTheRecordAndAppendsTheConvertedPoint) {
  TSettingsInfo S = Settings(4937, 4936, 1, 2, 3);
  S.IncludeDatum = true;
  const std::string Out = Convert(S, "Name,Long,Lat,H\nP1,0,0,10\nP2,-3.5,54.25,120.5\n");
  const TCoordinates P2 = Reference(4937, 4936, {-3.5, 54.25, 120.5});
  EXPECT_EQ(Out,
            "Name,Long,Lat,H,ETRS89CT-X,ETRS89CT-Y,ETRS89CT-Z,Datum\r\n"
            "P1,0,0,10,6378147.000,0.000,0.000,\r\n"
            "P2,-3.5,54.25,120.5," + Number(P2.X) + "," + Number(P2.Y) + "," + Number(P2.Z) + ",\r\n");
  EXPECT_EQ(S.OutputXName, "ETRS89CT-X");  // the caller's record keeps the names
  EXPECT_EQ(S.OutputZName, "ETRS89CT-Z");

  // Without a height field the Cartesian output still has its Z column
  // (90 degrees east on the equator: Y = a).
  TSettingsInfo NoZ = Settings(4937, 4936, 1, 2, -1);
  EXPECT_EQ(Convert(NoZ, "Name,Long,Lat\nP1,90,0\n"),
            "Name,Long,Lat,ETRS89CT-X,ETRS89CT-Y,ETRS89CT-Z\r\nP1,90,0,0.000,6378137.000,0.000\r\n");
}

// A projected output without a height field has no height column even with
// a Z name given; a geodetic output (latitude first) writes Y before X.
TEST_F(PipelineTest, WritesColumnsInTheOutputSystemsAxisOrder) {
  TSettingsInfo Projected = Settings(4937, 25830, 1, 2, -1);
  Projected.OutputZName = "Height";
  Projected.OutputNameRow = false;
  const TCoordinates U = Reference(4937, 25830, {-3, 54, 0});
  // The central meridian of zone 30 is 3 degrees west: easting 500 km.
  EXPECT_EQ(Convert(Projected, "Name,Long,Lat\nP1,-3,54\n"), "P1,-3,54,500000.000," + Number(U.Y) + "\r\n");

  TSettingsInfo Geodetic = Settings(25830, 4937, 1, 2, -1);
  Geodetic.XYDecimals = 8;
  const TCoordinates G = Reference(25830, 4937, {500000, U.Y, 0});
  const std::string Northing = Number(U.Y);
  EXPECT_EQ(Convert(Geodetic, "Name,E,N\nP1,500000," + Northing + "\n"),
            "Name,E,N,ETRS89GD-Lat,ETRS89GD-Long\r\n"
            "P1,500000," + Northing + "," + FormatNumber(8, true, G.Y) + ",-3.00000000\r\n");
  EXPECT_EQ(FormatNumber(6, true, G.Y), "54.000000");
}

// With a text delimiter every field of both lines, input and added, is
// quoted, quotes inside doubled.
TEST_F(PipelineTest, RequotesEveryFieldWithTheTextDelimiter) {
  TSettingsInfo S = Settings(4937, 4936, 1, 2, 3);
  S.TextDelimiter = '"';
  S.IncludeDatum = true;
  EXPECT_EQ(Convert(S, "\"Na\"\"me\",Long,Lat,H\n\"P \"\"1\"\"\",0,0,10\n", "points.csv"),
            "\"Na\"\"me\",\"Long\",\"Lat\",\"H\",\"ETRS89CT-X\",\"ETRS89CT-Y\",\"ETRS89CT-Z\",\"Datum\"\r\n"
            "\"P \"\"1\"\"\",\"0\",\"0\",\"10\",\"6378147.000\",\"0.000\",\"0.000\",\"\"\r\n");
}

// A ".csv" file whose settings say ";" and no quoting is split by ";" from
// the first record on, although the load itself used "," and quotes.
TEST_F(PipelineTest, SettingsOverrideTheLayoutTheFileNameChose) {
  TSettingsInfo S = Settings(4937, 4936, 1, 2, 3);
  S.FieldTerminator = ';';
  S.OutputNameRow = false;
  EXPECT_EQ(Convert(S, "Name;Long;Lat;H\n\"P,1\";0;0;10\n\"P,2\";0;0;20\n", "points.csv"),
            "\"P,1\";0;0;10;6378147.000;0.000;0.000\r\n\"P,2\";0;0;20;6378157.000;0.000;0.000\r\n");
}

TEST_F(PipelineTest, ReadsFixedWidthRecords) {
  TSettingsInfo S = Settings(4937, 4936, 1, 2, -1);
  S.Format = dfFixed;
  S.FieldBreaks = "1, 4, 12";
  S.NameRow = -1;
  S.FirstRow = 0;
  S.OutputNameRow = false;
  // Each field includes the next break column, a blank that trimming drops.
  EXPECT_EQ(Convert(S, "P1  90.0000 0.00000\r\nP2  90.0000 0.00000\r\n"),
            "P1,90.0000,0.00000,0.000,6378137.000,0.000\r\nP2,90.0000,0.00000,0.000,6378137.000,0.000\r\n");
}

// A field that does not read as a coordinate gives a failed point, never the
// previous record's value; so does a point outside the output system.
TEST_F(PipelineTest, WritesFailedPointsAsNullWithAnEmptyDatum) {
  TSettingsInfo S = Settings(4937, 25830, 1, 2, 3);
  S.IncludeDatum = true;
  S.OutputNameRow = false;
  const TCoordinates Good = Reference(4937, 25830, {-3, 54, 0});
  const std::string Out = Convert(S,
                                  "Name,Long,Lat,H\n"
                                  "P1,-3,54,0\n"
                                  "P2,x,54,0\n"          // not a longitude
                                  "P3,-3,54,\n"          // empty height field
                                  "P4,-3\n"              // short record
                                  "P5,20,54,0\n");       // outside zone 30
  EXPECT_EQ(Out,
            "P1,-3,54,0,500000.000," + Number(Good.Y) + "," + Number(Good.Z) + ",\r\n"
            "P2,x,54,0,0.000,0.000,0.000,\r\n"
            "P3,-3,54,,0.000,0.000,0.000,\r\n"
            "P4,-3,,,0.000,0.000,0.000,\r\n"
            "P5,20,54,0,0.000,0.000,0.000,\r\n");
}

// Numbers are read and written with the user's decimal separator.
TEST_F(PipelineTest, UsesTheProcessDecimalSeparator) {
  SetNumberFormat(TNumberFormat{',', '\0'});
  TSettingsInfo S = Settings(4937, 4936, 1, 2, 3);
  S.FieldTerminator = ';';
  S.OutputNameRow = false;
  EXPECT_EQ(Convert(S, "Name;Long;Lat;H\nP1;0;0;10,25\n"), "P1;0;0;10,25;6378147,250;0,000;0,000\r\n");
}

// Output larger than one write block arrives whole and in order.
TEST_F(PipelineTest, WritesLargeOutputsCompletely) {
  constexpr int Records = 30000;
  std::string Text = "Name,Long,Lat,H\n";
  for (int I = 0; I < Records; ++I) Text += "Point" + std::to_string(I) + ",0,0," + std::to_string(I + 1) + "\n";
  TSettingsInfo S = Settings(4937, 4936, 1, 2, 3);
  S.OutputNameRow = false;
  const std::string Out = Convert(S, Text);
  ASSERT_GT(Out.size(), std::size_t{1} << 20);
  std::istringstream Lines(Out);
  std::string Line;
  int Count = 0;
  while (std::getline(Lines, Line)) {
    const std::string Expected = "Point" + std::to_string(Count) + ",0,0," + std::to_string(Count + 1) + "," +
                                 Number(6378138.0 + Count) + ",0.000,0.000\r";
    if (Line != Expected) {
      ADD_FAILURE() << "line " << Count << ": " << Line;
      break;
    }
    ++Count;
  }
  EXPECT_EQ(Count, Records);
}

// A file large enough for several workers comes out as a record-by-record
// run would write it: lines in order, copied lines and re-joined ones,
// failed points, and the 19 dots of each stage (one per 5 percent).
TEST_F(PipelineTest, LargeFilesComeOutAsARecordByRecordRun) {
  constexpr int Records = 70000;
  std::string Text = "Name,Long,Lat,H\n";
  std::vector<std::string> Expected;
  for (int I = 0; I < Records; ++I) {
    const double Long = (I % 360) - 179.5;
    const double Lat = (I % 170) - 84.75;
    const std::string L = FormatNumber(2, false, Long), B = FormatNumber(2, false, Lat);
    const std::string H = std::to_string(I % 1000);
    const std::string Name = "P" + std::to_string(I);
    if (I % 11 == 0) {
      Text += Name + "," + L + ",x," + H + "\n";  // does not read: a failed point
      Expected.push_back(Name + "," + L + ",x," + H + ",0.000,0.000,0.000");
      continue;
    }
    // Every seventh line has blanks around a field: written re-joined.
    Text += I % 7 == 0 ? Name + ", " + L + " ," + B + "," + H + "\n" : Name + "," + L + "," + B + "," + H + "\n";
    const TCoordinates P = Reference(4937, 4936, {Long, Lat, static_cast<double>(I % 1000)});
    Expected.push_back(Name + "," + L + "," + B + "," + H + "," + Number(P.X) + "," + Number(P.Y) + "," +
                       Number(P.Z));
  }
  TSettingsInfo S = Settings(4937, 4936, 1, 2, 3);
  S.OutputNameRow = false;
  const std::string Out = Convert(S, Text, "points.txt", true);
  std::istringstream Lines(Out);
  std::string Line;
  std::size_t Count = 0;
  while (std::getline(Lines, Line)) {
    if (Count >= Expected.size() || Line != Expected[Count] + "\r") {
      ADD_FAILURE() << "line " << Count << ": " << Line;
      break;
    }
    ++Count;
  }
  EXPECT_EQ(Count, Expected.size());
  const std::string Dots(19, '.');
  EXPECT_NE(Console.str().find("Transforming Data." + Dots + "\nTransforming Finished\n"), std::string::npos)
      << Console.str();
  EXPECT_NE(Console.str().find("Saveing Data." + Dots + "\nSaveing Finished\n"), std::string::npos);
}

// Without a PreferredDatum the systems take Malin Head, the Irish systems'
// own starting value; a given datum is passed to both systems.
TEST_F(PipelineTest, GivesBothSystemsThePreferredDatum) {
  TCoordinateSystem* Irish = CoordinateSystems.Items(CoordinateSystems.FindBySRID(2157, 0));
  ASSERT_NE(Irish, nullptr);
  const std::string Text = "Name,Long,Lat,H\nP1,-8,53,0\n";
  TSettingsInfo Belfast = Settings(4937, 2157, 1, 2, 3);
  Belfast.PreferredDatum = vdBelfast;
  Convert(Belfast, Text);
  EXPECT_EQ(Irish->PreferredVerticalDatum, vdBelfast);
  EXPECT_EQ(Belfast.OutputXName, "IRENET95-East");
  EXPECT_EQ(Belfast.OutputYName, "IRENET95-North");
  EXPECT_EQ(Belfast.OutputZName, "IRENET95-Height");

  TSettingsInfo Absent = Settings(4937, 2157, 1, 2, 3);
  Absent.OutputXName = "E15";
  Convert(Absent, Text);
  EXPECT_EQ(Irish->PreferredVerticalDatum, vdMalinHead);
  EXPECT_EQ(Absent.OutputXName, "E15");  // given names are kept
}

TEST_F(PipelineTest, PrintsEveryStageWhenVerbose) {
  TSettingsInfo S = Settings(4937, 4936, 1, 2, 3);
  const std::string Input = Path("points.txt");
  const std::string Output = Path("out.txt");
  Convert(S, "Name,Long,Lat,H\nP1,0,0,1\nP2,0,0,2\nP3,0,0,3\n", "points.txt", true);
  const std::string Text = Console.str();
  // One read copies the small file: 99 percent at once, 19 dots.
  const std::string Loading = "Opening file: " + Input + "\nLoading Data.";
  ASSERT_EQ(Text.substr(0, Loading.size() + 20), Loading + "...................\n") << Text;
  const std::size_t Parsing = Text.find("Loading Finished\nParsing Data.");
  ASSERT_NE(Parsing, std::string::npos) << Text;
  const std::size_t Finished = Text.find("\nParsing Finished\n");
  ASSERT_NE(Finished, std::string::npos) << Text;
  // Three records: steps at 0, 33 and 66 percent add nothing, one dot, one dot.
  EXPECT_EQ(Text.substr(Finished),
            "\nParsing Finished\n"
            "Transforming Data...\nTransforming Finished\n"
            "Writing output to: " + Output + "\n"
            "Saveing Data...\nSaveing Finished\n");

  // An empty file shows no loading line but the parsing line, and writes
  // nothing.
  fs::remove(Output);
  Console.str("");
  ConvertFile(S, WriteFile("empty.txt", ""), Output, true, Console);
  EXPECT_EQ(Console.str(), "Opening file: " + Path("empty.txt") +
                               "\nParsing Data.\nParsing Finished\n"
                               "No readable data found in file: " + Path("empty.txt") + "\n");
  EXPECT_FALSE(fs::exists(Output));

  // Silent runs print nothing.
  Console.str("");
  ConvertFile(S, WriteFile("p.txt", "Name,Long,Lat,H\nP1,0,0,1\n"), Output, false, Console);
  EXPECT_EQ(Console.str(), "");
  EXPECT_TRUE(fs::exists(Output));
}

TEST(ProgressHandlerTest, PrintsTitlesDotsAndEndsByTheStageRules) {
  std::ostringstream Out;
  TProgressHandler Handler(true, Out);
  Handler.ResetProgress();
  TDataStream Sender;
  for (int Percent : {0, 0, 3, 12, 99, 100, 100}) Handler.LoadProgress(Sender, Percent);
  // Loading: 12 percent gives two dots, 99 another 17.
  EXPECT_EQ(Out.str(), "Loading Data." + std::string(2, '.') + std::string(17, '.') + "\nLoading Finished\n");

  Out.str("");
  Handler.BeginSave(1000);
  for (int Index : {0, 10, 49, 50, 120, 999}) Handler.SaveStep(Index);
  Handler.EndSave();
  // Saving: one dot whenever 5 percent more have been reached (5, 12, 99).
  EXPECT_EQ(Out.str(), "Saveing Data....\nSaveing Finished\n");

  std::ostringstream Quiet;
  TProgressHandler Silent(false, Quiet);
  Silent.WriteMessage("Opening file: x");
  Silent.BeginTransform(3);
  Silent.TransformStep(2);
  Silent.EndTransform();
  EXPECT_EQ(Quiet.str(), "");
}

TEST_F(PipelineTest, PassesOnErrorsItDoesNotHandle) {
  TSettingsInfo S = Settings(4937, 4936, 1, 2, 3);
  const std::string Input = WriteFile("p.txt", "Name,Long,Lat,H\nP1,0,0,1\n");
  EXPECT_THROW(ConvertFile(S, Path("missing.txt"), Path("out.txt"), false, Console), std::runtime_error);
  EXPECT_THROW(ConvertFile(S, Input, Path("no-folder/out.txt"), false, Console), std::runtime_error);

  TSettingsInfo Fixed = S;
  Fixed.Format = dfFixed;
  Fixed.FieldBreaks = "1, x";
  EXPECT_THROW(ConvertFile(Fixed, Input, Path("out.txt"), false, Console), std::runtime_error);

  TSettingsInfo Unknown = Settings(4937, 12345, 1, 2, 3);
  EXPECT_THROW(ConvertFile(Unknown, Input, Path("out.txt"), false, Console), std::runtime_error);
  EXPECT_FALSE(fs::exists(Path("out.txt")));
}

}  // namespace
}  // namespace veltrana
