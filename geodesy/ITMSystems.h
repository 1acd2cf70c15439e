// Irish Transverse Mercator (SRID 2157, datum IRENET95): the ETRS89 position
// projected on GRS80, with orthometric heights from the Northern Ireland
// (Belfast) or the Republic of Ireland (Malin Head) geoid grid, chosen by the
// system's preferred vertical datum. The Irish geoid lookup here also gives
// the Irish Grid its heights. Revisions 2002 and 2015 differ only in grids.
//
// Shared state: conversions write the system's LastVerticalDatum; the grids
// and the projection are read-only after start-up.
#pragma once

#include "CoordinateSystems.h"
#include "GridFiles.h"
#include "ProgramStartup.h"
#include "TransverseMercator.h"

namespace veltrana {

// The two Irish geoid grids of one revision, laid out in the ITM plane.
struct TIrishGeoidGrids {
  const TGeoidGrid* NIGrid = nullptr;   // Belfast datum
  const TGeoidGrid* RoIGrid = nullptr;  // Malin Head datum
};

// The grid lookup of one conversion.
struct TIrishGeoidLookup {
  const TGeoidGrid* NIGrid = nullptr;
  const TGeoidGrid* RoIGrid = nullptr;
  TGridCell NICell;
  TGridCell RoICell;
  bool NIInside = false;
  bool RoIInside = false;
  TVerticalDatumCode PreferredDatum = vdNone;
};

enum TGeoidDirection {
  gdAdd,       // orthometric -> ellipsoidal: z + N
  gdSubtract,  // ellipsoidal -> orthometric: z - N
};

// ITM parameters on GRS80 (scale 0.99982, true origin 53.5 N 8 W, false
// origin 600 km E, 750 km N).
TTransverseMercator MakeITMProjection();

// Locates the ITM position (metres) in both grids.
TIrishGeoidLookup PrepareIrishGeoid(const TIrishGeoidGrids& Grids,
                                    TVerticalDatumCode PreferredDatum, double Easting,
                                    double Northing);

// Applies the separation of the one grid the preferred datum selects (Malin
// Head: the RoI grid; Belfast: the NI grid; anything else: none) to Z.
// Returns false, leaving Coordinates untouched and Datum vdNone, when that
// grid does not cover the position or any node of its cell has code 0.
bool ApplyIrishGeoid(const TIrishGeoidLookup& Lookup, TCoordinates& Coordinates,
                     TGeoidDirection Direction, TVerticalDatumCode& Datum);

// ETRS89 geodetic (radians, m) -> ITM (E, N, orthometric H) m. Output holds
// the projected position even on failure (height then ellipsoidal).
bool TransformETRS89ToITM(const TCoordinates& Geodetic, const TIrishGeoidGrids& Grids,
                          TVerticalDatumCode PreferredDatum,
                          const TTransverseMercator& Projection, TCoordinates& Output,
                          TVerticalDatumCode& Datum);

// ITM (E, N, H) m -> ETRS89 geodetic (radians, m); geoid at the input position.
bool TransformITMToETRS89(const TCoordinates& Grid, const TIrishGeoidGrids& Grids,
                          TVerticalDatumCode PreferredDatum,
                          const TTransverseMercator& Projection, TCoordinates& Output,
                          TVerticalDatumCode& Datum);

// The area of both Irish systems (degrees W -10.98, S 51.24, E -5.27, N 55.63).
inline constexpr TGeodeticBounds IrishBounds = BoundsFromDegrees(-10.98L, 51.24L, -5.27L, 55.63L);

class TITMCoordinateSystem : public TCoordinateSystem {
 public:
  // Revision 2002 or 2015; grids and projection must outlive the system.
  // PreferredVerticalDatum starts as vdMalinHead.
  void Init(std::int32_t ARevision, int AGeoidRevision, const TIrishGeoidGrids& AGrids,
            const TTransverseMercator* AProjection);
  TCoordinates ConvertToGlobal(const TCoordinates& Local) override;
  TCoordinates ConvertFromGlobal(const TCoordinates& Global) override;
  std::unique_ptr<TCoordinateSystem> Clone() const override { return std::make_unique<TITMCoordinateSystem>(*this); }

  int GeoidRevision = 0;  // 0: 2002 grids, 1: 2015 grids
  TIrishGeoidGrids Grids;
  const TTransverseMercator* Projection = nullptr;
};

// The geoid grids of a revision index (0: 2002, 1: 2015) as loaded by the
// unit; empty grids before start-up or when the files are missing.
TIrishGeoidGrids IrishGeoidGrids(int GeoidRevision);
// The unit's ITM projection (valid between start-up and shutdown).
const TTransverseMercator& ITMProjection();

// Unit start-up: loads GM02NI, GM02RoI (all revisions only), GM15NI, GM15RoI
// from ProgramDirectory(), registers the systems (2002 first). Shutdown
// releases them.
void InitializeITMUnit(TProgramRevisions Revisions);
void FinalizeITMUnit();

}  // namespace veltrana
