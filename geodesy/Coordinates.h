// Coordinate values, reference ellipsoids and the conversion between
// earth-centred Cartesian and geodetic coordinates.
//
// Conventions: inside every conversion routine angles are radians; at the
// user-facing edge geodetic values are decimal degrees and are converted with
// DegreesToRadians / RadiansToDegrees. Lengths are metres. Longitude is
// positive east, latitude positive north. Nothing here touches shared state.
#pragma once

namespace veltrana {

// pi/180 and 180/pi held at extended precision; products are rounded to
// 64 bits once, at the end.
inline constexpr long double PiL = 3.141592653589793238462643383279502884L;
inline constexpr long double DegreesToRadiansFactor = PiL / 180.0L;
inline constexpr long double RadiansToDegreesFactor = 180.0L / PiL;

// Degrees to radians for one angle: degrees x pi/180 at extended precision,
// rounded to 64 bits. Used for every tabled angle constant.
constexpr double DegreesToRadiansAngle(long double Degrees) {
  return static_cast<double>(Degrees * DegreesToRadiansFactor);
}

// Two-component value (polygon rings, horizontal grid shifts).
struct T2DCoordinates {
  double X = 0.0;
  double Y = 0.0;
};

// Three 64-bit components: Cartesian X, Y, Z (m); geodetic longitude,
// latitude (radians inside the library, degrees at the edge), ellipsoidal
// height (m); projected easting, northing, height (m).
struct TCoordinates {
  double X = 0.0;
  double Y = 0.0;
  double Z = 0.0;

  constexpr TCoordinates() = default;
  constexpr TCoordinates(double AX, double AY, double AZ) : X(AX), Y(AY), Z(AZ) {}
  // Widening from a 2D value: Z becomes 0.
  constexpr TCoordinates(const T2DCoordinates& C) : X(C.X), Y(C.Y), Z(0.0) {}  // NOLINT

  // Exact equality of all three components, no tolerance (NaN is never equal).
  friend constexpr bool operator==(const TCoordinates& A, const TCoordinates& B) {
    return A.X == B.X && A.Y == B.Y && A.Z == B.Z;
  }
  friend constexpr TCoordinates operator+(const TCoordinates& A, const TCoordinates& B) {
    return {A.X + B.X, A.Y + B.Y, A.Z + B.Z};
  }
  friend constexpr TCoordinates operator-(const TCoordinates& A, const TCoordinates& B) {
    return {A.X - B.X, A.Y - B.Y, A.Z - B.Z};
  }
};

// The one failure value of every coordinate conversion, tested by exact
// equality. A genuine point at (0, 0, 0) is indistinguishable from failure;
// no system of this library covers such a point.
inline constexpr TCoordinates NullCoordinates{0.0, 0.0, 0.0};

// A reference ellipsoid defined by its two axes; flattening and eccentricity
// are always derived, never given.
struct TEllipsoid {
  double SemiMajorAxis = 0.0;         // a, metres
  double SemiMinorAxis = 0.0;         // b, metres
  double SemiMajorAxisSquared = 0.0;  // a^2
  double SemiMinorAxisSquared = 0.0;  // b^2
  double Flattening = 0.0;            // (a - b) / a
  double EccentricitySquared = 0.0;   // (a^2 - b^2) / a^2

  // Fills the six fields from a and b (metres, a >= b > 0).
  constexpr void Init(double ASemiMajorAxis, double ASemiMinorAxis) {
    SemiMajorAxis = ASemiMajorAxis;
    SemiMinorAxis = ASemiMinorAxis;
    SemiMajorAxisSquared = ASemiMajorAxis * ASemiMajorAxis;
    SemiMinorAxisSquared = ASemiMinorAxis * ASemiMinorAxis;
    Flattening = (ASemiMajorAxis - ASemiMinorAxis) / ASemiMajorAxis;
    EccentricitySquared = (SemiMajorAxisSquared - SemiMinorAxisSquared) / SemiMajorAxisSquared;
  }
  static constexpr TEllipsoid Make(double ASemiMajorAxis, double ASemiMinorAxis) {
    TEllipsoid E;
    E.Init(ASemiMajorAxis, ASemiMinorAxis);
    return E;
  }
};

// GRS80 as the library defines it: b is the rounded 6356752.3141 m, so f and
// e^2 are computed from the two axes (they differ from the published GRS80
// values in the ninth significant digit of 1/f). The ellipsoid of the global
// ETRS89 form and of the UTM, British and Irish Transverse Mercator grids.
inline constexpr double GRS80SemiMajorAxis = 6378137.0;
inline constexpr double GRS80SemiMinorAxis = 6356752.3141;
inline constexpr TEllipsoid GRS80Ellipsoid = TEllipsoid::Make(GRS80SemiMajorAxis, GRS80SemiMinorAxis);

// X and Y multiplied by pi/180; Z copied bit for bit.
TCoordinates DegreesToRadians(const TCoordinates& Coordinates);
// X and Y multiplied by 180/pi; Z copied bit for bit.
TCoordinates RadiansToDegrees(const TCoordinates& Coordinates);

// (lambda, phi in radians, h in metres) -> (X, Y, Z) in metres on Ellipsoid.
// Never fails; NaN input gives NaN output.
TCoordinates GeodeticToCartesian(const TCoordinates& Geodetic, const TEllipsoid& Ellipsoid);

// (X, Y, Z) in metres -> (lambda, phi in radians, h in metres), iterating the
// latitude until two passes agree within 1e-14 rad. The loop is capped at
// MaxLatitudePasses (it needs four or five) and keeps its last value; NaN
// input ends it at once. Longitude covers the full circle: for X < 0 the
// quadrant is taken from the signs of X and Y. On the polar axis h = |Z| - b.
TCoordinates CartesianToGeodetic(const TCoordinates& Cartesian, const TEllipsoid& Ellipsoid);

// Tolerance of the Cartesian-to-geodetic conversion (radians for the latitude
// test, metres for the axis tests).
inline constexpr double CartesianTolerance = 1e-14;
// Safety cap of the latitude iteration, far above the passes it needs.
inline constexpr int MaxLatitudePasses = 32;

}  // namespace veltrana
