// The registry and ConvertCoordinates, with the ETRS89 and UTM systems as the
// programs register them.
#include <memory>
#include <gtest/gtest.h>

#include <stdexcept>

#include "CoordinateSystems.h"
#include "ETRS89Systems.h"

using namespace veltrana;

namespace {

// A system whose conversions fail in the ways real systems can.
class TFaultySystem : public TCoordinateSystem {
 public:
  enum TMode { fmThrow, fmNull };
  explicit TFaultySystem(TMode AMode, std::int32_t ASRID, std::int32_t ARevision,
                         const char* AName = "Faulty")
      : Mode(AMode) {
    Init("Faulty", "FLT", AName, ASRID, ARevision, ctProjected, aoXYZ,
         BoundsFromDegrees(-180, -90, 180, 90), gtGeodetic);
  }
  TCoordinates ConvertToGlobal(const TCoordinates&) override {
    if (Mode == fmThrow) throw std::runtime_error("no convergence");
    return NullCoordinates;
  }
  TCoordinates ConvertFromGlobal(const TCoordinates& G) override { return G; }
  std::unique_ptr<TCoordinateSystem> Clone() const override { return std::make_unique<TFaultySystem>(*this); }
  TMode Mode;
};

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoordinateSystems.Clear();
    InitializeETRS89Unit();
  }
  void TearDown() override {
    CoordinateSystems.Clear();
    FinalizeETRS89Unit();
  }
};

constexpr int Cartesian = 0, Geodetic = 1, UTM29 = 2, UTM30 = 3, UTM31 = 4;

}  // namespace

TEST_F(RegistryTest, ETRS89SystemsAtTheirIndices) {
  struct Row { int Index; std::int32_t SRID; const char* Name; const char* Abbreviation; };
  const Row Rows[] = {
      {0, 4936, "ETRS89 Cartesian", "ETRS89CT"}, {1, 4937, "ETRS89 Geodetic", "ETRS89GD"},
      {2, 25829, "ETRS89 / UTM Zone 29N", "UTM29N"}, {3, 25830, "ETRS89 / UTM Zone 30N", "UTM30N"},
      {4, 25831, "ETRS89 / UTM Zone 31N", "UTM31N"},
  };
  ASSERT_EQ(CoordinateSystems.Count(), 5);
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name);
    EXPECT_EQ(CoordinateSystems.FindBySRID(R.SRID, 0), R.Index);
    EXPECT_EQ(CoordinateSystems.FindByName(R.Name), R.Index);
    EXPECT_EQ(CoordinateSystems.Items(R.Index)->Abbreviation, R.Abbreviation);
  }
  EXPECT_EQ(CoordinateSystems.Items(Geodetic)->AxisOrder, aoYXZ);
  EXPECT_EQ(CoordinateSystems.Items(UTM30)->GlobalType, gtCartesian);
  EXPECT_STREQ(CoordinateSystems.Items(Geodetic)->AxisNames().YShortName, "Lat");
}

TEST_F(RegistryTest, LookupMisses) {
  EXPECT_EQ(CoordinateSystems.Items(-1), nullptr);
  EXPECT_EQ(CoordinateSystems.Items(5), nullptr);
  EXPECT_EQ(CoordinateSystems.FindByName("etrs89 geodetic"), -1);
  EXPECT_EQ(CoordinateSystems.FindBySRID(4937, 1999), -1);
  TCoordinateSystemFields S;
  S.Name = "unchanged";
  CoordinateSystems.GetSystem(-1, S);
  EXPECT_EQ(S.Name, "unchanged");
  CoordinateSystems.GetSystem(UTM31, S);
  EXPECT_EQ(S.SRID, 25831);
}

TEST_F(RegistryTest, FindBySRIDPrefersExactThenLatest) {
  TFaultySystem A(TFaultySystem::fmNull, 27700, 2002, "A"), B(TFaultySystem::fmNull, 27700, 2015, "B"),
      C(TFaultySystem::fmNull, 27700, 2015, "C");
  CoordinateSystems.Register(&A);
  CoordinateSystems.Register(&B);
  CoordinateSystems.Register(&C);
  EXPECT_EQ(CoordinateSystems.FindBySRID(27700, 0), 6);  // first of the equal latest
  EXPECT_EQ(CoordinateSystems.FindBySRID(27700, 2002), 5);
  EXPECT_EQ(CoordinateSystems.FindBySRID(27700, 1999), -1);
}

TEST_F(RegistryTest, SystemsTextLines) {
  EXPECT_EQ(CoordinateSystems.SystemsText(true),
            "4936 - ETRS89 Cartesian\r\n4937 - ETRS89 Geodetic\r\n"
            "25829 - ETRS89 / UTM Zone 29N\r\n25830 - ETRS89 / UTM Zone 30N\r\n"
            "25831 - ETRS89 / UTM Zone 31N");
  // The last system excluded: the text ends with a line break.
  EXPECT_EQ(CoordinateSystems.TargetSystemsText(UTM31),
            "ETRS89 Cartesian\r\nETRS89 Geodetic\r\n");
  EXPECT_EQ(CoordinateSystems.TargetSystemsText(UTM29),
            "ETRS89 Cartesian\r\nETRS89 Geodetic\r\n");
  EXPECT_EQ(CoordinateSystems.TargetSystemsText(-1), CoordinateSystems.SystemsText(false));
  EXPECT_EQ(CoordinateSystems.TargetSystemsText(Cartesian),
            "ETRS89 Geodetic\r\nETRS89 / UTM Zone 29N\r\nETRS89 / UTM Zone 30N\r\n"
            "ETRS89 / UTM Zone 31N");
}

TEST_F(RegistryTest, ConvertThroughTheBridge) {
  // 52.5 N 1.5 W 100 m (published worked example for UTM 30N).
  const TCoordinates Start{-1.5, 52.5, 100.0};
  TCoordinates Utm, Back, Cart, Back2, Same;
  ConvertCoordinates(Geodetic, UTM30, Start, Utm);
  EXPECT_NEAR(Utm.X, 601821.603, 0.5e-3);
  EXPECT_NEAR(Utm.Y, 5817709.526, 0.5e-3);
  EXPECT_NEAR(Utm.Z, 100.0, 1e-6);
  ConvertCoordinates(UTM30, Geodetic, Utm, Back);
  EXPECT_NEAR(Back.X, Start.X, 1e-9);
  EXPECT_NEAR(Back.Y, Start.Y, 1e-9);
  EXPECT_NEAR(Back.Z, Start.Z, 1e-3);
  ConvertCoordinates(Geodetic, Cartesian, Start, Cart);
  ConvertCoordinates(Cartesian, Geodetic, Cart, Back2);
  EXPECT_NEAR(Back2.X, Start.X, 1e-9);
  EXPECT_NEAR(Back2.Y, Start.Y, 1e-9);
  EXPECT_NEAR(Back2.Z, Start.Z, 1e-3);
  ConvertCoordinates(Geodetic, Geodetic, Start, Same);
  EXPECT_NEAR(Same.X, Start.X, 1e-13);
  EXPECT_NEAR(Same.Y, Start.Y, 1e-13);
}

TEST_F(RegistryTest, UTMBandEdges) {
  struct Row { const char* Name; int System; double Longitude, Latitude; bool Inside; };
  const Row Rows[] = {
      {"WestEdgeOf30Inside", UTM30, -6.0, 52.0, true}, {"EastEdgeOf29Outside", UTM29, -6.0, 52.0, false},
      {"ZeroBelongsTo31", UTM31, 0.0, 52.0, true}, {"ZeroNotIn30", UTM30, 0.0, 52.0, false},
      {"Latitude84Outside", UTM30, -3.0, 84.0, false}, {"EquatorInside", UTM30, -3.0, 0.0, true},
  };
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name);
    const TCoordinates G = DegreesToRadians({R.Longitude, R.Latitude, 0.0});
    EXPECT_EQ(CoordinateSystems.Items(R.System)->WithinBounds(G), R.Inside);
  }
  // A UTM 30N coordinate whose inverse falls at -6.5 degrees is refused.
  TCoordinates Out{1, 1, 1};
  ConvertCoordinates(UTM30, Geodetic, {200000.0, 5760000.0, 0.0}, Out);  // about 7.4 W
  EXPECT_TRUE(Out == NullCoordinates);
}

TEST_F(RegistryTest, FailuresBecomeNull) {
  TFaultySystem Throws(TFaultySystem::fmThrow, 1, 1), Fails(TFaultySystem::fmNull, 2, 1);
  CoordinateSystems.Register(&Throws);
  CoordinateSystems.Register(&Fails);
  TCoordinates Out{1, 2, 3};
  ConvertCoordinates(5, Geodetic, {1, 1, 1}, Out);
  EXPECT_TRUE(Out == NullCoordinates);
  // A failed geodetic source must not be bridged into a Cartesian "result"
  // (the null point would become (a, 0, 0) and pass as a success).
  Out = {1, 2, 3};
  ConvertCoordinates(6, Cartesian, {1, 1, 1}, Out);
  EXPECT_TRUE(Out == NullCoordinates);
  Out = {1, 2, 3};
  ConvertCoordinates(6, UTM31, {1, 1, 1}, Out);
  EXPECT_TRUE(Out == NullCoordinates);
  // No source or target: Output untouched.
  Out = {1, 2, 3};
  ConvertCoordinates(-1, Geodetic, {1, 1, 1}, Out);
  ConvertCoordinates(Geodetic, 99, {1, 1, 1}, Out);
  EXPECT_TRUE(Out == TCoordinates(1, 2, 3));
}
