#include "IGSystems.h"

#include <cmath>
#include <memory>

namespace veltrana {

namespace {

constexpr double IGScaleFactor = 1.000035;
constexpr long double IGOriginLatitude = 53.5L;   // degrees north
constexpr long double IGOriginLongitude = -8.0L;  // degrees east
constexpr double IGFalseEasting = 200000.0;
constexpr double IGFalseNorthing = 250000.0;

// Reduced variables of the polynomial: u = 0.1 (phi - 53.5), v = 0.1 (lambda + 7.7), degrees.
constexpr double PolyScale = 0.1;
constexpr double PolyLatitudeOrigin = 53.5;
constexpr double PolyLongitudeOrigin = -7.7;
constexpr long double ArcSecondsPerDegree = 3600.0L;

// Polynomial terms in table order: exponents of u and v, then the latitude
// and longitude coefficients in arc-seconds.
struct TPolyTerm {
  int UPower;
  int VPower;
  double LatitudeCoefficient;
  double LongitudeCoefficient;
};

constexpr TPolyTerm PolyTerms[] = {
    // u^i  v^j    dphi      dlambda
    {0, 0, 0.763, -2.810},      // 1
    {1, 0, -4.487, -0.341},     // u
    {0, 1, 0.123, -4.680},      // v
    {1, 1, -0.515, -0.119},     // u v
    {2, 0, 0.215, 1.196},       // u^2
    {0, 2, 0.183, 0.170},       // v^2
    {2, 1, -0.570, 4.877},      // u^2 v
    {1, 2, 0.414, 3.913},       // u v^2
    {2, 2, 5.703, -27.795},     // u^2 v^2
    {3, 0, -0.265, -0.887},     // u^3
    {0, 3, -0.374, 2.163},      // v^3
    {3, 1, 2.852, -46.666},     // u^3 v
    {1, 3, 13.110, 18.867},     // u v^3
    {3, 2, -61.678, -95.377},   // u^3 v^2
    {2, 3, 113.743, -284.294},  // u^2 v^3
    {3, 3, -265.898, -853.950}, // u^3 v^3
};

}  // namespace

TTransverseMercator MakeIGProjection() {
  return TTransverseMercator::Make(
      TEllipsoid::Make(AiryModifiedSemiMajorAxis, AiryModifiedSemiMinorAxis), IGScaleFactor,
      DegreesToRadiansAngle(IGOriginLatitude), DegreesToRadiansAngle(IGOriginLongitude),
      IGFalseEasting, IGFalseNorthing);
}

TCoordinates IGPolynomialShift(const TCoordinates& IG75) {
  const double PhiDeg = static_cast<double>(IG75.Y * RadiansToDegreesFactor);
  const double LambdaDeg = static_cast<double>(IG75.X * RadiansToDegreesFactor);
  const double U = PolyScale * (PhiDeg - PolyLatitudeOrigin);
  const double V = PolyScale * (LambdaDeg - PolyLongitudeOrigin);
  // Powers rounded to 64 bits; each term's product rounded to 64 bits.
  const double UPowers[4] = {1.0, U, U * U, U * U * U};
  const double VPowers[4] = {1.0, V, V * V, V * V * V};
  long double DPhi = 0.0L;
  long double DLambda = 0.0L;
  for (const TPolyTerm& T : PolyTerms) {
    const double Term = UPowers[T.UPower] * VPowers[T.VPower];
    DPhi += static_cast<long double>(T.LatitudeCoefficient) * Term;
    DLambda += static_cast<long double>(T.LongitudeCoefficient) * Term;
  }
  return {static_cast<double>(DLambda / ArcSecondsPerDegree * DegreesToRadiansFactor),
          static_cast<double>(DPhi / ArcSecondsPerDegree * DegreesToRadiansFactor), 0.0};
}

TCoordinates IGFromETRS89Geodetic(const TCoordinates& ETRS89) {
  TCoordinates Q = ETRS89;
  for (int Pass = 1; Pass <= IGMaxInversePasses; ++Pass) {
    const TCoordinates Shift = IGPolynomialShift(Q);
    const double DLambda = Q.X + Shift.X - ETRS89.X;
    const double DPhi = Q.Y + Shift.Y - ETRS89.Y;
    if (std::fabs(DPhi) < IGInverseTolerance && std::fabs(DLambda) < IGInverseTolerance) break;
    Q.X -= DLambda;
    Q.Y -= DPhi;
  }
  return Q;
}

bool TransformETRS89ToIG(const TCoordinates& Geodetic, const TIrishGeoidGrids& Grids,
                         TVerticalDatumCode PreferredDatum, const TTransverseMercator& IGProj,
                         const TTransverseMercator& ITMProj, TCoordinates& Output,
                         TVerticalDatumCode& Datum) {
  Output = GeodeticToGrid(IGFromETRS89Geodetic(Geodetic), IGProj);
  TCoordinates ITM;
  if (!TransformETRS89ToITM(Geodetic, Grids, PreferredDatum, ITMProj, ITM, Datum)) return false;
  Output.Z = ITM.Z;
  return true;
}

bool TransformIGToETRS89(const TCoordinates& Grid, const TIrishGeoidGrids& Grids,
                         TVerticalDatumCode PreferredDatum, const TTransverseMercator& IGProj,
                         const TTransverseMercator& ITMProj, TCoordinates& Output,
                         TVerticalDatumCode& Datum) {
  const TCoordinates T = GridToGeodetic({Grid.X, Grid.Y, 0.0}, IGProj);
  Output = T + IGPolynomialShift(T);
  TCoordinates ITM;
  if (!TransformETRS89ToITM(Output, Grids, PreferredDatum, ITMProj, ITM, Datum)) return false;
  Output.Z = Grid.Z - ITM.Z;
  return true;
}

void TIGCoordinateSystem::Init(std::int32_t ARevision, int AGeoidRevision,
                               const TIrishGeoidGrids& AGrids,
                               const TTransverseMercator* AIGProjection,
                               const TTransverseMercator* AITMProjection) {
  TCoordinateSystem::Init("Irish Grid", "IG75",
                          ARevision == 2002 ? "Irish Grid (IG/GM02)" : "Irish Grid (IG/GM15)",
                          29903, ARevision, ctProjected, aoXYZ, IrishBounds, gtGeodetic);
  PreferredVerticalDatum = vdMalinHead;
  GeoidRevision = AGeoidRevision;
  Grids = AGrids;
  IGProjection = AIGProjection;
  ITMProjection = AITMProjection;
}

TCoordinates TIGCoordinateSystem::ConvertToGlobal(const TCoordinates& Local) {
  TCoordinates Result;
  TVerticalDatumCode Datum = vdNone;
  LastVerticalDatum = vdNone;
  if (!TransformIGToETRS89(Local, Grids, PreferredVerticalDatum, *IGProjection, *ITMProjection,
                           Result, Datum) ||
      !WithinBounds(Result))
    return NullCoordinates;
  LastVerticalDatum = Datum;
  return Result;
}

TCoordinates TIGCoordinateSystem::ConvertFromGlobal(const TCoordinates& Global) {
  TCoordinates Result;
  TVerticalDatumCode Datum = vdNone;
  LastVerticalDatum = vdNone;
  if (!WithinBounds(Global) || !TransformETRS89ToIG(Global, Grids, PreferredVerticalDatum,
                                                    *IGProjection, *ITMProjection, Result, Datum))
    return NullCoordinates;
  LastVerticalDatum = Datum;
  return Result;
}

namespace {

struct TIGUnit {
  TTransverseMercator Projection;
  TIGCoordinateSystem Systems[2];
};

std::unique_ptr<TIGUnit> GUnit;

}  // namespace

void InitializeIGUnit(TProgramRevisions ProgramRevisions) {
  GUnit = std::make_unique<TIGUnit>();
  GUnit->Projection = MakeIGProjection();
  constexpr std::int32_t Revisions[2] = {2002, 2015};
  for (int R = ProgramRevisions == prAll ? 0 : 1; R < 2; ++R) {
    GUnit->Systems[R].Init(Revisions[R], R, IrishGeoidGrids(R), &GUnit->Projection,
                           &ITMProjection());
    CoordinateSystems.Register(&GUnit->Systems[R]);
  }
}

void FinalizeIGUnit() { GUnit.reset(); }

}  // namespace veltrana
