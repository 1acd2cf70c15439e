// Text forms of coordinate components: writing one component of a
// TCoordinates under a set of display options, and reading typed or filed
// text back into a number.
//
// Shared state: every function here reads the process-wide number format of
// NumberText.h (its decimal separator, and for reading its thousands
// separator); none changes it. Nothing here uses the C library's locale.
#pragma once

#include "CoordinateSystems.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace veltrana {

// Display options, in their stored order.
enum TCoordinateFormat : std::uint8_t {
  cfPlusSign,               // angles: "+" before non-negative values when signs are used
  cfPrefixLetter,           // hemisphere letter (angles) or axis letter before the value
  cfSuffixLetter,           // hemisphere letter or axis letter after the value
  cfDegreesMinutes,         // angles as degrees and decimal minutes
  cfDegreesMinutesSeconds,  // angles as degrees, minutes and decimal seconds
  cfUnitLetters,            // angle unit markers "D", "M", "S"
  cfUnitSymbols,            // angle unit markers degree sign, "'", "\""
  cfCompact,                // no blanks inside or around the value
  cfPositiveLongitude,      // longitudes from 0 to 360 degrees instead of -180 to 180
  cfHeightUnits,            // "m" after heights
  cfDatumSuffix,            // the vertical datum name in square brackets after heights
};

// Number of members of TCoordinateFormat.
inline constexpr int CoordinateFormatCount = cfDatumSuffix + 1;

// A set of display options, e.g. TCoordinateFormats{cfDegreesMinutesSeconds, cfUnitSymbols}.
// Values outside the enumeration are ignored by every operation.
class TCoordinateFormats {
 public:
  constexpr TCoordinateFormats() = default;
  constexpr TCoordinateFormats(std::initializer_list<TCoordinateFormat> Members) {
    for (TCoordinateFormat Member : Members) Include(Member);
  }

  constexpr bool Contains(TCoordinateFormat Member) const { return (FBits & Bit(Member)) != 0; }
  constexpr TCoordinateFormats& Include(TCoordinateFormat Member) {
    FBits |= Bit(Member);
    return *this;
  }
  constexpr TCoordinateFormats& Exclude(TCoordinateFormat Member) {
    FBits &= ~Bit(Member);
    return *this;
  }
  constexpr bool Empty() const { return FBits == 0; }

  // Bit k stands for the member numbered k (for storing the set).
  constexpr std::uint32_t Bits() const { return FBits; }
  static constexpr TCoordinateFormats FromBits(std::uint32_t Bits) {
    TCoordinateFormats Formats;
    Formats.FBits = Bits & AllBits;
    return Formats;
  }

  friend constexpr bool operator==(TCoordinateFormats, TCoordinateFormats) = default;

 private:
  static constexpr std::uint32_t AllBits = (std::uint32_t{1} << CoordinateFormatCount) - 1;
  static constexpr std::uint32_t Bit(TCoordinateFormat Member) {
    return Member < CoordinateFormatCount ? std::uint32_t{1} << Member : 0;
  }

  std::uint32_t FBits = 0;
};

// An angle split into whole degrees, minutes and seconds (or whole degrees
// and decimal minutes). Degrees, Minutes and Seconds are non-negative; Sign
// is +1, -1 or 0 (zero, or not a number).
struct TAngleParts {
  double Degrees = 0.0;
  double Minutes = 0.0;
  double Seconds = 0.0;
  double Sign = 0.0;
};

// Splits Angle (decimal degrees, any value) into whole degrees and either
// decimal minutes (DecimalMinutes, Seconds 0) or whole minutes and decimal
// seconds. A value within 1e-10 below a whole degree or minute counts as that
// whole degree or minute, absorbing the representation error of doubles.
// The split is exact: it does no display rounding (FormatCoordinate does).
TAngleParts SplitAngle(bool DecimalMinutes, double Angle);

// Value as text with the process-wide decimal separator and no grouping.
// Decimals < 0 (the general format, -1): up to 15 significant digits in the
// shortest form, with an exponent for very small or large values.
// Decimals >= 0 (at most 17 are written): at least one integer digit, Value
// rounded to Decimals places; PadZeros writes every decimal, otherwise
// trailing zero decimals are dropped; the separator only stands before a
// written decimal digit. Values of 1e15 or more in magnitude, where a double
// holds no more than the 15 significant digits, are written in the general
// format, so the text stays readable by ParseCoordinate; for the same reason
// a magnitude above 1.79769313486231e308, whose 15-digit rounding would lie
// beyond the double range, is written as that value. A text that shows
// zero has no "-". Non-finite values give "nan", "inf" or "-inf". Never fails.
std::string FormatNumber(int Decimals, bool PadZeros, double Value);
// FormatNumber's text appended to Out (no temporary string).
void AppendNumber(std::string& Out, int Decimals, bool PadZeros, double Value);

// FormatNumber followed directly (no blank) by Units.
std::string FormatNumberUnits(std::string_view Units, int Decimals, bool PadZeros, double Value);

// Component (0 = X, 1 = Y, 2 = Z of TCoordinates; not the presented
// position) of a point of CoordinateType as display text.
// - Cartesian components and projected eastings (0) and northings (1): the
//   number with Decimals padded (FormatNumber), the axis letter "X", "Y", "Z"
//   or "E", "N" before it (cfPrefixLetter) or else after it (cfSuffixLetter).
// - Heights (component 2 of geodetic and projected points), metres: the
//   number, "m" directly after it with cfHeightUnits, "[" DatumName "]" after
//   it with cfDatumSuffix when DatumName is not empty.
// - Longitude (0) and latitude (1) of geodetic points, Value in decimal
//   degrees: decimal degrees, degrees and decimal minutes
//   (cfDegreesMinutes) or degrees, minutes and seconds
//   (cfDegreesMinutesSeconds, which wins); markers from cfUnitSymbols (the
//   UTF-8 degree sign, "'", "\"") or else cfUnitLetters ("D", "M", "S");
//   Decimals (0..17; fewer than 0 counts as 0) applies to the last field. A
//   last field that rounds to 60 at Decimals carries into the field before
//   it, so 60 is never written. The hemisphere letter ("E"/"W", "N"/"S"; a
//   zero angle gets "W" or "S") goes after the value (cfSuffixLetter) or
//   before it (cfPrefixLetter); without either, "-" marks a negative angle
//   and cfPlusSign puts "+" before the others (an angle that shows as zero
//   counts as non-negative). With cfPositiveLongitude a negative longitude
//   gets 360 added first.
// - Any other type or component: the number as for Cartesian, no letter.
// The parts are separated by one blank, none with cfCompact (which also
// removes the blanks between marked angle fields; unmarked fields keep
// theirs). The text has no leading or trailing blanks. Never fails.
std::string FormatCoordinate(TCoordinateType CoordinateType, int Component, int Decimals,
                             double Value, TCoordinateFormats Formats,
                             std::string_view DatumName = {});

// Reads Text as component Component (0, 1, 2) of a point of CoordinateType,
// with the process-wide decimal separator; a text containing the thousands
// separator is refused. Returns true and sets Value when the text is valid;
// returns false and leaves Value untouched otherwise. Reads only the bytes of
// Text, which may hold any byte values. Never throws (except std::bad_alloc).
// - Cartesian (any component): optional axis letter anywhere ("X", "Y", "Z"
//   for 0, 1, 2; either case), optional trailing "m"; any sign.
// - Projected easting (0) and northing (1): optional axis letter "E" or "N"
//   (either case; an "e" between digits is an exponent), optional trailing
//   "m"; a negative value is refused.
// - Heights (component 2 of geodetic and projected points), metres: a datum
//   label from a "[" after the first character on is ignored, an optional
//   trailing "m" (either case); any sign.
// - Longitude (0) and latitude (1) of geodetic points, result in decimal
//   degrees: up to three fields degrees, minutes, seconds, each optionally
//   marked ("D" or the degree sign in UTF-8 or Latin-1, "M" or "'", "S" or
//   "\""; either case), separated by blanks or by the markers; only the last
//   field may have decimals; minutes and seconds must be below 60. A
//   hemisphere letter ("E"/"W" or "N"/"S") or a sign at the start, or else a
//   hemisphere letter at the end, gives the sign; a final "S" of a latitude
//   directly after a number, in a text with "D" and "M" and no other "S", is
//   the seconds marker. Latitudes beyond 90 degrees and longitudes below -180
//   or above 360 are refused. A text of only a sign or a letter reads as 0.
// - Any other type or component: false.
bool ParseCoordinate(std::string_view Text, double& Value, TCoordinateType CoordinateType,
                     int Component);

}  // namespace veltrana
