// The Transverse Mercator projection in the series form published for the
// British national grid: a forward series in powers of the longitude
// difference and an inverse series after an iterated footpoint latitude.
// The projection neither tests bounds nor knows datums. All functions are
// pure: they read only their arguments.
#pragma once

#include "Coordinates.h"

namespace veltrana {

struct TTransverseMercator {
  TEllipsoid Ellipsoid;        // private copy of the ellipsoid
  TCoordinates FalseOrigin;    // X = false easting E0, Y = false northing N0 (m); Z unused
  double ScaleFactor = 0.0;    // F0 on the central meridian
  TCoordinates TrueOrigin;     // X = lambda0, Y = phi0 (radians); Z unused
  // sin and cos of phi0, derived by Init (the series need them on every call).
  double SinOriginLatitude = 0.0;
  double CosOriginLatitude = 1.0;

  // Angles in radians; false origin in metres.
  void Init(const TEllipsoid& AEllipsoid, double AScaleFactor, double OriginLatitude,
            double OriginLongitude, double FalseEasting, double FalseNorthing);
  static TTransverseMercator Make(const TEllipsoid& AEllipsoid, double AScaleFactor,
                                  double OriginLatitude, double OriginLongitude,
                                  double FalseEasting, double FalseNorthing) {
    TTransverseMercator P;
    P.Init(AEllipsoid, AScaleFactor, OriginLatitude, OriginLongitude, FalseEasting, FalseNorthing);
    return P;
  }
};

// Footpoint iteration: stop when the meridian arc matches within this many
// metres (0.01 mm) or after MaxFootpointPasses passes (the last value is used).
inline constexpr double FootpointTolerance = 1e-5;
inline constexpr int MaxFootpointPasses = 6;

// Meridional arc M (metres) from phi0 to phi (radians); bF0 and aF0 are the
// scaled semi-axes (metres). n is taken from them.
double MeridionalArc(double Phi, double Phi0, double BF0, double AF0);

// Latitude phi' (radians) whose meridional arc from phi0 equals N - N0 (metres).
double FootpointLatitude(double Phi0, double N0, double N, double BF0, double AF0);

// (lambda, phi in radians, h) -> (E, N in metres, h); h passes bit for bit.
TCoordinates GeodeticToGrid(const TCoordinates& Geodetic, const TTransverseMercator& Projection);

// (E, N in metres, h) -> (lambda, phi in radians, h); h passes bit for bit.
TCoordinates GridToGeodetic(const TCoordinates& Grid, const TTransverseMercator& Projection);

}  // namespace veltrana
