// Transverse Mercator series, checked against the worked examples published
// with the series (UTM 30N and the national grid parameters on GRS80).
#include <gtest/gtest.h>

#include <cstring>

#include "BNGSystems.h"
#include "ITMSystems.h"
#include "TransverseMercator.h"

using namespace veltrana;

namespace {
constexpr double Mm = 1e-3;

TTransverseMercator UTM30N() {
  return TTransverseMercator::Make(GRS80Ellipsoid, 0.9996, 0.0, DegreesToRadiansAngle(-3.0L),
                                   500000.0, 0.0);
}

struct TForwardCase {
  const char* Name;
  TTransverseMercator Projection;
  double LongitudeDeg, LatitudeDeg;
  double Easting, Northing;  // metres, to the millimetre
};
}  // namespace

TEST(TransverseMercatorTest, WorkedExamples) {
  // Reference values: the worked examples of the published projection series.
  const TForwardCase Cases[] = {
      {"UTM30N", UTM30N(), -1.5, 52.5, 601821.603, 5817709.526},
      {"NationalGridOnGRS80", MakeBNGProjection(), -1.5, 52.5, 433941.467, 289314.215},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    const TCoordinates G = DegreesToRadians({C.LongitudeDeg, C.LatitudeDeg, 7.0});
    const TCoordinates P = GeodeticToGrid(G, C.Projection);
    EXPECT_NEAR(P.X, C.Easting, 0.5 * Mm);
    EXPECT_NEAR(P.Y, C.Northing, 0.5 * Mm);
    const TCoordinates Back = RadiansToDegrees(GridToGeodetic(P, C.Projection));
    EXPECT_NEAR(Back.X, C.LongitudeDeg, 1e-10);
    EXPECT_NEAR(Back.Y, C.LatitudeDeg, 1e-10);
  }
}

TEST(TransverseMercatorTest, OriginAndCentralMeridian) {
  const TTransverseMercator P = MakeITMProjection();
  const TCoordinates AtOrigin = GeodeticToGrid({P.TrueOrigin.X, P.TrueOrigin.Y, 0.0}, P);
  EXPECT_EQ(AtOrigin.X, P.FalseOrigin.X);
  EXPECT_EQ(AtOrigin.Y, P.FalseOrigin.Y);
  const TCoordinates OnMeridian = GeodeticToGrid({P.TrueOrigin.X, 0.95, 0.0}, P);
  EXPECT_EQ(OnMeridian.X, P.FalseOrigin.X);
}

TEST(TransverseMercatorTest, RoundTripThreeDegreesOff) {
  const TTransverseMercator P = UTM30N();
  for (double Lat = 50.0; Lat <= 60.0; Lat += 2.5) {
    SCOPED_TRACE(Lat);
    const TCoordinates G = DegreesToRadians({-6.0, Lat, 0.0});
    const TCoordinates Back = RadiansToDegrees(GridToGeodetic(GeodeticToGrid(G, P), P));
    EXPECT_NEAR(Back.X, -6.0, 2e-9);
    EXPECT_NEAR(Back.Y, Lat, 2e-9);
  }
}

TEST(TransverseMercatorTest, HeightPassesBitForBit) {
  const TTransverseMercator P = UTM30N();
  const double H = 1.0 / 3.0;
  const TCoordinates F = GeodeticToGrid(DegreesToRadians({-2.0, 55.0, H}), P);
  const TCoordinates I = GridToGeodetic({500123.0, 6000000.0, H}, P);
  EXPECT_EQ(std::memcmp(&F.Z, &H, sizeof H), 0);
  EXPECT_EQ(std::memcmp(&I.Z, &H, sizeof H), 0);
}

TEST(TransverseMercatorTest, FootpointMatchesArc) {
  const TTransverseMercator P = MakeBNGProjection();
  const double AF0 = P.Ellipsoid.SemiMajorAxis * P.ScaleFactor;
  const double BF0 = P.Ellipsoid.SemiMinorAxis * P.ScaleFactor;
  const double Phi = FootpointLatitude(P.TrueOrigin.Y, P.FalseOrigin.Y, 500000.0, BF0, AF0);
  EXPECT_NEAR(MeridionalArc(Phi, P.TrueOrigin.Y, BF0, AF0), 500000.0 - P.FalseOrigin.Y, 1e-5);
}
