#include "GridFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <system_error>

namespace veltrana {

namespace {

// Byte offsets of the header fields.
constexpr std::size_t OriginXOffset = 0;
constexpr std::size_t OriginYOffset = 8;
constexpr std::size_t ReservedOffset = 16;
constexpr std::size_t RowsOffset = 48;
constexpr std::size_t ColumnsOffset = 52;
// Byte offsets inside a node.
constexpr std::size_t SecondFloatOffset = 4;
constexpr std::size_t DatumCodeOffset = 4;

constexpr int BitsPerByte = 8;

using TBytes = std::vector<std::uint8_t>;

// Little-endian decoding and encoding, independent of the host's byte order.
template <typename TUnsigned>
TUnsigned ReadLittle(const std::uint8_t* Bytes) {
  TUnsigned Value = 0;
  for (std::size_t I = 0; I < sizeof(TUnsigned); ++I)
    Value |= static_cast<TUnsigned>(static_cast<TUnsigned>(Bytes[I]) << (BitsPerByte * I));
  return Value;
}

template <typename TUnsigned>
void WriteLittle(std::uint8_t* Bytes, TUnsigned Value) {
  for (std::size_t I = 0; I < sizeof(TUnsigned); ++I)
    Bytes[I] = static_cast<std::uint8_t>(Value >> (BitsPerByte * I));
}

double ReadFloat64(const std::uint8_t* Bytes) { return std::bit_cast<double>(ReadLittle<std::uint64_t>(Bytes)); }
float ReadFloat32(const std::uint8_t* Bytes) { return std::bit_cast<float>(ReadLittle<std::uint32_t>(Bytes)); }
std::int32_t ReadInt32(const std::uint8_t* Bytes) {
  return std::bit_cast<std::int32_t>(ReadLittle<std::uint32_t>(Bytes));
}
void WriteFloat64(std::uint8_t* Bytes, double Value) { WriteLittle(Bytes, std::bit_cast<std::uint64_t>(Value)); }
void WriteFloat32(std::uint8_t* Bytes, float Value) { WriteLittle(Bytes, std::bit_cast<std::uint32_t>(Value)); }
void WriteInt32(std::uint8_t* Bytes, std::int32_t Value) {
  WriteLittle(Bytes, std::bit_cast<std::uint32_t>(Value));
}

TGridHeader DecodeHeader(const std::uint8_t* Bytes) {
  TGridHeader Header;
  Header.OriginX = ReadFloat64(Bytes + OriginXOffset);
  Header.OriginY = ReadFloat64(Bytes + OriginYOffset);
  std::memcpy(Header.Reserved, Bytes + ReservedOffset, sizeof(Header.Reserved));
  Header.Rows = ReadInt32(Bytes + RowsOffset);
  Header.Columns = ReadInt32(Bytes + ColumnsOffset);
  return Header;
}

void EncodeHeader(const TGridHeader& Header, std::uint8_t* Bytes) {
  WriteFloat64(Bytes + OriginXOffset, Header.OriginX);
  WriteFloat64(Bytes + OriginYOffset, Header.OriginY);
  std::memcpy(Bytes + ReservedOffset, Header.Reserved, sizeof(Header.Reserved));
  WriteInt32(Bytes + RowsOffset, Header.Rows);
  WriteInt32(Bytes + ColumnsOffset, Header.Columns);
}

// Number of nodes the header declares; false when Rows or Columns is not
// positive or the node block size would not fit in std::size_t.
bool NodeCount(const TGridHeader& Header, std::size_t NodeSize, std::size_t& Count) {
  if (Header.Rows <= 0 || Header.Columns <= 0) return false;
  const auto Rows = static_cast<std::size_t>(Header.Rows);
  const auto Columns = static_cast<std::size_t>(Header.Columns);
  const std::size_t Limit = std::numeric_limits<std::size_t>::max() - GridHeaderSize;
  if (Rows > Limit / Columns) return false;
  const std::size_t Nodes = Rows * Columns;
  if (Nodes > Limit / NodeSize) return false;
  Count = Nodes;
  return true;
}

struct TFileCloser {
  void operator()(std::FILE* File) const { std::fclose(File); }
};
using TFilePointer = std::unique_ptr<std::FILE, TFileCloser>;

// Opens a grid file and reads its header. Refuses a file whose header is not
// plausible or whose size is not exactly the header plus the declared node
// block, so no allocation exceeds the real file. The size is taken from the
// opened file itself, not from its name. On success File is positioned on
// the first node.
bool OpenGridFile(const std::string& FileName, std::size_t NodeSize, TGridHeader& Header,
                  std::size_t& Count, TFilePointer& File) {
  File.reset(std::fopen(FileName.c_str(), "rb"));
  if (!File) return false;
  struct stat Status {};
  if (fstat(fileno(File.get()), &Status) != 0 || !S_ISREG(Status.st_mode)) return false;
  const auto FileSize = static_cast<std::uintmax_t>(Status.st_size);
  if (FileSize < GridHeaderSize) return false;

  std::uint8_t HeaderBytes[GridHeaderSize];
  if (std::fread(HeaderBytes, 1, GridHeaderSize, File.get()) != GridHeaderSize) return false;
  Header = DecodeHeader(HeaderBytes);
  if (!NodeCount(Header, NodeSize, Count)) return false;
  return FileSize - GridHeaderSize == Count * NodeSize;
}

// Nodes decoded per read: the file is read in blocks of this many nodes, so
// no file-sized byte copy is held beside the decoded grid (a freed copy of
// several MiB would stay in the process's heap for the rest of the run).
constexpr std::size_t NodesPerRead = 8192;

// Reads Count nodes of NodeSize bytes from File, decoding node I with
// Decode(bytes, I). False when the file ends early or cannot be read.
template <typename TDecode>
bool ReadNodes(std::FILE* File, std::size_t NodeSize, std::size_t Count, TDecode Decode) {
  TBytes Block(NodesPerRead * NodeSize);
  for (std::size_t First = 0; First < Count; First += NodesPerRead) {
    const std::size_t Nodes = std::min(NodesPerRead, Count - First);
    if (std::fread(Block.data(), NodeSize, Nodes, File) != Nodes) return false;
    for (std::size_t I = 0; I < Nodes; ++I) Decode(Block.data() + I * NodeSize, First + I);
  }
  return true;
}

bool WriteGridFile(const std::string& FileName, const TGridHeader& Header, const TBytes& Block) {
  std::uint8_t HeaderBytes[GridHeaderSize];
  EncodeHeader(Header, HeaderBytes);
  std::FILE* File = std::fopen(FileName.c_str(), "wb");
  if (File == nullptr) return false;
  bool Written = std::fwrite(HeaderBytes, 1, GridHeaderSize, File) == GridHeaderSize &&
                 std::fwrite(Block.data(), 1, Block.size(), File) == Block.size();
  Written = (std::fclose(File) == 0) && Written;
  // A half-written grid would later load as a different model: remove it.
  if (!Written) std::remove(FileName.c_str());
  return Written;
}

// Whether Nodes holds exactly the Rows x Columns entries of a valid header.
bool MatchesHeader(const TGridHeader& Header, std::size_t NodeSize, std::size_t NodesHeld) {
  std::size_t Count = 0;
  return NodeCount(Header, NodeSize, Count) && Count == NodesHeld;
}

// Node index of (Column, Row), or false when it lies outside the grid.
bool NodeIndex(const TGridHeader& Header, std::size_t NodesHeld, std::int32_t Column, std::int32_t Row,
               std::size_t& Index) {
  if (Column < 0 || Row < 0 || Column >= Header.Columns || Row >= Header.Rows) return false;
  Index = static_cast<std::size_t>(Column) +
          static_cast<std::size_t>(Row) * static_cast<std::size_t>(Header.Columns);
  return Index < NodesHeld;
}

// The four node indices of a cell (south-west, south-east, north-east,
// north-west); false when any lies outside the grid.
struct TCellNodes {
  std::size_t SW = 0, SE = 0, NE = 0, NW = 0;
};

bool CellNodes(const TGridHeader& Header, std::size_t NodesHeld, const TGridCell& Cell, TCellNodes& Nodes) {
  return NodeIndex(Header, NodesHeld, Cell.Column0, Cell.Row0, Nodes.SW) &&
         NodeIndex(Header, NodesHeld, Cell.Column1, Cell.Row0, Nodes.SE) &&
         NodeIndex(Header, NodesHeld, Cell.Column1, Cell.Row1, Nodes.NE) &&
         NodeIndex(Header, NodesHeld, Cell.Column0, Cell.Row1, Nodes.NW);
}

// The bilinear sum with the products taken and added in extended precision,
// in the fixed order SW, SE, NE, NW, and one rounding at the end.
double Bilinear(const TGridCell& Cell, float SW, float SE, float NE, float NW) {
  const long double FX = Cell.FractionX;
  const long double CX = Cell.ComplementX;
  const long double FY = Cell.FractionY;
  const long double CY = Cell.ComplementY;
  long double Sum = CY * CX * static_cast<long double>(SW);
  Sum += CY * FX * static_cast<long double>(SE);
  Sum += FY * FX * static_cast<long double>(NE);
  Sum += FY * CX * static_cast<long double>(NW);
  return static_cast<double>(Sum);
}

// Index of the cell containing Offset (in spacings from the origin), or false
// when the cell would not have a node after it in a line of Count nodes. Works
// in double before any conversion, so NaN and huge offsets are refused
// without an out-of-range cast. An offset in (-1, 0) truncates to 0.
bool CellIndex(double Offset, std::int32_t Count, std::int32_t& Index) {
  if (!(Offset > -1.0)) return false;  // negative after truncation, or NaN
  const double Truncated = std::trunc(Offset);
  if (!(Truncated + 1.0 < static_cast<double>(Count))) return false;  // no node after it
  Index = static_cast<std::int32_t>(Truncated);
  return true;
}

// Nodes both arrays of a geoid grid hold (they differ only in a grid put
// together by hand).
std::size_t HeldNodes(const TGeoidGrid& Grid) { return std::min(Grid.Separations.size(), Grid.DatumCodes.size()); }

std::string GProgramDirectory;

constexpr char DirectorySeparator = '/';

}  // namespace

bool LoadShiftGrid(TShiftGrid& Grid, const std::string& FileName) {
  Grid = TShiftGrid{};
  TGridHeader Header;
  std::size_t Count = 0;
  TFilePointer File;
  if (!OpenGridFile(FileName, ShiftNodeSize, Header, Count, File)) return false;
  TLargeVector<TShiftNode> Nodes(Count);
  const bool Read = ReadNodes(File.get(), ShiftNodeSize, Count, [&Nodes](const std::uint8_t* Bytes, std::size_t I) {
    Nodes[I].EastShift = ReadFloat32(Bytes);
    Nodes[I].NorthShift = ReadFloat32(Bytes + SecondFloatOffset);
  });
  if (!Read) return false;
  Grid.Header = Header;
  Grid.Nodes = std::move(Nodes);
  Grid.Loaded = true;
  return true;
}

bool LoadGeoidGrid(TGeoidGrid& Grid, const std::string& FileName) {
  Grid = TGeoidGrid{};
  TGridHeader Header;
  std::size_t Count = 0;
  TFilePointer File;
  if (!OpenGridFile(FileName, GeoidNodeSize, Header, Count, File)) return false;
  TGeoidGrid Read;
  Read.ResizeNodes(Count);
  const bool Complete = ReadNodes(File.get(), GeoidNodeSize, Count, [&Read](const std::uint8_t* Bytes, std::size_t I) {
    Read.Separations[I] = ReadFloat32(Bytes);
    Read.DatumCodes[I] = Bytes[DatumCodeOffset];
  });
  if (!Complete) return false;
  Read.Header = Header;
  Read.Loaded = true;
  Grid = std::move(Read);
  return true;
}

bool SaveShiftGrid(const TShiftGrid& Grid, const std::string& FileName) {
  if (!MatchesHeader(Grid.Header, ShiftNodeSize, Grid.Nodes.size())) return false;
  TBytes Block(Grid.Nodes.size() * ShiftNodeSize);
  for (std::size_t I = 0; I < Grid.Nodes.size(); ++I) {
    std::uint8_t* Node = Block.data() + I * ShiftNodeSize;
    WriteFloat32(Node, Grid.Nodes[I].EastShift);
    WriteFloat32(Node + SecondFloatOffset, Grid.Nodes[I].NorthShift);
  }
  return WriteGridFile(FileName, Grid.Header, Block);
}

bool SaveGeoidGrid(const TGeoidGrid& Grid, const std::string& FileName) {
  if (Grid.DatumCodes.size() != Grid.NodeCount() || !MatchesHeader(Grid.Header, GeoidNodeSize, Grid.NodeCount()))
    return false;
  TBytes Block(Grid.NodeCount() * GeoidNodeSize);
  for (std::size_t I = 0; I < Grid.NodeCount(); ++I) {
    std::uint8_t* Node = Block.data() + I * GeoidNodeSize;
    WriteFloat32(Node, Grid.Separations[I]);
    Node[DatumCodeOffset] = Grid.DatumCodes[I];
  }
  return WriteGridFile(FileName, Grid.Header, Block);
}

bool LocateCell(const TGridHeader& Header, double X, double Y, double Spacing, TGridCell& Cell) {
  if (!(Spacing > 0.0) || !std::isfinite(Spacing)) return false;
  const double Inverse = 1.0 / Spacing;
  TGridCell Result;
  if (!CellIndex((X - Header.OriginX) * Inverse, Header.Columns, Result.Column0)) return false;
  if (!CellIndex((Y - Header.OriginY) * Inverse, Header.Rows, Result.Row0)) return false;
  Result.Column1 = Result.Column0 + 1;
  Result.Row1 = Result.Row0 + 1;
  Result.FractionX = Inverse * (X - (Spacing * Result.Column0 + Header.OriginX));
  Result.ComplementX = 1.0 - Result.FractionX;
  Result.FractionY = Inverse * (Y - (Spacing * Result.Row0 + Header.OriginY));
  Result.ComplementY = 1.0 - Result.FractionY;
  Cell = Result;
  return true;
}

T2DCoordinates InterpolateShift(const TShiftGrid& Grid, const TGridCell& Cell) {
  TCellNodes N;
  if (!CellNodes(Grid.Header, Grid.Nodes.size(), Cell, N)) {
    const double NaN = std::numeric_limits<double>::quiet_NaN();
    return {NaN, NaN};
  }
  const auto& G = Grid.Nodes;
  return {Bilinear(Cell, G[N.SW].EastShift, G[N.SE].EastShift, G[N.NE].EastShift, G[N.NW].EastShift),
          Bilinear(Cell, G[N.SW].NorthShift, G[N.SE].NorthShift, G[N.NE].NorthShift, G[N.NW].NorthShift)};
}

double InterpolateGeoid(const TGeoidGrid& Grid, const TGridCell& Cell) {
  TCellNodes N;
  if (!CellNodes(Grid.Header, HeldNodes(Grid), Cell, N)) return std::numeric_limits<double>::quiet_NaN();
  const auto& G = Grid.Separations;
  return Bilinear(Cell, G[N.SW], G[N.SE], G[N.NE], G[N.NW]);
}

TGeoidNode GeoidNode(const TGeoidGrid& Grid, std::int32_t Column, std::int32_t Row) {
  std::size_t Index = 0;
  if (!NodeIndex(Grid.Header, HeldNodes(Grid), Column, Row, Index)) return TGeoidNode{0.0f, vdNone};
  return Grid.Node(Index);
}

TVerticalDatumCode CellDatum(const TGeoidGrid& Grid, const TGridCell& Cell) {
  TCellNodes N;
  if (!CellNodes(Grid.Header, HeldNodes(Grid), Cell, N)) return vdNone;
  const auto& G = Grid.DatumCodes;
  const std::uint8_t Codes[] = {G[N.SW], G[N.SE], G[N.NE], G[N.NW]};
  // A code outside the datum table is as unusable as "outside the model".
  for (const std::uint8_t Code : Codes)
    if (Code == vdNone || Code >= VerticalDatumCount) return vdNone;
  if (Codes[0] == Codes[1] && Codes[0] == Codes[2] && Codes[0] == Codes[3])
    return static_cast<TVerticalDatumCode>(Codes[0]);
  constexpr double NearestHalf = 0.5;
  const bool East = Cell.FractionX >= NearestHalf;
  const bool North = Cell.FractionY >= NearestHalf;
  const std::size_t Nearest = North ? (East ? N.NE : N.NW) : (East ? N.SE : N.SW);
  return static_cast<TVerticalDatumCode>(G[Nearest]);
}

const std::string& ProgramDirectory() { return GProgramDirectory; }

void InitializeGridUnit() {
  std::error_code Error;
  const std::filesystem::path Executable = std::filesystem::canonical("/proc/self/exe", Error);
  if (Error) {
    // Without the executable's path no folder is known; grid paths then name
    // bare files, which the loaders look up relative to the working folder.
    GProgramDirectory.clear();
    return;
  }
  SetProgramDirectory(Executable.parent_path().string());
}

void FinalizeGridUnit() { GProgramDirectory.clear(); }

void SetProgramDirectory(const std::string& Directory) {
  GProgramDirectory = Directory;
  if (!GProgramDirectory.empty() && GProgramDirectory.back() != DirectorySeparator)
    GProgramDirectory.push_back(DirectorySeparator);
}

}  // namespace veltrana
