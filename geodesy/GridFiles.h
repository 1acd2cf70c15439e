// Transformation grid files and their interpolation.
//
// File format (little-endian, IEEE 754): a 56-byte header (OriginX, OriginY
// float64 metres; 32 reserved bytes; Rows, Columns int32) followed by
// Rows x Columns nodes, row 0 first and, within a row, column 0 first. The
// node of column c and row r is node c + r x Columns and lies at easting
// OriginX + 1000 c, northing OriginY + 1000 r. Rows run north, columns east.
// Shift nodes ("TN" files): float32 easting shift, float32 northing shift (m).
// Geoid nodes ("GM" files, 5 bytes packed): float32 separation N (m), uint8
// vertical-datum code.
//
// Grids are written once at start-up and read-only afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Coordinates.h"
#include "CoordinateSystems.h"
#include "LargeBlocks.h"

namespace veltrana {

// Mesh spacing of every grid, metres (not read from the files).
inline constexpr double GridSpacing = 1000.0;
inline constexpr std::size_t GridHeaderSize = 56;
inline constexpr std::size_t ShiftNodeSize = 8;
inline constexpr std::size_t GeoidNodeSize = 5;

struct TGridHeader {
  double OriginX = 0.0;  // easting of node (0, 0), metres
  double OriginY = 0.0;  // northing of node (0, 0), metres
  std::uint8_t Reserved[32] = {};
  std::int32_t Rows = 0;     // node rows (northing direction)
  std::int32_t Columns = 0;  // node columns (easting direction)
};

struct TShiftNode {
  float EastShift = 0.0f;   // metres
  float NorthShift = 0.0f;  // metres
};

struct TGeoidNode {
  float Separation = 0.0f;  // geoid separation N, metres
  std::uint8_t DatumCode = 0;
};

// A grid whose file never loaded is empty: origin 0, no rows, no columns.
struct TShiftGrid {
  TGridHeader Header;
  TLargeVector<TShiftNode> Nodes;  // Rows x Columns, empty until loaded
  bool Loaded = false;

  std::size_t NodeCount() const { return Nodes.size(); }
};

// The nodes are held as two parallel arrays (5 bytes a node instead of a
// padded 8: a grid stays in memory for the whole run). Node i of both arrays
// is node i of the file.
struct TGeoidGrid {
  TGridHeader Header;
  TLargeVector<float> Separations;         // Rows x Columns, empty until loaded
  TLargeVector<std::uint8_t> DatumCodes;  // Rows x Columns, empty until loaded
  bool Loaded = false;

  std::size_t NodeCount() const { return Separations.size(); }
  // Index must be below NodeCount().
  TGeoidNode Node(std::size_t Index) const { return {Separations[Index], DatumCodes[Index]}; }
  void SetNode(std::size_t Index, const TGeoidNode& Value) {
    Separations[Index] = Value.Separation;
    DatumCodes[Index] = Value.DatumCode;
  }
  void AddNode(const TGeoidNode& Value) {
    Separations.push_back(Value.Separation);
    DatumCodes.push_back(Value.DatumCode);
  }
  // Count nodes (new ones: separation 0, code vdNone). Throws std::bad_alloc.
  void ResizeNodes(std::size_t Count) {
    Separations.resize(Count);
    DatumCodes.resize(Count);
  }
};

// The cell of a position: its south-west node and the fractions within it.
struct TGridCell {
  std::int32_t Column0 = 0;
  std::int32_t Column1 = 0;
  std::int32_t Row0 = 0;
  std::int32_t Row1 = 0;
  double FractionX = 0.0;
  double ComplementX = 0.0;
  double FractionY = 0.0;
  double ComplementY = 0.0;
};

// Read a grid file into Grid. The file is accepted only when Rows and Columns
// are positive, their product times the node size does not overflow, and the
// file is exactly 56 bytes plus that node block. Any other file (missing,
// unreadable, short, oversized, negative header) is refused: the result is
// false and Grid is left empty (as created). Never throws for file content.
bool LoadShiftGrid(TShiftGrid& Grid, const std::string& FileName);
bool LoadGeoidGrid(TGeoidGrid& Grid, const std::string& FileName);

// Write a grid in the file format (for the grid tool). Returns false when the
// file cannot be written or the grid does not hold Rows x Columns nodes.
bool SaveShiftGrid(const TShiftGrid& Grid, const std::string& FileName);
bool SaveGeoidGrid(const TGeoidGrid& Grid, const std::string& FileName);

// Locates the cell of the projected position (X easting, Y northing, metres)
// with Spacing metres between nodes. Column0 = trunc((X - OriginX)/Spacing),
// likewise Row0; fails when either is negative, when Column0 + 1 >= Columns or
// Row0 + 1 >= Rows, or for a NaN or far-off position. A position less than
// one spacing west or south of the origin truncates to 0 and is interpolated
// with a negative fraction. On success every index of Cell is inside the grid.
bool LocateCell(const TGridHeader& Header, double X, double Y, double Spacing, TGridCell& Cell);

// Bilinear interpolation at a cell found by LocateCell on this grid's header
// (or on a header with the same Rows and Columns). The four weighted node
// values are summed in extended precision and rounded once.
T2DCoordinates InterpolateShift(const TShiftGrid& Grid, const TGridCell& Cell);
double InterpolateGeoid(const TGeoidGrid& Grid, const TGridCell& Cell);

// One node, uninterpolated. Column and row outside the grid give a node of
// separation 0 and code vdNone.
TGeoidNode GeoidNode(const TGeoidGrid& Grid, std::int32_t Column, std::int32_t Row);

// The vertical datum of a result in Cell: vdNone when any of the four nodes
// carries code 0 (the cell lies outside the model); the common code when all
// four agree; otherwise the code of the node nearest the position (column
// Column1 when FractionX >= 0.5, row Row1 when FractionY >= 0.5).
TVerticalDatumCode CellDatum(const TGeoidGrid& Grid, const TGridCell& Cell);

// The folder of the running executable (symlinks resolved), with a trailing
// "/"; set by the grid unit's start-up. Empty before it.
const std::string& ProgramDirectory();
// Grid unit start-up: stores ProgramDirectory. Shutdown clears it.
void InitializeGridUnit();
void FinalizeGridUnit();
// Overrides the folder (tests and tools); Directory must end with "/".
void SetProgramDirectory(const std::string& Directory);

}  // namespace veltrana
