#include "GridSources.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace veltrana::gridtool {

namespace {

constexpr char CarriageReturn = '\r';
constexpr char LineFeed = '\n';
constexpr char FieldSeparator = ',';
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
// Longest piece of a bad field quoted back in a message.
constexpr std::size_t MaxQuotedLength = 40;
// Every grid node lies on a whole kilometre from the origin.
constexpr double NodeSpacing = GridSpacing;
// Largest node count accepted, so that indices fit int32 arithmetic.
constexpr std::int64_t MaxNodes = std::numeric_limits<std::int32_t>::max();

// Splits text into lines at LF, CR LF or a lone CR, counting them from 1.
class TLineReader {
 public:
  explicit TLineReader(std::string_view AText) : Text(AText) {}

  bool Next(std::string_view& Line) {
    if (Position >= Text.size()) return false;
    std::size_t End = Position;
    while (End < Text.size() && Text[End] != LineFeed && Text[End] != CarriageReturn) ++End;
    Line = Text.substr(Position, End - Position);
    Position = End;
    if (Position < Text.size() && Text[Position] == CarriageReturn) {
      ++Position;
      if (Position < Text.size() && Text[Position] == LineFeed) ++Position;  // CR LF
    } else if (Position < Text.size()) {
      ++Position;  // LF
    }
    ++Number;
    return true;
  }

  // Number of the line Next returned last (0 before the first).
  std::size_t LineNumber() const { return Number; }

 private:
  std::string_view Text;
  std::size_t Position = 0;
  std::size_t Number = 0;
};

bool IsBlank(char C) { return C == ' ' || C == '\t'; }

std::string_view Trim(std::string_view Text) {
  while (!Text.empty() && IsBlank(Text.front())) Text.remove_prefix(1);
  while (!Text.empty() && IsBlank(Text.back())) Text.remove_suffix(1);
  return Text;
}

bool IsBlankLine(std::string_view Line) { return Trim(Line).empty(); }

std::string Quoted(std::string_view Field) {
  std::string Result = "\"";
  Result.append(Field.substr(0, MaxQuotedLength));
  if (Field.size() > MaxQuotedLength) Result.append("...");
  Result.push_back('"');
  return Result;
}

// Plain decimals for the values of these files (eastings, steps); exponent
// form only for values far beyond any coordinate.
constexpr double LargestFixedNumber = 1e15;

std::string NumberText(double Value) {
  char Buffer[64];
  const auto Format = std::fabs(Value) < LargestFixedNumber ? std::chars_format::fixed : std::chars_format::general;
  const auto [End, Error] = std::to_chars(Buffer, Buffer + sizeof(Buffer), Value, Format);
  return Error == std::errc() ? std::string(Buffer, End) : std::string("?");
}

TParseStatus Refuse(const std::string& FileName, std::size_t Line, const std::string& Message) {
  return {false, FileName + ":" + std::to_string(Line) + ": " + Message};
}

// A whole field as a finite decimal number (blanks around it allowed).
bool ReadReal(std::string_view Field, double& Value) {
  Field = Trim(Field);
  if (Field.empty()) return false;
  const char* End = Field.data() + Field.size();
  const auto [Stop, Error] = std::from_chars(Field.data(), End, Value, std::chars_format::general);
  return Error == std::errc() && Stop == End && std::isfinite(Value);
}

bool ReadInteger(std::string_view Field, std::int64_t& Value) {
  Field = Trim(Field);
  if (Field.empty()) return false;
  const char* End = Field.data() + Field.size();
  const auto [Stop, Error] = std::from_chars(Field.data(), End, Value);
  return Error == std::errc() && Stop == End;
}

// A real that float32 holds as a finite value.
bool FitsFloat(double Value) { return std::fabs(Value) <= std::numeric_limits<float>::max(); }

bool IsDatumCode(std::int64_t Code) { return Code >= vdNone && Code < VerticalDatumCount; }

// Splits a CSV line into exactly Count fields; false for any other count.
template <std::size_t Count>
bool SplitFields(std::string_view Line, std::array<std::string_view, Count>& Fields, std::size_t& Found) {
  Found = 0;
  std::size_t Start = 0;
  while (true) {
    const std::size_t Comma = Line.find(FieldSeparator, Start);
    const std::string_view Field =
        Line.substr(Start, Comma == std::string_view::npos ? std::string_view::npos : Comma - Start);
    if (Found < Count) Fields[Found] = Field;
    ++Found;
    if (Comma == std::string_view::npos) break;
    Start = Comma + 1;
  }
  return Found == Count;
}

std::string_view WithoutByteOrderMark(std::string_view Line) {
  if (Line.substr(0, ByteOrderMark.size()) == ByteOrderMark) Line.remove_prefix(ByteOrderMark.size());
  return Line;
}

// Fields of one Great Britain model line.
enum TGBField { gfPointID, gfEasting, gfNorthing, gfEShift, gfNShift, gfHeightShift, gfFlag, gfCount };
constexpr std::array<const char*, gfCount> GBFieldNames = {
    "Point_ID", "ETRS89_Easting", "ETRS89_Northing", "ETRS89_OSGB36_EShift", "ETRS89_OSGB36_NShift",
    "ETRS89_ODN_HeightShift", "Height_Datum_Flag"};

// Fields of one line of a 1 km geoid model without header.
enum TGeoidField { efID, efEasting, efNorthing, efSeparation, efFlag, efCount };
constexpr std::array<const char*, efCount> GeoidFieldNames = {"id", "easting", "northing", "separation",
                                                              "flag"};

template <std::size_t Count>
TParseStatus ReadFields(const std::string& FileName, std::size_t Line, std::string_view Text,
                        const std::array<const char*, Count>& Names, std::array<std::string_view, Count>& Fields,
                        std::array<double, Count>& Values) {
  std::size_t Found = 0;
  if (!SplitFields(Text, Fields, Found))
    return Refuse(FileName, Line,
                  "expected " + std::to_string(Count) + " comma-separated fields, found " + std::to_string(Found));
  for (std::size_t I = 0; I < Count; ++I)
    if (!ReadReal(Fields[I], Values[I]))
      return Refuse(FileName, Line, std::string("bad ") + Names[I] + " " + Quoted(Fields[I]));
  return {};
}

// An integral field (identifier or flag), already known to be a number.
TParseStatus ReadIntegerField(const std::string& FileName, std::size_t Line, std::string_view Field,
                              const char* Name, std::int64_t& Value) {
  if (!ReadInteger(Field, Value))
    return Refuse(FileName, Line, std::string("bad ") + Name + " " + Quoted(Field) + " (not an integer)");
  return {};
}

TParseStatus ReadFlag(const std::string& FileName, std::size_t Line, std::string_view Field, const char* Name,
                      std::uint8_t& Code) {
  std::int64_t Value = 0;
  if (TParseStatus S = ReadIntegerField(FileName, Line, Field, Name, Value); !S.Ok) return S;
  if (!IsDatumCode(Value))
    return Refuse(FileName, Line, std::string(Name) + " " + Quoted(Field) + " is not a vertical-datum code 0 to 16");
  Code = static_cast<std::uint8_t>(Value);
  return {};
}

TGridHeader MakeHeader(double OriginX, double OriginY, std::int32_t Columns, std::int32_t Rows) {
  TGridHeader Header;
  Header.OriginX = OriginX;
  Header.OriginY = OriginY;
  Header.Columns = Columns;
  Header.Rows = Rows;
  return Header;
}

// ---- .gri graticule ----

enum TGriHeaderField { ghLatitudeMin, ghLatitudeMax, ghLongitudeMin, ghLongitudeMax, ghLatitudeStep,
                       ghLongitudeStep, ghCount };
constexpr std::array<const char*, ghCount> GriHeaderNames = {"latmin", "latmax", "lonmin",
                                                             "lonmax", "latstep", "lonstep"};

// Splits at blanks; Visit(token) returns false to stop.
template <typename TVisit>
bool ForEachToken(std::string_view Line, TVisit Visit) {
  std::size_t I = 0;
  while (I < Line.size()) {
    while (I < Line.size() && IsBlank(Line[I])) ++I;
    if (I == Line.size()) break;
    std::size_t End = I;
    while (End < Line.size() && !IsBlank(Line[End])) ++End;
    if (!Visit(Line.substr(I, End - I))) return false;
    I = End;
  }
  return true;
}

// Node count along one axis from the header's extent and declared step.
TParseStatus GraticuleLines(const std::string& FileName, double Minimum, double Maximum, double Step,
                            const char* StepName, std::int32_t& Lines, double& UsedStep) {
  if (!(Maximum > Minimum) || !(Step > 0.0))
    return Refuse(FileName, 1, std::string("extent or ") + StepName + " is not positive");
  const double Intervals = (Maximum - Minimum) / Step;
  if (!(Intervals >= 1.0) || Intervals > MaxGraticuleLines - 1)
    return Refuse(FileName, 1, std::string(StepName) + " " + NumberText(Step) + " gives " +
                                   NumberText(Intervals) + " intervals (1 to " +
                                   std::to_string(MaxGraticuleLines - 1) + " accepted)");
  Lines = static_cast<std::int32_t>(std::llround(Intervals)) + 1;
  UsedStep = (Maximum - Minimum) / (Lines - 1);
  if (std::fabs(UsedStep - Step) > GraticuleStepTolerance)
    return Refuse(FileName, 1, std::string(StepName) + " " + NumberText(Step) +
                                   " does not divide the extent into whole intervals");
  return {};
}

TParseStatus ReadGraticuleHeader(const std::string& FileName, std::string_view Line, TGraticule& G) {
  std::array<double, ghCount> Values{};
  std::size_t Found = 0;
  std::string BadToken;
  ForEachToken(Line, [&](std::string_view Token) {
    if (Found < ghCount && !ReadReal(Token, Values[Found])) {
      BadToken = std::string(GriHeaderNames[Found]) + " " + Quoted(Token);
      return false;
    }
    ++Found;
    return true;
  });
  if (!BadToken.empty()) return Refuse(FileName, 1, "bad " + BadToken);
  if (Found != ghCount)
    return Refuse(FileName, 1, "expected 6 header values (latmin latmax lonmin lonmax latstep lonstep), found " +
                                   std::to_string(Found));
  G.LatitudeMin = Values[ghLatitudeMin];
  G.LatitudeMax = Values[ghLatitudeMax];
  G.LongitudeMin = Values[ghLongitudeMin];
  G.LongitudeMax = Values[ghLongitudeMax];
  if (TParseStatus S = GraticuleLines(FileName, G.LatitudeMin, G.LatitudeMax, Values[ghLatitudeStep], "latstep",
                                      G.Rows, G.LatitudeStep);
      !S.Ok)
    return S;
  return GraticuleLines(FileName, G.LongitudeMin, G.LongitudeMax, Values[ghLongitudeStep], "lonstep", G.Columns,
                        G.LongitudeStep);
}

}  // namespace

TParseStatus ParseGBModel(std::string_view Text, const std::string& FileName, const TGBLayout& Layout,
                          TShiftGrid& Shift, TGeoidGrid& Geoid) {
  if (Layout.Columns <= 0 || Layout.Rows <= 0 ||
      static_cast<std::int64_t>(Layout.Columns) * Layout.Rows > MaxNodes)
    return Refuse(FileName, 0, "invalid node layout");
  TLineReader Reader(Text);
  std::string_view Line;
  if (!Reader.Next(Line) || WithoutByteOrderMark(Line) != GBHeaderLine)
    return Refuse(FileName, 1, "expected the header line \"" + std::string(GBHeaderLine) + "\"");

  const std::int64_t Count = static_cast<std::int64_t>(Layout.Columns) * Layout.Rows;
  TShiftGrid S;
  TGeoidGrid G;
  S.Header = MakeHeader(0.0, 0.0, Layout.Columns, Layout.Rows);
  G.Header = S.Header;
  S.Nodes.resize(static_cast<std::size_t>(Count));
  G.ResizeNodes(static_cast<std::size_t>(Count));
  std::vector<std::size_t> FirstLine(static_cast<std::size_t>(Count), 0);

  std::array<std::string_view, gfCount> Fields;
  std::array<double, gfCount> Values{};
  while (Reader.Next(Line)) {
    const std::size_t L = Reader.LineNumber();
    if (IsBlankLine(Line)) continue;
    if (TParseStatus St = ReadFields(FileName, L, Line, GBFieldNames, Fields, Values); !St.Ok) return St;
    std::int64_t ID = 0;
    if (TParseStatus St = ReadIntegerField(FileName, L, Fields[gfPointID], "Point_ID", ID); !St.Ok) return St;
    if (ID < 1 || ID > Count)
      return Refuse(FileName, L, "Point_ID " + std::to_string(ID) + " outside 1 to " + std::to_string(Count));
    const std::int64_t Index = ID - 1;
    const std::int64_t Column = Index % Layout.Columns;
    const std::int64_t Row = Index / Layout.Columns;
    const double Easting = NodeSpacing * static_cast<double>(Column);
    const double Northing = NodeSpacing * static_cast<double>(Row);
    if (Values[gfEasting] != Easting || Values[gfNorthing] != Northing)
      return Refuse(FileName, L, "Point_ID " + std::to_string(ID) + " belongs to easting " + NumberText(Easting) +
                                     ", northing " + NumberText(Northing) + ", not " +
                                     NumberText(Values[gfEasting]) + ", " + NumberText(Values[gfNorthing]));
    auto& First = FirstLine[static_cast<std::size_t>(Index)];
    if (First != 0)
      return Refuse(FileName, L, "Point_ID " + std::to_string(ID) + " repeats line " + std::to_string(First));
    for (const TGBField F : {gfEShift, gfNShift, gfHeightShift})
      if (!FitsFloat(Values[F]))
        return Refuse(FileName, L, std::string(GBFieldNames[F]) + " " + Quoted(Fields[F]) + " is out of range");
    std::uint8_t Code = 0;
    if (TParseStatus St = ReadFlag(FileName, L, Fields[gfFlag], "Height_Datum_Flag", Code); !St.Ok) return St;
    First = L;
    S.Nodes[static_cast<std::size_t>(Index)] = {static_cast<float>(Values[gfEShift]),
                                                static_cast<float>(Values[gfNShift])};
    G.SetNode(static_cast<std::size_t>(Index), {static_cast<float>(Values[gfHeightShift]), Code});
  }
  for (std::size_t I = 0; I < FirstLine.size(); ++I)
    if (FirstLine[I] == 0)
      return Refuse(FileName, Reader.LineNumber(),
                    "file ends without Point_ID " + std::to_string(I + 1) + " (" +
                        std::to_string(Count - static_cast<std::int64_t>(I)) + " or fewer nodes missing)");
  Shift = std::move(S);
  Geoid = std::move(G);
  return {};
}

TParseStatus ParseGraticule(std::string_view Text, const std::string& FileName, TGraticule& Out) {
  TLineReader Reader(Text);
  std::string_view Line;
  if (!Reader.Next(Line)) return Refuse(FileName, 1, "empty file, expected the graticule header");
  TGraticule G;
  if (TParseStatus S = ReadGraticuleHeader(FileName, WithoutByteOrderMark(Line), G); !S.Ok) return S;
  const auto Columns = static_cast<std::size_t>(G.Columns);
  const auto Rows = static_cast<std::size_t>(G.Rows);
  G.Values.resize(Rows * Columns);

  std::size_t RowsDone = 0;  // latitude lines completed, from the north
  std::size_t InRow = 0;     // values of the current latitude line so far
  TParseStatus Status;
  while (Reader.Next(Line)) {
    const std::size_t L = Reader.LineNumber();
    // Blank lines carry no meaning: the publisher breaks a latitude line into
    // blocks with them, and also ends it with one.
    if (IsBlankLine(Line)) continue;
    if (InRow == 0 && RowsDone == Rows)
      return Refuse(FileName, L, "values after the last of " + std::to_string(Rows) + " latitude lines");
    // A latitude line always ends at the end of a text line; one that ends
    // inside a text line has a value too few or too many.
    bool RowEnded = false;
    ForEachToken(Line, [&](std::string_view Token) {
      if (RowEnded) {
        Status = Refuse(FileName, L, "latitude line " + std::to_string(RowsDone) + " (from the north) ends inside " +
                                         "this text line: a value too many or too few");
        return false;
      }
      double Value = 0.0;
      if (!ReadReal(Token, Value)) {
        Status = Refuse(FileName, L, "bad value " + Quoted(Token));
        return false;
      }
      const std::size_t SouthRow = Rows - 1 - RowsDone;
      G.Values[SouthRow * Columns + InRow] = Value;
      if (++InRow == Columns) {
        ++RowsDone;
        InRow = 0;
        RowEnded = true;
      }
      return true;
    });
    if (!Status.Ok) return Status;
  }
  if (RowsDone != Rows || InRow != 0)
    return Refuse(FileName, Reader.LineNumber(),
                  "file ends after " + std::to_string(RowsDone * Columns + InRow) + " values, expected " +
                      std::to_string(Rows) + " latitude lines of " + std::to_string(Columns));
  Out = std::move(G);
  return {};
}

TParseStatus ParseGridGeoidModel(std::string_view Text, const std::string& FileName,
                                 TVerticalDatumCode ExpectedDatum, TGeoidGrid& Out) {
  TLineReader Reader(Text);
  std::string_view Line;
  TGeoidGrid Nodes;  // the header is set once the layout is known
  double OriginX = 0.0;
  double OriginY = 0.0;
  std::int64_t Columns = 0;  // known once the northing first changes
  std::array<std::string_view, efCount> Fields;
  std::array<double, efCount> Values{};
  while (Reader.Next(Line)) {
    const std::size_t L = Reader.LineNumber();
    if (IsBlankLine(Line)) continue;
    if (TParseStatus S = ReadFields(FileName, L, L == 1 ? WithoutByteOrderMark(Line) : Line, GeoidFieldNames,
                                    Fields, Values);
        !S.Ok)
      return S;
    const auto Index = static_cast<std::int64_t>(Nodes.NodeCount());
    if (Index >= MaxNodes) return Refuse(FileName, L, "too many nodes");
    std::int64_t ID = 0;
    if (TParseStatus S = ReadIntegerField(FileName, L, Fields[efID], "id", ID); !S.Ok) return S;
    if (ID != Index + 1)
      return Refuse(FileName, L, "id " + std::to_string(ID) + " out of sequence, expected " +
                                     std::to_string(Index + 1));
    if (Index == 0) {
      OriginX = Values[efEasting];
      OriginY = Values[efNorthing];
    } else if (Columns == 0 && Values[efNorthing] != OriginY) {
      Columns = Index;  // first node of the second row
    }
    const std::int64_t Column = Columns == 0 ? Index : Index % Columns;
    const std::int64_t Row = Columns == 0 ? 0 : Index / Columns;
    const double Easting = OriginX + NodeSpacing * static_cast<double>(Column);
    const double Northing = OriginY + NodeSpacing * static_cast<double>(Row);
    if (Values[efEasting] != Easting || Values[efNorthing] != Northing)
      return Refuse(FileName, L, "node id " + std::to_string(ID) + " at " + NumberText(Values[efEasting]) + ", " +
                                     NumberText(Values[efNorthing]) + " breaks the 1 km row-major layout (expected " +
                                     NumberText(Easting) + ", " + NumberText(Northing) + ")");
    if (!FitsFloat(Values[efSeparation]))
      return Refuse(FileName, L, "separation " + Quoted(Fields[efSeparation]) + " is out of range");
    std::uint8_t Code = 0;
    if (TParseStatus S = ReadFlag(FileName, L, Fields[efFlag], "flag", Code); !S.Ok) return S;
    if (ExpectedDatum != vdNone && Code != vdNone && Code != ExpectedDatum)
      return Refuse(FileName, L, "flag " + std::to_string(Code) + " where only 0 or " +
                                     std::to_string(static_cast<int>(ExpectedDatum)) + " are expected");
    Nodes.AddNode({static_cast<float>(Values[efSeparation]), Code});
  }
  const auto Count = static_cast<std::int64_t>(Nodes.NodeCount());
  if (Columns == 0) Columns = Count;
  if (Columns < 2 || Count / Columns < 2)
    return Refuse(FileName, Reader.LineNumber(), "a grid needs at least two rows and two columns of nodes");
  if (Count % Columns != 0)
    return Refuse(FileName, Reader.LineNumber(), "last row holds " + std::to_string(Count % Columns) +
                                                     " nodes, expected " + std::to_string(Columns));
  Nodes.Header = MakeHeader(OriginX, OriginY, static_cast<std::int32_t>(Columns),
                            static_cast<std::int32_t>(Count / Columns));
  Out = std::move(Nodes);
  return {};
}

}  // namespace veltrana::gridtool
