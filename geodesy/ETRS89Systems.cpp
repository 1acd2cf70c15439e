#include "ETRS89Systems.h"

#include <memory>
#include <utility>

namespace veltrana {

void TETRS89CoordinateSystemUTM::Init(std::string ADescription, std::string AAbbreviation,
                                      std::string AName, std::int32_t ASRID,
                                      std::int32_t ARevision, TCoordinateType ACoordinateType,
                                      TAxisOrder AAxisOrder, const TGeodeticBounds& ABounds,
                                      const TTransverseMercator* AProjection) {
  TCoordinateSystem::Init(std::move(ADescription), std::move(AAbbreviation), std::move(AName),
                          ASRID, ARevision, ACoordinateType, AAxisOrder, ABounds, gtCartesian);
  Projection = AProjection;
}

TCoordinates TETRS89CoordinateSystemUTM::ConvertToGlobal(const TCoordinates& Local) {
  const TCoordinates Geodetic = GridToGeodetic(Local, *Projection);
  if (!WithinBounds(Geodetic)) return NullCoordinates;
  return GeodeticToCartesian(Geodetic, GRS80Ellipsoid);
}

TCoordinates TETRS89CoordinateSystemUTM::ConvertFromGlobal(const TCoordinates& Global) {
  const TCoordinates Geodetic = CartesianToGeodetic(Global, GRS80Ellipsoid);
  if (!WithinBounds(Geodetic)) return NullCoordinates;
  return GeodeticToGrid(Geodetic, *Projection);
}

namespace {

// UTM parameters: scale 0.9996 on the central meridian, origin on the
// equator, false easting 500 km.
constexpr double UTMScaleFactor = 0.9996;
constexpr double UTMFalseEasting = 500000.0;
constexpr double UTMFalseNorthing = 0.0;

// Area of use of the ETRS89 frame (degrees W, S, E, N).
constexpr TGeodeticBounds ETRS89Bounds = BoundsFromDegrees(-16.1L, 32.88L, 39.65L, 84.17L);

struct TUTMZone {
  const char* Abbreviation;
  const char* Name;
  const char* Description;
  std::int32_t SRID;
  long double CentralMeridian;  // degrees
  long double West, East;       // band, degrees
};

constexpr TUTMZone UTMZones[] = {
    {"UTM29N", "ETRS89 / UTM Zone 29N", "ETRS89 UTM 29N", 25829, -9.0L, -12.0L, -6.0L},
    {"UTM30N", "ETRS89 / UTM Zone 30N", "ETRS89 UTM 30N", 25830, -3.0L, -6.0L, 0.0L},
    {"UTM31N", "ETRS89 / UTM Zone 31N", "ETRS89 UTM 31N", 25831, 3.0L, 0.0L, 6.0L},
};
constexpr long double UTMSouthDegrees = 0.0L;
constexpr long double UTMNorthDegrees = 84.0L;
constexpr int UTMZoneCount = sizeof UTMZones / sizeof UTMZones[0];

struct TETRS89Unit {
  TETRS89CoordinateSystemGC Cartesian;
  TETRS89CoordinateSystemGD Geodetic;
  TTransverseMercator Projections[UTMZoneCount];
  TETRS89CoordinateSystemUTM Zones[UTMZoneCount];
};

std::unique_ptr<TETRS89Unit> GUnit;

}  // namespace

void InitializeETRS89Unit() {
  GUnit = std::make_unique<TETRS89Unit>();
  TETRS89Unit& U = *GUnit;
  U.Cartesian.Init("ETRS89 Cartesian", "ETRS89CT", "ETRS89 Cartesian", 4936, ETRS89Revision,
                   ctCartesian, aoXYZ, ETRS89Bounds, gtCartesian);
  U.Geodetic.Init("ETRS89 Geodetic", "ETRS89GD", "ETRS89 Geodetic", 4937, ETRS89Revision,
                  ctGeodetic, aoYXZ, ETRS89Bounds, gtGeodetic);
  CoordinateSystems.Register(&U.Cartesian);
  CoordinateSystems.Register(&U.Geodetic);
  for (int I = 0; I < UTMZoneCount; ++I) {
    const TUTMZone& Z = UTMZones[I];
    U.Projections[I].Init(GRS80Ellipsoid, UTMScaleFactor, 0.0,
                          DegreesToRadiansAngle(Z.CentralMeridian), UTMFalseEasting,
                          UTMFalseNorthing);
  }
  for (int I = 0; I < UTMZoneCount; ++I) {
    const TUTMZone& Z = UTMZones[I];
    U.Zones[I].Init(Z.Description, Z.Abbreviation, Z.Name, Z.SRID, ETRS89Revision, ctProjected,
                    aoXYZ, BoundsFromDegrees(Z.West, UTMSouthDegrees, Z.East, UTMNorthDegrees),
                    &U.Projections[I]);
    CoordinateSystems.Register(&U.Zones[I]);
  }
}

void FinalizeETRS89Unit() { GUnit.reset(); }

}  // namespace veltrana
