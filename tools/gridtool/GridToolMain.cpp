// veltrana-gridtool: builds the binary grid files from the published models
// and measures the accuracy of the resampled Irish grids.
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "GridFiles.h"
#include "GridResample.h"
#include "GridSources.h"
#include "NumberText.h"
#include "SourceText.h"

namespace {

using namespace veltrana;
using namespace veltrana::gridtool;

constexpr int ExitSuccess = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;
// Default spacing of the resampling-error samples, metres.
constexpr double DefaultSampleStep = 100.0;
// Decimals of metre figures printed: 0.1 mm for sizes, 1 um for errors.
constexpr int PositionDecimals = 1;
constexpr int ErrorDecimals = 6;
constexpr char DecimalMark = '.';

constexpr std::string_view UsageText =
    "usage: veltrana-gridtool COMMAND ARGUMENTS\n"
    "  gb SOURCE SHIFT.dat GEOID.dat\n"
    "      Great Britain model CSV (Point_ID,ETRS89_Easting,...,Height_Datum_Flag)\n"
    "      -> shift grid and geoid grid (origin 0, 0; 701 x 1251 nodes).\n"
    "  gri SOURCE.gri GEOID.dat --datum CODE\n"
    "      latitude/longitude geoid graticule -> geoid grid on the 1 km Irish\n"
    "      Transverse Mercator grid; nodes inside carry CODE (13 Malin Head,\n"
    "      14 Belfast), nodes outside code 0.\n"
    "  itm SOURCE GEOID.dat [--datum CODE]\n"
    "      1 km Irish Transverse Mercator geoid CSV (id,easting,northing,\n"
    "      separation,flag) -> geoid grid; with --datum every flag must be 0 or CODE.\n"
    "  gri-error SOURCE.gri GEOID.dat [--step METRES] [--limit METRES]\n"
    "      prints the largest difference between GEOID.dat (bilinear in its 1 km\n"
    "      cells) and the graticule (bilinear at the same point), sampled every\n"
    "      --step metres (default 100) in every cell whose four nodes are defined,\n"
    "      and how many samples reach 2 mm; fails when the largest reaches --limit.\n"
    "A SOURCE ending in .xz is decompressed through \"xz -dc\"; any other is read as text.\n";

int Usage(const std::string& Problem) {
  std::cerr << "veltrana-gridtool: " << Problem << "\n" << UsageText;
  return ExitUsage;
}

int Fail(const std::string& Message) {
  std::cerr << "veltrana-gridtool: " << Message << "\n";
  return ExitFailure;
}

std::string Fixed(double Value, int Decimals) { return FixedText(Value, Decimals, DecimalMark); }

// Positional arguments and the options "--datum" and "--step".
struct TArguments {
  std::vector<std::string> Positional;
  int Datum = vdNone;
  double Step = DefaultSampleStep;
  double Limit = 0.0;  // 0: report only
  std::string Problem;  // non-empty when the command line is malformed
};

bool ParseInteger(std::string_view Text, int& Value) {
  const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  return Error == std::errc() && End == Text.data() + Text.size();
}

TArguments ParseArguments(int Count, char** Values) {
  TArguments A;
  for (int I = 2; I < Count; ++I) {
    const std::string_view Argument = Values[I];
    if (Argument == "--datum" || Argument == "--step" || Argument == "--limit") {
      if (I + 1 >= Count) {
        A.Problem = std::string(Argument) + " needs a value";
        return A;
      }
      const std::string_view Value = Values[++I];
      if (Argument == "--datum") {
        if (!ParseInteger(Value, A.Datum) || A.Datum <= vdNone || A.Datum >= VerticalDatumCount)
          A.Problem = "--datum " + std::string(Value) + " is not a vertical-datum code 1 to 16";
      } else if (Argument == "--step") {
        if (!ReadNumber(Value, A.Step, DecimalMark)) A.Problem = "--step " + std::string(Value) + " is not a number";
      } else if (!ReadNumber(Value, A.Limit, DecimalMark) || !(A.Limit > 0.0)) {
        A.Problem = "--limit " + std::string(Value) + " is not a positive number";
      }
      if (!A.Problem.empty()) return A;
    } else {
      A.Positional.emplace_back(Argument);
    }
  }
  return A;
}

std::string FileSizeText(const std::string& FileName) {
  std::error_code Error;
  const auto Size = std::filesystem::file_size(FileName, Error);
  return Error ? std::string("?") : std::to_string(Size);
}

void Report(const std::string& FileName, const TGridHeader& Header) {
  std::cout << "wrote " << FileName << ": " << Header.Columns << " columns x " << Header.Rows << " rows, origin ("
            << Fixed(Header.OriginX, 0) << ", " << Fixed(Header.OriginY, 0) << "), " << FileSizeText(FileName)
            << " bytes\n";
}

bool ReadSource(const std::string& FileName, std::string& Text, std::string& Error) {
  return ReadSourceText(FileName, Text, Error);
}

int SaveGeoid(const TGeoidGrid& Grid, const std::string& FileName) {
  if (!SaveGeoidGrid(Grid, FileName)) return Fail(FileName + ": cannot write the geoid grid");
  Report(FileName, Grid.Header);
  return ExitSuccess;
}

int BuildGB(const TArguments& A) {
  if (A.Positional.size() != 3 || A.Datum != vdNone) return Usage("gb takes SOURCE SHIFT.dat GEOID.dat");
  std::string Text, Error;
  if (!ReadSource(A.Positional[0], Text, Error)) return Fail(Error);
  TShiftGrid Shift;
  TGeoidGrid Geoid;
  const TParseStatus Status = ParseGBModel(Text, A.Positional[0], PublishedGBLayout, Shift, Geoid);
  if (!Status.Ok) return Fail(Status.Message);
  if (!SaveShiftGrid(Shift, A.Positional[1])) return Fail(A.Positional[1] + ": cannot write the shift grid");
  Report(A.Positional[1], Shift.Header);
  return SaveGeoid(Geoid, A.Positional[2]);
}

bool ReadGraticule(const std::string& FileName, TGraticule& Graticule, std::string& Error) {
  std::string Text;
  if (!ReadSource(FileName, Text, Error)) return false;
  const TParseStatus Status = ParseGraticule(Text, FileName, Graticule);
  Error = Status.Message;
  return Status.Ok;
}

int BuildFromGraticule(const TArguments& A) {
  if (A.Positional.size() != 2 || A.Datum == vdNone) return Usage("gri takes SOURCE.gri GEOID.dat --datum CODE");
  TGraticule Graticule;
  std::string Error;
  if (!ReadGraticule(A.Positional[0], Graticule, Error)) return Fail(Error);
  const TGeoidGrid Grid =
      ResampleGraticule(Graticule, static_cast<TVerticalDatumCode>(A.Datum), MakeITMProjection());
  return SaveGeoid(Grid, A.Positional[1]);
}

int BuildFromGridModel(const TArguments& A) {
  if (A.Positional.size() != 2) return Usage("itm takes SOURCE GEOID.dat [--datum CODE]");
  std::string Text, Error;
  if (!ReadSource(A.Positional[0], Text, Error)) return Fail(Error);
  TGeoidGrid Grid;
  const TParseStatus Status =
      ParseGridGeoidModel(Text, A.Positional[0], static_cast<TVerticalDatumCode>(A.Datum), Grid);
  if (!Status.Ok) return Fail(Status.Message);
  return SaveGeoid(Grid, A.Positional[1]);
}

int MeasureGraticule(const TArguments& A) {
  if (A.Positional.size() != 2 || A.Datum != vdNone)
    return Usage("gri-error takes SOURCE.gri GEOID.dat [--step METRES] [--limit METRES]");
  const double Parts = GridSpacing / A.Step;
  if (!(A.Step >= MinSampleStep && A.Step <= MaxSampleStep) || Parts != static_cast<double>(static_cast<int>(Parts)))
    return Usage("--step must divide 1000 m into whole parts, 1 to 1000 m");
  TGraticule Graticule;
  std::string Error;
  if (!ReadGraticule(A.Positional[0], Graticule, Error)) return Fail(Error);
  TGeoidGrid Grid;
  if (!LoadGeoidGrid(Grid, A.Positional[1])) return Fail(A.Positional[1] + ": not a valid geoid grid file");
  const TResamplingError E = MeasureResamplingError(Graticule, Grid, MakeITMProjection(), A.Step);
  std::cout << A.Positional[1] << " against " << A.Positional[0] << ": " << E.Samples << " samples every "
            << Fixed(A.Step, PositionDecimals) << " m in " << E.Cells << " cells\n"
            << "  maximum " << Fixed(E.Maximum, ErrorDecimals) << " m at easting "
            << Fixed(E.MaximumEasting, PositionDecimals) << ", northing " << Fixed(E.MaximumNorthing, PositionDecimals)
            << "\n  rms " << Fixed(E.RootMeanSquare, ErrorDecimals) << " m; " << E.SamplesOutside
            << " samples outside the graticule skipped\n";
  std::cout << "  " << E.SamplesAboveLimit << " samples in " << E.CellsAboveLimit << " cells reach "
            << Fixed(ResamplingErrorLimit, ErrorDecimals) << " m\n";
  if (E.Samples == 0) return Fail("no sample compared");
  if (A.Limit > 0.0 && !(E.Maximum < A.Limit))
    return Fail("resampling error " + Fixed(E.Maximum, ErrorDecimals) + " m reaches the limit of " +
                Fixed(A.Limit, ErrorDecimals) + " m");
  return ExitSuccess;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage("no command");
  const std::string_view Command = argv[1];
  const TArguments Arguments = ParseArguments(argc, argv);
  if (!Arguments.Problem.empty()) return Usage(Arguments.Problem);
  if (Command == "gb") return BuildGB(Arguments);
  if (Command == "gri") return BuildFromGraticule(Arguments);
  if (Command == "itm") return BuildFromGridModel(Arguments);
  if (Command == "gri-error") return MeasureGraticule(Arguments);
  return Usage("unknown command \"" + std::string(Command) + "\"");
}
