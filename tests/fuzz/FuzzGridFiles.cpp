// libFuzzer target: LoadShiftGrid / LoadGeoidGrid on arbitrary files, then
// cell look-ups, interpolation, single nodes and CellDatum at positions
// drawn from the input (NaN, infinities and huge values included), and a
// save and reload of every grid that loaded.
//
// Input: one control byte, eight position doubles (64 bytes), then the file.
// Bit 0 of the control byte picks the geoid grid; with bit 1 set the harness
// rewrites Rows and Columns to fit the file, so that most inputs reach the
// look-ups instead of the size check.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "GridFiles.h"

namespace {

using namespace veltrana;

constexpr std::size_t PositionCount = 8;
constexpr std::size_t PreambleSize = 1 + PositionCount * sizeof(double);
constexpr std::size_t RowsOffset = 48;
constexpr std::size_t ColumnsOffset = 52;
constexpr std::uint8_t GeoidBit = 1;
constexpr std::uint8_t FitHeaderBit = 2;
constexpr std::uint8_t RelativeBit = 4;  // positions are fractions of the grid's extent

double ReadDouble(const std::uint8_t* Bytes) {
  double Value = 0.0;
  std::memcpy(&Value, Bytes, sizeof Value);
  return Value;
}

void WriteInt32(std::uint8_t* Bytes, std::int32_t Value) {
  const auto Bits = static_cast<std::uint32_t>(Value);
  for (int I = 0; I < 4; ++I) Bytes[I] = static_cast<std::uint8_t>(Bits >> (8 * I));
}

// Rewrites the header's Rows and Columns so that the node block fills the
// file (dropping the bytes of an incomplete last row).
void FitHeader(std::vector<std::uint8_t>& File, std::size_t NodeSize) {
  if (File.size() < GridHeaderSize + NodeSize) return;
  const std::size_t Nodes = (File.size() - GridHeaderSize) / NodeSize;
  std::int32_t Columns = 0;
  std::memcpy(&Columns, File.data() + ColumnsOffset, sizeof Columns);
  const auto Wanted = static_cast<std::size_t>(static_cast<std::uint32_t>(Columns) % 64U + 1U);
  const std::size_t Fitted = std::min(Wanted, Nodes);
  const std::size_t Rows = Nodes / Fitted;
  WriteInt32(File.data() + RowsOffset, static_cast<std::int32_t>(Rows));
  WriteInt32(File.data() + ColumnsOffset, static_cast<std::int32_t>(Fitted));
  File.resize(GridHeaderSize + Rows * Fitted * NodeSize);
}

bool SameBits(float A, float B) { return std::memcmp(&A, &B, sizeof A) == 0; }

// The interpolated value of finite nodes inside the cell lies between them.
void CheckBetween(double Value, std::initializer_list<float> Nodes, const TGridCell& Cell) {
  const bool Inside = Cell.FractionX >= 0.0 && Cell.FractionX <= 1.0 && Cell.FractionY >= 0.0 && Cell.FractionY <= 1.0;
  if (!Inside) return;
  double Low = std::numeric_limits<double>::infinity();
  double High = -Low;
  for (float Node : Nodes) {
    if (!std::isfinite(Node)) return;
    Low = std::min(Low, static_cast<double>(Node));
    High = std::max(High, static_cast<double>(Node));
  }
  const double Slack = 1e-12 * std::max(std::fabs(Low), std::fabs(High));
  VELTRANA_FUZZ_CHECK(Value >= Low - Slack && Value <= High + Slack, "interpolation outside its four nodes");
}

void CheckCell(const TGridHeader& Header, const TGridCell& Cell) {
  VELTRANA_FUZZ_CHECK(Cell.Column0 >= 0 && Cell.Row0 >= 0, "cell before the grid");
  VELTRANA_FUZZ_CHECK(Cell.Column1 == Cell.Column0 + 1 && Cell.Row1 == Cell.Row0 + 1, "cell not one mesh wide");
  VELTRANA_FUZZ_CHECK(Cell.Column1 < Header.Columns && Cell.Row1 < Header.Rows, "cell beyond the grid");
}

template <typename TGrid>
std::vector<double> Positions(const TGrid& Grid, const std::uint8_t* Raw, bool Relative) {
  std::vector<double> P(PositionCount);
  for (std::size_t I = 0; I < PositionCount; ++I) {
    const double V = ReadDouble(Raw + I * sizeof(double));
    if (!Relative) {
      P[I] = V;
      continue;
    }
    // A fraction of the extent (taken modulo a little over one) hits cells
    // and the edges around them far more often than raw bit patterns.
    const bool IsX = I % 2 == 0;
    const double Origin = IsX ? Grid.Header.OriginX : Grid.Header.OriginY;
    const double Nodes = IsX ? Grid.Header.Columns : Grid.Header.Rows;
    const double Fraction = std::isfinite(V) ? std::fmod(V, 1.25) : V;
    P[I] = Origin + Fraction * Nodes * GridSpacing;
  }
  return P;
}

void ProbeShift(const TShiftGrid& Grid, const std::vector<double>& P) {
  for (std::size_t I = 0; I + 1 < P.size(); I += 2) {
    for (double Spacing : {GridSpacing, std::fabs(P[I]) + 1.0}) {
      TGridCell Cell;
      if (!LocateCell(Grid.Header, P[I], P[I + 1], Spacing, Cell)) continue;
      CheckCell(Grid.Header, Cell);
      const T2DCoordinates Shift = InterpolateShift(Grid, Cell);
      if (Spacing != GridSpacing) continue;
      const auto Node = [&](std::int32_t C, std::int32_t R) {
        return Grid.Nodes[static_cast<std::size_t>(C) + static_cast<std::size_t>(R) * static_cast<std::size_t>(Grid.Header.Columns)];
      };
      CheckBetween(Shift.X, {Node(Cell.Column0, Cell.Row0).EastShift, Node(Cell.Column1, Cell.Row0).EastShift,
                             Node(Cell.Column1, Cell.Row1).EastShift, Node(Cell.Column0, Cell.Row1).EastShift},
                   Cell);
      CheckBetween(Shift.Y, {Node(Cell.Column0, Cell.Row0).NorthShift, Node(Cell.Column1, Cell.Row0).NorthShift,
                             Node(Cell.Column1, Cell.Row1).NorthShift, Node(Cell.Column0, Cell.Row1).NorthShift},
                   Cell);
    }
  }
}

void ProbeGeoid(const TGeoidGrid& Grid, const std::vector<double>& P) {
  for (std::size_t I = 0; I + 1 < P.size(); I += 2) {
    for (double Spacing : {GridSpacing, std::fabs(P[I]) + 1.0}) {
      TGridCell Cell;
      if (!LocateCell(Grid.Header, P[I], P[I + 1], Spacing, Cell)) continue;
      CheckCell(Grid.Header, Cell);
      const double N = InterpolateGeoid(Grid, Cell);
      const TVerticalDatumCode Datum = CellDatum(Grid, Cell);
      const TGeoidNode Corners[] = {GeoidNode(Grid, Cell.Column0, Cell.Row0), GeoidNode(Grid, Cell.Column1, Cell.Row0),
                                    GeoidNode(Grid, Cell.Column1, Cell.Row1), GeoidNode(Grid, Cell.Column0, Cell.Row1)};
      bool Known = Datum == vdNone;
      for (const TGeoidNode& Corner : Corners) Known = Known || Corner.DatumCode == Datum;
      VELTRANA_FUZZ_CHECK(Known, "CellDatum names a code none of the four nodes carries");
      VELTRANA_FUZZ_CHECK(static_cast<int>(Datum) < VerticalDatumCount, "CellDatum outside the datum table");
      if (Spacing == GridSpacing)
        CheckBetween(N, {Corners[0].Separation, Corners[1].Separation, Corners[2].Separation, Corners[3].Separation},
                     Cell);
    }
    // Single nodes anywhere, inside or not.
    const auto Column = static_cast<std::int32_t>(std::isfinite(P[I]) ? std::fmod(P[I], 4e9) / 2.0 : -1.0);
    const auto Row = static_cast<std::int32_t>(std::isfinite(P[I + 1]) ? std::fmod(P[I + 1], 4e9) / 2.0 : -1.0);
    const TGeoidNode Node = GeoidNode(Grid, Column, Row);
    const bool Outside = Column < 0 || Row < 0 || Column >= Grid.Header.Columns || Row >= Grid.Header.Rows;
    if (Outside) VELTRANA_FUZZ_CHECK(Node.Separation == 0.0f && Node.DatumCode == vdNone, "node outside the grid");
  }
}

template <typename TGrid>
void CheckRefused(const TGrid& Grid) {
  VELTRANA_FUZZ_CHECK(!Grid.Loaded && Grid.NodeCount() == 0 && Grid.Header.Rows == 0 && Grid.Header.Columns == 0 &&
                          Grid.Header.OriginX == 0.0 && Grid.Header.OriginY == 0.0,
                      "a refused grid is not left empty");
}

template <typename TGrid>
void CheckLoaded(const TGrid& Grid, std::size_t FileSize, std::size_t NodeSize) {
  VELTRANA_FUZZ_CHECK(Grid.Loaded && Grid.Header.Rows > 0 && Grid.Header.Columns > 0, "loaded grid without nodes");
  const auto Count = static_cast<std::size_t>(Grid.Header.Rows) * static_cast<std::size_t>(Grid.Header.Columns);
  VELTRANA_FUZZ_CHECK(Grid.NodeCount() == Count, "node count does not match the header");
  VELTRANA_FUZZ_CHECK(FileSize == GridHeaderSize + Count * NodeSize, "accepted a file of the wrong size");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size < PreambleSize) return 0;
  const std::uint8_t Control = Data[0];
  const std::uint8_t* Raw = Data + 1;
  std::vector<std::uint8_t> File(Data + PreambleSize, Data + Size);
  const bool Geoid = (Control & GeoidBit) != 0;
  const std::size_t NodeSize = Geoid ? GeoidNodeSize : ShiftNodeSize;
  if ((Control & FitHeaderBit) != 0) FitHeader(File, NodeSize);

  const std::string FileName = fuzz::ScratchFileName(Geoid ? "geoid" : "shift", ".dat");
  const std::string CopyName = fuzz::ScratchFileName(Geoid ? "geoid-copy" : "shift-copy", ".dat");
  if (!fuzz::WriteScratchFile(FileName, File.data(), File.size())) return 0;
  const bool Relative = (Control & RelativeBit) != 0;

  if (Geoid) {
    TGeoidGrid Grid;
    if (!LoadGeoidGrid(Grid, FileName)) {
      CheckRefused(Grid);
      ProbeGeoid(Grid, Positions(Grid, Raw, false));
      return 0;
    }
    CheckLoaded(Grid, File.size(), NodeSize);
    ProbeGeoid(Grid, Positions(Grid, Raw, Relative));
    VELTRANA_FUZZ_CHECK(SaveGeoidGrid(Grid, CopyName), "a loaded grid cannot be saved");
    TGeoidGrid Copy;
    VELTRANA_FUZZ_CHECK(LoadGeoidGrid(Copy, CopyName), "a saved grid does not load");
    for (std::size_t I = 0; I < Grid.NodeCount(); ++I)
      VELTRANA_FUZZ_CHECK(SameBits(Copy.Separations[I], Grid.Separations[I]) &&
                              Copy.DatumCodes[I] == Grid.DatumCodes[I],
                          "node " + std::to_string(I) + " changed in a save and reload");
  } else {
    TShiftGrid Grid;
    if (!LoadShiftGrid(Grid, FileName)) {
      CheckRefused(Grid);
      ProbeShift(Grid, Positions(Grid, Raw, false));
      return 0;
    }
    CheckLoaded(Grid, File.size(), NodeSize);
    ProbeShift(Grid, Positions(Grid, Raw, Relative));
    VELTRANA_FUZZ_CHECK(SaveShiftGrid(Grid, CopyName), "a loaded grid cannot be saved");
    TShiftGrid Copy;
    VELTRANA_FUZZ_CHECK(LoadShiftGrid(Copy, CopyName), "a saved grid does not load");
    for (std::size_t I = 0; I < Grid.Nodes.size(); ++I)
      VELTRANA_FUZZ_CHECK(SameBits(Copy.Nodes[I].EastShift, Grid.Nodes[I].EastShift) &&
                              SameBits(Copy.Nodes[I].NorthShift, Grid.Nodes[I].NorthShift),
                          "node " + std::to_string(I) + " changed in a save and reload");
  }
  return 0;
}
