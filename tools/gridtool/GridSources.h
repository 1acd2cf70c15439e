// Parsers of the published transformation and geoid models, in the layouts
// their publishers use. Each parser reads only the bytes of its Text, never
// throws for content, and on refusal returns a status whose message names the
// file and the 1-based line ("FILE:LINE: what is wrong"). Numbers are read
// with std::from_chars ("." as decimal mark, as published). No shared state.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "GridFiles.h"

namespace veltrana::gridtool {

struct TParseStatus {
  bool Ok = true;
  std::string Message;  // "FILE:LINE: ..." when !Ok
};

// Node layout of a Great Britain model file: node (column c, row r) lies at
// easting 1000 c, northing 1000 r, and has Point_ID c + Columns r + 1.
struct TGBLayout {
  std::int32_t Columns = 0;
  std::int32_t Rows = 0;
};
// The published extent: eastings 0 to 700 km, northings 0 to 1250 km.
inline constexpr TGBLayout PublishedGBLayout{701, 1251};

// The one header line of a Great Britain model file.
inline constexpr std::string_view GBHeaderLine =
    "Point_ID,ETRS89_Easting,ETRS89_Northing,ETRS89_OSGB36_EShift,ETRS89_OSGB36_NShift,"
    "ETRS89_ODN_HeightShift,Height_Datum_Flag";

// Reads a Great Britain model CSV (header line, then one line per node in any
// order) into a shift grid (EShift, NShift) and a geoid grid (HeightShift,
// flag), both with origin (0, 0) and Layout's size. Every node of the layout
// must appear exactly once; Point_ID, easting and northing must agree; flags
// must be vertical-datum codes (0 to 16). On refusal the grids are untouched.
TParseStatus ParseGBModel(std::string_view Text, const std::string& FileName, const TGBLayout& Layout,
                          TShiftGrid& Shift, TGeoidGrid& Geoid);

// A latitude/longitude graticule of geoid separations (ETRS89, degrees).
struct TGraticule {
  double LatitudeMin = 0.0;
  double LatitudeMax = 0.0;
  double LongitudeMin = 0.0;
  double LongitudeMax = 0.0;
  // Spacings derived from the extent and the node counts, degrees.
  double LatitudeStep = 0.0;
  double LongitudeStep = 0.0;
  std::int32_t Rows = 0;     // latitude lines
  std::int32_t Columns = 0;  // longitude lines
  // Separation N in metres of node (column c, row r) at index c + Columns r;
  // row 0 is the southern line LatitudeMin, column 0 the western LongitudeMin.
  std::vector<double> Values;
};

// Largest graticule accepted (lines per direction), far above any national model.
inline constexpr std::int32_t MaxGraticuleLines = 20000;
// The header prints its steps with six decimals; a declared step may differ
// from the step implied by extent and node count by at most this (degrees).
inline constexpr double GraticuleStepTolerance = 1e-6;

// Reads an ASCII .gri graticule: a first line "latmin latmax lonmin lonmax
// latstep lonstep", then the values of each latitude line from north to
// south, each line's values from west to east, any number per text line.
// Every latitude line starts on a new text line; blank lines are ignored
// (the publisher breaks lines into blocks with them). Node counts come from
// the header (rows = (latmax - latmin) / latstep + 1, rounded), the steps
// used are (latmax - latmin) / (rows - 1) and likewise for longitude. On
// refusal Out is untouched.
TParseStatus ParseGraticule(std::string_view Text, const std::string& FileName, TGraticule& Out);

// Reads a geoid model CSV without header, "id,easting,northing,separation,
// flag", on a 1 km grid, row-major from the south-west: id k (from 1) is node
// k - 1, the origin is the first line's position and the row length is the
// number of lines before the northing first changes. Every line must fit that
// layout. Flags must be 0 or, when ExpectedDatum is not vdNone, equal to it;
// with vdNone any vertical-datum code (0 to 16) is accepted. On refusal Out
// is untouched.
TParseStatus ParseGridGeoidModel(std::string_view Text, const std::string& FileName,
                                 TVerticalDatumCode ExpectedDatum, TGeoidGrid& Out);

}  // namespace veltrana::gridtool
