#include "GridResample.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace veltrana::gridtool {

namespace {

// Points per graticule interval at which the boundary is projected to find
// the extent: far finer than the curvature of parallels over one interval.
constexpr int BoundarySubdivisions = 16;

// Latitude and longitude in degrees of a plane position.
struct TLatLon {
  double Latitude = 0.0;
  double Longitude = 0.0;
};

TLatLon PlaneToLatLon(double Easting, double Northing, const TTransverseMercator& Projection) {
  const TCoordinates Geodetic = RadiansToDegrees(GridToGeodetic({Easting, Northing, 0.0}, Projection));
  return {Geodetic.Y, Geodetic.X};
}

// Cell index and fraction along one graticule axis; the last line belongs to
// the last cell with fraction 1.
void GraticuleAxis(double Offset, std::int32_t Lines, std::int32_t& Index, double& Fraction) {
  Index = std::min(static_cast<std::int32_t>(Offset), Lines - 2);
  Fraction = Offset - Index;
}

struct TBox {
  double MinX = std::numeric_limits<double>::infinity();
  double MinY = std::numeric_limits<double>::infinity();
  double MaxX = -std::numeric_limits<double>::infinity();
  double MaxY = -std::numeric_limits<double>::infinity();
  void Add(const TCoordinates& P) {
    MinX = std::min(MinX, P.X);
    MinY = std::min(MinY, P.Y);
    MaxX = std::max(MaxX, P.X);
    MaxY = std::max(MaxY, P.Y);
  }
};

// Adds the projections of the segment from (Lat0, Lon0) to (Lat1, Lon1),
// degrees, sampled at Steps + 1 points.
void AddEdge(TBox& Box, double Lat0, double Lon0, double Lat1, double Lon1, int Steps,
             const TTransverseMercator& Projection) {
  for (int I = 0; I <= Steps; ++I) {
    const double T = static_cast<double>(I) / Steps;
    const TCoordinates Geodetic{Lon0 + T * (Lon1 - Lon0), Lat0 + T * (Lat1 - Lat0), 0.0};
    Box.Add(GeodeticToGrid(DegreesToRadians(Geodetic), Projection));
  }
}

}  // namespace

TTransverseMercator MakeITMProjection() {
  return TTransverseMercator::Make(GRS80Ellipsoid, ITMScaleFactor, DegreesToRadiansAngle(ITMOriginLatitudeDegrees),
                                   DegreesToRadiansAngle(ITMCentralMeridianDegrees), ITMFalseEasting,
                                   ITMFalseNorthing);
}

bool GraticuleValue(const TGraticule& G, double Latitude, double Longitude, double& Value) {
  if (!(Latitude >= G.LatitudeMin && Latitude <= G.LatitudeMax && Longitude >= G.LongitudeMin &&
        Longitude <= G.LongitudeMax))
    return false;
  std::int32_t Row = 0;
  std::int32_t Column = 0;
  double FY = 0.0;
  double FX = 0.0;
  GraticuleAxis((Latitude - G.LatitudeMin) / G.LatitudeStep, G.Rows, Row, FY);
  GraticuleAxis((Longitude - G.LongitudeMin) / G.LongitudeStep, G.Columns, Column, FX);
  const auto At = [&](std::int32_t C, std::int32_t R) {
    return G.Values[static_cast<std::size_t>(C) + static_cast<std::size_t>(R) * G.Columns];
  };
  Value = (1.0 - FY) * (1.0 - FX) * At(Column, Row) + (1.0 - FY) * FX * At(Column + 1, Row) +
          FY * FX * At(Column + 1, Row + 1) + FY * (1.0 - FX) * At(Column, Row + 1);
  return true;
}

TGridHeader ProjectedExtent(const TGraticule& G, const TTransverseMercator& Projection) {
  TBox Box;
  const int AlongParallel = (G.Columns - 1) * BoundarySubdivisions;
  const int AlongMeridian = (G.Rows - 1) * BoundarySubdivisions;
  AddEdge(Box, G.LatitudeMin, G.LongitudeMin, G.LatitudeMin, G.LongitudeMax, AlongParallel, Projection);
  AddEdge(Box, G.LatitudeMax, G.LongitudeMin, G.LatitudeMax, G.LongitudeMax, AlongParallel, Projection);
  AddEdge(Box, G.LatitudeMin, G.LongitudeMin, G.LatitudeMax, G.LongitudeMin, AlongMeridian, Projection);
  AddEdge(Box, G.LatitudeMin, G.LongitudeMax, G.LatitudeMax, G.LongitudeMax, AlongMeridian, Projection);
  const double West = std::floor(Box.MinX / GridSpacing);
  const double South = std::floor(Box.MinY / GridSpacing);
  const double East = std::ceil(Box.MaxX / GridSpacing);
  const double North = std::ceil(Box.MaxY / GridSpacing);
  TGridHeader Header;
  Header.OriginX = West * GridSpacing;
  Header.OriginY = South * GridSpacing;
  Header.Columns = static_cast<std::int32_t>(East - West) + 1;
  Header.Rows = static_cast<std::int32_t>(North - South) + 1;
  return Header;
}

TGeoidGrid ResampleGraticule(const TGraticule& G, TVerticalDatumCode Datum, const TTransverseMercator& Projection) {
  TGeoidGrid Grid;
  Grid.Header = ProjectedExtent(G, Projection);
  Grid.ResizeNodes(static_cast<std::size_t>(Grid.Header.Rows) * static_cast<std::size_t>(Grid.Header.Columns));
  for (std::int32_t Row = 0; Row < Grid.Header.Rows; ++Row) {
    for (std::int32_t Column = 0; Column < Grid.Header.Columns; ++Column) {
      const TLatLon P = PlaneToLatLon(Grid.Header.OriginX + GridSpacing * Column,
                                      Grid.Header.OriginY + GridSpacing * Row, Projection);
      double Value = 0.0;
      TGeoidNode Node{0.0f, vdNone};
      if (GraticuleValue(G, P.Latitude, P.Longitude, Value)) Node = {static_cast<float>(Value), Datum};
      Grid.SetNode(static_cast<std::size_t>(Column) + static_cast<std::size_t>(Row) * Grid.Header.Columns, Node);
    }
  }
  return Grid;
}

TResamplingError MeasureResamplingError(const TGraticule& G, const TGeoidGrid& Grid,
                                        const TTransverseMercator& Projection, double SampleStep) {
  TResamplingError Result;
  if (!(SampleStep >= MinSampleStep && SampleStep <= MaxSampleStep)) return Result;
  const double Parts = GridSpacing / SampleStep;
  if (Parts != std::floor(Parts)) return Result;
  const auto PerCell = static_cast<std::int32_t>(Parts);
  long double SumOfSquares = 0.0L;
  for (std::int32_t Row = 0; Row + 1 < Grid.Header.Rows; ++Row) {
    for (std::int32_t Column = 0; Column + 1 < Grid.Header.Columns; ++Column) {
      TGridCell Cell{Column, Column + 1, Row, Row + 1, 0.0, 1.0, 0.0, 1.0};
      if (CellDatum(Grid, Cell) == vdNone) continue;
      ++Result.Cells;
      const std::size_t AboveBefore = Result.SamplesAboveLimit;
      for (std::int32_t J = 0; J < PerCell; ++J) {
        for (std::int32_t I = 0; I < PerCell; ++I) {
          Cell.FractionX = static_cast<double>(I) / PerCell;
          Cell.ComplementX = 1.0 - Cell.FractionX;
          Cell.FractionY = static_cast<double>(J) / PerCell;
          Cell.ComplementY = 1.0 - Cell.FractionY;
          const double Easting = Grid.Header.OriginX + GridSpacing * (Column + Cell.FractionX);
          const double Northing = Grid.Header.OriginY + GridSpacing * (Row + Cell.FractionY);
          const TLatLon P = PlaneToLatLon(Easting, Northing, Projection);
          double Direct = 0.0;
          if (!GraticuleValue(G, P.Latitude, P.Longitude, Direct)) {
            ++Result.SamplesOutside;
            continue;
          }
          const double Difference = std::fabs(InterpolateGeoid(Grid, Cell) - Direct);
          ++Result.Samples;
          SumOfSquares += static_cast<long double>(Difference) * Difference;
          if (Difference >= ResamplingErrorLimit) ++Result.SamplesAboveLimit;
          if (Difference > Result.Maximum) {
            Result.Maximum = Difference;
            Result.MaximumEasting = Easting;
            Result.MaximumNorthing = Northing;
          }
        }
      }
      if (Result.SamplesAboveLimit > AboveBefore) ++Result.CellsAboveLimit;
    }
  }
  if (Result.Samples > 0)
    Result.RootMeanSquare = static_cast<double>(std::sqrt(SumOfSquares / static_cast<long double>(Result.Samples)));
  return Result;
}

}  // namespace veltrana::gridtool
