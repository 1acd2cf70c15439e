#include "CoordinateText.h"

#include "NumberText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <utility>

namespace veltrana {

namespace {

// Absorbs the representation error of a double just below a whole degree or
// minute, so 52.99999999999999 splits as 53 degrees rather than 52 59 59.99.
constexpr double RoundingGuard = 1e-10;
constexpr double MinutesPerDegree = 60.0;
constexpr double SecondsPerMinute = 60.0;
constexpr double SecondsPerDegree = 3600.0;
// A displayed minutes or seconds field of this value carries into the field before it.
constexpr double FieldCarry = 60.0;
constexpr double MaxLatitude = 90.0;
constexpr double MinLongitude = -180.0;
constexpr double MaxLongitude = 360.0;
constexpr double FullCircle = 360.0;
// From this magnitude on a double holds no more than the general format's
// 15 significant digits, and a fixed text could outgrow what ReadNumber takes.
constexpr double MaxFixedMagnitude = 1e15;
// Decimal places AppendFixed writes at most.
constexpr int MaxDecimals = 17;
// The largest value of 15 significant digits inside the double range: the
// general format would round a larger double (up to DBL_MAX) to a text
// beyond the range, which no reader takes back.
constexpr double MaxGeneralMagnitude = 1.79769313486231e308;

constexpr std::string_view DegreeSign = "\xC2\xB0";  // UTF-8
constexpr unsigned char DegreeSignLead = 0xC2;       // first byte of the UTF-8 form
constexpr unsigned char Latin1DegreeSign = 0xB0;     // Latin-1 form, also the UTF-8 second byte
constexpr std::string_view MetreUnits = "m";
constexpr std::string_view Blank = " ";

constexpr char DegreeMarker = 'D';
constexpr char MinuteMarker = 'M';
constexpr char SecondMarker = 'S';
constexpr char MetreMarker = 'M';  // the unit after upper-casing
constexpr char ExponentLetter = 'E';

constexpr std::array<char, 3> CartesianLetters = {'X', 'Y', 'Z'};
constexpr std::array<char, 2> ProjectedLetters = {'E', 'N'};

constexpr int LongitudeComponent = 0;
constexpr int LatitudeComponent = 1;
constexpr int HeightComponent = 2;

// Angle fields a text may hold: degrees, minutes, seconds.
constexpr std::size_t MaxAngleWords = 3;

// Blanks and control characters (everything up to the space), as trimmed.
bool IsBlank(char C) { return static_cast<unsigned char>(C) <= static_cast<unsigned char>(' '); }

bool IsDigit(char C) { return C >= '0' && C <= '9'; }

bool IsAngleMarker(char C) {
  return C == DegreeMarker || C == MinuteMarker || C == SecondMarker;
}

// ASCII only: bytes of other scripts must not change with the C locale.
char UpperAscii(char C) { return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 'a' + 'A') : C; }

std::string_view Trim(std::string_view Text) {
  while (!Text.empty() && IsBlank(Text.front())) Text.remove_prefix(1);
  while (!Text.empty() && IsBlank(Text.back())) Text.remove_suffix(1);
  return Text;
}

char DecimalMark() { return NumberFormat().DecimalSeparator; }

// ReadNumber with the process-wide format on the trimmed text (a blank
// thousands separator must not refuse blanks around the number).
bool ReadTrimmed(std::string_view Text, double& Value) { return ReadNumber(Trim(Text), Value); }

// --- FormatNumber helpers ---

// The "#" places of an unpadded picture: trailing zero decimals go, and the
// mark with them when no decimal is left. MarkAt is where AppendFixed put it.
void DropTrailingZeros(std::string& Text, std::size_t MarkAt) {
  while (Text.size() > MarkAt + 1 && Text.back() == '0') Text.pop_back();
  if (Text.size() == MarkAt + 1) Text.pop_back();
}

// True when Text (a sign, digits and marks, as FormatNumber writes) shows zero.
bool ShowsZero(std::string_view Text, char Mark) {
  if (!Text.empty() && Text.front() == '-') Text.remove_prefix(1);
  bool Digit = false;
  for (char C : Text) {
    if (C == '0') {
      Digit = true;
    } else if (C != Mark) {
      return false;
    }
  }
  return Digit;
}

// --- Angle text ---

enum class TAngleStyle { DecimalDegrees, DegreesMinutes, DegreesMinutesSeconds };

struct TAngleMarkers {
  std::string_view Degree;
  std::string_view Minute;
  std::string_view Second;
};

constexpr TAngleMarkers SymbolMarkers{DegreeSign, "'", "\""};
constexpr TAngleMarkers LetterMarkers{"D", "M", "S"};
constexpr TAngleMarkers NoMarkers{"", "", ""};

// The fields as they are shown: whole degrees and minutes, and the last
// field (decimal degrees, decimal minutes or decimal seconds).
struct TShownAngle {
  double Degrees = 0.0;
  double Minutes = 0.0;
  double Last = 0.0;
  double Sign = 0.0;
  bool Zero = false;  // every shown field is zero
};

// Value rounded to Decimals places exactly as AppendFixed shows it.
double DisplayRounded(double Value, int Decimals) {
  const std::string Text = FixedText(Value, Decimals, '.');
  double Rounded = Value;
  std::from_chars(Text.data(), Text.data() + Text.size(), Rounded);
  return Rounded;
}

// Splits Value for display and applies the carry: a last field that shows as
// 60 at Decimals becomes 0 and adds one to the field before it, so 59.9996"
// at three decimals shows as the next minute and 0.000".
TShownAngle ShowAngle(TAngleStyle Style, int Decimals, double Value) {
  const TAngleParts Parts = SplitAngle(Style == TAngleStyle::DegreesMinutes, Value);
  TShownAngle Shown;
  Shown.Sign = Parts.Sign;
  switch (Style) {
    case TAngleStyle::DecimalDegrees:
      Shown.Last = std::fabs(Value);
      break;
    case TAngleStyle::DegreesMinutes:
      Shown.Degrees = Parts.Degrees;
      Shown.Last = Parts.Minutes;
      if (DisplayRounded(Shown.Last, Decimals) >= FieldCarry) {
        Shown.Last = 0.0;
        Shown.Degrees += 1.0;
      }
      break;
    case TAngleStyle::DegreesMinutesSeconds:
      Shown.Degrees = Parts.Degrees;
      Shown.Minutes = Parts.Minutes;
      Shown.Last = Parts.Seconds;
      if (DisplayRounded(Shown.Last, Decimals) >= FieldCarry) {
        Shown.Last = 0.0;
        Shown.Minutes += 1.0;
      }
      if (Shown.Minutes >= FieldCarry) {
        Shown.Minutes = 0.0;
        Shown.Degrees += 1.0;
      }
      break;
  }
  Shown.Zero =
      Shown.Degrees == 0.0 && Shown.Minutes == 0.0 && DisplayRounded(Shown.Last, Decimals) == 0.0;
  return Shown;
}

TAngleStyle AngleStyle(TCoordinateFormats Formats) {
  if (Formats.Contains(cfDegreesMinutesSeconds)) return TAngleStyle::DegreesMinutesSeconds;
  if (Formats.Contains(cfDegreesMinutes)) return TAngleStyle::DegreesMinutes;
  return TAngleStyle::DecimalDegrees;
}

const TAngleMarkers& AngleMarkers(TCoordinateFormats Formats) {
  if (Formats.Contains(cfUnitSymbols)) return SymbolMarkers;
  if (Formats.Contains(cfUnitLetters)) return LetterMarkers;
  return NoMarkers;
}

struct TAngleText {
  std::string Value;  // the fields, with "-" or "+" when signs are used
  std::string Letter;  // the hemisphere letter when letters are used
  bool LetterFirst = false;
};

TAngleText FormatAngle(bool Longitude, int Decimals, double Value, TCoordinateFormats Formats) {
  const char Mark = DecimalMark();
  const TAngleStyle Style = AngleStyle(Formats);
  const TAngleMarkers& Markers = AngleMarkers(Formats);
  // Unmarked fields keep their blanks: they are then the only separators.
  const bool Marked = !Markers.Degree.empty();
  const std::string_view FieldSeparator = Formats.Contains(cfCompact) && Marked ? "" : Blank;
  const TShownAngle Shown = ShowAngle(Style, Decimals, Value);

  std::string Fields;
  if (Style != TAngleStyle::DecimalDegrees) {
    AppendFixed(Fields, Shown.Degrees, 0, Mark);
    Fields += Markers.Degree;
    Fields += FieldSeparator;
  }
  if (Style == TAngleStyle::DegreesMinutesSeconds) {
    AppendFixed(Fields, Shown.Minutes, 0, Mark);
    Fields += Markers.Minute;
    Fields += FieldSeparator;
  }
  AppendFixed(Fields, Shown.Last, Decimals, Mark);
  switch (Style) {
    case TAngleStyle::DecimalDegrees: Fields += Markers.Degree; break;
    case TAngleStyle::DegreesMinutes: Fields += Markers.Minute; break;
    case TAngleStyle::DegreesMinutesSeconds: Fields += Markers.Second; break;
  }

  TAngleText Text;
  const bool Positive = Shown.Sign > 0.0;
  if (Formats.Contains(cfSuffixLetter) || Formats.Contains(cfPrefixLetter)) {
    if (Longitude) {
      Text.Letter = Positive ? "E" : "W";
    } else {
      Text.Letter = Positive ? "N" : "S";
    }
    Text.LetterFirst = !Formats.Contains(cfSuffixLetter);
    Text.Value = std::move(Fields);
  } else if (Shown.Sign < 0.0 && !Shown.Zero) {
    // An angle that shows as zero gets no "-", like FormatNumber.
    Text.Value = "-" + Fields;
  } else if (Formats.Contains(cfPlusSign)) {
    Text.Value = "+" + Fields;
  } else {
    Text.Value = std::move(Fields);
  }
  return Text;
}

// --- Readers ---

// Height reader: a number in metres, optional unit, optional "[datum]".
bool ReadHeight(std::string_view Text, double& Value) {
  const std::size_t Bracket = Text.find('[');
  if (Bracket != std::string_view::npos && Bracket >= 1) Text = Text.substr(0, Bracket);
  Text = Trim(Text);
  if (Text.size() >= MetreUnits.size()) {
    const std::string_view Tail = Text.substr(Text.size() - MetreUnits.size());
    bool SameUnits = true;
    for (std::size_t I = 0; I < Tail.size(); ++I)
      SameUnits = SameUnits && UpperAscii(Tail[I]) == UpperAscii(MetreUnits[I]);
    if (SameUnits) Text.remove_suffix(MetreUnits.size());
  }
  return ReadTrimmed(Text, Value);
}

// Removes a trailing metre unit from an upper-cased, trimmed text and reads the number.
bool ReadMetric(std::string_view Upper, double& Value) {
  if (!Upper.empty() && Upper.back() == MetreMarker) Upper.remove_suffix(1);
  return ReadTrimmed(Upper, Value);
}

bool ReadCartesian(std::string_view Text, double& Value, int Component) {
  const char Letter = CartesianLetters[static_cast<std::size_t>(Component)];
  std::string Upper;
  Upper.reserve(Text.size());
  for (char C : Text) {
    const char U = UpperAscii(C);
    if (U != Letter) Upper += U;
  }
  const std::string_view Rest = Trim(Upper);
  if (Rest.empty()) return false;
  return ReadMetric(Rest, Value);
}

// An "e" directly between a digit (or the decimal mark) and a digit or a
// signed digit is the exponent of a number such as "1e+20", not an easting letter.
bool IsExponentAt(std::string_view Text, std::size_t At, char Mark) {
  if (At == 0 || !(IsDigit(Text[At - 1]) || Text[At - 1] == Mark)) return false;
  std::size_t Next = At + 1;
  if (Next < Text.size() && (Text[Next] == '+' || Text[Next] == '-')) ++Next;
  return Next < Text.size() && IsDigit(Text[Next]);
}

bool ReadProjected(std::string_view Text, double& Value, int Component) {
  const char Letter = ProjectedLetters[static_cast<std::size_t>(Component)];
  const char Mark = DecimalMark();
  // Without letters there is nothing to upper-case or remove: the common
  // plain number is read in place.
  std::string Upper;
  std::string_view Rest = Text;
  if (std::any_of(Text.begin(), Text.end(), [](char C) { return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z'); })) {
    Upper.reserve(Text.size());
    for (std::size_t I = 0; I < Text.size(); ++I) {
      const char U = UpperAscii(Text[I]);
      const bool AxisLetter =
          U == Letter && !(Letter == ExponentLetter && IsExponentAt(Text, I, Mark));
      if (!AxisLetter) Upper += U;
    }
    Rest = Upper;
  }
  Rest = Trim(Rest);
  if (Rest.empty()) return false;
  double Number = 0.0;
  if (!ReadMetric(Rest, Number) || Number < 0.0) return false;
  Value = Number;
  return true;
}

// Upper-cases Text (ASCII) and turns the degree sign (UTF-8 or Latin-1),
// the apostrophe and the double quote into the markers D, M and S.
std::string NormaliseAngle(std::string_view Text) {
  std::string Normal;
  Normal.reserve(Text.size());
  for (std::size_t I = 0; I < Text.size(); ++I) {
    const auto Byte = static_cast<unsigned char>(Text[I]);
    if (Byte == DegreeSignLead && I + 1 < Text.size() &&
        static_cast<unsigned char>(Text[I + 1]) == Latin1DegreeSign) {
      Normal += DegreeMarker;
      ++I;
    } else if (Byte == Latin1DegreeSign) {
      Normal += DegreeMarker;
    } else if (Text[I] == '\'') {
      Normal += MinuteMarker;
    } else if (Text[I] == '"') {
      Normal += SecondMarker;
    } else {
      Normal += UpperAscii(Text[I]);
    }
  }
  return Normal;
}

// A final "S" of a latitude marks seconds when it directly follows a number
// (52D30M15S) and the text has degrees and minutes markers and no other "S".
// Anywhere else, as after the minutes marker in 52D 30.25M S, it can mark no
// seconds field and is South.
bool IsSecondsMarker(std::string_view Text, char Mark) {
  if (Text.size() < 2 || Text.back() != SecondMarker) return false;
  if (Text.find(DegreeMarker) == std::string_view::npos) return false;
  if (Text.find(MinuteMarker) == std::string_view::npos) return false;
  if (Text.find(SecondMarker) != Text.size() - 1) return false;
  const char Before = Text[Text.size() - 2];
  return IsDigit(Before) || Before == Mark;
}

// Splits the fields of an angle at blanks and after every marker (so
// 52D30M15S gives three words). Returns false for more than three words.
bool SplitAngleWords(std::string_view Text, std::array<std::string_view, MaxAngleWords>& Words,
                     std::size_t& Count) {
  Count = 0;
  std::size_t I = 0;
  while (I < Text.size()) {
    if (IsBlank(Text[I])) {
      ++I;
      continue;
    }
    const std::size_t Start = I;
    while (I < Text.size() && !IsBlank(Text[I])) {
      const bool Marker = IsAngleMarker(Text[I]);
      ++I;
      if (Marker) break;
    }
    if (Count == MaxAngleWords) return false;
    Words[Count++] = Text.substr(Start, I - Start);
  }
  return true;
}

// Reads the unsigned fields degrees, minutes, seconds into decimal degrees.
bool ReadAngleFields(std::string_view Text, double& Degrees) {
  const char Mark = DecimalMark();
  for (char C : Text)
    if (!IsDigit(C) && C != Mark && !IsBlank(C) && !IsAngleMarker(C)) return false;

  std::array<std::string_view, MaxAngleWords> Words;
  std::size_t Count = 0;
  if (!SplitAngleWords(Text, Words, Count)) return false;

  constexpr std::array<char, MaxAngleWords> Markers = {DegreeMarker, MinuteMarker, SecondMarker};
  std::array<double, MaxAngleWords> Fields = {0.0, 0.0, 0.0};
  for (std::size_t K = 0; K < Count; ++K) {
    std::string_view Word = Words[K];
    if (!IsDigit(Word.back())) {
      if (Word.back() != Markers[K]) return false;
      Word.remove_suffix(1);
    }
    // Only the last field may have decimals.
    if (K + 1 != Count && Word.find(Mark) != std::string_view::npos) return false;
    if (!ReadTrimmed(Word, Fields[K])) return false;
    if (K > 0 && !(Fields[K] >= 0.0 && Fields[K] < FieldCarry)) return false;
  }
  Degrees = Fields[0] + Fields[1] / MinutesPerDegree + Fields[2] / SecondsPerDegree;
  return true;
}

bool ReadAngle(std::string_view Text, double& Value, int Component) {
  Text = Trim(Text);
  if (Text.empty()) return false;
  const bool Longitude = Component == LongitudeComponent;
  const char PositiveLetter = Longitude ? 'E' : 'N';
  const char NegativeLetter = Longitude ? 'W' : 'S';
  const std::string Normal = NormaliseAngle(Text);
  std::string_view Rest = Normal;

  double Sign = 1.0;
  const char First = Rest.front();
  const char Last = Rest.back();
  if (First == PositiveLetter || First == NegativeLetter || First == '+' || First == '-') {
    if (First == NegativeLetter || First == '-') Sign = -1.0;
    Rest.remove_prefix(1);
  } else if ((Last == PositiveLetter || Last == NegativeLetter) &&
             !(!Longitude && IsSecondsMarker(Rest, DecimalMark()))) {
    if (Last == NegativeLetter) Sign = -1.0;
    Rest.remove_suffix(1);
    Rest = Trim(Rest);
  }

  double Degrees = 0.0;
  if (!ReadAngleFields(Rest, Degrees)) return false;
  if (!Longitude && Degrees > MaxLatitude) return false;
  Degrees *= Sign;
  if (Longitude && (Degrees < MinLongitude || Degrees > MaxLongitude)) return false;
  Value = Degrees;
  return true;
}

bool IsComponent(int Component, std::size_t Count) {
  return Component >= 0 && static_cast<std::size_t>(Component) < Count;
}

}  // namespace

TAngleParts SplitAngle(bool DecimalMinutes, double Angle) {
  TAngleParts Parts;
  Parts.Sign = Angle > 0.0 ? 1.0 : (Angle < 0.0 ? -1.0 : 0.0);
  const double A = std::fabs(Angle);
  Parts.Degrees = std::trunc(A + RoundingGuard);
  const double Remainder = (A - Parts.Degrees) * MinutesPerDegree;
  if (Remainder < 0.0) {
    // The guard carried A over to the next whole degree.
    Parts.Minutes = 0.0;
    Parts.Seconds = 0.0;
  } else if (DecimalMinutes) {
    Parts.Minutes = Remainder;
  } else {
    Parts.Minutes = std::trunc(Remainder + RoundingGuard);
    Parts.Seconds = (Remainder - Parts.Minutes) * SecondsPerMinute;
    if (Parts.Seconds < 0.0) Parts.Seconds = 0.0;
  }
  return Parts;
}

void AppendNumber(std::string& Out, int Decimals, bool PadZeros, double Value) {
  const char Mark = DecimalMark();
  const std::size_t Start = Out.size();
  if (Decimals < 0 || !(std::fabs(Value) < MaxFixedMagnitude)) {
    // Rounding toward zero in the last digit keeps the text readable.
    if (std::isfinite(Value) && std::fabs(Value) > MaxGeneralMagnitude)
      Value = std::copysign(MaxGeneralMagnitude, Value);
    Out += GeneralText(Value, Mark);
  } else {
    if (Decimals > MaxDecimals) Decimals = MaxDecimals;
    AppendFixed(Out, Value, Decimals, Mark);
    if (!PadZeros && Decimals > 0) {
      DropTrailingZeros(Out, Out.size() - static_cast<std::size_t>(Decimals) - 1);
    }
  }
  if (Out.size() > Start && Out[Start] == '-' && ShowsZero(std::string_view(Out).substr(Start), Mark))
    Out.erase(Start, 1);
}

std::string FormatNumber(int Decimals, bool PadZeros, double Value) {
  std::string Text;
  AppendNumber(Text, Decimals, PadZeros, Value);
  return Text;
}

std::string FormatNumberUnits(std::string_view Units, int Decimals, bool PadZeros, double Value) {
  std::string Text = FormatNumber(Decimals, PadZeros, Value);
  Text += Units;
  return Text;
}

std::string FormatCoordinate(TCoordinateType CoordinateType, int Component, int Decimals,
                             double Value, TCoordinateFormats Formats,
                             std::string_view DatumName) {
  const std::string_view Separator = Formats.Contains(cfCompact) ? "" : Blank;
  std::string Prefix;
  std::string Suffix;
  std::string ValueText;

  // Axis letters: the prefix wins over the suffix.
  const auto PlaceAxisLetter = [&](char Letter) {
    if (Formats.Contains(cfPrefixLetter)) {
      Prefix = Letter;
    } else if (Formats.Contains(cfSuffixLetter)) {
      Suffix = Letter;
    }
  };
  const bool Height = (CoordinateType == ctGeodetic || CoordinateType == ctProjected) &&
                      Component == HeightComponent;

  if (Height) {
    ValueText = FormatNumberUnits(Formats.Contains(cfHeightUnits) ? MetreUnits : "", Decimals,
                                  true, Value);
    if (Formats.Contains(cfDatumSuffix) && !DatumName.empty()) {
      Suffix = "[";
      Suffix += DatumName;
      Suffix += "]";
    }
  } else if (CoordinateType == ctGeodetic &&
             (Component == LongitudeComponent || Component == LatitudeComponent)) {
    const bool Longitude = Component == LongitudeComponent;
    if (Longitude && Formats.Contains(cfPositiveLongitude) && Value < 0.0) Value += FullCircle;
    TAngleText Angle = FormatAngle(Longitude, Decimals, Value, Formats);
    ValueText = std::move(Angle.Value);
    (Angle.LetterFirst ? Prefix : Suffix) = std::move(Angle.Letter);
  } else {
    if (CoordinateType == ctCartesian && IsComponent(Component, CartesianLetters.size())) {
      PlaceAxisLetter(CartesianLetters[static_cast<std::size_t>(Component)]);
    } else if (CoordinateType == ctProjected && IsComponent(Component, ProjectedLetters.size())) {
      PlaceAxisLetter(ProjectedLetters[static_cast<std::size_t>(Component)]);
    }
    ValueText = FormatNumber(Decimals, true, Value);
  }

  std::string Text = Prefix;
  Text += Separator;
  Text += ValueText;
  Text += Separator;
  Text += Suffix;
  return std::string(Trim(Text));
}

bool ParseCoordinate(std::string_view Text, double& Value, TCoordinateType CoordinateType,
                     int Component) {
  switch (CoordinateType) {
    case ctCartesian:
      if (!IsComponent(Component, CartesianLetters.size())) return false;
      return ReadCartesian(Text, Value, Component);
    case ctGeodetic:
      if (Component == HeightComponent) return ReadHeight(Text, Value);
      if (Component != LongitudeComponent && Component != LatitudeComponent) return false;
      return ReadAngle(Text, Value, Component);
    case ctProjected:
      if (Component == HeightComponent) return ReadHeight(Text, Value);
      if (!IsComponent(Component, ProjectedLetters.size())) return false;
      return ReadProjected(Text, Value, Component);
  }
  return false;
}

}  // namespace veltrana
