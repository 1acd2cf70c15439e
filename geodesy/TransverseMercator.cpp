#include "TransverseMercator.h"

#include <cmath>

namespace veltrana {

namespace {

// Meridian-arc series coefficients.
constexpr double ArcC5_4 = 5.0 / 4.0;
constexpr double ArcC21_8 = 21.0 / 8.0;
constexpr double ArcC15_8 = 15.0 / 8.0;
constexpr double ArcC35_24 = 35.0 / 24.0;

double ThirdFlattening(double BF0, double AF0) { return (AF0 - BF0) / (AF0 + BF0); }

// Radii of curvature at latitude phi for the scaled ellipsoid.
struct TRadii {
  double Nu;    // prime vertical, aF0 (1 - e^2 s^2)^-1/2
  double Rho;   // meridian, aF0 (1 - e^2)(1 - e^2 s^2)^-3/2
  double Eta2;  // nu/rho - 1
};

TRadii RadiiAt(double SinPhi, double AF0, double E2) {
  const double W = 1.0 - E2 * SinPhi * SinPhi;
  const double Nu = AF0 / std::sqrt(W);
  const double Rho = AF0 * (1.0 - E2) / (W * std::sqrt(W));
  return {Nu, Rho, Nu / Rho - 1.0};
}

}  // namespace

void TTransverseMercator::Init(const TEllipsoid& AEllipsoid, double AScaleFactor,
                               double OriginLatitude, double OriginLongitude,
                               double FalseEasting, double FalseNorthing) {
  Ellipsoid = AEllipsoid;
  ScaleFactor = AScaleFactor;
  TrueOrigin = {OriginLongitude, OriginLatitude, 0.0};
  SinOriginLatitude = std::sin(OriginLatitude);
  CosOriginLatitude = std::cos(OriginLatitude);
  FalseOrigin = {FalseEasting, FalseNorthing, 0.0};
}

namespace {

// The arc from sines and cosines of phi and phi0: the multiple angles of
// the series come from angle-sum identities instead of six trigonometric
// calls, which keeps the forward and the footpoint passes cheap.
double MeridionalArcOf(double Phi, double SinPhi, double CosPhi, double Phi0, double SinPhi0,
                       double CosPhi0, double BF0, double AF0) {
  const double N = ThirdFlattening(BF0, AF0);
  const double N2 = N * N;
  const double N3 = N2 * N;
  const double D = Phi - Phi0;
  const double SinD = SinPhi * CosPhi0 - CosPhi * SinPhi0;
  const double CosD = CosPhi * CosPhi0 + SinPhi * SinPhi0;
  const double SinS = SinPhi * CosPhi0 + CosPhi * SinPhi0;
  const double CosS = CosPhi * CosPhi0 - SinPhi * SinPhi0;
  const double Sin2D = 2.0 * SinD * CosD;
  const double Cos2S = CosS * CosS - SinS * SinS;
  const double Sin3D = SinD * (3.0 - 4.0 * SinD * SinD);
  const double Cos3S = CosS * (4.0 * CosS * CosS - 3.0);
  return BF0 * ((1.0 + N + ArcC5_4 * N2 + ArcC5_4 * N3) * D -
                (3.0 * N + 3.0 * N2 + ArcC21_8 * N3) * SinD * CosS +
                (ArcC15_8 * N2 + ArcC15_8 * N3) * Sin2D * Cos2S -
                ArcC35_24 * N3 * Sin3D * Cos3S);
}

}  // namespace

double MeridionalArc(double Phi, double Phi0, double BF0, double AF0) {
  return MeridionalArcOf(Phi, std::sin(Phi), std::cos(Phi), Phi0, std::sin(Phi0),
                         std::cos(Phi0), BF0, AF0);
}

double FootpointLatitude(double Phi0, double N0, double N, double BF0, double AF0) {
  const double SinPhi0 = std::sin(Phi0);
  const double CosPhi0 = std::cos(Phi0);
  double PhiP = Phi0;
  double M = 0.0;
  for (int Pass = 1; Pass <= MaxFootpointPasses; ++Pass) {
    PhiP = (N - N0 - M) / AF0 + PhiP;
    M = MeridionalArcOf(PhiP, std::sin(PhiP), std::cos(PhiP), Phi0, SinPhi0, CosPhi0, BF0, AF0);
    if (std::fabs(N - N0 - M) < FootpointTolerance) break;
  }
  return PhiP;
}

TCoordinates GeodeticToGrid(const TCoordinates& Geodetic, const TTransverseMercator& Projection) {
  const double F0 = Projection.ScaleFactor;
  const double AF0 = Projection.Ellipsoid.SemiMajorAxis * F0;
  const double BF0 = Projection.Ellipsoid.SemiMinorAxis * F0;
  const double E2 = Projection.Ellipsoid.EccentricitySquared;
  const double Phi = Geodetic.Y;
  const double S = std::sin(Phi);
  const double C = std::cos(Phi);
  const double T = S / C;
  const double T2 = T * T;
  const double T4 = T2 * T2;
  const double L = Geodetic.X - Projection.TrueOrigin.X;
  const TRadii R = RadiiAt(S, AF0, E2);
  const double Nu = R.Nu;
  const double C3 = C * C * C;
  const double C5 = C3 * C * C;

  const double Phi0 = Projection.TrueOrigin.Y;
  const double M = MeridionalArcOf(Phi, S, C, Phi0, Projection.SinOriginLatitude,
                                   Projection.CosOriginLatitude, BF0, AF0);
  const double I = M + Projection.FalseOrigin.Y;
  const double II = Nu / 2.0 * S * C;
  const double III = Nu / 24.0 * S * C3 * (5.0 - T2 + 9.0 * R.Eta2);
  const double IIIA = Nu / 720.0 * S * C5 * (61.0 - 58.0 * T2 + T4);
  const double IV = Nu * C;
  const double V = Nu / 6.0 * C3 * (Nu / R.Rho - T2);
  const double VI = Nu / 120.0 * C5 * (5.0 - 18.0 * T2 + T4 + 14.0 * R.Eta2 - 58.0 * T2 * R.Eta2);

  const double L2 = L * L;
  const double L3 = L2 * L;
  const double L4 = L2 * L2;
  const double L5 = L4 * L;
  const double L6 = L4 * L2;
  const double Northing = I + II * L2 + III * L4 + IIIA * L6;
  const double Easting = Projection.FalseOrigin.X + IV * L + V * L3 + VI * L5;
  return {Easting, Northing, Geodetic.Z};
}

TCoordinates GridToGeodetic(const TCoordinates& Grid, const TTransverseMercator& Projection) {
  const double F0 = Projection.ScaleFactor;
  const double AF0 = Projection.Ellipsoid.SemiMajorAxis * F0;
  const double BF0 = Projection.Ellipsoid.SemiMinorAxis * F0;
  const double E2 = Projection.Ellipsoid.EccentricitySquared;
  const double PhiP = FootpointLatitude(Projection.TrueOrigin.Y, Projection.FalseOrigin.Y, Grid.Y,
                                        BF0, AF0);
  const double S = std::sin(PhiP);
  const double C = std::cos(PhiP);
  const double T = S / C;
  const double T2 = T * T;
  const double T4 = T2 * T2;
  const double T6 = T4 * T2;
  const double Sec = 1.0 / C;
  const TRadii R = RadiiAt(S, AF0, E2);
  const double Nu = R.Nu;
  const double Rho = R.Rho;
  const double Nu3 = Nu * Nu * Nu;
  const double Nu5 = Nu3 * Nu * Nu;
  const double Nu7 = Nu5 * Nu * Nu;
  const double D = Grid.X - Projection.FalseOrigin.X;

  const double VII = T / (2.0 * Rho * Nu);
  const double VIII = T / (24.0 * Rho * Nu3) * (5.0 + 3.0 * T2 + R.Eta2 - 9.0 * T2 * R.Eta2);
  const double IX = T / (720.0 * Rho * Nu5) * (61.0 + 90.0 * T2 + 45.0 * T4);
  const double X = Sec / Nu;
  const double XI = Sec / (6.0 * Nu3) * (Nu / Rho + 2.0 * T2);
  const double XII = Sec / (120.0 * Nu5) * (5.0 + 28.0 * T2 + 24.0 * T4);
  const double XIIA = Sec / (5040.0 * Nu7) * (61.0 + 662.0 * T2 + 1320.0 * T4 + 720.0 * T6);

  const double D2 = D * D;
  const double D3 = D2 * D;
  const double D4 = D2 * D2;
  const double D5 = D4 * D;
  const double D6 = D4 * D2;
  const double D7 = D6 * D;
  const double Phi = PhiP - VII * D2 + VIII * D4 - IX * D6;
  const double Lambda = Projection.TrueOrigin.X + X * D - XI * D3 + XII * D5 - XIIA * D7;
  return {Lambda, Phi, Grid.Z};
}

}  // namespace veltrana
