#include "Pipeline.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "CoordinateText.h"
#include "VerticalDatums.h"
#include "Workers.h"

namespace veltrana {

namespace {

constexpr std::int32_t NoPercent = -1;
constexpr std::int32_t StartPercent = 0;
constexpr std::int32_t EndPercent = 100;
// Progress moves on only in steps of at least this many percent.
constexpr std::int32_t PercentPerDot = 5;

constexpr const char* LineEnd = "\r\n";
constexpr const char* DatumName = "Datum";
// Output is gathered up to this many bytes before each write.
constexpr std::size_t OutputBlockSize = std::size_t{1} << 20;
// Text pieces at least this large are written without being gathered.
constexpr std::size_t DirectWriteSize = std::size_t{64} << 10;
// Room for the line that crosses the block size, so the buffer rarely grows.
constexpr std::size_t OutputBlockSlack = std::size_t{64} << 10;

std::string ErrorText(int Code) { return std::generic_category().message(Code != 0 ? Code : EIO); }

// The output file: lines are gathered in a large buffer and written in
// blocks. Closing happens in the destructor whatever way ConvertFile ends.
class TOutputFile {
 public:
  explicit TOutputFile(const std::string& FileName) : FFileName(FileName) {
    FBuffer.reserve(OutputBlockSize + OutputBlockSlack);
    FFile = std::fopen(FileName.c_str(), "wb");
    if (FFile == nullptr) {
      throw std::runtime_error("Cannot create output file " + FileName + ": " + ErrorText(errno));
    }
  }
  ~TOutputFile() {
    if (FFile != nullptr) std::fclose(FFile);
  }
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  std::string& Buffer() { return FBuffer; }

  // Marks the buffer's text as whole lines; writes it once it holds a block.
  void EndBlock() {
    FCompleteSize = FBuffer.size();
    if (FBuffer.size() >= OutputBlockSize) Flush();
  }

  // Appends whole lines; pieces of at least DirectWriteSize bytes go to the
  // file at once (after what is gathered), smaller ones are gathered first.
  void Write(std::string_view Lines) {
    if (Lines.size() >= DirectWriteSize) {
      Flush();
      WriteBytes(Lines);
      return;
    }
    FBuffer += Lines;
    EndBlock();
  }

  // Drops the bytes of a line that was not ended.
  void DiscardPartialLine() { FBuffer.resize(FCompleteSize); }

  void Flush() {
    if (FBuffer.empty()) return;
    const bool Written = std::fwrite(FBuffer.data(), 1, FBuffer.size(), FFile) == FBuffer.size();
    const int Code = errno;
    FBuffer.clear();
    FCompleteSize = 0;
    if (!Written) throw std::runtime_error("Cannot write output file " + FFileName + ": " + ErrorText(Code));
  }

  // Writes what is left and closes the file, reporting a failure of either.
  void Close() {
    Flush();
    std::FILE* File = FFile;
    FFile = nullptr;
    if (std::fclose(File) != 0) {
      throw std::runtime_error("Cannot write output file " + FFileName + ": " + ErrorText(errno));
    }
  }

 private:
  void WriteBytes(std::string_view Bytes) {
    const bool Written = std::fwrite(Bytes.data(), 1, Bytes.size(), FFile) == Bytes.size();
    if (!Written) throw std::runtime_error("Cannot write output file " + FFileName + ": " + ErrorText(errno));
  }

  std::string FFileName;
  std::string FBuffer;
  std::size_t FCompleteSize = 0;  // bytes of FBuffer that form whole lines
  std::FILE* FFile = nullptr;
};

// Text as one output field: unchanged without a quote byte, otherwise
// enclosed in it with every quote byte inside doubled.
void AppendQuoted(std::string& Out, std::string_view Text, char Quote) {
  if (Quote == '\0') {
    Out += Text;
    return;
  }
  Out += Quote;
  for (std::size_t Next = Text.find(Quote); Next != std::string_view::npos; Next = Text.find(Quote)) {
    Out.append(Text.data(), Next + 1);
    Out += Quote;
    Text.remove_prefix(Next + 1);
  }
  Out += Text;
  Out += Quote;
}

// A field added after the record's own: the terminator, then the text.
void AppendField(std::string& Out, std::string_view Text, const TSettingsInfo& Settings) {
  Out += Settings.FieldTerminator;
  AppendQuoted(Out, Text, Settings.TextDelimiter);
}

// A record's fields as the stream split them, re-quoted.
void AppendRecord(std::string& Out, const TRecordSplit& Split, const TSettingsInfo& Settings) {
  for (std::size_t Field = 0; Field < Split.Values.size(); ++Field) {
    if (Field > 0) Out += Settings.FieldTerminator;
    AppendQuoted(Out, Split.Values[Field], Settings.TextDelimiter);
  }
}

TCoordinateSystem& RegisteredSystem(std::int32_t SRID, std::int32_t Revision) {
  TCoordinateSystem* System = CoordinateSystems.Items(CoordinateSystems.FindBySRID(SRID, Revision));
  if (System == nullptr) {
    throw std::runtime_error("No coordinate system with SRID " + std::to_string(SRID) + " and revision " +
                             std::to_string(Revision) + " is registered");
  }
  return *System;
}

// The settings' datum code as the systems take it: 0 stands for the
// default; a number that is no datum code is no preferred datum.
TVerticalDatumCode PreferredDatumOf(const TSettingsInfo& Settings) {
  if (Settings.PreferredDatum == vdNone) return DefaultPreferredDatum;
  if (Settings.PreferredDatum < 0 || Settings.PreferredDatum >= VerticalDatumCount) return vdNone;
  return static_cast<TVerticalDatumCode>(Settings.PreferredDatum);
}

void FillOutputNames(TSettingsInfo& Settings, const TCoordinateSystem& Output) {
  const TAxisNames& Names = Output.AxisNames();
  const std::string Prefix = Output.Abbreviation + "-";
  if (Settings.OutputXName.empty()) Settings.OutputXName = Prefix + Names.XShortName;
  if (Settings.OutputYName.empty()) Settings.OutputYName = Prefix + Names.YShortName;
  if (Settings.OutputZName.empty()) Settings.OutputZName = Prefix + Names.ZShortName;
}

// Loads and lays out the input. False when the call is to end (the message
// has been printed).
bool LoadInput(TDataStream& Stream, const TSettingsInfo& Settings, const std::string& InputFileName,
               TProgressHandler& Handler) {
  try {
    Handler.WriteMessage("Opening file: " + InputFileName);
    Handler.ResetProgress();
    Stream.LoadFromFile(InputFileName);
    Stream.SetFormat(Settings.Format);
    if (Settings.Format == dfFixed) ApplyFieldBreaks(Stream, Settings.FieldBreaks);
    Stream.SetFirstRow(Settings.FirstRow);
    Stream.SetLastRow(Settings.LastRow);
    Stream.SetNameRow(Settings.NameRow);
    Stream.SetFieldTerminator(Settings.FieldTerminator);
    Stream.SetConsecutiveDelimiters(Settings.ConsecutiveDelimiters);
    Stream.SetTextDelimiter(Settings.TextDelimiter);
    if (Stream.RecordCount() <= 0) {
      Handler.WriteMessage("No readable data found in file: " + InputFileName);
      return false;
    }
  } catch (const std::bad_alloc&) {
    Handler.WriteMessage("ERROR: Insufficient memory to load: " + InputFileName);
    return false;
  }
  return true;
}

// A record's field values as views: the pieces between terminators of a
// plain line (TDataStream::PlainRecordText), or the values of a split.
using TFieldViews = std::vector<std::string_view>;

void PlainLineFields(std::string_view Line, char Terminator, TFieldViews& Fields) {
  Fields.clear();
  for (std::size_t Next = Line.find(Terminator); Next != std::string_view::npos; Next = Line.find(Terminator)) {
    Fields.push_back(Line.substr(0, Next));
    Line.remove_prefix(Next + 1);
  }
  Fields.push_back(Line);
}

void SplitFields(const TRecordSplit& Split, TFieldViews& Fields) {
  Fields.assign(Split.Values.begin(), Split.Values.end());
}

// Field Index as TDataStream::FieldValue gives it: "" past the last field; a
// negative index throws std::out_of_range.
std::string_view FieldAt(const TFieldViews& Fields, std::int32_t Index) {
  if (Index < 0) throw std::out_of_range("Field index " + std::to_string(Index) + " is negative");
  return static_cast<std::size_t>(Index) < Fields.size() ? Fields[static_cast<std::size_t>(Index)]
                                                           : std::string_view();
}

// Reads the point of a record's fields; false when a coordinate field does
// not read as a number.
bool ReadPoint(const TFieldViews& Fields, const TSettingsInfo& Settings, TCoordinateType Type, TCoordinates& Point) {
  Point = TCoordinates();
  if (!ParseCoordinate(FieldAt(Fields, Settings.XColumn), Point.X, Type, 0)) return false;
  if (!ParseCoordinate(FieldAt(Fields, Settings.YColumn), Point.Y, Type, 1)) return false;
  if (Settings.ZColumn != -1 && !ParseCoordinate(FieldAt(Fields, Settings.ZColumn), Point.Z, Type, 2)) {
    return false;
  }
  return true;
}

// One point from Input into Output, user units on both sides. A failure of
// any step gives NullCoordinates with vdNone; errors raised by a system pass.
TOutputItem ConvertPoint(const TCoordinates& Point, TCoordinateSystem& Input, TCoordinateSystem& Output) {
  const TOutputItem Failed{NullCoordinates, vdNone};
  TCoordinates Global = Input.ConvertToGlobal(Input.CoordinateType == ctGeodetic ? DegreesToRadians(Point) : Point);
  // A failed global point must not be bridged: the null geodetic point
  // would become a real Cartesian one on the equator.
  if (Global == NullCoordinates) return Failed;
  if (Input.GlobalType == gtCartesian && Output.GlobalType == gtGeodetic) {
    Global = CartesianToGeodetic(Global, GRS80Ellipsoid);
  } else if (Input.GlobalType == gtGeodetic && Output.GlobalType == gtCartesian) {
    Global = GeodeticToCartesian(Global, GRS80Ellipsoid);
  }
  TCoordinates Result = Output.ConvertFromGlobal(Global);
  if (Result == NullCoordinates) return Failed;
  if (Output.CoordinateType == ctGeodetic) Result = RadiansToDegrees(Result);
  return {Result, Output.LastVerticalDatum};
}

// Records per worker below which the pipeline stays on the calling thread.
constexpr std::int64_t MinRecordsPerWorker = 16384;
// Records a worker converts between two updates of the shared progress count
// (the count only tells the calling thread how far the workers are).
constexpr std::int32_t ProgressBlock = 1024;

// The records [First, Last) of worker Worker of Workers, in record order.
struct TRecordRange {
  std::int32_t First = 0;
  std::int32_t Last = 0;
};

TRecordRange WorkerRange(std::int32_t Count, int Worker, int Workers) {
  const auto Share = [&](int W) { return static_cast<std::int32_t>(std::int64_t{Count} * W / Workers); };
  return {Share(Worker), Share(Worker + 1)};
}

// Reads and converts every record's point into Data, each worker a
// contiguous range of records on its own copies of the two systems, while
// the calling thread reports progress. Records that do not read stay
// NullCoordinates with vdNone.
void ConvertRecords(const TDataStream& Stream, const TSettingsInfo& Settings, const TCoordinateSystem& Input,
                    const TCoordinateSystem& Output, TOutputData& Data, TProgressHandler& Handler) {
  const std::int32_t Count = Stream.RecordCount();
  Handler.BeginTransform(Count);
  Data.Resize(static_cast<std::size_t>(Count));
  const int Workers = WorkerCount(Count, MinRecordsPerWorker);
  std::atomic<std::int32_t> Converted{0};
  std::int32_t Reported = 0;
  // Every record gets its step in index order, so the dots are those of a
  // record-by-record run whatever the number of workers.
  const auto Report = [&] {
    for (const std::int32_t Done = Converted.load(); Reported < Done; ++Reported) Handler.TransformStep(Reported);
  };
  RunWorkers(
      Workers,
      [&](int Worker, const std::atomic<bool>& Stop) {
        const std::unique_ptr<TCoordinateSystem> In = Input.Clone();
        const std::unique_ptr<TCoordinateSystem> Out = Output.Clone();
        const TRecordRange Range = WorkerRange(Count, Worker, Workers);
        TRecordSplit Split;
        TFieldViews Fields;
        std::string_view Plain;
        TCoordinates Point;
        for (std::int32_t Block = Range.First, BlockEnd = Block; Block < Range.Last && !Stop; Block = BlockEnd) {
          BlockEnd = Block + std::min(ProgressBlock, Range.Last - Block);  // never past Range.Last
          for (std::int32_t Record = Block; Record < BlockEnd; ++Record) {
            // A plain line is cut at its terminators in place; others are split.
            if (Stream.PlainRecordText(Record, Plain)) {
              PlainLineFields(Plain, Stream.FieldTerminator(), Fields);
            } else {
              Stream.SplitRecord(Record, Split);
              SplitFields(Split, Fields);
            }
            if (ReadPoint(Fields, Settings, In->CoordinateType, Point))
              Data.Set(static_cast<std::size_t>(Record), ConvertPoint(Point, *In, *Out));
          }
          Converted += BlockEnd - Block;
        }
      },
      Report);
  Handler.EndTransform();
}

// A converted value as an output field; written in place when no quoting
// applies (the common case, so no text is built per number).
void AppendValue(std::string& Out, double Value, int Component, const TSettingsInfo& Settings) {
  const std::int32_t Decimals = Component == 2 ? Settings.ZDecimals : Settings.XYDecimals;
  if (Settings.TextDelimiter == '\0') {
    Out += Settings.FieldTerminator;
    AppendNumber(Out, Decimals, Settings.PadDecimals, Value);
    return;
  }
  AppendField(Out, FormatNumber(Decimals, Settings.PadDecimals, Value), Settings);
}

// The table's abbreviation without building a string; "" for a code the
// table does not hold.
const char* DatumAbbreviation(TVerticalDatumCode Code) {
  return Code < VerticalDatumCount ? VerticalDatums[Code].Abbreviation : "";
}

double ComponentValue(const TCoordinates& Coordinates, int Component) {
  switch (Component) {
    case 0: return Coordinates.X;
    case 1: return Coordinates.Y;
    default: return Coordinates.Z;
  }
}

// Records per chunk of output text made by one worker.
constexpr std::int32_t RecordsPerChunk = 4096;

void AppendHeader(std::string& Line, const TDataStream& Stream, const TSettingsInfo& Settings,
                  const TCoordinateSystem& Output, int Components) {
  Line += Stream.NamesLine(Settings.FieldTerminator, Settings.TextDelimiter);
  const std::string* Names[] = {&Settings.OutputXName, &Settings.OutputYName, &Settings.OutputZName};
  for (int Position = 0; Position < Components; ++Position) {
    AppendField(Line, *Names[AxisComponent(Position, Output.AxisOrder)], Settings);
  }
  if (Settings.IncludeDatum) AppendField(Line, DatumName, Settings);
  Line += LineEnd;
}

// The output lines of records [First, Last) appended to Text.
void AppendRecords(std::string& Text, std::int32_t First, std::int32_t Last, const TDataStream& Stream,
                   const TSettingsInfo& Settings, const TCoordinateSystem& Output, int Components,
                   const TOutputData& Data) {
  // The line itself when re-quoting its split fields would give it back.
  const bool MayCopy = Settings.TextDelimiter == '\0' && Settings.FieldTerminator == Stream.FieldTerminator();
  TRecordSplit Split;
  std::string_view Plain;
  for (std::int32_t Record = First; Record < Last; ++Record) {
    if (MayCopy && Stream.PlainRecordText(Record, Plain)) {
      Text += Plain;
    } else {
      Stream.SplitRecord(Record, Split);
      AppendRecord(Text, Split, Settings);
    }
    const TOutputItem Item = Data[static_cast<std::size_t>(Record)];
    for (int Position = 0; Position < Components; ++Position) {
      const int Component = AxisComponent(Position, Output.AxisOrder);
      AppendValue(Text, ComponentValue(Item.Coordinates, Component), Component, Settings);
    }
    if (Settings.IncludeDatum) AppendField(Text, DatumAbbreviation(Item.DatumCode), Settings);
    Text += LineEnd;
  }
}

// Writes the header and every record's line: chunks of records are made on
// worker threads and written in order by the calling thread, which reports
// progress per record written.
void WriteOutput(const TDataStream& Stream, const TSettingsInfo& Settings, const TCoordinateSystem& Output,
                 const TOutputData& Data, TOutputFile& File, TProgressHandler& Handler) {
  const bool WithZ = Settings.ZColumn != -1 || Output.CoordinateType == ctCartesian;
  const int Components = WithZ ? 3 : 2;
  if (Settings.OutputNameRow) {
    AppendHeader(File.Buffer(), Stream, Settings, Output, Components);
    File.EndBlock();
  }
  const std::int32_t Count = Stream.RecordCount();
  const std::int64_t Chunks = (std::int64_t{Count} + RecordsPerChunk - 1) / RecordsPerChunk;
  const auto ChunkRange = [Count](std::int64_t Chunk) {
    const auto First = static_cast<std::int32_t>(Chunk * RecordsPerChunk);
    return TRecordRange{First, static_cast<std::int32_t>(std::min<std::int64_t>(Count, First + std::int64_t{RecordsPerChunk}))};
  };
  RunOrderedChunks(
      WorkerCount(Count, MinRecordsPerWorker), Chunks,
      [&](std::int64_t Chunk, std::string& Text) {
        const TRecordRange Range = ChunkRange(Chunk);
        AppendRecords(Text, Range.First, Range.Last, Stream, Settings, Output, Components, Data);
      },
      [&](std::int64_t Chunk, const std::string& Text) {
        File.Write(Text);
        const TRecordRange Range = ChunkRange(Chunk);
        for (std::int32_t Record = Range.First; Record < Range.Last; ++Record) Handler.SaveStep(Record);
      });
}

}  // namespace

TProgressHandler::TProgressHandler(bool AVerbose, std::ostream& AConsole)
    : Verbose(AVerbose), FConsole(&AConsole) {}

void TProgressHandler::WriteMessage(const std::string& Text) {
  if (Verbose) *FConsole << Text << '\n' << std::flush;
}

void TProgressHandler::ResetProgress() { LastPercent = NoPercent; }

void TProgressHandler::LoadProgress(TDataStream&, std::int32_t Percent) { StageProgress("Loading", Percent, false); }

void TProgressHandler::ParseProgress(TDataStream&, std::int32_t Percent) { StageProgress("Parsing", Percent, false); }

void TProgressHandler::TransformProgress(std::int32_t Percent) { StageProgress("Transforming", Percent, true); }

void TProgressHandler::SaveProgress(std::int32_t Percent) { StageProgress("Saveing", Percent, true); }

void TProgressHandler::BeginTransform(std::int32_t Count) {
  TransformCount = Count;
  LastPercent = NoPercent;
  if (Verbose) TransformProgress(StartPercent);
}

void TProgressHandler::EndTransform() {
  if (Verbose) TransformProgress(EndPercent);
}

void TProgressHandler::BeginSave(std::int32_t Count) {
  SaveCount = Count;
  LastPercent = NoPercent;
  if (Verbose) SaveProgress(StartPercent);
}

void TProgressHandler::EndSave() {
  if (Verbose) SaveProgress(EndPercent);
}

std::int32_t TProgressHandler::StepPercent(std::int32_t Index, std::int32_t Count) {
  if (Count <= 0) return EndPercent;
  return static_cast<std::int32_t>(std::int64_t{EndPercent} * Index / Count);
}

void TProgressHandler::StageProgress(const char* Title, std::int32_t Percent, bool DotPerStep) {
  if (!Verbose) return;
  std::ostream& Out = *FConsole;
  if (Percent == StartPercent) {
    if (LastPercent != StartPercent) Out << Title << " Data." << std::flush;
    LastPercent = StartPercent;
  } else if (Percent == EndPercent) {
    if (LastPercent != EndPercent) Out << '\n' << Title << " Finished\n" << std::flush;
    LastPercent = EndPercent;
  } else if (LastPercent + PercentPerDot <= Percent) {
    const std::int32_t Dots = DotPerStep ? 1 : (Percent - LastPercent) / PercentPerDot;
    for (std::int32_t Dot = 0; Dot < Dots; ++Dot) Out << '.';
    Out << std::flush;
    LastPercent = Percent;
  }
}

void ConvertFile(TSettingsInfo& Settings, const std::string& InputFileName, const std::string& OutputFileName,
                 bool Verbose, std::ostream& Console) {
  TDataStream Stream;
  Stream.ProgressThreshold = 0;  // any non-empty file shows progress
  TProgressHandler Handler(Verbose, Console);
  if (Verbose) {
    Stream.OnLoadProgress = [&Handler](TDataStream& Sender, std::int32_t Percent) {
      Handler.LoadProgress(Sender, Percent);
    };
    Stream.OnParseProgress = [&Handler](TDataStream& Sender, std::int32_t Percent) {
      Handler.ParseProgress(Sender, Percent);
    };
  }
  if (!LoadInput(Stream, Settings, InputFileName, Handler)) return;

  TCoordinateSystem& Input = RegisteredSystem(Settings.InputSRID, Settings.InputRevision);
  TCoordinateSystem& Output = RegisteredSystem(Settings.OutputSRID, Settings.OutputRevision);
  const TVerticalDatumCode Preferred = PreferredDatumOf(Settings);
  Input.PreferredVerticalDatum = Preferred;
  Output.PreferredVerticalDatum = Preferred;
  FillOutputNames(Settings, Output);

  TOutputData Data;
  ConvertRecords(Stream, Settings, Input, Output, Data, Handler);

  Handler.WriteMessage("Writing output to: " + OutputFileName);
  Handler.BeginSave(Stream.RecordCount());
  TOutputFile File(OutputFileName);
  try {
    WriteOutput(Stream, Settings, Output, Data, File, Handler);
    File.Close();
  } catch (const std::bad_alloc&) {
    // Keep the lines gathered so far; the file closes on leaving.
    Data.Clear();
    File.DiscardPartialLine();
    File.Flush();
    Handler.WriteMessage("Insufficient memory to save data.");
    return;
  }
  Handler.EndSave();
}

}  // namespace veltrana
