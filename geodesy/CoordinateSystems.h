// The coordinate-system object model, the process-wide registry of systems
// and the one conversion routine that joins any two systems through ETRS89.
//
// Every system converts its own coordinates to and from a global ETRS89 form
// (Cartesian, or geodetic on GRS80). ConvertCoordinates bridges the two
// global flavours when source and target differ.
//
// Shared state: the registry CoordinateSystems and the systems' vertical
// datum fields are process-wide and unlocked; conversions run on one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Coordinates.h"

namespace veltrana {

enum TCoordinateType { ctCartesian, ctGeodetic, ctProjected };
enum TAxisOrder { aoXYZ, aoYXZ };
enum TGlobalType { gtCartesian, gtGeodetic };

// The vertical datum a height refers to. The numbers are also the datum codes
// stored per node in the geoid grid files.
enum TVerticalDatumCode : std::uint8_t {
  vdNone = 0,
  vdOrdnanceDatumNewlyn = 1,
  vdStMarys = 2,
  vdDouglas02 = 3,
  vdStornoway = 4,
  vdStKilda = 5,
  vdLerwick = 6,
  vdOrkney = 7,
  vdFairIsle = 8,
  vdFlannanIsles = 9,
  vdNorthRona = 10,
  vdSuleSkerry = 11,
  vdFoula = 12,
  vdMalinHead = 13,
  vdBelfast = 14,
  vdOffshore = 15,
  vdOutside = 16,
};
inline constexpr int VerticalDatumCount = 17;

// Area of a system, radians. A point (X = longitude, Y = latitude) lies inside
// when West <= X < East and South <= Y < North; NaN lies outside.
struct TGeodeticBounds {
  double West = 0.0;
  double South = 0.0;
  double East = 0.0;
  double North = 0.0;
};

// Bounds from degrees (each value converted at extended precision, rounded once).
constexpr TGeodeticBounds BoundsFromDegrees(long double West, long double South,
                                            long double East, long double North) {
  return {DegreesToRadiansAngle(West), DegreesToRadiansAngle(South),
          DegreesToRadiansAngle(East), DegreesToRadiansAngle(North)};
}

struct TAxisNames {
  const char* XName;
  const char* YName;
  const char* ZName;
  const char* XShortName;
  const char* YShortName;
  const char* ZShortName;
};

inline constexpr TAxisNames CartesianAxisNames{"X Coordinate", "Y Coordinate", "Z Coordinate",
                                               "X", "Y", "Z"};
inline constexpr TAxisNames GeodeticAxisNames{"Longitude", "Latitude", "Altitude",
                                              "Long", "Lat", "Alt"};
inline constexpr TAxisNames ProjectedAxisNames{"Easting", "Northing", "Elevation",
                                               "East", "North", "Height"};

// The n-th presented component (0, 1, 2) -> the TCoordinates component it
// shows (0 = X, 1 = Y, 2 = Z): aoXYZ keeps the order, aoYXZ swaps 0 and 1.
// Positions outside 0..2 are returned unchanged.
constexpr int AxisComponent(int Position, TAxisOrder AxisOrder) {
  if (AxisOrder == aoYXZ && (Position == 0 || Position == 1)) return 1 - Position;
  return Position;
}

// The descriptive fields of a system; also the snapshot GetSystem copies.
struct TCoordinateSystemFields {
  std::string Abbreviation;
  TAxisOrder AxisOrder = aoXYZ;
  TCoordinateType CoordinateType = ctCartesian;
  std::string Name;
  TGlobalType GlobalType = gtCartesian;
  std::int32_t SRID = 0;
  std::int32_t Revision = 0;
  TGeodeticBounds Bounds;
  std::string Description;
  // Input to conversions of systems with heights on several datums.
  TVerticalDatumCode PreferredVerticalDatum = vdNone;
  // Output of conversions: the datum of the most recent result's height.
  TVerticalDatumCode LastVerticalDatum = vdNone;
};

// Base of every coordinate system. Concrete systems override both
// conversions; geodetic values are radians on both sides.
class TCoordinateSystem : public TCoordinateSystemFields {
 public:
  virtual ~TCoordinateSystem() = default;

  // Stores the nine descriptive values; both datum fields start as vdNone.
  void Init(std::string ADescription, std::string AAbbreviation, std::string AName,
            std::int32_t ASRID, std::int32_t ARevision, TCoordinateType ACoordinateType,
            TAxisOrder AAxisOrder, const TGeodeticBounds& ABounds, TGlobalType AGlobalType);

  // Local -> global form named by GlobalType. Returns NullCoordinates when the
  // point cannot be converted. May throw (the British National Grid inverse
  // throws when it does not converge).
  virtual TCoordinates ConvertToGlobal(const TCoordinates& Local) = 0;
  // Global -> local; NullCoordinates when the point cannot be converted.
  virtual TCoordinates ConvertFromGlobal(const TCoordinates& Global) = 0;
  // A copy of the system for conversions on another thread: the same fields,
  // sharing the read-only grids and projections. Conversions on the copy
  // write only the copy's LastVerticalDatum. Throws only std::bad_alloc.
  virtual std::unique_ptr<TCoordinateSystem> Clone() const = 0;

  // The axis-name constant of the CoordinateType (not of the axis order).
  const TAxisNames& AxisNames() const;
  // Whether a geodetic point (radians) lies in Bounds (west/south edges in).
  bool WithinBounds(const TCoordinates& Coordinates) const;
};

using TCoordinateSystemPointer = TCoordinateSystem*;

// The process-wide, append-only sequence of registered systems. It holds
// pointers to program-lifetime objects and owns none. Indices never change.
class TCoordinateSystemRegistry {
 public:
  // Appends System; no duplicate check.
  void Register(TCoordinateSystemPointer System);
  // The pointer at Index, or nullptr when Index < 0 or Index >= Count().
  TCoordinateSystemPointer Items(int Index) const;
  int Count() const { return static_cast<int>(FItems.size()); }
  // Copies the descriptive fields of the system at Index into System; leaves
  // System unchanged when Index is out of range.
  void GetSystem(int Index, TCoordinateSystemFields& System) const;
  // Index of the system with SRID and Revision, or -1. Revision 0 means the
  // highest revision of that SRID (the first one registered among equals).
  int FindBySRID(std::int32_t SRID, std::int32_t Revision) const;
  // First index whose Name equals Name exactly (byte for byte), or -1.
  int FindByName(const std::string& Name) const;
  // One line per system in registry order ("SRID - Name" with WithSRID),
  // separated by CR LF, without a line break after the last system.
  std::string SystemsText(bool WithSRID) const;
  // The names of the systems offered as targets for the source at
  // SourceIndex (-1: no source, every system). Same line rule as SystemsText.
  std::string TargetSystemsText(int SourceIndex) const;
  // Empties the registry (program shutdown only).
  void Clear() { FItems.clear(); }

 private:
  std::string BuildText(const std::vector<bool>& Excluded, bool WithSRID) const;
  std::vector<TCoordinateSystemPointer> FItems;
};

// The registry of the running program, filled by the start-up routine.
extern TCoordinateSystemRegistry CoordinateSystems;

// Converts Input (decimal degrees for geodetic systems, metres otherwise)
// from the system at SourceIndex to the one at TargetIndex through ETRS89.
// Either index -1 (or any index not registered) leaves Output untouched.
// Failure of any kind, exceptions included, gives NullCoordinates; the
// target's LastVerticalDatum is reset first and then tells the datum of the
// result. Touches the two systems' LastVerticalDatum.
void ConvertCoordinates(int SourceIndex, int TargetIndex, const TCoordinates& Input,
                        TCoordinates& Output);

}  // namespace veltrana
