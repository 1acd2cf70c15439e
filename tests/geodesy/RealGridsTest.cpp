// The national systems on the committed grid files, through the updater's
// registry (grids are read from the test binary's folder, build/bin).
#include <gtest/gtest.h>

#include <cmath>

#include "BNGSystems.h"
#include "CoordinateSystems.h"
#include "GridFiles.h"
#include "ProgramStartup.h"

using namespace veltrana;

namespace {

constexpr double Mm = 1e-3;

class RealGridsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { StartUpdaterUnits(); }
  static void TearDownTestSuite() { StopUpdaterUnits(); }
  static int Index(std::int32_t Srid, std::int32_t Revision) {
    return CoordinateSystems.FindBySRID(Srid, Revision);
  }
  static TBNGCoordinateSystem& BNG(std::int32_t Revision) {
    return static_cast<TBNGCoordinateSystem&>(*CoordinateSystems.Items(Index(27700, Revision)));
  }
};

constexpr int Geodetic = 1;

}  // namespace

TEST_F(RealGridsTest, UpdaterRegistryOrder) {
  const struct { int Index; std::int32_t Srid, Revision; } Rows[] = {
      {5, 27700, 2002}, {6, 27700, 2015}, {7, 2157, 2002}, {8, 2157, 2015}, {9, 29903, 2002}, {10, 29903, 2015}};
  ASSERT_EQ(CoordinateSystems.Count(), 11);
  for (const auto& R : Rows) EXPECT_EQ(Index(R.Srid, R.Revision), R.Index) << R.Srid << "@" << R.Revision;
  EXPECT_EQ(Index(27700, 0), 6);
  EXPECT_EQ(Index(27700, 1999), -1);
  EXPECT_EQ(CoordinateSystems.TargetSystemsText(6),
            "ETRS89 Cartesian\r\nETRS89 Geodetic\r\nETRS89 / UTM Zone 29N\r\nETRS89 / UTM Zone 30N\r\n"
            "ETRS89 / UTM Zone 31N\r\nOSGB36 / British National Grid (TN02/GM02)\r\n"
            "Irish Transverse Mercator (ITM/GM02)\r\nIrish Grid (IG/GM02)\r\n");  // only the latest are excluded
}

TEST_F(RealGridsTest, PublishedReferencePoint) {
  // Worked example of the national transformation guide (OSTN15/OSGM15):
  // 52.658007833 N, 1.716073973 E, 108.05 m -> 651409.804 E, 313177.450 N,
  // 63.822 m on Ordnance Datum Newlyn.
  TCoordinates Out, Back;
  ConvertCoordinates(Geodetic, Index(27700, 2015), {1.716073973, 52.658007833, 108.05}, Out);
  EXPECT_NEAR(Out.X, 651409.804, Mm);
  EXPECT_NEAR(Out.Y, 313177.450, Mm);
  EXPECT_NEAR(Out.Z, 63.822, Mm);
  EXPECT_EQ(CoordinateSystems.Items(Index(27700, 2015))->LastVerticalDatum, vdOrdnanceDatumNewlyn);
  ConvertCoordinates(Index(27700, 2015), Geodetic, Out, Back);
  EXPECT_NEAR(Back.X, 1.716073973, 1e-8);
  EXPECT_NEAR(Back.Y, 52.658007833, 1e-8);
  EXPECT_NEAR(Back.Z, 108.05, Mm);
}

TEST_F(RealGridsTest, NodeGivesItsShiftsAndRevisionsDifferByTheGrids) {
  // Plane position exactly on node (column 430, row 290): the forward result
  // is that node's shifts; the two revisions differ by the two grids' nodes.
  const TTransverseMercator Projection = MakeBNGProjection();
  const double X = 430000.0, Y = 290000.0;
  const TCoordinates Geo = GridToGeodetic({X, Y, 100.0}, Projection);
  const TCoordinates Plane = GeodeticToGrid(Geo, Projection);  // X, Y within 0.1 um
  TCoordinates R[2];
  const std::int32_t Revisions[2] = {2002, 2015};
  for (int I = 0; I < 2; ++I) {
    TBNGCoordinateSystem& S = BNG(Revisions[I]);
    const std::size_t Node = 430 + 290 * static_cast<std::size_t>(S.ShiftGrid->Header.Columns);
    R[I] = S.ConvertFromGlobal(Geo);
    EXPECT_NEAR(R[I].X - Plane.X, S.ShiftGrid->Nodes[Node].EastShift, 1e-6);
    EXPECT_NEAR(R[I].Y - Plane.Y, S.ShiftGrid->Nodes[Node].NorthShift, 1e-6);
    EXPECT_NEAR(100.0 - R[I].Z, S.GeoidGrid->Separations[Node], 1e-6);
    // The inverse returns the ETRS89 point within the 0.1 mm stopping rule.
    const TCoordinates Back = S.ConvertToGlobal(R[I]);
    EXPECT_NEAR(Back.X, Geo.X, 2e-11);
    EXPECT_NEAR(Back.Y, Geo.Y, 2e-11);
    EXPECT_NEAR(Back.Z, 100.0, 0.1 * Mm);
  }
}

TEST_F(RealGridsTest, FailuresOfTheModels) {
  struct Row { const char* Name; double Lat, Lon; std::int32_t Srid, Revision; };
  const Row Rows[] = {
      {"NorthSeaOutside2002Model", 57.0, 2.5, 27700, 2002},  // the 2002 geoid has no offshore nodes
      {"EastBoundOfBNG", 52.0, 3.6, 27700, 2015},
      {"DublinOutside2002NorthernIrelandGrid", 53.35, -6.26, 2157, 2002},  // Belfast preferred below
      {"AtlanticOutsideIrishBounds", 53.0, -11.5, 2157, 2015},
      {"Malin2002GridNotSupplied", 53.35, -7.5, 29903, 2002},
  };
  for (int I = 0; I < CoordinateSystems.Count(); ++I) {
    TCoordinateSystem* S = CoordinateSystems.Items(I);
    if (S->SRID == 2157 && S->Revision == 2002) S->PreferredVerticalDatum = vdBelfast;
  }
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name);
    TCoordinates Out{1, 1, 1};
    const int Target = Index(R.Srid, R.Revision);
    ConvertCoordinates(Geodetic, Target, {R.Lon, R.Lat, 50.0}, Out);
    EXPECT_TRUE(Out == NullCoordinates);
    EXPECT_EQ(CoordinateSystems.Items(Target)->LastVerticalDatum, vdNone);
  }
  for (int I = 0; I < CoordinateSystems.Count(); ++I) {
    TCoordinateSystem* S = CoordinateSystems.Items(I);
    if (S->SRID == 2157) S->PreferredVerticalDatum = vdMalinHead;
  }
}

TEST_F(RealGridsTest, OffshoreIsASuccess) {
  // North Sea, 2015 model: offshore nodes carry code 15, and farther out 16.
  TCoordinates Out;
  ConvertCoordinates(Geodetic, Index(27700, 2015), {1.0, 56.0, 50.0}, Out);
  EXPECT_FALSE(Out == NullCoordinates);
  EXPECT_EQ(CoordinateSystems.Items(Index(27700, 2015))->LastVerticalDatum, vdOffshore);
  ConvertCoordinates(Geodetic, Index(27700, 2015), {2.5, 57.0, 50.0}, Out);
  EXPECT_FALSE(Out == NullCoordinates);
  EXPECT_EQ(CoordinateSystems.Items(Index(27700, 2015))->LastVerticalDatum, vdOutside);
}
