// British National Grid on OSGB36 (SRID 27700): ETRS89 projected with the
// national grid parameters on GRS80, shifted by the OSTN grid, with
// orthometric heights from the OSGM geoid grid. Two revisions (2002, 2015)
// share the algorithm and differ only in their grid files.
//
// Shared state: conversions write the system's LastVerticalDatum; the grids
// and the projection are read-only after start-up.
#pragma once

#include <string>

#include "CoordinateSystems.h"
#include "GridFiles.h"
#include "ProgramStartup.h"
#include "TransverseMercator.h"

namespace veltrana {

// Message of the exception the inverse raises when it does not converge.
inline constexpr const char* BNGConvergenceMessage =
    "Inverse BNG projection failed to converge grid to ETRS89 coordinates.";

// Inverse iteration: converged when both plane components move less than
// this many metres between passes; at most BNGMaxInversePasses passes.
inline constexpr double BNGInverseTolerance = 0.0001;
inline constexpr int BNGMaxInversePasses = 6;

// The national grid parameters on GRS80 (scale 0.9996012717, true origin
// 49 N 2 W, false origin 400 km E, -100 km N).
TTransverseMercator MakeBNGProjection();

// ETRS89 geodetic (radians, ellipsoidal height m) -> (E, N, orthometric H) m.
// Returns false (Output untouched, Datum vdNone) outside the shift grid, when
// the geoid grid does not share the shift grid's layout, or when any geoid
// node of the cell carries code 0. Datum: see CellDatum.
bool TransformETRS89ToBNG(const TCoordinates& Geodetic, const TShiftGrid& ShiftGrid,
                          const TGeoidGrid& GeoidGrid, const TTransverseMercator& Projection,
                          TCoordinates& Output, TVerticalDatumCode& Datum);

// (E, N, H) m -> ETRS89 geodetic (radians, m) by fixed-point iteration on the
// shifts. Returns false as the forward does (no exception); throws
// std::runtime_error(BNGConvergenceMessage) when 6 passes do not converge.
// The datum is taken from the cell of the last pass.
bool TransformBNGToETRS89(const TCoordinates& Grid, const TShiftGrid& ShiftGrid,
                          const TGeoidGrid& GeoidGrid, const TTransverseMercator& Projection,
                          TCoordinates& Output, TVerticalDatumCode& Datum);

class TBNGCoordinateSystem : public TCoordinateSystem {
 public:
  // Revision 2002 or 2015; grids and projection must outlive the system.
  void Init(std::int32_t ARevision, const TShiftGrid* AShiftGrid, const TGeoidGrid* AGeoidGrid,
            const TTransverseMercator* AProjection);
  // BNG -> ETRS89 geodetic; NullCoordinates (vdNone) on failure or when the
  // result lies outside Bounds; throws on non-convergence.
  TCoordinates ConvertToGlobal(const TCoordinates& Local) override;
  // ETRS89 geodetic -> BNG; NullCoordinates (vdNone) outside Bounds or grids.
  TCoordinates ConvertFromGlobal(const TCoordinates& Global) override;
  std::unique_ptr<TCoordinateSystem> Clone() const override { return std::make_unique<TBNGCoordinateSystem>(*this); }

  const TGeoidGrid* GeoidGrid = nullptr;
  const TShiftGrid* ShiftGrid = nullptr;
  const TTransverseMercator* Projection = nullptr;
};

// Unit start-up: loads the grids from ProgramDirectory() (updater order
// GM02GB, TN02GB, GM15GB, TN15GB; latest only: GM15GB, TN15GB) and registers
// the systems (2002 first). Shutdown releases them.
void InitializeBNGUnit(TProgramRevisions Revisions);
void FinalizeBNGUnit();

}  // namespace veltrana
