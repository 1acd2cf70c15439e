#include "ITMSystems.h"

#include <memory>

namespace veltrana {

namespace {
constexpr double ITMScaleFactor = 0.99982;
constexpr long double ITMOriginLatitude = 53.5L;   // degrees north
constexpr long double ITMOriginLongitude = -8.0L;  // degrees east
constexpr double ITMFalseEasting = 600000.0;
constexpr double ITMFalseNorthing = 750000.0;
constexpr int GeoidRevisionCount = 2;
}  // namespace

TTransverseMercator MakeITMProjection() {
  return TTransverseMercator::Make(GRS80Ellipsoid, ITMScaleFactor,
                                   DegreesToRadiansAngle(ITMOriginLatitude),
                                   DegreesToRadiansAngle(ITMOriginLongitude), ITMFalseEasting,
                                   ITMFalseNorthing);
}

TIrishGeoidLookup PrepareIrishGeoid(const TIrishGeoidGrids& Grids,
                                    TVerticalDatumCode PreferredDatum, double Easting,
                                    double Northing) {
  TIrishGeoidLookup L;
  L.NIGrid = Grids.NIGrid;
  L.RoIGrid = Grids.RoIGrid;
  L.PreferredDatum = PreferredDatum;
  L.NIInside = L.NIGrid != nullptr &&
               LocateCell(L.NIGrid->Header, Easting, Northing, GridSpacing, L.NICell);
  L.RoIInside = L.RoIGrid != nullptr &&
                LocateCell(L.RoIGrid->Header, Easting, Northing, GridSpacing, L.RoICell);
  return L;
}

bool ApplyIrishGeoid(const TIrishGeoidLookup& Lookup, TCoordinates& Coordinates,
                     TGeoidDirection Direction, TVerticalDatumCode& Datum) {
  Datum = vdNone;
  const TGeoidGrid* Grid = nullptr;
  const TGridCell* Cell = nullptr;
  if (Lookup.RoIInside && Lookup.PreferredDatum == vdMalinHead) {
    Grid = Lookup.RoIGrid;
    Cell = &Lookup.RoICell;
  } else if (Lookup.NIInside && Lookup.PreferredDatum == vdBelfast) {
    Grid = Lookup.NIGrid;
    Cell = &Lookup.NICell;
  } else {
    return false;
  }
  const TVerticalDatumCode Code = CellDatum(*Grid, *Cell);
  if (Code == vdNone) return false;
  const double N = InterpolateGeoid(*Grid, *Cell);
  Coordinates.Z = Direction == gdAdd ? Coordinates.Z + N : Coordinates.Z - N;
  Datum = Code;
  return true;
}

bool TransformETRS89ToITM(const TCoordinates& Geodetic, const TIrishGeoidGrids& Grids,
                          TVerticalDatumCode PreferredDatum,
                          const TTransverseMercator& Projection, TCoordinates& Output,
                          TVerticalDatumCode& Datum) {
  Output = GeodeticToGrid(Geodetic, Projection);
  const TIrishGeoidLookup L = PrepareIrishGeoid(Grids, PreferredDatum, Output.X, Output.Y);
  return ApplyIrishGeoid(L, Output, gdSubtract, Datum);
}

bool TransformITMToETRS89(const TCoordinates& Grid, const TIrishGeoidGrids& Grids,
                          TVerticalDatumCode PreferredDatum,
                          const TTransverseMercator& Projection, TCoordinates& Output,
                          TVerticalDatumCode& Datum) {
  const TIrishGeoidLookup L = PrepareIrishGeoid(Grids, PreferredDatum, Grid.X, Grid.Y);
  TCoordinates Copy = Grid;
  const bool Success = ApplyIrishGeoid(L, Copy, gdAdd, Datum);
  Output = GridToGeodetic(Copy, Projection);
  return Success;
}

void TITMCoordinateSystem::Init(std::int32_t ARevision, int AGeoidRevision,
                                const TIrishGeoidGrids& AGrids,
                                const TTransverseMercator* AProjection) {
  TCoordinateSystem::Init("Irish Transverse Mercator", "IRENET95",
                          ARevision == 2002 ? "Irish Transverse Mercator (ITM/GM02)"
                                            : "Irish Transverse Mercator (ITM/GM15)",
                          2157, ARevision, ctProjected, aoXYZ, IrishBounds, gtGeodetic);
  PreferredVerticalDatum = vdMalinHead;
  GeoidRevision = AGeoidRevision;
  Grids = AGrids;
  Projection = AProjection;
}

TCoordinates TITMCoordinateSystem::ConvertToGlobal(const TCoordinates& Local) {
  TCoordinates Result;
  TVerticalDatumCode Datum = vdNone;
  LastVerticalDatum = vdNone;
  if (!TransformITMToETRS89(Local, Grids, PreferredVerticalDatum, *Projection, Result, Datum) ||
      !WithinBounds(Result))
    return NullCoordinates;
  LastVerticalDatum = Datum;
  return Result;
}

TCoordinates TITMCoordinateSystem::ConvertFromGlobal(const TCoordinates& Global) {
  TCoordinates Result;
  TVerticalDatumCode Datum = vdNone;
  LastVerticalDatum = vdNone;
  if (!WithinBounds(Global) ||
      !TransformETRS89ToITM(Global, Grids, PreferredVerticalDatum, *Projection, Result, Datum))
    return NullCoordinates;
  LastVerticalDatum = Datum;
  return Result;
}

namespace {

struct TITMUnit {
  TGeoidGrid NIGeoidGrids[GeoidRevisionCount];
  TGeoidGrid RoIGeoidGrids[GeoidRevisionCount];
  TTransverseMercator Projection;
  TITMCoordinateSystem Systems[GeoidRevisionCount];
};

std::unique_ptr<TITMUnit> GUnit;

constexpr const char* NIGridFiles[GeoidRevisionCount] = {"GM02NI.dat", "GM15NI.dat"};
constexpr const char* RoIGridFiles[GeoidRevisionCount] = {"GM02RoI.dat", "GM15RoI.dat"};
constexpr std::int32_t Revisions[GeoidRevisionCount] = {2002, 2015};

}  // namespace

TIrishGeoidGrids IrishGeoidGrids(int GeoidRevision) {
  if (!GUnit || GeoidRevision < 0 || GeoidRevision >= GeoidRevisionCount) return {};
  return {&GUnit->NIGeoidGrids[GeoidRevision], &GUnit->RoIGeoidGrids[GeoidRevision]};
}

const TTransverseMercator& ITMProjection() { return GUnit->Projection; }

void InitializeITMUnit(TProgramRevisions ProgramRevisions) {
  GUnit = std::make_unique<TITMUnit>();
  const int First = ProgramRevisions == prAll ? 0 : 1;
  for (int R = First; R < GeoidRevisionCount; ++R) {
    LoadGeoidGrid(GUnit->NIGeoidGrids[R], ProgramDirectory() + NIGridFiles[R]);
    LoadGeoidGrid(GUnit->RoIGeoidGrids[R], ProgramDirectory() + RoIGridFiles[R]);
  }
  GUnit->Projection = MakeITMProjection();
  for (int R = First; R < GeoidRevisionCount; ++R) {
    GUnit->Systems[R].Init(Revisions[R], R, IrishGeoidGrids(R), &GUnit->Projection);
    CoordinateSystems.Register(&GUnit->Systems[R]);
  }
}

void FinalizeITMUnit() { GUnit.reset(); }

}  // namespace veltrana
