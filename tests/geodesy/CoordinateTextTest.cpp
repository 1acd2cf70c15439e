#include "CoordinateText.h"

#include "NumberText.h"

#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace veltrana {
namespace {

// 52 deg 30' 15" as decimal degrees.
constexpr double Lat523015 = 52.0 + 30.0 / 60.0 + 15.0 / 3600.0;
// Angle tolerance of exact readings: 1e-9 degrees is about 0.1 mm on the ground.
constexpr double AngleTolerance = 1e-9;
// Metric tolerance of exact readings (metres).
constexpr double MetricTolerance = 1e-9;
// A value that no reader produces, to see that refusals leave Value alone.
constexpr double Untouched = -12345.678;

constexpr int Longitude = 0;
constexpr int Latitude = 1;
constexpr int Height = 2;

constexpr TNumberFormat PointFormat{'.', '\0'};
constexpr TNumberFormat CommaFormat{',', '.'};

class CoordinateTextTest : public ::testing::Test {
 protected:
  void SetUp() override { SetNumberFormat(PointFormat); }
  void TearDown() override { SetNumberFormat(PointFormat); }
};

class CoordinateTextCommaTest : public CoordinateTextTest {
 protected:
  void SetUp() override { SetNumberFormat(CommaFormat); }
};

std::optional<double> Parse(std::string_view Text, TCoordinateType Type, int Component) {
  double Value = Untouched;
  if (!ParseCoordinate(Text, Value, Type, Component)) {
    EXPECT_EQ(Value, Untouched) << "a refused text changed Value";
    return std::nullopt;
  }
  return Value;
}

// ---------------------------------------------------------------------------
// TCoordinateFormats

TEST_F(CoordinateTextTest, FormatSetHoldsItsMembers) {
  TCoordinateFormats Formats{cfDegreesMinutesSeconds, cfUnitSymbols};
  EXPECT_TRUE(Formats.Contains(cfDegreesMinutesSeconds));
  EXPECT_TRUE(Formats.Contains(cfUnitSymbols));
  EXPECT_FALSE(Formats.Contains(cfPlusSign));
  EXPECT_FALSE(Formats.Contains(cfDatumSuffix));
  Formats.Include(cfDatumSuffix).Exclude(cfUnitSymbols);
  EXPECT_TRUE(Formats.Contains(cfDatumSuffix));
  EXPECT_FALSE(Formats.Contains(cfUnitSymbols));
  // Bit k is member k, in the stored order.
  EXPECT_EQ(TCoordinateFormats{cfPlusSign}.Bits(), 1u);
  EXPECT_EQ(TCoordinateFormats{cfDatumSuffix}.Bits(), 1u << 10);
  EXPECT_EQ(TCoordinateFormats::FromBits(Formats.Bits()), Formats);
  EXPECT_TRUE(TCoordinateFormats::FromBits(0xFFFFF800u).Empty());
  // A value outside the enumeration is ignored, not shifted out of range.
  EXPECT_TRUE(TCoordinateFormats{static_cast<TCoordinateFormat>(200)}.Empty());
}

// ---------------------------------------------------------------------------
// SplitAngle

TEST_F(CoordinateTextTest, SplitAngleSplitsAndAbsorbsRepresentationError) {
  struct TCase {
    const char* Name;
    bool DecimalMinutes;
    double Angle;
    double Degrees, Minutes, Seconds, Sign;
  };
  // Expected parts worked by hand from the decimal value.
  const TCase Cases[] = {
      {"DegreesMinutesSeconds", false, Lat523015, 52, 30, 15, 1},
      {"DecimalMinutes", true, Lat523015, 52, 30.25, 0, 1},
      {"NegativeKeepsPartsPositive", false, -1.5, 1, 30, 0, -1},
      {"ZeroHasNoSign", false, 0.0, 0, 0, 0, 0},
      {"JustBelowWholeDegreeCarries", false, 53.0 - 1e-11, 53, 0, 0, 1},
      {"JustBelowWholeDegreeDecimalMinutes", true, 53.0 - 1e-11, 53, 0, 0, 1},
      {"JustBelowWholeMinuteCarries", false, 52.5 - 1e-13, 52, 30, 0, 1},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const TAngleParts Parts = SplitAngle(Case.DecimalMinutes, Case.Angle);
    EXPECT_EQ(Parts.Degrees, Case.Degrees);
    EXPECT_NEAR(Parts.Minutes, Case.Minutes, 1e-9);  // minutes of arc
    EXPECT_NEAR(Parts.Seconds, Case.Seconds, 1e-7);  // seconds of arc
    EXPECT_EQ(Parts.Sign, Case.Sign);
  }
}

// ---------------------------------------------------------------------------
// FormatNumber

TEST_F(CoordinateTextTest, FormatNumberWritesPicturesAndGeneralForm) {
  struct TCase {
    const char* Name;
    int Decimals;
    bool PadZeros;
    double Value;
    const char* Expected;
  };
  // Expected texts: the value rounded by hand; general forms as %.15g writes them.
  const TCase Cases[] = {
      {"NoDecimalsRoundsAndHasNoMark", 0, true, 12.6, "13"},
      {"PaddedKeepsZeros", 3, true, 1.5, "1.500"},
      {"UnpaddedDropsTrailingZeros", 3, false, 1.5, "1.5"},
      {"UnpaddedWholeDropsMark", 3, false, 2.0004, "2"},
      {"UnpaddedKeepsIntegerZeros", 2, false, 100.0, "100"},
      {"NegativeZeroLosesSign", 3, true, -0.0004, "0.000"},
      {"UnpaddedNegativeZeroLosesSign", 2, false, -0.001, "0"},
      {"NegativeKeepsSign", 3, true, -0.0006, "-0.001"},
      {"General", -1, true, 123456.7, "123456.7"},
      {"GeneralFifteenDigits", -1, false, 1.0 / 3.0, "0.333333333333333"},
      {"GeneralSmallUsesExponent", -1, false, 0.00001, "1e-05"},
      {"GeneralNegativeZero", -1, true, -0.0, "0"},
      {"AnyNegativeDecimalsIsGeneral", -5, true, 2.5, "2.5"},
      {"BelowFixedLimitStaysFixed", 3, true, 123456789012.5, "123456789012.500"},
      {"HugeValueUsesGeneralForm", 3, true, 1e20, "1e+20"},
      {"DecimalsCappedAtSeventeen", 40, true, 0.5, "0.50000000000000000"},
      {"NotANumber", 3, true, std::numeric_limits<double>::quiet_NaN(), "nan"},
      {"Infinity", 3, true, -std::numeric_limits<double>::infinity(), "-inf"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    EXPECT_EQ(FormatNumber(Case.Decimals, Case.PadZeros, Case.Value), Case.Expected);
  }
  EXPECT_EQ(FormatNumberUnits("m", 2, true, 1.234), "1.23m");
  EXPECT_EQ(FormatNumberUnits("", 2, false, 1.2), "1.2");
}

// ---------------------------------------------------------------------------
// FormatCoordinate

struct TFormatCase {
  const char* Name;
  TCoordinateType Type;
  int Component;
  int Decimals;
  double Value;
  TCoordinateFormats Formats;
  const char* DatumName;
  const char* Expected;
};

void ExpectFormats(const std::vector<TFormatCase>& Cases) {
  for (const TFormatCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    EXPECT_EQ(FormatCoordinate(Case.Type, Case.Component, Case.Decimals, Case.Value, Case.Formats,
                               Case.DatumName),
              Case.Expected);
  }
}

TEST_F(CoordinateTextTest, FormatCoordinateWritesAngles) {
  // Expected texts worked by hand: fields of the value, then marker, letter and sign rules.
  ExpectFormats({
      {"DmsSymbolsSuffix", ctGeodetic, Latitude, 3, 52.50416666,
       {cfDegreesMinutesSeconds, cfUnitSymbols, cfSuffixLetter}, "", "52\xC2\xB0 30' 15.000\" N"},
      {"DmsSymbolsSuffixCompact", ctGeodetic, Latitude, 3, 52.50416666,
       {cfDegreesMinutesSeconds, cfUnitSymbols, cfSuffixLetter, cfCompact}, "",
       "52\xC2\xB0" "30'15.000\"N"},
      {"DmsLettersPrefixWest", ctGeodetic, Longitude, 2, -1.5,
       {cfDegreesMinutesSeconds, cfUnitLetters, cfPrefixLetter}, "", "W 1D 30M 0.00S"},
      {"DmsLettersCompactPrefix", ctGeodetic, Longitude, 0, -1.5,
       {cfDegreesMinutesSeconds, cfUnitLetters, cfPrefixLetter, cfCompact}, "", "W1D30M0S"},
      {"DecimalMinutesNoMarkersSign", ctGeodetic, Latitude, 3, -Lat523015, {cfDegreesMinutes},
       "", "-52 30.250"},
      {"UnmarkedFieldsKeepBlanksWhenCompact", ctGeodetic, Latitude, 1, Lat523015,
       {cfDegreesMinutesSeconds, cfSuffixLetter, cfCompact}, "", "52 30 15.0N"},
      {"DecimalDegreesSymbols", ctGeodetic, Latitude, 4, 52.5, {cfUnitSymbols}, "",
       "52.5000\xC2\xB0"},
      {"DecimalDegreesLetters", ctGeodetic, Longitude, 1, 2.26, {cfUnitLetters}, "", "2.3D"},
      {"PlusSign", ctGeodetic, Latitude, 1, 52.5, {cfPlusSign}, "", "+52.5"},
      {"NoPlusWithoutOption", ctGeodetic, Latitude, 1, 52.5, {}, "", "52.5"},
      {"ZeroLatitudeSuffixIsSouth", ctGeodetic, Latitude, 2, 0.0, {cfSuffixLetter}, "", "0.00 S"},
      {"ZeroLongitudePrefixIsWest", ctGeodetic, Longitude, 2, 0.0, {cfPrefixLetter}, "",
       "W 0.00"},
      {"ZeroWithPlusSign", ctGeodetic, Latitude, 2, 0.0, {cfPlusSign}, "", "+0.00"},
      {"NegativeShowingZeroHasNoMinus", ctGeodetic, Latitude, 3, -1e-7, {}, "", "0.000"},
      {"NegativeShowingZeroTakesPlus", ctGeodetic, Latitude, 3, -1e-7, {cfPlusSign}, "",
       "+0.000"},
      {"PositiveLongitude", ctGeodetic, Longitude, 1, -1.5, {cfUnitSymbols, cfPositiveLongitude},
       "", "358.5\xC2\xB0"},
      {"PositiveLongitudeLeavesLatitude", ctGeodetic, Latitude, 1, -1.5, {cfPositiveLongitude},
       "", "-1.5"},
      {"SuffixLetterWinsOverPrefix", ctGeodetic, Latitude, 1, 10.0,
       {cfPrefixLetter, cfSuffixLetter}, "", "10.0 N"},
      {"LettersWinOverSigns", ctGeodetic, Latitude, 1, -10.0, {cfSuffixLetter, cfPlusSign}, "",
       "10.0 S"},
      {"DmsAndSymbolsWin", ctGeodetic, Latitude, 0, Lat523015,
       {cfDegreesMinutes, cfDegreesMinutesSeconds, cfUnitLetters, cfUnitSymbols}, "",
       "52\xC2\xB0 30' 15\""},
      {"NegativeDecimalsWriteNone", ctGeodetic, Latitude, -1, 52.4, {}, "", "52"},
  });
}

TEST_F(CoordinateTextTest, FormatCoordinateCarriesFieldsThatRoundToSixty) {
  // Each value is built from the fields it should show; the last field is
  // 0.0004 of its unit short of 60 (or 0.0006 for the one that must not carry).
  const TCoordinateFormats Dms{cfDegreesMinutesSeconds, cfUnitSymbols};
  const TCoordinateFormats Dm{cfDegreesMinutes, cfUnitSymbols};
  ExpectFormats({
      {"SecondsCarryIntoMinutes", ctGeodetic, Latitude, 3, 52 + 30 / 60.0 + 59.9996 / 3600, Dms,
       "", "52\xC2\xB0 31' 0.000\""},
      {"SecondsBelowCarryStay", ctGeodetic, Latitude, 3, 52 + 30 / 60.0 + 59.9994 / 3600, Dms, "",
       "52\xC2\xB0 30' 59.999\""},
      {"MinutesCarryOnIntoDegrees", ctGeodetic, Latitude, 3, 52 + 59 / 60.0 + 59.9996 / 3600, Dms,
       "", "53\xC2\xB0 0' 0.000\""},
      {"WholeSecondsCarry", ctGeodetic, Latitude, 0, 52 + 30 / 60.0 + 59.6 / 3600, Dms, "",
       "52\xC2\xB0 31' 0\""},
      {"DecimalMinutesCarryIntoDegrees", ctGeodetic, Latitude, 4, 52 + 59.99996 / 60, Dm, "",
       "53\xC2\xB0 0.0000'"},
      {"DecimalMinutesBelowCarryStay", ctGeodetic, Latitude, 4, 52 + 59.99994 / 60, Dm, "",
       "52\xC2\xB0 59.9999'"},
      {"NegativeCarryKeepsSign", ctGeodetic, Longitude, 3, -(1 + 59 / 60.0 + 59.9996 / 3600), Dms,
       "", "-2\xC2\xB0 0' 0.000\""},
      // -1e-7 plus 360 is 359 deg 59' 59.99964": every field carries up to 360.
      {"PositiveLongitudeCarriesToFullCircle", ctGeodetic, Longitude, 3, -1e-7,
       {cfDegreesMinutesSeconds, cfUnitSymbols, cfPositiveLongitude, cfSuffixLetter}, "",
       "360\xC2\xB0 0' 0.000\" E"},
  });
}

TEST_F(CoordinateTextTest, FormatCoordinateWritesMetricComponents) {
  // Expected texts: the value rounded by hand, then the letter and height rules.
  ExpectFormats({
      {"CartesianPrefixWinsOverSuffix", ctCartesian, 2, 3, 4966824.5234,
       {cfPrefixLetter, cfSuffixLetter}, "", "Z 4966824.523"},
      {"CartesianSuffix", ctCartesian, 0, 1, -12.34, {cfSuffixLetter}, "", "-12.3 X"},
      {"CartesianGeneral", ctCartesian, 1, -1, -3980581.2105, {}, "", "-3980581.2105"},
      {"CartesianIgnoresAngleOptions", ctCartesian, 0, 2, -1.5,
       {cfPlusSign, cfDegreesMinutesSeconds, cfUnitSymbols}, "", "-1.50"},
      {"EastingCompactPrefix", ctProjected, 0, 2, 400000.0, {cfPrefixLetter, cfCompact}, "",
       "E400000.00"},
      {"NorthingPadded", ctProjected, 1, 3, 400000.0, {}, "", "400000.000"},
      {"NorthingSuffix", ctProjected, 1, 0, 654321.4, {cfSuffixLetter}, "", "654321 N"},
      {"HeightUnitsAndDatum", ctProjected, Height, 3, 12.345, {cfHeightUnits, cfDatumSuffix},
       "ODN", "12.345m [ODN]"},
      {"HeightCompact", ctProjected, Height, 3, 12.345,
       {cfHeightUnits, cfDatumSuffix, cfCompact}, "ODN", "12.345m[ODN]"},
      {"GeodeticHeightDatumWithoutUnits", ctGeodetic, Height, 1, -3.24, {cfDatumSuffix},
       "Malin Head", "-3.2 [Malin Head]"},
      {"HeightEmptyDatumName", ctGeodetic, Height, 3, 12.345, {cfDatumSuffix}, "", "12.345"},
      {"HeightDatumNeedsOption", ctGeodetic, Height, 3, 12.345, {cfHeightUnits}, "ODN",
       "12.345m"},
      {"HeightTakesNoLetter", ctProjected, Height, 0, 7.0, {cfPrefixLetter}, "", "7"},
      {"UnknownComponentHasNoLetter", ctCartesian, 3, 1, 1.0, {cfPrefixLetter}, "", "1.0"},
  });
}

// ---------------------------------------------------------------------------
// ParseCoordinate

struct TParseCase {
  const char* Name;
  const char* Text;
  TCoordinateType Type;
  int Component;
  double Expected;
};

void ExpectParses(const std::vector<TParseCase>& Cases, double Tolerance) {
  for (const TParseCase& Case : Cases) {
    SCOPED_TRACE(std::string(Case.Name) + ": " + Case.Text);
    const std::optional<double> Value = Parse(Case.Text, Case.Type, Case.Component);
    ASSERT_TRUE(Value.has_value());
    EXPECT_NEAR(*Value, Case.Expected, Tolerance);
  }
}

TEST_F(CoordinateTextTest, ParseCoordinateReadsAngles) {
  // Expected values: degrees + minutes / 60 + seconds / 3600 of the fields typed.
  ExpectParses(
      {
          {"SymbolsSuffix", "52\xC2\xB0" "30'15\"N", ctGeodetic, Latitude, Lat523015},
          {"Latin1DegreeSign", "52\xB0" "30'15\"N", ctGeodetic, Latitude, Lat523015},
          {"BlanksSuffix", "52 30 15 N", ctGeodetic, Latitude, Lat523015},
          {"PrefixNoBlank", "N52 30 15", ctGeodetic, Latitude, Lat523015},
          {"LettersOnly", "52D30M15S", ctGeodetic, Latitude, Lat523015},
          {"LowerCaseLetters", "52d30m15s n", ctGeodetic, Latitude, Lat523015},
          {"PlusDecimalDegrees", "+52.504166666667", ctGeodetic, Latitude, Lat523015},
          {"TabsAndOuterBlanks", " \t52 30\t15 N \r\n", ctGeodetic, Latitude, Lat523015},
          {"SouthSuffix", "52 30 15 S", ctGeodetic, Latitude, -Lat523015},
          {"SouthPrefix", "S 52 30 15", ctGeodetic, Latitude, -Lat523015},
          {"MinusSign", "-52 30 15", ctGeodetic, Latitude, -Lat523015},
          {"SecondsMarkerThenSouth", "52D30M15SS", ctGeodetic, Latitude, -Lat523015},
          {"SymbolsSouthCompact", "52\xC2\xB0" "30'15.000\"S", ctGeodetic, Latitude, -Lat523015},
          {"SecondsMarkerAfterDecimals", "52D30M15.0S", ctGeodetic, Latitude, Lat523015},
          // A final S that does not directly follow the seconds can only be South.
          {"SeparatedFinalSIsSouth", "52D 30M 15 S", ctGeodetic, Latitude, -Lat523015},
          {"DecimalMinutesSouth", "52\xC2\xB0" "30.25'S", ctGeodetic, Latitude, -Lat523015},
          {"DecimalMinutesLettersSouth", "52D 30.25M S", ctGeodetic, Latitude, -Lat523015},
          {"DegreesAndMinutes", "52 30.25", ctGeodetic, Latitude, Lat523015},
          {"OnlyLetterIsZero", "N", ctGeodetic, Latitude, 0.0},
          {"OnlySignIsZero", "-", ctGeodetic, Latitude, 0.0},
          {"NorthPole", "90", ctGeodetic, Latitude, 90.0},
          {"SouthPole", "90 0 0 S", ctGeodetic, Latitude, -90.0},
          {"LongitudeBeyondNinety", "91", ctGeodetic, Longitude, 91.0},
          {"LongitudeUpTo360", "350", ctGeodetic, Longitude, 350.0},
          {"LongitudeFullCircle", "360", ctGeodetic, Longitude, 360.0},
          {"WestPrefix180", "W 180", ctGeodetic, Longitude, -180.0},
          {"WestSuffix", "1\xC2\xB0 30' W", ctGeodetic, Longitude, -1.5},
          {"EastPrefix", "E1.5", ctGeodetic, Longitude, 1.5},
      },
      AngleTolerance);
}

TEST_F(CoordinateTextTest, ParseCoordinateReadsMetricComponents) {
  // Expected values: the number typed.
  ExpectParses(
      {
          {"HeightWithDatumLabel", "12.345 m [Ordnance Datum Newlyn]", ctProjected, Height,
           12.345},
          {"HeightUpperUnitNegative", "-3.2M", ctGeodetic, Height, -3.2},
          {"HeightCompact", "12.345m[ODN]", ctGeodetic, Height, 12.345},
          {"HeightPlain", " 7 ", ctProjected, Height, 7.0},
          {"HeightExponent", "1e-05m", ctProjected, Height, 1e-5},
          {"EastingPrefix", "E 123456.7", ctProjected, 0, 123456.7},
          {"EastingUnit", "123456.7 m", ctProjected, 0, 123456.7},
          {"EastingLowerSuffix", "123456.7e", ctProjected, 0, 123456.7},
          {"EastingExponent", "1e5", ctProjected, 0, 100000.0},
          {"EastingSignedExponentWithLetter", "E1E+5", ctProjected, 0, 100000.0},
          {"NorthingLower", "n 654321", ctProjected, 1, 654321.0},
          {"CartesianPrefix", "X 3980581.21", ctCartesian, 0, 3980581.21},
          {"CartesianNegativeUnit", "-12.5 m", ctCartesian, 1, -12.5},
          {"CartesianLowerLetter", "z4966824.52", ctCartesian, 2, 4966824.52},
          {"CartesianExponent", "1e-05 Y", ctCartesian, 1, 1e-5},
      },
      MetricTolerance);
}

TEST_F(CoordinateTextTest, ParseCoordinateRefusesInvalidText) {
  struct TCase {
    const char* Name;
    std::string Text;
    TCoordinateType Type;
    int Component;
  };
  const TCase Cases[] = {
      {"Empty", "", ctGeodetic, Latitude},
      {"OnlyBlanks", " \t ", ctGeodetic, Latitude},
      {"DecimalsBeforeLastField", "52.5 30", ctGeodetic, Latitude},
      {"MinutesSixty", "52 60 0", ctGeodetic, Latitude},
      {"SecondsSixty", "52 30 60", ctGeodetic, Latitude},
      {"NegativeMinutes", "52 -30", ctGeodetic, Latitude},
      {"LatitudeBeyondPole", "90 0 1", ctGeodetic, Latitude},
      {"Latitude91", "91", ctGeodetic, Latitude},
      {"LongitudeBelow180", "-181", ctGeodetic, Longitude},
      {"LongitudeAbove360", "360.5", ctGeodetic, Longitude},
      {"FirstMarkerNotDegrees", "30M 15S", ctGeodetic, Latitude},
      {"MarkersOutOfOrder", "52D 15S 30M", ctGeodetic, Latitude},
      {"RepeatedMarker", "52DD", ctGeodetic, Latitude},
      {"MarkerWithoutNumber", "D", ctGeodetic, Latitude},
      {"FourWords", "52 30 15 10", ctGeodetic, Latitude},
      {"LettersAtBothEnds", "N52 30 15 N", ctGeodetic, Latitude},
      {"OtherComponentsLetter", "52 30 15 E", ctGeodetic, Latitude},
      {"LatitudeLetterOnLongitude", "1 30 N", ctGeodetic, Longitude},
      {"ForeignLetter", "52 30 15 X", ctGeodetic, Latitude},
      {"TrailingDecimalMark", "52.", ctGeodetic, Latitude},
      {"ExponentInAngle", "1e1", ctGeodetic, Latitude},
      {"CommaWithPointFormat", "52,5", ctGeodetic, Latitude},
      {"LoneDegreeLeadByte", "52\xC2", ctGeodetic, Latitude},
      {"OtherMultiByteCharacter", "52\xC3\xB0", ctGeodetic, Latitude},
      {"HeightOnlyLabel", "[12]", ctGeodetic, Height},
      {"HeightDoubleUnit", "12 mm", ctProjected, Height},
      {"HeightBlankInside", "12 3", ctProjected, Height},
      {"NegativeEasting", "-5", ctProjected, 0},
      {"NegativeNorthing", "N -5", ctProjected, 1},
      {"OnlyEastingLetter", "E", ctProjected, 0},
      {"OnlyUnit", "m", ctProjected, 1},
      {"CartesianOnlyLetter", "X", ctCartesian, 0},
      {"CartesianTwoMarks", "1.2.3", ctCartesian, 0},
      {"CartesianComponentThree", "1", ctCartesian, 3},
      {"ProjectedComponentMinusOne", "1", ctProjected, -1},
      {"GeodeticComponentThree", "1", ctGeodetic, 3},
      // 3 is the one value beyond the enumerators that the type can hold.
      {"UnknownType", "1", static_cast<TCoordinateType>(3), 0},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    EXPECT_FALSE(Parse(Case.Text, Case.Type, Case.Component).has_value());
  }
}

// ---------------------------------------------------------------------------
// Round trips: whatever the formatter writes, the reader takes back.

// Half a unit of the last shown field, in degrees.
double AngleDisplayTolerance(TCoordinateFormats Formats, int Decimals) {
  double Unit = std::pow(10.0, -Decimals);
  if (Formats.Contains(cfDegreesMinutesSeconds)) {
    Unit /= 3600.0;
  } else if (Formats.Contains(cfDegreesMinutes)) {
    Unit /= 60.0;
  }
  return Unit / 2.0 + 1e-12;
}

std::vector<TCoordinateFormats> AngleFormatSets() {
  const std::array<std::optional<TCoordinateFormat>, 3> Styles = {
      std::nullopt, cfDegreesMinutes, cfDegreesMinutesSeconds};
  const std::array<std::optional<TCoordinateFormat>, 3> Markers = {std::nullopt, cfUnitLetters,
                                                                   cfUnitSymbols};
  const std::array<std::optional<TCoordinateFormat>, 4> Signs = {std::nullopt, cfPlusSign,
                                                                 cfPrefixLetter, cfSuffixLetter};
  std::vector<TCoordinateFormats> Sets;
  for (const auto& Style : Styles)
    for (const auto& Marker : Markers)
      for (const auto& Sign : Signs)
        for (const bool Compact : {false, true}) {
          TCoordinateFormats Formats;
          for (const auto& Member : {Style, Marker, Sign})
            if (Member) Formats.Include(*Member);
          if (Compact) Formats.Include(cfCompact);
          Sets.push_back(Formats);
        }
  return Sets;
}

void ExpectAnglesRoundTrip() {
  // Values near the poles, the date line, the full circle and zero, where
  // carries and sign rules meet the reader's range checks.
  const std::vector<double> Latitudes = {0.0,        1e-9,        -1e-9, Lat523015, -Lat523015,
                                         89.9999999, -89.9999999, 90.0,  -90.0,     -0.5};
  const std::vector<double> Longitudes = {0.0,    -1e-7, -1.5,         179.99999999,
                                          -180.0, 350.0, 359.99999999, 360.0};
  for (const TCoordinateFormats Formats : AngleFormatSets()) {
    for (const int Decimals : {0, 2, 5}) {
      const double Tolerance = AngleDisplayTolerance(Formats, Decimals);
      for (const int Component : {Longitude, Latitude}) {
        for (const double Value : Component == Longitude ? Longitudes : Latitudes) {
          const std::string Text =
              FormatCoordinate(ctGeodetic, Component, Decimals, Value, Formats);
          SCOPED_TRACE(Text);
          const std::optional<double> Back = Parse(Text, ctGeodetic, Component);
          ASSERT_TRUE(Back.has_value());
          EXPECT_NEAR(*Back, Value, Tolerance);
        }
      }
    }
  }
}

TEST_F(CoordinateTextTest, AnglesRoundTripInEveryStyle) { ExpectAnglesRoundTrip(); }

TEST_F(CoordinateTextTest, PositiveLongitudesRoundTrip) {
  const TCoordinateFormats Formats{cfPositiveLongitude, cfDegreesMinutesSeconds, cfUnitSymbols};
  for (const double Value : {-180.0, -1.5, -1e-7}) {
    const std::string Text = FormatCoordinate(ctGeodetic, Longitude, 3, Value, Formats);
    SCOPED_TRACE(Text);
    const std::optional<double> Back = Parse(Text, ctGeodetic, Longitude);
    ASSERT_TRUE(Back.has_value());
    EXPECT_NEAR(*Back, Value + 360.0, AngleDisplayTolerance(Formats, 3));
  }
}

// Random texts from the bytes the readers care about, plus a few others:
// every text a reader accepts must format and read back to nearly the same
// value. Under the sanitizers this also checks that no reader leaves its text.
void ExpectAcceptedTextsRoundTrip() {
  std::string Alphabet = "0123456789.., \t+-DMSdmsNEWSXYZe'\"[]\xC2\xB0\xFF";
  Alphabet += '\0';
  std::mt19937 Random(20240501);  // fixed seed: the same texts every run
  std::uniform_int_distribution<std::size_t> Length(0, 14);
  std::uniform_int_distribution<std::size_t> Pick(0, Alphabet.size() - 1);
  struct TTarget {
    TCoordinateType Type;
    int Component;
  };
  const TTarget Targets[] = {{ctCartesian, 0}, {ctCartesian, 2}, {ctProjected, 0},
                             {ctProjected, 1}, {ctProjected, 2}, {ctGeodetic, 0},
                             {ctGeodetic, 1},  {ctGeodetic, 2}};
  const TCoordinateFormats FormatSets[] = {
      {},
      {cfDegreesMinutesSeconds, cfUnitSymbols, cfSuffixLetter, cfCompact, cfHeightUnits,
       cfDatumSuffix},
      {cfDegreesMinutes, cfUnitLetters, cfPrefixLetter, cfPlusSign, cfHeightUnits},
  };
  int Accepted = 0;
  for (int Round = 0; Round < 20000; ++Round) {
    std::string Text;
    for (std::size_t I = Length(Random); I > 0; --I) Text += Alphabet[Pick(Random)];
    for (const TTarget& Target : Targets) {
      double Value = 0.0;
      if (!ParseCoordinate(Text, Value, Target.Type, Target.Component)) continue;
      ++Accepted;
      for (const TCoordinateFormats& Formats : FormatSets) {
        for (const int Decimals : {-1, 0, 4}) {
          const std::string Out =
              FormatCoordinate(Target.Type, Target.Component, Decimals, Value, Formats, "ODN");
          double Back = 0.0;
          ASSERT_TRUE(ParseCoordinate(Out, Back, Target.Type, Target.Component))
              << "read " << Value << " from '" << Text << "', wrote '" << Out << "'";
          const bool Angle = Target.Type == ctGeodetic && Target.Component != Height;
          // Metric texts: half a unit of the last decimal, or 15 significant digits.
          const double Tolerance =
              Angle ? AngleDisplayTolerance(Formats, Decimals < 0 ? 0 : Decimals)
                    : (Decimals < 0 ? 0.0 : 0.5 * std::pow(10.0, -Decimals)) +
                          std::fabs(Value) * 1e-14;
          EXPECT_NEAR(Back, Value, Tolerance) << "'" << Text << "' -> '" << Out << "'";
        }
      }
    }
  }
  EXPECT_GT(Accepted, 0) << "the generator produced no readable text";
}

TEST_F(CoordinateTextTest, AcceptedTextsRoundTrip) { ExpectAcceptedTextsRoundTrip(); }

TEST_F(CoordinateTextTest, HugeMetricValuesRoundTrip) {
  // A long digit string is a valid number; its text must stay readable.
  const std::string Digits(40, '9');
  for (const int Component : {0, 1}) {
    double Value = 0.0;
    ASSERT_TRUE(ParseCoordinate(Digits, Value, ctProjected, Component));
    const std::string Text =
        FormatCoordinate(ctProjected, Component, 3, Value, {cfPrefixLetter, cfCompact});
    SCOPED_TRACE(Text);
    double Back = 0.0;
    ASSERT_TRUE(ParseCoordinate(Text, Back, ctProjected, Component));
    EXPECT_NEAR(Back, Value, Value * 1e-14);
  }
}

// Doubles above 1.79769313486231e308 (up to DBL_MAX, which reads from its own
// 17-digit text) would round to a 15-digit text beyond the double range that
// no reader takes back; they are written rounded toward zero in the 15th
// digit instead (found by fuzzing).
TEST_F(CoordinateTextTest, LargestDoublesStayReadable) {
  const double Largest = std::numeric_limits<double>::max();
  EXPECT_EQ(FormatNumber(-1, false, Largest), "1.79769313486231e+308");
  EXPECT_EQ(FormatNumber(3, true, -Largest), "-1.79769313486231e+308");
  EXPECT_EQ(FormatNumber(-1, false, 1.7976931348623e308), "1.7976931348623e+308");
  for (const TCoordinateType Type : {ctCartesian, ctProjected, ctGeodetic}) {
    const int Component = Type == ctGeodetic ? 2 : 1;
    double Value = 0.0;
    ASSERT_TRUE(ParseCoordinate("1.7976931348623157e308", Value, Type, Component));
    const std::string Text = FormatCoordinate(Type, Component, 10, Value, {cfHeightUnits});
    SCOPED_TRACE(Text);
    double Back = 0.0;
    ASSERT_TRUE(ParseCoordinate(Text, Back, Type, Component));
    EXPECT_NEAR(Back, Value, Value * 1e-14);  // one unit in the 15th digit
  }
}

// ---------------------------------------------------------------------------
// Decimal comma

TEST_F(CoordinateTextCommaTest, WritesTheDecimalComma) {
  EXPECT_EQ(FormatNumber(3, true, 1234.5), "1234,500");
  EXPECT_EQ(FormatNumber(3, false, 1234.5), "1234,5");
  EXPECT_EQ(FormatNumber(-1, false, 0.25), "0,25");
  EXPECT_EQ(FormatNumber(2, true, -0.001), "0,00");
  ExpectFormats({
      {"Dms", ctGeodetic, Latitude, 3, 52.50416666,
       {cfDegreesMinutesSeconds, cfUnitSymbols, cfSuffixLetter}, "", "52\xC2\xB0 30' 15,000\" N"},
      {"DecimalMinutes", ctGeodetic, Latitude, 2, -Lat523015, {cfDegreesMinutes}, "",
       "-52 30,25"},
      {"Height", ctGeodetic, Height, 2, 12.345, {cfHeightUnits}, "", "12,35m"},
  });
}

TEST_F(CoordinateTextCommaTest, ReadsTheDecimalCommaOnly) {
  ExpectParses(
      {
          {"DmsSeconds", "52\xC2\xB0" "30'15,5\"N", ctGeodetic, Latitude,
           52 + 30 / 60.0 + 15.5 / 3600},
          {"DecimalDegrees", "52,5", ctGeodetic, Latitude, 52.5},
          {"DecimalMinutesSouth", "52D 30,25M S", ctGeodetic, Latitude, -Lat523015},
      },
      AngleTolerance);
  ExpectParses(
      {
          {"Height", "12,345 m [ODN]", ctGeodetic, Height, 12.345},
          {"Easting", "E 123456,7", ctProjected, 0, 123456.7},
          {"Cartesian", "-1,5 X", ctCartesian, 0, -1.5},
      },
      MetricTolerance);
  // The point is the thousands separator here: a text holding it is no number.
  EXPECT_FALSE(Parse("52.5", ctGeodetic, Latitude).has_value());
  EXPECT_FALSE(Parse("52 30 15.5", ctGeodetic, Latitude).has_value());
  EXPECT_FALSE(Parse("1.234,5", ctProjected, 0).has_value());
  EXPECT_FALSE(Parse("52,5 30", ctGeodetic, Latitude).has_value());
}

TEST_F(CoordinateTextCommaTest, AnglesRoundTripInEveryStyle) { ExpectAnglesRoundTrip(); }

TEST_F(CoordinateTextCommaTest, AcceptedTextsRoundTrip) { ExpectAcceptedTextsRoundTrip(); }

// The regional settings of the environment, read at start-up.
TEST_F(CoordinateTextTest, FollowsGermanRegionalSettings) {
  const char* const German = "de_DE.UTF-8";
  const char* const Saved = std::getenv("LC_ALL");
  const std::optional<std::string> SavedLcAll =
      Saved != nullptr ? std::optional<std::string>(Saved) : std::nullopt;
  if (std::setlocale(LC_ALL, German) == nullptr) GTEST_SKIP() << German << " is not installed";
  std::setlocale(LC_ALL, "C");
  setenv("LC_ALL", German, 1);
  InitializeNumberFormat();
  if (SavedLcAll) {
    setenv("LC_ALL", SavedLcAll->c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
  std::setlocale(LC_ALL, "C");

  EXPECT_EQ(NumberFormat().DecimalSeparator, ',');
  EXPECT_EQ(FormatCoordinate(ctProjected, 0, 2, 400000.126, {cfPrefixLetter}), "E 400000,13");
  EXPECT_EQ(FormatCoordinate(ctGeodetic, Latitude, 2, Lat523015, {cfDegreesMinutes}),
            "52 30,25");
  EXPECT_NEAR(Parse("52 30 15,0 N", ctGeodetic, Latitude).value_or(0.0), Lat523015,
              AngleTolerance);
  EXPECT_FALSE(Parse("400.000,5", ctProjected, 0).has_value());
}

}  // namespace
}  // namespace veltrana
