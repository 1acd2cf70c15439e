#include "ConvertCommand.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

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

// An argument as it is quoted in a message: control bytes (a line break
// inside an argument, terminal escapes) are written as \xNN, so that the
// message stays one line and prints nothing but text.
std::string Printable(std::string_view Argument) {
  constexpr unsigned char FirstPrintable = 0x20;
  constexpr unsigned char Delete = 0x7F;
  constexpr unsigned HexDigitBits = 4;
  constexpr unsigned char LowNibble = 0xF;
  constexpr char HexDigits[] = "0123456789ABCDEF";
  std::string Text;
  for (char C : Argument) {
    const auto Byte = static_cast<unsigned char>(C);
    if (Byte < FirstPrintable || Byte == Delete) {
      Text += "\\x";
      Text += HexDigits[Byte >> HexDigitBits];
      Text += HexDigits[Byte & LowNibble];
    } else {
      Text += C;
    }
  }
  return Text;
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
        Error = "unknown vertical datum '" + Printable(Value) + "': use malin or belfast";
        return false;
      }
    } else if (A.size() > 1 && A[0] == '-') {
      Error = "unknown option '" + Printable(A) + "'";
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
    Error = "unknown system '" + Printable(Positional[0]) + "'";
    return false;
  }
  Options.TargetIndex = ParseSystemArgument(Positional[1]);
  if (Options.TargetIndex < 0) {
    Error = "unknown system '" + Printable(Positional[1]) + "'";
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

// The stream runs as three stages on their own threads: reading and parsing
// lines, converting (the calling thread: conversions touch the systems'
// shared state and stay on one thread), formatting and writing. Batches of
// lines travel between them and come back empty, so memory stays bounded by
// BatchCount batches of at most one read block each.
constexpr std::size_t BatchCount = 4;

struct TParsedLine {
  TPointLine Kind = plBad;
  double Values[3] = {0.0, 0.0, 0.0};
  std::size_t Offset = 0;  // the line's text in the batch (pass-through lines)
  std::size_t Length = 0;
  TCoordinates Result;
  TVerticalDatumCode Datum = vdNone;
};

struct TLineBatch {
  std::string Text;
  std::vector<TParsedLine> Lines;
  bool Last = false;       // no batch follows
  bool ReadError = false;  // the input could not be read to its end
  void Clear() {
    Text.clear();
    Lines.clear();
    Last = ReadError = false;
  }
};

using TBatchPointer = std::unique_ptr<TLineBatch>;

class TBatchQueue {
 public:
  void Push(TBatchPointer Batch) {
    {
      const std::lock_guard<std::mutex> Lock(FMutex);
      FItems.push_back(std::move(Batch));
    }
    FReady.notify_one();
  }
  TBatchPointer Pop() {
    std::unique_lock<std::mutex> Lock(FMutex);
    FReady.wait(Lock, [this] { return !FItems.empty(); });
    TBatchPointer Batch = std::move(FItems.front());
    FItems.pop_front();
    return Batch;
  }

 private:
  std::mutex FMutex;
  std::condition_variable FReady;
  std::deque<TBatchPointer> FItems;
};

// Stage 1: splits the input into lines and reads their points. A line longer
// than MaxLineLength is kept as an unreadable line of no text.
class TLineReader {
 public:
  TLineReader(int Input, TBatchQueue& Free, TBatchQueue& Out) : FInput(Input), FFree(Free), FOut(Out) {}

  void Run() {
    std::unique_ptr<char[]> Block(new char[IOBlockSize]);
    for (;;) {
      const ssize_t Read = ::read(FInput, Block.get(), IOBlockSize);
      if (Read < 0 && errno == EINTR) continue;
      TBatchPointer Batch = FFree.Pop();
      Batch->Clear();
      if (Read <= 0) {
        if (FOverlong) AddBad(*Batch);
        else if (!FPending.empty()) AddLine(*Batch, FPending);
        Batch->ReadError = Read < 0;
        Batch->Last = true;
        FOut.Push(std::move(Batch));
        return;
      }
      Split(*Batch, Block.get(), Block.get() + Read);
      FOut.Push(std::move(Batch));
    }
  }

 private:
  void Split(TLineBatch& Batch, const char* P, const char* End) {
    while (P < End) {
      const char* NewLine = static_cast<const char*>(std::memchr(P, '\n', static_cast<std::size_t>(End - P)));
      const char* LineEnd = NewLine != nullptr ? NewLine : End;
      const std::size_t Length = static_cast<std::size_t>(LineEnd - P);
      if (!FOverlong && FPending.size() + Length > MaxLineLength) {
        FOverlong = true;
        FPending.clear();
      }
      if (!FOverlong) {
        if (FPending.empty() && NewLine != nullptr) {
          AddLine(Batch, std::string_view(P, Length));
        } else {
          FPending.append(P, Length);
          if (NewLine != nullptr) {
            AddLine(Batch, FPending);
            FPending.clear();
          }
        }
      } else if (NewLine != nullptr) {
        AddBad(Batch);
        FOverlong = false;
      }
      if (NewLine == nullptr) return;
      P = NewLine + 1;
    }
  }

  static void AddLine(TLineBatch& Batch, std::string_view Text) {
    TParsedLine& L = Batch.Lines.emplace_back();
    L.Kind = ReadPointLine(Text, L.Values);
    if (L.Kind == plPassThrough) {
      L.Offset = Batch.Text.size();
      L.Length = Text.size();
      Batch.Text.append(Text);
    }
  }
  static void AddBad(TLineBatch& Batch) { Batch.Lines.emplace_back().Kind = plBad; }

  int FInput;
  TBatchQueue& FFree;
  TBatchQueue& FOut;
  std::string FPending;  // an incomplete line carried over between blocks
  bool FOverlong = false;
};

// Stage 3: formats every line and writes it; reports unreadable lines.
class TLineWriter {
 public:
  TLineWriter(const TCoordinateSystem& Target, std::FILE* Output, std::FILE* Errors, bool FlushEachBatch,
              TBatchQueue& In, TBatchQueue& Free)
      : FTarget(Target), FOutput(Output), FErrors(Errors), FFlush(FlushEachBatch), FIn(In), FFree(Free) {
    FBuffer.reserve(2 * IOBlockSize);
  }

  void Run() {
    for (;;) {
      TBatchPointer Batch = FIn.Pop();
      for (const TParsedLine& L : Batch->Lines) Format(*Batch, L);
      if (Batch->ReadError) {
        std::fprintf(FErrors, "veltrana-convert: cannot read the input\n");
        FAllConverted = false;
      }
      const bool Last = Batch->Last;
      FFree.Push(std::move(Batch));
      if (FFlush || FBuffer.size() >= IOBlockSize || Last) Write();
      if (Last) return;
    }
  }

  bool AllConverted() const { return FAllConverted; }
  bool WriteFailed() const { return FWriteFailed; }

 private:
  void Format(const TLineBatch& Batch, const TParsedLine& L) {
    ++FLineNumber;
    switch (L.Kind) {
      case plPassThrough:
        FBuffer.append(Batch.Text, L.Offset, L.Length);
        FBuffer += '\n';
        break;
      case plBad:
        std::fprintf(FErrors, "veltrana-convert: line %lld: not a point\n", FLineNumber);
        FBuffer += "* * * -\n";
        FAllConverted = false;
        break;
      case plPoint:
        if (L.Result == NullCoordinates) FAllConverted = false;
        AppendPointLine(FBuffer, FTarget, L.Result, L.Datum);
        break;
    }
  }

  void Write() {
    // After a failed write the rest is still consumed, so no stage waits forever.
    if (!FWriteFailed && !FBuffer.empty() &&
        std::fwrite(FBuffer.data(), 1, FBuffer.size(), FOutput) != FBuffer.size())
      FWriteFailed = true;
    if (!FWriteFailed && std::fflush(FOutput) != 0) FWriteFailed = true;
    FBuffer.clear();
  }

  const TCoordinateSystem& FTarget;
  std::FILE* FOutput;
  std::FILE* FErrors;
  bool FFlush;
  TBatchQueue& FIn;
  TBatchQueue& FFree;
  std::string FBuffer;
  long long FLineNumber = 0;
  bool FAllConverted = true;
  bool FWriteFailed = false;
};

// Stage 2: converts the points of every batch on the calling thread.
void ConvertBatches(const TConvertOptions& Options, TBatchQueue& In, TBatchQueue& Out) {
  const TCoordinateSystem& Source = *CoordinateSystems.Items(Options.SourceIndex);
  const TCoordinateSystem& Target = *CoordinateSystems.Items(Options.TargetIndex);
  for (;;) {
    TBatchPointer Batch = In.Pop();
    for (TParsedLine& L : Batch->Lines) {
      if (L.Kind != plPoint) continue;
      // The line gives the source's presented order; place it into X, Y, Z.
      double C[3];
      for (int K = 0; K < 3; ++K) C[AxisComponent(K, Source.AxisOrder)] = L.Values[K];
      L.Result = NullCoordinates;
      ConvertCoordinates(Options.SourceIndex, Options.TargetIndex, {C[0], C[1], C[2]}, L.Result);
      L.Datum = Target.LastVerticalDatum;
    }
    const bool Last = Batch->Last;
    Out.Push(std::move(Batch));
    if (Last) return;
  }
}

}  // namespace

int ConvertStream(const TConvertOptions& Options, int Input, std::FILE* Output, std::FILE* Errors,
                  bool FlushEachLine) {
  TBatchQueue Free, Parsed, Converted;
  for (std::size_t I = 0; I < BatchCount; ++I) Free.Push(std::make_unique<TLineBatch>());
  TLineReader Reader(Input, Free, Parsed);
  TLineWriter Writer(*CoordinateSystems.Items(Options.TargetIndex), Output, Errors, FlushEachLine,
                     Converted, Free);
  std::thread ReaderThread(&TLineReader::Run, &Reader);
  std::thread WriterThread(&TLineWriter::Run, &Writer);
  ConvertBatches(Options, Parsed, Converted);
  ReaderThread.join();
  WriterThread.join();
  if (Writer.WriteFailed()) std::fprintf(Errors, "veltrana-convert: cannot write the output\n");
  return Writer.AllConverted() && !Writer.WriteFailed() ? ExitAllConverted : ExitSomeFailed;
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
  int Input = STDIN_FILENO;
  if (!Options.FileName.empty()) {
    Input = ::open(Options.FileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (Input < 0) {
      std::fprintf(stderr, "veltrana-convert: cannot open '%s': %s\n", Options.FileName.c_str(),
                   std::strerror(errno));
      return ExitUsage;
    }
  }
  const int Status = ConvertStream(Options, Input, stdout, stderr, isatty(STDOUT_FILENO) != 0);
  if (Input != STDIN_FILENO) ::close(Input);
  return Status;
}

}  // namespace veltrana
