// British National Grid, Irish Transverse Mercator and Irish Grid on small
// purpose-made grids, so that each rule shows on a value computed by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "BNGSystems.h"
#include "CoordinateSystems.h"
#include "ETRS89Systems.h"
#include "IGSystems.h"
#include "ITMSystems.h"

using namespace veltrana;

namespace {

constexpr double Nm = 1e-9;
constexpr double Mm = 1e-3;

// A grid of Columns x Rows nodes from (OriginX, OriginY); shifts and
// separations vary linearly so bilinear interpolation reproduces them.
struct TFixture {
  TShiftGrid Shift;
  TGeoidGrid Geoid;
};

constexpr double ShiftE0 = 90.0, ShiftEPerColumn = 0.25;
constexpr double ShiftN0 = -80.0, ShiftNPerRow = 0.5;
constexpr double Geoid0 = 50.0, GeoidPerColumn = 0.125;

TFixture MakeFixture(double OriginX, double OriginY, int Columns, int Rows,
                     TVerticalDatumCode Code = vdOrdnanceDatumNewlyn) {
  TFixture F;
  for (TGridHeader* H : {&F.Shift.Header, &F.Geoid.Header}) {
    H->OriginX = OriginX;
    H->OriginY = OriginY;
    H->Columns = Columns;
    H->Rows = Rows;
  }
  for (int R = 0; R < Rows; ++R)
    for (int C = 0; C < Columns; ++C) {
      F.Shift.Nodes.push_back({static_cast<float>(ShiftE0 + ShiftEPerColumn * C),
                               static_cast<float>(ShiftN0 + ShiftNPerRow * R)});
      F.Geoid.AddNode({static_cast<float>(Geoid0 + GeoidPerColumn * C), Code});
    }
  F.Shift.Loaded = F.Geoid.Loaded = true;
  return F;
}

void SetCode(TGeoidGrid& G, int Column, int Row, TVerticalDatumCode Code) {
  G.DatumCodes[static_cast<std::size_t>(Column + Row * G.Header.Columns)] = Code;
}

// ETRS89 geodetic (radians) whose national-grid plane position is (X, Y).
TCoordinates AtPlane(const TTransverseMercator& P, double X, double Y, double H) {
  return GridToGeodetic({X, Y, H}, P);
}

const TTransverseMercator BNG = MakeBNGProjection();
constexpr double OX = 430000.0, OY = 285000.0;

}  // namespace

TEST(BNGTest, ForwardOnANodeGivesItsShifts) {
  const TFixture F = MakeFixture(OX, OY, 5, 5);
  TCoordinates Out;
  TVerticalDatumCode Datum = vdNone;
  // Node (2, 3): shifts 90.5, -78.5; separation 50.25.
  ASSERT_TRUE(TransformETRS89ToBNG(AtPlane(BNG, OX + 2000, OY + 3000, 100.0), F.Shift, F.Geoid,
                                   BNG, Out, Datum));
  // 0.1 um: the round trip of the projection series itself.
  EXPECT_NEAR(Out.X, OX + 2000 + 90.5, 100 * Nm);
  EXPECT_NEAR(Out.Y, OY + 3000 - 78.5, 100 * Nm);
  EXPECT_NEAR(Out.Z, 100.0 - 50.25, Nm);
  EXPECT_EQ(Datum, vdOrdnanceDatumNewlyn);
}

TEST(BNGTest, InverseReturnsTheForwardPoint) {
  const TFixture F = MakeFixture(OX, OY, 5, 5);
  const TCoordinates Start = AtPlane(BNG, OX + 1234.5, OY + 2345.6, 57.0);
  TCoordinates Grid, Back;
  TVerticalDatumCode D1 = vdNone, D2 = vdNone;
  ASSERT_TRUE(TransformETRS89ToBNG(Start, F.Shift, F.Geoid, BNG, Grid, D1));
  ASSERT_TRUE(TransformBNGToETRS89(Grid, F.Shift, F.Geoid, BNG, Back, D2));
  // The 0.1 mm stopping rule bounds the plane error; 1e-9 rad is about 6 mm.
  EXPECT_NEAR(Back.X, Start.X, 2e-11);
  EXPECT_NEAR(Back.Y, Start.Y, 2e-11);
  EXPECT_NEAR(Back.Z, Start.Z, 0.1 * Mm);
  EXPECT_EQ(D2, D1);
}

TEST(BNGTest, ZeroCodeAnywhereInTheCellIsOutside) {
  // The north-east node of the cell carries "no data": mixing its zero values
  // into the interpolation would give a wrong point reported as a success.
  TFixture F = MakeFixture(OX, OY, 5, 5);
  SetCode(F.Geoid, 2, 2, vdNone);
  TCoordinates Out{7, 7, 7};
  TVerticalDatumCode Datum = vdOrkney;
  EXPECT_FALSE(TransformETRS89ToBNG(AtPlane(BNG, OX + 1100, OY + 1100, 0), F.Shift, F.Geoid, BNG,
                                    Out, Datum));
  EXPECT_EQ(Datum, vdNone);
  EXPECT_FALSE(TransformBNGToETRS89({OX + 1190, OY + 1020, 0}, F.Shift, F.Geoid, BNG, Out, Datum));
  EXPECT_EQ(Datum, vdNone);
}

TEST(BNGTest, MixedCellTakesTheNearestNode) {
  // Cell (1..2, 1..2): Orkney on the north-east node only.
  TFixture F = MakeFixture(OX, OY, 5, 5);
  SetCode(F.Geoid, 2, 2, vdOrkney);
  struct Row { const char* Name; double FX, FY; TVerticalDatumCode Datum; };
  const Row Rows[] = {
      {"NearSouthWest", 0.2, 0.2, vdOrdnanceDatumNewlyn},
      {"NearNorthEast", 0.7, 0.6, vdOrkney},
      {"NearNorthWest", 0.3, 0.9, vdOrdnanceDatumNewlyn},
  };
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name);
    TCoordinates Out, Back;
    TVerticalDatumCode Datum = vdNone, BackDatum = vdNone;
    ASSERT_TRUE(TransformETRS89ToBNG(AtPlane(BNG, OX + 1000 * (1 + R.FX), OY + 1000 * (1 + R.FY), 0),
                                     F.Shift, F.Geoid, BNG, Out, Datum));
    EXPECT_EQ(Datum, R.Datum);
    ASSERT_TRUE(TransformBNGToETRS89(Out, F.Shift, F.Geoid, BNG, Back, BackDatum));
    EXPECT_EQ(BackDatum, R.Datum);
  }
}

TEST(BNGTest, OutsideOrMissingGridFails) {
  const TFixture F = MakeFixture(OX, OY, 5, 5);
  const TShiftGrid EmptyShift;
  const TGeoidGrid EmptyGeoid;
  TCoordinates Out;
  TVerticalDatumCode Datum = vdNone;
  EXPECT_FALSE(TransformETRS89ToBNG(AtPlane(BNG, OX - 1500, OY + 10, 0), F.Shift, F.Geoid, BNG, Out, Datum));
  EXPECT_FALSE(TransformETRS89ToBNG(AtPlane(BNG, OX + 10, OY + 10, 0), EmptyShift, EmptyGeoid, BNG, Out, Datum));
  // A geoid grid that does not share the shift grid's layout is never indexed.
  EXPECT_FALSE(TransformETRS89ToBNG(AtPlane(BNG, OX + 10, OY + 10, 0), F.Shift, EmptyGeoid, BNG, Out, Datum));
  EXPECT_FALSE(TransformBNGToETRS89({OX + 10, OY + 10, 0}, F.Shift, EmptyGeoid, BNG, Out, Datum));
}

TEST(BNGTest, NonConvergenceRaisesAndConvertCoordinatesAbsorbsIt) {
  // Easting shift equal to the offset from the origin: the fixed-point
  // iteration swings between two estimates and never settles.
  TFixture F = MakeFixture(OX, OY, 50, 5);
  for (int R = 0; R < 5; ++R)
    for (int C = 0; C < 50; ++C)
      F.Shift.Nodes[static_cast<std::size_t>(C + R * 50)].EastShift = static_cast<float>(1000.0 * C);
  TCoordinates Out;
  TVerticalDatumCode Datum = vdNone;
  const TCoordinates Input{OX + 20000.0, OY + 2000.0, 0.0};
  try {
    TransformBNGToETRS89(Input, F.Shift, F.Geoid, BNG, Out, Datum);
    FAIL() << "expected the convergence exception";
  } catch (const std::runtime_error& E) {
    EXPECT_STREQ(E.what(), "Inverse BNG projection failed to converge grid to ETRS89 coordinates.");
  }
  CoordinateSystems.Clear();
  InitializeETRS89Unit();
  TBNGCoordinateSystem System;
  System.Init(2015, &F.Shift, &F.Geoid, &BNG);
  CoordinateSystems.Register(&System);
  TCoordinates Converted{1, 1, 1};
  ConvertCoordinates(5, 1, Input, Converted);
  EXPECT_TRUE(Converted == NullCoordinates);
  EXPECT_EQ(CoordinateSystems.Items(1)->LastVerticalDatum, vdNone);
  CoordinateSystems.Clear();
  FinalizeETRS89Unit();
}

TEST(BNGTest, SystemFieldsAndBounds) {
  const TFixture F = MakeFixture(OX, OY, 5, 5);
  TBNGCoordinateSystem S;
  S.Init(2002, &F.Shift, &F.Geoid, &BNG);
  EXPECT_EQ(S.Name, "OSGB36 / British National Grid (TN02/GM02)");
  EXPECT_EQ(S.Description, "British National Grid (2002)");
  // Stored bounds, radians.
  EXPECT_EQ(S.Bounds.West, -0.16580627893946132);
  EXPECT_EQ(S.Bounds.South, 0.8674286382411818);
  EXPECT_EQ(S.Bounds.East, 0.06283185307179587);
  EXPECT_EQ(S.Bounds.North, 1.0681415022205296);
  EXPECT_EQ(BNG.TrueOrigin.Y, 0.8552113334772214);
  EXPECT_EQ(BNG.TrueOrigin.X, -0.03490658503988659);
  EXPECT_TRUE(S.WithinBounds({S.Bounds.West, 0.9, 0}));
  EXPECT_FALSE(S.WithinBounds({S.Bounds.East, 0.9, 0}));
  EXPECT_TRUE(S.WithinBounds({0.0, S.Bounds.South, 0}));
  EXPECT_FALSE(S.WithinBounds({0.0, S.Bounds.North, 0}));
  const TCoordinates Outside = S.ConvertFromGlobal({S.Bounds.East, 0.9, 0});
  EXPECT_TRUE(Outside == NullCoordinates);
  EXPECT_EQ(S.LastVerticalDatum, vdNone);
}

namespace {
const TTransverseMercator ITM = MakeITMProjection();
const TTransverseMercator IG = MakeIGProjection();
// Both Irish fixtures cover ITM 600-605 km E, 800-805 km N; the NI grid
// carries Belfast and other separations so that the grid used shows.
constexpr double IX = 600000.0, IY = 800000.0;

struct TIrishFixture {
  TFixture NI = MakeFixture(IX, IY, 6, 6, vdBelfast);
  TFixture RoI = MakeFixture(IX, IY, 6, 6, vdMalinHead);
  TIrishFixture() {
    for (float& Separation : NI.Geoid.Separations) Separation += 1.0f;
  }
  TIrishGeoidGrids Grids() const { return {&NI.Geoid, &RoI.Geoid}; }
};
}  // namespace

TEST(ITMTest, PreferredDatumChoosesTheGrid) {
  const TIrishFixture F;
  const TCoordinates P = AtPlane(ITM, IX + 2000, IY + 2000, 100.0);  // node (2, 2): N = 50.25 (+1 NI)
  struct Row { const char* Name; TVerticalDatumCode Preferred; bool Ok; double Height; TVerticalDatumCode Datum; };
  const Row Rows[] = {
      {"Malin", vdMalinHead, true, 100.0 - 50.25, vdMalinHead},
      {"Belfast", vdBelfast, true, 100.0 - 51.25, vdBelfast},
      {"NoneFails", vdNone, false, 0, vdNone},
      {"OtherFails", vdOrdnanceDatumNewlyn, false, 0, vdNone},
  };
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name);
    TCoordinates Out, Back;
    TVerticalDatumCode Datum = vdOrkney, BackDatum = vdNone;
    EXPECT_EQ(TransformETRS89ToITM(P, F.Grids(), R.Preferred, ITM, Out, Datum), R.Ok);
    EXPECT_EQ(Datum, R.Datum);
    if (!R.Ok) continue;
    EXPECT_NEAR(Out.X, IX + 2000, 100 * Nm);
    EXPECT_NEAR(Out.Z, R.Height, Nm);
    ASSERT_TRUE(TransformITMToETRS89(Out, F.Grids(), R.Preferred, ITM, Back, BackDatum));
    EXPECT_NEAR(Back.X, P.X, 1e-12);
    EXPECT_NEAR(Back.Y, P.Y, 1e-12);
    EXPECT_NEAR(Back.Z, 100.0, Nm);
  }
}

TEST(ITMTest, NoFallbackToTheOtherGrid) {
  TIrishFixture F;
  F.RoI = TFixture{};  // Republic of Ireland grid missing
  TITMCoordinateSystem S;
  S.Init(2015, 1, F.Grids(), &ITM);
  EXPECT_EQ(S.PreferredVerticalDatum, vdMalinHead);
  const TCoordinates P = AtPlane(ITM, IX + 2500, IY + 2500, 10.0);
  EXPECT_TRUE(S.ConvertFromGlobal(P) == NullCoordinates);
  EXPECT_TRUE(S.ConvertToGlobal({IX + 2500, IY + 2500, 10.0}) == NullCoordinates);
  EXPECT_EQ(S.LastVerticalDatum, vdNone);
  S.PreferredVerticalDatum = vdBelfast;
  EXPECT_FALSE(S.ConvertFromGlobal(P) == NullCoordinates);
  EXPECT_EQ(S.LastVerticalDatum, vdBelfast);
  // Covered by neither grid: fails although the projection alone could convert it.
  EXPECT_TRUE(S.ConvertFromGlobal(AtPlane(ITM, IX + 50000, IY, 0)) == NullCoordinates);
}

TEST(ITMTest, StoredConstants) {
  EXPECT_EQ(IrishBounds.West, -0.1916371518689774);
  EXPECT_EQ(IrishBounds.South, 0.8943067087218944);
  EXPECT_EQ(IrishBounds.East, -0.09197885158010116);
  EXPECT_EQ(IrishBounds.North, 0.9709266628844455);
  EXPECT_EQ(ITM.TrueOrigin.Y, 0.9337511498169663);
  EXPECT_EQ(ITM.TrueOrigin.X, -0.13962634015954636);
}

TEST(IGTest, PolynomialAtItsOrigin) {
  // At 53.5 N 7.7 W (IG75) u = v = 0: the shift is the constant terms.
  const TCoordinates S = IGPolynomialShift(DegreesToRadians({-7.7, 53.5, 0.0}));
  EXPECT_NEAR(S.Y * static_cast<double>(RadiansToDegreesFactor) * 3600.0, 0.763, 1e-9);
  EXPECT_NEAR(S.X * static_cast<double>(RadiansToDegreesFactor) * 3600.0, -2.810, 1e-9);
  EXPECT_EQ(S.Z, 0.0);
}

TEST(IGTest, PolynomialInverseAndRoundTrip) {
  const TIrishFixture F;
  const TCoordinates P = AtPlane(ITM, IX + 2200, IY + 3300, 80.0);
  const TCoordinates Q = IGFromETRS89Geodetic(P);
  const TCoordinates Re = Q + IGPolynomialShift(Q);
  EXPECT_NEAR(Re.X, P.X, 1e-15);
  EXPECT_NEAR(Re.Y, P.Y, 1e-15);
  for (TVerticalDatumCode Preferred : {vdMalinHead, vdBelfast}) {
    SCOPED_TRACE(static_cast<int>(Preferred));
    TCoordinates Grid, Back, ViaITM;
    TVerticalDatumCode D = vdNone, DBack = vdNone, DITM = vdNone;
    ASSERT_TRUE(TransformETRS89ToIG(P, F.Grids(), Preferred, IG, ITM, Grid, D));
    ASSERT_TRUE(TransformETRS89ToITM(P, F.Grids(), Preferred, ITM, ViaITM, DITM));
    EXPECT_EQ(Grid.Z, ViaITM.Z);  // heights are the ITM path's
    EXPECT_EQ(D, Preferred);
    ASSERT_TRUE(TransformIGToETRS89(Grid, F.Grids(), Preferred, IG, ITM, Back, DBack));
    EXPECT_NEAR(Back.X, P.X, 1e-12);
    EXPECT_NEAR(Back.Y, P.Y, 1e-12);
    EXPECT_NEAR(Back.Z, 80.0, Mm);
  }
}

TEST(IGTest, HeightFailureFailsTheWholeConversion) {
  TIrishFixture F;
  TIGCoordinateSystem S;
  S.Init(2015, 1, F.Grids(), &IG, &ITM);
  S.PreferredVerticalDatum = vdBelfast;
  EXPECT_EQ(S.Name, "Irish Grid (IG/GM15)");
  const TCoordinates Far = AtPlane(ITM, IX + 90000, IY + 10000, 0);  // outside both grids
  EXPECT_TRUE(S.ConvertFromGlobal(Far) == NullCoordinates);
  EXPECT_EQ(S.LastVerticalDatum, vdNone);
}
