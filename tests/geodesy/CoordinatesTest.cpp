// Cartesian/geodetic conversion and the coordinate value type.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "Coordinates.h"

using namespace veltrana;

namespace {
constexpr double Mm = 1e-3;

struct TRoundTripCase {
  const char* Name;
  double LongitudeDeg, LatitudeDeg, Height;
};

// Points over the library's area of use and the extremes of height it sees.
const TRoundTripCase RoundTrips[] = {
    {"Midlands", -1.5, 52.5, 100.0},
    {"Shetland", -1.2, 60.4, 5000.0},
    {"BelowEllipsoid", -8.0, 53.5, -100.0},
    {"OnEllipsoid", 2.0, 49.0, 0.0},
    {"Greenwich", 0.0, 51.48, 45.0},
    {"FarWest", -16.1, 32.88, 1.0},
};
}  // namespace

TEST(CoordinatesTest, GeodeticCartesianRoundTrip) {
  for (const auto& C : RoundTrips) {
    SCOPED_TRACE(C.Name);
    const TCoordinates G = DegreesToRadians({C.LongitudeDeg, C.LatitudeDeg, C.Height});
    const TCoordinates Back = CartesianToGeodetic(GeodeticToCartesian(G, GRS80Ellipsoid), GRS80Ellipsoid);
    EXPECT_NEAR(Back.X, G.X, 1e-14);
    EXPECT_NEAR(Back.Y, G.Y, 1e-14);
    EXPECT_NEAR(Back.Z, G.Z, 1e-6);  // 1 micrometre
  }
}

TEST(CoordinatesTest, KnownCartesianValue) {
  // On the equator at the prime meridian the point lies on the X axis at a + h.
  const TCoordinates C = GeodeticToCartesian({0.0, 0.0, 10.0}, GRS80Ellipsoid);
  EXPECT_DOUBLE_EQ(C.X, GRS80SemiMajorAxis + 10.0);
  EXPECT_NEAR(C.Y, 0.0, Mm);
  EXPECT_NEAR(C.Z, 0.0, Mm);
  // At the pole Z = b + h.
  const TCoordinates P = GeodeticToCartesian({0.0, static_cast<double>(PiL / 2), 3.0}, GRS80Ellipsoid);
  EXPECT_NEAR(P.Z, GRS80SemiMinorAxis + 3.0, Mm);
}

TEST(CoordinatesTest, AxisAndQuadrantLongitudes) {
  const double HalfPi = static_cast<double>(PiL / 2);
  struct Case { const char* Name; TCoordinates Cartesian; double Longitude; };
  const Case Cases[] = {
      {"ZAxisPositiveY", {0.0, 6.0e6, 1.0e5}, HalfPi},
      {"ZAxisZeroY", {0.0, 0.0, 6.4e6}, 0.0},
      {"ZAxisNegativeY", {1e-15, -6.0e6, 1.0e5}, -HalfPi},
      // X < 0: the full-circle longitude from the signs of X and Y.
      {"SecondQuadrant", {-4.0e6, 4.0e6, 1.0e6}, 3.0 * HalfPi / 2.0},
      {"ThirdQuadrant", {-4.0e6, -4.0e6, 1.0e6}, -3.0 * HalfPi / 2.0},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    EXPECT_NEAR(CartesianToGeodetic(C.Cartesian, GRS80Ellipsoid).X, C.Longitude, 1e-15);
  }
  EXPECT_EQ(CartesianToGeodetic({0.0, 6.0e6, 0.0}, GRS80Ellipsoid).X, HalfPi);
}

TEST(CoordinatesTest, PolarAxisHeight) {
  const TCoordinates North = CartesianToGeodetic({0.0, 0.0, GRS80SemiMinorAxis + 12.0}, GRS80Ellipsoid);
  EXPECT_NEAR(North.Y, static_cast<double>(PiL / 2), 1e-15);
  EXPECT_NEAR(North.Z, 12.0, Mm);
  const TCoordinates South = CartesianToGeodetic({0.0, 0.0, -GRS80SemiMinorAxis - 12.0}, GRS80Ellipsoid);
  EXPECT_NEAR(South.Y, -static_cast<double>(PiL / 2), 1e-15);
  EXPECT_NEAR(South.Z, 12.0, Mm);
}

TEST(CoordinatesTest, HostileInputTerminates) {
  // The latitude loop is capped; NaN and infinities end it at once.
  const TCoordinates Nan = CartesianToGeodetic({NAN, 1.0, 1.0}, GRS80Ellipsoid);
  EXPECT_TRUE(std::isnan(Nan.Y) || std::isnan(Nan.X));
  const TCoordinates Huge = CartesianToGeodetic({1e300, 1e300, 1e300}, GRS80Ellipsoid);
  (void)Huge;  // any value, but it returns
  const TCoordinates Tiny = CartesianToGeodetic({1e-10, 1e-10, 1e-10}, GRS80Ellipsoid);
  EXPECT_FALSE(std::isnan(Tiny.Y));
}

TEST(CoordinatesTest, DegreeRadianEdgeKeepsHeightBits) {
  const double H = 0.1 + 0.2;
  const TCoordinates R = DegreesToRadians({180.0, -90.0, H});
  EXPECT_EQ(std::memcmp(&R.Z, &H, sizeof H), 0);
  EXPECT_DOUBLE_EQ(R.X, 3.141592653589793);
  EXPECT_NEAR(RadiansToDegrees(R).Y, -90.0, 1e-13);
  EXPECT_NEAR(RadiansToDegrees(R).X, 180.0, 1e-12);
}

TEST(CoordinatesTest, NullAndOperators) {
  EXPECT_TRUE(NullCoordinates == TCoordinates(0.0, 0.0, 0.0));
  EXPECT_FALSE(NullCoordinates == TCoordinates(0.0, 0.0, 1e-300));
  EXPECT_TRUE(NullCoordinates == TCoordinates(-0.0, 0.0, -0.0));  // exact numeric equality
  EXPECT_FALSE(TCoordinates(NAN, 0, 0) == TCoordinates(NAN, 0, 0));
  const TCoordinates A{1, 2, 3}, B{0.5, -1, 4};
  EXPECT_TRUE(A + B == TCoordinates(1.5, 1, 7));
  EXPECT_TRUE(A - B == TCoordinates(0.5, 3, -1));
  EXPECT_TRUE(TCoordinates(T2DCoordinates{4, 5}) == TCoordinates(4, 5, 0));
}

TEST(CoordinatesTest, EllipsoidDerivedFields) {
  const TEllipsoid& E = GRS80Ellipsoid;
  EXPECT_DOUBLE_EQ(E.SemiMajorAxisSquared, 6378137.0 * 6378137.0);
  EXPECT_DOUBLE_EQ(E.Flattening, (6378137.0 - 6356752.3141) / 6378137.0);
  // Computed from the rounded b: 1/f differs from 298.257222101 in the ninth digit.
  EXPECT_NEAR(1.0 / E.Flattening, 298.2572221, 1e-6);
  EXPECT_NEAR(E.EccentricitySquared, 0.00669438, 1e-8);
}
