#include "BNGSystems.h"

#include <cmath>
#include <memory>
#include <stdexcept>

namespace veltrana {

namespace {

constexpr double BNGScaleFactor = 0.9996012717;
constexpr long double BNGOriginLatitude = 49.0L;    // degrees north
constexpr long double BNGOriginLongitude = -2.0L;   // degrees east
constexpr double BNGFalseEasting = 400000.0;
constexpr double BNGFalseNorthing = -100000.0;
constexpr TGeodeticBounds BNGBounds = BoundsFromDegrees(-9.5L, 49.7L, 3.6L, 61.2L);

// The shift and geoid grids of a pair are indexed with one cell.
bool SameLayout(const TGridHeader& A, const TGridHeader& B) {
  return A.OriginX == B.OriginX && A.OriginY == B.OriginY && A.Rows == B.Rows &&
         A.Columns == B.Columns;
}

// Plane shifts at a plane position, with its cell.
struct TGridSample {
  TGridCell Cell;
  T2DCoordinates Shift;
};

bool SampleShift(const TShiftGrid& ShiftGrid, const TGeoidGrid& GeoidGrid, double X, double Y,
                 TGridSample& Sample) {
  if (!LocateCell(ShiftGrid.Header, X, Y, GridSpacing, Sample.Cell)) return false;
  if (!SameLayout(ShiftGrid.Header, GeoidGrid.Header)) return false;
  Sample.Shift = InterpolateShift(ShiftGrid, Sample.Cell);
  return true;
}

}  // namespace

TTransverseMercator MakeBNGProjection() {
  return TTransverseMercator::Make(GRS80Ellipsoid, BNGScaleFactor,
                                   DegreesToRadiansAngle(BNGOriginLatitude),
                                   DegreesToRadiansAngle(BNGOriginLongitude), BNGFalseEasting,
                                   BNGFalseNorthing);
}

bool TransformETRS89ToBNG(const TCoordinates& Geodetic, const TShiftGrid& ShiftGrid,
                          const TGeoidGrid& GeoidGrid, const TTransverseMercator& Projection,
                          TCoordinates& Output, TVerticalDatumCode& Datum) {
  Datum = vdNone;
  const TCoordinates Plane = GeodeticToGrid(Geodetic, Projection);
  TGridSample S;
  if (!SampleShift(ShiftGrid, GeoidGrid, Plane.X, Plane.Y, S)) return false;
  Datum = CellDatum(GeoidGrid, S.Cell);
  if (Datum == vdNone) return false;
  Output = {Plane.X + S.Shift.X, Plane.Y + S.Shift.Y,
            Plane.Z - InterpolateGeoid(GeoidGrid, S.Cell)};
  return true;
}

bool TransformBNGToETRS89(const TCoordinates& Grid, const TShiftGrid& ShiftGrid,
                          const TGeoidGrid& GeoidGrid, const TTransverseMercator& Projection,
                          TCoordinates& Output, TVerticalDatumCode& Datum) {
  Datum = vdNone;
  TCoordinates Estimate = Grid;
  TCoordinates Previous = NullCoordinates;
  TGridSample S;
  for (int Pass = 1;; ++Pass) {
    // Only the plane position iterates; the height takes the geoid of the
    // last pass's cell below.
    if (!SampleShift(ShiftGrid, GeoidGrid, Estimate.X, Estimate.Y, S)) return false;
    Estimate = {Grid.X - S.Shift.X, Grid.Y - S.Shift.Y, Grid.Z};
    if (std::fabs(Estimate.X - Previous.X) < BNGInverseTolerance &&
        std::fabs(Estimate.Y - Previous.Y) < BNGInverseTolerance)
      break;
    Previous = Estimate;
    if (Pass >= BNGMaxInversePasses) {
      Output = NullCoordinates;
      throw std::runtime_error(BNGConvergenceMessage);
    }
  }
  Datum = CellDatum(GeoidGrid, S.Cell);
  if (Datum == vdNone) return false;
  Estimate.Z = Grid.Z + InterpolateGeoid(GeoidGrid, S.Cell);
  Output = GridToGeodetic(Estimate, Projection);
  return true;
}

void TBNGCoordinateSystem::Init(std::int32_t ARevision, const TShiftGrid* AShiftGrid,
                                const TGeoidGrid* AGeoidGrid,
                                const TTransverseMercator* AProjection) {
  const bool Old = ARevision == 2002;
  TCoordinateSystem::Init(
      Old ? "British National Grid (2002)" : "British National Grid (2015)", "OSGB36",
      Old ? "OSGB36 / British National Grid (TN02/GM02)"
          : "OSGB36 / British National Grid (TN15/GM15)",
      27700, ARevision, ctProjected, aoXYZ, BNGBounds, gtGeodetic);
  ShiftGrid = AShiftGrid;
  GeoidGrid = AGeoidGrid;
  Projection = AProjection;
}

TCoordinates TBNGCoordinateSystem::ConvertToGlobal(const TCoordinates& Local) {
  TCoordinates Result;
  TVerticalDatumCode Datum = vdNone;
  LastVerticalDatum = vdNone;
  if (!TransformBNGToETRS89(Local, *ShiftGrid, *GeoidGrid, *Projection, Result, Datum) ||
      !WithinBounds(Result))
    return NullCoordinates;
  LastVerticalDatum = Datum;
  return Result;
}

TCoordinates TBNGCoordinateSystem::ConvertFromGlobal(const TCoordinates& Global) {
  TCoordinates Result;
  TVerticalDatumCode Datum = vdNone;
  LastVerticalDatum = vdNone;
  if (!WithinBounds(Global) ||
      !TransformETRS89ToBNG(Global, *ShiftGrid, *GeoidGrid, *Projection, Result, Datum))
    return NullCoordinates;
  LastVerticalDatum = Datum;
  return Result;
}

namespace {

struct TBNGRevision {
  TShiftGrid ShiftGrid;
  TGeoidGrid GeoidGrid;
  TBNGCoordinateSystem System;
};

struct TBNGUnit {
  TTransverseMercator Projection;
  std::unique_ptr<TBNGRevision> Revision2002;
  std::unique_ptr<TBNGRevision> Revision2015;
};

std::unique_ptr<TBNGUnit> GUnit;

std::unique_ptr<TBNGRevision> LoadRevision(const char* GeoidFile, const char* ShiftFile) {
  auto R = std::make_unique<TBNGRevision>();
  LoadGeoidGrid(R->GeoidGrid, ProgramDirectory() + GeoidFile);
  LoadShiftGrid(R->ShiftGrid, ProgramDirectory() + ShiftFile);
  return R;
}

}  // namespace

void InitializeBNGUnit(TProgramRevisions Revisions) {
  GUnit = std::make_unique<TBNGUnit>();
  if (Revisions == prAll) GUnit->Revision2002 = LoadRevision("GM02GB.dat", "TN02GB.dat");
  GUnit->Revision2015 = LoadRevision("GM15GB.dat", "TN15GB.dat");
  GUnit->Projection = MakeBNGProjection();
  for (TBNGRevision* R : {GUnit->Revision2002.get(), GUnit->Revision2015.get()}) {
    if (R == nullptr) continue;
    R->System.Init(R == GUnit->Revision2002.get() ? 2002 : 2015, &R->ShiftGrid, &R->GeoidGrid,
                   &GUnit->Projection);
    CoordinateSystems.Register(&R->System);
  }
}

void FinalizeBNGUnit() { GUnit.reset(); }

}  // namespace veltrana
