// veltrana-convert: argument handling, the line reader and whole streams.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "ConvertCommand.h"
#include "ProgramStartup.h"

using namespace veltrana;

namespace {

class ConvertCommandTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartUpdaterUnits(); }
  static void TearDownTestSuite() { StopUpdaterUnits(); }
};

// Runs ConvertStream over Text; returns the output, with the errors in Errors.
std::string Convert(const std::string& From, const std::string& To, const std::string& Text,
                    int& Status, std::string& Errors) {
  TConvertOptions Options;
  std::string Error;
  EXPECT_TRUE(ParseConvertArguments({From, To}, Options, Error)) << Error;
  std::FILE* In = std::tmpfile();
  std::FILE* Out = std::tmpfile();
  std::FILE* Err = std::tmpfile();
  std::fwrite(Text.data(), 1, Text.size(), In);
  std::rewind(In);
  Status = ConvertStream(Options, fileno(In), Out, Err, false);
  auto ReadAll = [](std::FILE* F) {
    std::string S;
    std::rewind(F);
    char Buffer[4096];
    std::size_t N;
    while ((N = std::fread(Buffer, 1, sizeof Buffer, F)) > 0) S.append(Buffer, N);
    std::fclose(F);
    return S;
  };
  std::fclose(In);
  Errors = ReadAll(Err);
  return ReadAll(Out);
}

}  // namespace

TEST_F(ConvertCommandTest, ReadsPointLines) {
  struct Row { const char* Name; const char* Line; TPointLine Kind; double X, Y, Z; };
  const Row Rows[] = {
      {"Blanks", "52.5 -1.5 100", plPoint, 52.5, -1.5, 100},
      {"TabsAndCommas", "1,\t2 ,3", plPoint, 1, 2, 3},
      {"NoHeight", "400000 300000", plPoint, 400000, 300000, 0},
      {"CarriageReturn", "1 2 3\r", plPoint, 1, 2, 3},
      {"Empty", "", plPassThrough, 0, 0, 0},
      {"Comment", "  # header", plPassThrough, 0, 0, 0},
      {"OneNumber", "5", plBad, 0, 0, 0},
      {"FourNumbers", "1 2 3 4", plBad, 0, 0, 0},
      {"DecimalCommaIsASeparator", "52,5 1,5", plBad, 0, 0, 0},  // four numbers
      {"Word", "1 two 3", plBad, 0, 0, 0},
  };
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name);
    double V[3] = {0, 0, 0};
    const TPointLine Kind = ReadPointLine(R.Line, V);
    EXPECT_EQ(Kind, R.Kind);
    if (Kind != plPoint) continue;
    EXPECT_EQ(V[0], R.X);
    EXPECT_EQ(V[1], R.Y);
    EXPECT_EQ(V[2], R.Z);
  }
}

TEST_F(ConvertCommandTest, SystemArguments) {
  EXPECT_EQ(ParseSystemArgument("4937"), 1);
  EXPECT_EQ(ParseSystemArgument("27700"), CoordinateSystems.FindBySRID(27700, 2015));
  EXPECT_EQ(ParseSystemArgument("27700@2002"), CoordinateSystems.FindBySRID(27700, 2002));
  for (const char* Bad : {"", "@", "27700@", "27700@1999", "x", "4937x", "4937@0", "-1"})
    EXPECT_EQ(ParseSystemArgument(Bad), -1) << Bad;
  TConvertOptions O;
  std::string Error;
  EXPECT_FALSE(ParseConvertArguments({"4937"}, O, Error));
  EXPECT_FALSE(ParseConvertArguments({"4937", "1234"}, O, Error));
  EXPECT_NE(Error.find("1234"), std::string::npos);
  EXPECT_FALSE(ParseConvertArguments({"--datum", "dublin", "4937", "2157"}, O, Error));
  EXPECT_FALSE(ParseConvertArguments({"--frobnicate", "4937", "2157"}, O, Error));
  TConvertOptions Belfast;
  EXPECT_TRUE(ParseConvertArguments({"--datum", "belfast", "4937", "2157", "pts.txt"}, Belfast, Error));
  EXPECT_EQ(Belfast.IrishDatum, vdBelfast);
  EXPECT_EQ(Belfast.FileName, "pts.txt");
}

// An argument holding a line break or a terminal escape is quoted in the
// message with its control bytes as \xNN, so the message stays one line of
// text (found by fuzzing: a file of points passed as the system argument).
TEST_F(ConvertCommandTest, RefusedArgumentsAreQuotedOnOneLine) {
  struct TCase {
    const char* Name;
    std::vector<std::string> Arguments;
    const char* Quoted;
  };
  const TCase Cases[] = {
      {"UnknownSystem", {"2\n# comment", "4937"}, "'2\\x0A# comment'"},
      {"UnknownTarget", {"4937", "27700\r"}, "'27700\\x0D'"},
      {"UnknownOption", {"-\x1B[2J", "4937", "2157"}, "'-\\x1B[2J'"},
      {"UnknownDatum", {"--datum=mal\tin", "4937", "2157"}, "'mal\\x09in'"},
      {"DeleteByte", {"--datum", "x\x7F", "4937", "2157"}, "'x\\x7F'"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TConvertOptions Options;
    std::string Error;
    EXPECT_FALSE(ParseConvertArguments(Case.Arguments, Options, Error));
    EXPECT_NE(Error.find(Case.Quoted), std::string::npos) << Error;
    for (char C : Error) EXPECT_GE(static_cast<unsigned char>(C), 0x20) << Error;
  }
}

TEST_F(ConvertCommandTest, ConvertsToUTM) {
  // Published worked example: 52.5 N 1.5 W -> UTM 30N 601821.603 E, 5817709.526 N.
  int Status = -1;
  std::string Errors;
  const std::string Out = Convert("4937", "25830", "52.5 -1.5 100\n", Status, Errors);
  // The series gives 5817709.52624 (the published figure is rounded to 1 mm).
  EXPECT_EQ(Out, "601821.6030 5817709.5262 100.0000 -\n");
  EXPECT_EQ(Status, ExitAllConverted);
  EXPECT_EQ(Errors, "");
}

TEST_F(ConvertCommandTest, FailuresAndPassThrough) {
  int Status = -1;
  std::string Errors;
  // Line 3 lies outside zone 30N; line 4 is not a point; the last line has no line end.
  const std::string Out =
      Convert("4937", "25830", "# survey\n\n10.0 20.0\nfoo bar\n52.5 -1.5", Status, Errors);
  EXPECT_EQ(Out, "# survey\n\n* * * -\n* * * -\n601821.6030 5817709.5262 0.0000 -\n");
  EXPECT_EQ(Status, ExitSomeFailed);
  EXPECT_NE(Errors.find("line 4"), std::string::npos);
}

TEST_F(ConvertCommandTest, GeodeticOutputOrder) {
  int Status = -1;
  std::string Errors;
  const std::string Out = Convert("25830", "4937", "601821.603 5817709.526 100\n", Status, Errors);
  double Lat = 0, Lon = 0, H = 0;
  char Datum[8] = {};
  ASSERT_EQ(std::sscanf(Out.c_str(), "%lf %lf %lf %7s", &Lat, &Lon, &H, Datum), 4);
  EXPECT_NEAR(Lat, 52.5, 1e-8);  // latitude first; 1e-8 deg is about 1 mm
  EXPECT_NEAR(Lon, -1.5, 1e-8);
  EXPECT_NEAR(H, 100.0, 1e-4);
  EXPECT_STREQ(Datum, "-");
}

namespace {
// Runs a copy of veltrana-convert in a folder holding the grid files except
// those Damage removes or breaks; returns the output and the exit status.
std::string RunCopiedConverter(const std::string& Damage, int& Status) {
  namespace fs = std::filesystem;
  const fs::path Bin = fs::read_symlink("/proc/self/exe").parent_path();
  const fs::path Dir = fs::temp_directory_path() / ("veltrana-convert-" + std::to_string(::getpid()));
  fs::remove_all(Dir);
  fs::create_directories(Dir);
  fs::copy_file(Bin / "veltrana-convert", Dir / "veltrana-convert");
  for (const auto& E : fs::directory_iterator(Bin))
    if (E.path().extension() == ".dat") fs::copy_file(E.path(), Dir / E.path().filename());
  const std::string Command = "cd '" + Dir.string() + "' && " + Damage +
                              " && echo '52.658007833 1.716073973 108.05' | ./veltrana-convert 4937 27700 > out.txt";
  const int Raw = std::system(Command.c_str());
  Status = WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1;
  std::ifstream In(Dir / "out.txt");
  std::string Out((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  fs::remove_all(Dir);
  return Out;
}
}  // namespace

TEST(ConvertProgramTest, MissingOrDamagedGridFailsPointByPoint) {
  struct Row { const char* Name; const char* Damage; const char* Output; int Status; };
  const Row Rows[] = {
      {"AllGrids", "true", "651409.8038 313177.4499 63.8216 ODN\n", 0},
      {"ShiftGridRemoved", "rm TN15GB.dat", "* * * -\n", 1},
      {"ShiftGridTruncated", "truncate -s 1000 TN15GB.dat", "* * * -\n", 1},
      {"GeoidGridEmpty", "truncate -s 0 GM15GB.dat", "* * * -\n", 1},
      {"GeoidHeaderOnly", "truncate -s 56 GM15GB.dat", "* * * -\n", 1},
  };
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name);
    int Status = -1;
    EXPECT_EQ(RunCopiedConverter(R.Damage, Status), R.Output);
    EXPECT_EQ(Status, R.Status);
  }
}

TEST_F(ConvertCommandTest, LongInputAcrossBlocksAndOverlongLines) {
  // More than one read block, lines straddling block ends, an overlong line.
  std::string Text;
  const std::string Line = "52.5 -1.5 100\n";
  while (Text.size() < (3u << 20) / 2) Text += Line;
  const std::size_t GoodLines = Text.size() / Line.size() + 1;
  Text += std::string(70000, '1') + "\n";
  Text += Line;
  int Status = -1;
  std::string Errors;
  const std::string Out = Convert("4937", "25830", Text, Status, Errors);
  const std::string Good = "601821.6030 5817709.5262 100.0000 -\n";
  std::size_t Count = 0, Bad = 0;
  for (std::size_t P = 0; P < Out.size();) {
    const std::size_t E = Out.find('\n', P);
    const std::string L = Out.substr(P, E + 1 - P);
    Count += L == Good;
    Bad += L == "* * * -\n";
    P = E + 1;
  }
  EXPECT_EQ(Bad, 1u);
  EXPECT_EQ(Count, GoodLines);
  EXPECT_EQ(Status, ExitSomeFailed);
  EXPECT_NE(Errors.find("not a point"), std::string::npos);
}
