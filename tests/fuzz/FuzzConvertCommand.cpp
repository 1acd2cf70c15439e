// libFuzzer target: veltrana-convert's readers. The input is read three
// ways: split at line feeds, each line goes to ReadPointLine; split at NUL
// bytes, the pieces are an argument list for ParseConvertArguments and each
// piece a system argument for ParseSystemArgument. Results are checked
// against the rules the header states.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ConvertCommand.h"
#include "FuzzSupport.h"
#include "NumberText.h"
#include "ProgramStartup.h"

namespace {

using namespace veltrana;

constexpr std::size_t MaxArguments = 16;

bool IsPointSeparator(char C) { return C == ' ' || C == '\t' || C == ',' || C == '\r'; }

// The numbers of Line as the header describes them: words between blanks,
// tabs and commas, each a number with "." as the mark.
std::vector<std::string_view> Words(std::string_view Line) {
  std::vector<std::string_view> Result;
  std::size_t P = 0;
  while (P < Line.size()) {
    while (P < Line.size() && IsPointSeparator(Line[P])) ++P;
    const std::size_t Start = P;
    while (P < Line.size() && !IsPointSeparator(Line[P])) ++P;
    if (P > Start) Result.push_back(Line.substr(Start, P - Start));
  }
  return Result;
}

void CheckPointLine(std::string_view Line) {
  double Values[3] = {-1.0, -2.0, -3.0};
  const TPointLine Kind = ReadPointLine(Line, Values);
  const std::size_t FirstText = Line.find_first_not_of(" \t\r");
  if (FirstText == std::string_view::npos || Line[FirstText] == '#') {
    VELTRANA_FUZZ_CHECK(Kind == plPassThrough, "blank or comment line not passed through");
    return;
  }
  VELTRANA_FUZZ_CHECK(Kind != plPassThrough, "a line with text passed through");
  const std::vector<std::string_view> W = Words(Line);
  bool Numbers = W.size() == 2 || W.size() == 3;
  double Expected[3] = {0.0, 0.0, 0.0};
  for (std::size_t K = 0; Numbers && K < W.size(); ++K) Numbers = ReadNumber(W[K], Expected[K], '.');
  VELTRANA_FUZZ_CHECK((Kind == plPoint) == Numbers, "point line: \"" + std::string(Line) + "\"");
  if (Kind != plPoint) return;
  for (int K = 0; K < 3; ++K)
    VELTRANA_FUZZ_CHECK(Values[K] == Expected[K], "component " + std::to_string(K) + " of \"" + std::string(Line) + "\"");
}

void CheckSystemArgument(const std::string& Text) {
  const int Index = ParseSystemArgument(Text);
  VELTRANA_FUZZ_CHECK(Index >= -1 && Index < CoordinateSystems.Count(), "index outside the registry");
  if (Index < 0) return;
  // Only decimal digits (and one "@" before a revision) name a system.
  const std::size_t At = Text.find('@');
  const std::string Srid = Text.substr(0, At);
  VELTRANA_FUZZ_CHECK(!Srid.empty() && Srid.find_first_not_of("-0123456789") == std::string::npos,
                      "accepted \"" + Text + "\"");
  const TCoordinateSystem* System = CoordinateSystems.Items(Index);
  VELTRANA_FUZZ_CHECK(System != nullptr && System->SRID == std::stoi(Srid), "wrong system for \"" + Text + "\"");
  if (At != std::string::npos)
    VELTRANA_FUZZ_CHECK(System->Revision == std::stoi(Text.substr(At + 1)), "wrong revision for \"" + Text + "\"");
}

void CheckArguments(const std::vector<std::string>& Arguments) {
  TConvertOptions Options;
  std::string Error;
  const bool Accepted = ParseConvertArguments(Arguments, Options, Error);
  VELTRANA_FUZZ_CHECK(Accepted == Error.empty(), "a refusal without a message, or a message on success");
  VELTRANA_FUZZ_CHECK(Error.find('\n') == std::string::npos, "message of more than one line");
  if (!Accepted || Options.Help) return;
  VELTRANA_FUZZ_CHECK(Options.SourceIndex >= 0 && Options.SourceIndex < CoordinateSystems.Count() &&
                          Options.TargetIndex >= 0 && Options.TargetIndex < CoordinateSystems.Count(),
                      "accepted arguments without two registered systems");
  VELTRANA_FUZZ_CHECK(Options.IrishDatum == vdMalinHead || Options.IrishDatum == vdBelfast, "Irish datum");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  StartUpdaterUnits();
  // The readers under test use "." whatever the locale.
  SetNumberFormat(TNumberFormat{',', '.'});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string_view Text(reinterpret_cast<const char*>(Data), Size);
  std::size_t Start = 0;
  while (Start <= Text.size()) {
    const std::size_t End = std::min(Text.find('\n', Start), Text.size());
    CheckPointLine(Text.substr(Start, End - Start));
    Start = End + 1;
  }
  const std::vector<std::string> Arguments = fuzz::SplitAtNul(Data, Size, MaxArguments);
  for (const std::string& Argument : Arguments) CheckSystemArgument(Argument);
  CheckArguments(Arguments);
  return 0;
}
