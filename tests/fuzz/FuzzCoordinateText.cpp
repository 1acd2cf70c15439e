// libFuzzer target: ParseCoordinate on arbitrary text for every coordinate
// type and component, under the decimal point and the decimal comma; every
// value it accepts is written by FormatCoordinate under every display option
// set that matters for that component, and the text must read back to the
// value within the display rounding. FormatCoordinate also gets arbitrary
// doubles (NaN, infinities, huge values), on which it must not fail.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "CoordinateText.h"
#include "FuzzSupport.h"
#include "NumberText.h"

namespace {

using namespace veltrana;

// The number formats a user's locale gives: point or comma, with or without
// grouping (a blank groups digits in some locales).
constexpr std::array<TNumberFormat, 5> NumberFormats = {{
    {'.', '\0'},
    {',', '.'},
    {',', ' '},
    {'.', ','},
    {',', '\0'},
}};

constexpr std::array<std::string_view, 3> DatumNames = {"", "ODN", "Malin Head"};

constexpr int MaxDecimals = 17;
constexpr double DegreesPerMinute = 1.0 / 60.0;
constexpr double DegreesPerSecond = 1.0 / 3600.0;
constexpr double FullCircle = 360.0;
// Degrees a split may move a value to reach a whole degree or minute (the
// split absorbs up to 1e-10 of representation error), with room for the
// rounding of degrees + minutes / 60 + seconds / 3600 when read back.
constexpr double AngleSlack = 2e-10;
// Values written in the general form keep 15 significant digits.
constexpr double GeneralRelativeError = 1e-14;
constexpr double FixedMagnitudeLimit = 1e15;
// Relative error of reading a decimal text back into a double (a few ulps).
constexpr double ReadRelativeError = 4.0 * 2.220446049250313e-16;

// The option bits each kind of component reacts to; sets differing only in
// other bits give the same text.
constexpr std::array<TCoordinateFormat, 9> AngleOptions = {
    cfPlusSign,   cfPrefixLetter,  cfSuffixLetter,  cfDegreesMinutes,   cfDegreesMinutesSeconds,
    cfUnitLetters, cfUnitSymbols, cfCompact, cfPositiveLongitude};
constexpr std::array<TCoordinateFormat, 3> NumberOptions = {cfPrefixLetter, cfSuffixLetter, cfCompact};
constexpr std::array<TCoordinateFormat, 3> HeightOptions = {cfHeightUnits, cfDatumSuffix, cfCompact};

enum class TKind { Angle, Height, Number };

TKind KindOf(TCoordinateType Type, int Component) {
  if ((Type == ctGeodetic || Type == ctProjected) && Component == 2) return TKind::Height;
  if (Type == ctGeodetic) return TKind::Angle;
  return TKind::Number;
}

template <std::size_t N>
TCoordinateFormats Subset(const std::array<TCoordinateFormat, N>& Options, std::uint32_t Mask) {
  TCoordinateFormats Formats;
  for (std::size_t K = 0; K < N; ++K)
    if ((Mask >> K) & 1U) Formats.Include(Options[K]);
  return Formats;
}

double Tolerance(TKind Kind, int Decimals, double Value, TCoordinateFormats Formats) {
  const double Magnitude = std::fabs(Value);
  if (Kind == TKind::Angle) {
    const int Places = std::clamp(Decimals, 0, MaxDecimals);
    double Unit = 1.0;
    if (Formats.Contains(cfDegreesMinutesSeconds)) {
      Unit = DegreesPerSecond;
    } else if (Formats.Contains(cfDegreesMinutes)) {
      Unit = DegreesPerMinute;
    }
    return 0.5 * std::pow(10.0, -Places) * Unit + AngleSlack + ReadRelativeError * FullCircle;
  }
  if (Decimals < 0 || !(Magnitude < FixedMagnitudeLimit)) return GeneralRelativeError * Magnitude;
  return 0.5 * std::pow(10.0, -std::min(Decimals, MaxDecimals)) + ReadRelativeError * Magnitude;
}

std::string Describe(TCoordinateType Type, int Component, int Decimals, double Value, TCoordinateFormats Formats,
                     const std::string& Text) {
  char Buffer[160];
  std::snprintf(Buffer, sizeof Buffer, "type %d component %d decimals %d value %.17g formats 0x%x text ",
                static_cast<int>(Type), Component, Decimals, Value, static_cast<unsigned>(Formats.Bits()));
  return Buffer + ("\"" + Text + "\"");
}

void CheckRoundTrip(TCoordinateType Type, int Component, int Decimals, double Value, TCoordinateFormats Formats,
                    std::string_view DatumName) {
  const std::string Text = FormatCoordinate(Type, Component, Decimals, Value, Formats, DatumName);
  VELTRANA_FUZZ_CHECK(!Text.empty(), Describe(Type, Component, Decimals, Value, Formats, Text));
  VELTRANA_FUZZ_CHECK(Text.front() != ' ' && Text.back() != ' ',
                      Describe(Type, Component, Decimals, Value, Formats, Text));
  double Back = std::nan("");
  VELTRANA_FUZZ_CHECK(ParseCoordinate(Text, Back, Type, Component),
                      "does not read back: " + Describe(Type, Component, Decimals, Value, Formats, Text));
  const TKind Kind = KindOf(Type, Component);
  double Expected = Value;
  if (Kind == TKind::Angle && Component == 0 && Formats.Contains(cfPositiveLongitude) && Value < 0.0)
    Expected = Value + FullCircle;
  const double Error = std::fabs(Back - Expected);
  char Detail[64];
  std::snprintf(Detail, sizeof Detail, " read back %.17g", Back);
  VELTRANA_FUZZ_CHECK(Error <= Tolerance(Kind, Decimals, Expected, Formats),
                      Describe(Type, Component, Decimals, Value, Formats, Text) + Detail);
}

void FormatUnderEveryOptionSet(TCoordinateType Type, int Component, int Decimals, double Value,
                               std::string_view DatumName) {
  switch (KindOf(Type, Component)) {
    case TKind::Angle: {
      // cfPositiveLongitude only acts on longitudes.
      const std::uint32_t Sets = Component == 0 ? (1U << AngleOptions.size()) : (1U << (AngleOptions.size() - 1));
      for (std::uint32_t Mask = 0; Mask < Sets; ++Mask)
        CheckRoundTrip(Type, Component, Decimals, Value, Subset(AngleOptions, Mask), DatumName);
      break;
    }
    case TKind::Height:
      for (std::uint32_t Mask = 0; Mask < (1U << HeightOptions.size()); ++Mask)
        CheckRoundTrip(Type, Component, Decimals, Value, Subset(HeightOptions, Mask), DatumName);
      break;
    case TKind::Number:
      for (std::uint32_t Mask = 0; Mask < (1U << NumberOptions.size()); ++Mask)
        CheckRoundTrip(Type, Component, Decimals, Value, Subset(NumberOptions, Mask), DatumName);
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  FuzzedDataProvider Input(Data, Size);
  SetNumberFormat(NumberFormats[Input.ConsumeIntegralInRange<std::size_t>(0, NumberFormats.size() - 1)]);
  const int Decimals = Input.ConsumeIntegralInRange<int>(-2, MaxDecimals + 2);
  const std::string_view DatumName =
      DatumNames[Input.ConsumeIntegralInRange<std::size_t>(0, DatumNames.size() - 1)];
  const auto AnyFormats = TCoordinateFormats::FromBits(Input.ConsumeIntegral<std::uint32_t>());
  double Raw = 0.0;
  const std::uint64_t RawBits = Input.ConsumeIntegral<std::uint64_t>();
  std::memcpy(&Raw, &RawBits, sizeof Raw);
  const std::string Text = Input.ConsumeRemainingBytesAsString();

  constexpr std::array<TCoordinateType, 3> Types = {ctCartesian, ctGeodetic, ctProjected};
  for (TCoordinateType Type : Types) {
    // Components outside 0..2 are refused.
    for (int Component : {-1, 3}) {
      double Untouched = 1.0;
      VELTRANA_FUZZ_CHECK(!ParseCoordinate(Text, Untouched, Type, Component) && Untouched == 1.0,
                          "component outside 0..2 accepted");
    }
    for (int Component = 0; Component < 3; ++Component) {
      // Any double formats without failing, under any option set.
      (void)FormatCoordinate(Type, Component, Decimals, Raw, AnyFormats, DatumName);

      constexpr double Sentinel = -12345.678;
      double Value = Sentinel;
      if (!ParseCoordinate(Text, Value, Type, Component)) {
        VELTRANA_FUZZ_CHECK(Value == Sentinel, "a refused text changed the value");
        continue;
      }
      VELTRANA_FUZZ_CHECK(std::isfinite(Value), "accepted a non-finite value");
      FormatUnderEveryOptionSet(Type, Component, Decimals, Value, DatumName);
      CheckRoundTrip(Type, Component, Decimals, Value, AnyFormats, DatumName);
    }
  }
  (void)FormatNumber(Decimals, (RawBits & 1U) != 0, Raw);
  return 0;
}
