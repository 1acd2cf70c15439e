// Irish Grid on IG75 (SRID 29903): linked to ETRS89 by a fixed polynomial in
// latitude and longitude, projected on the Airy Modified ellipsoid, with the
// orthometric heights of the Irish Transverse Mercator path. Revisions 2002
// and 2015 differ only in the geoid grids used for heights.
//
// Shared state: conversions write the system's LastVerticalDatum.
#pragma once

#include "CoordinateSystems.h"
#include "ITMSystems.h"
#include "ProgramStartup.h"
#include "TransverseMercator.h"

namespace veltrana {

// Airy Modified ellipsoid axes, metres.
inline constexpr double AiryModifiedSemiMajorAxis = 6377340.189;
inline constexpr double AiryModifiedSemiMinorAxis = 6356034.447;

// Inverse of the polynomial: stop when both residuals are below this many
// radians, or after IGMaxInversePasses passes (the last value is used).
inline constexpr double IGInverseTolerance = 1e-16;
inline constexpr int IGMaxInversePasses = 15;

// The Irish Grid parameters on Airy Modified (scale 1.000035, true origin
// 53.5 N 8 W, false origin 200 km E, 250 km N).
TTransverseMercator MakeIGProjection();

// IG75 longitude and latitude (radians) -> the shift (dlambda, dphi, 0) in
// radians that takes them to ETRS89.
TCoordinates IGPolynomialShift(const TCoordinates& IG75);

// ETRS89 geodetic -> IG75 geodetic (radians; height unchanged), inverting the
// polynomial by iteration. Never fails.
TCoordinates IGFromETRS89Geodetic(const TCoordinates& ETRS89);

// ETRS89 geodetic (radians, m) -> Irish Grid (E, N, orthometric H) m. False
// when the height lookup of the ITM path fails.
bool TransformETRS89ToIG(const TCoordinates& Geodetic, const TIrishGeoidGrids& Grids,
                         TVerticalDatumCode PreferredDatum, const TTransverseMercator& IGProj,
                         const TTransverseMercator& ITMProj, TCoordinates& Output,
                         TVerticalDatumCode& Datum);

// Irish Grid (E, N, H) m -> ETRS89 geodetic (radians, m).
bool TransformIGToETRS89(const TCoordinates& Grid, const TIrishGeoidGrids& Grids,
                         TVerticalDatumCode PreferredDatum, const TTransverseMercator& IGProj,
                         const TTransverseMercator& ITMProj, TCoordinates& Output,
                         TVerticalDatumCode& Datum);

class TIGCoordinateSystem : public TCoordinateSystem {
 public:
  // Revision 2002 or 2015; PreferredVerticalDatum starts as vdMalinHead.
  void Init(std::int32_t ARevision, int AGeoidRevision, const TIrishGeoidGrids& AGrids,
            const TTransverseMercator* AIGProjection, const TTransverseMercator* AITMProjection);
  TCoordinates ConvertToGlobal(const TCoordinates& Local) override;
  TCoordinates ConvertFromGlobal(const TCoordinates& Global) override;
  std::unique_ptr<TCoordinateSystem> Clone() const override { return std::make_unique<TIGCoordinateSystem>(*this); }

  int GeoidRevision = 0;
  TIrishGeoidGrids Grids;
  const TTransverseMercator* IGProjection = nullptr;
  const TTransverseMercator* ITMProjection = nullptr;
};

// Unit start-up (after the ITM unit, whose grids it uses): registers the
// systems (2002 first). Shutdown releases them.
void InitializeIGUnit(TProgramRevisions Revisions);
void FinalizeIGUnit();

}  // namespace veltrana
