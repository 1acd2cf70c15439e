#include "Coordinates.h"

#include <cmath>

namespace veltrana {

TCoordinates DegreesToRadians(const TCoordinates& Coordinates) {
  return {static_cast<double>(Coordinates.X * DegreesToRadiansFactor),
          static_cast<double>(Coordinates.Y * DegreesToRadiansFactor), Coordinates.Z};
}

TCoordinates RadiansToDegrees(const TCoordinates& Coordinates) {
  return {static_cast<double>(Coordinates.X * RadiansToDegreesFactor),
          static_cast<double>(Coordinates.Y * RadiansToDegreesFactor), Coordinates.Z};
}

TCoordinates GeodeticToCartesian(const TCoordinates& Geodetic, const TEllipsoid& Ellipsoid) {
  const double Lambda = Geodetic.X;
  const double Phi = Geodetic.Y;
  const double H = Geodetic.Z;
  const double SinPhi = std::sin(Phi);
  const double CosPhi = std::cos(Phi);
  const double E2 = Ellipsoid.EccentricitySquared;
  const double Nu = Ellipsoid.SemiMajorAxis / std::sqrt(1.0 - E2 * SinPhi * SinPhi);
  return {(Nu + H) * CosPhi * std::cos(Lambda), (Nu + H) * CosPhi * std::sin(Lambda),
          ((1.0 - E2) * Nu + H) * SinPhi};
}

namespace {

double Sign(double Value) { return Value > 0.0 ? 1.0 : (Value < 0.0 ? -1.0 : 0.0); }

constexpr double HalfPi = static_cast<double>(PiL / 2.0L);

// Full-circle longitude: arctan(Y/X) for X > 0, the quadrant from the signs
// of X and Y otherwise; the Z axis itself (|X| < tolerance) gets sign(Y) pi/2.
double LongitudeOf(double X, double Y) {
  if (std::fabs(X) < CartesianTolerance) return Sign(Y) * HalfPi;
  if (X > 0.0) return std::atan(Y / X);
  return std::atan2(Y, X);
}

}  // namespace

TCoordinates CartesianToGeodetic(const TCoordinates& Cartesian, const TEllipsoid& Ellipsoid) {
  const double X = Cartesian.X;
  const double Y = Cartesian.Y;
  const double Z = Cartesian.Z;
  const double Lambda = LongitudeOf(X, Y);
  const double P = std::sqrt(X * X + Y * Y);
  if (P < CartesianTolerance) {
    // On the polar axis the height is measured from the nearer pole.
    return {Lambda, Sign(Z) * HalfPi, std::fabs(Z) - Ellipsoid.SemiMinorAxis};
  }
  // The fixed-point iteration phi = atan((Z + e^2 nu(phi) sin(phi)) / p),
  // carried on t = tan(phi): with sin = t / sqrt(1 + t^2) the term
  // e^2 nu sin becomes e^2 a t / sqrt(1 + (1 - e^2) t^2), so a pass costs one
  // square root and one division instead of an arc tangent, a sine and a
  // square root. The stopping test |phi - phiPrev| > 1e-14 is taken as
  // |tan(phi - phiPrev)| = |t - tPrev| / (1 + t tPrev), which agrees with it
  // far below the tolerance.
  const double A = Ellipsoid.SemiMajorAxis;
  const double E2 = Ellipsoid.EccentricitySquared;
  const double OneMinusE2 = 1.0 - E2;
  const double E2A = E2 * A;
  const double InverseP = 1.0 / P;
  // The loop starts from Bowring's closed form (again in tangents), which
  // lies within about 1e-11 rad of the fixed point for heights up to several
  // kilometres and is exact on the ellipsoid, so two passes meet the 1e-14
  // test where the plain start tan(phi) = Z / ((1 - e^2) p) needs five. The
  // fixed point and the stopping rule are those of the plain iteration.
  const double B = Ellipsoid.SemiMinorAxis;
  const double TU = (A / B) * Z * InverseP;  // tangent of the parametric latitude
  const double CosU = 1.0 / std::sqrt(1.0 + TU * TU);
  const double SinU = TU * CosU;
  const double SecondE2 = (A * A - B * B) / (B * B);
  double T = (Z + SecondE2 * B * SinU * SinU * SinU) / (P - E2A * CosU * CosU * CosU);
  double TPrev = 0.0;
  for (int Pass = 0; Pass < MaxLatitudePasses &&
                     std::fabs(T - TPrev) > CartesianTolerance * (1.0 + T * TPrev);
       ++Pass) {
    TPrev = T;
    T = (Z + E2A * TPrev / std::sqrt(1.0 + OneMinusE2 * TPrev * TPrev)) * InverseP;
  }
  // nu of the last pass (of the starting latitude when no pass ran).
  const double TNu = TPrev != 0.0 ? TPrev : T;
  const double Nu = A * std::sqrt((1.0 + TNu * TNu) / (1.0 + OneMinusE2 * TNu * TNu));
  const double Secant = std::sqrt(1.0 + T * T);
  return {Lambda, std::atan(T), P * Secant - Nu};
}

}  // namespace veltrana
