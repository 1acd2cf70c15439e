#include "GridResample.h"

#include <gtest/gtest.h>

#include <cmath>

#include "ToolFixtures.h"

namespace veltrana::gridtool {
namespace {

TGraticule FixtureGraticule() {
  TGraticule G;
  const TParseStatus S = ParseGraticule(test::ReadFixture("graticule_4x7.gri"), "g.gri", G);
  EXPECT_TRUE(S.Ok) << S.Message;
  return G;
}

TEST(GraticuleValueTest, BilinearInsideIncludingTheEdgesAndNothingOutside) {
  // Fixture values: N = 50 + 10 (lat - 53.4) + 3 (lon + 8.1), linear, so the
  // bilinear value anywhere equals the formula (to the 1 mm of the file).
  const TGraticule G = FixtureGraticule();
  struct TCase {
    const char* Name;
    double Latitude, Longitude;
    bool Inside;
  };
  const TCase Cases[] = {
      {"south-west corner", 53.4, -8.1, true}, {"north-east corner", 53.7, -7.8, true},
      {"inside a cell", 53.43, -8.02, true},   {"on the north edge", 53.7, -7.93, true},
      {"north of it", 53.7001, -7.93, false},  {"west of it", 53.5, -8.1001, false},
      {"NaN", std::nan(""), -8.0, false},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    double Value = -1.0;
    ASSERT_EQ(GraticuleValue(G, C.Latitude, C.Longitude, Value), C.Inside);
    if (C.Inside) {
      EXPECT_NEAR(Value, 50.0 + 10.0 * (C.Latitude - 53.4) + 3.0 * (C.Longitude + 8.1), 1e-9);
    } else {
      EXPECT_EQ(Value, -1.0);
    }
  }
}

TEST(ResampleTest, NodesOnWholeKilometresTakeTheGraticuleValueAndCode) {
  const TGraticule G = FixtureGraticule();
  const TTransverseMercator ITM = MakeITMProjection();
  const TGeoidGrid Grid = ResampleGraticule(G, vdMalinHead, ITM);
  const TGridHeader& H = Grid.Header;
  EXPECT_EQ(std::fmod(H.OriginX, 1000.0), 0.0);
  EXPECT_EQ(std::fmod(H.OriginY, 1000.0), 0.0);
  // The graticule spans about 20 km east-west and 33 km north-south.
  EXPECT_GT(H.Columns, 20);
  EXPECT_LT(H.Columns, 25);
  EXPECT_GT(H.Rows, 33);
  EXPECT_LT(H.Rows, 37);
  // The projection's true origin 53.5 N 8 W lies at ITM (600 km, 750 km),
  // a node of the grid and a node of the graticule (file value 51.300).
  const auto Column = static_cast<std::int32_t>((600000.0 - H.OriginX) / 1000.0);
  const auto Row = static_cast<std::int32_t>((750000.0 - H.OriginY) / 1000.0);
  EXPECT_NEAR(GeoidNode(Grid, Column, Row).Separation, 51.3, 1e-5);
  EXPECT_EQ(GeoidNode(Grid, Column, Row).DatumCode, vdMalinHead);
  // The extent's corners lie off the curved graticule, and every node off it
  // carries code 0 and separation 0.
  std::size_t Outside = 0;
  for (std::size_t I = 0; I < Grid.NodeCount(); ++I) {
    const TGeoidNode Node = Grid.Node(I);
    EXPECT_TRUE(Node.DatumCode == vdMalinHead || (Node.DatumCode == vdNone && Node.Separation == 0.0f));
    Outside += Node.DatumCode == vdNone;
  }
  EXPECT_GT(Outside, 0u);
  EXPECT_LT(Outside, Grid.NodeCount() / 4);
}

TEST(ResampleTest, ErrorMeasureSeesSmoothAndSharpGraticules) {
  const TTransverseMercator ITM = MakeITMProjection();
  TGraticule G = FixtureGraticule();
  const TResamplingError Smooth = MeasureResamplingError(G, ResampleGraticule(G, vdBelfast, ITM), ITM, 100.0);
  EXPECT_GT(Smooth.Cells, 500u);
  EXPECT_EQ(Smooth.Samples + Smooth.SamplesOutside, Smooth.Cells * 100);
  // Linear in latitude and longitude is nearly linear in the plane: well
  // under a millimetre.
  EXPECT_LT(Smooth.Maximum, 0.0005);
  EXPECT_EQ(Smooth.SamplesAboveLimit, 0u);

  // A 1 m spike at the graticule node 53.6 N 7.95 W: the 1 km grid cannot
  // follow its ridges, so the measure must report a large error there.
  G.Values[2 * G.Columns + 3] += 1.0;
  const TResamplingError Sharp = MeasureResamplingError(G, ResampleGraticule(G, vdBelfast, ITM), ITM, 100.0);
  EXPECT_GT(Sharp.Maximum, 0.05);
  EXPECT_GT(Sharp.CellsAboveLimit, 0u);
  const TCoordinates Where =
      RadiansToDegrees(GridToGeodetic({Sharp.MaximumEasting, Sharp.MaximumNorthing, 0.0}, ITM));
  EXPECT_NEAR(Where.Y, 53.6, 0.1);
  EXPECT_NEAR(Where.X, -7.95, 0.05);

  // A step that does not divide the kilometre samples nothing.
  EXPECT_EQ(MeasureResamplingError(G, ResampleGraticule(G, vdBelfast, ITM), ITM, 300.0).Samples, 0u);
}

}  // namespace
}  // namespace veltrana::gridtool
