// Resampling of a latitude/longitude geoid graticule onto the 1 km grid of
// the Irish Transverse Mercator plane, and the measurement of what that
// resampling costs in accuracy. Pure functions of their arguments.
#pragma once

#include <cstddef>

#include "GridFiles.h"
#include "GridSources.h"
#include "TransverseMercator.h"

namespace veltrana::gridtool {

// Irish Transverse Mercator on GRS80: scale on the central meridian, true
// origin 53.5 deg N 8 deg W, false origin 600 km east, 750 km north.
inline constexpr double ITMScaleFactor = 0.99982;
inline constexpr long double ITMOriginLatitudeDegrees = 53.5L;
inline constexpr long double ITMCentralMeridianDegrees = -8.0L;
inline constexpr double ITMFalseEasting = 600000.0;
inline constexpr double ITMFalseNorthing = 750000.0;

TTransverseMercator MakeITMProjection();

// Bilinear interpolation of the graticule at Latitude, Longitude (degrees).
// Returns false (Value untouched) outside the graticule's extent, edges
// included as inside, and for NaN.
bool GraticuleValue(const TGraticule& Graticule, double Latitude, double Longitude, double& Value);

// The projected extent of the graticule: the smallest grid on whole
// kilometres of the projection plane (origin and far corner multiples of
// 1000 m) that holds the projection of every point of the graticule.
TGridHeader ProjectedExtent(const TGraticule& Graticule, const TTransverseMercator& Projection);

// Builds a geoid grid over ProjectedExtent: each node's plane position is
// inverse-projected to latitude and longitude and the graticule interpolated
// there; nodes inside the graticule carry Datum, nodes outside separation 0
// and code vdNone.
TGeoidGrid ResampleGraticule(const TGraticule& Graticule, TVerticalDatumCode Datum,
                             const TTransverseMercator& Projection);

struct TResamplingError {
  double Maximum = 0.0;          // largest |resampled - graticule|, metres
  double RootMeanSquare = 0.0;   // metres
  double MaximumEasting = 0.0;   // plane position of the largest difference, metres
  double MaximumNorthing = 0.0;
  std::size_t Cells = 0;           // grid cells sampled (all four nodes defined)
  std::size_t Samples = 0;         // positions compared
  std::size_t SamplesOutside = 0;  // positions skipped: outside the graticule
  std::size_t SamplesAboveLimit = 0;  // differences of ResamplingErrorLimit or more
  std::size_t CellsAboveLimit = 0;    // cells holding such a sample
};

// Finest and coarsest sample spacing accepted, metres.
inline constexpr double MinSampleStep = 1.0;
inline constexpr double MaxSampleStep = GridSpacing;
// Accuracy goal of the resampled grids, metres. A 1 km grid cannot meet it
// everywhere: where the graticule's slope changes sharply between two of its
// lines, no bilinear cell of 1 km follows the kink that closely.
inline constexpr double ResamplingErrorLimit = 0.002;

// Compares, at every SampleStep metres east and north across each cell of
// Grid whose four nodes carry a datum code other than vdNone, the geoid
// interpolated in Grid (bilinear over the 1 km cell, as InterpolateGeoid
// does) with the graticule interpolated directly at the inverse-projected
// position. SampleStep must divide 1000 m into whole parts and lie within
// [MinSampleStep, MaxSampleStep]; otherwise nothing is sampled.
TResamplingError MeasureResamplingError(const TGraticule& Graticule, const TGeoidGrid& Grid,
                                        const TTransverseMercator& Projection, double SampleStep);

}  // namespace veltrana::gridtool
