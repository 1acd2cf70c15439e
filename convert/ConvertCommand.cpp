#include "ConvertCommand.h"

#include <unistd.h>

#include <charconv>
#include <cstring>
#include <memory>

#include "NumberText.h"
#include "VerticalDatums.h"

namespace veltrana {

namespace {

constexpr int DegreeDecimals = 10;
constexpr int MetreDecimals = 4;
constexpr std::int32_t SridITM = 2157;
constexpr std::int32_t SridIG = 29903;
// I/O block size: large enough that system calls do not limit throughput.
constexpr std::size_t IOBlockSize = 1 << 20;
// A line longer than this cannot be a point; it is reported, not buffered.
constexpr std::size_t MaxLineLength = 1 << 16;

bool IsSeparator(char C) { return C == ' ' || C == '\t' || C == ',' || C == '\r'; }

bool ReadInt(std::string_view Text, std::int32_t& Value) {
  if (Text.empty()) return false;
  const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  return Error == std::errc() && End == Text.data() + Text.size();
}

}  // namespace

std::string ConvertUsage() {
  return "Usage: veltrana-convert [--datum malin|belfast] [--help] FROM TO [FILE]\n"
         "  FROM, TO  systems as SRID or SRID@REVISION (4937, 27700, 27700@2002);\n"
         "            without a revision the latest is used.\n"
         "  FILE      points, one per line (standard input when absent): two or three\n"
         "            numbers separated by blanks, tabs or commas, in the source's\n"
         "            presented order (latitude before longitude for ETRS89 geodetic),\n"
         "            decimal degrees or metres, \".\" as decimal mark.\n"
         "  --datum   vertical datum of the Irish systems (default malin).\n"
         "Output: three components in the target's order and the vertical datum\n"
         "abbreviation, or \"* * * -\" for a point that does not convert.\n"
         "Exit status: 0 all points converted, 1 some did not, 2 usage error.\n";
}

int ParseSystemArgument(std::string_view Text) {
  std::int32_t Srid = 0;
  std::int32_t Revision = 0;
  const std::size_t At = Text.find('@');
  if (!ReadInt(Text.substr(0, At), Srid)) return -1;
  if (At != std::string_view::npos && (!ReadInt(Text.substr(At + 1), Revision) || Revision == 0))
    return -1;
  return CoordinateSystems.FindBySRID(Srid, Revision);
}

bool ParseConvertArguments(const std::vector<std::string>& Arguments, TConvertOptions& Options,
                           std::string& Error) {
  std::vector<std::string> Positional;
  for (std::size_t I = 0; I < Arguments.size(); ++I) {
    const std::string& A = Arguments[I];
    if (A == "--help" || A == "-h") {
      Options.Help = true;
    } else if (A == "--datum" || A.rfind("--datum=", 0) == 0) {
      std::string Value;
      if (A == "--datum") {
        if (I + 1 >= Arguments.size()) {
          Error = "--datum needs a value: malin or belfast";
          return false;
        }
        Value = Arguments[++I];
      } else {
        Value = A.substr(std::strlen("--datum="));
      }
      if (Value == "malin") {
        Options.IrishDatum = vdMalinHead;
      } else if (Value == "belfast") {
        Options.IrishDatum = vdBelfast;
      } else {
        Error = "unknown vertical datum '" + Value + "': use malin or belfast";
        return false;
      }
    } else if (A.size() > 1 && A[0] == '-') {
      Error = "unknown option '" + A + "'";
      return false;
    } else {
      Positional.push_back(A);
    }
  }
  if (Options.Help) return true;
  if (Positional.size() < 2 || Positional.size() > 3) {
    Error = "expected FROM TO [FILE]";
    return false;
  }
  Options.SourceIndex = ParseSystemArgument(Positional[0]);
  if (Options.SourceIndex < 0) {
    Error = "unknown system '" + Positional[0] + "'";
    return false;
  }
  Options.TargetIndex = ParseSystemArgument(Positional[1]);
  if (Options.TargetIndex < 0) {
    Error = "unknown system '" + Positional[1] + "'";
    return false;
  }
  if (Positional.size() == 3 && Positional[2] != "-") Options.FileName = Positional[2];
  return true;
}

void SetIrishPreferredDatum(TVerticalDatumCode Datum) {
  for (int I = 0; I < CoordinateSystems.Count(); ++I) {
    TCoordinateSystem* S = CoordinateSystems.Items(I);
    if (S->SRID == SridITM || S->SRID == SridIG) S->PreferredVerticalDatum = Datum;
  }
}

TPointLine ReadPointLine(std::string_view Line, double (&Values)[3]) {
  std::size_t P = 0;
  while (P < Line.size() && (Line[P] == ' ' || Line[P] == '\t' || Line[P] == '\r')) ++P;
  if (P == Line.size() || Line[P] == '#') return plPassThrough;
  int Count = 0;
  while (P < Line.size()) {
    const std::size_t Start = P;
    while (P < Line.size() && !IsSeparator(Line[P])) ++P;
    if (P > Start) {
      if (Count == 3 || !ReadNumber(Line.substr(Start, P - Start), Values[Count], '.'))
        return plBad;
      ++Count;
    }
    while (P < Line.size() && IsSeparator(Line[P])) ++P;
  }
  if (Count < 2) return plBad;
  if (Count == 2) Values[2] = 0.0;
  return plPoint;
}

void AppendPointLine(std::string& Out, const TCoordinateSystem& Target, const TCoordinates& Point,
                     TVerticalDatumCode Datum) {
  if (Point == NullCoordinates) {
    Out += "* * * -\n";
    return;
  }
  const double Components[3] = {Point.X, Point.Y, Point.Z};
  for (int K = 0; K < 3; ++K) {
    const int C = AxisComponent(K, Target.AxisOrder);
    const bool Angle = Target.CoordinateType == ctGeodetic && C < 2;
    AppendFixed(Out, Components[C], Angle ? DegreeDecimals : MetreDecimals, '.');
    Out += ' ';
  }
  const std::string Abbreviation = VerticalDatumAbbreviation(Datum);
  Out += Abbreviation.empty() ? "-" : Abbreviation;
  Out += '\n';
}

namespace {

class TLineConverter {
 public:
  TLineConverter(const TConvertOptions& Options, std::FILE* Output, std::FILE* Errors,
                 bool FlushEachLine)
      : FSource(*CoordinateSystems.Items(Options.SourceIndex)),
        FTarget(*CoordinateSystems.Items(Options.TargetIndex)),
        FSourceIndex(Options.SourceIndex),
        FTargetIndex(Options.TargetIndex),
        FOutput(Output),
        FErrors(Errors),
        FFlushEachLine(FlushEachLine) {
    FBuffer.reserve(IOBlockSize + MaxLineLength);
  }

  void Line(std::string_view Text) {
    ++FLineNumber;
    double Values[3];
    switch (ReadPointLine(Text, Values)) {
      case plPassThrough:
        FBuffer.append(Text);
        FBuffer += '\n';
        break;
      case plBad:
        std::fprintf(FErrors, "veltrana-convert: line %lld: not a point\n", FLineNumber);
        FBuffer += "* * * -\n";
        FAllConverted = false;
        break;
      case plPoint:
        Point(Values);
        break;
    }
    if (FFlushEachLine || FBuffer.size() >= IOBlockSize) Flush();
  }

  bool Flush() {
    if (!FBuffer.empty() && std::fwrite(FBuffer.data(), 1, FBuffer.size(), FOutput) != FBuffer.size())
      FWriteFailed = true;
    FBuffer.clear();
    if (FFlushEachLine) std::fflush(FOutput);
    return !FWriteFailed;
  }

  bool AllConverted() const { return FAllConverted; }
  long long LineNumber() const { return FLineNumber; }

 private:
  void Point(const double (&Values)[3]) {
    // The line gives the source's presented order; place it into X, Y, Z.
    double Components[3];
    for (int K = 0; K < 3; ++K) Components[AxisComponent(K, FSource.AxisOrder)] = Values[K];
    TCoordinates Result = NullCoordinates;
    ConvertCoordinates(FSourceIndex, FTargetIndex, {Components[0], Components[1], Components[2]},
                       Result);
    if (Result == NullCoordinates) FAllConverted = false;
    AppendPointLine(FBuffer, FTarget, Result, FTarget.LastVerticalDatum);
  }

  const TCoordinateSystem& FSource;
  const TCoordinateSystem& FTarget;
  int FSourceIndex;
  int FTargetIndex;
  std::FILE* FOutput;
  std::FILE* FErrors;
  bool FFlushEachLine;
  std::string FBuffer;
  long long FLineNumber = 0;
  bool FAllConverted = true;
  bool FWriteFailed = false;
};

}  // namespace

int ConvertStream(const TConvertOptions& Options, std::FILE* Input, std::FILE* Output,
                  std::FILE* Errors, bool FlushEachLine) {
  TLineConverter Converter(Options, Output, Errors, FlushEachLine);
  std::unique_ptr<char[]> Block(new char[IOBlockSize]);
  std::string Pending;  // an incomplete line carried over between blocks
  bool Overlong = false;
  std::size_t Read = 0;
  while ((Read = std::fread(Block.get(), 1, IOBlockSize, Input)) > 0) {
    const char* P = Block.get();
    const char* End = P + Read;
    while (P < End) {
      const char* NewLine = static_cast<const char*>(std::memchr(P, '\n', End - P));
      const char* LineEnd = NewLine != nullptr ? NewLine : End;
      if (!Overlong) {
        if (Pending.size() + (LineEnd - P) > MaxLineLength) {
          Overlong = true;
          Pending.clear();
        } else if (Pending.empty() && NewLine != nullptr) {
          Converter.Line(std::string_view(P, LineEnd - P));
        } else {
          Pending.append(P, LineEnd);
          if (NewLine != nullptr) {
            Converter.Line(Pending);
            Pending.clear();
          }
        }
      }
      if (NewLine == nullptr) break;
      if (Overlong) {
        Overlong = false;
        Converter.Line("\x01");  // reported as an unreadable line
      }
      P = NewLine + 1;
    }
  }
  if (Overlong) Converter.Line("\x01");
  else if (!Pending.empty()) Converter.Line(Pending);
  bool Ok = Converter.AllConverted();
  if (std::ferror(Input)) {
    std::fprintf(Errors, "veltrana-convert: cannot read the input\n");
    Ok = false;
  }
  if (!Converter.Flush() || std::fflush(Output) != 0) {
    std::fprintf(Errors, "veltrana-convert: cannot write the output\n");
    Ok = false;
  }
  return Ok ? ExitAllConverted : ExitSomeFailed;
}

int RunConvert(const std::vector<std::string>& Arguments) {
  TConvertOptions Options;
  std::string Error;
  if (!ParseConvertArguments(Arguments, Options, Error)) {
    std::fprintf(stderr, "veltrana-convert: %s\n%s", Error.c_str(), ConvertUsage().c_str());
    return ExitUsage;
  }
  if (Options.Help) {
    std::fputs(ConvertUsage().c_str(), stdout);
    std::fputs("\nSystems:\n", stdout);
    std::fputs(CoordinateSystems.SystemsText(true).c_str(), stdout);
    std::fputs("\n", stdout);
    return ExitAllConverted;
  }
  SetIrishPreferredDatum(Options.IrishDatum);
  std::FILE* Input = stdin;
  if (!Options.FileName.empty()) {
    Input = std::fopen(Options.FileName.c_str(), "rb");
    if (Input == nullptr) {
      std::fprintf(stderr, "veltrana-convert: cannot open '%s': %s\n", Options.FileName.c_str(),
                   std::strerror(errno));
      return ExitUsage;
    }
  }
  const int Status = ConvertStream(Options, Input, stdout, stderr, isatty(fileno(stdout)) != 0);
  if (Input != stdin) std::fclose(Input);
  return Status;
}

}  // namespace veltrana
